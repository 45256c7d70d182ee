// The node index: per-driver arrays of nodes by line, and a hash table for
// the keys outside them.
#include <algorithm>

#include "model/model_state.h"

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
      d.lines[static_cast<size_t>(line)] = node;
      ++d.count;
      ++indexed_;
      return true;
    }
  }
  spill_.insert((static_cast<uint64_t>(static_cast<uint32_t>(file)) << 32) |
                static_cast<uint32_t>(line)) = node;
  ++indexed_;
  return true;
}

NodeLines KeyIndex::lines_of(int32_t file) const {
  if (file < 0 || static_cast<size_t>(file) >= drivers_.size()) return {};
  const ZeroedArray<TraceNode*>& lines = drivers_[static_cast<size_t>(file)].lines;
  return {lines.data(), lines.size()};
}
