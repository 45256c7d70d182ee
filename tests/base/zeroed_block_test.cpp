// Tests of the arenas' object pool (numbers that find every object again, across
// the chunks that double and the fixed-size chunks after them) and growing arrays.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/zeroed_block.h"

namespace {

struct Small {
  uint64_t number;
};
struct Node72 {
  uint64_t words[9];
};
struct Big {
  uint64_t number;
  char pad[4088];
};

// Makes `count` objects and checks that every number leads back to the object
// made as that number, still holding what was written into it.
template <class T>
void check_numbers(size_t count) {
  ZeroedPool<T> pool;
  std::vector<T*> made;
  for (size_t i = 0; i < count; ++i) {
    T* p = pool.make();
    ASSERT_EQ(0u, reinterpret_cast<const uint64_t*>(p)[0]) << "not zeroed at " << i;
    reinterpret_cast<uint64_t*>(p)[0] = i;
    made.push_back(p);
  }
  ASSERT_EQ(count, pool.size());
  for (size_t i = 0; i < count; ++i) {
    ASSERT_EQ(made[i], pool.at(i)) << i;
    ASSERT_EQ(i, reinterpret_cast<const uint64_t*>(pool.at(i))[0]) << i;
  }
}

TEST(ZeroedPool, NumbersFindEveryObjectAcrossAllChunkSizes) {
  // Each size goes through its doubling chunks and several 4 MiB ones:
  // 1,024 objects of 4 KiB fill one, 58,254 of 72 bytes (the node record) and
  // 524,288 of 8 bytes.
  check_numbers<Big>(9000);
  check_numbers<Node72>(200000);
  check_numbers<Small>(1200000);
}

TEST(ZeroedPool, AnEmptyPoolHasNoObjects) {
  ZeroedPool<Small> pool;
  EXPECT_EQ(0u, pool.size());
  pool.make();
  EXPECT_EQ(1u, pool.size());
  EXPECT_EQ(pool.at(0), pool.at(0));
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
