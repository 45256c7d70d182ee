// The trace model's life, its nodes and the node index.
#include <cstdio>
#include <cstring>
#include <new>

#include "model/child_index.h"
#include "model/model_state.h"

// Millions of nodes: every field counts.
static_assert(sizeof(void*) != 8 || sizeof(TraceNode) <= 64, "TraceNode grew");

std::unique_ptr<TraceModel> g_model;

namespace {

// Copies the text into the arena after its hash, which sibling matching reads
// from there (node_text_hash) instead of every node carrying it.
const char* store_text(const char* text) {
  const size_t length = std::strlen(text) + 1;
  char* at = static_cast<char*>(model().texts.take(sizeof(uint32_t) + length));
  const uint32_t hash = hash_bytes(text, length - 1);
  std::memcpy(at, &hash, sizeof hash);
  std::memcpy(at + sizeof hash, text, length);
  return at + sizeof hash;
}

}  // namespace

TraceModel& model_made() {
  g_model = std::make_unique<TraceModel>();
  return *g_model;
}

void tree_init() {
  // A fresh model; whatever an earlier run left is released with it.
  g_model = std::make_unique<TraceModel>();
}

void tree_free() {
  tree_init();
}

uint32_t node_text_hash(const TraceNode* node) {
  uint32_t hash;
  std::memcpy(&hash, node->text - sizeof hash, sizeof hash);
  return hash;
}

TraceNode* node_create(int type, int32_t file, int32_t line, const char* text, TraceNode* parent,
                       int32_t value) {
  TraceModel& m = model();
  TraceNode* node = new (m.nodes.take(sizeof(TraceNode), alignof(TraceNode))) TraceNode();
  node->type = static_cast<int16_t>(type);
  node->file = file;
  node->line = line;
  node->value = value;
  node->parent = parent;
  node->text = store_text(text ? text : "");
  if (type_is_check(type)) {
    node->stats = new (m.nodes.take(sizeof(NodeStats), alignof(NodeStats))) NodeStats();
    node->status = STATUS_NOT_EXECUTED;
  } else {
    node->status = STATUS_PASSED;
  }
  return node;
}

void node_index_add(TraceNode* node) {
  if (node) model().index.insert(node);
}

TraceNode* node_find(int32_t file, int32_t line) {
  return model().index.find(file, line);
}

NodeLines node_lines(int32_t file) {
  return model().index.lines_of(file);
}

std::string node_key_text(int32_t file, int32_t line) {
  char key[32];
  std::snprintf(key, sizeof key, "%d/%lxh", static_cast<int>(file),
                static_cast<unsigned long>(static_cast<uint32_t>(line)));
  return key;
}

int node_hash(int32_t file, int32_t line) {
  const std::string key = node_key_text(file, line);
  unsigned long sum = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    sum += static_cast<unsigned char>(key[i]) * (i + 1);
  }
  return static_cast<int>(sum % 97);
}

// Links `node` as the last child of its parent.
void node_append(TraceNode* node) {
  TraceNode* parent = node->parent;
  if (parent->last_child) {
    parent->last_child->next = node;
  } else {
    parent->first_child = node;
  }
  parent->last_child = node;
  child_index_added(node);
}

void node_add_child(int32_t file, int type, int32_t line, const char* text, int32_t parent_line,
                    int32_t value) {
  TraceNode* parent = node_find(file, parent_line);
  if (!parent) return;
  TraceNode* node = node_create(type, file, line, text, parent, value);
  node_index_add(node);
  node_append(node);
}

void node_set_type(TraceNode* node, int type) {
  if (!node || node->type == type) return;
  child_index_retyped(node, type);
  node->type = static_cast<int16_t>(type);
}
