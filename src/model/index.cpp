// The model's lookup tables: the node index by key and the sibling-match table.
#include <algorithm>
#include <cstring>

#include "model/model_state.h"

namespace {
uint64_t pack_key(int32_t file, int32_t line) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(file)) << 32) | static_cast<uint32_t>(line);
}

TraceNode* const kTombstone = reinterpret_cast<TraceNode*>(alignof(TraceNode));

uint64_t match_hash(const TraceNode* parent, const TraceNode* n) {
  uint64_t h = hash_word(reinterpret_cast<uintptr_t>(parent));
  h = hash_combine(h, pack_key(n->file, n->line));
  h = hash_combine(h, (static_cast<uint64_t>(static_cast<uint32_t>(n->type)) << 32) |
                          static_cast<uint32_t>(n->value));
  return hash_combine(h, node_text_hash(n));
}

bool same_match_key(const TraceNode* a, const TraceNode* b) {
  // node_equal, with the text hashes compared before the texts.
  return a->type == b->type && a->file == b->file && a->line == b->line &&
         a->value == b->value && node_text_hash(a) == node_text_hash(b) &&
         std::strcmp(a->text, b->text) == 0;
}
}  // namespace

TraceNode* KeyHash::find(int32_t file, int32_t line) const {
  if (slots_.empty()) return nullptr;
  const uint64_t key = pack_key(file, line);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash_word(key) & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.node) return nullptr;
    if (s.key == key) return s.node;
  }
}

bool KeyHash::insert(TraceNode* node) {
  if ((used_ + 1) * 4 > slots_.size() * 3) grow();
  const uint64_t key = pack_key(node->file, node->line);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash_word(key) & mask;; i = (i + 1) & mask) {
    Slot& s = slots_[i];
    if (!s.node) {
      s.key = key;
      s.node = node;
      ++used_;
      return true;
    }
    if (s.key == key) return false;
  }
}

void KeyHash::grow() {
  ZeroedArray<Slot> old = std::move(slots_);
  slots_ = ZeroedArray<Slot>(old.empty() ? 256 : old.size() * 2);
  auto used = [](const Slot& s) { return s.node != nullptr; };
  reinsert_slots(old, slots_, used, [](const Slot& s) { return hash_word(s.key); }, used);
}

bool KeyIndex::insert(TraceNode* node) {
  if (find(node->file, node->line)) return false;
  const int64_t file = node->file;
  const int64_t line = node->line;
  // A driver number or line goes to the arrays while they stay within a few
  // times the number of indexed keys, so that no input can make them large.
  const int64_t file_room = static_cast<int64_t>(2 * indexed_ + 64);
  if (file >= 0 && file < file_room && line >= 0) {
    if (static_cast<size_t>(file) >= drivers_.size()) {
      drivers_.resize(std::max<size_t>(static_cast<size_t>(file) + 1, 2 * drivers_.size()));
    }
    DriverLines& d = drivers_[static_cast<size_t>(file)];
    const int64_t line_room = static_cast<int64_t>(8 * d.count + 64);
    if (line < line_room) {
      if (static_cast<size_t>(line) >= d.lines.size()) {
        d.lines.grow(std::max<size_t>(static_cast<size_t>(line) + 1, 2 * d.lines.size()));
      }
      d.lines[static_cast<size_t>(line)] = node_ref(node);
      ++d.count;
      ++indexed_;
      return true;
    }
  }
  spill_.insert(node);
  ++indexed_;
  return true;
}

size_t SiblingTable::probe(uint64_t hash, const TraceNode* parent, const TraceNode* model) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.head) return i;  // empty: the key is absent
    if (s.head != kTombstone && s.hash == hash && s.head->parent == parent &&
        same_match_key(s.head, model)) {
      return i;
    }
  }
}

TraceNode* SiblingTable::find_first(const TraceNode* parent, const TraceNode* model) const {
  if (slots_.empty()) return nullptr;
  const Slot& s = slots_[probe(match_hash(parent, model), parent, model)];
  return s.head;  // nullptr when absent
}

