// Internal state of the process-wide trace model, shared by the model's own
// sources only: arenas for nodes and texts, the key index, the sibling-match
// table, the shortcuts to check ancestors and the driver list's lookups.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "base/flat_map.h"
#include "base/zeroed_block.h"
#include "model/tree.h"

// The node index: finds the one indexed node of a key (file, line), refusing
// a second node with a key already indexed, as a chained index does. Test
// drivers are numbered 0, 1, 2 ... and their lines mostly run densely from 1,
// so most keys sit in a plain array of node pointers per driver, where
// neighbouring lines share cache lines; keys far outside that go to a hash table.
class KeyIndex {
 public:
  inline TraceNode* find(int32_t file, int32_t line) const;
  NodeLines lines_of(int32_t file) const;
  bool insert(TraceNode* node);

 private:
  struct DriverLines {
    ZeroedArray<TraceNode*> lines;  // null for none
    size_t count = 0;
  };
  std::vector<DriverLines> drivers_;
  size_t indexed_ = 0;
  FlatMap<uint64_t, TraceNode*, WordHash> spill_;  // by (file << 32 | line)
};

// Run (never 0) -> the number of the newest driver entry bound to it, and that
// entry's place in the list + 1. A TDF switches runs on most of its records, so each lookup
// touches one slot of one contiguous array.
struct RunBinding {
  int32_t number;
  uint32_t place1;
};
using RunTable = FlatMap<uint32_t, RunBinding, WordHash>;

// The driver list with its three newest-wins lookups. Entries are numbered in
// the order they were made (newer is larger) and never move; `head` is the
// newest, each entry's `next` the one made before it.
struct DriverList {
  std::deque<DriverEntry> entries;
  DriverEntry* head = nullptr;
  std::vector<DriverEntry*> rooted;  // entries with a root, oldest first
  // number -> the newest entry with it (its place + 1)
  FlatMap<int32_t, uint32_t, WordHash> by_number;
  // run_id != 0 -> the newest entry bound to it, kept apart so that the
  // frequent run switches of a TDF touch no driver entry.
  RunTable by_run;
  // The entries of each pair of identification words, and those without a
  // run, by place; the newest is the last.
  std::map<std::pair<uint32_t, uint32_t>, std::set<uint32_t>> by_sigs;
  std::set<uint32_t> unbound;
};

struct TraceModel {
  // Nodes, check counters and texts, released all at once by tree_free, in
  // blocks that double up to a few megabytes (a longer text gets its own).
  Arena nodes{16384, size_t{4} << 20};
  Arena texts{4096, size_t{4} << 20};

  KeyIndex index;
  // (parent, match key) -> the earliest child with them that the index does not
  // hold (see child_index.h).
  FlatMap<uint64_t, TraceNode*, StoredHash> first_equal;
  // Non-check node -> a node at or above its nearest check ancestor, with no
  // check strictly between (the topmost node where there is none); filled as
  // outcomes ask for it, so a deep chain is climbed once.
  FlatMap<const TraceNode*, TraceNode*, WordHash> check_above;
  std::vector<TraceNode*> climbed;  // working list of that climb
  // The last climb's answer: the TDF often names one line many times running.
  struct {
    const TraceNode* from = nullptr;
    TraceNode* check = nullptr;
  } last_climb;

  DriverList drivers;
};

// The process-wide model, made on first use.
extern std::unique_ptr<TraceModel> g_model;
TraceModel& model_made();
inline TraceModel& model() {
  return g_model ? *g_model : model_made();
}
// Links a node created under a parent as that parent's last child.
void node_append(TraceNode* node);

inline TraceNode* KeyIndex::find(int32_t file, int32_t line) const {
  if (file >= 0 && static_cast<size_t>(file) < drivers_.size()) {
    const ZeroedArray<TraceNode*>& lines = drivers_[static_cast<size_t>(file)].lines;
    if (line >= 0 && static_cast<size_t>(line) < lines.size() && lines[line]) return lines[line];
  }
  if (spill_.size() == 0) return nullptr;
  TraceNode* const* node = spill_.find((static_cast<uint64_t>(static_cast<uint32_t>(file)) << 32) |
                                       static_cast<uint32_t>(line));
  return node ? *node : nullptr;
}

// The hash of a node's text, stored in the text arena just before the text.
uint32_t node_text_hash(const TraceNode* node);
