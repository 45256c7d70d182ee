// Writes the HTML page: static head, summary and information table, then the
// sections, rows and cells as one JSON block in flat arrays.
#include "export/html_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "export/escape.h"
#include "export/xrd_vocabulary.h"

namespace {

bool parse_count(const char* text, unsigned long long& value) {
  while (*text == ' ') ++text;
  if (*text < '0' || *text > '9') return false;
  value = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    value = value * 10 + static_cast<unsigned>(*text - '0');
  while (*text == ' ') ++text;
  return *text == '\0';
}

void html(OutBuffer& out, const char* text) {
  out_escaped(out, text, ESCAPE_HTML);
}

void json(OutBuffer& out, const char* text, size_t n) {
  out_write(out, "\"", 1);
  out_escaped(out, text, n, ESCAPE_JSON);
  out_write(out, "\"", 1);
}
void json(OutBuffer& out, const char* text) {
  json(out, text, std::strlen(text));
}

void json_int(OutBuffer& out, long long v) {
  if (v < 0) {
    out_write(out, "-", 1);
    v = -v;
  }
  out_uint(out, static_cast<unsigned long long>(v));
}

// Strings repeated on many rows (type names, source files) go into a table once.
struct Interned {
  std::unordered_map<std::string_view, int> index;
  std::vector<std::string_view> list;
  int get(std::string_view s) {
    auto it = index.find(s);
    if (it != index.end()) return it->second;
    int id = static_cast<int>(list.size());
    index.emplace(s, id);
    list.push_back(s);
    return id;
  }
};

void write_table(OutBuffer& out, const Interned& t) {
  out_write(out, "[", 1);
  for (size_t i = 0; i < t.list.size(); ++i) {
    if (i) out_write(out, ",", 1);
    json(out, t.list[i].data(), t.list[i].size());
  }
  out_write(out, "]", 1);
}

void write_donut(OutBuffer& out, const ReportTotals& t) {
  // Circumference 100 on r = 15.9155 keeps the dash lengths in percent.
  double total = static_cast<double>(t.passed + t.failed);
  double p = total > 0 ? 100.0 * static_cast<double>(t.passed) / total : 0;
  double f = total > 0 ? 100.0 - p : 0;
  char buf[512];
  std::snprintf(
      buf, sizeof buf,
      "<svg class=\"donut\" viewBox=\"0 0 42 42\" width=\"120\" height=\"120\" role=\"img\" "
      "aria-label=\"%llu passed, %llu failed\">"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-none\"/>"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-pass\" stroke-dasharray=\"%.3f %.3f\" "
      "stroke-dashoffset=\"25\"/>"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-fail\" stroke-dasharray=\"%.3f %.3f\" "
      "stroke-dashoffset=\"%.3f\"/>",
      t.passed, t.failed, p, 100 - p, f, 100 - f, 25 - p);
  out_str(out, buf);
  // Rounded down, so that one failure never shows as 100%; a pass is never 0%.
  double pct = std::floor(p);
  std::snprintf(buf, sizeof buf,
                "<text x=\"21\" y=\"23.5\" class=\"d-text\">%s%.0f%%</text></svg>\n",
                pct == 0 && t.passed > 0 ? "&lt;" : "", pct == 0 && t.passed > 0 ? 1.0 : pct);
  out_str(out, buf);
}

void write_summary(OutBuffer& out, const ReportTotals& t) {
  out_str(out, "<section class=\"summary\" aria-label=\"Summary\">\n");
  write_donut(out, t);
  out_str(out,
          "<dl class=\"totals\"><div class=\"t-pass\"><dt>&#10004; Passed</dt><dd "
          "id=\"count-passed\">");
  out_uint(out, t.passed);
  out_str(out, "</dd></div><div class=\"t-fail\"><dt>&#10008; Failed</dt><dd id=\"count-failed\">");
  out_uint(out, t.failed);
  out_str(out, "</dd></div><div class=\"t-total\"><dt>Total</dt><dd id=\"count-total\">");
  out_uint(out, t.total);
  out_str(out, "</dd></div></dl>\n</section>\n");
}

const char* style_class(XrdStyle s) {
  switch (s) {
    case XRD_HEADING:
      return "heading";
    case XRD_FAILED:
      return "failed";
    case XRD_PASSED:
      return "passed";
    default:
      return "plain";
  }
}

void write_info(OutBuffer& out, const XrdReport& r) {
  out_str(out, "<section class=\"info\" id=\"");
  html(out, *r.info_anchor ? r.info_anchor : "info");
  out_str(out, "\"><h2>");
  html(out, *r.info_title ? r.info_title : "Report Information");
  out_str(out, "</h2>\n<table>\n");
  for (const char* b : r.banner) {
    out_str(out, "<tr class=\"banner\"><th colspan=\"2\">");
    html(out, b);
    out_str(out, "</th></tr>\n");
  }
  for (const XrdInfoRow& row : r.info) {
    out_str(out, "<tr class=\"");
    out_str(out, style_class(row.style));
    out_str(out, "\"><th scope=\"row\">");
    html(out, row.label);
    out_str(out, "</th><td>");
    html(out, row.value);
    out_str(out, "</td></tr>\n");
  }
  out_str(out, "</table>\n</section>\n");
}

void write_data(OutBuffer& out, const XrdReport& r) {
  Interned types, files;
  out_str(out, "{\"s\":[");
  for (size_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (i) out_write(out, ",", 1);
    json_int(out, s.parent);
    out_write(out, ",", 1);
    json_int(out, types.get(s.type));
    out_write(out, ",", 1);
    json_int(out, s.state);
    out_write(out, ",", 1);
    json_int(out, s.title_style);
    out_write(out, ",", 1);
    json(out, s.name);
    out_write(out, ",", 1);
    json(out, s.title);
    out_write(out, ",", 1);
    if (*s.anchor) {
      json(out, s.anchor);
    } else {
      out_str(out, "\"s");
      out_uint(out, i);
      out_write(out, "\"", 1);
    }
    out_write(out, ",", 1);
    json_int(out, s.first_row);
    out_write(out, ",", 1);
    json_int(out, s.row_count);
    out_write(out, "\n", 1);
  }
  out_str(out, "],\n\"r\":[");
  for (size_t i = 0; i < r.rows.size(); ++i) {
    const XrdRow& row = r.rows[i];
    const XrdCell* c = &r.cells[row.first_cell];
    if (i) out_write(out, ",", 1);
    json_int(out, row.kind);
    out_write(out, ",", 1);
    json_int(out, row.style);
    out_write(out, ",", 1);
    // A link target is "<file> line <n>": the file goes into the table.
    std::string_view target(c->target);
    if (target.empty()) {
      out_str(out, "-1,\"\"");
    } else {
      size_t at = target.rfind(" line ");
      std::string_view file = at == std::string_view::npos ? target : target.substr(0, at);
      std::string_view line =
          at == std::string_view::npos ? std::string_view() : target.substr(at + 6);
      json_int(out, files.get(file));
      out_write(out, ",", 1);
      json(out, line.data(), line.size());
    }
    out_write(out, ",", 1);
    json_int(out, row.cell_count);
    for (uint32_t k = 0; k < row.cell_count; ++k) {
      out_write(out, ",", 1);
      json(out, c[k].text);
    }
    out_write(out, "\n", 1);
  }
  out_str(out, "],\n\"types\":");
  write_table(out, types);
  out_str(out, ",\n\"files\":");
  write_table(out, files);
  out_str(out, "}");
}

}  // namespace

