// Where a test run keeps its texts: a store of NUL-terminated copies that
// never move, a table that keeps each repeated text once under a number, and
// the growing arrays of records that stay in one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/flat_map.h"
#include "base/zeroed_block.h"

// Texts copied out of a report, NUL-terminated, each at a place that stays
// the same until the store goes: records hold them as plain pointers.
class TextStore {
 public:
  TextStore() : arena_(size_t{4} << 10, size_t{4} << 20) {}
  // A copy of text; "" for an empty one (a static text, not a copy).
  const char* add(std::string_view text);

 private:
  Arena arena_;
};

// Texts stored once each, numbered in the order they were first added; the
// texts hold no NUL. The table's slots hold only numbers (plus one; 0 is
// empty), found by the keyed hash of the text, so that a million texts cost
// little more than the texts themselves.
class TextTable {
 public:
  uint32_t add(std::string_view text);
  const char* operator[](uint32_t id) const { return texts_[id]; }
  uint32_t size() const { return static_cast<uint32_t>(texts_.size()); }

 private:
  TextStore store_;
  std::vector<const char*> texts_;
  FlatMap<uint32_t, uint32_t, StoredHash> index_;  // a text's hash -> its number + 1
};

// An array of records that grows in place: a large one is moved by the
// kernel rather than copied, so that growing it never holds two copies.
// T must be valid as all-zero bytes and need no destructor.
template <class T>
class Column {
 public:
  void push_back(const T& value) {
    if (size_ == items_.size()) items_.grow(items_.size() < 64 ? 64 : items_.size() * 2);
    items_[size_++] = value;
  }
  T& operator[](size_t i) const { return items_[i]; }
  T& back() const { return items_[size_ - 1]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* begin() const { return items_.data(); }
  T* end() const { return items_.data() + size_; }
  // Drops the records from `size` on (a read that starts again).
  void shrink_to(size_t size) {
    if (size < size_) size_ = size;
  }

 private:
  ZeroedArray<T> items_;
  size_t size_ = 0;
};
