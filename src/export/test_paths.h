// What every output of the exporter says about one test in the same words:
// failed checks, source locations as File.java:35, and a name for each section
// that stays the same from run to run and is unique among its siblings.
#pragma once

#include <cstdint>
#include <cstring>
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
    return hash_combine(TextHash()(k.name), static_cast<uint32_t>(k.above));
  }
};

// The top-level section that stands for one report of a merged run.
inline bool xrd_is_report_section(const XrdSection& s) {
  return s.parent < 0 && std::strcmp(s.type, kXrdReportType) == 0;
}

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

// The longest path or classname an output that names every test writes: a
// longer one keeps both ends around an ellipsis, so that a deep nesting of
// tests gives output linear in the report's size.
constexpr size_t kXrdPathMax = 1024;
std::string xrd_shorten(const std::string& text);
// The same cut as offsets: text[0, head) and text[tail, n) are kept, each
// ending and starting on a UTF-8 character.
void xrd_cut(const char* text, size_t n, size_t& head, size_t& tail);

// The paths of sections asked for in report order (i never decreasing), as
// xrd_path spells them and cut by xrd_shorten. Each name is added and dropped
// once, so a deep chain of tests costs its length, not the sum of its depths.
// With skip_reports the sections that stand for merged reports are left out.
class XrdPathCursor {
 public:
  XrdPathCursor(const XrdReport& report, const std::vector<std::string>& names,
                bool skip_reports = false)
      : r_(report), names_(names), skip_reports_(skip_reports) {}
  // *cut (when given) tells whether the path was longer than kXrdPathMax.
  std::string at(uint32_t i, bool* cut = nullptr);

 private:
  struct Level {
    uint32_t section;
    size_t length;  // of the path down to it
  };
  const XrdReport& r_;
  const std::vector<std::string>& names_;
  bool skip_reports_;
  uint32_t next_ = 0;
  std::string path_;
  std::vector<Level> levels_;
};

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
