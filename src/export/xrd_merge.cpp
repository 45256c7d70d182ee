// Merging reports: each becomes one top-level section, with its sections, rows
// and cells appended at shifted indices.
#include "export/xrd_merge.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/html_export.h"
#include "export/xrd_vocabulary.h"

namespace {

bool is_total_label(const char* label) {
  return std::strcmp(label, kWordPassed) == 0 || std::strcmp(label, kWordFailed) == 0 ||
         std::strcmp(label, kWordTotal) == 0;
}

const char* own(XrdReport& out, std::string text) {
  out.owned_texts.push_back(std::move(text));
  return out.owned_texts.back().c_str();
}

// Rows such as the project name hold for the merged run only when every part
// says the same; rows such as the generation time or the report file do not.
void merge_info(const std::vector<std::unique_ptr<XrdReport>>& parts, XrdReport& out) {
  const XrdReport& first = *parts[0];
  std::vector<bool> keep(first.info.size(), true);
  for (size_t k = 1; k < parts.size(); ++k) {
    std::unordered_map<std::string_view, std::string_view, TextHash> values;
    values.reserve(parts[k]->info.size());
    for (const XrdInfoRow& row : parts[k]->info) values.emplace(row.label, row.value);
    for (size_t i = 0; i < first.info.size(); ++i) {
      if (!keep[i]) continue;
      auto it = values.find(first.info[i].label);
      keep[i] = it != values.end() && it->second == first.info[i].value;
    }
  }
  for (size_t i = 0; i < first.info.size(); ++i)
    if (keep[i] && !is_total_label(first.info[i].label)) out.info.push_back(first.info[i]);

  ReportTotals sum;
  for (const auto& part : parts) {
    ReportTotals t = report_totals(*part);
    sum.passed += t.passed;
    sum.failed += t.failed;
    sum.total += t.total;
  }
  out.info.push_back({kWordPassed, own(out, std::to_string(sum.passed)), XRD_PLAIN});
  out.info.push_back(
      {kWordFailed, own(out, std::to_string(sum.failed)), sum.failed > 0 ? XRD_FAILED : XRD_PLAIN});
  out.info.push_back({kWordTotal, own(out, std::to_string(sum.total)), XRD_PLAIN});
}

XrdState part_state(const XrdReport& part) {
  bool passed = false;
  for (const XrdSection& s : part.sections) {
    if (!xrd_is_test_type(s.type)) continue;
    if (s.state == XRD_KO) return XRD_KO;
    passed = passed || s.state == XRD_OK;
  }
  return passed ? XRD_OK : XRD_NE;
}

template <typename T>
void release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// Appends part as the top-level section named name; the part's own arrays are
// given back once copied, so that the merge holds each one only once at a time.
void append_part(XrdReport& part, const std::string& name, XrdReport& out) {
  const auto base = static_cast<int32_t>(out.sections.size());
  const auto row_base = static_cast<uint32_t>(out.rows.size());
  const auto cell_base = static_cast<uint32_t>(out.cells.size());
  XrdSection top{};
  top.parent = -1;
  top.depth = 0;
  top.name = own(out, name);
  top.type = kXrdReportType;
  top.title = own(out, std::string(kXrdReportType) + " " + name);
  top.anchor = "";
  top.state = part_state(part);
  top.title_style = top.state == XRD_KO ? XRD_FAILED : top.state == XRD_OK ? XRD_PASSED : XRD_PLAIN;
  top.first_row = row_base;
  top.row_count = 0;
  out.sections.push_back(top);
  for (XrdSection s : part.sections) {
    s.parent = s.parent < 0 ? base : s.parent + base + 1;
    s.depth += 1;
    s.first_row += row_base;
    out.sections.push_back(s);
  }
  for (XrdRow row : part.rows) {
    row.first_cell += cell_base;
    out.rows.push_back(row);
  }
  out.cells.insert(out.cells.end(), part.cells.begin(), part.cells.end());
  release(part.sections);
  release(part.rows);
  release(part.cells);
}

}  // namespace

void xrd_merge(std::vector<std::unique_ptr<XrdReport>> parts, const std::vector<std::string>& names,
               XrdReport& out) {
  if (parts.empty()) return;
  const XrdReport& first = *parts[0];
  out.title = std::to_string(parts.size()) + " reports";
  out.test_node = first.test_node;
  for (const auto& part : parts)
    if (part->test_node != out.test_node) out.test_node.clear();
  out.info_anchor = first.info_anchor;
  out.info_title = first.info_title;
  out.banner = first.banner;
  merge_info(parts, out);

  size_t sections = parts.size(), rows = 0, cells = 0;
  for (const auto& part : parts) {
    sections += part->sections.size();
    rows += part->rows.size();
    cells += part->cells.size();
  }
  out.sections.reserve(sections);
  out.rows.reserve(rows);
  out.cells.reserve(cells);
  for (size_t k = 0; k < parts.size(); ++k) append_part(*parts[k], names[k], out);
  out.parts = std::move(parts);
}
