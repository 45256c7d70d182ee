// The exporter's outputs, each written from the test run alone: the HTML
// page, JUnit XML, and the Markdown and JSON summaries.
#pragma once

#include <string>

#include "base/out_buffer.h"
#include "export/test_run.h"

// The self-contained page: summary, changes, failed tests, information, and
// the data the page's script shows every node and check from.
void html_page(OutBuffer& out, const TestRun& run);
// One testsuite per driver, one testcase per Test Case, Proc and Stub, valid
// under the xUnit plugin's schema; with `locations`, each testcase also names
// the file and line of its first failed check (else of its first check), which
// some readers want and that schema refuses.
void junit_document(OutBuffer& out, const TestRun& run, bool locations);
void junit_document(OutBuffer& out, const TestRun& run);
// Changes since the baseline, totals and a table of failed tests, capped
// for CI job pages.
void markdown_summary(OutBuffer& out, const TestRun& run);
// Totals, drivers, and each test with its counts and failed checks.
void json_summary(OutBuffer& out, const TestRun& run);

// Each written to path ("-" is standard output for the summaries); 0, or -1
// with the reason in error (an old file is then left as it was). The Markdown
// summary goes at the end of an existing file with `append`.
int html_write(const TestRun& run, const char* path, std::string& error);
int junit_write(const TestRun& run, const char* path, bool locations, std::string& error);
int markdown_write(const TestRun& run, const char* path, bool append, std::string& error);
int json_write(const TestRun& run, const char* path, std::string& error);

// What the Markdown summary keeps to: job pages refuse more than 1 MiB and
// render long tables slowly, so every list stops at a number of entries or at
// a byte budget, whichever comes first, and the whole stays under 512 KiB.
constexpr size_t kMarkdownBudget = size_t{500} << 10;
constexpr size_t kMarkdownRows = 500;
constexpr size_t kMarkdownChecks = 5;

// The JSON summary's layout version: raised when a key changes meaning or goes,
// and for the history block (2).
constexpr int kSummarySchema = 2;
