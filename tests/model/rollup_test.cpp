// Tests of walks, sibling matching, outcome recording, status merging and the roll-up.
#include "model/rollup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/tree.h"

namespace {

class RollupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_init();
    driver_open(0, 1, "Driver");
  }
  void TearDown() override { tree_free(); }
  TraceNode* root() { return driver_root_at(0); }
  TraceNode* add(int type, int32_t line, int32_t parent_line, const char* text = "t",
                 int32_t value = 0) {
    node_add_child(0, type, line, text, parent_line, value);
    return node_find(0, line);
  }
};

void record_text(TraceNode* n, void* ctx) {
  static_cast<std::vector<std::string>*>(ctx)->push_back(n->text);
}

TEST_F(RollupTest, WalkVisitsChildrenBeforeParentsAndSiblingsInOrder) {
  add(TYPE_TEST_SUITE, 2, 1, "A");
  add(TYPE_TEST_CASE, 3, 2, "A1");
  add(TYPE_TEST_CASE, 4, 2, "A2");
  add(TYPE_TEST_SUITE, 5, 1, "B");
  std::vector<std::string> seen;
  tree_walk(root(), record_text, &seen);
  EXPECT_EQ((std::vector<std::string>{"A1", "A2", "A", "B", "Driver"}), seen);
  // Started on a child, the walk covers it and its later siblings only.
  seen.clear();
  tree_walk(node_find(0, 3), record_text, &seen);
  EXPECT_EQ((std::vector<std::string>{"A1", "A2"}), seen);
  seen.clear();
  node_for_each_child(node_find(0, 2), record_text, &seen);
  EXPECT_EQ((std::vector<std::string>{"A1", "A2"}), seen);
}

TEST(StatusMerge, WholeTable) {
  const int expected[5][5] = {
      {0, 0, 2, 0, 0}, {0, 1, 2, 3, 1}, {2, 2, 2, 2, 2}, {0, 3, 2, 3, 3}, {0, 1, 2, 3, 4},
  };
  for (int a = 0; a < 5; ++a) {
    for (int b = 0; b < 5; ++b) EXPECT_EQ(expected[a][b], status_merge(a, b)) << a << "," << b;
  }
}

TEST_F(RollupTest, RecordingCountsOnTheOwningCheck) {
  TraceNode* tc = add(TYPE_TEST_CASE, 2, 1);
  TraceNode* check = add(TYPE_CHECK_EXPRESSION, 3, 2);
  tc->status = STATUS_FAILED;
  node_record_outcome(check, OUTCOME_FAILED);
  EXPECT_EQ(STATUS_EXECUTED, check->status);  // a check's verdict waits for the roll-up
  EXPECT_EQ(STATUS_EXECUTED, tc->status);     // even a failed parent is reset
  EXPECT_EQ(1, check->stats->failed);
  node_record_outcome(check, 0);
  node_record_outcome(check, 4);
  EXPECT_EQ(1, check->stats->failed + check->stats->passed + check->stats->executed +
                   check->stats->entered);
  node_record_outcome(nullptr, OUTCOME_PASSED);  // nothing happens
  // A non-check below a check counts on the check.
  TraceNode* comment = node_create(TYPE_COMMENT, 0, 9, "c", check, 0);
  node_record_outcome(comment, OUTCOME_PASSED);
  EXPECT_EQ(1, check->stats->passed);
}

TEST_F(RollupTest, FailedOutcomeOnATestCaseWithoutCheckAncestor) {
  TraceNode* suite = add(TYPE_TEST_SUITE, 2, 1);
  TraceNode* tc = add(TYPE_TEST_CASE, 3, 2);
  node_record_outcome(tc, OUTCOME_FAILED);
  EXPECT_EQ(STATUS_FAILED, tc->status);
  EXPECT_EQ(STATUS_EXECUTED, suite->status);
  tree_rollup();
  EXPECT_EQ(STATUS_FAILED, tc->status);
  EXPECT_EQ(STATUS_FAILED, suite->status);
  EXPECT_EQ(STATUS_FAILED, root()->status);
}

