// The one open-addressing hash table of the program: the node index's
// overflow, the run table, the instance tables and the sibling table.
//
// Slots hold a key and a value side by side in one zero-filled array, and a
// slot whose value is all zero is empty, so no value stored may be zero. The
// table doubles before it is half full, so a probe run stays a slot or two;
// with the keyed hash of base/hash.h no input can lengthen it on purpose.
// Values are found and changed in place; nothing is ever removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "base/hash.h"
#include "base/zeroed_block.h"

template <class K, class V, class Hash>
class FlatMap {
  static_assert(std::is_trivially_copyable<K>::value && std::is_trivially_copyable<V>::value,
                "slots are moved as bytes");

 public:
  struct Slot {
    K key;
    V value;
  };

  std::size_t size() const { return count_; }

  // The value of `key`, or null.
  V* find(const K& key) const {
    return find_if(Hash()(key), [&](const Slot& s) { return s.key == key; });
  }
  // The value of the slot with hash `h` that `same` accepts, or null; for keys
  // that the slots only stand for (see the sibling table).
  template <class Same>
  V* find_if(std::uint64_t h, Same same) const {
    if (count_ == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (empty(s)) return nullptr;
      if (same(s)) return &s.value;
    }
  }

  // The value of `key`; a new key gets a zero value that the caller must set
  // to a non-zero one before the next insert. *added tells which it was.
  V& insert(const K& key, bool* added = nullptr) {
    return insert_if(
        Hash()(key), key, [&](const Slot& s) { return s.key == key; }, added);
  }
  template <class Same>
  V& insert_if(std::uint64_t h, const K& key, Same same, bool* added = nullptr) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (empty(s)) {
        s.key = key;
        ++count_;
        if (added) *added = true;
        return s.value;
      }
      if (same(s)) {
        if (added) *added = false;
        return s.value;
      }
    }
  }

 private:
  static bool empty(const Slot& s) {
    static const V kZero{};
    return std::memcmp(&s.value, &kZero, sizeof(V)) == 0;
  }
  void grow() {
    ZeroedArray<Slot> old = std::move(slots_);
    slots_ = ZeroedArray<Slot>(old.empty() ? 64 : old.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = 0; k < old.size(); ++k) {
      if (empty(old[k])) continue;
      std::size_t i = Hash()(old[k].key) & mask;
      while (!empty(slots_[i])) i = (i + 1) & mask;
      slots_[i] = old[k];
    }
  }

  ZeroedArray<Slot> slots_;
  std::size_t count_ = 0;
};

// The keyed hash of an integer or pointer key.
struct WordHash {
  template <class K>
  std::uint64_t operator()(K key) const {
    if constexpr (std::is_pointer<K>::value) {
      return hash_word(reinterpret_cast<std::uintptr_t>(key));
    } else {
      return hash_word(static_cast<std::uint64_t>(key));
    }
  }
};
// For tables whose key is the hash of what the slot stands for.
struct StoredHash {
  std::uint64_t operator()(std::uint64_t h) const { return h; }
};
