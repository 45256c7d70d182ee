// A run compared with a baseline report: each test matched by its identity
// (test_paths.h: its whole path of names) and given its kind of change.
#pragma once

#include <string>

#include "export/model/test_run.h"

// Sets every node's change, the tests removed and the counts of each kind
// in run against the baseline's tests; `name` is how the outputs name the
// baseline. Linear in the sizes of both.
void compare_runs(TestRun& run, const TestRun& baseline, const std::string& name);
