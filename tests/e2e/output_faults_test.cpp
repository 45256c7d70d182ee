// Outputs under faults that used to destroy, mix or lose them, through both
// real programs: leftover temporaries, no free inode, bind-mounted outputs,
// PID 1, symbolic link loops, two outputs on standard output, stray processes.
// Cases that need root and namespaces skip with a message where unavailable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/small_traces.h"
#include "support/run_program.h"

namespace fs = std::filesystem;

namespace {

const std::string kOld = "old output\n";

bool is_report(const std::string& bytes) {
  return bytes.rfind("<?xml", 0) == 0 && bytes.find("</DAZU>\n") != std::string::npos;
}

bool is_page(const std::string& bytes) {
  return bytes.rfind("<!DOCTYPE html>", 0) == 0 && bytes.find("</html>") != std::string::npos;
}

// Whether this process may make mount and PID namespaces (root, unshare).
bool namespaces_available() {
  static const bool available =
      ::geteuid() == 0 &&
      run_program({"/bin/sh", "-c", "unshare -m -p -f --mount-proc true"}).status == 0;
  return available;
}

#define NEEDS_NAMESPACES()                                                  \
  if (!namespaces_available())                                              \
  GTEST_SKIP() << "needs root and unshare (mount and PID namespaces); not " \
                  "available here"

class OutputFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!*kExport) GTEST_SKIP() << "tallyrep-export is not built";
    dir_ = make_temp_dir();
    // $T is tallyrep, $E the exporter; "report OUT" and "page OUT" write to
    // OUT with either, their errors added to the file err.
    write_file(path("lib.sh"),
               "report() { \"$T\" -tsf a.tsf -tdf r.tdf -xrd \"$1\" 2>>err; }\n"
               "page() { \"$E\" r.xrd --html \"$1\" 2>>err; }\n");
    write_file(path("a.tsf"), e2e::kTsf);
    write_file(path("r.tdf"), e2e::kTdf);
    write_file(path("r.xrd"), read_file(std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"));
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs a shell script in the folder, with lib.sh read (inner shells read
  // it again with ". ./lib.sh").
  ProgramResult sh(const std::string& script, std::vector<std::string> env = {}) const {
    env.push_back(std::string("T=") + TALLYREP_BIN);
    env.push_back(std::string("E=") + kExport);
    env.push_back("KSPX_WORKSHOP_HEADER_FILE");
    return run_program({"/bin/sh", "-c", ". ./lib.sh\n" + script}, dir_, env);
  }

  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().find(".tallyrep-") != std::string::npos)
        found.push_back(e.path().filename().string());
    return found;
  }

#ifdef TALLYREP_EXPORT_BIN
  static constexpr const char* kExport = TALLYREP_EXPORT_BIN;
#else
  static constexpr const char* kExport = "";
#endif
  std::string dir_;
};

// With a fixed PID (PID 1 of a container), the hundred temporary names of
// killed runs used to be all taken; the run then wrote over the old report
// in place, and a file-size limit left a prefix of the new one under its name.
TEST_F(OutputFaults, LeftoverTemporariesChangeNothing) {
  NEEDS_NAMESPACES();
  const ProgramResult r =
      sh("echo 'old output' > o.xrd && echo 'old output' > o.html\n"
         "i=0; while [ $i -lt 100 ]; do : > o.xrd.tallyrep-1-$i.tmp; : > o.html.tallyrep-1-$i.tmp;"
         " i=$((i+1)); done\n"
         "trap '' XFSZ\n"
         "unshare -p -f --mount-proc prlimit --fsize=1000 \"$T\" -tsf a.tsf -tdf r.tdf -xrd o.xrd"
         " 2>/dev/null; echo tallyrep $?\n"
         "unshare -p -f --mount-proc prlimit --fsize=1000 \"$E\" r.xrd --html o.html"
         " 2>/dev/null; echo export $?\n");
  EXPECT_EQ(r.out, "tallyrep 255\nexport 1\n") << r.err;
  EXPECT_EQ(read_file(path("o.xrd")), kOld);
  EXPECT_EQ(read_file(path("o.html")), kOld);
}

