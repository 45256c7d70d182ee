// The sibling-match table: the earliest unindexed child per parent and match key.
#include "model/child_index.h"

#include <cassert>
#include <cstring>

#include "model/model_state.h"

namespace {

uint64_t match_hash(const TraceNode* parent, const TraceNode* n) {
  uint64_t h = hash_word(reinterpret_cast<uintptr_t>(parent));
  h = hash_combine(h, (static_cast<uint64_t>(static_cast<uint32_t>(n->file)) << 32) |
                          static_cast<uint32_t>(n->line));
  h = hash_combine(h, (static_cast<uint64_t>(static_cast<uint32_t>(n->type)) << 32) |
                          static_cast<uint32_t>(n->value));
  return hash_combine(h, node_text_hash(n));
}

// node_equal, with the text hashes compared before the texts.
bool same_match_key(const TraceNode* a, const TraceNode* b) {
  return a->type == b->type && a->file == b->file && a->line == b->line && a->value == b->value &&
         node_text_hash(a) == node_text_hash(b) && std::strcmp(a->text, b->text) == 0;
}

bool is_indexed(const TraceNode* n) {
  return node_find(n->file, n->line) == n;
}

}  // namespace

void child_index_added(TraceNode* child) {
  if (is_indexed(child)) return;
  const TraceNode* parent = child->parent;
  const uint64_t h = match_hash(parent, child);
  TraceNode*& first = model().first_equal.insert_if(h, h, [&](const auto& slot) {
    return slot.key == h && slot.value->parent == parent && same_match_key(slot.value, child);
  });
  if (!first) first = child;  // an earlier equal child keeps its place
}

void child_index_retyped(const TraceNode* node, int type) {
  assert(is_indexed(node) && "only indexed nodes change type");
  assert(!type_is_check(type) && "types only leave the check set");
  (void)node;
  (void)type;
}

TraceNode* child_index_first_equal(const TraceNode* parent, const TraceNode* model_node) {
  // Most evaluations name a node declared right under the current one.
  TraceNode* x = node_find(model_node->file, model_node->line);
  if (x && x->parent == parent && (x == model_node || same_match_key(x, model_node))) return x;
  const uint64_t h = match_hash(parent, model_node);
  TraceNode* const* first = model().first_equal.find_if(h, [&](const auto& slot) {
    return slot.key == h && slot.value->parent == parent && same_match_key(slot.value, model_node);
  });
  return first ? *first : nullptr;
}
