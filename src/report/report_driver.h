// The block of one test driver in the results report: nested browse-tree
// entries, titles, check tables, status words and the TAG numbering.
#pragma once

#include "model/tree.h"
#include "base/out_buffer.h"

// What report_node hands down the tree.
struct ReportContext {
  OutBuffer* out = nullptr;
  int level = 0;  // title level of the nodes given (1 for a driver root's children)
};

// The next TAG number of the report. Numbers run 0, 1, 2 ... through the
// whole process; the report is written once per process.
int tag_counter_next();
// Starts the numbering at 0 again, so that tests can write several reports.
void tag_counter_reset_for_tests();

// "ok", "ko", or "NE" for any other status.
const char* status_short_word(int status);
// "Passed", "Failed", or "Not Executed" for any other status.
const char* status_long_word(int status);
// STYLE_PASSED, STYLE_FAILED, or STYLE_PLAIN for any other status.
int status_style(int status);

// The header row of a stub's check table.
void stub_check_header(OutBuffer& out, int style);

// Writes the block of one test driver whose root is reported.
void report_driver(OutBuffer& out, TraceNode* root);
// Writes one section node and everything below it, or nothing when the node is
// not a reported section. `context` is a ReportContext. Walks the subtree
// iteratively, so the depth of the tree does not bound the stack.
void report_node(TraceNode* node, void* context);