// Making the temporary failed with ENOSPC, and the run wrote in place: the
// old report was lost to a prefix of the new one.
TEST_F(OutputFaults, NoFreeInodeLeavesTheOldOutput) {
  NEEDS_NAMESPACES();
  const ProgramResult r =
      sh("mkdir fs && unshare -m sh -c '. ./lib.sh\n"
         "  mount -t tmpfs -o size=6m,nr_inodes=8 none fs || exit 9\n"
         "  echo \"old output\" > fs/o.xrd && echo \"old output\" > fs/o.html\n"
         "  i=0; while touch fs/f$i 2>/dev/null; do i=$((i+1)); done\n"
         "  report fs/o.xrd; echo tallyrep $?; page fs/o.html; echo export $?\n"
         "  cp fs/o.xrd fs/o.html .; ls -a fs | grep -c unfinished || true'\n",
         {});
  if (r.status == 9) GTEST_SKIP() << "tmpfs cannot be mounted here";
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "tallyrep 255\nexport 1\n0\n") << r.err;
  EXPECT_EQ(read_file(path("o.xrd")), kOld);
  EXPECT_EQ(read_file(path("o.html")), kOld);
  EXPECT_EQ(read_file(path("err")),
            std::string(e2e::kBanner) +
                "tallyrep: error: fs/o.xrd, permission denied;\n"
                "tallyrep-export: error: fs/o.html: cannot create: No space left on device\n");
}

// A bind-mounted output (docker run -v host.xrd:/w/r.xrd) cannot be renamed
// over: every run used to fail.
TEST_F(OutputFaults, BindMountedOutputIsWrittenInPlace) {
  NEEDS_NAMESPACES();
  const ProgramResult r =
      sh("mkdir w && echo old > host.xrd && echo old > host.html && : > w/r.xrd && : > w/p.html\n"
         "unshare -m sh -c '. ./lib.sh; mount --bind host.xrd w/r.xrd && mount --bind host.html "
         "w/p.html &&"
         " { report w/r.xrd; echo tallyrep $?; page w/p.html; echo export $?; }'\n");
  EXPECT_EQ(r.out, "tallyrep 0\nexport 0\n") << read_file(path("err"));
  EXPECT_TRUE(is_report(read_file(path("host.xrd"))));
  EXPECT_TRUE(is_page(read_file(path("host.html"))));
}

// As PID 1, SIGTERM removed the temporary but could not end the run, which
// wrote on to the end and failed with a misleading "permission denied;".
TEST_F(OutputFaults, SigtermEndsPidOneWithItsStatus) {
  NEEDS_NAMESPACES();
  const auto [tsf, tdf] = e2e::many_checks();
  write_file(path("a.tsf"), tsf);
  write_file(path("r.tdf"), tdf);
  write_file(path("o.xrd"), kOld);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir_.c_str()) != 0) ::_exit(127);
    std::freopen("/dev/null", "w", stderr);
    ::execl("/usr/bin/unshare", "unshare", "-p", "-f", "--mount-proc", TALLYREP_BIN, "-tsf",
            "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool sent = false;
  for (int wait = 0; wait < 60000 && !sent; ++wait) {
    for (const std::string& t : temporaries()) {
      std::error_code ec;
      if (fs::file_size(path(t), ec) < (4u << 20) || ec) continue;
      std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                             "/children");
      pid_t init = 0;
      if (children >> init) sent = ::kill(init, SIGTERM) == 0;
    }
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(sent) << "the run ended before it could be signalled";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
  EXPECT_EQ(read_file(path("o.xrd")), kOld);
  EXPECT_TRUE(temporaries().empty());
}