struct CheckCase {
  std::vector<int> outcomes;
  int status, executed, passed, failed, entered;
};

TEST_F(RollupTest, CheckVerdictsFromTheirCounts) {
  const CheckCase cases[] = {
      {{OUTCOME_PASSED}, STATUS_PASSED, 1, 1, 0, 0},
      {{OUTCOME_EXECUTED, OUTCOME_EXECUTED}, STATUS_PASSED, 2, 0, 0, 0},
      {{OUTCOME_PASSED, OUTCOME_PASSED, OUTCOME_FAILED}, STATUS_FAILED, 3, 2, 1, 0},
      {{OUTCOME_ENTERED}, STATUS_EXECUTED, 0, 0, 0, 1},
      {{}, STATUS_NOT_EXECUTED, 0, 0, 0, 0},
      {{0}, STATUS_EXECUTED, 0, 0, 0, 0},
  };
  int32_t line = 10;
  add(TYPE_TEST_CASE, 2, 1);
  std::vector<TraceNode*> checks;
  for (const CheckCase& c : cases) {
    TraceNode* n = add(TYPE_CHECK_EXPRESSION, line++, 2);
    for (int o : c.outcomes) node_record_outcome(n, o);
    checks.push_back(n);
  }
  tree_rollup();
  for (size_t i = 0; i < checks.size(); ++i) {
    const CheckCase& c = cases[i];
    const TraceNode* n = checks[i];
    EXPECT_EQ(c.status, n->status) << i;
    EXPECT_EQ(c.executed, n->stats->executed) << i;
    EXPECT_EQ(c.passed, n->stats->passed) << i;
    EXPECT_EQ(c.failed, n->stats->failed) << i;
    EXPECT_EQ(c.entered, n->stats->entered) << i;
  }
}

TEST_F(RollupTest, TestCaseLineDecidesWhetherUnreachedChecksCount) {
  TraceNode* tc = add(TYPE_TEST_CASE, 2, 1);
  node_record_outcome(add(TYPE_CHECK_EXPRESSION, 3, 2), OUTCOME_PASSED);
  add(TYPE_CHECK_EXPRESSION, 4, 2);  // never reached
  TraceNode* tc0 = add(TYPE_TEST_CASE, 0, 1);
  node_record_outcome(add(TYPE_CHECK_EXPRESSION, 5, 0), OUTCOME_PASSED);
  add(TYPE_CHECK_EXPRESSION, 6, 0);
  tree_rollup();
  EXPECT_EQ(STATUS_PASSED, tc->status);
  EXPECT_EQ(STATUS_NOT_EXECUTED, tc0->status);
  EXPECT_EQ(STATUS_PASSED, root()->status);  // root line 1: spread only
}

TEST_F(RollupTest, FailuresReachSuiteAndRoot) {
  TraceNode* suite = add(TYPE_TEST_SUITE, 2, 1);
  TraceNode* tc = add(TYPE_TEST_CASE, 3, 2);
  node_record_outcome(add(TYPE_CHECK_EXPRESSION, 4, 3), OUTCOME_PASSED);
  node_record_outcome(add(TYPE_CHECK_EXPRESSION, 5, 3), OUTCOME_FAILED);
  TraceNode* quiet = add(TYPE_TEST_CASE, 6, 2);
  tree_rollup();
  EXPECT_EQ(STATUS_FAILED, tc->status);
  EXPECT_EQ(STATUS_FAILED, suite->status);
  EXPECT_EQ(STATUS_FAILED, root()->status);
  EXPECT_EQ(STATUS_NO_RESULT, quiet->status);
}

