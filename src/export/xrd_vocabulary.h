// The words of the results report that only the exporters need: the section
// types that are tests or containers of tests, and the merged report's type.
// The words the report writer shares with them are in report/vocabulary.h.
#pragma once

#include <cstring>

#include "report/vocabulary.h"

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
