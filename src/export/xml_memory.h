// The XML parser's memory: a bump arena of huge-page blocks, since a report's
// parsed tree is touched once and densely and small pages would make page
// faults and TLB misses cost more than the parse itself.
#pragma once

#include <cstddef>

// Makes the XML parser take its memory from the arena. The parser's allocator
// is process-wide by the library's design; the arena gives everything back
// when the last block it handed out is freed.
void xml_arena_install();
// Blocks handed out and not yet freed (for tests).
size_t xml_arena_live();
