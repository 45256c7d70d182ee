// The opener of source files for snippets: links resolved below the root
// only, and nothing but regular .java files outside dot-names opened.
#include "export/read/source_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/export_helpers.h"

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
