// The exporter's one model of a test run: the tests of one report, or of
// several merged, with their checks, totals and the changes since a baseline.
//
// The layer export/model: this run and what is worked out from it once for
// every output (paths and identities in test_paths.h, failed checks and
// their places in failed_checks.h, changes in compare.h, the history in
// history.h and run_history.h), and the one way a file is written
// (output_file.h). It reads no file but the history and knows no output's
// format; export/read fills it, export/write reads it.
//
// Contract
// - Built once: run_reports.h reads the reports into a run (xrd_reader.h
//   streams each one; its bytes are never held whole) and compare.h adds the
//   changes since a baseline. From then on the run is read-only: every writer
//   takes a const TestRun& and finds in it all it writes.
// - Ownership: the run owns every text it holds. A `const char*` in a node, a
//   row or a table points into the run's text stores (or at a static "") and
//   stays valid as long as the run; nothing points into a report's bytes.
// - Texts are as the report spells them once its XML is decoded, except that
//   a text whose characters all lie below U+0100 is read back as the bytes
//   they stand for when those bytes are UTF-8: the report writer gives each
//   byte above 127 a reference of its own. So a text is UTF-8 wherever the
//   traces were, and otherwise holds the bytes of older writers (Latin-1) or
//   control bytes. No text holds a NUL, but for the run's title, which keeps
//   every byte the report's head gives. Writers put every text through the one
//   escape (escape.h), which reads a byte that starts no UTF-8 character as Latin-1.
// - Interned: node types, source files and the cells of check tables (the
//   first cells, expressions above all, which repeat from test to test, and
//   the others: status words, heads, print counts) are kept once and named by
//   number (`types`, `files`, `row_texts`, `cell_texts`); a cell that is a
//   plain decimal number is the number itself (kCellNumber).
// - Order: nodes are in report order, a parent before its descendants, so a
//   node's subtree is the range [i, end). Rows are in report order, and the
//   rows of one node's check table are one range.
// - History: with a history of earlier runs, run_history.h adds the run to it
//   once the baseline is compared; `history` then holds the kept runs, this
//   one the newest, and each test's place in them (history.h says what they
//   tell of a test). Its identities are copies: it owns its texts too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/history.h"
#include "export/model/run_texts.h"

constexpr uint32_t kNone = 0xFFFFFFFF;

// A test's outcome as the report states it: "ok", "ko", anything else.
enum TestState : uint8_t { STATE_PASSED = 0, STATE_FAILED = 1, STATE_NOT_EXECUTED = 2 };
constexpr int kStates = 3;
// The one word of each state in keys and CSS classes, and in prose.
extern const char* const kStateKeys[kStates];    // "passed", "failed", "not_executed"
extern const char* const kStateLabels[kStates];  // "Passed", "Failed", "Not Executed"

// The style the report gives a cell or a title, numbered as the report writer does.
enum CellStyle : uint8_t { CELL_HEADING = 0, CELL_PLAIN = 1, CELL_FAILED = 2, CELL_PASSED = 3 };

// A row of a check table: its head, a check, or a print (the report's
// two-column table of a print, taken as one row of the table around it).
enum RowKind : uint8_t { ROW_HEAD = 0, ROW_CHECK = 1, ROW_PRINT = 2 };

// How a test changed since the baseline.
enum TestChange : uint8_t {
  CHANGE_NONE = 0,       // not a test, or the same state as before
  CHANGE_NEW_FAILURE,    // fails now, did not fail before (also a new test that fails)
  CHANGE_FIXED,          // failed before, passes now
  CHANGE_STILL_FAILING,  // failed before and fails now
  CHANGE_NEW_TEST,       // not in the baseline, and does not fail
  CHANGE_STOPPED,        // ran in the baseline, not executed now
  CHANGE_REMOVED,        // in the baseline only (listed in Changes::removed)
  CHANGE_KINDS
};
extern const char* const kChangeWords[CHANGE_KINDS];     // "New failure", ...
extern const char* const kChangeKeys[CHANGE_KINDS];      // "new_failure", ...
extern const char* const kChangeHeadings[CHANGE_KINDS];  // "New failures", ...
// The order every output lists the kinds in: what broke first.
constexpr TestChange kChangeListOrder[] = {CHANGE_NEW_FAILURE, CHANGE_STILL_FAILING,
                                           CHANGE_FIXED,       CHANGE_NEW_TEST,
                                           CHANGE_REMOVED,     CHANGE_STOPPED};

