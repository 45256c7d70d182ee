// The parts of the HTML page that read without script and without style
// sheet: totals, the changes since a baseline, the failed tests with their
// failed checks, the report information.
#pragma once

#include <cstddef>
#include <string>

#include "base/out_buffer.h"
#include "export/test_run.h"

// At most this many failed tests, each with at most this many failed checks,
// are written out; a line says how many more there are.
constexpr size_t kListedFailedTests = 1000;
constexpr size_t kListedFailedChecks = 5;
// At most this many tests of each kind of change are written out.
constexpr size_t kListedChanges = 1000;

// The value of the "Project" information row, or "" when it is blank or missing.
std::string html_project(const TestRun& run);

void html_summary(OutBuffer& out, const Totals& totals);
void html_failures(OutBuffer& out, const TestRun& run);
// The counts of each kind of change, then the tests of each kind, the ones
// that need looking at first on top; each links to its node.
void html_changes(OutBuffer& out, const TestRun& run);
// The information table without its blank rows.
void html_info(OutBuffer& out, const TestRun& run);
