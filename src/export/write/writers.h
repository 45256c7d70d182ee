// The exporter's writers, each of one output from the test run alone: the
// HTML page, JUnit XML, the Markdown and JSON summaries, GitHub annotations,
// GitLab Code Quality and CTRF. outputs.h declares each output and writes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/out_buffer.h"
#include "export/model/test_run.h"

// The self-contained page: summary, changes, failed tests, information, and
// the data the page's script shows every node and check from.
void html_page(OutBuffer& out, const TestRun& run);
// One testsuite per driver, one testcase per Test Case, Proc and Stub, valid
// under the xUnit plugin's schema; with `locations`, each testcase also names
// the file and line of its first failed check (else of its first check), which
// some readers want and that schema refuses.
void junit_document(OutBuffer& out, const TestRun& run, bool locations);
void junit_document(OutBuffer& out, const TestRun& run);
// One JUnit document of the driver groups [from, to) (driver_groups), its
// head counting their tests: junit_document is the one of them all.
void junit_part(OutBuffer& out, const TestRun& run, bool locations,
                const std::vector<std::vector<uint32_t>>& groups, size_t from, size_t to);
// Changes since the baseline, totals and the failed tests with their failed
// checks; with a history, each test's words and recent outcomes, and the
// flakiest tests. In at most `limit` bytes (at least kMarkdownLimitLeast).
void markdown_summary(OutBuffer& out, const TestRun& run, size_t limit);
void markdown_summary(OutBuffer& out, const TestRun& run);  // in kMarkdownLimit
// Totals, drivers, and each test with its counts and failed checks.
void json_summary(OutBuffer& out, const TestRun& run);

// GitHub workflow commands: an error annotation at the first failed check
// of each failed test, new failures first, at most kGithubErrors of them, then
// a notice of how many more failed, which ends with `more_in` (where to read them).
void github_annotations(OutBuffer& out, const TestRun& run, std::string_view more_in);
// GitLab Code Quality issues: one per failed check.
void code_quality(OutBuffer& out, const TestRun& run);

// The least --junit-max-bytes: room for a document's head and a small suite.
constexpr unsigned long long kJunitPartLeast = 4096;

// A CTRF report: every test JUnit lists, named by its identity (made unique),
// its status (not executed is "skipped"), suites, the place of its first
// failed check (else of its first check), and a failure's message and text as
// JUnit gives them; with a history, whether it is flaky and its outcomes in the
// newest kCtrfOutcomes runs.
void ctrf_report(OutBuffer& out, const TestRun& run);

// The CTRF version written: the one its reference validator checks against.
constexpr const char* kCtrfSpecVersion = "0.0.0";
constexpr size_t kCtrfOutcomes = 10;

// GitHub shows 10 error annotations of a step (and 50 of a job).
constexpr uint64_t kGithubErrors = 10;

// What the Markdown summary keeps to: job pages render long lists slowly, so
// every list stops at a number of entries or at its share of the byte
// budget, whichever comes first.
// The default budget in bytes: what a job's step summary takes (a
// pull-request comment takes 65536); and the least accepted, which leaves
// room for the title and the headings written whatever the budget.
constexpr size_t kMarkdownLimit = size_t{1} << 20;
constexpr size_t kMarkdownLimitLeast = 8192;
constexpr size_t kMarkdownRows = 500;
constexpr size_t kMarkdownChecks = 5;
// With a history, the outcomes in the newest runs beside each test.
constexpr size_t kMarkdownStrip = 10;

// The JSON summary's layout version: raised when a key changes meaning or goes,
// and for the history block (2).
constexpr int kSummarySchema = 2;
