// Tests of node types, the node index, nodes and the driver list.
#include "model/tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/model_access.h"

namespace {

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_init(); }
  void TearDown() override { tree_free(); }
};

TEST(NodeTypes, DisplayNamesAndClassifications) {
  EXPECT_STREQ("# ", type_display_name(14));
  EXPECT_STREQ("Observation State", type_display_name(31));
  EXPECT_STREQ("Prologue", type_display_name(1));
  for (int bad : {0, 32, -1, 1000}) {
    EXPECT_STREQ("??", type_display_name(bad));
    EXPECT_FALSE(type_is_check(bad));
    EXPECT_FALSE(type_is_section(bad));
  }
  const int checks[] = {3, 6, 9, 10, 11, 12, 16, 18, 21, 25, 28, 31};
  const int sections[] = {15, 17, 23, 26, 27, 29};
  int check_count = 0, section_count = 0;
  for (int t = 1; t <= 31; ++t) {
    EXPECT_FALSE(type_is_check(t) && type_is_section(t)) << t;
    check_count += type_is_check(t);
    section_count += type_is_section(t);
  }
  EXPECT_EQ(12, check_count);
  EXPECT_EQ(6, section_count);
  for (int t : checks) EXPECT_TRUE(type_is_check(t)) << t;
  for (int t : sections) EXPECT_TRUE(type_is_section(t)) << t;
  EXPECT_STREQ("SB", type_code(23));
  EXPECT_STREQ("OS", type_code(31));
}

TEST(NodeHash, KeyTextsAndBuckets) {
  struct Case {
    int32_t file;
    uint32_t line;
    const char* key;
    int bucket;
  } cases[] = {
      {0, 0xa, "0/ah", 73},
      {0, 0x1a, "0/1ah", 33},
      {1, 0x100, "1/100h", 85},
      {-1, 5, "-1/5h", 46},
      {2, 0x1234abcd, "2/1234abcdh", 27},
      {INT32_MIN, 0xffffffffu, "-2147483648/ffffffffh", 30},
  };
  for (const Case& c : cases) {
    const int32_t line = static_cast<int32_t>(c.line);
    EXPECT_EQ(c.key, node_key_text(c.file, line));
    EXPECT_EQ(c.bucket, node_hash(c.file, line)) << c.key;
  }
  EXPECT_EQ(21u, node_key_text(INT32_MIN, -1).size());
}

TEST_F(ModelTest, NodesAreCreatedWithTheirTypeDefaults) {
  TraceNode* check = node_create(TYPE_CHECK_EXPRESSION, 0, 12, "x == 1", nullptr, 42);
  ASSERT_NE(nullptr, check->stats);
  EXPECT_EQ(STATUS_NOT_EXECUTED, check->status);
  EXPECT_EQ(0, check->stats->executed + check->stats->passed + check->stats->failed +
                   check->stats->entered);
  TraceNode* tc = node_create(TYPE_TEST_CASE, 0, 10, "Case", nullptr, 0);
  EXPECT_EQ(nullptr, tc->stats);
  EXPECT_EQ(STATUS_PASSED, tc->status);
  // The model keeps its own copy of the text.
  std::string text = "mutable";
  TraceNode* n = node_create(TYPE_COMMENT, 0, 1, text.c_str(), nullptr, 0);
  text[0] = 'X';
  EXPECT_STREQ("mutable", n->text);
}

TEST_F(ModelTest, DuplicateKeysAreKeptButNotIndexed) {
  driver_open(0, 1, "Demo");
  node_add_child(0, TYPE_TEST_CASE, 5, "first", 1, 0);
  node_add_child(0, TYPE_TEST_CASE, 5, "second", 1, 0);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 7, "under", 5, 0);
  TraceNode* root = driver_root_at(0);
  ASSERT_NE(nullptr, root->first_child);
  EXPECT_STREQ("first", root->first_child->text);
  EXPECT_STREQ("second", root->first_child->next->text);
  EXPECT_EQ(root->first_child, node_find(0, 5));
  // Later nodes naming line 5 as parent go under the first.
  EXPECT_STREQ("under", root->first_child->first_child->text);
  EXPECT_EQ(nullptr, root->first_child->next->first_child);
}

