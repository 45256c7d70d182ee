// Internal state of the process-wide trace model, shared by the model's own
// sources only: arenas for nodes and texts, the key index and the sibling-match table.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/hash.h"
#include "model/tree.h"
#include "base/zeroed_block.h"

// Open-addressing table from a node's key (file, line) to the one indexed node.
class KeyHash {
 public:
  TraceNode* find(int32_t file, int32_t line) const;
  bool insert(TraceNode* node);  // false when the key is already there
  bool empty() const { return used_ == 0; }

 private:
  struct Slot {
    uint64_t key = 0;
    TraceNode* node = nullptr;
  };
  void grow();
  ZeroedArray<Slot> slots_;
  size_t used_ = 0;
};

// The node index: finds the one indexed node of a key (file, line), refusing
// a second node with a key already indexed, as a chained index does. Test
// drivers are numbered 0, 1, 2 ... and their lines mostly run densely from 1,
// so most keys sit in a plain array of node numbers per driver, where
// neighbouring lines share cache lines; keys far outside that go to a hash table.
class KeyIndex {
 public:
  inline TraceNode* find(int32_t file, int32_t line) const;
  bool insert(TraceNode* node);

 private:
  struct DriverLines {
    ZeroedArray<uint32_t> lines;  // node numbers (see node_ref), 0 for none
    size_t count = 0;
  };
  std::vector<DriverLines> drivers_;
  size_t indexed_ = 0;
  KeyHash spill_;
};

// Chains the children that the index does not hold (repeated keys, copies) by
// parent and match key (type, file, line, value, text). Each distinct key has
// one slot holding the earliest such child; later ones hang off it through
// TraceNode::next_equal in creation order, which is child order, also after a
// node's type changes.
class SiblingTable {
 public:
  TraceNode* find_first(const TraceNode* parent, const TraceNode* model) const;
  void add(TraceNode* child);     // child is the newest child of its parent
  void remove(TraceNode* child);  // before its type changes
  void clear();

 private:
  struct Slot {
    TraceNode* head = nullptr;  // nullptr: empty; kTombstone: deleted
    TraceNode* tail = nullptr;
    uint64_t hash = 0;
  };
  size_t probe(uint64_t hash, const TraceNode* parent, const TraceNode* model) const;
  void grow();
  ZeroedArray<Slot> slots_;
  size_t used_ = 0;  // live slots plus tombstones
};

// Open-addressing table from a run (never 0) to the number and seq of the
// newest driver entry bound to it. A TDF switches runs on most of its records,
// so each lookup touches one slot of one contiguous array.
class RunTable {
 public:
  struct Binding {
    uint32_t run = 0;  // 0: empty slot
    int32_t number = 0;
    uint64_t seq = 0;
  };
  const Binding* find(uint32_t run) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash_word(run) & mask;; i = (i + 1) & mask) {
      const Binding& s = slots_[i];
      if (s.run == 0) return nullptr;
      if (s.run == run) return &s;
    }
  }
  // Binds the run to the entry unless a newer entry holds it already.
  void bind(uint32_t run, int32_t number, uint64_t seq);

 private:
  void grow();
  ZeroedArray<Binding> slots_;
  size_t used_ = 0;
};

struct DriverBySeq {
  bool operator()(const DriverEntry* a, const DriverEntry* b) const { return a->seq > b->seq; }
};
using DriverSet = std::set<DriverEntry*, DriverBySeq>;  // newest first

struct TraceModel {
  // Arenas: released all at once by tree_free.
  ZeroedPool<TraceNode> nodes;
  ZeroedPool<NodeStats> stats;  // the counters of check nodes only
  // Texts in blocks that double up to a few megabytes; a longer text gets a
  // block of its own.
  Arena texts{4096, size_t{4} << 20};

  KeyIndex index;
  SiblingTable siblings;
  // False once some node turned from a non-check into a check type: the
  // shortcuts to the nearest check ancestor are then no longer trusted.
  bool check_links_valid = true;

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

// The bookkeeping links of a node hold node numbers: 0 for none, else the
// node's seq + 1, which is its place in the node pool + 1.
inline uint32_t node_ref(const TraceNode* node) { return node ? node->seq + 1 : 0; }
inline TraceNode* node_at(uint32_t ref) { return ref ? model().nodes.at(ref - 1) : nullptr; }

inline TraceNode* KeyIndex::find(int32_t file, int32_t line) const {
  if (file >= 0 && static_cast<size_t>(file) < drivers_.size()) {
    const ZeroedArray<uint32_t>& lines = drivers_[static_cast<size_t>(file)].lines;
    if (line >= 0 && static_cast<size_t>(line) < lines.size() && lines[line]) {
      return node_at(lines[line]);
    }
  }
  return spill_.empty() ? nullptr : spill_.find(file, line);
}

// The hash of a node's text, stored in the text arena just before the text.
uint32_t node_text_hash(const TraceNode* node);

// Sibling matching. Each child knows whether it is the first of its parent's
// children equal to it. A node whose key the index holds was the first node
// made with that key, so it is; every other child (a repeated key, or a copy)
// is chained in the SiblingTable under its parent and match key.
void siblings_added(TraceNode* child);  // after the child was linked and indexed
void siblings_retype(TraceNode* node, int type);
TraceNode* siblings_first_equal(TraceNode* parent, const TraceNode* model);
