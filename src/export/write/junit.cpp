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

namespace {

void counts(XmlWriter& xml, const TestCounts& c) {
  xml.attribute("tests", c.tests);
  xml.attribute("failures", c.failed);
  xml.attribute("errors", 0);
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
  const Row* row = located_check(run, n);
  if (!row) return;
  const CheckPlace place = check_place(run, *row);
  xml.attribute("file", place.path);
  if (place.line > 0) xml.attribute("line", place.line);
}

void test_case(XmlWriter& xml, const TestRun& run, uint32_t i, std::string_view classname,
               bool locations) {
  const TestNode& n = run.nodes[i];
  std::string scratch;
  xml.open("testcase");
  xml.attribute("classname", classname);
  xml.attribute("name", unique_name(run, i, scratch));
  xml.attribute("time", 0);
  if (locations) location_attributes(xml, run, n);
  if (n.state == STATE_FAILED) {
    xml.open("failure");
    xml.attribute("type", "check");
    xml.attribute("message", failure_message(run, n));
    xml.text(failure_text(run, i, classname));
    xml.close();
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
  const Row* row = located_check(run, n);
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

// One suite holds every driver of its name: shards that each ran some tests of a
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
  std::string scratch;
  const std::string name(unique_name(run, roots[0], scratch));
  suite_start(xml, run, name, c, file);
  std::vector<Moved> moved;
  for (uint32_t root : roots)
    each_driver_test(run, root, [&](uint32_t i, std::string_view classname) {
      const uint32_t f = files.empty() ? kNone : failure_file(run, run.nodes[i]);
      if (f == kNone || f == file)
        test_case(xml, run, i, classname, locations);
      else
        moved.push_back({suite_of[f], i, std::string(classname)});
    });
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
