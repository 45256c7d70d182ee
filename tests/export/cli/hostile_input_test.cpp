// tallyrep-export on inputs written by the code under test, as in CI: a
// checkout with secrets, links out and FIFOs, texts that would be mark-up or
// mentions, forged histories, a DTD, an empty report. Each case runs the real
// program (under valgrind in the normal build), bounded by a timeout.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "export/export_helpers.h"
#include "export/model/history.h"

namespace {

const std::string kBin = TALLYREP_EXPORT_BIN;
const char kBreak[] = "\xE2\x80\x8B";

// One failed test whose failed checks link to `links` ("File line N"), with
// `text` as each check's text and `name` as the test's.
std::string report(const std::vector<std::string>& links, const std::string& text = "x",
                   const std::string& name = "t") {
  std::string rows;
  for (const std::string& link : links)
    rows += "<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"" + link + "\"><TEXT>" + text +
            "</TEXT></LINK></CELL></ROW>";
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\"><DAZU:NODE name=\"" +
                      name + "\" type=\"Test Case\" state=\"ko\"><TABLE>" + rows +
                      "</TABLE></DAZU:NODE></DAZU:NODE>");
}

// `count` failed tests D/t0, D/t1, ... without checks.
std::string many_failed(size_t count) {
  std::string cases;
  for (size_t i = 0; i < count; ++i)
    cases += "<DAZU:NODE name=\"t" + std::to_string(i) +
             "\" type=\"Test Case\" state=\"ko\"></DAZU:NODE>";
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                      "</DAZU:NODE>");
}

bool under_valgrind() {
  return std::getenv("TALLYREP_SANITIZED") == nullptr && ::access("/usr/bin/valgrind", X_OK) == 0;
}

// Runs the exporter on `args`, killed after `seconds`; valgrind's findings
// make the status 99.
ProgramResult exporter(const std::vector<std::string>& args, bool memcheck, int seconds = 20,
                       const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv = {"/usr/bin/timeout", "-s", "KILL", std::to_string(seconds)};
  if (memcheck && under_valgrind())
    argv.insert(argv.end(), {"/usr/bin/valgrind", "-q", "--error-exitcode=99", "--leak-check=full",
                             "--errors-for-leak-kinds=definite,indirect,possible"});
  argv.push_back(kBin);
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(argv, "", env);
}

void make_file(const std::string& path, const std::string& bytes) {
  std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
  write_file(path, bytes);
}

std::string lines(int n, const std::string& last) {
  std::string s;
  for (int k = 1; k < n; ++k) s += "line " + std::to_string(k) + "\n";
  return s + last + "\n";
}

struct Case {
  const char* fault;
  // Lays out the case's files in `dir` and returns the exporter's arguments
  // before the outputs (dir/out.md, dir/out.html and dir/out.json follow).
  std::function<std::vector<std::string>(const std::string& dir)> setup;
  int status;
  std::string err;                      // a part of standard error
  std::vector<std::string> never = {};  // texts no output may hold
  size_t max_output = 0;              // bytes, the largest output; 0: the bound every output keeps
  long max_rss_kb = 0;                // peak memory, when bounded here
  std::vector<std::string> env = {};  // for the exporter
  bool markdown_only = false;         // `never` holds for the Markdown alone
};

