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
  void clear();                                              // releases every block
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