// One node of the report's browse tree: a driver, suite, class, test case,
// proc, stub, or a report of a merged run.
struct TestNode {
  const char* name;    // "" when the report gives none
  const char* title;   // the report's title; null when it is the type, a blank and the name
  const char* anchor;  // the report's TAG for it ("" when none)
  int32_t parent;      // -1 at the top
  uint32_t end;        // one past the last node of its subtree
  uint32_t driver;     // index into TestRun::drivers; kNone for a merged report's node
  uint32_t type;       // index into TestRun::types
  uint32_t twin;       // 1, or n for the n-th sibling going by the same name (the
                       // drivers of merged reports count as siblings)
  uint32_t first_row;  // its check table: rows [first_row, first_row + row_count)
  uint32_t row_count;
  TestState state;
  CellStyle title_style;
  TestChange change;  // since the baseline; CHANGE_NONE without one
  bool repeated;      // a section whose path a merged report with an earlier name
                      // holds too: the page's anchor adds its report's name
};

// A row's flags.
enum : uint8_t {
  ROW_FAILED = 1,   // a check that failed: styled failed, or "Failed" in its status cell
  ROW_LINE = 2,     // `line` is the line number the check links to (below 2^31)
  ROW_ODD_LINE = 4  // the link names a line that is no plain number: `line` indexes odd_lines
};

struct Row {
  uint32_t text;        // the first cell (row_texts): the expression, the print's text, a head
  uint32_t file;        // the source file the first cell links to (files); kNone: no link
  uint32_t line;        // see ROW_LINE and ROW_ODD_LINE
  uint32_t first_cell;  // the other cells: cells[first_cell, first_cell + cell_count)
  uint32_t cell_count;
  uint32_t head;  // a check's table head (TestRun::heads); kNone: the usual columns
  RowKind kind;
  CellStyle style;  // the first cell's: the report styles a row as one
  uint8_t flags;
};

// A cell of a check table after the first: a number when kCellNumber is set,
// else an index into cell_texts.
constexpr uint32_t kCellNumber = 0x80000000u;

// The head row of a check table, and where its Executed, Failed and Passed
// columns stand (-1 when it has none of that name).
struct TableHead {
  uint32_t first_cell;  // the head's cells after the first, as in Row
  uint32_t cell_count;
  int32_t column[3];
};

// A check's counts as numbers; known[k] is false where the table has no such
// column or the cell holds no number.
struct CheckCounts {
  uint64_t executed = 0, failed = 0, passed = 0;
  bool known[3] = {false, false, false};
};

// One test driver: a top-level node, or one directly below a merged report's node.
struct Driver {
  uint32_t node;
};

// The tests (Test Case, Proc and Stub nodes) by state.
struct TestCounts {
  uint64_t tests = 0, passed = 0, failed = 0, not_executed = 0;
};
void counts_add(TestCounts& counts, TestState state);

// The Passed, Failed and Total rows of the report's information table.
struct Totals {
  unsigned long long passed = 0, failed = 0, total = 0;
};

struct InfoRow {
  std::string label, value;
  CellStyle style;
};

// A test of the baseline that this run lacks.
struct RemovedTest {
  std::string path;
  TestState state;  // in the baseline
};

struct Changes {
  std::string baseline;  // the baseline's file name; "" when none was given
  std::vector<RemovedTest> removed;
  uint64_t counts[CHANGE_KINDS] = {};
};

// The runs a history keeps, this one the newest, and the test each node of
// the run is in them (kNoTest for a node that is no test).
struct RunHistory {
  History kept;
  size_t size = 0;  // the runs it keeps at most
  std::vector<uint32_t> test_of_node;
};

// The source lines around a failed check, read from below the source root:
// lines first, first + 1, ... each cut at kSnippetWidth characters, the
// check's own line among them.
struct SourceSnippet {
  uint32_t row;  // the check (index into rows)
  uint64_t first, line;
  std::vector<std::string> lines;
};

constexpr size_t kSnippets = 1000;      // snippets at most, for the first failed checks
constexpr size_t kSnippetWidth = 200;   // characters of a line shown
constexpr uint64_t kSnippetAround = 2;  // lines shown before and after the check's

// What goes before line k of a snippet: "> " on the check's own line, else two
// blanks, then its number right-aligned with the snippet's others, then " | ".
std::string snippet_gutter(const SourceSnippet& s, size_t k);

struct TestRun {
  // What the report says of itself; several merged give "N reports", the
  // information rows they share and their summed totals.
  std::string title;      // the report file named in the report (may hold a NUL)
  std::string test_node;  // "" when none
  std::string info_anchor, info_title;
  std::vector<std::string> banner;
  std::vector<InfoRow> info;
  Totals stated;               // the totals rows, when all three hold numbers
  bool totals_stated = false;  // else the tests counted stand for them
  TestCounts counted;

