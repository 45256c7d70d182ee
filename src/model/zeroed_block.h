// Zero-filled memory blocks for the model's arenas and tables. Large blocks are
// anonymous mappings with transparent huge pages requested, so that building a
// model of millions of nodes takes few page faults and no explicit zeroing.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

class ZeroedBlock {
 public:
  ZeroedBlock() = default;
  // A block of `bytes` zero bytes; refused memory ends the process (status 1).
  explicit ZeroedBlock(std::size_t bytes);
  ZeroedBlock(ZeroedBlock&& other) noexcept;
  ZeroedBlock& operator=(ZeroedBlock&& other) noexcept;
  ZeroedBlock(const ZeroedBlock&) = delete;
  ZeroedBlock& operator=(const ZeroedBlock&) = delete;
  ~ZeroedBlock();

  void* data() const { return data_; }
  std::size_t size() const { return bytes_; }

 private:
  void release();
  void* data_ = nullptr;
  std::size_t bytes_ = 0;
  bool mapped_ = false;
  std::unique_ptr<unsigned char[]> small_;  // blocks too small to map
};

// A fixed-size array of T over a ZeroedBlock; T must be valid as all-zero bytes
// and need no destructor.
template <class T>
class ZeroedArray {
 public:
  ZeroedArray() = default;
  explicit ZeroedArray(std::size_t count) : block_(count * sizeof(T)), count_(count) {}
  T* data() const { return static_cast<T*>(block_.data()); }
  T& operator[](std::size_t i) const { return data()[i]; }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  ZeroedBlock block_;
  std::size_t count_ = 0;
};

// Objects of T made one by one and released all at once with the pool. They
// never move and are never destroyed; chunks double from a few objects up to
// about 4 MB, so a small model costs little and a large one takes few blocks.
template <class T>
class ZeroedPool {
  static_assert(std::is_trivially_destructible<T>::value, "pooled objects are never destroyed");

 public:
  T* make() {
    if (used_ == capacity_) add_chunk();
    return new (static_cast<T*>(chunks_.back().data()) + used_++) T();
  }

 private:
  static constexpr std::size_t kFirst = 64;
  static constexpr std::size_t kLast = (std::size_t{4} << 20) / sizeof(T);
  void add_chunk() {
    std::size_t count = capacity_ ? capacity_ * 2 : kFirst;
    if (count > kLast) count = kLast;
    chunks_.emplace_back(count * sizeof(T));
    capacity_ = chunks_.back().size() / sizeof(T);  // mapped blocks round up
    used_ = 0;
  }
  std::vector<ZeroedBlock> chunks_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};
