// The gate a CI job runs after the outputs: --check fails on any failed test,
// --check=new only on failures that are new since the previous run.
#pragma once

#include <string>

#include "export/model/test_run.h"

constexpr int kExitFailedTest = 3;
constexpr int kExitNoTest = 4;

enum CheckMode { CHECK_ALL, CHECK_NEW };

// The exit status of the gate (0, kExitFailedTest or kExitNoTest), and in
// `said` what it says on standard error ("" when it passes): one line, and
// with CHECK_NEW the paths of the new failures, one per line, at most
// kCheckListed of them. A new failure fails now, did not fail in the previous
// run and is not flaky: by the history when the run was added to one, else
// by the baseline's changes; without either, every failure is new.
int check_status(const TestRun& run, CheckMode mode, std::string& said);

constexpr size_t kCheckListed = 20;
