// JUnit XML: suites per driver, test cases with failure bodies that list each
// failed check with its source link and counts.
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/output_file.h"
#include "export/test_paths.h"
#include "export/writers.h"
#include "export/xml_writer.h"
#include "report/vocabulary.h"

namespace {

void counts(XmlWriter& xml, const TestCounts& c) {
  xml.attribute("tests", c.tests);
  xml.attribute("failures", c.failed);
  xml.attribute("errors", 0);
}

// The file a row links to: "CalcTest.java line 35" stands in
// "CalcTest.java:35", whose part before the colon is the file.
std::string row_file(const TestRun& run, const Row& row) {
  return row_links_line(run, row) ? std::string(run.files[row.file]) : row_target(run, row);
}

// The source of a test case: its first failed check's, else its first
// linked check's, so that annotations land where the failure was seen.
std::string case_file(const TestRun& run, const TestNode& n) {
  const Row* first = nullptr;
  for (uint32_t k = 0; k < n.row_count; ++k) {
    const Row& row = run.rows[n.first_row + k];
    if (row.kind != ROW_CHECK || row.file == kNone) continue;
    if (row.flags & ROW_FAILED) return row_file(run, row);
    if (!first) first = &row;
  }
  return first ? row_file(run, *first) : std::string();
}

// The report names no driver source: the first linked check of the driver's
// subtree stands for it. Empty when nothing in the subtree links anywhere.
std::string driver_file(const TestRun& run, uint32_t root) {
  for (uint32_t i = root; i < run.nodes[root].end; ++i) {
    const TestNode& n = run.nodes[i];
    for (uint32_t k = 0; k < n.row_count; ++k) {
      const Row& row = run.rows[n.first_row + k];
      if (row.kind == ROW_CHECK && row.file != kNone) return row_file(run, row);
    }
  }
  return {};
}

void file_attribute(XmlWriter& xml, const std::string& file) {
  if (!file.empty()) xml.attribute("file", file);
}

// The failure body: one line per failed check, its counts named after the
// columns of the table it stands in, then its location in the File.java:35
// form that annotating tools look for.
void failure(XmlWriter& xml, const TestRun& run, const TestNode& n) {
  unsigned long long failed = 0;
  for (uint32_t k = 0; k < n.row_count; ++k)
    if (run.rows[n.first_row + k].flags & ROW_FAILED) ++failed;
  xml.open("failure");
  xml.attribute("type", "check");
  xml.attribute("message", failed == 0   ? std::string("failed with no failed check of its own")
                           : failed == 1 ? std::string("1 failed check")
                                         : std::to_string(failed) + " failed checks");
  xml.text("");
  std::string scratch;
  for (uint32_t k = 0; k < n.row_count; ++k) {
    const Row& row = run.rows[n.first_row + k];
    if (!(row.flags & ROW_FAILED)) continue;
    xml.text(row_text(run, row));
    const std::string target = row_target(run, row);
    if (!target.empty()) {
      xml.text(" (");
      xml.text(target);
      xml.text(")");
    }
    xml.text(":");
    const TableHead* head = row.head == kNone ? nullptr : &run.heads[row.head];
    for (uint32_t j = 2; j <= row.cell_count; ++j) {
      xml.text(j == 2 ? " " : ", ");
      if (head && j <= head->cell_count)
        xml.text(cell_value_text(run, head->first_cell + j - 1, scratch));
      else
        xml.text(j < 5 ? kCheckHeads[j] : "");
      xml.text(" ");
      xml.text(cell_text(run, row, j, scratch));
    }
    if (!target.empty()) {
      const std::string at = row_location(run, row);
      if (at != target) {
        xml.text(row.cell_count > 1 ? ", at " : " at ");
        xml.text(at);
      }
    }
    xml.text("\n");
  }
  xml.close();
}

void test_case(XmlWriter& xml, const TestRun& run, uint32_t i, std::string_view cls) {
  const TestNode& n = run.nodes[i];
  std::string scratch;
  xml.open("testcase");
  xml.attribute("classname", text_shorten(cls, kPathCut));
  xml.attribute("name", unique_name(run, i, scratch));
  xml.attribute("time", 0);
  file_attribute(xml, case_file(run, n));
  if (n.state == STATE_FAILED) {
    failure(xml, run, n);
  } else if (n.state == STATE_NOT_EXECUTED) {
    xml.open("skipped");
    xml.attribute("message", kStateLabels[STATE_NOT_EXECUTED]);
    xml.close();
  }
  xml.close();
}

// The classname starts with the driver, so that a case directly under it
// reads like the nested ones; path holds it and the suite and class names
// down to the current node, and frames remember where each level ends.
void test_suite(XmlWriter& xml, const TestRun& run, uint32_t root, std::string_view name) {
  const uint32_t end = run.nodes[root].end;
  TestCounts c;
  for (uint32_t i = root + 1; i < end; ++i)
    if (is_test(run, run.nodes[i])) counts_add(c, run.nodes[i].state);
  xml.open_list("testsuite");
  xml.attribute("name", name);
  counts(xml, c);
  xml.attribute("skipped", c.not_executed);
  xml.attribute("time", 0);
  file_attribute(xml, driver_file(run, root));
  struct Frame {
    uint32_t node;
    size_t length;
  };
  std::string path(name), scratch;
  std::vector<Frame> stack{{root, path.size()}};
  for (uint32_t i = root + 1; i < end; ++i) {
    const TestNode& n = run.nodes[i];
    while (stack.size() > 1 && stack.back().node != static_cast<uint32_t>(n.parent))
      stack.pop_back();
    path.resize(stack.back().length);
    if (is_test(run, n)) test_case(xml, run, i, path);
    if (is_container(run, n)) {
      path += '.';
      path += unique_name(run, i, scratch);
    }
    stack.push_back({i, path.size()});
  }
  xml.close();
}

}  // namespace

// Readers that validate drop a file whose testsuites carries skipped, so the
// skipped count stays on each testsuite only.
void junit_document(OutBuffer& out, const TestRun& run) {
  TestCounts all;
  for (const TestNode& n : run.nodes)
    if (n.parent >= 0 && is_test(run, n)) counts_add(all, n.state);
  XmlWriter xml(out);
  xml.declaration();
  xml.open_list("testsuites");
  xml.attribute("name", run.title);
  counts(xml, all);
  xml.attribute("time", 0);
  // Merged reports: the drivers below each report's node are the suites, so
  // classnames still start with the driver; a driver that two reports ran is
  // made distinct as equal siblings are.
  std::unordered_map<std::string, uint32_t, TextHash> drivers_seen;
  std::string scratch;
  for (uint32_t i = 0; i < run.nodes.size(); i = run.nodes[i].end) {
    if (!is_report(run, run.nodes[i])) {
      test_suite(xml, run, i, unique_name(run, i, scratch));
      continue;
    }
    for (uint32_t d = i + 1; d < run.nodes[i].end; d = run.nodes[d].end) {
      std::string name(unique_name(run, d, scratch));
      if (const uint32_t seen = ++drivers_seen[name]; seen > 1)
        name += " (" + std::to_string(seen) + ")";
      test_suite(xml, run, d, name);
    }
  }
  xml.close();
  xml.end();
}

int junit_write(const TestRun& run, const char* path, std::string& error) {
  return write_output(
      path, false, [&](OutBuffer& out) { junit_document(out, run); }, error);
}
