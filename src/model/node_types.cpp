// Table of the 31 node types and their classifications.
#include "model/node_types.h"

namespace {
struct TypeRow {
  const char* code;
  const char* name;
  bool section;
};

const TypeRow kTypes[32] = {
    {"??", "??", false},  // 0 is not a type
    {"CB", "Prologue", false},
    {"CE", "Epilogue", false},
    {"CH", "Check Expression", false},
    {"CK", "Checksum", false},
    {"CL", "Class", false},
    {"CM", "Check Method", false},
    {"CO", "Comment", false},
    {"CP", "Call", false},
    {"CS", "Check Stub", false},
    {"CX", "Check Exception", false},
    {"CY", "Check Property", false},
    {"EN", "Post Condition", false},
    {"EX", "Expression", false},
    {"NC", "# ", false},
    {"OF", "Test Driver", true},
    {"IV", "Invariant", false},
    {"PC", "Proc", true},
    {"PR", "Print", false},
    {"PY", "Property", false},
    {"RC", "Run Component", false},
    {"RQ", "Pre Condition", false},
    {"RU", "Run", false},
    {"SB", "Stub", true},
    {"SL", "Single Class", false},
    {"ST", "State", false},
    {"TC", "Test Case", true},
    {"TL", "Test Class", true},
    {"TR", "Transition", false},
    {"TS", "Test Suite", true},
    {"WR", "Method Contract", false},
    {"OS", "Observation State", false},
};

const TypeRow& row_of(int type) {
  return kTypes[(type >= 1 && type <= 31) ? type : 0];
}
}  // namespace

const char* type_display_name(int type) {
  return row_of(type).name;
}
const char* type_code(int type) {
  return row_of(type).code;
}
bool type_is_section(int type) {
  return row_of(type).section;
}
