// The 31 node types of a test driver's tree: codes, display names and the
// two classifications (check type, section type) the rest of the system asks for.
#pragma once

using NodeType = int;

enum : int {
  TYPE_PROLOGUE = 1,
  TYPE_EPILOGUE = 2,
  TYPE_CHECK_EXPRESSION = 3,
  TYPE_CHECKSUM = 4,
  TYPE_CLASS = 5,
  TYPE_CHECK_METHOD = 6,
  TYPE_COMMENT = 7,
  TYPE_CALL = 8,
  TYPE_CHECK_STUB = 9,
  TYPE_CHECK_EXCEPTION = 10,
  TYPE_CHECK_PROPERTY = 11,
  TYPE_POST_CONDITION = 12,
  TYPE_EXPRESSION = 13,
  TYPE_NUMBER_COMMENT = 14,
  TYPE_TEST_DRIVER = 15,
  TYPE_INVARIANT = 16,
  TYPE_PROC = 17,
  TYPE_PRINT = 18,
  TYPE_PROPERTY = 19,
  TYPE_RUN_COMPONENT = 20,
  TYPE_PRE_CONDITION = 21,
  TYPE_RUN = 22,
  TYPE_STUB = 23,
  TYPE_SINGLE_CLASS = 24,
  TYPE_STATE = 25,
  TYPE_TEST_CASE = 26,
  TYPE_TEST_CLASS = 27,
  TYPE_TRANSITION = 28,
  TYPE_TEST_SUITE = 29,
  TYPE_METHOD_CONTRACT = 30,
  TYPE_OBSERVATION_STATE = 31,
};

// Display name of a type; "??" for anything outside 1..31. Constant text.
const char* type_display_name(int type);
// Two-letter code of a type; "??" outside 1..31.
const char* type_code(int type);
// True for the twelve types that carry outcomes and check counters. Inline:
// every outcome of a TDF asks it.
inline bool type_is_check(int type) {
  constexpr unsigned kChecks =
      1u << TYPE_CHECK_EXPRESSION | 1u << TYPE_CHECK_METHOD | 1u << TYPE_CHECK_STUB |
      1u << TYPE_CHECK_EXCEPTION | 1u << TYPE_CHECK_PROPERTY | 1u << TYPE_POST_CONDITION |
      1u << TYPE_INVARIANT | 1u << TYPE_PRINT | 1u << TYPE_PRE_CONDITION | 1u << TYPE_STATE |
      1u << TYPE_TRANSITION | 1u << TYPE_OBSERVATION_STATE;
  return type >= 1 && type <= 31 && (kChecks >> type & 1u) != 0;
}
// True for the six types that get a titled section in the report.
bool type_is_section(int type);
