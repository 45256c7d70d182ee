// The words of the results report that the exporters read and write back:
// cell styles, state words, status words, column heads and the section types
// that are tests or containers of tests.
#pragma once

#include <cstring>

constexpr const char* kXrdStyleHeading = "Array Title";
constexpr const char* kXrdStyleFailed = "Array Failed";
constexpr const char* kXrdStylePassed = "Array Passed";
constexpr const char* kXrdStateOk = "ok";
constexpr const char* kXrdStateKo = "ko";
constexpr const char* kXrdPassed = "Passed";
constexpr const char* kXrdFailed = "Failed";
constexpr const char* kXrdTotal = "Total";
// The heads of a check table that gives none of its own.
constexpr const char* const kXrdCheckHeads[5] = {"Expression", "Status", "Executed", "Failed",
                                                 "Passed"};

// The type of the top-level section that stands for one report when several
// are merged into one; paths of names that compare runs leave it out.
constexpr const char* kXrdReportType = "Report";

// A Test Case, Proc or Stub: what the totals and the JUnit test cases count.
inline bool xrd_is_test_type(const char* type) {
  return std::strcmp(type, "Test Case") == 0 || std::strcmp(type, "Proc") == 0 ||
         std::strcmp(type, "Stub") == 0;
}
// A Test Suite or Test Class: what nests test cases.
inline bool xrd_is_container_type(const char* type) {
  return std::strcmp(type, "Test Suite") == 0 || std::strcmp(type, "Test Class") == 0;
}
