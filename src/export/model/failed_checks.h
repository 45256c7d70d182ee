// What the CI outputs say of failed tests: the order they list them in, and
// the place in the source of a failed check as file path and line number.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "export/model/test_run.h"

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