TEST_F(ModelTest, KeysBelongToTheirDriverAndUnknownParentsCreateNothing) {
  driver_open(0, 1, "A");
  driver_open(1, 1, "B");
  node_add_child(0, TYPE_TEST_CASE, 5, "a5", 1, 0);
  node_add_child(1, TYPE_TEST_CASE, 5, "b5", 1, 0);
  EXPECT_STREQ("a5", node_find(0, 5)->text);
  EXPECT_STREQ("b5", node_find(1, 5)->text);
  EXPECT_EQ(nullptr, node_find(-1, 5));
  node_add_child(0, TYPE_TEST_CASE, 9, "orphan", 0x77, 0);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 10, "orphan child", 9, 0);
  EXPECT_EQ(nullptr, node_find(0, 9));
  EXPECT_EQ(nullptr, node_find(0, 10));
}

TEST_F(ModelTest, ManyNodesStayFindable) {
  driver_open(0, 1, "Big");
  for (int32_t line = 2; line < 200000; ++line) {
    node_add_child(0, TYPE_CHECK_EXPRESSION, line, "c", 1, line);
  }
  for (int32_t line = 2; line < 200000; line += 997) {
    TraceNode* n = node_find(0, line);
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(line, n->value);
  }
  EXPECT_EQ(nullptr, node_find(0, 200000));
  EXPECT_EQ(nullptr, node_find(1, 2));
  // The children stay in order and the last one is known, well past the node
  // pool's first chunks.
  TraceNode* root = node_find(0, 1);
  int32_t expected = 2;
  for (TraceNode* c = root->first_child; c; c = c->next) ASSERT_EQ(expected++, c->line);
  EXPECT_EQ(200000, expected);
  EXPECT_EQ(node_find(0, 199999), root->last_child);
  EXPECT_EQ(nullptr, node_find(0, 5)->last_child);
}

TEST_F(ModelTest, IndexTakesAnyKeyOnceWhateverItsRange) {
  // Dense lines, sparse and huge lines, negative files and lines, random keys:
  // every first key is found, every repeat refused, absent keys not found.
  std::mt19937 rng(5);
  std::map<std::pair<int32_t, int32_t>, TraceNode*> plain;
  auto random_key = [&rng]() -> std::pair<int32_t, int32_t> {
    switch (rng() % 4) {
      case 0:
        return {static_cast<int32_t>(rng() % 4), static_cast<int32_t>(rng() % 300)};
      case 1:
        return {static_cast<int32_t>(rng() % 4), static_cast<int32_t>(rng())};
      case 2:
        return {static_cast<int32_t>(rng()), static_cast<int32_t>(rng() % 50)};
      default:
        return {-static_cast<int32_t>(rng() % 3) - 1, static_cast<int32_t>(rng() % 100) - 50};
    }
  };
  for (int i = 0; i < 20000; ++i) {
    const auto key = random_key();
    TraceNode* n = node_create(TYPE_COMMENT, key.first, key.second, "k", nullptr, i);
    node_index_add(n);
    plain.emplace(key, n);  // keeps the first node of a key
  }
  for (int i = 0; i < 20000; ++i) {
    const auto key = random_key();
    auto it = plain.find(key);
    ASSERT_EQ(it == plain.end() ? nullptr : it->second, node_find(key.first, key.second));
  }
  for (const auto& entry : plain) {
    ASSERT_EQ(entry.second, node_find(entry.first.first, entry.first.second));
  }
}

// The tables once hashed keys with a fixed, invertible function, so keys could
// be chosen to land in one probe run: 200,000 of them took about a minute.
uint64_t inverse_of_fixed_hash(uint64_t y) {
  auto inverse_of = [](uint64_t c) {  // multiplicative inverse modulo 2^64
    uint64_t x = c;
    for (int i = 0; i < 6; ++i) x *= 2 - c * x;
    return x;
  };
  y ^= y >> 33;
  y *= inverse_of(0xc4ceb9fe1a85ec53ULL);
  y ^= y >> 33;
  y *= inverse_of(0xff51afd7ed558ccdULL);
  y ^= y >> 33;
  return y;
}

TEST_F(ModelTest, KeysChosenToCollideStayCheap) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::pair<int32_t, int32_t>> keys;
  for (uint64_t k = 1; k <= 200000; ++k) {
    // Every key's old hash ends in 20 zero bits: one slot in any table up to 2^20.
    const uint64_t x = inverse_of_fixed_hash(k << 20);
    keys.emplace_back(static_cast<int32_t>(x >> 32), static_cast<int32_t>(x));
    node_index_add(
        node_create(TYPE_COMMENT, keys.back().first, keys.back().second, "k", nullptr, 0));
  }
  for (const auto& key : keys) ASSERT_NE(nullptr, node_find(key.first, key.second));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0) << "probe runs grow with the number of keys";
}

