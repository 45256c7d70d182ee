// Writes the parts of the page that CI servers show with script and inline
// style blocked: summary, changes since a baseline, failed tests with their
// checks, report information.
#include "export/write/html_static.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/compare.h"
#include "export/model/failed_checks.h"
#include "export/model/test_paths.h"
#include "export/write/escape.h"
#include "export/write/html_history.h"

namespace {

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

bool blank(const std::string& text) {
  return text.find_first_not_of(" \t\n\r") == std::string::npos;
}

// Presentation attributes as well as classes: with the style sheet blocked an
// SVG shape is filled black, and the ring would read as a black disc.
void write_donut(OutBuffer& out, const Totals& t) {
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

// The page's class for each cell style, in the order of CellStyle.
const char* const kStyleClasses[4] = {"heading", "plain", "failed", "passed"};

// A break may follow each '/', so that a long path wraps even unstyled; each
// name keeps its own direction, so the path reads in order.
void write_path(OutBuffer& out, std::string_view path) {
  for (size_t from = 0; from <= path.size();) {
    size_t to = std::min(path.find('/', from), path.size());
    html_isolated(out, path.data() + from, to - from);
    if (to < path.size()) out_str(out, "/<wbr>");
    from = to + 1;
  }
}

// The places of a test's failed checks on the test's own line, a file named
// once for the checks in it that follow each other (File.java:35, 40), or not
// at all where its group's heading names it (line 35, 40); a check that links
// to no file shows its text, cut short.
void write_failed_places(OutBuffer& out, const TestRun& run, const TestNode& n,
                         uint32_t group_file) {
  size_t listed = 0, more = 0;
  uint32_t open_file = kNone;  // the file of the open <code>, whose lines follow
  std::string scratch;
  for (const NodeRows::Item check : node_failed_checks(run, n)) {
    const Row& row = check.row;
    if (listed == kListedFailedChecks) {
      ++more;
      continue;
    }
    const bool same_file = open_file != kNone && row.file == open_file && row_links_line(run, row);
    if (open_file != kNone && !same_file) out_str(out, "</code>");
    out_str(out, listed++ ? ", " : " &#8212; ");
    open_file = kNone;
    if (same_file) {
      out_html(out, row_line_text(run, row, scratch));
      open_file = row.file;
    } else if (row.file != kNone && row.file == group_file && row_links_line(run, row)) {
      out_str(out, "<code class=\"loc\">line ");
      out_html(out, row_line_text(run, row, scratch));
      open_file = row.file;
    } else if (row.file != kNone) {
      out_str(out, "<code class=\"loc\">");
      out_html(out, row_location(run, row));
      if (row_links_line(run, row))
        open_file = row.file;
      else
        out_str(out, "</code>");
    } else {
      const std::string text = text_shorten(row_text(run, row), kPlaceCut);
      html_isolated(out, text.data(), text.size());
    }
  }
  if (open_file != kNone) out_str(out, "</code>");
  if (more) {
    out_str(out, " and ");
    out_uint(out, more);
    out_str(out, " more");
  }
}

// The lines around a failed check, its own marked, each with its number.
void write_snippet(OutBuffer& out, const TestRun& run, const SourceSnippet& s) {
  const Row& row = run.rows[s.row];
  out_str(out, "<figure class=\"snippet\"><figcaption><code class=\"loc\">");
  out_html(out, row_location(run, row));
  out_str(out, "</code> ");
  const std::string text = text_shorten(row_text(run, row), kPlaceCut);
  html_isolated(out, text.data(), text.size());
  out_str(out, "</figcaption><pre>");
  for (size_t k = 0; k < s.lines.size(); ++k) {
    const bool marked = s.first + k == s.line;
    if (marked) out_str(out, "<mark>");
    out_html(out, snippet_gutter(s, k));
    out_html(out, s.lines[k]);
    out_str(out, marked ? "</mark>\n" : "\n");
  }
  out_str(out, "</pre></figure>\n");
}

// The anchor and the shown path of nodes taken in run order. A path too long
// to spell out links by the node's TAG instead, which the page's script finds
// as it finds the links of older pages: a thousand failed tests deep in a
// chain of suites would otherwise make a page of gigabytes.
struct NodeLinks {
  const TestRun& run;
  PathCursor ids, texts;
  explicit NodeLinks(const TestRun& r)
      : run(r), ids(r, PATH_ANCHORS, kPathCut), texts(r, PATH_NAMES, kPathCut) {}
  std::string id(uint32_t i) {
    bool cut = false;
    std::string a(ids.at(i, &cut));
    return cut && *run.nodes[i].anchor ? anchor_segment(run.nodes[i].anchor) : a;
  }
};

// One failed test: its path below its group's heading as a link to its node,
// then its failed checks with the place in the source each comes from. The
// link is the line's only copy of the anchor: without script nothing leads
// anywhere on the page, with it the link opens the test in the view.
// A line of the list's rest names its test by its number in the page's data
// instead of its anchor, a third of that part's bytes: the anchor only works
// with script, and page.js then sets it.
void write_failed_test(OutBuffer& out, const TestRun& run, NodeLinks& links, uint32_t i,
                       std::string_view group, uint32_t group_file, bool in_rest) {
  if (in_rest) {
    out_str(out, "<li><a data-n=\"");
    out_uint(out, i);
  } else {
    out_str(out, "<li><a href=\"#");
    out_str(out, links.id(i).c_str());
  }
  out_str(out, "\">");
  std::string_view path = links.texts.at(i);
  if (path.size() > group.size() && path.compare(0, group.size(), group) == 0 &&
      path[group.size()] == '/')
    path.remove_prefix(group.size() + 1);
  write_path(out, path);
  out_str(out, "</a>");
  if (run.with_history) html_strip(out, run, i);
  write_failed_places(out, run, run.nodes[i], group_file);
  out_str(out, "</li>\n");
}

// The one file every listed failed check of the tests links a line in, or
// kNone: then the heading of their group names it and their lines do not.
uint32_t group_file(const TestRun& run, const std::vector<uint32_t>& tests) {
  uint32_t file = kNone;
  for (uint32_t i : tests) {
    const TestNode& n = run.nodes[i];
    size_t listed = 0;
    for (const NodeRows::Item check : node_failed_checks(run, n)) {
      const Row& row = check.row;
      if (listed++ == kListedFailedChecks) break;
      if (row.file == kNone || !row_links_line(run, row) || (file != kNone && row.file != file))
        return kNone;
      file = row.file;
    }
  }
  return file;
}

void write_change_list(OutBuffer& out, const TestRun& run, TestChange kind) {
  const Changes& c = run.changes;
  uint64_t total = c.counts[kind], listed = 0;
  if (total == 0) return;
  out_str(out, "<h3>");
  out_str(out, kChangeHeadings[kind]);
  out_str(out, ": ");
  out_uint(out, total);
  out_str(out, "</h3>\n<ul class=\"change-list ");
  out_str(out, kChangeKeys[kind]);
  out_str(out, "\">\n");
  NodeLinks links(run);
  each_change(run, kind, kNoCut, [&](uint32_t i, std::string_view path) {
    if (listed == kListedChanges) return false;
    ++listed;
    // A removed test has no node on this page to link to.
    if (i == kNone) {
      out_str(out, "<li>");
      write_path(out, path);
      out_str(out, "</li>\n");
      return true;
    }
    out_str(out, "<li><a href=\"#");
    out_str(out, links.id(i).c_str());
    out_str(out, "\">");
    write_path(out, links.texts.at(i));
    out_str(out, "</a></li>\n");
    return true;
  });
  out_str(out, "</ul>\n");
  if (listed < total) {
    out_str(out, "<p class=\"more\">and ");
    out_uint(out, total - listed);
    out_str(out, " more</p>\n");
  }
}

}  // namespace

std::string html_project(const TestRun& run) {
  for (const InfoRow& row : run.info) {
    if (row.label != "Project" || blank(row.value)) continue;
    const std::string& v = row.value;
    size_t from = v.find_first_not_of(" \t\r\n"), to = v.find_last_not_of(" \t\r\n");
    return v.substr(from, to - from + 1);
  }
  return "";
}

void html_summary(OutBuffer& out, const Totals& t) {
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

// The failed tests grouped by driver, in run order: the first groups in
// `shown`, the ones after kFailedListInline in the parts of `rest`, each line
// made apart first so that one that would pass the budget is left out whole,
// with every line after it. A group cut at the end of `shown` or of a part
// goes on in the next under its heading again.
struct FailedList {
  const TestRun& run;
  NodeLinks links;
  std::string shown, line, head, group;
  std::vector<std::string> rest;
  size_t rest_size = 0;
  OutBuffer item;
  uint64_t listed = 0, listed_shown = 0;
  explicit FailedList(const TestRun& r) : run(r), links(r) {}

  void append(std::string* to, const std::string& text) {
    *to += text;
    if (to != &shown) rest_size += text.size();
  }
  // False when the part `to` points at is full: the next line goes elsewhere.
  bool room(const std::string* to) const {
    return to == &shown ? shown.size() < kFailedListInline : to->size() < kFailedMorePart;
  }
  std::string* next_part() {
    rest.emplace_back();
    rest_size += sizeof "<noscript></noscript>\n" - 1;  // what html_failures_rest adds
    return &rest.back();
  }
  // Adds the failed tests of one driver; false once the budget is reached.
  bool add(uint32_t driver, const std::vector<uint32_t>& tests) {
    std::string* to = &shown;
    if (!room(to)) to = rest.empty() || !room(&rest.back()) ? next_part() : &rest.back();
    group.assign(links.texts.at(driver));
    const uint32_t file = group_file(run, tests);
    head.clear();
    out_open_string(item, &head, 1024);
    out_str(item, "<h3 class=\"group\">");
    write_path(item, group);
    if (file != kNone) {
      out_str(item, " &#8212; <code class=\"loc\">");
      out_html(item, source_path(run, file));
      out_str(item, "</code>");
    }
    out_str(item, "</h3>\n<ul class=\"failed-list\">\n");
    out_close(item);
    bool opened = false, full = false;
    for (uint32_t i : tests) {
      const bool next = opened && !room(to);
      line.clear();
      out_open_string(item, &line, 1024);
      write_failed_test(item, run, links, i, group, file, next || to != &shown);
      out_close(item);
      const size_t end = sizeof "</ul>\n" - 1;
      if (shown.size() + rest_size + line.size() + (opened ? 0 : head.size()) + end >
          kFailedListBudget) {
        full = true;
        break;
      }
      if (next) {
        append(to, "</ul>\n");
        to = next_part();
        opened = false;
      }
      if (!opened) append(to, head);
      opened = true;
      append(to, line);
      ++listed;
      if (to == &shown) ++listed_shown;
    }
    if (opened) append(to, "</ul>\n");
    return !full;
  }
};

uint64_t html_failures(OutBuffer& out, const TestRun& run, std::vector<std::string>& rest) {
  const uint64_t failed = run.counted.failed;
  out_str(out,
          "<section class=\"failures\" id=\"failures\" aria-labelledby=\"failures-head\">"
          "<h2 id=\"failures-head\">Failed tests: ");
  out_uint(out, failed);
  out_str(out, "</h2>\n");
  if (failed == 0) {
    out_str(out, "<p>No test failed.</p>\n</section>\n");
    return 0;
  }
  FailedList list(run);
  std::vector<uint32_t> tests;
  for (const Driver& d : run.drivers) {
    tests.clear();
    for (uint32_t i = d.node; i < run.nodes[d.node].end; ++i) {
      const TestNode& n = run.nodes[i];
      if (n.state == STATE_FAILED && is_test(run, n)) tests.push_back(i);
    }
    if (!tests.empty() && !list.add(d.node, tests)) break;
  }
  const uint64_t listed = list.listed;
  out_str(out, "<p class=\"listed\">");
  if (listed == failed) {
    out_str(out, failed == 1 ? "It is listed with the places of its failed checks.</p>\n"
                             : "All are listed with the places of their failed checks.</p>\n");
  } else {
    out_uint(out, listed);
    out_str(out, " are listed with the places of their failed checks; ");
    out_uint(out, failed - listed);
    out_str(out, " more are not, for this list keeps to 8 MiB of the page.</p>\n");
  }
  out_write(out, list.shown.data(), list.shown.size());
  if (!list.rest.empty()) {
    out_str(out, "<noscript id=\"failed-more-note\"><p><a href=\"#failed-more\">The other ");
    out_uint(out, listed - list.listed_shown);
    out_str(out, " are listed at the end of the page.</a></p></noscript>\n");
    rest = std::move(list.rest);
  }
  if (!run.snippets.empty()) {
    out_str(out, "<h3>Failed checks in the source</h3>\n");
    for (const SourceSnippet& s : run.snippets) write_snippet(out, run, s);
  }
  out_str(out, "</section>\n");
  return listed;
}

void html_failures_rest(OutBuffer& out, const std::vector<std::string>& rest) {
  if (rest.empty()) return;
  // Each <noscript> is one token to the browser's parser, which cannot pause
  // inside one: parts of about kFailedMorePart keep each of its tasks short,
  // and page.js adds them one at a time.
  out_str(out,
          "<section class=\"failures\" id=\"failed-more\" "
          "aria-labelledby=\"failed-more-head\"><noscript><h2 id=\"failed-more-head\">Failed "
          "tests, continued</h2>\n");
  for (size_t k = 0; k < rest.size(); ++k) {
    if (k > 0) out_str(out, "<noscript>");
    out_write(out, rest[k].data(), rest[k].size());
    out_str(out, "</noscript>\n");
  }
  out_str(out, "</section>\n");
}

void html_changes(OutBuffer& out, const TestRun& run) {
  const Changes& c = run.changes;
  out_str(out,
          "<section class=\"changes\" id=\"changes\" aria-labelledby=\"changes-head\">"
          "<h2 id=\"changes-head\">Changes since ");
  out_html(out, c.baseline);
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
  for (TestChange kind : kChangeListOrder) write_change_list(out, run, kind);
  out_str(out, "</section>\n");
}

void html_info(OutBuffer& out, const TestRun& run) {
  out_str(out, "<section class=\"info\" id=\"");
  out_html(out, run.info_anchor.empty() ? "info" : run.info_anchor);
  out_str(out, "\" aria-labelledby=\"info-head\"><h2 id=\"info-head\">");
  out_html(out, run.info_title.empty() ? "Report Information" : run.info_title);
  out_str(out, "</h2>\n<table>\n");
  for (const std::string& b : run.banner) {
    out_str(out, "<tr class=\"banner\"><th colspan=\"2\">");
    out_html(out, b);
    out_str(out, "</th></tr>\n");
  }
  for (const InfoRow& row : run.info) {
    if (blank(row.value)) continue;
    out_str(out, "<tr class=\"");
    out_str(out, kStyleClasses[row.style]);
    out_str(out, "\"><th scope=\"row\">");
    out_html(out, row.label);
    out_str(out, "</th><td>");
    out_html(out, row.value);
    out_str(out, "</td></tr>\n");
  }
  out_str(out, "</table>\n</section>\n");
}
