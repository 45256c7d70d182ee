// The results report: the file, the document frame, the "Report Information"
// section with the header values and totals, and the drivers newest first.
#include "report/jresfile.h"

#include <cstdio>

#include "model/node_types.h"
#include "report/header.h"
#include "report/markup.h"
#include "driver/banner.h"
#include "report/report_driver.h"

namespace {

bool g_time_overridden = false;
std::time_t g_time_override = 0;

bool is_reported(const TraceNode* node) {
  return node->status != STATUS_NOT_EXECUTED && node->status != STATUS_NO_RESULT;
}

void info_row(OutBuffer& out, const char* label, const char* value, int style) {
  markup_tag(out, "ROW", 0);
  markup_cell_text(out, label, style);
  markup_cell_text(out, value, style);
  markup_tag(out, "ROW", 1);
}

std::string current_time_text() {
  std::time_t now = g_time_overridden ? g_time_override : std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return std::string();
  return generation_time_text(local);
}

void banner_rows(OutBuffer& out) {
  out_lit(out, "<ROW STYLE=\"Array Title\"><CELL_TEXT COLSPAN=\"1\" ROWSPAN=\"0\">");
  markup_text(out, kProductName);
  out_put(out, ' ');
  markup_text(out, kProductKind);
  out_lit(out, "</CELL_TEXT></ROW>");
  out_lit(out, "<ROW STYLE=\"Array Title\"><CELL_TEXT COLSPAN=\"1\" ROWSPAN=\"0\">");
  std::string notice = std::string(kCopyright) + " " + kRights;
  markup_text(out, notice.data(), notice.size());
  out_lit(out, "</CELL_TEXT></ROW>");
}

}  // namespace

std::string generation_time_text(const std::tm& when) {
  static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = when.tm_wday >= 0 && when.tm_wday < 7 ? kDays[when.tm_wday] : "???";
  const char* month = when.tm_mon >= 0 && when.tm_mon < 12 ? kMonths[when.tm_mon] : "???";
  char text[80];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %4lld", day, month, when.tm_mday,
                when.tm_hour, when.tm_min, when.tm_sec, 1900LL + when.tm_year);
  return text;
}

void report_time_override_for_tests(const std::time_t* when) {
  g_time_overridden = when != nullptr;
  g_time_override = when ? *when : 0;
}

void count_verdicts(const TraceNode* node, int* passed, int* failed) {
  if (!node) return;
  // Pre-order through the links: down to the first child, else on to the next
  // sibling of the nearest node that has one, never above the starting level.
  const TraceNode* stop = node->parent;
  const TraceNode* n = node;
  for (;;) {
    if (n->type == TYPE_TEST_CASE || n->type == TYPE_PROC || n->type == TYPE_STUB) {
      if (n->status == STATUS_PASSED) ++*passed;
      if (n->status == STATUS_FAILED) ++*failed;
    }
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (!n->next) {
      n = n->parent;
      if (!n || n == stop) return;
    }
    n = n->next;
  }
}

void count_all_verdicts(int* passed, int* failed) {
  *passed = 0;
  *failed = 0;
  int n = driver_count();
  for (int i = 0; i < n; ++i) {
    const TraceNode* root = driver_root_at(i);
    if (root && is_reported(root)) count_verdicts(root, passed, failed);
  }
}

void report_write_document(OutBuffer& out, const char* xrd_path) {
  int drivers = driver_count();
  bool loaded = header_load();
  out_lit(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  markup_tag(out, "DAZU", 0);
  markup_tag(out, "APIDOC", 0);

  out_lit(out, "<DOCUMENT TITLE=\"");
  markup_head_text(out, xrd_path);
  out_lit(out, "\" TAG=\"");
  const char* node_name = loaded ? get_test_node_name() : nullptr;
  if (node_name) {
    markup_head_text(out, node_name);
  } else {
    out_put(out, ' ');
  }
  out_put(out, 'x');
  out_int(out, tag_counter_next());
  out_lit(out, "\">\n");

  out_lit(out, "<SECTION TAG=\"filex");
  out_int(out, tag_counter_next());
  out_lit(out, "\">\n");
  markup_title(out, "Report Information", 0, STYLE_PLAIN, tag_counter_next());
  markup_tag(out, "TABLE BORDER=\"1\"", 0);
  banner_rows(out);

  info_row(out, "Project", loaded ? get_project_name() : " ", STYLE_PLAIN);
  info_row(out, "Project File", loaded ? get_project_file() : " ", STYLE_PLAIN);
  info_row(out, "Project Configuration", loaded ? get_configuration() : " ", STYLE_PLAIN);
  info_row(out, "Workspace", loaded ? get_workspace_name() : " ", STYLE_PLAIN);
  info_row(out, "Test Node", loaded ? get_test_node_name() : " ", STYLE_PLAIN);
  info_row(out, "Report File", xrd_path, STYLE_PLAIN);
  std::string when = current_time_text();
  info_row(out, "Generation Time", when.c_str(), STYLE_PLAIN);

  int passed = 0;
  int failed = 0;
  count_all_verdicts(&passed, &failed);
  info_row(out, "Passed", std::to_string(passed).c_str(), failed == 0 ? STYLE_PASSED : STYLE_PLAIN);
  info_row(out, "Failed", std::to_string(failed).c_str(), failed != 0 ? STYLE_FAILED : STYLE_PLAIN);
  info_row(out, "Total", std::to_string(static_cast<long long>(passed) + failed).c_str(),
           STYLE_PLAIN);
  markup_tag(out, "TABLE", 1);
  markup_tag(out, "SECTION", 1);
  if (loaded) header_release();

  for (int i = 0; i < drivers; ++i) {
    TraceNode* root = driver_root_at(i);
    if (root && is_reported(root)) report_driver(out, root);
  }
  markup_tag(out, "DOCUMENT", 1);
  markup_tag(out, "APIDOC", 1);
  markup_tag(out, "DAZU", 1);
}

int report_write(const char* xrd_path) {
  OutBuffer out;
  if (!out_open_file(out, xrd_path)) return -1;
  report_write_document(out, xrd_path);
  return out_close(out) ? 0 : -1;
}