ReportTotals report_totals(const XrdReport& report) {
  ReportTotals t;
  bool found[3] = {false, false, false};
  for (const XrdInfoRow& row : report.info) {
    if (std::strcmp(row.label, kXrdPassed) == 0)
      found[0] = parse_count(row.value, t.passed);
    else if (std::strcmp(row.label, kXrdFailed) == 0)
      found[1] = parse_count(row.value, t.failed);
    else if (std::strcmp(row.label, kXrdTotal) == 0)
      found[2] = parse_count(row.value, t.total);
  }
  if (found[0] && found[1] && found[2]) return t;
  t = ReportTotals();
  for (const XrdSection& s : report.sections) {
    if (!xrd_is_test_type(s.type)) continue;
    if (s.state == XRD_OK) ++t.passed;
    if (s.state == XRD_KO) ++t.failed;
  }
  t.total = t.passed + t.failed;
  return t;
}

void html_page(OutBuffer& out, const XrdReport& r) {
  const char* name = r.title.empty() ? "report" : r.title.c_str();
  out_str(out,
          "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
          "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Test report: ");
  html(out, name);
  out_str(out, "</title>\n<style>\n");
  out_str(out, HTML_STYLE);
  out_str(
      out,
      "</style>\n</head>\n<body>\n<header class=\"top\"><h1>Test report</h1><p class=\"file\">");
  html(out, name);
  if (!r.test_node.empty()) {
    out_str(out, " &#183; test node ");
    html(out, r.test_node.c_str());
  }
  out_str(out, "</p></header>\n<div class=\"overview\">\n");
  write_summary(out, report_totals(r));
  write_info(out, r);
  out_str(out,
          "</div>\n<div class=\"toolbar\" role=\"toolbar\" aria-label=\"View\">"
          "<label><input type=\"checkbox\" id=\"failed-only\"> Failed only</label>"
          "<input type=\"search\" id=\"filter\" placeholder=\"Filter by name\" aria-label=\"Filter "
          "by name\">"
          "<button type=\"button\" id=\"expand-all\">Expand all</button>"
          "<button type=\"button\" id=\"collapse-all\">Collapse all</button>"
          "<span id=\"shown\" aria-live=\"polite\"></span></div>\n"
          "<div class=\"panes\" id=\"panes\"><nav id=\"nav\" aria-label=\"Test tree\"></nav>"
          "<main id=\"main\" aria-label=\"Sections\"></main></div>\n"
          "<noscript><p>The sections of this report need JavaScript.</p></noscript>\n"
          "<script type=\"application/json\" id=\"xrd-data\">");
  write_data(out, r);
  out_str(out, "</script>\n<script>\n");
  out_str(out, HTML_SCRIPT);
  out_str(out, "</script>\n</body>\n</html>\n");
}

int html_write(const XrdReport& r, const char* path, std::string& error) {
  return write_output(path, r, html_page, error);
}
