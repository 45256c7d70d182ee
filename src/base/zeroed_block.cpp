// Zero-filled blocks: small ones from the heap, large ones mapped from the
// kernel; the bump arena over them.
#include "base/zeroed_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t whole_huge_pages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
}  // namespace

void memory_refused() {
  // The program's own out-of-memory path, the one operator new takes: the
  // new-handler ends the run (tallyrep) or throws (tallyrep-export).
  if (std::new_handler handler = std::get_new_handler()) handler();
  throw std::bad_alloc();
}

ZeroedBlock::ZeroedBlock(std::size_t bytes) {
  if (!try_allocate(bytes)) memory_refused();
}

bool ZeroedBlock::try_allocate(std::size_t bytes) {
  release();
  if (bytes == 0) return true;
  if (bytes < kZeroedMapAtLeast) {
    small_.reset(new (std::nothrow) unsigned char[bytes]());
    data_ = small_.get();
    bytes_ = data_ ? bytes : 0;
    return data_ != nullptr;
  }
  const std::size_t rounded = whole_huge_pages(bytes);
  void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only; small pages work as well
  data_ = p;
  bytes_ = rounded;
  mapped_ = true;
  return true;
}

ZeroedBlock::ZeroedBlock(ZeroedBlock&& other) noexcept {
  *this = std::move(other);
}

ZeroedBlock& ZeroedBlock::operator=(ZeroedBlock&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    small_ = std::move(other.small_);
  }
  return *this;
}

ZeroedBlock::~ZeroedBlock() {
  release();
}

void ZeroedBlock::grow(std::size_t bytes) {
  if (bytes <= bytes_) return;
  if (mapped_) {
    const std::size_t rounded = whole_huge_pages(bytes);
    void* p = ::mremap(data_, bytes_, rounded, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) memory_refused();
    ::madvise(p, rounded, MADV_HUGEPAGE);
    data_ = p;
    bytes_ = rounded;
    return;
  }
  ZeroedBlock bigger(bytes);
  if (bytes_) std::memcpy(bigger.data_, data_, bytes_);
  *this = std::move(bigger);
}

void ZeroedBlock::release() {
  if (mapped_ && data_) ::munmap(data_, bytes_);
  small_.reset();
  data_ = nullptr;
  bytes_ = 0;
  mapped_ = false;
}

void* Arena::take(std::size_t bytes, std::size_t align) {
  void* p = try_take(bytes, align);
  if (!p) memory_refused();
  return p;
}

void* Arena::try_take(std::size_t bytes, std::size_t align) {
  std::size_t pad = (align - reinterpret_cast<std::uintptr_t>(next_) % align) % align;
  if (bytes + pad > left_) {
    // Blocks double up to the last size; a larger request gets a block of its own.
    std::size_t size = std::max(next_size_, first_);
    if (next_size_ < last_) next_size_ = std::min(last_, size * 2);
    size = std::max(size, bytes + align);
    if (max_blocks_ != 0 && blocks_.size() == max_blocks_) return nullptr;
    ZeroedBlock block;
    if (!block.try_allocate(size)) return nullptr;
    blocks_.push_back(std::move(block));
    next_ = static_cast<char*>(blocks_.back().data());
    left_ = blocks_.back().size();
    pad = (align - reinterpret_cast<std::uintptr_t>(next_) % align) % align;
  }
  char* p = next_ + pad;
  next_ = p + bytes;
  left_ -= bytes + pad;
  return p;
}

Arena::Arena(std::size_t first, std::size_t last, std::size_t max_blocks)
    : first_(first), last_(last), next_size_(first), max_blocks_(max_blocks) {
  if (max_blocks != 0) blocks_.reserve(max_blocks);
}

void Arena::clear() {
  blocks_.clear();
  next_ = nullptr;
  left_ = 0;
  next_size_ = first_;
}
