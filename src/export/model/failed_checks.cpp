// The order of failed tests and the places of failed checks that the CI
// outputs share.
#include "export/model/failed_checks.h"

#include <string>

#include "export/model/test_paths.h"

void each_failed_test(const TestRun& run,
                      const std::function<bool(uint32_t, std::string_view)>& visit) {
  for (int pass = run.compared ? 0 : 1; pass < 2; ++pass) {
    // Each pass goes in run order, as the cursor asks.
    PathCursor path(run, PATH_NAMES, kNoCut);
    for (uint32_t i = 0; i < run.nodes.size(); ++i) {
      const TestNode& n = run.nodes[i];
      if (!is_test(run, n) || n.state != STATE_FAILED) continue;
      if (run.compared && (n.change == CHANGE_NEW_FAILURE) != (pass == 0)) continue;
      if (!visit(i, path.at(i))) return;
    }
  }
}

const Row* first_failed_check(const TestRun& run, const TestNode& n) {
  for (const NodeRows::Item check : node_failed_checks(run, n)) return &check.row;
  return nullptr;
}

uint32_t failed_check_count(const TestRun& run, const TestNode& n) {
  uint32_t count = 0;
  for (const NodeRows::Item check : node_failed_checks(run, n)) {
    (void)check;
    ++count;
  }
  return count;
}

std::string check_sentence(const TestRun& run, const Row& row, TextCut cut) {
  std::string sentence = text_shorten(row_text(run, row), cut);
  if (row.file == kNone) return sentence;
  sentence += sentence.empty() ? "at " : " at ";
  return sentence + row_location(run, row);
}

CheckPlace check_place(const TestRun& run, const Row& row) {
  CheckPlace place;
  if (row.file == kNone) return place;
  place.path = source_path(run, row.file);
  std::string scratch;
  uint64_t line = 0;
  if (row_links_line(run, row) && decimal_value(row_line_text(run, row, scratch), line))
    place.line = line;
  return place;
}
