// Table of the 31 node types and their classifications.
#include "model/node_types.h"

namespace {
struct TypeRow {
  const char* code;
  const char* name;
  bool check;
  bool section;
};

const TypeRow kTypes[32] = {
    {"??", "??", false, false},  // 0 is not a type
    {"CB", "Prologue", false, false},
    {"CE", "Epilogue", false, false},
    {"CH", "Check Expression", true, false},
    {"CK", "Checksum", false, false},
    {"CL", "Class", false, false},
    {"CM", "Check Method", true, false},
    {"CO", "Comment", false, false},
    {"CP", "Call", false, false},
    {"CS", "Check Stub", true, false},
    {"CX", "Check Exception", true, false},
    {"CY", "Check Property", true, false},
    {"EN", "Post Condition", true, false},
    {"EX", "Expression", false, false},
    {"NC", "# ", false, false},
    {"OF", "Test Driver", false, true},
    {"IV", "Invariant", true, false},
    {"PC", "Proc", false, true},
    {"PR", "Print", true, false},
    {"PY", "Property", false, false},
    {"RC", "Run Component", false, false},
    {"RQ", "Pre Condition", true, false},
    {"RU", "Run", false, false},
    {"SB", "Stub", false, true},
    {"SL", "Single Class", false, false},
    {"ST", "State", true, false},
    {"TC", "Test Case", false, true},
    {"TL", "Test Class", false, true},
    {"TR", "Transition", true, false},
    {"TS", "Test Suite", false, true},
    {"WR", "Method Contract", false, false},
    {"OS", "Observation State", true, false},
};

const TypeRow& row_of(int type) { return kTypes[(type >= 1 && type <= 31) ? type : 0]; }
}  // namespace

const char* type_display_name(int type) { return row_of(type).name; }
const char* type_code(int type) { return row_of(type).code; }
bool type_is_check(int type) { return row_of(type).check; }
bool type_is_section(int type) { return row_of(type).section; }
