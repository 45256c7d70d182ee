// Naming source files by their paths in a checkout: a unique name, a name that
// already is a path, a clash, a missing file, and the folders the walk leaves
// alone.
#include "export/read/source_root.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>

#include "export/export_helpers.h"

namespace {

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
