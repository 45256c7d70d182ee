// Writes the HTML page: static head, summary and information table, then the
// data the page's script shows every node and check from, and the script.
#include <string>
#include <string_view>
#include <vector>

#include "export/write/escape.h"
#include "export/write/html_history.h"
#include "export/write/html_static.h"
#include "export/write/page_assets.h"
#include "export/write/page_data.h"
#include "export/write/writers.h"

void html_page(OutBuffer& out, const TestRun& run) {
  const std::string_view name = run.title.empty() ? std::string_view("report") : run.title;
  const std::string project = html_project(run);
  out_str(out,
          "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
          "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Test report: ");
  out_html(out, project.empty() ? name : std::string_view(project));
  out_str(out, "</title>\n<style>\n");
  out_str(out, HTML_STYLE);
  out_str(
      out,
      "</style>\n</head>\n<body>\n<header class=\"top\"><h1>Test report</h1><p class=\"file\">");
  if (!project.empty()) {
    out_str(out, "Project ");
    out_html(out, project);
    out_str(out, " &#183; ");
  }
  out_html(out, name);
  if (!run.test_node.empty()) {
    out_str(out, " &#183; test node ");
    out_html(out, run.test_node);
  }
  // The failed tests first, so that the note on top can say how many of them
  // the list holds.
  std::string failures;
  std::vector<std::string> failures_rest;
  OutBuffer part;
  out_open_string(part, &failures);
  const uint64_t listed = html_failures(part, run, failures_rest);
  out_close(part);
  // Without script this part is the page's main landmark; the script gives
  // that role to the view it shows. Where scripts do not run (a CI server's
  // sandbox, a strict browser) this part is the page; the note on top says so
  // and the script removes it.
  out_str(out,
          "</p></header>\n<div id=\"static\" role=\"main\">\n"
          "<p class=\"script-note\" id=\"script-note\">This copy of the page shows the summary "
          "and the failed tests: ");
  const uint64_t failed = run.counted.failed;
  if (failed == 0) {
    out_str(out, "no test failed");
  } else if (listed == failed) {
    out_str(out, failed == 1 ? "the one failed test is listed" : "all ");
    if (failed != 1) {
      out_uint(out, failed);
      out_str(out, " are listed");
    }
  } else {
    out_uint(out, listed);
    out_str(out, " of ");
    out_uint(out, failed);
    out_str(out, " are listed, ");
    out_uint(out, failed - listed);
    out_str(out, " are not");
  }
  out_str(out, ". The tree of all ");
  out_uint(out, run.nodes.size());
  out_str(out,
          " sections with every check needs JavaScript, which does not run here (a CI "
          "server's page policy or a browser setting): open a downloaded copy of the file with "
          "JavaScript on to see it.</p>\n<div class=\"overview\">\n");
  html_summary(out, run_totals(run));
  if (run.with_history) html_trend(out, run);
  if (run.compared) html_changes(out, run);
  out_write(out, failures.data(), failures.size());
  html_info(out, run);
  out_str(out,
          "</div>\n</div>\n"
          "<div class=\"toolbar\" id=\"toolbar\" role=\"region\" aria-label=\"View\" hidden>"
          "<label><input type=\"checkbox\" id=\"failed-only\"> Failed only</label>"
          "<input type=\"search\" id=\"filter\" placeholder=\"Filter: name, check, source file\" "
          "aria-label=\"Filter by name, check text or source file\">"
          "<button type=\"button\" id=\"expand-all\">Expand all</button>"
          "<button type=\"button\" id=\"collapse-all\">Collapse all</button>"
          "<button type=\"button\" id=\"print-all\">Print all</button>"
          "<span id=\"shown\" aria-live=\"polite\"></span></div>\n"
          "<div class=\"panes\" id=\"panes\" hidden><nav id=\"nav\" aria-label=\"Test tree\"></nav>"
          "<main id=\"main\" aria-label=\"Sections\"></main></div>\n"
          "<div class=\"print-list\" id=\"print-list\" hidden></div>\n"
          "<script>\n");
  // The script first, so that it takes each part of the data as it comes.
  out_str(out, HTML_SCRIPT);
  out_str(out, "</script>\n");
  page_data(out, run);
  html_failures_rest(out, failures_rest);
  out_str(out, "</body>\n</html>\n");
}
