// Matching the tests of a run and a baseline by their paths of names.
#include "export/compare.h"

#include <deque>
#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/test_paths.h"

namespace {

// A path is numbered by the number of the path above it (kRoot at the top,
// and for the node that stands for a merged report) and its last name.
constexpr int32_t kRoot = -1;
constexpr int32_t kUnknown = -2;  // a path the baseline does not have

struct Step {
  int32_t above;
  std::string_view name;
  bool operator==(const Step& o) const { return above == o.above && name == o.name; }
};
// Keyed, so that a report crafted with colliding names stays linear.
struct StepHash {
  size_t operator()(const Step& k) const {
    return hash_combine(TextHash()(k.name), static_cast<uint32_t>(k.above));
  }
};
using Steps = std::unordered_map<Step, int32_t, StepHash>;

// The number of each node's path. With add, paths not met yet get the next
// number (their made-up names kept in names); without, they are kUnknown,
// and so is every path below them.
std::vector<int32_t> path_numbers(const TestRun& r, Steps& steps, bool add,
                                  std::deque<std::string>& names) {
  std::vector<int32_t> number(r.nodes.size(), kUnknown);
  std::string scratch;
  for (uint32_t i = 0; i < r.nodes.size(); ++i) {
    const TestNode& n = r.nodes[i];
    if (is_report(r, n)) {
      number[i] = kRoot;
      continue;
    }
    const int32_t above = n.parent < 0 ? kRoot : number[static_cast<size_t>(n.parent)];
    if (above == kUnknown) continue;
    std::string_view name = unique_name(r, i, scratch);
    if (add) {
      if (name.data() == scratch.data()) name = names.emplace_back(scratch);
      number[i] =
          steps.emplace(Step{above, name}, static_cast<int32_t>(steps.size())).first->second;
    } else {
      auto it = steps.find(Step{above, name});
      if (it != steps.end()) number[i] = it->second;
    }
  }
  return number;
}

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
  // Each path of the baseline gets a number, known by its parent's number and
  // its last name; a node of the run finds its own the same way. Spelling
  // every path out would cost the sum of all depths, which a deep tree makes
  // quadratic.
  Steps steps;
  steps.reserve(baseline.nodes.size());
  std::deque<std::string> made_up;
  const std::vector<int32_t> old_path = path_numbers(baseline, steps, true, made_up);
  std::vector<int32_t> test_at(steps.size(), -1);  // the first test of each path
  for (uint32_t i = 0; i < baseline.nodes.size(); ++i)
    if (is_test(baseline, baseline.nodes[i]) && test_at[old_path[i]] < 0)
      test_at[old_path[i]] = static_cast<int32_t>(i);
  std::vector<bool> matched(baseline.nodes.size(), false);

  Changes& c = run.changes;
  c = Changes();
  c.baseline = name;
  const std::vector<int32_t> path = path_numbers(run, steps, false, made_up);
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    TestNode& n = run.nodes[i];
    n.change = CHANGE_NONE;
    if (!is_test(run, n)) continue;
    const int32_t before = path[i] >= 0 ? test_at[path[i]] : -1;
    // A path met twice (two merged reports that ran the same driver) matches
    // the baseline once; the second is new.
    const bool known = before >= 0 && !matched[before];
    if (known) matched[before] = true;
    n.change = classify(n.state, known, known ? baseline.nodes[before].state : STATE_NOT_EXECUTED);
    ++c.counts[n.change];
  }
  // The path a removed test was matched by, spelled out: names from the
  // driver down, without the node that stands for a merged report.
  PathCursor spelled(baseline, PATH_NAMES, kPathCut, true);
  for (uint32_t i = 0; i < baseline.nodes.size(); ++i) {
    if (!is_test(baseline, baseline.nodes[i]) || matched[i]) continue;
    if (test_at[old_path[i]] != static_cast<int32_t>(i)) continue;  // a duplicate path
    c.removed.push_back({std::string(spelled.at(i)), baseline.nodes[i].state});
  }
  c.counts[CHANGE_REMOVED] = c.removed.size();
  run.compared = true;
}

int compare_with_baseline(TestRun& run, XrdSource source, const std::string& name,
                          std::string& error) {
  TestRun baseline;
  ReportFacts facts;
  if (xrd_read(source, baseline, -1, XRD_TREE, facts, error) != 0) return -1;
  compare_runs(run, baseline, name);
  return 0;
}