void SiblingTable::add(TraceNode* child) {
  if ((used_ + 1) * 4 > slots_.size() * 3) grow();
  const uint64_t hash = match_hash(child->parent, child);
  Slot& s = slots_[probe(hash, child->parent, child)];
  child->next_equal = 0;
  child->equal_head = false;
  if (!s.head) {
    s.head = child;
    s.tail = child;
    s.hash = hash;
    ++used_;
    return;
  }
  // Equal siblings are kept in creation order, which is child order.
  if (s.tail->seq < child->seq) {
    s.tail->next_equal = node_ref(child);
    s.tail = child;
    return;
  }
  if (child->seq < s.head->seq) {
    s.head->equal_head = false;
    child->next_equal = node_ref(s.head);
    s.head = child;
    return;
  }
  TraceNode* at = s.head;
  for (TraceNode* n = node_at(at->next_equal); n && n->seq < child->seq;
       n = node_at(at->next_equal)) {
    at = n;
  }
  child->next_equal = at->next_equal;
  at->next_equal = node_ref(child);
}

void SiblingTable::remove(TraceNode* child) {
  if (slots_.empty()) return;
  Slot& s = slots_[probe(match_hash(child->parent, child), child->parent, child)];
  if (!s.head) return;
  TraceNode* prev = nullptr;
  TraceNode* at = s.head;
  while (at && at != child) {
    prev = at;
    at = node_at(at->next_equal);
  }
  if (!at) return;
  if (prev) {
    prev->next_equal = child->next_equal;
  } else {
    s.head = node_at(child->next_equal);
  }
  if (s.tail == child) s.tail = prev;
  child->next_equal = 0;
  child->equal_head = false;
  if (!s.head) {
    s.head = kTombstone;  // keeps later probes of this chain going
    s.tail = nullptr;
  }
}

void SiblingTable::grow() {
  ZeroedArray<Slot> old = std::move(slots_);
  auto live = [](const Slot& s) { return s.head && s.head != kTombstone; };
  size_t count = 0;
  for (size_t k = 0; k < old.size(); ++k) count += live(old[k]);
  size_t size = 256;
  while (size < (count + 1) * 2) size *= 2;  // live stays below a half after a rebuild
  slots_ = ZeroedArray<Slot>(size);
  used_ = reinsert_slots(old, slots_, live, [](const Slot& s) { return s.hash; },
                         [](const Slot& s) { return s.head != nullptr; });
}

void SiblingTable::clear() {
  slots_ = ZeroedArray<Slot>();
  used_ = 0;
}

namespace {
bool is_indexed(const TraceNode* n) { return node_find(n->file, n->line) == n; }

// The first node ever made with a key is the one the index holds, so it comes
// before every other child of its parent that could equal `n`.
bool has_indexed_twin(const TraceNode* parent, const TraceNode* n) {
  const TraceNode* x = node_find(n->file, n->line);
  return x && x != n && x->parent == parent && x->seq < n->seq && same_match_key(x, n);
}

// Sets the flag of the first node in the chain of `key`'s match key under `parent`.
void refresh_head(const TraceNode* parent, const TraceNode* key) {
  TraceNode* head = model().siblings.find_first(parent, key);
  if (head) head->equal_head = !has_indexed_twin(parent, head);
}
}  // namespace

void siblings_added(TraceNode* child) {
  if (is_indexed(child)) {
    child->equal_head = true;
    return;
  }
  model().siblings.add(child);
  refresh_head(child->parent, child);
}

void siblings_retype(TraceNode* node, int type) {
  TraceNode* parent = node->parent;
  if (!parent) {
    node->type = type;
    return;
  }
  SiblingTable& table = model().siblings;
  const bool indexed = is_indexed(node);
  if (!indexed) table.remove(node);
  const TraceNode old_key = *node;
  node->type = type;
  if (!indexed) table.add(node);
  refresh_head(parent, &old_key);
  refresh_head(parent, node);
  if (indexed) node->equal_head = true;
}

TraceNode* siblings_first_equal(TraceNode* parent, const TraceNode* model_node) {
  // Most evaluations name a check declared right under the current node.
  if (model_node->parent == parent && model_node->equal_head) {
    return const_cast<TraceNode*>(model_node);
  }
  // Every child equal to the model has its key: the indexed node, or one of
  // the later nodes with that key, which the table chains per parent.
  TraceNode* x = node_find(model_node->file, model_node->line);
  if (x && !(x->parent == parent && same_match_key(x, model_node))) x = nullptr;
  TraceNode* chained = model().siblings.find_first(parent, model_node);
  if (x && chained) return x->seq < chained->seq ? x : chained;
  return x ? x : chained;
}
