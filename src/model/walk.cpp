// Walks over the trees, sibling matching and copying, outcome recording.
#include <cstdint>
#include <cstring>

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
  return siblings_first_equal(parent, model_node);
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
// The nearest check at or above `node`, following the shortcuts each node
// keeps to the nearest check ancestor it had when it was made. Types only
// ever leave the check set (a method's parent becoming a Stub), so nothing
// between a node and its shortcut can have become a check; the shortcut is
// refreshed to the answer so that repeated lookups stay short.
TraceNode* owning_check(TraceNode* node) {
  if (type_is_check(node->type)) return node;
  if (!model().check_links_valid) {
    for (TraceNode* a = node->parent; a; a = a->parent) {
      if (type_is_check(a->type)) return a;
    }
    return nullptr;
  }
  TraceNode* a = node_at(node->check_above);
  while (a && !type_is_check(a->type)) a = node_at(a->check_above);
  node->check_above = node_ref(a);
  return a;
}

// A check evaluated more than 2^31 - 1 times stays at the largest count: a
// wrapped counter would turn negative and a failed check into a passed one.
void add_one(int32_t* counter) {
  if (*counter < INT32_MAX) ++*counter;
}
}  // namespace

void node_record_outcome(TraceNode* node, int outcome) {
  if (!node) return;
  if (outcome == OUTCOME_EXECUTED) node->status = STATUS_EXECUTED;
  if (outcome == OUTCOME_FAILED) node->status = STATUS_FAILED;
  if (node->parent) node->parent->status = STATUS_EXECUTED;
  TraceNode* check = owning_check(node);
  if (!check) return;
  check->status = STATUS_EXECUTED;
  if (!check->stats) return;
  switch (outcome) {
    case OUTCOME_EXECUTED:
      add_one(&check->stats->executed);
      break;
    case OUTCOME_FAILED:
      add_one(&check->stats->failed);
      break;
    case OUTCOME_PASSED:
      add_one(&check->stats->passed);
      break;
    case OUTCOME_ENTERED:
      add_one(&check->stats->entered);
      break;
    default:
      break;
  }
}
