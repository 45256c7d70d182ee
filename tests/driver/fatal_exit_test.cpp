// A run that refused memory or a signal ends half-way through its report
// leaves the old report whole and no temporary, whatever standard error is.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "base/zeroed_block.h"
#include "driver/errors.h"
#include "support/run_program.h"

namespace {

constexpr std::size_t kHalfWay = std::size_t{40} << 20;

// A child writes kHalfWay bytes over an old report, after `setup`, and then
// meets `end`; the test gets its wait status and what it left in the folder.
struct Outcome {
  int status = -1;
  std::string report;
  std::vector<std::string> names;
};

template <class Setup>
Outcome end_half_way(const std::string& old, Setup setup, int sig) {
  char pattern[] = "/tmp/tallyrep-fatal-XXXXXX";
  const std::string dir = ::mkdtemp(pattern), path = dir + "/report.xrd";
  std::ofstream(path, std::ios::binary) << old;
  const pid_t child = ::fork();
  if (child == 0) {
    setup();
    install_out_of_memory_handler();
    OutBuffer out;
    if (!out_open_file(out, path.c_str())) ::_exit(2);
    const std::string piece(1 << 16, 'n');
    for (std::size_t n = 0; n < kHalfWay; n += piece.size())
      out_write(out, piece.data(), piece.size());
    if (sig) ::kill(::getpid(), sig);
    memory_refused();
  }
  Outcome o;
  ::waitpid(child, &o.status, 0);
  o.report = read_file(path);
  o.names = names_in(dir);
  for (const std::string& name : o.names) ::unlink((dir + "/" + name).c_str());
  ::rmdir(dir.c_str());
  return o;
}

TEST(FatalExit, SignalOrRefusedMemoryMidReportLeavesTheOldOneAndNoTemporary) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP, 0}) {
    const Outcome o = end_half_way(
        "old report\n",
        [sig] {
          if (sig) ::signal(sig, SIG_DFL);  // not as the test runner may have left it
          std::freopen("/dev/null", "w", stderr);
        },
        sig);
    if (sig) {
      EXPECT_TRUE(WIFSIGNALED(o.status) && WTERMSIG(o.status) == sig) << o.status;
    } else {
      EXPECT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 1) << o.status;
    }
    EXPECT_EQ(o.report, "old report\n") << sig;
    EXPECT_EQ(o.names, std::vector<std::string>{"report.xrd"}) << sig;
  }
}

// With standard error closed, the old file took descriptor 2: the
// out-of-memory line was written over the old file's start.
TEST(FatalExit, ClosedStandardErrorTakesNoDiagnosticIntoTheOldReport) {
  const std::string old(std::size_t{1} << 20, 'o');
  const Outcome o = end_half_way(
      old,
      [] {
        ::close(2);
        out_hold_standard_descriptors();
      },
      0);
  EXPECT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 1) << o.status;
  EXPECT_TRUE(o.report == old);
}

}  // namespace
