// The trace model: test-driver entries, one tree of nodes per driver, the node
// index by (driver number, line), the walks, outcome recording and the roll-up.
//
// Ownership: there is one model per process. It owns every driver entry, node
// and text stored in them; callers hand in texts that the model copies, and the
// pointers it hands out stay valid until tree_free. Nothing here prints or fails
// except on refused memory (which ends the process, see errors.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/node_types.h"

enum NodeStatus : int32_t {
  STATUS_NOT_EXECUTED = 0,
  STATUS_EXECUTED = 1,
  STATUS_FAILED = 2,
  STATUS_PASSED = 3,
  STATUS_NO_RESULT = 4,
};

enum Outcome : int {
  OUTCOME_EXECUTED = 1,
  OUTCOME_FAILED = 2,
  OUTCOME_PASSED = 3,
  OUTCOME_ENTERED = 5,
};

struct NodeStats {
  int32_t executed = 0;
  int32_t passed = 0;
  int32_t failed = 0;
  int32_t entered = 0;
};

// Millions of these make up a large model, so the fields are packed; each
// text's hash sits in the text arena just before the text, and the model's
// other bookkeeping lives in its own tables (model_state.h).
struct TraceNode {
  const char* text = nullptr;  // owned by the model, never null
  TraceNode* parent = nullptr;
  TraceNode* next = nullptr;
  TraceNode* first_child = nullptr;
  TraceNode* last_child = nullptr;
  NodeStats* stats = nullptr;  // counters of nodes created as checks
  int32_t file = 0;            // number of the test driver that declared the node
  int32_t line = 0;            // key within the driver
  int32_t value = 0;           // source line the report links to
  int16_t type = 0;            // NodeType (1..31); only node_set_type may change it
  int8_t status = 0;           // NodeStatus
};

struct DriverEntry {
  int32_t number = 0;
  uint32_t run_id = 0;
  uint32_t sig1 = 0;
  uint32_t sig2 = 0;
  bool has_prefix = false;
  std::string prefix;
  bool has_source = false;
  std::string source;
  TraceNode* root = nullptr;    // none for the copies made by driver_bind_run
  DriverEntry* next = nullptr;  // next older entry
};

// Model life.
void tree_init();
void tree_free();

// Drivers. Every lookup finds the newest matching entry.
void driver_open(int32_t number, int32_t line, const char* text);
void driver_set_names(int32_t number, const char* prefix, const char* source);  // null = not given
void driver_set_sigs(int32_t number, uint32_t sig1, uint32_t sig2);
void driver_bind_run(uint32_t run_id, uint32_t sig1, uint32_t sig2);
int32_t driver_by_run(uint32_t run_id);  // -1 when no entry has this run
int driver_count();                      // entries that have a root
TraceNode* driver_root_at(int n);        // 0 is the driver opened last
// The newest entry with this number: false when there is none. Otherwise
// *title is the prefix followed by the source (absent parts skipped).
bool driver_title_by_number(int32_t number, std::string* title);

// Nodes.
TraceNode* node_create(int type, int32_t file, int32_t line, const char* text, TraceNode* parent,
                       int32_t value);
void node_index_add(TraceNode* node);
TraceNode* node_find(int32_t file, int32_t line);
// The index's array of one driver's nodes by line: node_find(file, l) is
// lines[l] wherever that is not null (0 <= l < count); any other line needs
// node_find. Valid until the next node is indexed. The TDF reader looks up most
// lines of its current driver here, without a call per record.
struct NodeLines {
  TraceNode* const* lines = nullptr;
  size_t count = 0;
};
NodeLines node_lines(int32_t file);
int node_hash(int32_t file, int32_t line);
std::string node_key_text(int32_t file, int32_t line);  // "%d/%lxh"
void node_add_child(int32_t file, int type, int32_t line, const char* text, int32_t parent_line,
                    int32_t value);
// Changes a node's type (the TDF reader turns method parents into Stubs).
// The only way a type may change once the node exists; only an indexed node
// may change, and never into a check type.
void node_set_type(TraceNode* node, int type);

// Walks, matching, outcomes and roll-up.
using NodeVisit = void (*)(TraceNode* node, void* context);
void tree_walk(TraceNode* node, NodeVisit visit, void* context);
void node_for_each_child(TraceNode* node, NodeVisit visit, void* context);
bool node_equal(const TraceNode* a, const TraceNode* b);
TraceNode* node_find_child(TraceNode* parent, const TraceNode* model);
TraceNode* node_clone_child(TraceNode* parent, const TraceNode* model);
// Records an outcome on `node` and counts it on its nearest check at or above it.
inline void node_record_outcome(TraceNode* node, int outcome);
int status_merge(int a, int b);
void tree_rollup();

// A check evaluated more than 2^31 - 1 times stays at the largest count: a
// wrapped counter would turn negative and a failed check into a passed one.
inline void node_count_outcome(NodeStats& s, int outcome) {
  int32_t* counter = outcome == OUTCOME_EXECUTED  ? &s.executed
                     : outcome == OUTCOME_FAILED  ? &s.failed
                     : outcome == OUTCOME_PASSED  ? &s.passed
                     : outcome == OUTCOME_ENTERED ? &s.entered
                                                  : nullptr;
  if (counter && *counter < INT32_MAX) ++*counter;
}

// The outcome on a node that is not a check, which climbs to its check.
void node_record_outcome_above(TraceNode* node, int outcome);

// Most outcomes name a check, which is its own owning check: whatever the
// outcome, it ends up executed, as does its parent, and the outcome is counted.
inline void node_record_outcome(TraceNode* node, int outcome) {
  if (!node) return;
  if (!type_is_check(node->type)) {
    node_record_outcome_above(node, outcome);
    return;
  }
  node->status = STATUS_EXECUTED;
  if (node->parent) node->parent->status = STATUS_EXECUTED;
  if (node->stats) node_count_outcome(*node->stats, outcome);
}
