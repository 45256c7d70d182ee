// Writes the HTML page: static head, summary and information table, then the
// nodes, rows and cells as one JSON block in flat arrays for the page's script.
#include <string_view>
#include <unordered_map>

#include "export/escape.h"
#include "export/html_static.h"
#include "export/json_writer.h"
#include "export/output_file.h"
#include "export/page_assets.h"
#include "export/test_paths.h"
#include "export/writers.h"

namespace {

void html(OutBuffer& out, std::string_view text) {
  out_escaped(out, text.data(), text.size(), ESCAPE_HTML);
}

// The run's numbers of types and files, renumbered in the order the page
// first meets them (so that its tables list them in that order).
struct PageNumbers {
  std::vector<int32_t> page;
  std::vector<uint32_t> order;
  explicit PageNumbers(uint32_t size) : page(size, -1) {}
  int32_t get(uint32_t id) {
    if (page[id] < 0) {
      page[id] = static_cast<int32_t>(order.size());
      order.push_back(id);
    }
    return page[id];
  }
};

void write_table(JsonWriter& json, const TextTable& texts, const PageNumbers& numbers) {
  json.open_array(JSON_COMPACT);
  for (uint32_t id : numbers.order) json.string(texts[id]);
  json.close();
}

// A node's anchor goes as its path segment, left out when it is the name
// itself (the script then takes the name), and its TAG for links of old pages.
// The change of each node and the words for them go in only with a
// baseline, so that the data of a page without one stays as it was.
void write_data(OutBuffer& out, const TestRun& run) {
  JsonWriter json(out);
  PageNumbers types(run.types.size()), files(run.files.size());
  std::string scratch;
  json.open_object(JSON_LINES);
  json.key("s");
  json.open_array(JSON_COMPACT);
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    const TestNode& n = run.nodes[i];
    const std::string segment = anchor_segment(unique_name(run, i, scratch));
    json.number(static_cast<long long>(n.parent));
    json.number(static_cast<long long>(types.get(n.type)));
    json.number(static_cast<long long>(n.state));
    json.number(static_cast<long long>(n.title_style));
    json.string(n.name);
    json.string(node_title(run, i, scratch));
    json.string(segment == n.name ? std::string_view() : std::string_view(segment));
    json.number(static_cast<unsigned long long>(n.first_row));
    json.number(static_cast<unsigned long long>(n.row_count));
    json.string(n.anchor);
    json.line_end();
  }
  json.close();
  json.key("r");
  json.open_array(JSON_COMPACT);
  for (const Row& row : run.rows) {
    json.number(static_cast<long long>(row.kind));
    json.number(static_cast<long long>(row.style));
    // A link "<file> line <n>": the file goes into the table.
    if (row.file == kNone) {
      json.number(-1LL);
      json.string("");
    } else {
      json.number(static_cast<long long>(files.get(row.file)));
      json.string(row_line_text(run, row, scratch));
    }
    json.number(static_cast<unsigned long long>(row.cell_count + 1));
    for (uint32_t k = 0; k <= row.cell_count; ++k) json.string(cell_text(run, row, k, scratch));
    json.line_end();
  }
  json.close();
  json.key("types");
  write_table(json, run.types, types);
  json.key("files");
  write_table(json, run.files, files);
  if (run.compared) {
    json.key("c");
    json.open_array(JSON_COMPACT);
    for (const TestNode& n : run.nodes) json.number(static_cast<long long>(n.change));
    json.close();
    json.key("cw");
    json.open_array(JSON_COMPACT);
    for (const char* word : kChangeWords) json.string(word);
    json.close();
    json.key("ck");
    json.open_array(JSON_COMPACT);
    for (const char* key : kChangeKeys) json.string(key);
    json.close();
  }
  json.close();
}

}  // namespace

void html_page(OutBuffer& out, const TestRun& run) {
  const std::string_view name = run.title.empty() ? std::string_view("report") : run.title;
  const std::string project = html_project(run);
  out_str(out,
          "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
          "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Test report: ");
  html(out, project.empty() ? name : std::string_view(project));
  out_str(out, "</title>\n<style>\n");
  out_str(out, HTML_STYLE);
  out_str(
      out,
      "</style>\n</head>\n<body>\n<header class=\"top\"><h1>Test report</h1><p class=\"file\">");
  if (!project.empty()) {
    out_str(out, "Project ");
    html(out, project);
    out_str(out, " &#183; ");
  }
  html(out, name);
  if (!run.test_node.empty()) {
    out_str(out, " &#183; test node ");
    html(out, run.test_node);
  }
  // Without script this part is the page's main landmark; the script gives
  // that role to the view it shows.
  out_str(out, "</p></header>\n<div id=\"static\" role=\"main\">\n<div class=\"overview\">\n");
  html_summary(out, run_totals(run));
  if (run.compared) html_changes(out, run);
  html_failures(out, run);
  html_info(out, run);
  // Where scripts do not run (a CI server's sandbox, a strict browser) the part
  // above is the page; the note says so and the script removes it.
  out_str(out,
          "</div>\n<p class=\"script-note\" id=\"script-note\">This copy of the page shows the "
          "summary and the failed tests only: the view of all ");
  out_uint(out, run.nodes.size());
  out_str(out,
          " sections with every check needs JavaScript, which does not run here (a CI "
          "server's page policy or a browser setting). Open a downloaded copy of the file with "
          "JavaScript on to see it.</p>\n</div>\n"
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
          "<script type=\"application/json\" id=\"xrd-data\">");
  write_data(out, run);
  out_str(out, "</script>\n<script>\n");
  out_str(out, HTML_SCRIPT);
  out_str(out, "</script>\n</body>\n</html>\n");
}

int html_write(const TestRun& run, const char* path, std::string& error) {
  return write_output(
      path, false, [&](OutBuffer& out) { html_page(out, run); }, error);
}
