// Sibling matching: the first child of a parent equal to a given node (same
// type, driver, line, source line and text), in a probe or two however many
// children the parent has.
//
// The first node ever made with a key (file, line) is the one the node index
// holds, so it comes before every other child that could equal it. Every
// other child (a repeated key, or a copy the TDF reader makes) is entered in a
// table under its parent and match key, the earliest one only, since only the
// first is ever asked for. Children are only appended, and only indexed nodes
// change type, never into a check, so an entry never goes stale.
#pragma once

#include "model/tree.h"

// After the child was linked under its parent and offered to the index.
void child_index_added(TraceNode* child);
// Before an indexed node's type changes to `type`.
void child_index_retyped(const TraceNode* node, int type);
// The first child of `parent` equal to `model`, or null.
TraceNode* child_index_first_equal(const TraceNode* parent, const TraceNode* model);
