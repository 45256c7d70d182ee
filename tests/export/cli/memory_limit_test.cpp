// tallyrep-export under an address-space limit: refused memory, wherever it
// strikes, ends the run with status 1 and one line naming the file at hand.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "export/export_helpers.h"

namespace {

const std::string kBin = TALLYREP_EXPORT_BIN;
constexpr size_t kMiB = size_t{1} << 20;

struct Limited {
  int status;  // -1 when the program did not exit normally
  std::string err;
};

// Runs the exporter with its address space limited to limit bytes.
Limited run_limited(const std::vector<std::string>& args, size_t limit) {
  std::string err_path = scratch("limited.err");
  pid_t pid = ::fork();
  if (pid == 0) {
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    struct rlimit lim = {limit, limit};
    ::setrlimit(RLIMIT_AS, &lim);
    std::vector<char*> argv{const_cast<char*>(kBin.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, read_file(err_path)};
}

// The smallest limit, to a MiB, under which the run succeeds.
size_t smallest_limit(const std::vector<std::string>& args) {
  size_t fails = 0, works = size_t{4096} * kMiB;
  if (run_limited(args, works).status != 0) return 0;
  while (works - fails > kMiB) {
    size_t mid = (fails + works) / 2 / kMiB * kMiB;
    (run_limited(args, mid).status == 0 ? works : fails) = mid;
  }
  return works;
}

// Files in a folder other than the ones named.
std::vector<std::string> other_files(const std::string& dir,
                                     const std::vector<std::string>& known) {
  std::vector<std::string> found;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      bool listed = false;
      for (const std::string& k : known) listed = listed || k == name;
      if (!listed) found.push_back(name);
    }
    ::closedir(d);
  }
  return found;
}

// A report of many rows whose links name a file of their own (with
// `own_files`), or all the same file at lines of their own.
std::string many_rows_report(bool own_files) {
  std::string rows;
  const int n = 400000;
  rows.reserve(n * 90);
  for (int i = 0; i < n; ++i)
    rows += "<ROW><CELL STYLE=\"Array\"><LINK TARGET=\"" +
            (own_files ? "f" + std::to_string(i) + ".c line 1" : "f.c line " + std::to_string(i)) +
            "\"><TEXT>x</TEXT></LINK></CELL></ROW>\n";
  return xrd_document("<DAZU:NODE name=\"T\" type=\"Test Case\" state=\"ok\"><TABLE>" + rows +
                      "</TABLE></DAZU:NODE>\n");
}

// A report of many test cases, each a node of the tree a baseline is read as.
std::string many_tests_report() {
  std::string cases;
  for (int i = 0; i < 300000; ++i)
    cases += "<DAZU:NODE name=\"t" + std::to_string(i) + "\" type=\"Test Case\" state=\"ok\"/>\n";
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ok\">" + cases +
                      "</DAZU:NODE>\n");
}

TEST(ExportMemory, RefusedMemoryEndsTheRunOnOneLineNamingTheFile) {
  const char* sanitized = std::getenv("TALLYREP_SANITIZED");
  if (sanitized && std::string(sanitized) == "1")
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit under an address-space limit";

  std::string dir = scratch("memory");
  ::mkdir(dir.c_str(), 0777);
  const std::string report = dir + "/many.xrd", same = dir + "/same.xrd",
                    tests = dir + "/tests.xrd", small = fixture("worked.xrd"),
                    html = dir + "/out.html", junit = dir + "/out.xml";
  write_file(report, many_rows_report(true));
  write_file(tests, many_tests_report());
  std::string text = many_rows_report(false);
  write_file(same, text);
  const size_t size = text.size();
  text = std::string();

  // What the program needs to start, and to read the report and write the
  // small JUnit file.
  const size_t start = smallest_limit({"--help"});
  std::remove(junit.c_str());
  const size_t read_and_junit = smallest_limit({report, "--junit", junit});
  ASSERT_GT(start, 0u);
  // The report is never held whole: rows that repeat their file take less
  // memory, read, than the report's bytes.
  std::remove(junit.c_str());
  EXPECT_LT(smallest_limit({same, "--junit", junit}), start + size);
  std::remove(junit.c_str());
  const size_t compared = smallest_limit({small, "--baseline", tests, "--json", "/dev/null"});

  // Each run would replace the page: refused memory must leave it as it was.
  write_file(html, "old page");
  const struct {
    const char* what;
    size_t limit;
    std::vector<std::string> args;
    std::string file;
  } cases[] = {
      {"reading is refused at once", start + kMiB, {report, "--html", html}, report},
      {"the run's arrays are refused", read_and_junit - 2 * kMiB, {report, "--html", html}, report},
      {"the baseline's tree is refused",
       compared - 2 * kMiB,
       {small, "--baseline", tests, "--html", html},
       tests},
  };
  for (const auto& c : cases) {
    Limited r = run_limited(c.args, c.limit);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.err, "tallyrep-export: error: " + c.file + ": out of memory\n") << c.what;
    EXPECT_TRUE(read_file(html) == "old page") << c.what << ": the old page was overwritten";
    EXPECT_EQ(other_files(dir, {"many.xrd", "same.xrd", "tests.xrd", "out.html"}),
              std::vector<std::string>())
        << c.what;
  }
}

}  // namespace
