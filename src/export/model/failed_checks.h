// What the CI outputs say of failed tests: the order they list them in, a
// test's rows and failed checks in order, the place in the source of a
// failed check as file path and line number, its sentence, and a failure's
// message and text as test readers show them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "export/model/test_paths.h"
#include "export/model/test_run.h"

// The rows of a node in order, for a range-for; with only_failed, its failed
// checks alone (ROW_FAILED: styled failed, or "Failed" in the status cell).
// Each step gives the row and its index into run.rows. The one walk over a
// node's rows that writers use.
class NodeRows {
 public:
  struct Item {
    const Row& row;
    uint32_t index;
  };
  class iterator {
   public:
    iterator(const NodeRows& rows, uint32_t at) : rows_(rows), at_(at) { skip(); }
    Item operator*() const { return {rows_.run_.rows[at_], at_}; }
    iterator& operator++() {
      ++at_;
      skip();
      return *this;
    }
    bool operator!=(const iterator& o) const { return at_ != o.at_; }

   private:
    void skip() {
      while (rows_.only_failed_ && at_ < rows_.end_ && !(rows_.run_.rows[at_].flags & ROW_FAILED))
        ++at_;
    }
    const NodeRows& rows_;
    uint32_t at_;
  };
  NodeRows(const TestRun& run, const TestNode& n, bool only_failed)
      : run_(run),
        begin_(n.first_row),
        end_(n.first_row + n.row_count),
        only_failed_(only_failed) {}
  iterator begin() const { return iterator(*this, begin_); }
  iterator end() const { return iterator(*this, end_); }

 private:
  const TestRun& run_;
  uint32_t begin_, end_;
  bool only_failed_;
};
inline NodeRows node_rows(const TestRun& run, const TestNode& n) {
  return NodeRows(run, n, false);
}
inline NodeRows node_failed_checks(const TestRun& run, const TestNode& n) {
  return NodeRows(run, n, true);
}

// Calls visit(i, path) for each failed test (a Test Case, Proc or Stub) with
// its path of names, uncut, in run order; after a baseline the new failures
// come first, since they are what the change under test broke. visit returns
// false to stop.
void each_failed_test(const TestRun& run,
                      const std::function<bool(uint32_t, std::string_view)>& visit);

// The first failed check of node n, or nullptr.
const Row* first_failed_check(const TestRun& run, const TestNode& n);
// The number of failed checks of node n.
uint32_t failed_check_count(const TestRun& run, const TestNode& n);

// Where a check stands: the path outputs give its file (source_path) and its
// line, 0 when the link names none or no plain number.
struct CheckPlace {
  std::string_view path;  // "" when the check links to no file
  uint64_t line = 0;
};
CheckPlace check_place(const TestRun& run, const Row& row);

// A failed check as the CI outputs say it: its text, cut by `cut`, then
// "at" and its location (row_location) when it links to a file:
// "calc.divide(1, 3) == 0.333 at CalcTest.java:35", "at CalcTest.java:35".
std::string check_sentence(const TestRun& run, const Row& row, TextCut cut);

// The check a test is placed at: its first failed check, else its first
// check that links to a source file; null when none does.
const Row* located_check(const TestRun& run, const TestNode& n);

// What a reader shows of a failure before its text: the first failed check's
// sentence (uncut) and how many more failed,
// "calc.divide(1, 3) == 0.333 at CalcTest.java:35 and 2 more".
std::string failure_message(const TestRun& run, const TestNode& n);

// The text of a failure, laid out as a Java stack trace for the readers that
// turn frames into a file and a line: each failed check on a line of its own,
// its expression and counts named after the columns of its table, then, when
// it links to a line, the frame "\tat CLASSNAME.NAME(File.java:35)" on the
// next; last, the first failed check's place once more by its path. Test i
// goes by `classname` (as each_driver_test gives it) and its unique_name.
std::string failure_text(const TestRun& run, uint32_t i, std::string_view classname);
