// A run compared with a baseline report: each test matched by its identity
// (test_paths.h: its whole path of names) and given its kind of change.
#pragma once

#include <string>

#include "export/test_run.h"
#include "export/xrd_reader.h"

// Reads the baseline (its tree of tests only) and sets every node's change,
// the tests removed and the counts of each kind in run; `name` is how the
// outputs name the baseline. 0, or -1 with the reason in error. Linear in
// the sizes of both.
int compare_with_baseline(TestRun& run, XrdSource baseline, const std::string& name,
                          std::string& error);

// The same with a baseline already read.
void compare_runs(TestRun& run, const TestRun& baseline, const std::string& name);