// Replacing a large output used to fork a process that freed the old file
// after the run: a zombie under a PID 1 that does not reap.
TEST_F(OutputFaults, NoProcessIsStarted) {
  if (run_program({"/bin/sh", "-c", "command -v strace"}).status != 0)
    GTEST_SKIP() << "strace is not installed";
  const ProgramResult r =
      sh("head -c 40000000 /dev/zero > o.xrd && cp o.xrd o.html\n"
         "s='strace -f -qq -e trace=fork,vfork,clone,clone3'\n"
         "$s -o trace \"$T\" -tsf a.tsf -tdf r.tdf -xrd o.xrd 2>>err; echo tallyrep $?\n"
         "$s -o trace2 \"$E\" r.xrd --html o.html 2>>err; echo export $?\n"
         "cat trace trace2\n",
         {"ASAN_OPTIONS=detect_leaks=0"});  // the leak check clones a thread of its own
  EXPECT_EQ(r.out, "tallyrep 0\nexport 0\n") << read_file(path("err"));
  EXPECT_TRUE(is_report(read_file(path("o.xrd"))));
}

// A name that cannot be resolved used to be replaced by a regular file.
TEST_F(OutputFaults, SymbolicLinkLoopIsAnError) {
  const ProgramResult r =
      sh("ln -s loop loop && ln -s b a && ln -s a b\n"
         "report loop; echo tallyrep $?; report a; echo tallyrep $?\n"
         "page loop; echo export $?\n"
         "[ -L loop ] && [ -L a ] && [ -L b ] && echo links kept\n");
  EXPECT_EQ(r.out, "tallyrep 255\ntallyrep 255\nexport 1\nlinks kept\n");
  EXPECT_EQ(read_file(path("err")),
            std::string(e2e::kBanner) + "tallyrep: error: loop, permission denied;\n" +
                e2e::kBanner + "tallyrep: error: a, permission denied;\n" +
                "tallyrep-export: error: loop: cannot create: Too many levels of symbolic links\n");
}

// Two outputs on standard output under two names used to be written one
// after the other with status 0; standard output that is the report itself
// used to be written over it.
TEST_F(OutputFaults, StandardOutputUnderAnyNameIsOneOutput) {
  const struct {
    const char* command;
    const char* error;
  } cases[] = {
      {"\"$E\" r.xrd --html /dev/stdout --json - | wc -c",
       "tallyrep-export: error: -: is also the --html output\n"},
      {"\"$E\" r.xrd --markdown /dev/fd/1 --junit /proc/self/fd/1 | wc -c",
       "tallyrep-export: error: /dev/fd/1: is also the --junit output\n"},
      {"\"$E\" r.xrd --json - >> r.xrd; wc -c < r.xrd",
       "tallyrep-export: error: -: is the report itself\n"},
  };
  const std::string size = std::to_string(read_file(path("r.xrd")).size());
  for (const auto& c : cases) {
    const ProgramResult r = sh(c.command);
    EXPECT_EQ(r.err, c.error) << c.command;
    EXPECT_TRUE(r.out == "0\n" || r.out == size + "\n") << c.command << ": " << r.out;
  }
}

// Standard output that a shell opened on a regular file (`> f`) is written
// at the shell's own offset: what the shell writes after the run follows
// the output instead of landing over its start.
TEST_F(OutputFaults, StandardOutputOnAFileKeepsWhatTheShellWritesAfter) {
  for (const char* name : {"-", "/dev/stdout", "/dev/fd/1"}) {
    const std::string command = std::string("{ \"$E\" r.xrd --json ") + name +
                                "; echo after; } > out.json; tail -c 6 out.json";
    const ProgramResult r = sh(command);
    EXPECT_EQ(r.out, "after\n") << name;
    EXPECT_EQ(read_file(path("out.json")).rfind("{", 0), 0u) << name;
  }
  const ProgramResult r =
      sh("{ \"$T\" -tsf a.tsf -tdf r.tdf -xrd /dev/stdout 2>/dev/null; echo after; } > o.xrd; tail "
         "-c 6 o.xrd");
  EXPECT_EQ(r.out, "after\n");
  EXPECT_EQ(read_file(path("o.xrd")).rfind("<?xml", 0), 0u);
}

}  // namespace
