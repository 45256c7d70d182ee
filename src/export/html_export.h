// The self-contained HTML page of a report: summary, report information, and
// the sections as embedded data that the page's script renders lazily.
#pragma once

#include <string>

#include "export/compare.h"
#include "export/escape.h"
#include "export/xrd_read.h"

struct ReportTotals {
  unsigned long long passed = 0, failed = 0, total = 0;
};

// The Passed, Failed and Total rows of the report information when all three
// hold numbers; otherwise counted from the Test Case, Proc and Stub entries.
ReportTotals report_totals(const XrdReport& report);
// Writes the page to path; 0, or -1 with the reason in error.
int html_write(const XrdReport& report, const char* path, std::string& error);
// The same, with each test marked by its change since a baseline when changes
// is not null.
int html_write(const XrdReport& report, const Comparison* changes, const char* path,
               std::string& error);
// Writes the page to an open output.
void html_page(OutBuffer& out, const XrdReport& report, const Comparison* changes = nullptr);

// The page's style sheet and script, kept apart from the writer.
extern const char* const HTML_STYLE;
extern const char* const HTML_SCRIPT;
