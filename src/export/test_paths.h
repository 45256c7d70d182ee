// What every output of the exporter says about one test in the same words:
// failed checks, source locations as File.java:35, and a name for each section
// that stays the same from run to run and is unique among its siblings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/hash.h"
#include "export/xrd_read.h"
#include "export/xrd_vocabulary.h"

// One name under a parent (a section's, or a path's number): the key by which
// sibling names are told apart and paths are numbered step by step.
struct NameStep {
  int32_t above;
  std::string_view name;
  bool operator==(const NameStep& o) const { return above == o.above && name == o.name; }
};

// Keyed, so that a report crafted with colliding names stays linear.
struct NameStepHash {
  size_t operator()(const NameStep& k) const {
    return hash_combine(hash_bytes(k.name.data(), k.name.size()), static_cast<uint32_t>(k.above));
  }
};

// A check row that failed: styled failed, or with "Failed" in its status cell.
bool xrd_is_failed_row(const XrdReport& report, const XrdRow& row);

// A LINK TARGET ("CalcTest.java line 35") as annotating tools read it
// ("CalcTest.java:35"); a target without a line number is kept as it is.
std::string xrd_location(const char* target);

// The name each section goes by in paths: its own name, with " (2)", " (3)"...
// after it when an earlier sibling has the same name, so that two sections
// never share a path. An empty name stands as the section's type.
std::vector<std::string> xrd_unique_names(const XrdReport& report);

// The path of names of section i, from its top-level entry down, joined by
// "/" (names as xrd_unique_names gives them).
std::string xrd_path(const XrdReport& report, const std::vector<std::string>& names, uint32_t i);

// The test cases (Test Case, Proc, Stub) by their state.
struct StateCounts {
  unsigned long long tests = 0, passed = 0, failed = 0, idle = 0;
  void count(const XrdSection& s) {
    if (!xrd_is_test_type(s.type)) return;
    ++tests;
    ++(s.state == XRD_OK ? passed : s.state == XRD_KO ? failed : idle);
  }
};
inline StateCounts xrd_test_counts(const XrdReport& r) {
  StateCounts c;
  for (const XrdSection& s : r.sections) c.count(s);
  return c;
}