  Column<TestNode> nodes;
  Column<Row> rows;
  Column<uint32_t> cells;
  std::vector<TableHead> heads;
  std::vector<Driver> drivers;
  TextTable types, files, cell_texts, row_texts;
  std::vector<const char*> odd_lines;
  TextStore texts;  // names, titles, anchors

  Changes changes;
  bool compared = false;  // with a baseline: every node's `change` is set

  // The folder source files were looked up in (--source-root; "" when none)
  // and, once mapped, the path below it of each of `files` (one per file, in
  // the order of `files`); empty when not mapped.
  std::string source_root;
  std::vector<std::string> file_paths;
  // The Java package of each of `files` that a failed check links to a line
  // of ("" for the others and the default package; java_package.h); empty
  // when not looked for.
  std::vector<std::string> file_packages;
  RunHistory history;
  bool with_history = false;  // the run was added to a history
  // The snippets of failed checks found there, by row (source_snippets.h).
  std::vector<SourceSnippet> snippets;

  // The numbers of the types the writers tell apart (kNone: not read yet).
  uint32_t type_test_case = kNone, type_proc = kNone, type_stub = kNone;
  uint32_t type_suite = kNone, type_class = kNone, type_report = kNone;
};

// A Test Case, Proc or Stub: what the totals and the JUnit test cases count.
inline bool is_test(const TestRun& run, const TestNode& n) {
  return n.type == run.type_test_case || n.type == run.type_proc || n.type == run.type_stub;
}
// A Test Suite or Test Class: what nests test cases.
inline bool is_container(const TestRun& run, const TestNode& n) {
  return n.type == run.type_suite || n.type == run.type_class;
}
// The node that stands for one report of a merged run (a top-level "Report").
inline bool is_report(const TestRun& run, const TestNode& n) {
  return n.parent < 0 && n.type == run.type_report;
}
// Interns a node type, noting the numbers of the types above.
uint32_t run_type(TestRun& run, std::string_view type);

// The totals the report states, or, when it does not state all three, the
// passed and failed tests counted.
Totals run_totals(const TestRun& run);
// How many tests failed, for what decides on the run (the gate): the larger
// of the stated totals and the failed tests counted, since a report edited or
// mended by hand may say less in its totals than its tests show. Outputs that
// list failed tests count them (counted.failed); headlines give run_totals.
uint64_t run_failed(const TestRun& run);

// The title of node i: the report's, or its type, a blank and its name.
std::string_view node_title(const TestRun& run, uint32_t i, std::string& scratch);

// The name node i goes by: its own, or its type when it has none, with " (2)",
// " (3)"... after it for the second, third sibling of that name, so that two
// siblings never share a path. scratch holds the text when it is made up.
std::string_view unique_name(const TestRun& run, uint32_t i, std::string& scratch);

// A row's counts, found by the columns its table head names.
CheckCounts check_counts(const TestRun& run, const Row& row);
// The name outputs give source file `file` (an index into files): its path
// below the source root when it was mapped, else the name the report gives.
std::string_view source_path(const TestRun& run, uint32_t file);
// The Java package of source file `file` ("" when none is known).
std::string_view file_package(const TestRun& run, uint32_t file);

// The snippet of row `row`, or nullptr.
const SourceSnippet* row_snippet(const TestRun& run, uint32_t row);

// The first cell of a row.
inline const char* row_text(const TestRun& run, const Row& row) {
  return run.row_texts[row.text];
}
// The text of cells[cell]; a number is spelled into scratch.
std::string_view cell_value_text(const TestRun& run, uint32_t cell, std::string& scratch);
// The text of a row's cell k (0: the first, its `text`).
std::string_view cell_text(const TestRun& run, const Row& row, uint32_t k, std::string& scratch);
// The text after " line " in the first cell's link ("" when none).
std::string_view row_line_text(const TestRun& run, const Row& row, std::string& scratch);
// The link of the first cell as the report spells it, with the file's
// source_path: "Calc.java line 35".
std::string row_target(const TestRun& run, const Row& row);
// The link as annotating tools read it, with the file's source_path:
// "Calc.java:35"; a link whose line is no number stays as row_target gives it.
std::string row_location(const TestRun& run, const Row& row);
// Whether the link names a line that is all digits, so that row_location
// gives "File.java:35".
bool row_links_line(const TestRun& run, const Row& row);

// A number as a cell or a link gives it: decimal digits with blanks around
// them allowed; false for anything else, or for more than 64 bits hold.
bool decimal_value(std::string_view text, uint64_t& value);
