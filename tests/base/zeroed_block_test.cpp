// Tests of the base's zero-filled memory: the bump arena and growing arrays.
#include "base/zeroed_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Pieces of every size come zeroed, aligned, apart from each other, and a
// piece larger than the blocks gets one of its own.
TEST(Arena, PiecesAreZeroedAlignedAndDisjoint) {
  Arena arena(64, 4096);
  std::vector<std::pair<unsigned char*, size_t>> pieces;
  for (size_t size :
       {size_t{1}, size_t{3}, size_t{64}, size_t{100}, size_t{5000}, size_t{1} << 20, size_t{7}}) {
    for (size_t align : {size_t{1}, size_t{8}, size_t{64}}) {
      auto* p = static_cast<unsigned char*>(arena.take(size, align));
      ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % align);
      for (size_t k = 0; k < size; ++k) ASSERT_EQ(0, p[k]) << size;
      std::memset(p, 0xAB, size);
      pieces.emplace_back(p, size);
    }
  }
  for (const auto& piece : pieces) {
    for (size_t k = 0; k < piece.second; ++k) ASSERT_EQ(0xAB, piece.first[k]);
  }
  arena.clear();
  EXPECT_TRUE(arena.empty());
}

// With room for a fixed number of blocks, a try that needs one more fails
// instead of growing the list.
TEST(Arena, BlockLimitRefusesQuietly) {
  Arena arena(4096, 4096, 2);
  EXPECT_NE(nullptr, arena.try_take(4000));
  EXPECT_NE(nullptr, arena.try_take(4000));
  EXPECT_EQ(nullptr, arena.try_take(4000));
}

// An index array grows from the heap into a mapping and then is moved by the
// kernel: every step must keep what was written and add only zeros.
TEST(ZeroedArray, GrowingKeepsContentsAndAddsZeros) {
  ZeroedArray<uint32_t> lines;
  size_t written = 0;
  for (size_t count : {size_t{0}, size_t{64}, size_t{50000}, size_t{70000}, size_t{600000},
                       size_t{600001}, size_t{3000000}}) {
    lines.grow(count);
    ASSERT_EQ(count, lines.size());
    for (size_t i = 0; i < written; ++i) ASSERT_EQ(static_cast<uint32_t>(i * 7 + 1), lines[i]) << i;
    for (size_t i = written; i < count; ++i) {
      ASSERT_EQ(0u, lines[i]) << "not zero at " << i << " of " << count;
      lines[i] = static_cast<uint32_t>(i * 7 + 1);
    }
    written = count;
  }
  lines.grow(10);  // never shrinks
  EXPECT_EQ(3000000u, lines.size());
  EXPECT_EQ(uint32_t{2999999 * 7 + 1}, lines[2999999]);
}

}  // namespace
