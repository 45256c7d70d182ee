// The order of failed tests, the places of failed checks, and the failure
// message and text that the CI outputs share.
#include "export/model/failed_checks.h"

#include <string>

#include "export/model/test_paths.h"
#include "report/vocabulary.h"

namespace {

// Text on one line of a failure's text: a line break inside a name or an
// expression would start a line that readers take for a frame of its own.
void line_text(std::string& out, std::string_view text) {
  for (char c : text) out += c == '\r' || c == '\n' ? ' ' : c;
}

// One failed check: its expression and counts, then, when it links to a
// line, its frame on a line of its own. A link with no line number stays
// beside the expression.
void failed_check_text(std::string& out, const TestRun& run, const Row& row,
                       std::string_view frame) {
  std::string scratch;
  line_text(out, row_text(run, row));
  const bool frame_line = row.file != kNone && row_links_line(run, row);
  if (row.file != kNone && !frame_line) {
    out += " (";
    line_text(out, row_target(run, row));
    out += ')';
  }
  const TableHead* head = row.head == kNone ? nullptr : &run.heads[row.head];
  for (uint32_t j = 2; j <= row.cell_count; ++j) {
    out += j == 2 ? ": " : ", ";
    if (head && j <= head->cell_count)
      line_text(out, cell_value_text(run, head->first_cell + j - 1, scratch));
    else
      out += j < 5 ? kCheckHeads[j] : "";
    out += ' ';
    line_text(out, cell_text(run, row, j, scratch));
  }
  out += '\n';
  if (!frame_line) return;
  out += "\tat ";
  // Readers look the file up by the package's folders (dorny's action).
  const std::string_view package = file_package(run, row.file);
  if (!package.empty()) {
    line_text(out, package);
    out += '.';
  }
  line_text(out, frame);
  out += '(';
  // Frames name a file without its folders; readers look it up by that name
  // among the repository's files.
  line_text(out, path_base_name(source_path(run, row.file)));
  out += ':';
  out += row_line_text(run, row, scratch);
  out += ")\n";
}

}  // namespace

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

const Row* located_check(const TestRun& run, const TestNode& n) {
  const Row* first = nullptr;
  for (const NodeRows::Item item : node_rows(run, n)) {
    const Row& row = item.row;
    if (row.kind != ROW_CHECK || row.file == kNone) continue;
    if (row.flags & ROW_FAILED) return &row;
    if (!first) first = &row;
  }
  return first;
}

std::string failure_message(const TestRun& run, const TestNode& n) {
  const Row* first = first_failed_check(run, n);
  if (!first) return "failed with no failed check of its own";
  std::string message = check_sentence(run, *first, kNoCut);
  const uint32_t failed = failed_check_count(run, n);
  if (failed > 1) message += " and " + std::to_string(failed - 1) + " more";
  return message;
}

// The first failed check's place comes last by its path: a reader that takes
// the last "FILE...:LINE" of the text for the test's file (mikepenz's action)
// lands on it, also when the frames name the file without its folders.
std::string failure_text(const TestRun& run, uint32_t i, std::string_view classname) {
  const TestNode& n = run.nodes[i];
  std::string scratch, text;
  std::string frame(classname);
  frame += '.';
  frame += unique_name(run, i, scratch);
  for (const NodeRows::Item check : node_failed_checks(run, n))
    failed_check_text(text, run, check.row, frame);
  const Row* first = first_failed_check(run, n);
  if (first && first->file != kNone && row_links_line(run, *first)) {
    text += "first failed check at ";
    line_text(text, row_location(run, *first));
    text += '\n';
  }
  return text;
}
