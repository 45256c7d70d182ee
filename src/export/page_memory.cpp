// Huge-page mappings for the report buffer and the bump arena of the XML parser.
#include "export/page_memory.h"

#include <sys/mman.h>

#include <array>
#include <cstring>
#include <pugixml.hpp>
#include <utility>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kChunk = size_t{64} << 20;
constexpr size_t kAlign = 64;

size_t round_up(size_t n, size_t to) {
  return (n + to - 1) / to * to;
}

// The parser's pages: chunks are filled front to back and all released
// together once every block has been freed (the document was destroyed). The
// list has fixed room (far more than any machine's memory in chunks): growing
// it could throw from inside the parser, which takes a null pointer as its
// one sign of refused memory.
struct Arena {
  std::array<PageBuffer, 4096> chunks;
  size_t count = 0;
  size_t used = 0;  // bytes taken from the last chunk
  size_t live = 0;
};
Arena arena;

void* arena_allocate(size_t size) noexcept {
  size = round_up(size == 0 ? 1 : size, kAlign);
  if (arena.count == 0 || arena.chunks[arena.count - 1].size - arena.used < size) {
    if (arena.count == arena.chunks.size()) return nullptr;
    if (!page_buffer_alloc(arena.chunks[arena.count], size > kChunk ? size : kChunk))
      return nullptr;
    ++arena.count;
    arena.used = 0;
  }
  void* p = arena.chunks[arena.count - 1].data + arena.used;
  arena.used += size;
  ++arena.live;
  return p;
}

void arena_deallocate(void* p) noexcept {
  if (p == nullptr || arena.live == 0) return;
  if (--arena.live == 0) {
    for (size_t i = 0; i < arena.count; ++i) arena.chunks[i] = PageBuffer();
    arena.count = 0;
    arena.used = 0;
  }
}

}  // namespace

PageBuffer::PageBuffer(PageBuffer&& other) noexcept : data(other.data), size(other.size) {
  other.data = nullptr;
  other.size = 0;
}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  std::swap(data, other.data);
  std::swap(size, other.size);
  return *this;
}

PageBuffer::~PageBuffer() {
  if (data != nullptr) ::munmap(data, size);
}

bool page_buffer_alloc(PageBuffer& buffer, size_t size) {
  size_t n = round_up(size == 0 ? 1 : size, kHugePage);
  void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  ::madvise(p, n, MADV_HUGEPAGE);  // advice only: small pages work as well
  PageBuffer fresh;
  fresh.data = static_cast<char*>(p);
  fresh.size = n;
  buffer = std::move(fresh);
  return true;
}

bool page_buffer_grow(PageBuffer& buffer, size_t size) {
  if (size <= buffer.size) return true;
  PageBuffer bigger;
  if (!page_buffer_alloc(bigger, size)) return false;
  if (buffer.data != nullptr) std::memcpy(bigger.data, buffer.data, buffer.size);
  buffer = std::move(bigger);
  return true;
}

void xml_arena_install() {
  pugi::set_memory_management_functions(arena_allocate, arena_deallocate);
}

size_t xml_arena_live() {
  return arena.live;
}
