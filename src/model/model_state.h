// Internal state of the process-wide trace model, shared by the model's own
// sources only: arenas for nodes and texts, the key index, the sibling-match
// table, the shortcuts to check ancestors and the driver list's lookups.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/flat_map.h"
#include "model/tree.h"
#include "base/zeroed_block.h"

// The node index: finds the one indexed node of a key (file, line), refusing
// a second node with a key already indexed, as a chained index does. Test
// drivers are numbered 0, 1, 2 ... and their lines mostly run densely from 1,
// so most keys sit in a plain array of node pointers per driver, where
// neighbouring lines share cache lines; keys far outside that go to a hash table.
class KeyIndex {
 public:
  inline TraceNode* find(int32_t file, int32_t line) const;
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
// entry's seq + 1. A TDF switches runs on most of its records, so each lookup
// touches one slot of one contiguous array.
struct RunBinding {
  int32_t number;
  uint32_t seq1;
};
using RunTable = FlatMap<uint32_t, RunBinding, WordHash>;

struct DriverBySeq {
  bool operator()(const DriverEntry* a, const DriverEntry* b) const { return a->seq > b->seq; }
};
using DriverSet = std::set<DriverEntry*, DriverBySeq>;  // newest first

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

  // Driver list: `head` is the newest entry; the lookups below give the
  // newest match in constant or logarithmic time.
  // Entries never move: chunks that double in size, so that a TDF binding
  // thousands of runs makes few allocations.
  std::vector<std::unique_ptr<DriverEntry[]>> driver_chunks;
  size_t entries_in_last_chunk = 0;
  size_t last_entry_chunk_capacity = 0;
  DriverEntry* head = nullptr;
  uint64_t next_driver_seq = 0;
  std::vector<DriverEntry*> rooted;  // entries with a root, oldest first
  std::unordered_map<int32_t, DriverEntry*> by_number;
  // run_id != 0 -> the newest entry bound to it, kept apart so that the
  // frequent run switches of a TDF touch no driver entry.
  RunTable by_run;
  DriverSet unbound;  // run_id == 0
  std::map<std::pair<uint32_t, uint32_t>, DriverSet> by_sigs;
};

TraceModel& model();
// Links a node created under a parent as that parent's last child.
void node_append(TraceNode* node);

inline TraceNode* KeyIndex::find(int32_t file, int32_t line) const {
  if (file >= 0 && static_cast<size_t>(file) < drivers_.size()) {
    const ZeroedArray<TraceNode*>& lines = drivers_[static_cast<size_t>(file)].lines;
    if (line >= 0 && static_cast<size_t>(line) < lines.size() && lines[line]) return lines[line];
  }
  if (spill_.size() == 0) return nullptr;
  TraceNode* const* node = spill_.find(
      (static_cast<uint64_t>(static_cast<uint32_t>(file)) << 32) | static_cast<uint32_t>(line));
  return node ? *node : nullptr;
}

// The hash of a node's text, stored in the text arena just before the text.
uint32_t node_text_hash(const TraceNode* node);
