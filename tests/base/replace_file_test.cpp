// Replacing outputs: large outputs come out whole and in order over old files
// of any size, and one that cannot be written leaves the old file as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "support/run_program.h"

namespace {

// Writes `total` bytes of numbered lines in pieces of changing sizes, some
// larger than any buffer, so that the writer's hand-overs and direct writes
// alternate.
void write_numbered(OutBuffer& out, std::size_t total) {
  std::string piece;
  for (std::size_t n = 0, i = 0; n < total; ++i) {
    piece = std::to_string(i) + '\n';
    if (i % 997 == 0) piece.append((i % 3 + 1) << 21, static_cast<char>('a' + i % 26));
    out_write(out, piece.data(), std::min(piece.size(), total - n));
    n += std::min(piece.size(), total - n);
  }
}

std::string digest_of_numbered(std::size_t total) {
  return out_capture([&](OutBuffer& out) { write_numbered(out, total); });
}

// Past the size from which the temporary's blocks are allocated ahead.
constexpr std::size_t kLarge = std::size_t{72} << 20;

TEST(OutBuffer, LargeOutputsComeOutWholeAndInOrder) {
  const std::string want = digest_of_numbered(kLarge);
  // No old file, a longer one, and one within the blocks allocated ahead.
  for (std::size_t old_size : {std::size_t{0}, kLarge + 5, kLarge - 5}) {
    const std::string dir = make_temp_dir(), path = dir + "/report.xrd";
    if (old_size) std::ofstream(path, std::ios::binary) << std::string(old_size, 'o');
    OutBuffer out;
    ASSERT_TRUE(out_open_file(out, path.c_str()));
    write_numbered(out, kLarge);
    ASSERT_TRUE(out_close(out));
    EXPECT_TRUE(read_file(path) == want) << "old size " << old_size;
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"report.xrd"});
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
  }
}

// A folder holding report.xrd with `old` in it, removed with what is left.
struct OldFile {
  explicit OldFile(const std::string& old) : dir(make_temp_dir()), path(dir + "/report.xrd") {
    std::ofstream(path, std::ios::binary) << old;
  }
  ~OldFile() {
    for (const std::string& name : names_in(dir)) ::unlink((dir + "/" + name).c_str());
    ::rmdir(dir.c_str());
  }
  std::string dir, path;
};

// The wait status of a child that runs `setup`, opens a replacing output over
// `path` and runs `body` on it.
template <class Setup, class Body>
int child_status(const std::string& path, Setup setup, Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    setup();
    OutBuffer out;
    if (!out_open_file(out, path.c_str())) ::_exit(2);
    body(out);
    ::_exit(0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(OutBuffer, LargeOutputThatCannotBeWrittenLeavesTheOldFile) {
  const OldFile f(std::string(kLarge, 'o'));
  // A file-size limit below the new output, as a full disk would be.
  const int status = child_status(
      f.path,
      [] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{kLarge / 2, kLarge / 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      },
      [](OutBuffer& out) {
        write_numbered(out, kLarge);
        ::_exit(!out_close(out) && out.error == EFBIG ? 0 : 1);
      });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(read_file(f.path) == std::string(kLarge, 'o'));
  EXPECT_EQ(names_in(f.dir), std::vector<std::string>{"report.xrd"});
}

}  // namespace
