// Large blocks from the system in 2 MiB huge pages where the kernel grants them:
// a report and its parsed tree are touched once and densely, and small pages
// would make page faults and TLB misses cost more than the parse itself.
#pragma once

#include <cstddef>

// One anonymous mapping, released by its destructor.
struct PageBuffer {
  char* data = nullptr;
  size_t size = 0;  // bytes mapped
  PageBuffer() = default;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  ~PageBuffer();
};

// Maps at least size bytes (zero-filled); false when the system refuses.
bool page_buffer_alloc(PageBuffer& buffer, size_t size);
// Grows the mapping to at least size bytes, keeping its contents.
bool page_buffer_grow(PageBuffer& buffer, size_t size);

// Makes the XML parser take its memory from a bump arena of huge-page chunks.
// The parser's allocator is process-wide by the library's design; the arena
// gives everything back when the last block it handed out is freed.
void xml_arena_install();
// Blocks handed out and not yet freed (for tests).
size_t xml_arena_live();
