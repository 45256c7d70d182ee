// The parts of the HTML page that read without script and without style
// sheet: totals, the changes since a baseline, the failed tests with their
// failed checks, the report information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "export/model/test_paths.h"
#include "export/model/test_run.h"

// Every failed test is listed, one line each with the places of at most
// kListedFailedChecks failed checks, as long as the list keeps to its budget
// in bytes; a line above it says how many are listed and how many are not.
constexpr size_t kFailedListBudget = size_t{8} << 20;
// The groups after the first this many bytes of the list go to the end of
// the page, inside <noscript> elements of kFailedMorePart bytes and a group:
// a browser that runs script has the view ready before they have even come,
// and reads them as texts instead of building megabytes of elements (the
// page's script adds them to the list as it is scrolled); one that runs none
// shows them there, pointed to from the list.
constexpr size_t kFailedListInline = size_t{8} << 10;  // about a screen of it
constexpr size_t kFailedMorePart = size_t{64} << 10;
constexpr size_t kListedFailedChecks = 5;
// A failed check that links to no file shows this much of its text instead.
constexpr TextCut kPlaceCut{120, 59};
// At most this many tests of each kind of change are written out.
constexpr size_t kListedChanges = 1000;

// The value of the "Project" information row, or "" when it is blank or missing.
std::string html_project(const TestRun& run);

void html_summary(OutBuffer& out, const Totals& totals);
// The failed tests and the snippets of their failed checks; returns how many
// tests are listed. `rest` gets the groups past kFailedListInline, in parts
// of about kFailedMorePart, which html_failures_rest writes at the end of the
// page.
uint64_t html_failures(OutBuffer& out, const TestRun& run, std::vector<std::string>& rest);
void html_failures_rest(OutBuffer& out, const std::vector<std::string>& rest);
// The counts of each kind of change, then the tests of each kind, the ones
// that need looking at first on top; each links to its node.
void html_changes(OutBuffer& out, const TestRun& run);
// The information table without its blank rows.
void html_info(OutBuffer& out, const TestRun& run);
