// Tests of the open-addressing table the model and the readers share.
#include "base/flat_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>

namespace {

// The table against a plain map, through many growths, with keys whose
// plain values all share their low bits.
TEST(FlatMap, FindsWhatWasInsertedAcrossGrowth) {
  FlatMap<uint64_t, uint32_t, WordHash> table;
  std::map<uint64_t, uint32_t> plain;
  for (uint32_t i = 1; i <= 100000; ++i) {
    const uint64_t key = uint64_t{i % 40000} << 20;
    bool added = false;
    uint32_t& value = table.insert(key, &added);
    ASSERT_EQ(added, plain.count(key) == 0) << i;
    if (added) value = i;
    plain.emplace(key, i);
  }
  EXPECT_EQ(plain.size(), table.size());
  for (const auto& entry : plain) ASSERT_EQ(entry.second, *table.find(entry.first));
  EXPECT_EQ(nullptr, table.find(uint64_t{40001} << 20));
}

}  // namespace
