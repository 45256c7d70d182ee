// The report file through the real binary: an old report is replaced only by a
// whole new one, links and modes are kept, and a report naming an input is refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

std::string denied(const std::string& xrd) {
  return std::string(kBanner) + "tallyrep: error: " + xrd + ", permission denied;\n";
}

class ReportFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir();
    put("a.tsf", kTsf);
    put("r.tdf", kTdf);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void put(const std::string& name, const std::string& bytes) const {
    write_file(path(name), bytes);
  }
  std::vector<std::string> argv(const std::string& xrd, const std::string& tsf = "a.tsf") const {
    return {TALLYREP_BIN, "-tsf", tsf, "-tdf", "r.tdf", "-xrd", xrd};
  }
  ProgramResult run(const std::string& xrd, const std::vector<std::string>& env = {},
                    std::vector<std::string> prefix = {}) const {
    std::vector<std::string> args = argv(xrd);
    prefix.insert(prefix.end(), args.begin(), args.end());
    std::vector<std::string> environment = {"KSPX_WORKSHOP_HEADER_FILE"};
    environment.insert(environment.end(), env.begin(), env.end());
    return run_program(prefix, dir_, environment);
  }
  // Files a run left beside its reports.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().find(".tallyrep-") != std::string::npos) {
        found.push_back(e.path().filename().string());
      }
    }
    return found;
  }

  std::string dir_;
};

bool is_report(const std::string& bytes) {
  return bytes.rfind("<?xml", 0) == 0 && bytes.size() > 8 &&
         bytes.compare(bytes.size() - 8, 8, "</DAZU>\n") == 0;
}

