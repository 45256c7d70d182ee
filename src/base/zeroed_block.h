// Zero-filled memory blocks for the arenas and tables of the model and the
// exporter. Large blocks are anonymous mappings with transparent huge pages
// requested, so that building a model of millions of nodes, or parsing a
// report of hundreds of megabytes, takes few page faults and no explicit zeroing.
//
// Refused memory takes the program's one out-of-memory path, the new-handler
// that operator new calls (see memory_refused); the try_ forms return false
// or null instead, for callers that must not throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// Blocks of at least this many bytes are mapped from the kernel (rounded up to
// whole huge pages); smaller ones come from the heap.
constexpr std::size_t kZeroedMapAtLeast = 256 * 1024;

// Calls the new-handler, as operator new does when memory is refused, and
// throws std::bad_alloc should it return.
[[noreturn]] void memory_refused();

class ZeroedBlock {
 public:
  ZeroedBlock() = default;
  // A block of `bytes` zero bytes; refused memory goes to memory_refused.
  explicit ZeroedBlock(std::size_t bytes);
  // The same, replacing the block held; false when the memory is refused.
  bool try_allocate(std::size_t bytes);
  ZeroedBlock(ZeroedBlock&& other) noexcept;
  ZeroedBlock& operator=(ZeroedBlock&& other) noexcept;
  ZeroedBlock(const ZeroedBlock&) = delete;
  ZeroedBlock& operator=(const ZeroedBlock&) = delete;
  ~ZeroedBlock();

  void* data() const { return data_; }
  std::size_t size() const { return bytes_; }
  // Makes the block at least `bytes` long, keeping its contents; the new bytes
  // are zero. A mapped block is moved by the kernel rather than copied, so a
  // growing array never holds its old and new copies in memory at once.
  void grow(std::size_t bytes);

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
  // Lengthens the array to `count` objects; the added ones are zero.
  void grow(std::size_t count) {
    if (count <= count_) return;
    block_.grow(count * sizeof(T));
    count_ = count;
  }

 private:
  ZeroedBlock block_;
  std::size_t count_ = 0;
};

// Objects of T made one by one and released all at once with the pool. They
// never move and are never destroyed, and each can be found again by its
// number (the order it was made in), so that a 32-bit number can stand in for
// a pointer. The first chunks come from the heap and double from 64 objects, so
// a small model costs little; after them every chunk is one mapping of 4 MiB
// filled to the last whole object, so a large model takes few blocks and wastes
// none of the huge pages it is given.
template <class T>
class ZeroedPool {
  static_assert(std::is_trivially_destructible<T>::value, "pooled objects are never destroyed");

 public:
  T* make() {
    if (used_ == capacity_) add_chunk();
    ++count_;
    return new (chunk_data(chunks_.size() - 1) + used_++) T();
  }
  std::size_t size() const { return count_; }
  // The object made as number i (0 is the first); i < size().
  T* at(std::size_t i) const {
    const std::size_t j = i + kFirst;
    if (j < kGrownEnd) {
      const int k = 63 - __builtin_clzll(j) - kFirstBits;  // j >= kFirst > 0
      return chunk_data(static_cast<std::size_t>(k)) + (j - (std::size_t{1} << (k + kFirstBits)));
    }
    const std::size_t past = j - kGrownEnd;  // a constant divisor: no division made
    return chunk_data(kGrowing + past / kLast) + past % kLast;
  }

 private:
  static constexpr int floor_log2(std::size_t x) {
    int bits = -1;
    while (x) {
      x >>= 1;
      ++bits;
    }
    return bits;
  }
  static constexpr int kFirstBits = 6;
  static constexpr std::size_t kFirst = std::size_t{1} << kFirstBits;
  // The growing chunks stay below the size that ZeroedBlock maps.
  static constexpr int kGrowBits = floor_log2((kZeroedMapAtLeast - 1) / sizeof(T)) > kFirstBits
                                       ? floor_log2((kZeroedMapAtLeast - 1) / sizeof(T))
                                       : kFirstBits;
  // Chunks 0 .. kGrowing-1 double from kFirst objects; offset by kFirst, their
  // numbers run from kFirst up to kGrownEnd.
  static constexpr std::size_t kGrowing = static_cast<std::size_t>(kGrowBits - kFirstBits + 1);
  static constexpr std::size_t kGrownEnd = std::size_t{1} << (kGrowBits + 1);
  static constexpr std::size_t kLast =
      sizeof(T) < (std::size_t{4} << 20) ? (std::size_t{4} << 20) / sizeof(T) : 1;

  T* chunk_data(std::size_t k) const { return static_cast<T*>(chunks_[k].data()); }
  void add_chunk() {
    const std::size_t k = chunks_.size();
    capacity_ = k < kGrowing ? kFirst << k : kLast;
    chunks_.emplace_back(capacity_ * sizeof(T));
    used_ = 0;
  }
  std::vector<ZeroedBlock> chunks_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;
};

// Zero-filled memory of any size handed out front to back from blocks that
// double from `first` up to `last` bytes, all released together. A request
// larger than the blocks gets a block of its own. With `max_blocks` set, the
// list of blocks never grows past it, so that try_take never allocates
// anything but the block itself.
class Arena {
 public:
  Arena(std::size_t first, std::size_t last, std::size_t max_blocks = 0);
  void* take(std::size_t bytes, std::size_t align = 1);
  void* try_take(std::size_t bytes, std::size_t align = 1);  // null when refused
  void clear();  // releases every block
  bool empty() const { return blocks_.empty(); }

 private:
  std::vector<ZeroedBlock> blocks_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t first_;
  std::size_t last_;
  std::size_t next_size_;
  std::size_t max_blocks_;
};
