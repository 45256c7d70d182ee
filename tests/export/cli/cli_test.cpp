// The tallyrep-export program: its command line, exit statuses and diagnostics.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "export/export_helpers.h"

namespace {

const std::string kBin = TALLYREP_EXPORT_BIN;

// A fresh empty folder for one test, with the report under the name r.xrd.
std::string folder_with_report(const std::string& name) {
  std::string dir = scratch(name);
  std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  write_file(dir + "/r.xrd", read_file(fixture("worked.xrd")));
  return dir;
}

std::set<std::string> files_in(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

bool is_symlink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(ExportCli, HelpAndBadCommandLines) {
  ProgramResult help = run(kBin + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(
      help.out.rfind("usage: tallyrep-export REPORT.xrd [REPORT.xrd ...] [--html OUT.html]", 0),
      0u);
  EXPECT_NE(help.out.find("--check"), std::string::npos);
  EXPECT_EQ(help.err, "");
  ProgramResult version = run(kBin + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tallyrep-export ", 0), 0u) << version.out;
  const char* bad[] = {"",
                       "r.xrd",
                       "r.xrd --html",
                       "r.xrd --pdf x",
                       "r.xrd --markdown-append --html x",
                       "r.xrd --check --check",
                       "r.xrd --html a --html b",
                       "r.xrd --junit-locations --html x",
                       "r.xrd --source-root",
                       "--junit x",
                       "r.xrd --history h --history-size 0",
                       "r.xrd --history h --history-size 1001",
                       "r.xrd --history h --history-size 3x",
                       "r.xrd --history h --history-size",
                       "r.xrd --json - --history-size 5",
                       "r.xrd --json - --run-label x",
                       "r.xrd --history h --run-label ''",
                       "r.xrd --history -",
                       "r.xrd --check=new",
                       "r.xrd --check --check=new --baseline r.xrd",
                       "r.xrd --markdown - --markdown-limit 8191",
                       "r.xrd --markdown - --markdown-limit 64k",
                       "r.xrd --markdown - --markdown-limit",
                       "r.xrd --markdown-limit 65536 --html x",
                       "r.xrd --github-annotations --github-annotations",
                       "r.xrd --gitlab-codequality"};
  for (const char* args : bad) {
    ProgramResult r = run(kBin + " " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err.rfind("tallyrep-export: error: ", 0), 0u) << args;
    EXPECT_NE(r.err.find("\nusage: tallyrep-export"), std::string::npos) << args;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST(ExportCli, WritesBothOutputs) {
  std::string html = scratch("cli.html"), junit = scratch("cli.xml");
  std::remove(html.c_str());
  std::remove(junit.c_str());
  ProgramResult r =
      run(kBin + " " + fixture("old_head.xrd") + " --junit " + junit + " --html " + html);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_NE(read_file(html).find("</html>"), std::string::npos);
  EXPECT_NE(read_file(junit).find("</testsuites>"), std::string::npos);
}

TEST(ExportCli, FailuresNameTheFileOnOneLine) {
  std::string missing = fixture("missing.xrd");
  ProgramResult r = run(kBin + " " + missing + " --html " + scratch("x.html"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tallyrep-export: error: " + missing + ": cannot open: No such file or directory\n");

  write_file(scratch("plain.txt"), "just some text\n");
  r = run(kBin + " " + scratch("plain.txt") + " --junit " + scratch("x.xml"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err.rfind("tallyrep-export: error: " + scratch("plain.txt") + ": not an XML document (", 0),
      0u);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);

  r = run(kBin + " " + fixture("worked.xrd") + " --html /dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tallyrep-export: error: /dev/full: cannot write: No space left on device\n");
  r = run(kBin + " " + fixture("worked.xrd") + " --junit /no/such/dir/out.xml");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err,
      "tallyrep-export: error: /no/such/dir/out.xml: cannot create: No such file or directory\n");
}

// An output that is the report, under any name, or one file named by both
// options: refused before anything is read or written.
TEST(ExportCli, OutputThatIsTheReportOrTheOtherOutputIsRefused) {
  const struct {
    const char* setup;  // shell commands run in the folder first, each after "&&"
    const char* args;   // after the report
    const char* named;  // the file the error names
    const char* reason;
  } cases[] = {
      {"", "--html r.xrd", "r.xrd", "is the report itself"},
      {"", "--junit ./r.xrd", "./r.xrd", "is the report itself"},
      {"&& ln r.xrd hard.xml", "--junit hard.xml", "hard.xml", "is the report itself"},
      {"&& ln -s r.xrd soft.html", "--html soft.html", "soft.html", "is the report itself"},
      {"", "--html o.html --junit o.html", "o.html", "is also the --html output"},
      {"", "--html o.html --junit ./o.html", "./o.html", "is also the --html output"},
      {"&& echo old > o.html", "--junit o.html --html o.html", "o.html",
       "is also the --html output"},
      {"&& ln -s new.html link.html", "--html link.html --junit new.html", "new.html",
       "is also the --html output"},
      {"", "--history r.xrd", "r.xrd", "is the report itself"},
      {"", "--json o.json --history o.json", "o.json", "is also the --json output"},
  };
  for (const auto& c : cases) {
    std::string dir = folder_with_report("same");
    ASSERT_EQ(std::system(("cd " + dir + " && true " + c.setup).c_str()), 0) << c.setup;
    std::set<std::string> before = files_in(dir);
    std::string old = read_file(dir + "/o.html");
    ProgramResult r = run("cd " + dir + " && " + kBin + " r.xrd " + c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.err, std::string("tallyrep-export: error: ") + c.named + ": " + c.reason + "\n")
        << c.args;
    EXPECT_EQ(read_file(dir + "/r.xrd"), read_file(fixture("worked.xrd"))) << c.args;
    EXPECT_EQ(files_in(dir), before) << c.args;
    EXPECT_EQ(read_file(dir + "/o.html"), old) << c.args;
  }
}

// Several reports make one output, a section per report named by its file as
// given.
TEST(ExportCli, SeveralReportsMakeOneOutput) {
  std::string junit = scratch("merged.xml");
  ProgramResult r =
      run("cd " + fixture("") + " && " + kBin + " merge_a.xrd ./merge_b.xrd --junit " + junit);
  EXPECT_EQ(r.status, 0) << r.err;
  std::string xml = read_file(junit);
  // The drivers of every report are the suites, as in a report of one run.
  EXPECT_NE(xml.find("<testsuite name=\"DriverA\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<testsuite name=\"DriverB\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("classname=\"DriverA.S\""), std::string::npos) << xml;
}

// --source-root gives every output the paths of a checkout; a file not found
// there costs one warning line, not the run.
TEST(ExportCli, SourceRootNamesFilesByTheirPathsInTheCheckout) {
  const std::string root = scratch("checkout");
  std::system(("rm -rf " + root + " && mkdir -p " + root + "/src/test/java && : >" + root +
               "/src/test/java/CalcTest.java")
                  .c_str());
  const std::string junit = scratch("located.xml"), json = scratch("located.json");
  ProgramResult r = run(kBin + " " + TALLYREP_SOURCE_DIR + "/examples/calc.xrd --source-root " +
                        root + " --junit " + junit + " --junit-locations --json " + json);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tallyrep-export: warning: " + root +
                       ": 1 source file not found (CalcMemoryTest.java); named as the reports "
                       "give them\n");
  const std::string xml = read_file(junit);
  EXPECT_NE(xml.find("name=\"testDivide\" time=\"0\" file=\"src/test/java/CalcTest.java\" "
                     "line=\"35\""),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("file=\"CalcMemoryTest.java\""), std::string::npos) << xml;
  EXPECT_NE(read_file(json).find("\"file\": \"src/test/java/CalcTest.java\""), std::string::npos);
  r = run(kBin + " " + TALLYREP_SOURCE_DIR + "/examples/calc.xrd --source-root " + root +
          "/none --junit " + junit);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("tallyrep-export: error: " + root + "/none: ", 0), 0u) << r.err;
}

TEST(ExportCli, MarkdownAppendKeepsWhatTheFileHeld) {
  std::string md = scratch("step_summary.md");
  write_file(md, "# earlier step\n");
  ProgramResult r =
      run(kBin + " " + fixture("merge_a.xrd") + " --markdown-append --markdown " + md);
  EXPECT_EQ(r.status, 0) << r.err;
  std::string text = read_file(md);
  EXPECT_EQ(text.rfind("# earlier step\n", 0), 0u);
  EXPECT_GT(text.size(), 20u);
}

// Inputs are the reports and the baseline; no output may be one of them, and
// no report may be given twice, under any name.
TEST(ExportCli, SeveralFilesThatAreOneAreRefused) {
  const struct {
    const char* args;
    const char* named;
    const char* reason;
  } cases[] = {
      {"r.xrd s.xrd --html s.xrd", "s.xrd", "is the report s.xrd"},
      {"r.xrd --baseline s.xrd --junit ./s.xrd", "./s.xrd", "is the baseline"},
      {"r.xrd r.xrd --html o.html", "r.xrd", "is given twice"},
      {"r.xrd hard.xrd --check", "hard.xrd", "is the same file as r.xrd"},
      {"r.xrd --markdown - --json -", "-", "is also the --markdown output"},
      {"r.xrd --markdown - --github-annotations", "-", "is also the --markdown output"},
      {"r.xrd --github-annotations --json /dev/stdout", "-", "is also the --json output"},
      {"r.xrd --gitlab-codequality ./r.xrd", "./r.xrd", "is the report itself"},
      {"r.xrd --json o.md --markdown o.md", "o.md", "is also the --markdown output"},
  };
  for (const auto& c : cases) {
    std::string dir = folder_with_report("several");
    ASSERT_EQ(std::system(("cd " + dir + " && cp r.xrd s.xrd && ln r.xrd hard.xrd").c_str()), 0);
    std::set<std::string> before = files_in(dir);
    ProgramResult r = run("cd " + dir + " && " + kBin + " " + c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.err, std::string("tallyrep-export: error: ") + c.named + ": " + c.reason + "\n")
        << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(files_in(dir), before) << c.args;
  }
}

// A write that fails half-way (here past a file size limit) leaves the old
// output as it was and no temporary file beside it.
TEST(ExportCli, FailedWriteLeavesTheOldOutput) {
  std::string dir = folder_with_report("fsize");
  write_file(dir + "/o.html", "old page");
  ProgramResult r =
      run("cd " + dir + " && trap '' XFSZ && ulimit -f 8 && exec " + kBin + " r.xrd --html o.html");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tallyrep-export: error: o.html: cannot write: File too large\n");
  EXPECT_EQ(read_file(dir + "/o.html"), "old page");
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"o.html", "r.xrd"}));
}

// With standard output closed, "-" used to fail as a missing file, and a
// file opened later could take the closed number.
TEST(ExportCli, ClosedStandardOutputIsABadDescriptor) {
  std::string dir = folder_with_report("closed");
  ProgramResult r = run("cd " + dir + " && (exec " + kBin + " r.xrd --json - >&-)");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tallyrep-export: error: -: cannot create: Bad file descriptor\n");
}

// A symbolic link stays a link: the file it names, there yet or not, is
// replaced; the link's folder is not where the page is put.
TEST(ExportCli, LinkedOutputReplacesTheFileItNames) {
  const char* setups[] = {"echo old > real.html && ln -s real.html link.html",
                          "ln -s real.html link.html"};
  for (const char* setup : setups) {
    std::string dir = folder_with_report("link");
    ASSERT_EQ(std::system(("cd " + dir + " && " + setup).c_str()), 0) << setup;
    ProgramResult r = run("cd " + dir + " && " + kBin + " r.xrd --html link.html");
    EXPECT_EQ(r.status, 0) << setup << r.err;
    EXPECT_TRUE(is_symlink(dir + "/link.html")) << setup;
    EXPECT_NE(read_file(dir + "/real.html").find("</html>"), std::string::npos) << setup;
    EXPECT_EQ(files_in(dir), (std::set<std::string>{"link.html", "real.html", "r.xrd"})) << setup;
  }
}

// A replaced output keeps its mode; a new one gets what the umask leaves.
TEST(ExportCli, OutputModeIsTheOldFilesOrTheUmasks) {
  std::string dir = folder_with_report("mode");
  write_file(dir + "/old.xml", "old");
  ::chmod((dir + "/old.xml").c_str(), 0604);
  ProgramResult r =
      run("cd " + dir + " && umask 027 && " + kBin + " r.xrd --junit old.xml --html new.html");
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat st;
  ASSERT_EQ(::stat((dir + "/old.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(::stat((dir + "/new.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// What is no plain file cannot be replaced and is written as it is.
TEST(ExportCli, FifoOutputIsWrittenInPlace) {
  std::string dir = folder_with_report("fifo");
  ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0666), 0);
  // The reader gives up in time should the FIFO be replaced by a file.
  ProgramResult r = run("cd " + dir + " && { timeout 20 cat pipe > got & } && " + kBin +
                        " r.xrd --junit pipe; s=$?; wait; exit $s");
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat st;
  ASSERT_EQ(::lstat((dir + "/pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_NE(read_file(dir + "/got").find("</testsuites>"), std::string::npos);
}

// GitHub drops a step summary over 1 MiB whole: an appended summary keeps
// the whole file within --markdown-limit, or is not added at all.
TEST(ExportCli, MarkdownAppendKeepsTheWholeFileWithinTheLimit) {
  std::string cases;
  for (int i = 0; i < 5000; ++i)
    cases += "<DAZU:NODE name=\"test" + std::to_string(i) +
             "\" type=\"Test Case\" state=\"ko\"></DAZU:NODE>";
  const std::string report = scratch("many.xrd"), md = scratch("summary.md");
  write_file(report, xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" +
                                  cases + "</DAZU:NODE>"));
  const struct {
    size_t held;
    bool added;
  } cases_of[] = {{0, true},
                  {1000001, true},
                  {kMarkdownLimit - kMarkdownLimitLeast, true},
                  {kMarkdownLimit - kMarkdownLimitLeast + 1, false},
                  {kMarkdownLimit + 5, false}};
  for (const auto& c : cases_of) {
    const std::string before(c.held, 'x');
    write_file(md, before);
    const ProgramResult r = run(kBin + " " + report + " --markdown " + md + " --markdown-append");
    EXPECT_EQ(r.status, 0) << c.held;
    const std::string after = read_file(md);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << c.held;
    EXPECT_LE(after.size(), std::max(kMarkdownLimit, c.held)) << c.held;
    EXPECT_EQ(after.size() > before.size(), c.added) << c.held;
    EXPECT_EQ(r.err.find("the summary is not added") != std::string::npos, !c.added) << r.err;
  }
}

}  // namespace
