// Compares the model's fast paths with the plain algorithms they replace on
// small random inputs: the linear spread pass, the first-equal-child lookup and
// the driver lookups by run, words and number.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/rollup.h"
#include "model/tree.h"
#include "support/model_access.h"

namespace {

const int kTypes[] = {TYPE_TEST_SUITE,       TYPE_TEST_CASE, TYPE_TEST_CLASS, TYPE_STUB,
                      TYPE_CHECK_EXPRESSION, TYPE_PRINT,     TYPE_COMMENT};

void collect(TraceNode* n, void* ctx) {
  static_cast<std::vector<TraceNode*>*>(ctx)->push_back(n);
}

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
        case 0: {
          // As the TDF reader does: only indexed nodes change type, never into a check.
          TraceNode* n = nodes[rng() % nodes.size()];
          if (node_find(n->file, n->line) == n) {
            node_set_type(n, rng() % 2 ? TYPE_STUB : TYPE_TEST_CASE);
          }
          break;
        }
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

// The driver list as a plain newest-first list searched from its head.
struct PlainEntry {
  int32_t number;
  uint32_t run, sig1, sig2;
  std::string source;
};

PlainEntry* plain_newest(std::vector<PlainEntry>& list,
                         bool (*match)(const PlainEntry&, uint32_t, uint32_t), uint32_t a,
                         uint32_t b) {
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (match(*it, a, b)) return &*it;
  }
  return nullptr;
}

bool by_number(const PlainEntry& e, uint32_t number, uint32_t) {
  return e.number == static_cast<int32_t>(number);
}
bool by_words(const PlainEntry& e, uint32_t s1, uint32_t s2) {
  return e.sig1 == s1 && e.sig2 == s2;
}
bool by_run(const PlainEntry& e, uint32_t run, uint32_t) {
  return e.run == run;
}

TEST(Equivalence, DriverLookupsMatchTheNewestFirstList) {
  std::mt19937 rng(13);
  for (int round = 0; round < 40; ++round) {
    tree_init();
    std::vector<PlainEntry> plain;  // oldest first
    // Enough runs that the run table grows several times.
    const uint32_t runs = 8 + static_cast<uint32_t>(rng() % 400);
    for (int step = 0; step < 1500; ++step) {
      const int32_t number = static_cast<int32_t>(rng() % 5);
      const uint32_t s1 = rng() % 3, s2 = rng() % 2;
      switch (rng() % 8) {
        case 0: {
          driver_open(number, 1, "d");
          const std::string source = "S" + std::to_string(step);
          driver_set_names(number, nullptr, source.c_str());
          plain.push_back({number, 0, 0, 0, source});
          break;
        }
        case 1:
          driver_set_sigs(number, s1, s2);
          if (PlainEntry* e = plain_newest(plain, by_number, number, 0)) {
            e->sig1 = s1;
            e->sig2 = s2;
          }
          break;
        default: {
          const uint32_t run = rng() % 16 == 0 ? 0 : rng() % runs + 1;
          driver_bind_run(run, s1, s2);
          PlainEntry* e = plain_newest(plain, by_words, s1, s2);
          if (e == nullptr) break;
          if (e->run == 0) {
            e->run = run;
          } else {
            PlainEntry copy = *e;
            copy.run = run;
            plain.push_back(copy);
          }
        }
      }
      const uint32_t run = rng() % 4 == 0 ? 0 : rng() % runs + 1;
      const PlainEntry* want = plain_newest(plain, by_run, run, 0);
      ASSERT_EQ(want ? want->number : -1, driver_by_run(run))
          << "round " << round << " step " << step;
    }
    for (uint32_t run = 0; run <= runs; ++run) {
      const PlainEntry* want = plain_newest(plain, by_run, run, 0);
      ASSERT_EQ(want ? want->number : -1, driver_by_run(run))
          << "round " << round << " run " << run;
    }
    for (int32_t number = 0; number < 5; ++number) {
      const PlainEntry* want = plain_newest(plain, by_number, static_cast<uint32_t>(number), 0);
      std::string title;
      ASSERT_EQ(want != nullptr, driver_title_by_number(number, &title));
      if (want) {
        EXPECT_EQ(want->source, title);
      }
    }
    size_t listed = 0;
    for (const DriverEntry* e = driver_list_head(); e; e = e->next) ++listed;
    EXPECT_EQ(plain.size(), listed);
    tree_free();
  }
}

}  // namespace
