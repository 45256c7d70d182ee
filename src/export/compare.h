// A report compared with a baseline report: each test matched by its path of
// names (driver, suites, classes, test case or stub) and put in one kind of change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/xrd_read.h"

enum TestChange : uint8_t {
  CHANGE_NONE = 0,       // not a test, or the same state as before
  CHANGE_NEW_FAILURE,    // fails now, did not fail before (also a new test that fails)
  CHANGE_FIXED,          // failed before, passes now
  CHANGE_STILL_FAILING,  // failed before and fails now
  CHANGE_NEW_TEST,       // not in the baseline, and does not fail
  CHANGE_STOPPED,        // ran in the baseline, not executed now
  CHANGE_REMOVED,        // in the baseline only (listed in Comparison::removed)
  CHANGE_KINDS
};

// The words each kind goes by in every output.
extern const char* const kChangeWords[CHANGE_KINDS];
// The same as keys: "new_failure", "fixed", ...
extern const char* const kChangeKeys[CHANGE_KINDS];

struct RemovedTest {
  std::string path;
  XrdState state;  // its state in the baseline
};

struct Comparison {
  std::string baseline;            // the baseline's file name
  std::vector<TestChange> change;  // per section of the report
  std::vector<RemovedTest> removed;
  uint64_t counts[CHANGE_KINDS] = {};
};

// The path a test is matched by: names from the driver down, joined by "/",
// without the section that stands for a merged report.
std::vector<std::string> compare_keys(const XrdReport& report);

// Compares report with baseline in time linear in both.
Comparison compare_reports(const XrdReport& report, const XrdReport& baseline);
