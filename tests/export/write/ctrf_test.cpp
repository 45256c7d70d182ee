// The CTRF report as Python's json module reads it: JUnit's tests and
// failures, names made unique, suites and places, the history, the run's times.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <pugixml.hpp>

#include "export/export_helpers.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/writers.h"

namespace {

struct CtrfTest {
  // suite's names joined by '|', outcomes by ','; "" for a key not there.
  std::string name, status, suite, file, line, message, trace, flaky, outcomes;
};
struct Ctrf {
  std::string summary;  // "tests=6 passed=5 ...", in the report's order of keys
  std::vector<CtrfTest> tests;
};

// A strict read (UTF-8, no constant JSON lacks) of the report, each test's
// fields after \x1e, split by \x1f.
Ctrf read_ctrf(const TestRun& r) {
  const std::string path = scratch("report.ctrf.json");
  std::string error;
  EXPECT_EQ(write_as("--ctrf", r, path, error), 0) << error;
  const ProgramResult read =
      run("python3 -c 'import json,sys\n"
          "def bad(c): raise ValueError(c)\n"
          "d = json.load(open(sys.argv[1], encoding=\"utf-8\"), parse_constant=bad)\n"
          "assert d[\"reportFormat\"] == \"CTRF\"\n"
          "s = d[\"results\"][\"summary\"]\n"
          "out = \" \".join(f\"{k}={v}\" for k, v in s.items())\n"
          "for t in d[\"results\"][\"tests\"]:\n"
          "  f = [str(t.get(k, \"\")) for k in (\"name\", \"status\")]\n"
          "  f.append(\"|\".join(t.get(\"suite\", [])))\n"
          "  f += [str(t.get(k, \"\")) for k in (\"filePath\", \"line\", \"message\", \"trace\", "
          "\"flaky\")]\n"
          "  f.append(\",\".join(t.get(\"extra\", {}).get(\"tallyrep.recentOutcomes\", [])))\n"
          "  out += \"\\x1e\" + \"\\x1f\".join(f)\n"
          "sys.stdout.write(out)' " +
          path);
  EXPECT_EQ(read.status, 0) << read.err;
  Ctrf ctrf;
  size_t at = read.out.find('\x1e');
  ctrf.summary = read.out.substr(0, at);
  while (at != std::string::npos) {
    const size_t end = read.out.find('\x1e', at + 1);
    const std::string record = read.out.substr(at + 1, end - at - 1);
    std::vector<std::string> f;
    for (size_t from = 0;;) {
      const size_t cut = record.find('\x1f', from);
      f.push_back(record.substr(from, cut - from));
      if (cut == std::string::npos) break;
      from = cut + 1;
    }
    EXPECT_EQ(f.size(), 9u) << record;
    f.resize(9);
    ctrf.tests.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]});
    at = end;
  }
  return ctrf;
}

int read_runs(const std::vector<std::string>& paths, TestRun& r, std::string& error) {
  std::vector<XrdSource> sources;
  std::vector<const char*> names;
  for (const std::string& p : paths) {
    sources.push_back(xrd_file(p.c_str()));
    names.push_back(p.c_str());
  }
  size_t failed = 0;
  return run_read(sources, names, r, nullptr, failed, error);
}

std::string driver(const std::string& nodes) {
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + nodes +
                      "</DAZU:NODE>");
}

std::string node(const std::string& name, const char* type, const char* state,
                 const std::string& inside = "") {
  return "<DAZU:NODE name=\"" + name + "\" type=\"" + type + "\" state=\"" + state + "\">" +
         inside + "</DAZU:NODE>";
}

// A check table of rows "Failed"/"Passed" with a link each ("" for none).
std::string checks(const std::vector<std::pair<const char*, std::string>>& rows) {
  std::string t = "<TABLE>";
  for (const auto& [style, target] : rows) {
    const std::string text = "<TEXT>x</TEXT>";
    t += std::string("<ROW><CELL STYLE=\"Array ") + style + "\">" +
         (target.empty() ? text : "<LINK TARGET=\"" + target + "\">" + text + "</LINK>") +
         "</CELL></ROW>";
  }
  return t + "</TABLE>";
}

