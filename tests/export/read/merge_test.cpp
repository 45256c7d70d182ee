// Merging reports: each one a top-level node with its own nodes, rows and
// cells at shifted places, summed totals, and JUnit output that validates.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/model/test_paths.h"
#include "export/write/writers.h"

namespace {

const char* const kParts[] = {"merge_a.xrd", "merge_b.xrd", "merge_empty.xrd"};

std::unique_ptr<TestRun> read_part(const std::string& name) {
  auto r = std::make_unique<TestRun>();
  std::string error;
  EXPECT_EQ(read_run(fixture(name), *r, error), 0) << name << ": " << error;
  return r;
}

// The reports merged under the names given: fixtures, or files given by path.
void merge(const std::vector<std::string>& names, TestRun& out) {
  std::vector<std::string> paths;
  std::vector<XrdSource> sources;
  std::vector<const char*> given;
  for (const std::string& n : names) paths.push_back(n[0] == '/' ? n : fixture(n));
  for (size_t k = 0; k < names.size(); ++k) {
    sources.push_back(xrd_file(paths[k].c_str()));
    given.push_back(names[k].c_str());
  }
  size_t failed = 0;
  std::string error;
  EXPECT_EQ(run_read(sources, given, out, nullptr, failed, error), 0) << error;
}

std::string info_rows(const TestRun& r) {
  std::string s;
  for (const InfoRow& row : r.info) s += row.label + "=" + row.value + ";";
  return s;
}

TEST(Merge, EachReportIsOneSectionOverItsOwn) {
  TestRun m;
  merge({kParts[0], kParts[1], kParts[2]}, m);
  const struct {
    const char* name;
    TestState state;
  } tops[] = {{"merge_a.xrd", STATE_FAILED},
              {"merge_b.xrd", STATE_PASSED},
              {"merge_empty.xrd", STATE_NOT_EXECUTED}};
  uint32_t at = 0;
  std::string scratch, want_text;
  for (size_t k = 0; k < 3; ++k) {
    std::unique_ptr<TestRun> part = read_part(kParts[k]);
    ASSERT_LT(at, m.nodes.size());
    const TestNode& top = m.nodes[at];
    EXPECT_EQ(top.parent, -1);
    EXPECT_STREQ(top.name, tops[k].name);
    EXPECT_STREQ(m.types[top.type], "Report");
    EXPECT_EQ(node_title(m, at, scratch), std::string("Report ") + tops[k].name);
    EXPECT_EQ(top.state, tops[k].state) << tops[k].name;
    EXPECT_EQ(top.row_count, 0u);
    ASSERT_EQ(top.end, at + 1 + part->nodes.size()) << tops[k].name;
    // Every node, row and cell as the part alone has it, one level down.
    for (uint32_t j = 0; j < part->nodes.size(); ++j) {
      const TestNode& want = part->nodes[j];
      const TestNode& got = m.nodes[at + 1 + j];
      EXPECT_STREQ(got.name, want.name);
      EXPECT_EQ(got.parent, want.parent < 0 ? static_cast<int32_t>(at)
                                            : want.parent + static_cast<int32_t>(at) + 1);
      ASSERT_EQ(got.row_count, want.row_count);
      for (uint32_t r = 0; r < want.row_count; ++r) {
        const Row& wr = part->rows[want.first_row + r];
        const Row& gr = m.rows[got.first_row + r];
        ASSERT_EQ(gr.cell_count, wr.cell_count);
        for (uint32_t c = 0; c <= wr.cell_count; ++c) {
          want_text = cell_text(*part, wr, c, scratch);
          EXPECT_EQ(cell_text(m, gr, c, scratch), want_text);
        }
      }
    }
    at += 1 + static_cast<uint32_t>(part->nodes.size());
  }
  EXPECT_EQ(at, m.nodes.size());
  EXPECT_EQ(m.title, "3 reports");
  ASSERT_FALSE(m.banner.empty());
  EXPECT_EQ(m.banner[0], "Kestrel(R) Proofline Java Test Report Generator");
}

// Totals are summed; other rows stay only when every report says the same.
TEST(Merge, InformationRows) {
  const struct {
    std::vector<std::string> parts;
    const char* rows;
  } cases[] = {
      {{kParts[0], kParts[1]}, "Project=Calc;Passed=3;Failed=1;Total=4;"},
      {{kParts[0], kParts[1], kParts[2]}, "Passed=3;Failed=1;Total=4;"},
      {{kParts[2], kParts[1]}, "Passed=2;Failed=0;Total=2;"},
  };
  for (const auto& c : cases) {
    TestRun m;
    merge(c.parts, m);
    EXPECT_EQ(info_rows(m), c.rows) << c.parts.size() << " parts from " << c.parts[0];
  }
}

// merge_a with only its first test ("one"), or only its second ("two"): the
// shards of one driver that a run split by test leaves.
std::string split_shard(bool first) {
  std::string xrd = read_file(fixture("merge_a.xrd"));
  const size_t one = xrd.find("<DAZU:NODE name=\"one\""), two = xrd.find("<DAZU:NODE name=\"two\"");
  const std::string close = "</DAZU:NODE>\n";
  const size_t after_two = xrd.find(close, two) + close.size();
  xrd = first ? xrd.substr(0, two) + xrd.substr(after_two) : xrd.substr(0, one) + xrd.substr(two);
  const std::string path = scratch(first ? "shard_1.xrd" : "shard_2.xrd");
  write_file(path, xrd);
  return path;
}

// Each output of a run, in memory.
std::string output(const TestRun& r, void (*write)(OutBuffer&, const TestRun&)) {
  std::string text;
  OutBuffer out;
  out_open_string(out, &text);
  write(out, r);
  out_flush(out);
  return text;
}

// The order of the reports on the command line changes no byte of any
// output, also when one driver is in two reports, and also against a baseline.
TEST(Merge, OrderOfTheReportsChangesNoOutput) {
  write_file(scratch("merge_a_again.xrd"), read_file(fixture("merge_a.xrd")));
  const std::string again = scratch("merge_a_again.xrd");
  const struct {
    const char* what;
    std::vector<std::string> names;  // fixtures, or the copy of merge_a
  } cases[] = {
      {"different drivers", {kParts[0], kParts[1], kParts[2]}},
      {"one driver twice", {kParts[0], again, kParts[1]}},
      {"one driver split", {split_shard(true), split_shard(false)}},
  };
  const struct {
    const char* name;
    void (*write)(OutBuffer&, const TestRun&);
  } writers[] = {{"html", html_page},
                 {"junit", junit_document},
                 {"markdown", markdown_summary},
                 {"json", json_summary}};
  for (const auto& c : cases) {
    std::vector<std::string> reversed(c.names.rbegin(), c.names.rend());
    for (bool compared : {false, true}) {
      TestRun forth, back;
      merge(c.names, forth);
      merge(reversed, back);
      if (compared) {
        std::unique_ptr<TestRun> base = read_part(kParts[1]);
        compare_runs(forth, *base, "base.xrd");
        compare_runs(back, *base, "base.xrd");
      }
      for (const auto& w : writers)
        EXPECT_EQ(output(forth, w.write), output(back, w.write))
            << c.what << ", " << w.name << (compared ? " with a baseline" : "");
    }
  }
}

// Shards that ran different drivers name each test as the report of the whole
// run does: no report's name in any path; a test two reports both ran is told
// apart in the report whose name comes later.
TEST(Merge, TestsKeepTheNamesTheyHaveInTheirOwnReport) {
  write_file(scratch("merge_a_again.xrd"), read_file(fixture("merge_a.xrd")));
  const struct {
    std::vector<std::string> names;
    const char* paths;  // of every test, in the merged run's order
  } cases[] = {
      {{kParts[1], kParts[0]},
       "DriverA/S/one DriverA/S/two DriverB/S/three DriverB/T/four "
       "DriverB/T/five "},
      {{scratch("merge_a_again.xrd"), kParts[0]},
       "DriverA/S/one DriverA/S/two DriverA/S/one (2) DriverA/S/two (2) "},
  };
  for (const auto& c : cases) {
    TestRun m;
    merge(c.names, m);
    PathCursor path(m, PATH_NAMES, kNoCut);
    std::string paths;
    for (uint32_t i = 0; i < m.nodes.size(); ++i)
      if (is_test(m, m.nodes[i])) paths += std::string(path.at(i)) + " ";
    EXPECT_EQ(paths, c.paths) << c.names[0];
    const std::string xml = output(m, junit_document);
    EXPECT_NE(xml.find("<testsuite name=\"DriverA\""), std::string::npos) << xml;
  }
}

// What names each test in an output, sorted: JUnit's suites, and its cases'
// classname and name; the paths of the JSON summary; the Markdown's list
// items (a failed test's once as failed and once as still failing); the
// page's ids.
std::vector<std::string> identities(const TestRun& r, const std::string& writer) {
  const struct {
    const char* name;
    void (*write)(OutBuffer&, const TestRun&);
    const char* pattern;  // one of its groups matches
  } kinds[] = {
      {"junit", junit_document, "<testsuite (name=\"[^\"]*\")|<testcase (classname=[^>]*) time="},
      {"json", json_summary, "\"path\": \"([^\"]*)\""},
      {"markdown", markdown_summary, "\n- ([^\n]*)"},
      {"html", html_page, " id=\"([^\"]*)\""}};
  std::vector<std::string> got;
  for (const auto& k : kinds) {
    if (writer != k.name) continue;
    const std::string text = output(r, k.write);
    const std::regex item(k.pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), item);
         it != std::sregex_iterator(); ++it)
      got.push_back((*it)[1].str() + (*it)[2].str());
  }
  std::sort(got.begin(), got.end());
  return got;
}

