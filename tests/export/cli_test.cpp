// The tallyrep-export program: its command line, exit statuses and diagnostics.
#include <gtest/gtest.h>

#include <algorithm>

#include "export_helpers.h"

namespace {

const std::string kBin = TALLYREP_EXPORT_BIN;

TEST(ExportCli, HelpAndBadCommandLines) {
  RunResult help = run(kBin + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(
      help.out.rfind("usage: tallyrep-export REPORT.xrd [--html OUT.html] [--junit OUT.xml]\n", 0),
      0u);
  EXPECT_EQ(help.err, "");
  const char* bad[] = {"",
                       "r.xrd",
                       "r.xrd --html",
                       "r.xrd --pdf x",
                       "a.xrd b.xrd --html x",
                       "r.xrd --html a --html b",
                       "--junit x"};
  for (const char* args : bad) {
    RunResult r = run(kBin + " " + args);
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
  RunResult r = run(kBin + " " + fixture("old_head.xrd") + " --junit " + junit + " --html " + html);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_NE(read_all(html).find("</html>"), std::string::npos);
  EXPECT_NE(read_all(junit).find("</testsuites>"), std::string::npos);
}

TEST(ExportCli, FailuresNameTheFileOnOneLine) {
  std::string missing = fixture("missing.xrd");
  RunResult r = run(kBin + " " + missing + " --html " + scratch("x.html"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tallyrep-export: error: " + missing + ": cannot open: No such file or directory\n");

  write_all(scratch("plain.txt"), "just some text\n");
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

}  // namespace