// Each JUnit testcase is a CTRF test, in the same order, with the status its
// element says, and a failure's message and text as the failure element's.
TEST(Ctrf, EveryJunitTestCaseWithItsFailure) {
  if (run("command -v python3").status != 0) GTEST_SKIP() << "python3 is missing";
  const struct {
    std::vector<std::string> reports;
    const char* summary;
  } cases[] = {
      {{std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"},
       "tests=6 passed=5 failed=1 skipped=0 pending=0 other=0"},
      {{fixture("merge_a.xrd"), fixture("merge_b.xrd"), fixture("encodings.xrd")},
       "tests=7 passed=4 failed=2 skipped=1 pending=0 other=0"},
      {{fixture("worked.xrd")}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reports[0]);
    TestRun r;
    std::string error;
    ASSERT_EQ(read_runs(c.reports, r, error), 0) << error;
    const Ctrf ctrf = read_ctrf(r);
    if (c.summary) {
      EXPECT_EQ(ctrf.summary.rfind(c.summary, 0), 0u) << ctrf.summary;
    }
    const std::string xml = out_capture([&](OutBuffer& o) { junit_document(o, r); });
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    size_t k = 0;
    for (pugi::xpath_node x : doc.select_nodes("//testcase")) {
      ASSERT_LT(k, ctrf.tests.size());
      const pugi::xml_node tc = x.node();
      const CtrfTest& t = ctrf.tests[k++];
      const std::string name = tc.attribute("name").value();
      EXPECT_EQ(t.name.substr(t.name.size() - name.size() - 1), "/" + name);
      const pugi::xml_node failure = tc.child("failure");
      EXPECT_EQ(t.status, failure ? "failed" : tc.child("skipped") ? "skipped" : "passed");
      EXPECT_EQ(t.message, failure.attribute("message").value()) << t.name;
      EXPECT_EQ(t.trace, failure.text().get()) << t.name;
    }
    EXPECT_EQ(k, ctrf.tests.size());
  }
}

TEST(Ctrf, NamesSuitesAndPlaces) {
  if (run("command -v python3").status != 0) GTEST_SKIP() << "python3 is missing";
  const std::string deep(kPathCut.limit, 's');
  const struct {
    const char* what;
    std::string report;
    // name, suite, file and line of each test
    std::vector<std::string> tests;
  } cases[] = {
      {"twins, and a name spelled like one",
       driver(node("t", "Test Case", "ok") + node("t", "Test Case", "ok") +
              node("t (2)", "Test Case", "ok") + node("t (2)", "Test Case", "ok")),
       {"D/t D", "D/t (2) D", "D/t (2) (2) D", "D/t (2) (2) (2) D"}},
      {"a name holding the separator",
       driver(node("S", "Test Suite", "ok", node("b", "Proc", "ok")) + node("S/b", "Stub", "ok")),
       {"D/S/b D|S", "D/S/b (2) D"}},
      {"nested tests and classes",
       driver(node("C", "Test Class", "ok", node("t", "Test Case", "ok", node("p", "Proc", "ok")))),
       {"D/C/t D|C", "D/C/t/p D|C|t"}},
      {"merged reports leave their nodes out",
       xrd_document(node("a.xrd", "Report", "ok",
                         node("D", "Test Driver", "ok", node("t", "Test Case", "ok"))) +
                    node("b.xrd", "Report", "ok",
                         node("D", "Test Driver", "ok", node("t", "Test Case", "ok")))),
       {"D/t D", "D (2)/t D (2)"}},
      {"a path too long for a classname",
       driver(node(deep, "Test Suite", "ok", node("t", "Test Case", "ok"))),
       {"D/" + deep.substr(0, kPathCut.keep - 2) + "\xE2\x80\xA6" +
        deep.substr(0, kPathCut.keep - 2) + "/t #"}},
      {"the first failed check, else the first check",
       driver(node("f", "Test Case", "ko",
                   checks({{"Passed", "P.java line 3"}, {"Failed", "F.java line 9"}})) +
              node("p", "Test Case", "ok", checks({{"Passed", ""}, {"Passed", "P.java line 4"}})) +
              node("x", "Test Case", "ok", checks({{"Passed", "T.java line x"}})) +
              node("n", "Test Case", "ok", checks({{"Passed", ""}}))),
       {"D/f D F.java 9", "D/p D P.java 4", "D/x D T.java", "D/n D"}},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(c.report, r, error), 0) << error;
    const Ctrf ctrf = read_ctrf(r);
    ASSERT_EQ(ctrf.tests.size(), c.tests.size()) << c.what;
    for (size_t k = 0; k < c.tests.size(); ++k) {
      const CtrfTest& t = ctrf.tests[k];
      std::string got = t.name + " " + t.suite;
      for (const std::string& f : {t.file, t.line})
        if (!f.empty()) got += " " + f;
      if (c.tests[k].back() == '#') {
        // A cut identity ends in its digest; the suite is the cut parent path.
        EXPECT_EQ(t.name.rfind(c.tests[k], 0), 0u) << c.what << ": " << t.name;
        EXPECT_EQ(t.suite, "D/" + deep.substr(0, kPathCut.keep - 2) + "\xE2\x80\xA6" +
                               deep.substr(0, kPathCut.keep))
            << c.what;
        continue;
      }
      EXPECT_EQ(got, c.tests[k]) << c.what;
    }
  }
}