// Shards that ran different tests of one driver name them as the unsplit run
// does, in every output and against a baseline; where two reports ran the
// same test, the later-named one's is told apart, whatever the order the
// reports were given in.
TEST(Merge, ShardsOfOneDriverNameTestsAsTheUnsplitRun) {
  const std::string one = split_shard(true), two = split_shard(false);
  const std::string a = scratch("whole.xrd");  // named after the shards
  write_file(a, read_file(fixture("merge_a.xrd")));
  const char* const kWhole = "DriverA/S/one DriverA/S/two ";
  const struct {
    const char* what;
    std::vector<std::string> names;
    bool as_unsplit;    // every output names the tests as the unsplit run does
    const char* paths;  // of every test, in run order
  } cases[] = {
      {"split by test", {one, two}, true, kWhole},
      {"split, the other order", {two, one}, true, kWhole},
      {"one test in both", {a, one}, false, "DriverA/S/one DriverA/S/one (2) DriverA/S/two "},
      {"one test in both, the other order",
       {one, a},
       false,
       "DriverA/S/one DriverA/S/one (2) DriverA/S/two "},
  };
  std::unique_ptr<TestRun> unsplit = read_part("merge_a.xrd");
  compare_runs(*unsplit, *read_part("merge_a.xrd"), "base.xrd");
  for (const auto& c : cases) {
    TestRun m;
    merge(c.names, m);
    compare_runs(m, *read_part("merge_a.xrd"), "base.xrd");
    PathCursor path(m, PATH_NAMES, kNoCut);
    std::string paths, repeated;
    for (uint32_t i = 0; i < m.nodes.size(); ++i) {
      if (is_test(m, m.nodes[i])) paths += std::string(path.at(i)) + " ";
      if (m.nodes[i].repeated) repeated += std::string(m.nodes[i].name) + " ";
    }
    EXPECT_EQ(paths, c.paths) << c.what;
    // The page links these sections of the later report by its name too.
    EXPECT_EQ(repeated, "DriverA S ") << c.what;
    const std::vector<std::string> page_ids = identities(m, "html");
    EXPECT_EQ(std::adjacent_find(page_ids.begin(), page_ids.end()), page_ids.end()) << c.what;
    if (!c.as_unsplit) continue;
    for (const char* writer : {"junit", "json", "markdown", "html"})
      EXPECT_EQ(identities(m, writer), identities(*unsplit, writer)) << c.what << ", " << writer;
    for (TestChange kind : {CHANGE_NEW_FAILURE, CHANGE_NEW_TEST, CHANGE_REMOVED})
      EXPECT_EQ(m.changes.counts[kind], 0u) << c.what << ", " << kChangeKeys[kind];
  }
}

TEST(Merge, JunitOfAMergedReportValidates) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
  TestRun m;
  merge({kParts[0], kParts[1], kParts[2]}, m);
  std::string xml;
  OutBuffer out;
  out_open_string(out, &xml);
  junit_document(out, m);
  out_flush(out);
  std::string path = scratch("merged.junit.xml");
  write_file(path, xml);
  ProgramResult r = run("xmllint --noout --schema " + std::string(TALLYREP_SOURCE_DIR) +
                        "/tests/export/junit-10.xsd " + path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(xml.find("tests=\"5\" failures=\"1\""), std::string::npos) << xml;
}

}  // namespace
