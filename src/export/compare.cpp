// Matching the tests of two reports by their paths of names.
#include "export/compare.h"

#include <unordered_map>

#include "export/test_paths.h"
#include "export/xrd_vocabulary.h"

namespace {

// A path is numbered by the number of the path above it (kRoot at the top,
// and for the section that stands for a merged report) and its last name.
constexpr int32_t kRoot = -1;
constexpr int32_t kUnknown = -2;  // a path the baseline does not have

// The number of each section's path. With add, paths not met yet get the next
// number; without, they are kUnknown, and so is every path below them.
std::vector<int32_t> path_numbers(const XrdReport& r, const std::vector<std::string>& names,
                                  std::unordered_map<NameStep, int32_t, NameStepHash>& steps,
                                  bool add) {
  std::vector<int32_t> number(r.sections.size(), kUnknown);
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (xrd_is_report_section(s)) {
      number[i] = kRoot;
      continue;
    }
    int32_t above = s.parent < 0 ? kRoot : number[static_cast<size_t>(s.parent)];
    if (above == kUnknown) continue;
    NameStep step{above, names[i]};
    if (add) {
      number[i] = steps.emplace(step, static_cast<int32_t>(steps.size())).first->second;
    } else {
      auto it = steps.find(step);
      if (it != steps.end()) number[i] = it->second;
    }
  }
  return number;
}

TestChange classify(XrdState now, bool known, XrdState before) {
  if (now == XRD_KO) return known && before == XRD_KO ? CHANGE_STILL_FAILING : CHANGE_NEW_FAILURE;
  if (!known) return CHANGE_NEW_TEST;
  if (before == XRD_KO && now == XRD_OK) return CHANGE_FIXED;
  if (before != XRD_NE && now == XRD_NE) return CHANGE_STOPPED;
  return CHANGE_NONE;
}

}  // namespace

const char* const kChangeWords[CHANGE_KINDS] = {
    "Unchanged", "New failure", "Fixed", "Still failing", "New test", "Stopped running", "Removed"};
const char* const kChangeKeys[CHANGE_KINDS] = {
    "unchanged", "new_failure", "fixed", "still_failing", "new_test", "stopped_running", "removed"};
const char* const kChangeHeadings[CHANGE_KINDS] = {
    "Unchanged", "New failures",    "Fixed",  "Still failing",
    "New tests", "Stopped running", "Removed"};

Comparison compare_reports(const XrdReport& report, const XrdReport& baseline) {
  // Each path of the baseline gets a number, known by its parent's number and
  // its last name; a section of the report finds its own the same way. Spelling
  // every path out would cost the sum of all depths, which a deep tree makes
  // quadratic.
  std::unordered_map<NameStep, int32_t, NameStepHash> steps;
  steps.reserve(baseline.sections.size());
  std::vector<std::string> old_names = xrd_unique_names(baseline);
  std::vector<int32_t> old_path = path_numbers(baseline, old_names, steps, true);
  std::vector<int32_t> test_at(steps.size(), -1);  // the first test of each path
  for (uint32_t i = 0; i < baseline.sections.size(); ++i)
    if (xrd_is_test_type(baseline.sections[i].type) && test_at[old_path[i]] < 0)
      test_at[old_path[i]] = static_cast<int32_t>(i);
  std::vector<bool> matched(baseline.sections.size(), false);

  Comparison c;
  std::vector<std::string> names = xrd_unique_names(report);
  std::vector<int32_t> path = path_numbers(report, names, steps, false);
  c.change.assign(report.sections.size(), CHANGE_NONE);
  for (uint32_t i = 0; i < report.sections.size(); ++i) {
    const XrdSection& s = report.sections[i];
    if (!xrd_is_test_type(s.type)) continue;
    int32_t before = path[i] >= 0 ? test_at[path[i]] : -1;
    // A path met twice (two merged reports that ran the same driver) matches
    // the baseline once; the second is new.
    bool known = before >= 0 && !matched[before];
    if (known) matched[before] = true;
    TestChange kind = classify(s.state, known, known ? baseline.sections[before].state : XRD_NE);
    c.change[i] = kind;
    ++c.counts[kind];
  }
  // The path a removed test was matched by, spelled out: names from the
  // driver down, without the section that stands for a merged report.
  XrdPathCursor spelled(baseline, old_names, true);
  for (uint32_t i = 0; i < baseline.sections.size(); ++i) {
    if (!xrd_is_test_type(baseline.sections[i].type) || matched[i]) continue;
    if (test_at[old_path[i]] != static_cast<int32_t>(i)) continue;  // a duplicate path
    c.removed.push_back({spelled.at(i), baseline.sections[i].state});
  }
  c.counts[CHANGE_REMOVED] = c.removed.size();
  return c;
}
