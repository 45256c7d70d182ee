// The three roll-up passes, exposed one by one so tests can run them on their own
// and compare the linear spread pass with the plain per-node ancestor walk.
#pragma once

#include "model/tree.h"

// Visit functions for tree_walk (context unused).
void rollup_count_pass(TraceNode* node, void* context);
void rollup_clear_pass(TraceNode* node, void* context);
// The spread pass as a plain visit: a reached check merges its status into
// every ancestor. Quadratic on deep trees; kept as the reference.
void rollup_spread_pass(TraceNode* node, void* context);
// The spread pass over one root's tree in linear time, with the same result
// as tree_walk(root, rollup_spread_pass).
void rollup_spread_tree(TraceNode* root);
