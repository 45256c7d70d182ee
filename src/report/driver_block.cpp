// Test-driver blocks: each reported section node gets a browse-tree entry, a
// title and a check table; the tree is walked through its links, without a stack.
#include "report/driver_block.h"

#include <string>

#include "model/node_types.h"
#include "report/markup.h"

namespace {

// Working state of one walk: the title text.
struct SectionWriter {
  ReportWriter& writer;
  OutBuffer& out;
  std::string title;
};

// The link target of a check: its driver's title, empty when there is no such
// driver. Every check of a driver shares it.
const LinkTarget& check_target(SectionWriter& sw, const TraceNode* check) {
  ReportWriter& w = sw.writer;
  if (!w.have_target || w.target_file != check->file) {
    std::string title;
    if (!driver_title_by_number(check->file, &title)) title.clear();
    w.target = markup_link_target(title.c_str());
    w.target_file = check->file;
    w.have_target = true;
  }
  return w.target;
}

void print_rows(SectionWriter& w, const TraceNode* check, const NodeStats& stats) {
  markup_print_row(w.out, check->text, check_target(w, check), check->value, stats.executed);
}

void check_rows(SectionWriter& w, const TraceNode* check, bool under_stub) {
  static const NodeStats kNoStats;
  const NodeStats& stats = check->stats ? *check->stats : kNoStats;
  OutBuffer& out = w.out;
  if (check->type == TYPE_PRINT) {
    print_rows(w, check, stats);
    return;
  }
  markup_tag(out, kMarkupRow, 0);
  if (under_stub) {
    int style = stats.failed > 0 ? STYLE_FAILED : STYLE_PLAIN;
    markup_link_cell(out, check->text, style, check_target(w, check), check->value);
    markup_word_cell(out, style == STYLE_PLAIN ? "Executed" : kWordFailed, style);
    markup_number_cell(out, stats.entered, style);
    markup_number_cell(out, stats.failed, style);
    markup_number_cell(out, stats.passed, style);
  } else if (stats.failed != 0 || stats.passed != 0) {
    int style = status_style(check->status);
    markup_link_cell(out, check->text, style, check_target(w, check), check->value);
    markup_word_cell(out, status_long_word(check->status), style);
    markup_number_cell(out, stats.executed, style);
    markup_number_cell(out, stats.failed, style);
    markup_number_cell(out, stats.passed, style);
  } else {
    markup_link_cell(out, check->text, STYLE_PLAIN, check_target(w, check), check->value);
    if (stats.executed != 0) {
      markup_word_cell(out, status_long_word(check->status), STYLE_PLAIN);
      markup_number_cell(out, stats.executed, STYLE_PLAIN);
    } else {
      markup_word_cell(out, " ", STYLE_PLAIN);
      markup_word_cell(out, " ", STYLE_PLAIN);
    }
    markup_word_cell(out, " ", STYLE_PLAIN);
    markup_word_cell(out, " ", STYLE_PLAIN);
  }
  markup_tag(out, kMarkupRow, 1);
}

void check_table(SectionWriter& w, const TraceNode* node) {
  bool under_stub = node->type == TYPE_STUB;
  bool open = false;
  for (const TraceNode* child = node->first_child; child; child = child->next) {
    if (!type_is_check(child->type) || !is_reported(child)) continue;
    if (!open) {
      markup_tag(w.out, kMarkupCheckTable, 0);
      if (under_stub) {
        stub_check_header(w.out, STYLE_HEADING);
      } else {
        markup_check_header(w.out, STYLE_HEADING);
      }
      open = true;
    }
    check_rows(w, child, under_stub);
  }
  if (open) markup_tag(w.out, kMarkupTable, 1);
}

// Writes a node's entry, title and check table; false when the node is skipped.
bool open_section(SectionWriter& w, const TraceNode* node, int level) {
  if (!type_is_section(node->type) || !is_reported(node)) return false;
  bool method = node->type == TYPE_TEST_CASE || node->type == TYPE_PROC;
  int sum = method || node->type == TYPE_STUB ? 1 : 0;
  const char* type_name = type_display_name(node->type);
  markup_node_open(w.out, node->text, type_name, status_short_word(node->status), sum,
                   method ? ICON_METHOD : ICON_CLASS);
  w.title.assign(type_name).append(" ").append(node->text);
  markup_title(w.out, w.title.data(), w.title.size(), level, status_style(node->status),
               report_next_tag(w.writer));
  check_table(w, node);
  return true;
}

}  // namespace

const char* status_short_word(int status) {
  if (status == STATUS_FAILED) return kStateKo;
  if (status == STATUS_PASSED) return kStateOk;
  return "NE";
}

const char* status_long_word(int status) {
  if (status == STATUS_FAILED) return kWordFailed;
  if (status == STATUS_PASSED) return kWordPassed;
  return "Not Executed";
}

int status_style(int status) {
  if (status == STATUS_FAILED) return STYLE_FAILED;
  if (status == STATUS_PASSED) return STYLE_PASSED;
  return STYLE_PLAIN;
}

void stub_check_header(OutBuffer& out, int style) {
  markup_header_row(out, style,
                    {"Expression", "Status", "entermethod()", "fail()", "exitmethod()"});
}

void report_driver(ReportWriter& w, TraceNode* root) {
  OutBuffer& out = w.out;
  const char* type_name = type_display_name(TYPE_TEST_DRIVER);
  markup_node_open(out, root->text, type_name, status_short_word(root->status), 0,
                   ICON_TEST_SCRIPT);
  markup_section_open(out, "rootx", report_next_tag(w));
  std::string title = std::string(type_name) + " " + root->text;
  markup_title(out, title.data(), title.size(), 0, status_style(root->status), report_next_tag(w));
  ReportContext context{&w, 1};
  for (TraceNode* child = root->first_child; child; child = child->next) {
    report_node(child, &context);
  }
  markup_tag(out, kMarkupSection, 1);
  markup_tag(out, kMarkupNode, 1);
}

void report_node(TraceNode* node, void* context) {
  const ReportContext& ctx = *static_cast<const ReportContext*>(context);
  SectionWriter w{*ctx.writer, ctx.writer->out, std::string()};
  if (!open_section(w, node, ctx.level)) return;
  // Depth-first through the parent and sibling links, so that a chain of
  // half a million levels needs no stack: every node on the way down had its
  // section opened, and its close tag is written on the way back up.
  const TraceNode* n = node->first_child;
  int level = ctx.level + 1;
  while (n) {
    const bool opened = open_section(w, n, level);
    if (opened && n->first_child) {
      n = n->first_child;
      ++level;
      continue;
    }
    if (opened) markup_tag(w.out, kMarkupNode, 1);
    // n is done; close the ancestors it was the last child of.
    while (!n->next) {
      n = n->parent;
      --level;
      markup_tag(w.out, kMarkupNode, 1);
      if (n == node) return;
    }
    n = n->next;
  }
  markup_tag(w.out, kMarkupNode, 1);
}
