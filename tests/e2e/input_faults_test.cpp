// Inputs that fail or never end, through the real binary: read errors, floods
// of bytes after a NUL, and header files that are devices or FIFOs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/small_traces.h"
#include "support/run_program.h"

namespace fs = std::filesystem;

namespace {

using e2e::kBanner;
using e2e::kTdf;
using e2e::kTsf;

bool sanitized() {
  const char* flag = std::getenv("TALLYREP_SANITIZED");
  return flag && std::string(flag) == "1";
}

class InputFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir();
    write_file(path("a.tsf"), kTsf);
    write_file(path("r.tdf"), kTdf);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  ProgramResult run(const std::string& tsf, const std::string& tdf,
                    const std::vector<std::string>& prefix = {},
                    const std::string& header = "") const {
    std::vector<std::string> argv = prefix;
    for (const std::string& a :
         {std::string(TALLYREP_BIN), std::string("-tsf"), tsf, std::string("-tdf"), tdf,
          std::string("-xrd"), std::string("o.xrd")}) {
      argv.push_back(a);
    }
    return run_program(
        argv, dir_,
        {header.empty() ? "KSPX_WORKSHOP_HEADER_FILE" : "KSPX_WORKSHOP_HEADER_FILE=" + header});
  }
  // A FIFO that a thread fills with `head` and then `count` NUL bytes.
  std::thread flood(const std::string& name, const std::string& head, size_t count) const {
    EXPECT_EQ(0, mkfifo(path(name).c_str(), 0600));
    return std::thread([this, name, head, count] {
      const int fd = ::open(path(name).c_str(), O_WRONLY);
      if (fd < 0) return;
      const std::string zeros(1u << 20, '\0');
      bool ok = ::write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size());
      for (size_t sent = 0; ok && sent < count; sent += zeros.size()) {
        ok = ::write(fd, zeros.data(), zeros.size()) == static_cast<ssize_t>(zeros.size());
      }
      ::close(fd);
    });
  }

  std::string dir_;
};

std::string bad_format(const std::string& file) {
  return std::string(kBanner) + "tallyrep: error: " + file + ", file format not recognized.\n";
}

// A read error used to end the data quietly: the run exited 0 with the part
// read so far, and /proc/self/mem (which fails every read) gave an empty report.
TEST_F(InputFaults, ReadErrorFailsTheRun) {
  for (const char* which : {"tsf", "tdf"}) {
    const bool tsf = std::string(which) == "tsf";
    const ProgramResult r = run(tsf ? "/proc/self/mem" : "a.tsf", tsf ? "r.tdf" : "/proc/self/mem");
    EXPECT_EQ(255, r.status) << which;
    EXPECT_EQ(bad_format("/proc/self/mem"), r.err) << which;
    EXPECT_FALSE(fs::exists(path("o.xrd"))) << which;
  }
  const std::string strace = "/usr/bin/strace";
  if (!fs::exists(strace) || sanitized()) return;  // ptrace and the sanitizers do not mix
  // A fault on the second read of the TDF, after its first block came through.
  std::string big(3u << 20, '\n');
  write_file(path("big.tdf"), kTdf + big);
  const ProgramResult r = run("a.tsf", "big.tdf",
                              {strace, "-qq", "-o", "/dev/null", "-P", path("big.tdf"), "-e",
                               "trace=read", "-e", "inject=read:error=EIO:when=2"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(bad_format("big.tdf"), r.err);
  EXPECT_FALSE(fs::exists(path("o.xrd")));
}

// The bytes after a NUL used to be stored and cut afterwards: a quoted text
// followed by gigabytes of NULs took that much memory for an empty text.
TEST_F(InputFaults, NulFloodCostsNoMemory) {
  const size_t flood_bytes = size_t{512} << 20;
  struct Case {
    const char* where;
    std::string head;
    bool is_tsf;
  };
  const std::vector<Case> cases = {
      {"check text", "IN \"File\" 1 \"D\"\nID 1 2\nIN \"TestCase\" a \"C\"\nTX 3 \"", true},
      {"quoted name", "IN \"File\" 1 \"D\"\nID 1 2\nIN \"TestCase\" a \"", true},
      {"TDF text", "SF 5 1 2\nNI a 1\nNO c \"", false},
  };
  for (const Case& c : cases) {
    std::thread writer = flood("flood", c.head, flood_bytes);
    const ProgramResult r = c.is_tsf ? run(path("flood"), "r.tdf") : run("a.tsf", path("flood"));
    writer.join();
    fs::remove(path("flood"));
    EXPECT_EQ(0, r.status) << c.where;
    EXPECT_EQ(kBanner, r.err) << c.where;
    EXPECT_LT(r.peak_rss_kb, 256 * 1024) << c.where << ": memory follows the bytes read";
  }
}

// A header that never ends (/dev/zero) used to make the run spin for ever.
TEST_F(InputFaults, HeaderMustBeAFileOrAFifoWithData) {
  const std::vector<std::string> timeout = {"/usr/bin/timeout", "60"};
  for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
    const ProgramResult r = run("a.tsf", "r.tdf", timeout, device);
    EXPECT_EQ(0, r.status) << device;
    EXPECT_EQ(kBanner, r.err) << device;
    EXPECT_NE(std::string::npos, read_file(path("o.xrd")).find("TAG=\" x")) << device;
  }
  // A FIFO that carries a header is read like a file.
  ASSERT_EQ(0, mkfifo(path("h.fifo").c_str(), 0600));
  std::thread writer([this] {
    const int fd = ::open(path("h.fifo").c_str(), O_WRONLY);
    const std::string text = "$NAME=node-from-fifo\n";
    if (fd >= 0 && ::write(fd, text.data(), text.size()) > 0) ::close(fd);
  });
  const ProgramResult r = run("a.tsf", "r.tdf", timeout, path("h.fifo"));
  writer.join();
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, read_file(path("o.xrd")).find("node-from-fifo"));
}

}  // namespace
