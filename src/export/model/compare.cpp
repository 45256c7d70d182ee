// Matching the tests of a run and a baseline by their identities.
#include "export/model/compare.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/hash.h"
#include "export/model/test_paths.h"

namespace {

TestChange classify(TestState now, bool known, TestState before) {
  if (now == STATE_FAILED)
    return known && before == STATE_FAILED ? CHANGE_STILL_FAILING : CHANGE_NEW_FAILURE;
  if (!known) return CHANGE_NEW_TEST;
  if (before == STATE_FAILED && now == STATE_PASSED) return CHANGE_FIXED;
  if (before != STATE_NOT_EXECUTED && now == STATE_NOT_EXECUTED) return CHANGE_STOPPED;
  return CHANGE_NONE;
}

}  // namespace

void compare_runs(TestRun& run, const TestRun& baseline, const std::string& name) {
  // The first test of each identity in the baseline; one met again (two
  // merged reports that ran the same driver) is matched once, and the second
  // of the run is new.
  std::unordered_map<std::string, uint32_t, TextHash> test_of;
  test_of.reserve(baseline.nodes.size());
  {
    PathCursor ids(baseline, PATH_NAMES, kPathCut);
    for (uint32_t i = 0; i < baseline.nodes.size(); ++i)
      if (is_test(baseline, baseline.nodes[i])) test_of.emplace(ids.identity(i), i);
  }
  std::vector<bool> matched(baseline.nodes.size(), false);

  Changes& c = run.changes;
  c = Changes();
  c.baseline = name;
  PathCursor ids(run, PATH_NAMES, kPathCut);
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    TestNode& n = run.nodes[i];
    n.change = CHANGE_NONE;
    if (!is_test(run, n)) continue;
    const auto it = test_of.find(std::string(ids.identity(i)));
    const bool known = it != test_of.end() && !matched[it->second];
    if (known) matched[it->second] = true;
    n.change =
        classify(n.state, known, known ? baseline.nodes[it->second].state : STATE_NOT_EXECUTED);
    ++c.counts[n.change];
  }
  // A removed test as the outputs name it, in the baseline's order: its
  // path, cut as paths are.
  std::vector<uint32_t> removed_at;
  PathCursor spelled(baseline, PATH_NAMES, kPathCut);
  for (const auto& [identity, i] : test_of) {
    (void)identity;
    if (!matched[i]) removed_at.push_back(i);
  }
  std::sort(removed_at.begin(), removed_at.end());
  for (uint32_t i : removed_at)
    c.removed.push_back({std::string(spelled.at(i)), baseline.nodes[i].state});
  c.counts[CHANGE_REMOVED] = c.removed.size();
  run.compared = true;
}

void each_change(const TestRun& run, TestChange kind, TextCut cut,
                 const std::function<bool(uint32_t, std::string_view)>& visit) {
  if (kind == CHANGE_REMOVED) {
    for (const RemovedTest& t : run.changes.removed)
      if (!visit(kNone, t.path)) return;
    return;
  }
  PathCursor path(run, PATH_NAMES, cut);
  for (uint32_t i = 0; i < run.nodes.size(); ++i)
    if (run.nodes[i].change == kind && !visit(i, path.at(i))) return;
}
