// Huge-page mappings for the report buffer and the bump arena of the XML parser.
#include "export/page_memory.h"

#include <sys/mman.h>

#include <cstring>
#include <pugixml.hpp>
#include <utility>
#include <vector>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kChunk = size_t{64} << 20;
constexpr size_t kAlign = 64;

size_t round_up(size_t n, size_t to) {
  return (n + to - 1) / to * to;
}

// The parser's pages: chunks are filled front to back and all released
// together once every block has been freed (the document was destroyed).
struct Arena {
  std::vector<PageBuffer> chunks;
  size_t used = 0;  // bytes taken from the last chunk
  size_t live = 0;
};
Arena arena;

void* arena_allocate(size_t size) {
  size = round_up(size == 0 ? 1 : size, kAlign);
  if (arena.chunks.empty() || arena.chunks.back().size - arena.used < size) {
    PageBuffer chunk;
    if (!page_buffer_alloc(chunk, size > kChunk ? size : kChunk)) return nullptr;
    arena.chunks.push_back(std::move(chunk));
    arena.used = 0;
  }
  void* p = arena.chunks.back().data + arena.used;
  arena.used += size;
  ++arena.live;
  return p;
}

void arena_deallocate(void* p) {
  if (p == nullptr || arena.live == 0) return;
  if (--arena.live == 0) {
    arena.chunks.clear();
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
