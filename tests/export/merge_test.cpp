// Merging reports: each one a top-level node with its own nodes, rows and
// cells at shifted places, summed totals, and JUnit output that validates.
#include <gtest/gtest.h>

#include "export/writers.h"
#include "export_helpers.h"

namespace {

const char* const kParts[] = {"merge_a.xrd", "merge_b.xrd", "merge_empty.xrd"};

std::unique_ptr<TestRun> read_part(const std::string& name) {
  auto r = std::make_unique<TestRun>();
  std::string error;
  EXPECT_EQ(read_run(fixture(name), *r, error), 0) << name << ": " << error;
  return r;
}

void merge(const std::vector<std::string>& names, TestRun& out) {
  std::vector<std::string> paths;
  std::vector<XrdSource> sources;
  std::vector<const char*> given;
  for (const std::string& n : names) paths.push_back(fixture(n));
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
  write_all(path, xml);
  RunResult r = run("xmllint --noout --schema " + std::string(TALLYREP_SOURCE_DIR) +
                    "/tests/export/junit-10.xsd " + path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(xml.find("tests=\"5\" failures=\"1\""), std::string::npos) << xml;
}

}  // namespace
