// Merging reports: each one a top-level section with its own sections, rows
// and cells at shifted places, summed totals, and JUnit output that validates.
#include <gtest/gtest.h>

#include "export/junit_export.h"
#include "export/xrd_merge.h"
#include "export/xrd_vocabulary.h"
#include "export_helpers.h"

namespace {

const char* const kParts[] = {"merge_a.xrd", "merge_b.xrd", "merge_empty.xrd"};

std::unique_ptr<XrdReport> read_part(const std::string& name) {
  auto r = std::make_unique<XrdReport>();
  std::string error;
  EXPECT_EQ(xrd_read(fixture(name).c_str(), *r, error), 0) << name << ": " << error;
  return r;
}

void merge(const std::vector<std::string>& names, XrdReport& out) {
  std::vector<std::unique_ptr<XrdReport>> parts;
  for (const std::string& n : names) parts.push_back(read_part(n));
  xrd_merge(std::move(parts), names, out);
}

std::string info_rows(const XrdReport& r) {
  std::string s;
  for (const XrdInfoRow& row : r.info) s += std::string(row.label) + "=" + row.value + ";";
  return s;
}

TEST(Merge, EachReportIsOneSectionOverItsOwn) {
  XrdReport m;
  merge({kParts[0], kParts[1], kParts[2]}, m);
  const struct {
    const char* name;
    XrdState state;
  } tops[] = {{"merge_a.xrd", XRD_KO}, {"merge_b.xrd", XRD_OK}, {"merge_empty.xrd", XRD_NE}};
  uint32_t at = 0;
  for (size_t k = 0; k < 3; ++k) {
    std::unique_ptr<XrdReport> part = read_part(kParts[k]);
    ASSERT_LT(at, m.sections.size());
    const XrdSection& top = m.sections[at];
    EXPECT_EQ(top.parent, -1);
    EXPECT_EQ(top.depth, 0u);
    EXPECT_STREQ(top.name, tops[k].name);
    EXPECT_STREQ(top.type, kXrdReportType);
    EXPECT_EQ(std::string(top.title), std::string("Report ") + tops[k].name);
    EXPECT_EQ(top.state, tops[k].state) << tops[k].name;
    EXPECT_EQ(top.row_count, 0u);
    ASSERT_EQ(xrd_subtree_end(m, at), at + 1 + part->sections.size()) << tops[k].name;
    // Every section, row and cell as the part alone has it, one level down.
    for (uint32_t j = 0; j < part->sections.size(); ++j) {
      const XrdSection& want = part->sections[j];
      const XrdSection& got = m.sections[at + 1 + j];
      EXPECT_STREQ(got.name, want.name);
      EXPECT_EQ(got.depth, want.depth + 1);
      EXPECT_EQ(got.parent, want.parent < 0 ? static_cast<int32_t>(at)
                                            : want.parent + static_cast<int32_t>(at) + 1);
      ASSERT_EQ(got.row_count, want.row_count);
      for (uint32_t r = 0; r < want.row_count; ++r) {
        const XrdRow& wr = part->rows[want.first_row + r];
        const XrdRow& gr = m.rows[got.first_row + r];
        ASSERT_EQ(gr.cell_count, wr.cell_count);
        for (uint32_t c = 0; c < wr.cell_count; ++c)
          EXPECT_STREQ(m.cells[gr.first_cell + c].text, part->cells[wr.first_cell + c].text);
      }
    }
    at += 1 + static_cast<uint32_t>(part->sections.size());
  }
  EXPECT_EQ(at, m.sections.size());
  EXPECT_EQ(m.title, "3 reports");
  ASSERT_FALSE(m.banner.empty());
  EXPECT_STREQ(m.banner[0], "Kestrel(R) Proofline Java Test Report Generator");
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
    XrdReport m;
    merge(c.parts, m);
    EXPECT_EQ(info_rows(m), c.rows) << c.parts.size() << " parts from " << c.parts[0];
  }
}

TEST(Merge, JunitOfAMergedReportValidates) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
  XrdReport m;
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
