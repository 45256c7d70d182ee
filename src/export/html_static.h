// The parts of the HTML page that read without script and without style sheet:
// totals, the changes since a baseline, the failed tests with their failed
// checks, the report information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/compare.h"
#include "export/html_export.h"

// At most this many failed tests, each with at most this many failed checks,
// are written out; a line says how many more there are.
constexpr size_t kListedFailedTests = 1000;
constexpr size_t kListedFailedChecks = 5;
// At most this many tests of each kind of change are written out.
constexpr size_t kListedChanges = 1000;

// The URL-safe form of one name in an anchor: letters, digits, '-' and '.'
// stay, every other byte becomes ~XX, so that '/' only ever joins names and two
// names never give one anchor. A section's anchor is the path of its segments
// (xrd_path over them).
std::string html_id_segment(const std::string& name);
// The value of the "Project" information row, or "" when it is blank or missing.
std::string html_project(const XrdReport& report);

void html_summary(OutBuffer& out, const ReportTotals& totals);
// names as xrd_unique_names gives them, segments as html_id_segment of each.
void html_failures(OutBuffer& out, const XrdReport& report, const std::vector<std::string>& names,
                   const std::vector<std::string>& segments);
// The counts of each kind of change, then the tests of each kind, the ones
// that need looking at first on top; each links to its section.
void html_changes(OutBuffer& out, const XrdReport& report, const Comparison& changes,
                  const std::vector<std::string>& names, const std::vector<std::string>& segments);
// The information table without its blank rows.
void html_info(OutBuffer& out, const XrdReport& report);
