// Zero-filled blocks: small ones from the heap, large ones mapped from the kernel.
#include "model/zeroed_block.h"

#include <sys/mman.h>

#include <cstring>
#include <utility>

#include "driver/errors.h"

namespace {
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t whole_huge_pages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
}  // namespace

ZeroedBlock::ZeroedBlock(std::size_t bytes) {
  if (bytes == 0) return;
  if (bytes < kZeroedMapAtLeast) {
    small_.reset(new unsigned char[bytes]());
    data_ = small_.get();
    bytes_ = bytes;
    return;
  }
  const std::size_t rounded = whole_huge_pages(bytes);
  void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) fatal_out_of_memory();
  ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only; small pages work as well
  data_ = p;
  bytes_ = rounded;
  mapped_ = true;
}

ZeroedBlock::ZeroedBlock(ZeroedBlock&& other) noexcept { *this = std::move(other); }

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

ZeroedBlock::~ZeroedBlock() { release(); }

void ZeroedBlock::grow(std::size_t bytes) {
  if (bytes <= bytes_) return;
  if (mapped_) {
    const std::size_t rounded = whole_huge_pages(bytes);
    void* p = ::mremap(data_, bytes_, rounded, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) fatal_out_of_memory();
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
