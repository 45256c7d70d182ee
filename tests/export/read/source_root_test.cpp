// Naming source files by their paths in a checkout: a unique name, a name that
// already is a path, a clash, a missing file, and the folders the walk leaves
// alone; and which files the snippets may be read from.
#include "export/read/source_root.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>

#include "export/export_helpers.h"
#include "export/read/source_file.h"

namespace {

// A checkout: files (with their folders) below a fresh root.
std::string checkout(const std::string& name, std::initializer_list<const char*> files) {
  const std::string root = scratch(name);
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
  for (const char* f : files) {
    const std::string path = root + "/" + f;
    std::system(("mkdir -p \"$(dirname '" + path + "')\" && : >'" + path + "'").c_str());
  }
  return root;
}

TEST(SourceRoot, NamesFilesByTheirPathsBelowTheRoot) {
  const std::string root =
      checkout("tree", {"src/test/java/CalcTest.java", "src/Here.java", "a/Util.java",
                        "b/Util.java", ".git/objects/Hidden.java", "lib/Real.java"});
  // A link to a folder is not entered (here it would show CalcTest.java twice,
  // and the link to the root would never end); a link to a file is a file.
  ASSERT_EQ(::symlink("test", (root + "/src/alias").c_str()), 0);
  ASSERT_EQ(::symlink("..", (root + "/src/loop").c_str()), 0);
  ASSERT_EQ(::symlink("../lib/Real.java", (root + "/src/Linked.java").c_str()), 0);
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"CalcTest.java", "src/test/java/CalcTest.java"},                // one file of that name
      {"/ci/work/java/CalcTest.java", "src/test/java/CalcTest.java"},  // by its last part
      {"src/Here.java", "src/Here.java"},  // already a path below the root
      {"Util.java", "Util.java"},          // two files: stays
      {"Missing.java", "Missing.java"},    // none: stays
      {"Hidden.java", "Hidden.java"},      // .git is not entered
      {"Linked.java", "src/Linked.java"},
      {"", ""},
  };
  TestRun run;
  for (const auto& c : cases) run.files.add(c.name);
  std::string warning, error;
  ASSERT_EQ(source_root_map(run, root.c_str(), warning, error), 0) << error;
  EXPECT_EQ(run.source_root, root);
  ASSERT_EQ(run.file_paths.size(), std::size(cases));
  for (uint32_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(source_path(run, k), cases[k].path) << cases[k].name;
  EXPECT_EQ(warning, root +
                         ": 2 source files not found (Missing.java, Hidden.java), 1 found in "
                         "several places (Util.java); named as the reports give them");
}

TEST(SourceRoot, WarningsAndFailures) {
  const std::string root = checkout("small", {"A.java", "x/B.java", "y/B.java"});
  const struct {
    const char* what;
    std::vector<const char*> names;
    const char* root;  // relative to the checkout
    int status;
    const char* warning;  // after the root and ": "
  } cases[] = {
      {"all found", {"A.java"}, "", 0, ""},
      {"only clashes",
       {"A.java", "B.java"},
       "",
       0,
       "1 source file found in several places (B.java); named as the reports give them"},
      {"many missing, three named",
       {"M\n1.java", "M2.java", "M3.java", "M4.java", "M5.java"},
       "",
       0,
       "5 source files not found (M?1.java, M2.java, M3.java and 2 more); named as the reports "
       "give them"},
      {"no such folder", {"A.java"}, "/missing", -1, ""},
      {"a file, not a folder", {"A.java"}, "/A.java", -1, ""},
  };
  for (const auto& c : cases) {
    TestRun run;
    for (const char* n : c.names) run.files.add(n);
    const std::string dir = root + c.root;
    std::string warning, error;
    EXPECT_EQ(source_root_map(run, dir.c_str(), warning, error), c.status) << c.what;
    EXPECT_EQ(error.empty(), c.status == 0) << c.what << ": " << error;
    EXPECT_EQ(warning, *c.warning ? dir + ": " + c.warning : "") << c.what;
  }
}

}  // namespace

// The opener of source files for snippets: links resolved below the root
// only, and nothing but regular .java files outside dot-names opened.
TEST(SourceFile, OpensOnlyRegularSourceFilesBelowTheRoot) {
  const std::string root =
      checkout("open", {"A.java", "sub/B.java", ".hidden/C.java", "notes.txt"});
  const std::string outside = scratch("Outside.java");
  write_file(outside, "secret\n");
  ASSERT_EQ(::mkdir((root + "/Dir.java").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((root + "/Fifo.java").c_str(), 0600), 0);
  const char* const links[][2] = {
      {"Link.java", "sub/B.java"},         {"Up.java", "sub/../A.java"},
      {"Chain.java", "Link.java"},         {"Loop.java", "Loop.java"},
      {"Abs.java", "/etc/hostname"},       {"Out.java", "../Outside.java"},
      {"ToHidden.java", ".hidden/C.java"}, {"Through.java", ".hidden/../A.java"},
      {"Txt.java", "notes.txt"},           {"sub/Back.java", "../A.java"},
  };
  for (const auto& l : links) ASSERT_EQ(::symlink(l[1], (root + "/" + l[0]).c_str()), 0) << l[0];
  const struct {
    const char* name;
    SourceOpen expected;
  } cases[] = {
      {"A.java", SOURCE_OPENED},
      {"sub/B.java", SOURCE_OPENED},
      {"./sub//B.java", SOURCE_OPENED},
      {"Link.java", SOURCE_OPENED},
      {"Up.java", SOURCE_OPENED},
      {"Chain.java", SOURCE_OPENED},
      {"sub/Back.java", SOURCE_OPENED},
      {"Loop.java", SOURCE_MISSING},
      {"Missing.java", SOURCE_MISSING},
      {"A.java/x.java", SOURCE_MISSING},
      {"", SOURCE_MISSING},
      {"Abs.java", SOURCE_OUTSIDE},
      {"Out.java", SOURCE_OUTSIDE},
      {"../open/A.java", SOURCE_OUTSIDE},
      {"sub/../A.java", SOURCE_OUTSIDE},
      {"/etc/hostname", SOURCE_OUTSIDE},
      {".hidden/C.java", SOURCE_HIDDEN},
      {"ToHidden.java", SOURCE_HIDDEN},
      {"Through.java", SOURCE_HIDDEN},
      {"notes.txt", SOURCE_NOT_SOURCE},
      {"Txt.java", SOURCE_NOT_SOURCE},
      {".java", SOURCE_HIDDEN},
      {"Dir.java", SOURCE_NOT_REGULAR},
      {"Fifo.java", SOURCE_NOT_REGULAR},
      {".", SOURCE_NOT_REGULAR},
  };
  const int root_fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(root_fd, 0);
  for (const auto& c : cases) {
    int fd = -1;
    EXPECT_EQ(source_file_open(root_fd, c.name, fd), c.expected) << c.name;
    EXPECT_EQ(fd >= 0, c.expected == SOURCE_OPENED) << c.name;
    if (fd >= 0) ::close(fd);
  }
  ::close(root_fd);
}