// Killed part-way, a rewrite used to leave the new start and the old end
// under the report's name: well-formed XML whose totals disagreed with it.
// A cancelled run also used to leave its temporary, as large as the report.
TEST_F(ReportFile, KilledRunLeavesTheOldReportWhole) {
  const auto [tsf, tdf] = e2e::many_checks();
  put("a.tsf", tsf);
  put("r.tdf", tdf);
  const std::string old = "<?xml version=\"1.0\"?>\n<DAZU>the old report</DAZU>\n";
  // A signal the run can catch removes its temporary; one its caller ignores
  // stays ignored (nohup), and the run goes on to the end.
  const struct {
    int sig;
    bool ignored;
  } cases[] = {
      {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGKILL, false}, {SIGTERM, true}};
  for (const auto& c : cases) {
    put("o.xrd", old);
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      if (c.sig != SIGKILL) signal(c.sig, c.ignored ? SIG_IGN : SIG_DFL);  // not as inherited
      std::vector<std::string> args = argv("o.xrd");
      std::vector<char*> raw;
      for (std::string& a : args) raw.push_back(&a[0]);
      raw.push_back(nullptr);
      std::freopen("/dev/null", "w", stderr);
      execv(raw[0], raw.data());
      _exit(127);
    }
    // Kill it once a few megabytes of the new report are out.
    bool killed = false;
    for (int wait = 0; wait < 60000 && !killed; ++wait) {
      for (const std::string& t : temporaries()) {
        std::error_code ec;
        if (fs::file_size(path(t), ec) >= (4u << 20) && !ec) killed = kill(pid, c.sig) == 0;
      }
      if (!killed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(killed) << "the run ended before it could be killed";
    const std::vector<std::string> left = temporaries();
    if (c.ignored) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_TRUE(is_report(read_file(path("o.xrd"))));
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << status;
      EXPECT_EQ(old, read_file(path("o.xrd"))) << "signal " << c.sig;
    }
    ASSERT_LE(left.size(), c.sig == SIGKILL ? 1u : 0u) << "signal " << c.sig;
    for (const std::string& t : left) {
      EXPECT_EQ(0u, t.rfind("o.xrd.tallyrep-", 0)) << t;
      fs::remove(path(t));
    }
  }
  const ProgramResult r = run("o.xrd");
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(is_report(read_file(path("o.xrd"))));
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(ReportFile, ReplacementKeepsModeAndLinks) {
  put("o.xrd", "old");
  ASSERT_EQ(0, chmod(path("o.xrd").c_str(), 0640));
  fs::create_directory(path("sub"));
  put("sub/real.xrd", "old");
  fs::create_symlink("sub/real.xrd", path("link.xrd"));
  fs::create_symlink("sub/new.xrd", path("dangling.xrd"));
  for (const char* xrd : {"o.xrd", "link.xrd", "dangling.xrd"}) {
    const ProgramResult r = run(xrd);
    EXPECT_EQ(0, r.status) << xrd;
    EXPECT_EQ(kBanner, r.err) << xrd;
  }
  struct stat st;
  ASSERT_EQ(0, stat(path("o.xrd").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_TRUE(is_report(read_file(path("o.xrd"))));
  EXPECT_TRUE(fs::is_symlink(path("link.xrd")));
  EXPECT_TRUE(is_report(read_file(path("sub/real.xrd"))));
  EXPECT_TRUE(fs::is_symlink(path("dangling.xrd")));
  EXPECT_TRUE(is_report(read_file(path("sub/new.xrd"))));
  EXPECT_TRUE(temporaries().empty());
  for (const auto& e : fs::directory_iterator(path("sub"))) {
    EXPECT_EQ(std::string::npos, e.path().string().find(".tallyrep-")) << e.path();
  }
}

TEST_F(ReportFile, DevicesAndFifosAreWrittenAsTheyAre) {
  ASSERT_EQ(0, mkfifo(path("pipe.xrd").c_str(), 0600));
  std::string piped;
  std::thread reader([&] { piped = read_file(path("pipe.xrd")); });
  ProgramResult r = run("pipe.xrd");
  reader.join();
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(is_report(piped));
  // Standard output stays a stream, even when it is a file opened for appending.
  r = run("/dev/stdout");
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(is_report(r.out));
  put("log.txt", "earlier lines\n");
  r = run_program({"/bin/sh", "-c", "exec \"$@\" >>log.txt", "sh", TALLYREP_BIN, "-tsf", "a.tsf",
                   "-tdf", "r.tdf", "-xrd", "/dev/stdout"},
                  dir_, {"KSPX_WORKSHOP_HEADER_FILE"});
  EXPECT_EQ(0, r.status);
  const std::string log = read_file(path("log.txt"));
  EXPECT_EQ(0u, log.rfind("earlier lines\n<?xml", 0));
  EXPECT_EQ(0, run("/dev/null").status);
  EXPECT_TRUE(temporaries().empty());
  for (const auto& e : fs::directory_iterator("/dev")) {
    EXPECT_EQ(std::string::npos, e.path().string().find(".tallyrep-")) << e.path();
  }
}

// Without the right to add a file to the folder, a writable report is still
// written (in place); a report that may not be written is refused untouched.
TEST_F(ReportFile, FolderWithoutRoomForATemporaryFile) {
  std::vector<std::string> as_user;
  if (geteuid() == 0) {
    as_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    if (!fs::exists(as_user[0])) GTEST_SKIP() << "setpriv is missing";
  }
  put("o.xrd", std::string(4096, 'x'));
  put("ro.xrd", "read-only");
  ASSERT_EQ(0, chmod(path("o.xrd").c_str(), 0666));
  ASSERT_EQ(0, chmod(path("ro.xrd").c_str(), 0444));
  if (geteuid() == 0) {
    ASSERT_EQ(0, chown(path("ro.xrd").c_str(), 0, 0));
  }
  ASSERT_EQ(0, chmod(dir_.c_str(), 0555));
  ProgramResult ok = run("o.xrd", {}, as_user);
  ProgramResult refused = run("ro.xrd", {}, as_user);
  ASSERT_EQ(0, chmod(dir_.c_str(), 0700));
  EXPECT_EQ(0, ok.status) << ok.err;
  EXPECT_TRUE(is_report(read_file(path("o.xrd"))));
  EXPECT_EQ(255, refused.status);
  EXPECT_EQ(denied("ro.xrd"), refused.err);
  EXPECT_EQ("read-only", read_file(path("ro.xrd")));
}

// In a sticky folder (/tmp) a writable report of another user cannot be
// replaced: the run used to fail with "permission denied;" where a rewrite
// in place succeeds.
TEST_F(ReportFile, WritableReportOfAnotherUserInAStickyFolder) {
  const std::vector<std::string> as_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups", "--"};
  if (geteuid() != 0 || !fs::exists(as_user[0])) GTEST_SKIP() << "needs root and setpriv";
  fs::create_directory(path("shared"));
  put("shared/o.xrd", std::string(4096, 'x'));
  ASSERT_EQ(0, chmod(path("shared/o.xrd").c_str(), 0666));
  ASSERT_EQ(0, chmod(path("shared").c_str(), 01777));
  ASSERT_EQ(0, chmod(dir_.c_str(), 0755));
  ProgramResult r = run("shared/o.xrd", {}, as_user);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(is_report(read_file(path("shared/o.xrd"))));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(path("shared")), fs::directory_iterator()));
}

// A report naming an input used to overwrite it and exit 0; the next run then
// read the report as its trace and reported nothing.
TEST_F(ReportFile, ReportNamingAnInputIsRefused) {
  put("h.txt", "$PROJECT_NAME=p\n");
  fs::create_hard_link(path("a.tsf"), path("hard.tsf"));
  fs::create_symlink("r.tdf", path("soft.tdf"));
  struct Case {
    std::string xrd;
    std::vector<std::string> env;
  };
  const std::vector<Case> cases = {
      {"r.tdf", {}},
      {"a.tsf", {}},
      {"hard.tsf", {}},
      {"soft.tdf", {}},
      {"h.txt", {"KSPX_WORKSHOP_HEADER_FILE=" + path("h.txt")}},
  };
  for (const Case& c : cases) {
    const ProgramResult r = run(c.xrd, c.env);
    EXPECT_EQ(255, r.status) << c.xrd;
    EXPECT_EQ(denied(c.xrd), r.err) << c.xrd;
    EXPECT_EQ(kTsf, read_file(path("a.tsf"))) << c.xrd;
    EXPECT_EQ(kTdf, read_file(path("r.tdf"))) << c.xrd;
    EXPECT_EQ("$PROJECT_NAME=p\n", read_file(path("h.txt"))) << c.xrd;
  }
  // The second of several TSF names.
  put("b.tsf", kTsf);
  const ProgramResult r =
      run_program({TALLYREP_BIN, "-tsf", "a.tsf", "b.tsf", "-tdf", "r.tdf", "-xrd", "b.tsf"}, dir_,
                  {"KSPX_WORKSHOP_HEADER_FILE"});
  EXPECT_EQ(denied("b.tsf"), r.err);
  EXPECT_EQ(kTsf, read_file(path("b.tsf")));
  EXPECT_TRUE(temporaries().empty());
}

}  // namespace
