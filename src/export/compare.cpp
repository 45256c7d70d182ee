// Matching the tests of two reports by their paths of names.
#include "export/compare.h"

#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/test_paths.h"
#include "export/xrd_vocabulary.h"

namespace {

// Keyed, so that a report crafted with colliding paths stays linear.
struct PathHash {
  size_t operator()(std::string_view s) const { return hash_bytes(s.data(), s.size()); }
};

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

std::vector<std::string> compare_keys(const XrdReport& r) {
  std::vector<std::string> names = xrd_unique_names(r);
  std::vector<std::string> keys(r.sections.size());
  // Sections come parent first, so each key extends its parent's.
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (s.parent < 0) {
      if (std::string_view(s.type) != kXrdReportType) keys[i] = names[i];
      continue;
    }
    const std::string& above = keys[static_cast<size_t>(s.parent)];
    keys[i] = above.empty() ? names[i] : above + "/" + names[i];
  }
  return keys;
}

Comparison compare_reports(const XrdReport& report, const XrdReport& baseline) {
  Comparison c;
  std::vector<std::string> old_keys = compare_keys(baseline);
  std::unordered_map<std::string_view, uint32_t, PathHash> before;
  before.reserve(old_keys.size());
  for (uint32_t i = 0; i < baseline.sections.size(); ++i)
    if (xrd_is_test_type(baseline.sections[i].type)) before.emplace(old_keys[i], i);
  std::vector<bool> matched(baseline.sections.size(), false);

  std::vector<std::string> keys = compare_keys(report);
  c.change.assign(report.sections.size(), CHANGE_NONE);
  for (uint32_t i = 0; i < report.sections.size(); ++i) {
    const XrdSection& s = report.sections[i];
    if (!xrd_is_test_type(s.type)) continue;
    auto it = before.find(keys[i]);
    // A path met twice (two merged reports that ran the same driver) matches
    // the baseline once; the second is new.
    bool known = it != before.end() && !matched[it->second];
    if (known) matched[it->second] = true;
    TestChange kind = classify(s.state, known, known ? baseline.sections[it->second].state : XRD_NE);
    c.change[i] = kind;
    ++c.counts[kind];
  }
  for (uint32_t i = 0; i < baseline.sections.size(); ++i) {
    if (!xrd_is_test_type(baseline.sections[i].type) || matched[i]) continue;
    auto it = before.find(old_keys[i]);
    if (it == before.end() || it->second != i) continue;  // a duplicate path of the baseline
    c.removed.push_back({old_keys[i], baseline.sections[i].state});
  }
  c.counts[CHANGE_REMOVED] = c.removed.size();
  return c;
}
