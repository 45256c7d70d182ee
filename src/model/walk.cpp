// Walks over the trees, sibling matching and copying, outcome recording.
#include <cstdint>
#include <cstring>

#include "model/child_index.h"
#include "model/model_state.h"

void tree_walk(TraceNode* node, NodeVisit visit, void* context) {
  if (!node) return;
  // Post-order without recursion: every node after its descendants and
  // before its next sibling. The walk ends when it climbs back to the
  // starting node's parent, so it covers the start and its later siblings.
  TraceNode* const stop = node->parent;
  TraceNode* n = node;
  for (;;) {
    while (n->first_child) n = n->first_child;
    for (;;) {
      visit(n, context);
      if (n->next) {
        n = n->next;
        break;
      }
      n = n->parent;
      if (n == stop) return;
    }
  }
}

void node_for_each_child(TraceNode* node, NodeVisit visit, void* context) {
  if (!node) return;
  for (TraceNode* c = node->first_child; c; c = c->next) visit(c, context);
}

bool node_equal(const TraceNode* a, const TraceNode* b) {
  return a && b && a->type == b->type && a->file == b->file && a->line == b->line &&
         a->value == b->value && std::strcmp(a->text, b->text) == 0;
}

TraceNode* node_find_child(TraceNode* parent, const TraceNode* model_node) {
  if (!parent || !model_node) return nullptr;
  return child_index_first_equal(parent, model_node);
}

TraceNode* node_clone_child(TraceNode* parent, const TraceNode* model_node) {
  if (!parent || !model_node) return nullptr;
  TraceNode* node = node_create(model_node->type, model_node->file, model_node->line,
                                model_node->text, parent, model_node->value);
  node_index_add(node);
  node_append(node);
  return node;
}

namespace {
// The nearest check above `node`. The climb goes by the shortcuts the model
// keeps (else by parents) and leaves a shortcut on every node it passed, so a
// chain is climbed once however many outcomes name nodes in it. Types only
// ever leave the check set (a method's parent becoming a Stub), so nothing
// between a node and its shortcut can have become a check. Kept out of line:
// inlined, its table code gave every outcome a large stack frame to set up.
__attribute__((noinline)) TraceNode* climb(TraceModel& m, TraceNode* node) {
  m.climbed.clear();
  TraceNode* n = node;
  for (;;) {
    TraceNode* const* shortcut = m.check_above.find(n);
    TraceNode* up = shortcut ? *shortcut : n->parent;
    if (!up || type_is_check(up->type)) {
      // Every node passed now leads to the check, or to the topmost node.
      TraceNode* to = up ? up : n;
      for (TraceNode* passed : m.climbed) m.check_above.insert(passed) = to;
      if (n != to) m.check_above.insert(n) = to;
      return up;
    }
    m.climbed.push_back(n);
    n = up;
  }
}

// The nearest check above `node`, which is no check itself (an outcome on a
// check is recorded inline, see tree.h). Most outcomes here name a check's
// child or the node the outcome before named (the TDF often names one line
// many times running): those need no table.
TraceNode* check_above_node(TraceNode* node) {
  if (!node->parent || type_is_check(node->parent->type)) return node->parent;
  TraceModel& m = model();
  auto& last = m.last_climb;
  if (node != last.from || (last.check && !type_is_check(last.check->type))) {
    last = {node, climb(m, node)};
  }
  return last.check;
}
}  // namespace

void node_record_outcome_above(TraceNode* node, int outcome) {
  if (outcome == OUTCOME_EXECUTED) node->status = STATUS_EXECUTED;
  if (outcome == OUTCOME_FAILED) node->status = STATUS_FAILED;
  if (node->parent) node->parent->status = STATUS_EXECUTED;
  TraceNode* check = check_above_node(node);
  if (!check) return;
  check->status = STATUS_EXECUTED;
  if (check->stats) node_count_outcome(*check->stats, outcome);
}
