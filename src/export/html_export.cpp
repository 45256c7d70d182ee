// Writes the HTML page: static head, summary and information table, then the
// sections, rows and cells as one JSON block in flat arrays.
#include "export/html_export.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/escape.h"
#include "export/html_static.h"
#include "export/test_paths.h"
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

void json(OutBuffer& out, std::string_view text) {
  out_write(out, "\"", 1);
  out_escaped(out, text.data(), text.size(), ESCAPE_JSON);
  out_write(out, "\"", 1);
}

void json_int(OutBuffer& out, long long v) {
  if (v < 0) {
    out_write(out, "-", 1);
    v = -v;
  }
  out_uint(out, static_cast<unsigned long long>(v));
}

void json_item(OutBuffer& out, long long v) {
  json_int(out, v);
}
void json_item(OutBuffer& out, const char* text) {
  json(out, text);
}

// Values, each after a comma but the first.
template <typename... Values>
void json_items(OutBuffer& out, const Values&... values) {
  bool first = true;
  ((first ? void(first = false) : out_write(out, ",", 1), json_item(out, values)), ...);
}

// Strings repeated on many rows (type names, source files) go into a table once.
struct Interned {
  std::unordered_map<std::string_view, int, TextHash> index;
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

template <typename Texts>
void write_strings(OutBuffer& out, const Texts& texts) {
  out_write(out, "[", 1);
  bool first = true;
  for (std::string_view text : texts) {
    if (!first) out_write(out, ",", 1);
    first = false;
    json(out, text);
  }
  out_write(out, "]", 1);
}

// A section's anchor goes as its path segment, left out when it is the name
// itself (the script then takes the name), and its TAG for links of old pages.
// The change of each section and the words for them go in only with a
// baseline, so that the data of a page without one stays as it was.
void write_data(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& segments,
                const Comparison* changes) {
  Interned types, files;
  out_str(out, "{\"s\":[");
  for (size_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (i) out_write(out, ",", 1);
    json_items(out, s.parent, types.get(s.type), s.state, s.title_style, s.name, s.title,
               segments[i] == s.name ? "" : segments[i].c_str(), s.first_row, s.row_count,
               s.anchor);
    out_write(out, "\n", 1);
  }
  out_str(out, "],\n\"r\":[");
  for (size_t i = 0; i < r.rows.size(); ++i) {
    const XrdRow& row = r.rows[i];
    const XrdCell* c = &r.cells[row.first_cell];
    if (i) out_write(out, ",", 1);
    json_items(out, row.kind, row.style);
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
      json(out, line);
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
  write_strings(out, types.list);
  out_str(out, ",\n\"files\":");
  write_strings(out, files.list);
  if (changes) {
    out_str(out, ",\n\"c\":[");
    for (size_t i = 0; i < r.sections.size(); ++i) {
      if (i) out_write(out, ",", 1);
      json_int(out, i < changes->change.size() ? changes->change[i] : CHANGE_NONE);
    }
    out_str(out, "],\n\"cw\":");
    write_strings(out, kChangeWords);
    out_str(out, ",\n\"ck\":");
    write_strings(out, kChangeKeys);
  }
  out_str(out, "}");
}

}  // namespace

ReportTotals report_totals(const XrdReport& report) {
  ReportTotals t;
  bool found[3] = {false, false, false};
  for (const XrdInfoRow& row : report.info) {
    if (std::strcmp(row.label, kWordPassed) == 0)
      found[0] = parse_count(row.value, t.passed);
    else if (std::strcmp(row.label, kWordFailed) == 0)
      found[1] = parse_count(row.value, t.failed);
    else if (std::strcmp(row.label, kWordTotal) == 0)
      found[2] = parse_count(row.value, t.total);
  }
  if (found[0] && found[1] && found[2]) return t;
  const StateCounts c = xrd_test_counts(report);
  return {c.passed, c.failed, c.passed + c.failed};
}

void html_page(OutBuffer& out, const XrdReport& r, const Comparison* changes) {
  const char* name = r.title.empty() ? "report" : r.title.c_str();
  std::string project = html_project(r);
  std::vector<std::string> names = xrd_unique_names(r), segments(names.size());
  for (size_t i = 0; i < names.size(); ++i) segments[i] = html_id_segment(names[i]);
  out_str(out,
          "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
          "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Test report: ");
  html(out, project.empty() ? name : project.c_str());
  out_str(out, "</title>\n<style>\n");
  out_str(out, HTML_STYLE);
  out_str(
      out,
      "</style>\n</head>\n<body>\n<header class=\"top\"><h1>Test report</h1><p class=\"file\">");
  if (!project.empty()) {
    out_str(out, "Project ");
    html(out, project.c_str());
    out_str(out, " &#183; ");
  }
  html(out, name);
  if (!r.test_node.empty()) {
    out_str(out, " &#183; test node ");
    html(out, r.test_node.c_str());
  }
  // Without script this part is the page's main landmark; the script gives
  // that role to the view it shows.
  out_str(out, "</p></header>\n<div id=\"static\" role=\"main\">\n<div class=\"overview\">\n");
  html_summary(out, report_totals(r));
  if (changes) html_changes(out, r, *changes, names, segments);
  html_failures(out, r, names, segments);
  html_info(out, r);
  // Where scripts do not run (a CI server's sandbox, a strict browser) the part
  // above is the page; the note says so and the script removes it.
  out_str(out,
          "</div>\n<p class=\"script-note\" id=\"script-note\">This copy of the page shows the "
          "summary and the failed tests only: the view of all ");
  out_uint(out, r.sections.size());
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
  write_data(out, r, segments, changes);
  out_str(out, "</script>\n<script>\n");
  out_str(out, HTML_SCRIPT);
  out_str(out, "</script>\n</body>\n</html>\n");
}

int html_write(const XrdReport& r, const char* path, std::string& error) {
  return html_write(r, nullptr, path, error);
}

int html_write(const XrdReport& r, const Comparison* changes, const char* path,
               std::string& error) {
  return write_output(path, false, [&](OutBuffer& out) { html_page(out, r, changes); }, error);
}