TEST_F(ModelTest, DriversAreListedNewestFirst) {
  driver_open(0, 1, "zero");
  driver_open(1, 1, "one");
  driver_open(2, 1, "two");
  EXPECT_EQ(3, driver_count());
  EXPECT_STREQ("two", driver_root_at(0)->text);
  EXPECT_STREQ("zero", driver_root_at(2)->text);
  EXPECT_EQ(nullptr, driver_root_at(3));
  EXPECT_EQ(nullptr, driver_root_at(-1));
  EXPECT_EQ(TYPE_TEST_DRIVER, driver_root_at(0)->type);
  EXPECT_EQ(driver_root_at(1), node_find(1, 1));
}

TEST_F(ModelTest, TitlesJoinPrefixAndSource) {
  std::string title = "stale";
  EXPECT_FALSE(driver_title_by_number(0, &title));
  driver_open(0, 1, "D");
  ASSERT_TRUE(driver_title_by_number(0, &title));
  EXPECT_EQ("", title);
  driver_set_names(0, nullptr, "Calc.java");
  ASSERT_TRUE(driver_title_by_number(0, &title));
  EXPECT_EQ("Calc.java", title);
  driver_set_names(0, "src/", nullptr);
  ASSERT_TRUE(driver_title_by_number(0, &title));
  EXPECT_EQ("src/Calc.java", title);
  driver_set_names(7, "x", "y");  // no such driver: nothing happens
  EXPECT_FALSE(driver_title_by_number(7, &title));
}

TEST_F(ModelTest, RunsBindThroughCopiesOfTheDriver) {
  driver_open(0, 1, "D0");
  driver_set_names(0, nullptr, "D0.java");
  driver_set_sigs(0, 1, 2);
  driver_open(1, 1, "D1");
  driver_set_sigs(1, 3, 4);
  EXPECT_EQ(1, driver_by_run(0));  // newest unbound entry
  driver_bind_run(5, 1, 2);
  EXPECT_EQ(0, driver_by_run(5));
  driver_bind_run(7, 1, 2);  // already bound: a copy takes run 7
  EXPECT_EQ(0, driver_by_run(7));
  EXPECT_EQ(0, driver_by_run(5));
  EXPECT_EQ(2, driver_count());
  EXPECT_EQ(nullptr, driver_list_head()->root);
  EXPECT_EQ(7u, driver_list_head()->run_id);
  std::string title;
  ASSERT_TRUE(driver_title_by_number(0, &title));
  EXPECT_EQ("D0.java", title);
  driver_bind_run(9, 9, 9);  // no such words
  EXPECT_EQ(-1, driver_by_run(9));
  EXPECT_EQ(-1, driver_by_run(6));
  driver_bind_run(8, 3, 4);
  EXPECT_EQ(1, driver_by_run(8));
  EXPECT_EQ(-1, driver_by_run(0));  // every entry is bound now
}

TEST_F(ModelTest, RebindingARunNumberFindsTheNewestEntry) {
  driver_open(0, 1, "A");
  driver_set_sigs(0, 1, 1);
  driver_open(1, 1, "B");
  driver_set_sigs(1, 2, 2);
  driver_bind_run(5, 2, 2);  // run 5 -> driver 1
  driver_bind_run(5, 1, 1);  // driver 0 (older entry) also takes run 5
  // The newest entry with run 5 is driver 1's, as a head-first search finds.
  EXPECT_EQ(1, driver_by_run(5));
  driver_bind_run(5, 1, 1);  // a copy of driver 0, now the newest
  EXPECT_EQ(0, driver_by_run(5));
}

TEST_F(ModelTest, SigsAndNamesGoToTheNewestEntryWithTheNumber) {
  driver_open(0, 1, "first");
  driver_open(0, 2, "second");  // same number, opened later
  driver_set_sigs(0, 4, 4);
  driver_bind_run(3, 4, 4);
  EXPECT_EQ(0, driver_by_run(3));
  EXPECT_EQ(2, driver_count());
  EXPECT_EQ(4u, driver_list_head()->sig1);
  driver_set_sigs(0, 6, 6);  // moves the words: 4/4 binds nothing any more
  driver_bind_run(11, 4, 4);
  EXPECT_EQ(-1, driver_by_run(11));
}

TEST_F(ModelTest, FreeEmptiesTheModel) {
  driver_open(0, 1, "D");
  node_add_child(0, TYPE_TEST_CASE, 2, "T", 1, 0);
  tree_free();
  EXPECT_EQ(0, driver_count());
  EXPECT_EQ(nullptr, node_find(0, 1));
  EXPECT_EQ(nullptr, node_find(0, 2));
  EXPECT_EQ(-1, driver_by_run(0));
}

}  // namespace
