// A test run in its history: the run added under its tests' paths, and the
// label it goes by when none is given.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "export/model/history.h"
#include "export/model/test_run.h"

// Adds run to `kept` as its newest run, labelled `label`, keeps the newest
// `size` runs, and moves the history into run.history. A test is known by
// its identity (test_paths.h), as the baseline matches it: its whole path of
// names from its driver down, the nodes that stand for merged reports left
// out, so a run split across machines finds its tests whatever the reports'
// files are called. A test of a history written when identities were cut
// paths is taken over by the first test of that cut path. Its outcome is its
// state. A path met twice in the run keeps the worse outcome.
// The run's totals are the ones the summaries give. Linear in the run's size
// and the history's.
void run_history_add(TestRun& run, History kept, std::string label, size_t size);

// What the kept runs say of node i (a test of the run added).
inline HistoryTrend run_trend(const TestRun& run, uint32_t i) {
  return history_trend(run.history.kept, run.history.test_of_node[i]);
}

// The flakiest tests of the run, at most `limit`, flakiest first (as
// history_flakiest orders them): the first node of each such test.
std::vector<uint32_t> run_flakiest(const TestRun& run, size_t limit);
// The same nodes in the same order, each with its path of names cut by
// kPathCut, spelled in one pass over the run.
struct FlakyNode {
  uint32_t node;
  std::string path;
};
std::vector<FlakyNode> run_flakiest_paths(const TestRun& run, size_t limit);

// The run's label by default: the generation time the report states (for
// merged reports, the one they all state), else the time now in the same
// layout ("Thu Dec 10 00:11:22 2026", local time).
std::string run_default_label(const TestRun& run);