TEST(HostileInput, NothingLeaksHangsFloodsOrInjects) {
  const std::string secret = "SECRET-" + std::to_string(::getpid());
  const Case cases[] = {
      {"1: a name below .git",
       [&](const std::string& d) {
         make_file(d + "/src/.git/config", lines(7, "extraheader = AUTHORIZATION: " + secret));
         make_file(d + "/src/.env.java", lines(1, secret));
         make_file(d + "/src/A.java", "ok\n");
         write_file(d + "/r.xrd",
                    report({".git/config line 7", ".env.java line 1", "A.java line 1"}));
         return std::vector<std::string>{d + "/r.xrd", "--source-root", d + "/src"};
       },
       0,
       "no lines shown of 2 source files (2 below a name that starts with '.')",
       {secret}},
      {"2: links out of the root, to the exporter's own environment",
       [&](const std::string& d) {
         make_file(d + "/outside/Esc.java", lines(1, secret));
         make_file(d + "/src/In.java", "x\n");
         ::symlink("/", (d + "/src/rootlink").c_str());
         ::symlink("../outside/Esc.java", (d + "/src/Esc.java").c_str());
         ::symlink("In.java/../../outside/Esc.java", (d + "/src/Via.java").c_str());
         write_file(d + "/r.xrd",
                    report({"rootlink/etc/passwd line 1", "rootlink/proc/self/environ line 1",
                            "Esc.java line 1", "Via.java line 1", "../outside/Esc.java line 1",
                            d + "/outside/Esc.java line 1"}));
         return std::vector<std::string>{d + "/r.xrd", "--source-root", d + "/src"};
       },
       0,
       "no lines shown of 5 source files (5 outside the source root)",
       {secret, "root:x:0"},
       0,
       0,
       {"TALLYREP_TEST_SECRET=" + secret}},
      {"3: a FIFO and a link to a device below the root",
       [&](const std::string& d) {
         make_file(d + "/src/A.java", "a\n");
         ::mkfifo((d + "/src/Fifo.java").c_str(), 0600);
         ::symlink("/dev/zero", (d + "/src/Zero.java").c_str());
         write_file(d + "/r.xrd", report({"Fifo.java line 1", "Zero.java line 1"}));
         return std::vector<std::string>{d + "/r.xrd", "--source-root", d + "/src"};
       },
       0, "(1 outside the source root, 1 not a regular file)"},
      {"3: --history names a FIFO",
       [&](const std::string& d) {
         ::mkfifo((d + "/h").c_str(), 0600);
         write_file(d + "/r.xrd", report({"A.java line 1"}));
         return std::vector<std::string>{d + "/r.xrd", "--history", d + "/h"};
       },
       1, "/h: cannot read: not a regular file\n"},
      {"4: line breaks inside a source line",
       [&](const std::string& d) {
         make_file(d + "/src/S.java",
                   lines(3, "x;\r# Heading\r![i](http://e.example/i.png) **b**\xE2\x80\xA8# Two"));
         write_file(d + "/r.xrd", report({"S.java line 3"}));
         return std::vector<std::string>{d + "/r.xrd", "--source-root", d + "/src"};
       },
       0,
       "",
       {"\r", "\n# ", "\xE2\x80\xA8"},
       0,
       0,
       {},
       true},
      {"5: mentions and links in names and check texts",
       [&](const std::string& d) {
         write_file(d + "/r.xrd",
                    report({"A.java line 1"}, "ping @org/team at https://evil.example",
                           "@user www.evil.example #12 GH-3"));
         return std::vector<std::string>{d + "/r.xrd"};
       },
       0,
       "",
       {"@user", "@org", "https://", "www.evil", "#12", "GH-3"},
       0,
       0,
       {},
       true},
      {"6: run labels of 100 KB in a forged history",
       [&](const std::string& d) {
         History h;
         history_start_run(h, "r", HistoryTotals{});
         for (int t = 0; t < 200; ++t) history_record(h, "D/t" + std::to_string(t), OUTCOME_FAILED);
         h.runs[0].label = std::string(100000, 'L');
         write_file(d + "/h", history_bytes(h));
         write_file(d + "/r.xrd", many_failed(200));
         return std::vector<std::string>{d + "/r.xrd", "--history", d + "/h"};
       },
       0,
       "",
       {std::string(kHistoryLabelBytes + 1, 'L')},
       400 * 1024},
      {"6: a huge file that starts with the history's signature",
       [&](const std::string& d) {
         std::string head("\x89TRH\r\n\x1a\n\x01\0\0\0\x05\0\0\0\0\0\0\0", 20);
         write_file(d + "/h", head);
         EXPECT_EQ(::truncate((d + "/h").c_str(), off_t{1} << 30), 0);
         write_file(d + "/r.xrd", report({"A.java line 1"}));
         return std::vector<std::string>{d + "/r.xrd", "--history", d + "/h"};
       },
       1,
       "damaged test history (its header says 5 bytes of content",
       {},
       0,
       200 * 1024},
      {"8: entities a DTD declares",
       [&](const std::string& d) {
         std::string xrd = report({"A.java line 1"}, "&a;&b;");
         xrd.insert(xrd.find("<DAZU>"),
                    "<!DOCTYPE DAZU [<!ENTITY a \"x\"><!ENTITY b \"&a;&a;\">]>\n");
         write_file(d + "/r.xrd", xrd);
         return std::vector<std::string>{d + "/r.xrd"};
       },
       0, ""},
      {"9: an empty report",
       [&](const std::string& d) {
         write_file(d + "/r.xrd", "");
         return std::vector<std::string>{d + "/r.xrd"};
       },
       1, "/r.xrd: empty file\n"},
  };
  for (const Case& c : cases) {
    const std::string dir = make_temp_dir();
    std::vector<std::string> args = c.setup(dir);
    const std::vector<std::string> outputs = {dir + "/out.md", dir + "/out.html",
                                              dir + "/out.json"};
    args.insert(args.end(), {"--markdown", outputs[0], "--html", outputs[1], "--json", outputs[2]});
    const bool memcheck = c.max_rss_kb == 0;
    const ProgramResult r =
        exporter(args, memcheck, memcheck && under_valgrind() ? 120 : 20, c.env);
    EXPECT_EQ(r.status, c.status) << c.fault << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.fault << "\n" << r.err;
    // Each output within 16 times its inputs, plus 1 MiB (the page's script
    // and the Markdown's budget).
    struct stat st;
    size_t inputs = 0;
    for (const char* name : {"/r.xrd", "/h"})
      if (::stat((dir + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (1 << 30))
        inputs += static_cast<size_t>(st.st_size);
    const size_t bound = c.max_output ? c.max_output : 16 * inputs + (1 << 20);
    for (const std::string& path : outputs) {
      const std::string text = read_file(path);
      EXPECT_LE(text.size(), bound) << c.fault << ": " << path;
      if (c.markdown_only && path != outputs[0]) continue;
      for (const std::string& bad : c.never)
        EXPECT_EQ(text.find(bad), std::string::npos) << c.fault << ": " << path << " holds " << bad;
    }
    if (c.max_rss_kb > 0) {
      EXPECT_LE(r.peak_rss_kb, c.max_rss_kb) << c.fault;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
  }
  // The broken patterns still read as the texts they were.
  const std::string dir = make_temp_dir();
  write_file(dir + "/r.xrd", report({"A.java line 1"}, "x", "@user"));
  ASSERT_EQ(exporter({dir + "/r.xrd", "--markdown", dir + "/out.md"}, false).status, 0);
  EXPECT_NE(read_file(dir + "/out.md").find(std::string("D/@") + kBreak + "user"),
            std::string::npos);
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Two runs updating one history at once: both runs end up in it, every time.
TEST(HostileInput, ConcurrentHistoryUpdatesLoseNoRun) {
  const std::string dir = make_temp_dir();
  write_file(dir + "/r.xrd", many_failed(50));
  const std::string history = dir + "/h";
  for (int pair = 0; pair < 20; ++pair) {
    std::vector<pid_t> children;
    for (int k = 0; k < 2; ++k) {
      const std::string label = "p" + std::to_string(pair) + "-" + std::to_string(k);
      const pid_t pid = ::fork();
      if (pid == 0) {
        const int null_fd = ::open("/dev/null", O_WRONLY);
        ::dup2(null_fd, 1);
        ::dup2(null_fd, 2);
        ::execl(kBin.c_str(), kBin.c_str(), (dir + "/r.xrd").c_str(), "--history", history.c_str(),
                "--history-size", "100", "--run-label", label.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "pair " << pair;
    }
  }
  History h;
  std::string error;
  ASSERT_TRUE(history_read_file(history.c_str(), h, error)) << error;
  EXPECT_EQ(h.runs.size(), 40u);
  // A run killed while it holds the lock does not block the next.
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::string e;
    if (history_lock(history.c_str(), e) < 0) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  ::usleep(100000);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  const ProgramResult next = exporter({dir + "/r.xrd", "--history", history}, false, 10);
  EXPECT_EQ(next.status, 0) << next.err;
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
