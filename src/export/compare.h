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

// The order every output lists the kinds in: what broke first.
constexpr TestChange kChangeListOrder[] = {CHANGE_NEW_FAILURE, CHANGE_STILL_FAILING,
                                           CHANGE_FIXED,       CHANGE_NEW_TEST,
                                           CHANGE_REMOVED,     CHANGE_STOPPED};
// The heading of a kind's list: "New failures", "Fixed", ...
extern const char* const kChangeHeadings[CHANGE_KINDS];

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

// Compares report with baseline in time linear in both.
Comparison compare_reports(const XrdReport& report, const XrdReport& baseline);
