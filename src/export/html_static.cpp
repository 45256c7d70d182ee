// Writes the parts of the page that CI servers show with script and inline
// style blocked: summary, changes since a baseline, failed tests with their
// checks, report information.
#include "export/html_static.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "export/test_paths.h"
#include "export/xrd_vocabulary.h"

namespace {

void html(OutBuffer& out, const char* text) {
  out_escaped(out, text, ESCAPE_HTML);
}

// A text that may hold right-to-left letters goes in its own direction
// island: two Hebrew or Arabic names side by side in a path would otherwise
// join into one right-to-left run and swap places.
void html_isolated(OutBuffer& out, const char* text, size_t n) {
  bool ascii = true;
  for (size_t i = 0; i < n && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
  if (!ascii) out_str(out, "<bdi>");
  out_escaped(out, text, n, ESCAPE_HTML);
  if (!ascii) out_str(out, "</bdi>");
}

bool blank(const char* text) {
  for (; *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
  return true;
}

bool is_safe(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

// Presentation attributes as well as classes: with the style sheet blocked an
// SVG shape is filled black, and the ring would read as a black disc.
void write_donut(OutBuffer& out, const ReportTotals& t) {
  // Circumference 100 on r = 15.9155 keeps the dash lengths in percent.
  double total = static_cast<double>(t.passed + t.failed);
  double p = total > 0 ? 100.0 * static_cast<double>(t.passed) / total : 0;
  double f = total > 0 ? 100.0 - p : 0;
  char buf[768];
  std::snprintf(
      buf, sizeof buf,
      "<svg class=\"donut\" viewBox=\"0 0 42 42\" width=\"120\" height=\"120\" role=\"img\" "
      "aria-label=\"%llu passed, %llu failed\">"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-none\" fill=\"none\" stroke=\"#dfe3e8\" "
      "stroke-width=\"5\"/>"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-pass\" fill=\"none\" stroke=\"#17703a\" "
      "stroke-width=\"5\" stroke-dasharray=\"%.3f %.3f\" stroke-dashoffset=\"25\"/>"
      "<circle cx=\"21\" cy=\"21\" r=\"15.9155\" class=\"d-fail\" fill=\"none\" stroke=\"#a8211a\" "
      "stroke-width=\"5\" stroke-dasharray=\"%.3f %.3f\" stroke-dashoffset=\"%.3f\"/>",
      t.passed, t.failed, p, 100 - p, f, 100 - f, 25 - p);
  out_str(out, buf);
  // Rounded down, so that one failure never shows as 100%; a pass is never 0%.
  double pct = std::floor(p);
  std::snprintf(buf, sizeof buf,
                "<text x=\"21\" y=\"23.5\" class=\"d-text\" font-size=\"8\" font-weight=\"600\" "
                "text-anchor=\"middle\" fill=\"#1d2330\">%s%.0f%%</text></svg>\n",
                pct == 0 && t.passed > 0 ? "&lt;" : "", pct == 0 && t.passed > 0 ? 1.0 : pct);
  out_str(out, buf);
}

// The page's class for each cell style, in the order of XrdStyle.
const char* const kStyleClasses[4] = {"heading", "plain", "failed", "passed"};

// A break may follow each '/', so that a long path wraps even unstyled; each
// name keeps its own direction, so the path reads in order.
void write_path(OutBuffer& out, const std::string& path) {
  for (size_t from = 0; from <= path.size();) {
    size_t to = std::min(path.find('/', from), path.size());
    html_isolated(out, path.data() + from, to - from);
    if (to < path.size()) out_str(out, "/<wbr>");
    from = to + 1;
  }
}

void write_failed_checks(OutBuffer& out, const XrdReport& r, const XrdSection& s) {
  size_t listed = 0, more = 0;
  for (uint32_t k = s.first_row; k < s.first_row + s.row_count; ++k) {
    const XrdRow& row = r.rows[k];
    if (!xrd_is_failed_row(r, row)) continue;
    if (listed == kListedFailedChecks) {
      ++more;
      continue;
    }
    out_str(out, listed++ ? "\n<li>" : "\n<ul class=\"checks\"><li>");
    const XrdCell& c = r.cells[row.first_cell];
    html_isolated(out, c.text, std::strlen(c.text));
    if (*c.target) {
      out_str(out, " &#8212; <code class=\"loc\">");
      html(out, xrd_location(c.target).c_str());
      out_str(out, "</code>");
    }
    out_str(out, "</li>");
  }
  if (more) {
    out_str(out, "\n<li class=\"more\">and ");
    out_uint(out, more);
    out_str(out, more == 1 ? " more failed check</li>" : " more failed checks</li>");
  }
  if (listed) out_str(out, "</ul>");
}

// The anchor and the shown path of sections taken in report order. A path
// too long to spell out links by the section's TAG instead, which the page's
// script finds as it finds the links of older pages: a thousand failed tests
// deep in a chain of suites would otherwise make a page of gigabytes.
struct SectionLinks {
  const XrdReport& r;
  XrdPathCursor ids, texts;
  SectionLinks(const XrdReport& report, const std::vector<std::string>& names,
               const std::vector<std::string>& segments)
      : r(report), ids(report, segments), texts(report, names) {}
  std::string id(uint32_t i) {
    bool cut = false;
    std::string a = ids.at(i, &cut);
    return cut && *r.sections[i].anchor ? html_id_segment(r.sections[i].anchor) : a;
  }
};

// One failed test: its path as a link to its section, then its failed checks
// with the place in the source each comes from.
void write_failed_test(OutBuffer& out, const XrdReport& r, SectionLinks& links, uint32_t i) {
  const std::string id = links.id(i);
  out_str(out, "<li id=\"");
  out_str(out, id.c_str());
  out_str(out, "\"><a href=\"#");
  out_str(out, id.c_str());
  out_str(out, "\">");
  write_path(out, links.texts.at(i));
  out_str(out, "</a>");
  write_failed_checks(out, r, r.sections[i]);
  out_str(out, "</li>\n");
}

void write_change_list(OutBuffer& out, const XrdReport& r, const Comparison& c,
                       const std::vector<std::string>& names,
                       const std::vector<std::string>& segments, TestChange kind) {
  uint64_t total = c.counts[kind], listed = 0;
  if (total == 0) return;
  out_str(out, "<h3>");
  out_str(out, kChangeHeadings[kind]);
  out_str(out, ": ");
  out_uint(out, total);
  out_str(out, "</h3>\n<ul class=\"change-list ");
  out_str(out, kChangeKeys[kind]);
  out_str(out, "\">\n");
  if (kind == CHANGE_REMOVED) {
    // A removed test has no section on this page to link to.
    for (size_t k = 0; k < c.removed.size() && listed < kListedChanges; ++k, ++listed) {
      out_str(out, "<li>");
      write_path(out, c.removed[k].path);
      out_str(out, "</li>\n");
    }
  } else {
    SectionLinks links(r, names, segments);
    for (uint32_t i = 0;
         i < r.sections.size() && i < c.change.size() && listed < kListedChanges; ++i) {
      if (c.change[i] != kind) continue;
      out_str(out, "<li><a href=\"#");
      out_str(out, links.id(i).c_str());
      out_str(out, "\">");
      write_path(out, links.texts.at(i));
      out_str(out, "</a></li>\n");
      ++listed;
    }
  }
  out_str(out, "</ul>\n");
  if (listed < total) {
    out_str(out, "<p class=\"more\">and ");
    out_uint(out, total - listed);
    out_str(out, " more</p>\n");
  }
}

}  // namespace

std::string html_id_segment(const std::string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (is_safe(c)) {
      out += ch;
    } else {
      out += '~';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string html_project(const XrdReport& r) {
  for (const XrdInfoRow& row : r.info) {
    if (std::strcmp(row.label, "Project") != 0 || blank(row.value)) continue;
    std::string v(row.value);
    size_t from = v.find_first_not_of(" \t\r\n"), to = v.find_last_not_of(" \t\r\n");
    return v.substr(from, to - from + 1);
  }
  return "";
}

void html_summary(OutBuffer& out, const ReportTotals& t) {
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

void html_failures(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                   const std::vector<std::string>& segments) {
  const size_t failed = xrd_test_counts(r).failed;
  out_str(out,
          "<section class=\"failures\" id=\"failures\" aria-labelledby=\"failures-head\">"
          "<h2 id=\"failures-head\">Failed tests: ");
  out_uint(out, failed);
  out_str(out, "</h2>\n");
  if (failed == 0) {
    out_str(out, "<p>No test failed.</p>\n</section>\n");
    return;
  }
  out_str(out, "<ol class=\"failed-list\">\n");
  size_t listed = 0;
  SectionLinks links(r, names, segments);
  for (uint32_t i = 0; i < r.sections.size() && listed < kListedFailedTests; ++i) {
    const XrdSection& s = r.sections[i];
    if (s.state != XRD_KO || !xrd_is_test_type(s.type)) continue;
    write_failed_test(out, r, links, i);
    ++listed;
  }
  out_str(out, "</ol>\n");
  if (listed < failed) {
    out_str(out, "<p class=\"more\">And ");
    out_uint(out, failed - listed);
    out_str(out,
            " more failed tests, not listed here: the full view below shows them all with "
            "&#8220;Failed only&#8221;.</p>\n");
  }
  out_str(out, "</section>\n");
}

void html_changes(OutBuffer& out, const XrdReport& r, const Comparison& c,
                  const std::vector<std::string>& names, const std::vector<std::string>& segments) {
  out_str(out,
          "<section class=\"changes\" id=\"changes\" aria-labelledby=\"changes-head\">"
          "<h2 id=\"changes-head\">Changes since ");
  html(out, c.baseline.c_str());
  out_str(out, "</h2>\n<ul class=\"change-counts\">");
  for (TestChange kind : kChangeListOrder) {
    out_str(out, "<li class=\"");
    out_str(out, kChangeKeys[kind]);
    out_str(out, "\">");
    out_str(out, kChangeWords[kind]);
    out_str(out, ": ");
    out_uint(out, c.counts[kind]);
    out_str(out, "</li>");
  }
  out_str(out, "</ul>\n");
  for (TestChange kind : kChangeListOrder) write_change_list(out, r, c, names, segments, kind);
  out_str(out, "</section>\n");
}

void html_info(OutBuffer& out, const XrdReport& r) {
  out_str(out, "<section class=\"info\" id=\"");
  html(out, *r.info_anchor ? r.info_anchor : "info");
  out_str(out, "\" aria-labelledby=\"info-head\"><h2 id=\"info-head\">");
  html(out, *r.info_title ? r.info_title : "Report Information");
  out_str(out, "</h2>\n<table>\n");
  for (const char* b : r.banner) {
    out_str(out, "<tr class=\"banner\"><th colspan=\"2\">");
    html(out, b);
    out_str(out, "</th></tr>\n");
  }
  for (const XrdInfoRow& row : r.info) {
    if (blank(row.value)) continue;
    out_str(out, "<tr class=\"");
    out_str(out, kStyleClasses[row.style]);
    out_str(out, "\"><th scope=\"row\">");
    html(out, row.label);
    out_str(out, "</th><td>");
    html(out, row.value);
    out_str(out, "</td></tr>\n");
  }
  out_str(out, "</table>\n</section>\n");
}
