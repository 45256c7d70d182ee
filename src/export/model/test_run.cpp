// The words of the test-run model, its totals, the names nodes go by, and what
// a check table's row says: its counts, its cells and its link.
#include "export/model/test_run.h"

#include <algorithm>
#include <cstring>

const char* const kStateKeys[kStates] = {"passed", "failed", "not_executed"};
const char* const kStateLabels[kStates] = {"Passed", "Failed", "Not Executed"};

const char* const kChangeWords[CHANGE_KINDS] = {
    "Unchanged", "New failure", "Fixed", "Still failing", "New test", "Stopped running", "Removed"};
const char* const kChangeKeys[CHANGE_KINDS] = {
    "unchanged", "new_failure", "fixed", "still_failing", "new_test", "stopped_running", "removed"};
const char* const kChangeHeadings[CHANGE_KINDS] = {
    "Unchanged", "New failures",    "Fixed",  "Still failing",
    "New tests", "Stopped running", "Removed"};

void counts_add(TestCounts& counts, TestState state) {
  ++counts.tests;
  ++(state == STATE_PASSED   ? counts.passed
     : state == STATE_FAILED ? counts.failed
                             : counts.not_executed);
}

uint32_t run_type(TestRun& run, std::string_view type) {
  const uint32_t before = run.types.size();
  const uint32_t id = run.types.add(type);
  if (id < before) return id;
  const struct {
    const char* name;
    uint32_t TestRun::*field;
  } known[] = {{"Test Case", &TestRun::type_test_case}, {"Proc", &TestRun::type_proc},
               {"Stub", &TestRun::type_stub},           {"Test Suite", &TestRun::type_suite},
               {"Test Class", &TestRun::type_class},    {"Report", &TestRun::type_report}};
  for (const auto& k : known)
    if (type == k.name) run.*k.field = id;
  return id;
}

Totals run_totals(const TestRun& run) {
  if (run.totals_stated) return run.stated;
  return {run.counted.passed, run.counted.failed, run.counted.passed + run.counted.failed};
}

uint64_t run_failed(const TestRun& run) {
  return std::max<uint64_t>(run_totals(run).failed, run.counted.failed);
}

std::string_view node_title(const TestRun& run, uint32_t i, std::string& scratch) {
  const TestNode& n = run.nodes[i];
  if (n.title) return n.title;
  scratch.assign(run.types[n.type]);
  scratch += ' ';
  scratch += n.name;
  return scratch;
}

std::string_view unique_name(const TestRun& run, uint32_t i, std::string& scratch) {
  const TestNode& n = run.nodes[i];
  std::string_view base(*n.name ? n.name : run.types[n.type]);
  if (n.twin <= 1) return base;
  scratch.assign(base);
  scratch += " (";
  scratch += std::to_string(n.twin);
  scratch += ')';
  return scratch;
}

bool decimal_value(std::string_view text, uint64_t& value) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t next = value * 10 + static_cast<unsigned>(c - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  return true;
}

std::string_view cell_value_text(const TestRun& run, uint32_t cell, std::string& scratch) {
  const uint32_t value = run.cells[cell];
  if ((value & kCellNumber) == 0) return run.cell_texts[value];
  scratch = std::to_string(value & ~kCellNumber);
  return scratch;
}

std::string_view cell_text(const TestRun& run, const Row& row, uint32_t k, std::string& scratch) {
  if (k == 0) return row_text(run, row);
  return cell_value_text(run, row.first_cell + k - 1, scratch);
}

CheckCounts check_counts(const TestRun& run, const Row& row) {
  static const int32_t kUsual[3] = {2, 3, 4};
  const int32_t* column = row.head == kNone ? kUsual : run.heads[row.head].column;
  CheckCounts c;
  uint64_t* value[3] = {&c.executed, &c.failed, &c.passed};
  std::string scratch;
  for (int k = 0; k < 3; ++k) {
    if (column[k] < 0 || static_cast<uint32_t>(column[k]) > row.cell_count) continue;
    const auto at = static_cast<uint32_t>(column[k]);
    if (at > 0 && (run.cells[row.first_cell + at - 1] & kCellNumber) != 0) {
      *value[k] = run.cells[row.first_cell + at - 1] & ~kCellNumber;
      c.known[k] = true;
    } else {
      c.known[k] = decimal_value(cell_text(run, row, at, scratch), *value[k]);
    }
  }
  return c;
}

std::string_view row_line_text(const TestRun& run, const Row& row, std::string& scratch) {
  if (row.flags & ROW_ODD_LINE) return run.odd_lines[row.line];
  if ((row.flags & ROW_LINE) == 0) return {};
  scratch = std::to_string(row.line);
  return scratch;
}

bool row_links_line(const TestRun& run, const Row& row) {
  if (row.flags & ROW_LINE) return true;
  if ((row.flags & ROW_ODD_LINE) == 0) return false;
  const char* line = run.odd_lines[row.line];
  if (*line == '\0') return false;
  for (; *line; ++line)
    if (*line < '0' || *line > '9') return false;
  return true;
}

std::string row_target(const TestRun& run, const Row& row) {
  if (row.file == kNone) return "";
  std::string target(source_path(run, row.file));
  if (row.flags & (ROW_LINE | ROW_ODD_LINE)) {
    std::string scratch;
    target += " line ";
    target += row_line_text(run, row, scratch);
  }
  return target;
}

std::string row_location(const TestRun& run, const Row& row) {
  if (!row_links_line(run, row)) return row_target(run, row);
  std::string scratch;
  std::string location(source_path(run, row.file));
  location += ':';
  location += row_line_text(run, row, scratch);
  return location;
}

std::string_view source_path(const TestRun& run, uint32_t file) {
  if (file < run.file_paths.size()) return run.file_paths[file];
  return run.files[file];
}

std::string_view file_package(const TestRun& run, uint32_t file) {
  return file < run.file_packages.size() ? std::string_view(run.file_packages[file])
                                         : std::string_view();
}

const SourceSnippet* row_snippet(const TestRun& run, uint32_t row) {
  auto at = std::lower_bound(run.snippets.begin(), run.snippets.end(), row,
                             [](const SourceSnippet& s, uint32_t r) { return s.row < r; });
  return at != run.snippets.end() && at->row == row ? &*at : nullptr;
}

std::string snippet_gutter(const SourceSnippet& s, size_t k) {
  const std::string number = std::to_string(s.first + k);
  const size_t width = std::to_string(s.first + s.lines.size() - 1).size();
  std::string gutter = s.first + k == s.line ? "> " : "  ";
  gutter.append(width - number.size(), ' ');
  return gutter + number + " | ";
}
