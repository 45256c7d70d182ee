// Large outputs: the writer thread keeps every byte in order and fails as a
// direct write does, and a process ended half-way leaves no temporary;
// replacing a large old file shows the new file at once, and the process left
// to free the old file's blocks ends holding nothing.
#include "base/out_buffer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/zeroed_block.h"
#include "driver/errors.h"

namespace {

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

// Any process's descriptor that still points at a removed file of dir.
bool removed_file_held(const std::string& dir) {
  for (const std::string& pid : names_in("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string fds = "/proc/" + pid + "/fd";
    for (const std::string& fd : names_in(fds)) {
      char target[4096];
      ssize_t n = ::readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      std::string t(target, static_cast<size_t>(n));
      if (t.rfind(dir + "/", 0) == 0 && t.find(" (deleted)") != std::string::npos) return true;
    }
  }
  return false;
}

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
  std::string s;
  OutBuffer out;
  out_open_string(out, &s);
  write_numbered(out, total);
  out_close(out);
  return s;
}

std::string read_all(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

std::string temp_dir() {
  char pattern[] = "/tmp/tallyrep-out-XXXXXX";
  return ::mkdtemp(pattern) ? pattern : "";
}

// Outputs past the size from which the writer thread takes over, lowered
// from hundreds of megabytes.
constexpr std::size_t kWriterAt = std::size_t{3} << 20;
constexpr std::size_t kLarge = std::size_t{24} << 20;

TEST(OutBuffer, LargeOutputsComeOutWholeAndInOrder) {
  const std::string want = digest_of_numbered(kLarge);
  // No old file (the writer starts half-way), and a large old file (from the start).
  for (std::size_t old_size : {std::size_t{0}, kLarge + 5}) {
    const std::string dir = temp_dir(), path = dir + "/report.xrd";
    if (old_size) std::ofstream(path, std::ios::binary) << std::string(old_size, 'o');
    OutBuffer out;
    out.writer_from = kWriterAt;
    ASSERT_TRUE(out_open_file(out, path.c_str()));
    write_numbered(out, kLarge);
    ASSERT_TRUE(out_close(out));
    EXPECT_TRUE(read_all(path) == want) << "old size " << old_size;
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"report.xrd"});
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
  }
}

// A folder holding report.xrd with `old` in it, removed with what is left.
struct OldFile {
  explicit OldFile(const std::string& old) : dir(temp_dir()), path(dir + "/report.xrd") {
    std::ofstream(path, std::ios::binary) << old;
  }
  ~OldFile() {
    for (const std::string& name : names_in(dir)) ::unlink((dir + "/" + name).c_str());
    ::rmdir(dir.c_str());
  }
  std::string dir, path;
};

// The wait status of a child that runs `setup`, opens a replacing output over
// `path` with its writer from kWriterAt and runs `body` on it.
template <class Setup, class Body>
int child_status(const std::string& path, Setup setup, Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    setup();
    OutBuffer out;
    out.writer_from = kWriterAt;
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
  EXPECT_TRUE(read_all(f.path) == std::string(kLarge, 'o'));
  EXPECT_EQ(names_in(f.dir), std::vector<std::string>{"report.xrd"});
}

// A process that ends half-way through a large replacing output, while its
// writer thread runs, used to leave its temporary as large as the output.
TEST(OutBuffer, ProcessEndedMidOutputLeavesNoTemporary) {
  for (bool by_signal : {true, false}) {
    const OldFile f("old report\n");
    const int status = child_status(
        f.path,
        [] {
          install_out_of_memory_handler();
          ::signal(SIGTERM, SIG_DFL);  // not as the test runner may have left it
          std::freopen("/dev/null", "w", stderr);
        },
        [&](OutBuffer& out) {
          write_numbered(out, kLarge / 2);
          if (by_signal) ::kill(::getpid(), SIGTERM);
          memory_refused();
        });
    if (by_signal) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    }
    EXPECT_EQ(read_all(f.path), "old report\n");
    EXPECT_EQ(names_in(f.dir), std::vector<std::string>{"report.xrd"});
  }
}

// With standard error closed, the old file took descriptor 2 and its writer
// held it: the out-of-memory line was written over the old file's start.
TEST(OutBuffer, ClosedStandardErrorTakesNoDiagnosticIntoTheOldFile) {
  const OldFile f(std::string(kLarge, 'o'));
  const int status = child_status(
      f.path,
      [] {
        ::close(2);
        out_hold_standard_descriptors();
        install_out_of_memory_handler();
      },
      [](OutBuffer& out) {
        write_numbered(out, kWriterAt);
        memory_refused();
      });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_TRUE(read_all(f.path) == std::string(kLarge, 'o'));
}

TEST(OutBuffer, ReplacingALargeFileFreesTheOldOneInTheBackground) {
  const std::string dir = temp_dir(), path = dir + "/report.xrd";
  std::ofstream(path, std::ios::binary) << std::string(size_t{40} << 20, 'o');

  OutBuffer out;
  ASSERT_TRUE(out_open_file(out, path.c_str()));
  out_str(out, "new report\n");
  ASSERT_TRUE(out_close(out));
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"report.xrd"});
  EXPECT_EQ(read_all(path), "new report\n");

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (removed_file_held(dir) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(removed_file_held(dir)) << "the old file is still held open";
  ::unlink(path.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace
