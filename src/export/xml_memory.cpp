// The bump arena of the XML parser, over the base's huge-page blocks.
#include "export/xml_memory.h"

#include <pugixml.hpp>

#include "base/zeroed_block.h"

namespace {

// Blocks are filled front to back and all released together once every piece
// has been freed (the document was destroyed). The block list has fixed room
// (far more than any machine's memory in blocks): growing it could throw from
// inside the parser, which takes a null pointer as its one sign of refused memory.
constexpr size_t kBlock = size_t{64} << 20;
Arena arena(kBlock, kBlock, 4096);
size_t live = 0;

void* arena_allocate(size_t size) noexcept {
  void* p = arena.try_take(size == 0 ? 1 : size, 64);
  if (p) ++live;
  return p;
}

void arena_deallocate(void* p) noexcept {
  if (p == nullptr || live == 0) return;
  if (--live == 0) arena.clear();
}

}  // namespace

void xml_arena_install() {
  pugi::set_memory_management_functions(arena_allocate, arena_deallocate);
}

size_t xml_arena_live() {
  return live;
}
