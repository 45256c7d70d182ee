// Adding a test run to its history: each test under its path of names, the
// same path the baseline matches it by.
#include "export/model/run_history.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>
#include <utility>

#include "export/model/test_paths.h"
#include "report/vocabulary.h"

namespace {

// The states of the model and the history's outcomes are numbered alike.
static_assert(OUTCOME_PASSED == int{STATE_PASSED} && OUTCOME_FAILED == int{STATE_FAILED} &&
              OUTCOME_NOT_EXECUTED == int{STATE_NOT_EXECUTED});

// Histories written before identities were whole know a test whose path is
// longer than kPathCut.limit by its cut path alone. Such an identity is taken
// over by the first test of the run whose cut path it is and that the
// history does not know by its whole identity yet; the others that share the
// cut are new tests.
void adopt_legacy_identities(const TestRun& run, History& kept) {
  std::vector<std::pair<uint32_t, std::string>> renames;
  std::unordered_set<uint32_t> claimed;
  PathCursor path(run, PATH_NAMES, kPathCut);
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    if (!is_test(run, run.nodes[i])) continue;
    std::string_view legacy;
    const std::string_view identity = path.identity(i, &legacy);
    if (identity.size() == legacy.size() || history_find(kept, identity) != kNoTest) continue;
    const uint32_t test = history_find(kept, legacy);
    if (test != kNoTest && claimed.insert(test).second) renames.emplace_back(test, identity);
  }
  if (!renames.empty()) history_rename(kept, renames);
}

}  // namespace

void run_history_add(TestRun& run, History kept, std::string label, size_t size) {
  adopt_legacy_identities(run, kept);
  const Totals totals = run_totals(run);
  history_start_run(kept, std::move(label),
                    HistoryTotals{totals.passed, totals.failed, run.counted.not_executed});
  {
    PathCursor path(run, PATH_NAMES, kPathCut);
    for (uint32_t i = 0; i < run.nodes.size(); ++i)
      if (is_test(run, run.nodes[i]))
        history_record(kept, path.identity(i), static_cast<HistoryOutcome>(run.nodes[i].state));
  }
  history_keep(kept, size);
  // Keeping the window renumbers the tests, so each test is found again.
  std::vector<uint32_t> test_of_node(run.nodes.size(), kNoTest);
  PathCursor path(run, PATH_NAMES, kPathCut);
  for (uint32_t i = 0; i < run.nodes.size(); ++i)
    if (is_test(run, run.nodes[i])) test_of_node[i] = history_find(kept, path.identity(i));
  run.history = RunHistory{std::move(kept), size, std::move(test_of_node)};
  run.with_history = true;
}

std::vector<uint32_t> run_flakiest(const TestRun& run, size_t limit) {
  const History& h = run.history.kept;
  std::vector<uint32_t> node_of_test(history_tests(h), kNone);
  for (uint32_t i = static_cast<uint32_t>(run.nodes.size()); i-- > 0;) {
    const uint32_t test = run.history.test_of_node[i];
    if (test != kNoTest) node_of_test[test] = i;
  }
  std::vector<uint32_t> nodes;
  for (uint32_t test : history_flakiest(h, limit)) nodes.push_back(node_of_test[test]);
  return nodes;
}

std::vector<FlakyNode> run_flakiest_paths(const TestRun& run, size_t limit) {
  std::vector<FlakyNode> flakiest;
  for (uint32_t node : run_flakiest(run, limit)) flakiest.push_back({node, std::string()});
  // A path cursor moves forward only: the paths are spelled in run order.
  std::vector<FlakyNode*> in_order;
  for (FlakyNode& f : flakiest) in_order.push_back(&f);
  std::sort(in_order.begin(), in_order.end(),
            [](const FlakyNode* a, const FlakyNode* b) { return a->node < b->node; });
  PathCursor path(run, PATH_NAMES, kPathCut);
  for (FlakyNode* f : in_order) f->path = path.at(f->node);
  return flakiest;
}

std::string run_default_label(const TestRun& run) {
  for (const InfoRow& row : run.info)
    if (row.label == kWordGenerationTime && !row.value.empty()) return row.value;
  // Merged reports written at different times, or a report edited by hand:
  // the time now, spelled as reports spell theirs.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[64];
  if (!localtime_r(&now, &local) ||
      std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &local) == 0)
    return "run";
  return text;
}
