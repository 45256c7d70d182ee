// Test-driver blocks: each reported section node gets a browse-tree entry, a
// title and a check table; the tree is walked with an explicit stack.
#include "report/report_driver.h"

#include <string>
#include <vector>

#include "model/node_types.h"
#include "report/markup.h"

namespace {

int tag_counter = 0;

bool is_reported(const TraceNode* node) {
  return node->status != STATUS_NOT_EXECUTED && node->status != STATUS_NO_RESULT;
}

// Working state of one walk: the title text and the last link target, which
// every check of a driver shares.
struct SectionWriter {
  OutBuffer& out;
  std::string title;
  bool have_target = false;
  int32_t target_file = 0;
  std::string target;
};

// The link target of a check: its driver's title, empty when there is no such driver.
const char* check_target(SectionWriter& w, const TraceNode* check) {
  if (!w.have_target || w.target_file != check->file) {
    w.target.clear();
    if (!driver_title_by_number(check->file, &w.target)) w.target.clear();
    w.target_file = check->file;
    w.have_target = true;
  }
  return w.target.c_str();
}

const char* cell_opening(int style) {
  switch (style) {
    case STYLE_HEADING:
      return "<CELL_TEXT STYLE=\"Array Title\">";
    case STYLE_PLAIN:
      return "<CELL_TEXT STYLE=\"Array\">";
    case STYLE_PASSED:
      return "<CELL_TEXT STYLE=\"Array Passed\">";
    default:
      return "<CELL_TEXT STYLE=\"Array Failed\">";
  }
}

// A CELL_TEXT holding a decimal number; digits need no escape.
void number_cell(OutBuffer& out, int value, int style) {
  out_str(out, cell_opening(style));
  out_int(out, value);
  out_lit(out, "</CELL_TEXT>\n");
}

void print_rows(SectionWriter& w, const TraceNode* check, const NodeStats& stats) {
  OutBuffer& out = w.out;
  out_lit(out, "</TABLE>\n<TABLE BORDER=\"1\" WIDTH=\"55,45\">\n<ROW>\n");
  out_lit(out, "<CELL STYLE=\"Array\">\n<IMAGE NAME=\"arrow10.xpm\"/><LINK TARGET=\"");
  markup_attr_text(out, check_target(w, check));
  out_lit(out, " line ");
  out_int(out, check->value);
  out_lit(out, "\">\n<TEXT>");
  markup_text(out, check->text);
  out_lit(out, "</TEXT>\n</LINK>\n</CELL>\n<CELL STYLE=\"Array\">\n<TEXT>(x");
  out_int(out, stats.executed);
  out_lit(out, ")</TEXT>\n</CELL>\n</ROW>\n</TABLE>\n");
  out_lit(out, "<TABLE BORDER=\"1\" WIDTH=\"40,15,15,15,15\">\n");
}

void check_rows(SectionWriter& w, const TraceNode* check, bool under_stub) {
  static const NodeStats kNoStats;
  const NodeStats& stats = check->stats ? *check->stats : kNoStats;
  OutBuffer& out = w.out;
  if (check->type == TYPE_PRINT) {
    print_rows(w, check, stats);
    return;
  }
  markup_tag(out, "ROW", 0);
  if (under_stub) {
    int style = stats.failed > 0 ? STYLE_FAILED : STYLE_PLAIN;
    markup_link_cell(out, check->text, style, check_target(w, check), check->value);
    markup_cell_text(out, style == STYLE_PLAIN ? "Executed" : "Failed", style);
    number_cell(out, stats.entered, style);
    number_cell(out, stats.failed, style);
    number_cell(out, stats.passed, style);
  } else if (stats.failed != 0 || stats.passed != 0) {
    int style = status_style(check->status);
    markup_link_cell(out, check->text, style, check_target(w, check), check->value);
    markup_cell_text(out, status_long_word(check->status), style);
    number_cell(out, stats.executed, style);
    number_cell(out, stats.failed, style);
    number_cell(out, stats.passed, style);
  } else {
    markup_link_cell(out, check->text, STYLE_PLAIN, check_target(w, check), check->value);
    if (stats.executed != 0) {
      markup_cell_text(out, status_long_word(check->status), STYLE_PLAIN);
      number_cell(out, stats.executed, STYLE_PLAIN);
    } else {
      markup_cell_text(out, " ", STYLE_PLAIN);
      markup_cell_text(out, " ", STYLE_PLAIN);
    }
    markup_cell_text(out, " ", STYLE_PLAIN);
    markup_cell_text(out, " ", STYLE_PLAIN);
  }
  markup_tag(out, "ROW", 1);
}

void check_table(SectionWriter& w, const TraceNode* node) {
  bool under_stub = node->type == TYPE_STUB;
  bool open = false;
  for (const TraceNode* child = node->first_child; child; child = child->next) {
    if (!type_is_check(child->type) || !is_reported(child)) continue;
    if (!open) {
      markup_tag(w.out, "TABLE BORDER=\"1\" WIDTH=\"40,15,15,15,15\"", 0);
      if (under_stub) {
        stub_check_header(w.out, STYLE_HEADING);
      } else {
        markup_check_header(w.out, STYLE_HEADING);
      }
      open = true;
    }
    check_rows(w, child, under_stub);
  }
  if (open) markup_tag(w.out, "TABLE", 1);
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
               tag_counter_next());
  check_table(w, node);
  return true;
}

}  // namespace

int tag_counter_next() {
  return tag_counter++;
}

void tag_counter_reset_for_tests() {
  tag_counter = 0;
}

const char* status_short_word(int status) {
  if (status == STATUS_FAILED) return "ko";
  if (status == STATUS_PASSED) return "ok";
  return "NE";
}

const char* status_long_word(int status) {
  if (status == STATUS_FAILED) return "Failed";
  if (status == STATUS_PASSED) return "Passed";
  return "Not Executed";
}

int status_style(int status) {
  if (status == STATUS_FAILED) return STYLE_FAILED;
  if (status == STATUS_PASSED) return STYLE_PASSED;
  return STYLE_PLAIN;
}

void stub_check_header(OutBuffer& out, int style) {
  markup_header_row(out, style, {"Expression", "Status", "entermethod()", "fail()", "exitmethod()"});
}

void report_driver(OutBuffer& out, TraceNode* root) {
  const char* type_name = type_display_name(TYPE_TEST_DRIVER);
  markup_node_open(out, root->text, type_name, status_short_word(root->status), 0,
                   ICON_TEST_SCRIPT);
  out_lit(out, "<SECTION TAG=\"rootx");
  out_int(out, tag_counter_next());
  out_lit(out, "\">\n");
  std::string title = std::string(type_name) + " " + root->text;
  markup_title(out, title.data(), title.size(), 0, status_style(root->status), tag_counter_next());
  ReportContext context{&out, 1};
  for (TraceNode* child = root->first_child; child; child = child->next) {
    report_node(child, &context);
  }
  markup_tag(out, "SECTION", 1);
  markup_tag(out, "DAZU:NODE", 1);
}

void report_node(TraceNode* node, void* context) {
  const ReportContext& ctx = *static_cast<const ReportContext*>(context);
  SectionWriter w{*ctx.out, std::string(), false, 0, std::string()};
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
    if (opened) markup_tag(w.out, "DAZU:NODE", 1);
    // n is done; close the ancestors it was the last child of.
    while (!n->next) {
      n = n->parent;
      --level;
      markup_tag(w.out, "DAZU:NODE", 1);
      if (n == node) return;
    }
    n = n->next;
  }
  markup_tag(w.out, "DAZU:NODE", 1);
}
