// Status combination and the roll-up of recorded outcomes to every node.
#include "model/rollup.h"

#include <cstdint>
#include <vector>

#include "model/model_state.h"

namespace {
// Rank of each status in the merge order, lowest first: no result, executed,
// passed, not executed, failed.
constexpr int kRank[5] = {3, 1, 4, 2, 0};
constexpr int kRankValid = 5;

int rank_of(int status) {
  return (status >= 0 && status < kRankValid) ? kRank[status] : -1;
}

// Counters are never negative and sums stop at the largest count, so that no
// number of evaluations can wrap a failure count into a pass.
int32_t add32(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  return sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum);
}
}  // namespace

int status_merge(int a, int b) {
  return rank_of(a) >= rank_of(b) ? a : b;
}

void rollup_count_pass(TraceNode* n, void*) {
  if (type_is_check(n->type) && n->stats) {
    NodeStats& s = *n->stats;
    bool has_check_child = false;
    for (TraceNode* c = n->first_child; c; c = c->next) {
      if (!type_is_check(c->type)) continue;
      has_check_child = true;
      if (c->stats) {
        s.passed = add32(s.passed, c->stats->passed);
        s.failed = add32(s.failed, c->stats->failed);
      }
      s.executed = add32(s.passed, s.failed);
      n->status = status_merge(n->status, c->status);
    }
    if (!has_check_child) {
      if (s.failed > 0) {
        n->status = STATUS_FAILED;
      } else if (s.passed > 0 || s.executed > 0) {
        n->status = STATUS_PASSED;
      }
      if (s.passed != 0 || s.failed != 0) s.executed = add32(s.passed, s.failed);
    }
  } else if (!type_is_check(n->type)) {
    if (!n->first_child && n->status == STATUS_EXECUTED) n->status = STATUS_PASSED;
  }
  if (n->parent) n->parent->status = status_merge(n->status, n->parent->status);
}

void rollup_clear_pass(TraceNode* n, void*) {
  if (!type_is_check(n->type) && n->status != STATUS_FAILED) n->status = STATUS_NO_RESULT;
}

void rollup_spread_pass(TraceNode* n, void*) {
  if (type_is_check(n->type) && n->status != STATUS_NOT_EXECUTED) {
    for (TraceNode* a = n->parent; a; a = a->parent) a->status = status_merge(n->status, a->status);
    return;
  }
  if (n->line == 0) {
    for (TraceNode* c = n->first_child; c; c = c->next)
      n->status = status_merge(n->status, c->status);
  }
}

void rollup_spread_tree(TraceNode* root) {
  if (!root) return;
  // The plain pass merges each reached check's status into every ancestor at
  // once. Merging is a maximum over a fixed order, so each node can instead
  // collect what its subtree sends up and merge it in when it is visited,
  // which is before anything reads it. pending[d] holds what the nodes at
  // depth d visited so far send to their parent.
  std::vector<int> pending(2, STATUS_NO_RESULT);  // no result merges as nothing
  size_t depth = 0;
  TraceNode* n = root;
  for (;;) {
    while (n->first_child) {
      n = n->first_child;
      ++depth;
      if (pending.size() < depth + 2) pending.resize(depth + 2, STATUS_NO_RESULT);
    }
    for (;;) {
      int from_below = pending[depth + 1];
      pending[depth + 1] = STATUS_NO_RESULT;
      n->status = status_merge(n->status, from_below);
      int send_up = from_below;
      if (type_is_check(n->type) && n->status != STATUS_NOT_EXECUTED) {
        send_up = status_merge(send_up, n->status);
      } else if (n->line == 0) {
        for (TraceNode* c = n->first_child; c; c = c->next) {
          n->status = status_merge(n->status, c->status);
        }
      }
      pending[depth] = status_merge(pending[depth], send_up);
      if (n == root) return;
      if (n->next) {
        n = n->next;
        break;
      }
      n = n->parent;
      --depth;
    }
  }
}

void tree_rollup() {
  TraceModel& m = model();
  // Oldest first in `rooted`; the passes go from the head of the list.
  for (auto it = m.drivers.rooted.rbegin(); it != m.drivers.rooted.rend(); ++it) {
    tree_walk((*it)->root, rollup_count_pass, nullptr);
  }
  for (auto it = m.drivers.rooted.rbegin(); it != m.drivers.rooted.rend(); ++it) {
    tree_walk((*it)->root, rollup_clear_pass, nullptr);
  }
  for (auto it = m.drivers.rooted.rbegin(); it != m.drivers.rooted.rend(); ++it) {
    rollup_spread_tree((*it)->root);
  }
}