// Flaky by the one rule; the newest kCtrfOutcomes runs, oldest first, this
// one last. Without a history neither is written.
TEST(Ctrf, HistoryGivesFlakyAndTheNewestOutcomes) {
  if (run("command -v python3").status != 0) GTEST_SKIP() << "python3 is missing";
  const std::string report =
      driver(node("flips", "Test Case", "ko") + node("steady", "Test Case", "ok") +
             node("fresh", "Test Case", "NE"));
  TestRun plain;
  std::string error;
  ASSERT_EQ(parse_text(report, plain, error), 0) << error;
  for (const CtrfTest& t : read_ctrf(plain).tests) EXPECT_EQ(t.flaky + t.outcomes, "") << t.name;

  TestRun r;
  ASSERT_EQ(parse_text(report, r, error), 0) << error;
  History h;
  for (int run = 0; run < 12; ++run) {
    history_start_run(h, "r" + std::to_string(run), HistoryTotals{});
    history_record(h, "D/flips", run % 2 ? OUTCOME_FAILED : OUTCOME_PASSED);
    if (run != 10) history_record(h, "D/steady", OUTCOME_PASSED);
  }
  run_history_add(r, std::move(h), "now", kHistoryDefaultSize);
  const Ctrf ctrf = read_ctrf(r);
  EXPECT_NE(ctrf.summary.find(" flaky=1 "), std::string::npos) << ctrf.summary;
  ASSERT_EQ(ctrf.tests.size(), 3u);
  const std::string expected[3][2] = {
      {"True", "failed,passed,failed,passed,failed,passed,failed,passed,failed,failed"},
      {"False", "passed,passed,passed,passed,passed,passed,passed,absent,passed,passed"},
      {"False", "absent,absent,absent,absent,absent,absent,absent,absent,absent,skipped"},
  };
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(ctrf.tests[k].flaky, expected[k][0]) << ctrf.tests[k].name;
    EXPECT_EQ(ctrf.tests[k].outcomes, expected[k][1]) << ctrf.tests[k].name;
  }
}

// The report's generation time, read in the local time it was written in;
// 0 where merged reports state different times, or none is stated.
TEST(Ctrf, RunTimesAreWhenTheReportWasWritten) {
  if (run("command -v python3").status != 0) GTEST_SKIP() << "python3 is missing";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const struct {
    std::vector<std::string> reports;
    const char* times;
  } cases[] = {
      {{fixture("calc_like.xrd")}, "start=1796579831000 stop=1796579831000"},
      {{fixture("calc_like.xrd"), fixture("encodings.xrd")},
       "start=1796579831000 stop=1796579831000"},
      {{fixture("calc_like.xrd"), std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"},
       "start=0 stop=0"},
      {{fixture("merge_a.xrd")}, "start=0 stop=0"},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(read_runs(c.reports, r, error), 0) << error;
    const std::string summary = read_ctrf(r).summary;
    EXPECT_NE(summary.find(c.times), std::string::npos) << c.reports.back() << ": " << summary;
  }
}

}  // namespace
