// The block of one test driver in the results report: nested browse-tree
// entries, titles, check tables, status words and the TAG numbering.
#pragma once

#include <string>

#include "base/out_buffer.h"
#include "model/tree.h"
#include "report/markup.h"

// What every part of one report shares: where it goes, the next TAG number
// (0, 1, 2 ... through the whole report), the time it shows and the escaped
// link target, made once per driver.
struct ReportWriter {
  OutBuffer& out;
  int tag_counter = 0;
  std::string generation_time;  // e.g. "Sun Dec 06 17:57:11 2026"
  // The link target of the last driver whose checks were written, escaped.
  bool have_target = false;
  int32_t target_file = 0;
  LinkTarget target = {};
};

// The next TAG number of the report.
inline int report_next_tag(ReportWriter& w) {
  return w.tag_counter++;
}

// What report_node hands down the tree.
struct ReportContext {
  ReportWriter* writer = nullptr;
  int level = 0;  // title level of the nodes given (1 for a driver root's children)
};

// Whether a node appears in the report: it ran, and has a result.
inline bool is_reported(const TraceNode* node) {
  return node->status != STATUS_NOT_EXECUTED && node->status != STATUS_NO_RESULT;
}

// "ok", "ko", or "NE" for any other status.
const char* status_short_word(int status);
// "Passed", "Failed", or "Not Executed" for any other status.
const char* status_long_word(int status);
// STYLE_PASSED, STYLE_FAILED, or STYLE_PLAIN for any other status.
int status_style(int status);

// The header row of a stub's check table.
void stub_check_header(OutBuffer& out, int style);

// Writes the block of one test driver whose root is reported.
void report_driver(ReportWriter& w, TraceNode* root);
// Writes one section node and everything below it, or nothing when the node is
// not a reported section. `context` is a ReportContext. Walks the subtree
// iteratively, so the depth of the tree does not bound the stack.
void report_node(TraceNode* node, void* context);
