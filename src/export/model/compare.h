// A run compared with a baseline report: each test matched by its identity
// (test_paths.h: its whole path of names) and given its kind of change.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "export/model/test_paths.h"
#include "export/model/test_run.h"

// Sets every node's change, the tests removed and the counts of each kind
// in run against the baseline's tests; `name` is how the outputs name the
// baseline. Linear in the sizes of both.
void compare_runs(TestRun& run, const TestRun& baseline, const std::string& name);

// Calls visit(i, path) for each test of change `kind` in the run's order, its
// path cut by `cut`; removed tests, which have no node, come in the
// baseline's order with i == kNone and the path they had there (cut by
// kPathCut). visit returns false to stop. The one list of each kind that
// every output shows.
void each_change(const TestRun& run, TestChange kind, TextCut cut,
                 const std::function<bool(uint32_t, std::string_view)>& visit);