TEST_F(RollupTest, DriverWithNothingReachedHasNoResult) {
  add(TYPE_TEST_CASE, 2, 1);
  add(TYPE_CHECK_EXPRESSION, 3, 2);
  tree_rollup();
  EXPECT_EQ(STATUS_NO_RESULT, root()->status);
}

TEST_F(RollupTest, CountsAddUpAlongChainsOfChecks) {
  add(TYPE_TEST_CASE, 2, 1);
  TraceNode* outer = add(TYPE_CHECK_EXPRESSION, 3, 2);
  TraceNode* inner = add(TYPE_CHECK_EXPRESSION, 4, 3);
  TraceNode* leaf = add(TYPE_CHECK_EXPRESSION, 5, 4);
  node_record_outcome(outer, OUTCOME_EXECUTED);  // dropped: outer has a check child
  node_record_outcome(leaf, OUTCOME_PASSED);
  node_record_outcome(inner, OUTCOME_FAILED);
  tree_rollup();
  EXPECT_EQ(1, inner->stats->passed);
  EXPECT_EQ(1, inner->stats->failed);
  EXPECT_EQ(2, outer->stats->executed);
  // A check with check children takes its verdict from them, not its own counts.
  EXPECT_EQ(STATUS_PASSED, inner->status);
  EXPECT_EQ(STATUS_PASSED, outer->status);
}

// A failure count that wrapped past 2^31 - 1 turned negative and the check
// was reported passed.
TEST_F(RollupTest, CountersStopAtTheLargestCount) {
  add(TYPE_TEST_CASE, 2, 1);
  TraceNode* outer = add(TYPE_CHECK_EXPRESSION, 3, 2);
  TraceNode* a = add(TYPE_CHECK_EXPRESSION, 4, 3);
  TraceNode* b = add(TYPE_CHECK_EXPRESSION, 5, 3);
  a->stats->failed = INT32_MAX - 1;
  b->stats->passed = INT32_MAX;
  for (int i = 0; i < 2; ++i) {
    node_record_outcome(a, OUTCOME_FAILED);
    node_record_outcome(b, OUTCOME_PASSED);
  }
  tree_rollup();
  EXPECT_EQ(INT32_MAX, a->stats->failed);
  EXPECT_EQ(INT32_MAX, a->stats->executed);
  EXPECT_EQ(STATUS_FAILED, a->status);
  EXPECT_EQ(INT32_MAX, outer->stats->passed);
  EXPECT_EQ(INT32_MAX, outer->stats->failed);
  EXPECT_EQ(INT32_MAX, outer->stats->executed);
  EXPECT_EQ(STATUS_FAILED, outer->status);
}

TEST_F(RollupTest, FindChildAndCloneMatchWholeNodes) {
  TraceNode* tc = add(TYPE_TEST_CASE, 2, 1);
  TraceNode* check = add(TYPE_CHECK_EXPRESSION, 3, 2, "x == 1", 12);
  TraceNode* other = add(TYPE_TEST_CASE, 4, 1);
  EXPECT_EQ(check, node_find_child(tc, check));
  EXPECT_EQ(nullptr, node_find_child(other, check));
  EXPECT_EQ(nullptr, node_find_child(nullptr, check));
  EXPECT_EQ(nullptr, node_find_child(tc, nullptr));
  TraceNode* copy = node_clone_child(other, check);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(other->last_child, copy);
  EXPECT_TRUE(node_equal(copy, check));
  EXPECT_EQ(check, node_find(0, 3));  // the copy is not indexed
  EXPECT_EQ(copy, node_find_child(other, check));
  // A node differing only in value or one character of text is another node.
  TraceNode* other_value = node_create(TYPE_CHECK_EXPRESSION, 0, 3, "x == 1", tc, 13);
  EXPECT_EQ(nullptr, node_find_child(tc, other_value));
  TraceNode* other_text = node_create(TYPE_CHECK_EXPRESSION, 0, 3, "x == 2", tc, 12);
  EXPECT_FALSE(node_equal(other_text, check));
  EXPECT_EQ(nullptr, node_find_child(tc, other_text));
  TraceNode* same = node_create(TYPE_CHECK_EXPRESSION, 0, 3, "x == 1", other, 12);
  EXPECT_EQ(check, node_find_child(tc, same));  // an unlinked equal model finds the child
  EXPECT_EQ(nullptr, node_clone_child(nullptr, check));
}

