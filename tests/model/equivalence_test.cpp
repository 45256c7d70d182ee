// Compares the model's fast paths with the plain algorithms they replace on
// small random trees: the linear spread pass and the first-equal-child lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "model/rollup.h"
#include "model/tree.h"

namespace {

const int kTypes[] = {TYPE_TEST_SUITE, TYPE_TEST_CASE, TYPE_TEST_CLASS, TYPE_STUB,
                      TYPE_CHECK_EXPRESSION, TYPE_PRINT, TYPE_COMMENT};

void collect(TraceNode* n, void* ctx) { static_cast<std::vector<TraceNode*>*>(ctx)->push_back(n); }

// A random driver tree; some lines are 0 and some keys repeat.
std::vector<TraceNode*> build_random_tree(std::mt19937& rng, int size) {
  driver_open(0, rng() % 4 ? 1 : 0, "root");
  std::vector<int32_t> lines{driver_root_at(0)->line};
  for (int i = 0; i < size; ++i) {
    // Half the nodes go under a few parents, so both small and large families occur.
    int32_t parent = lines[rng() % (rng() % 2 ? std::min<size_t>(lines.size(), 4) : lines.size())];
    int32_t line = rng() % 8 == 0 ? 0 : static_cast<int32_t>(rng() % (size * 2) + 2);
    int type = kTypes[rng() % 7];
    const char* text = rng() % 2 ? "a" : "b";
    node_add_child(0, type, line, text, parent, static_cast<int32_t>(rng() % 3));
    lines.push_back(line);
  }
  std::vector<TraceNode*> nodes;
  tree_walk(driver_root_at(0), collect, &nodes);
  return nodes;
}

std::vector<int> statuses(const std::vector<TraceNode*>& nodes) {
  std::vector<int> out;
  for (TraceNode* n : nodes) out.push_back(n->status);
  return out;
}

TEST(Equivalence, LinearSpreadMatchesThePlainPass) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    tree_init();
    std::vector<TraceNode*> nodes = build_random_tree(rng, 5 + round % 60);
    for (int k = 0; k < 20; ++k) {
      node_record_outcome(nodes[rng() % nodes.size()], static_cast<int>(rng() % 6));
    }
    tree_walk(driver_root_at(0), rollup_count_pass, nullptr);
    tree_walk(driver_root_at(0), rollup_clear_pass, nullptr);
    const std::vector<int> before = statuses(nodes);
    rollup_spread_tree(driver_root_at(0));
    const std::vector<int> fast = statuses(nodes);
    for (size_t i = 0; i < nodes.size(); ++i) nodes[i]->status = before[i];
    tree_walk(driver_root_at(0), rollup_spread_pass, nullptr);
    ASSERT_EQ(statuses(nodes), fast) << "round " << round;
    tree_free();
  }
}

TraceNode* plain_find_child(TraceNode* parent, const TraceNode* model) {
  for (TraceNode* c = parent->first_child; c; c = c->next) {
    if (node_equal(c, model)) return c;
  }
  return nullptr;
}

TEST(Equivalence, FindChildMatchesTheChildScan) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    tree_init();
    std::vector<TraceNode*> nodes = build_random_tree(rng, 10 + round % 80);
    for (int step = 0; step < 200; ++step) {
      TraceNode* parent = nodes[rng() % nodes.size()];
      TraceNode* model = nodes[rng() % nodes.size()];
      switch (rng() % 4) {
        case 0:
          node_set_type(nodes[rng() % nodes.size()], rng() % 2 ? TYPE_STUB : TYPE_TEST_CASE);
          break;
        case 1:
          if (!plain_find_child(parent, model)) nodes.push_back(node_clone_child(parent, model));
          break;
        default:
          ASSERT_EQ(plain_find_child(parent, model), node_find_child(parent, model))
              << "round " << round << " step " << step;
      }
    }
    tree_free();
  }
}

}  // namespace
