// JUnit XML: suites per driver, test cases whose failure names the first
// failed check and lists each one as a Java stack frame, for the readers
// that turn frames into a file and a line.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/model/failed_checks.h"
#include "export/model/test_paths.h"
#include "export/write/writers.h"
#include "export/write/xml_writer.h"
#include "report/vocabulary.h"

namespace {

void counts(XmlWriter& xml, const TestCounts& c) {
  xml.attribute("tests", c.tests);
  xml.attribute("failures", c.failed);
  xml.attribute("errors", 0);
}

// Text on one line of the failure body: a line break inside a name or an
// expression would start a line that readers take for a frame of its own.
void line_text(XmlWriter& xml, std::string_view text) {
  for (size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
       at = text.find_first_of("\r\n")) {
    xml.text(text.substr(0, at));
    xml.text(" ");
    text.remove_prefix(at + 1);
  }
  xml.text(text);
}

// The check a test case is annotated at: its first failed check, else its
// first check that links to a source file; null when none does.
const Row* located_row(const TestRun& run, const TestNode& n) {
  const Row* first = nullptr;
  for (const NodeRows::Item item : node_rows(run, n)) {
    const Row& row = item.row;
    if (row.kind != ROW_CHECK || row.file == kNone) continue;
    if (row.flags & ROW_FAILED) return &row;
    if (!first) first = &row;
  }
  return first;
}

// The report names no driver source: the first linked check of the driver's
// subtree stands for it. kNone when nothing in the subtree links anywhere.
uint32_t driver_file(const TestRun& run, uint32_t root) {
  for (uint32_t i = root; i < run.nodes[root].end; ++i) {
    for (const NodeRows::Item item : node_rows(run, run.nodes[i]))
      if (item.row.kind == ROW_CHECK && item.row.file != kNone) return item.row.file;
  }
  return kNone;
}

// file and line of the check a test case is annotated at, for the readers
// that take them from the testcase (the xUnit schema has no room for them).
void location_attributes(XmlWriter& xml, const TestRun& run, const TestNode& n) {
  const Row* row = located_row(run, n);
  if (!row) return;
  const CheckPlace place = check_place(run, *row);
  xml.attribute("file", place.path);
  if (place.line > 0) xml.attribute("line", place.line);
}

// "calc.divide(1, 3) == 0.333 at CalcTest.java:35 and 2 more": what a
// reader shows of a failure before its body.
std::string failure_message(const TestRun& run, const TestNode& n) {
  const Row* first = first_failed_check(run, n);
  if (!first) return "failed with no failed check of its own";
  std::string message = check_sentence(run, *first, kNoCut);
  const uint32_t failed = failed_check_count(run, n);
  if (failed > 1) message += " and " + std::to_string(failed - 1) + " more";
  return message;
}

// One failed check: its expression and counts named after the columns of the
// table it stands in, then, when it links to a line, the stack frame
// "at Class.test(File.java:35)" on a line of its own. A link with no line
// number stays beside the expression.
void failed_check(XmlWriter& xml, const TestRun& run, const Row& row, std::string_view frame) {
  std::string scratch;
  line_text(xml, row_text(run, row));
  const bool frame_line = row.file != kNone && row_links_line(run, row);
  if (row.file != kNone && !frame_line) {
    xml.text(" (");
    line_text(xml, row_target(run, row));
    xml.text(")");
  }
  const TableHead* head = row.head == kNone ? nullptr : &run.heads[row.head];
  for (uint32_t j = 2; j <= row.cell_count; ++j) {
    xml.text(j == 2 ? ": " : ", ");
    if (head && j <= head->cell_count)
      line_text(xml, cell_value_text(run, head->first_cell + j - 1, scratch));
    else
      xml.text(j < 5 ? kCheckHeads[j] : "");
    xml.text(" ");
    line_text(xml, cell_text(run, row, j, scratch));
  }
  xml.text("\n");
  if (!frame_line) return;
  xml.text("\tat ");
  // Readers look the file up by the package's folders (dorny's action).
  const std::string_view package = file_package(run, row.file);
  if (!package.empty()) {
    line_text(xml, package);
    xml.text(".");
  }
  line_text(xml, frame);
  xml.text("(");
  // Frames name a file without its folders; readers look it up by that name
  // among the repository's files.
  line_text(xml, path_base_name(source_path(run, row.file)));
  xml.text(":");
  xml.text(row_line_text(run, row, scratch));
  xml.text(")\n");
}

// The failed checks, then the first one's place once more by its path: a
// reader that takes the last "FILE...:LINE" of the text for the suite's file
// (mikepenz's action) lands on the first failed check, also when the frames
// name the file without its folders.
void failure(XmlWriter& xml, const TestRun& run, const TestNode& n, std::string_view frame) {
  xml.open("failure");
  xml.attribute("type", "check");
  xml.attribute("message", failure_message(run, n));
  xml.text("");
  for (const NodeRows::Item check : node_failed_checks(run, n))
    failed_check(xml, run, check.row, frame);
  const Row* first = first_failed_check(run, n);
  if (first && first->file != kNone && row_links_line(run, *first)) {
    xml.text("first failed check at ");
    line_text(xml, row_location(run, *first));
    xml.text("\n");
  }
  xml.close();
}

void test_case(XmlWriter& xml, const TestRun& run, uint32_t i, std::string_view cls,
               bool locations) {
  const TestNode& n = run.nodes[i];
  std::string scratch;
  const std::string classname = text_shorten(cls, kPathCut);
  const std::string_view name = unique_name(run, i, scratch);
  xml.open("testcase");
  xml.attribute("classname", classname);
  xml.attribute("name", name);
  xml.attribute("time", 0);
  if (locations) location_attributes(xml, run, n);
  if (n.state == STATE_FAILED) {
    failure(xml, run, n, classname + "." + std::string(name));
  } else if (n.state == STATE_NOT_EXECUTED) {
    xml.open("skipped");
    xml.attribute("message", kStateLabels[STATE_NOT_EXECUTED]);
    xml.close();
  }
  xml.close();
}

// The file of the check a failed test is annotated at, when it is a failed
// check; kNone for a test that passed or whose failed checks link nowhere.
uint32_t failure_file(const TestRun& run, const TestNode& n) {
  if (n.state != STATE_FAILED) return kNone;
  const Row* row = located_row(run, n);
  return row && (row->flags & ROW_FAILED) ? row->file : kNone;
}

void suite_start(XmlWriter& xml, const TestRun& run, std::string_view name, const TestCounts& c,
                 uint32_t file) {
  xml.open_list("testsuite");
  xml.attribute("name", name);
  counts(xml, c);
  xml.attribute("skipped", c.not_executed);
  xml.attribute("time", 0);
  if (file != kNone) xml.attribute("file", source_path(run, file));
}

// A failed test kept for the suite of the file its failure is in (the
// suite's place among those files).
struct Moved {
  size_t suite;
  uint32_t node;
  std::string classname;
};

// The classname starts with the driver, so that a case directly under it
// reads like the nested ones; path holds it and the suite and class names
// down to the current node, and frames remember where each level ends. One
// suite holds every driver of its name: shards that each ran some tests of a
// driver give the suite an unsplit run gives. Readers that take a failure's
// file from its suite (mikepenz's action) would put a failure in another
// file than the suite's first check in the wrong file: such failed tests
// follow in suites of the same name, one per file, in the order their files
// first fail.
void test_suite(XmlWriter& xml, const TestRun& run, const std::vector<uint32_t>& roots,
                bool locations) {
  TestCounts c = group_counts(run, roots);
  uint32_t file = kNone;
  for (uint32_t root : roots)
    if (file == kNone) file = driver_file(run, root);
  std::vector<uint32_t> files;  // the other files failures are in, in order
  std::vector<TestCounts> moved_counts;
  std::unordered_map<uint32_t, size_t> suite_of;  // by file
  for (uint32_t root : roots)
    for (uint32_t i = root + 1; i < run.nodes[root].end; ++i) {
      const TestNode& n = run.nodes[i];
      if (!is_test(run, n)) continue;
      const uint32_t f = failure_file(run, n);
      if (f == kNone || f == file) continue;
      auto [it, added] = suite_of.emplace(f, files.size());
      if (added) {
        files.push_back(f);
        moved_counts.emplace_back();
      }
      counts_add(moved_counts[it->second], n.state);
      --c.tests;
      --c.failed;
    }
  std::string name, path, scratch;
  name = unique_name(run, roots[0], scratch);
  suite_start(xml, run, name, c, file);
  struct Frame {
    uint32_t node;
    size_t length;
  };
  std::vector<Frame> stack;
  std::vector<Moved> moved;
  for (uint32_t root : roots) {
    path = name;
    stack.assign(1, {root, path.size()});
    for (uint32_t i = root + 1; i < run.nodes[root].end; ++i) {
      const TestNode& n = run.nodes[i];
      while (stack.size() > 1 && stack.back().node != static_cast<uint32_t>(n.parent))
        stack.pop_back();
      path.resize(stack.back().length);
      if (is_test(run, n)) {
        const uint32_t f = files.empty() ? kNone : failure_file(run, n);
        if (f == kNone || f == file)
          test_case(xml, run, i, path, locations);
        else
          moved.push_back({suite_of[f], i, path});
      }
      if (is_container(run, n)) {
        path += '.';
        path += unique_name(run, i, scratch);
      }
      stack.push_back({i, path.size()});
    }
  }
  xml.close();
  std::stable_sort(moved.begin(), moved.end(),
                   [](const Moved& a, const Moved& b) { return a.suite < b.suite; });
  for (size_t k = 0, m = 0; k < files.size(); ++k) {
    suite_start(xml, run, name, moved_counts[k], files[k]);
    for (; m < moved.size() && moved[m].suite == k; ++m)
      test_case(xml, run, moved[m].node, moved[m].classname, locations);
    xml.close();
  }
}

}  // namespace

// Readers that validate drop a file whose testsuites carries skipped, so the
// skipped count stays on each testsuite only. Merged reports: the drivers
// below each report's node are the suites, named as in one report; the drivers
// of one name share one suite.
void junit_document(OutBuffer& out, const TestRun& run, bool locations) {
  const std::vector<std::vector<uint32_t>> groups = driver_groups(run);
  junit_part(out, run, locations, groups, 0, groups.size());
}

void junit_part(OutBuffer& out, const TestRun& run, bool locations,
                const std::vector<std::vector<uint32_t>>& groups, size_t from, size_t to) {
  TestCounts all;
  for (size_t g = from; g < to; ++g) {
    const TestCounts c = group_counts(run, groups[g]);
    all.tests += c.tests;
    all.passed += c.passed;
    all.failed += c.failed;
    all.not_executed += c.not_executed;
  }
  XmlWriter xml(out);
  xml.declaration();
  xml.open_list("testsuites");
  xml.attribute("name", run.title);
  counts(xml, all);
  xml.attribute("time", 0);
  for (size_t g = from; g < to; ++g) test_suite(xml, run, groups[g], locations);
  xml.close();
  xml.end();
}

void junit_document(OutBuffer& out, const TestRun& run) {
  junit_document(out, run, false);
}