TEST_F(RollupTest, FindChildFollowsTypeChanges) {
  TraceNode* tc = add(TYPE_TEST_CASE, 2, 1);
  TraceNode* a = add(TYPE_CHECK_EXPRESSION, 3, 2, "m");
  TraceNode* copy = node_clone_child(tc, a);  // an equal sibling after the model
  EXPECT_EQ(a, node_find_child(tc, a));
  node_set_type(a, TYPE_STUB);
  EXPECT_EQ(a, node_find_child(tc, a));        // a is now a Stub, equal to itself
  EXPECT_EQ(copy, node_find_child(tc, copy));  // first equal Check Expression
}

// Repeated outcomes on one node take a shortcut to its check, which must not
// outlive that check becoming a Stub.
TEST_F(RollupTest, OutcomeAfterItsCheckBecameAStubGoesToTheCheckAbove) {
  add(TYPE_TEST_CASE, 2, 1);
  TraceNode* upper = add(TYPE_CHECK_EXPRESSION, 3, 2, "upper");
  TraceNode* lower = add(TYPE_CHECK_EXPRESSION, 4, 3, "lower");
  add(TYPE_TEST_SUITE, 5, 4);
  TraceNode* leaf = add(TYPE_TEST_SUITE, 6, 5);
  node_record_outcome(leaf, OUTCOME_FAILED);
  node_set_type(lower, TYPE_STUB);
  node_record_outcome(leaf, OUTCOME_FAILED);
  EXPECT_EQ(1, lower->stats->failed);
  EXPECT_EQ(1, upper->stats->failed);
}

TEST_F(RollupTest, DeepChainIsWalkedRolledUpAndFreedWithoutRecursion) {
  const int32_t depth = 1000000;
  int32_t parent = 1;
  for (int32_t line = 2; line < depth + 2; ++line) {
    node_add_child(0, line % 2 ? TYPE_TEST_SUITE : TYPE_CHECK_EXPRESSION, line, "n", parent, 0);
    parent = line;
  }
  TraceNode* bottom = node_find(0, depth + 1);
  node_record_outcome(bottom, OUTCOME_FAILED);
  size_t visits = 0;
  tree_walk(
      root(), [](TraceNode*, void* ctx) { ++*static_cast<size_t*>(ctx); }, &visits);
  EXPECT_EQ(static_cast<size_t>(depth) + 1, visits);
  tree_rollup();
  EXPECT_EQ(STATUS_FAILED, root()->status);
  EXPECT_EQ(1, node_find(0, depth)->stats->failed);
  EXPECT_EQ(STATUS_FAILED, node_find(0, 2)->status);
}

TEST_F(RollupTest, WideTreeIsWalkedInOrder) {
  const int32_t width = 1000000;
  for (int32_t line = 2; line < width + 2; ++line) {
    node_add_child(0, TYPE_TEST_CASE, line, "w", 1, line);
  }
  struct Ctx {
    int32_t expected = 2;
    bool ordered = true;
  } ctx;
  tree_walk(
      root()->first_child,
      [](TraceNode* n, void* p) {
        Ctx* c = static_cast<Ctx*>(p);
        if (n->value != c->expected++) c->ordered = false;
      },
      &ctx);
  EXPECT_TRUE(ctx.ordered);
  EXPECT_EQ(width + 2, ctx.expected);
  tree_rollup();
  EXPECT_EQ(STATUS_NO_RESULT, root()->status);
}

}  // namespace
