// The results report: the file, the document frame, the "Report Information"
// section with the header values and totals, and the drivers newest first.
#include "report/jresfile.h"

#include <cstdio>

#include "model/node_types.h"
#include "report/banner.h"
#include "report/driver_block.h"
#include "report/header.h"
#include "report/markup.h"

namespace {

void info_row(OutBuffer& out, const char* label, const char* value, int style) {
  markup_tag(out, kMarkupRow, 0);
  markup_cell_text(out, label, style);
  markup_cell_text(out, value, style);
  markup_tag(out, kMarkupRow, 1);
}

void banner_rows(OutBuffer& out) {
  const std::string product = std::string(kProductName) + " " + kProductKind;
  markup_banner_row(out, product.data(), product.size());
  const std::string notice = std::string(kCopyright) + " " + kRights;
  markup_banner_row(out, notice.data(), notice.size());
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

std::string generation_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return std::string();
  return generation_time_text(local);
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

void report_write_document(ReportWriter& w, const char* xrd_path) {
  OutBuffer& out = w.out;
  int drivers = driver_count();
  bool loaded = header_load();
  markup_document_open(out, xrd_path, loaded ? get_test_node_name() : nullptr, report_next_tag(w));
  markup_section_open(out, "filex", report_next_tag(w));
  markup_title(out, "Report Information", 0, STYLE_PLAIN, report_next_tag(w));
  markup_tag(out, kMarkupInfoTable, 0);
  banner_rows(out);

  info_row(out, "Project", loaded ? get_project_name() : " ", STYLE_PLAIN);
  info_row(out, "Project File", loaded ? get_project_file() : " ", STYLE_PLAIN);
  info_row(out, "Project Configuration", loaded ? get_configuration() : " ", STYLE_PLAIN);
  info_row(out, "Workspace", loaded ? get_workspace_name() : " ", STYLE_PLAIN);
  info_row(out, "Test Node", loaded ? get_test_node_name() : " ", STYLE_PLAIN);
  info_row(out, "Report File", xrd_path, STYLE_PLAIN);
  info_row(out, kWordGenerationTime, w.generation_time.c_str(), STYLE_PLAIN);

  int passed = 0;
  int failed = 0;
  count_all_verdicts(&passed, &failed);
  info_row(out, kWordPassed, std::to_string(passed).c_str(),
           failed == 0 ? STYLE_PASSED : STYLE_PLAIN);
  info_row(out, kWordFailed, std::to_string(failed).c_str(),
           failed != 0 ? STYLE_FAILED : STYLE_PLAIN);
  info_row(out, kWordTotal, std::to_string(static_cast<long long>(passed) + failed).c_str(),
           STYLE_PLAIN);
  markup_tag(out, kMarkupTable, 1);
  markup_tag(out, kMarkupSection, 1);
  if (loaded) header_release();

  for (int i = 0; i < drivers; ++i) {
    TraceNode* root = driver_root_at(i);
    if (root && is_reported(root)) report_driver(w, root);
  }
  markup_tag(out, kMarkupDocument, 1);
  markup_tag(out, kMarkupApidoc, 1);
  markup_tag(out, kMarkupDazu, 1);
}

int report_write(const char* xrd_path) {
  return report_write_at(xrd_path, generation_time_now());
}

int report_write_at(const char* xrd_path, const std::string& generation_time) {
  OutBuffer out;
  if (!out_open_file(out, xrd_path)) return -1;
  ReportWriter writer{out, 0, generation_time};
  report_write_document(writer, xrd_path);
  return out_close(out) ? 0 : -1;
}
