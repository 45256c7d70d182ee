// Reading the reports of a run, and merging what several say of themselves.
#include "export/run_reports.h"

#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "report/vocabulary.h"

namespace {

bool is_total_label(const std::string& label) {
  return label == kWordPassed || label == kWordFailed || label == kWordTotal;
}

Totals part_totals(const ReportFacts& facts) {
  Totals t;
  if (xrd_stated_totals(facts, t)) return t;
  return {facts.counted.passed, facts.counted.failed, facts.counted.passed + facts.counted.failed};
}

// Rows such as the project name hold for the merged run only when every report
// says the same; rows such as the generation time or the report file do not.
void merge_info(const std::vector<ReportFacts>& parts, TestRun& run) {
  const ReportFacts& first = parts[0];
  std::vector<bool> keep(first.info.size(), true);
  for (size_t k = 1; k < parts.size(); ++k) {
    std::unordered_map<std::string_view, std::string_view, TextHash> values;
    values.reserve(parts[k].info.size());
    for (const InfoRow& row : parts[k].info) values.emplace(row.label, row.value);
    for (size_t i = 0; i < first.info.size(); ++i) {
      if (!keep[i]) continue;
      auto it = values.find(first.info[i].label);
      keep[i] = it != values.end() && it->second == first.info[i].value;
    }
  }
  for (size_t i = 0; i < first.info.size(); ++i)
    if (keep[i] && !is_total_label(first.info[i].label)) run.info.push_back(first.info[i]);

  Totals sum;
  for (const ReportFacts& part : parts) {
    const Totals t = part_totals(part);
    sum.passed += t.passed;
    sum.failed += t.failed;
    sum.total += t.total;
  }
  run.info.push_back({kWordPassed, std::to_string(sum.passed), CELL_PLAIN});
  run.info.push_back(
      {kWordFailed, std::to_string(sum.failed), sum.failed > 0 ? CELL_FAILED : CELL_PLAIN});
  run.info.push_back({kWordTotal, std::to_string(sum.total), CELL_PLAIN});
  run.stated = sum;
  run.totals_stated = true;
}

// The node that stands for report k, before its own nodes are read below it.
uint32_t add_report_node(TestRun& run, const char* name,
                         std::unordered_map<std::string_view, uint32_t, TextHash>& seen) {
  TestNode n{};
  n.name = run.texts.add(name);
  n.title = nullptr;  // "Report" and the name
  n.anchor = "";
  n.parent = -1;
  n.driver = kNone;
  n.type = run_type(run, "Report");
  n.twin = ++seen[n.name];
  n.first_row = static_cast<uint32_t>(run.rows.size());
  n.state = STATE_NOT_EXECUTED;
  n.title_style = CELL_PLAIN;
  run.nodes.push_back(n);
  return static_cast<uint32_t>(run.nodes.size() - 1);
}

}  // namespace

int run_read(const std::vector<XrdSource>& reports, const std::vector<const char*>& names,
             TestRun& run, const char** reading, size_t& failed, std::string& error) {
  const bool merged = reports.size() > 1;
  std::vector<ReportFacts> parts(reports.size());
  std::unordered_map<std::string_view, uint32_t, TextHash> seen;
  for (size_t k = 0; k < reports.size(); ++k) {
    if (reading) *reading = names[k];
    const uint32_t top = merged ? add_report_node(run, names[k], seen) : kNone;
    const int32_t parent = merged ? static_cast<int32_t>(top) : -1;
    if (xrd_read(reports[k], run, parent, XRD_WHOLE, parts[k], error) != 0) {
      failed = k;
      return -1;
    }
    const TestCounts& c = parts[k].counted;
    run.counted.tests += c.tests;
    run.counted.passed += c.passed;
    run.counted.failed += c.failed;
    run.counted.not_executed += c.not_executed;
    if (!merged) continue;
    TestNode& n = run.nodes[top];
    n.end = static_cast<uint32_t>(run.nodes.size());
    n.state = c.failed > 0 ? STATE_FAILED : c.passed > 0 ? STATE_PASSED : STATE_NOT_EXECUTED;
    n.title_style = n.state == STATE_FAILED   ? CELL_FAILED
                    : n.state == STATE_PASSED ? CELL_PASSED
                                              : CELL_PLAIN;
  }
  const ReportFacts& first = parts[0];
  run.info_anchor = first.info_anchor;
  run.info_title = first.info_title;
  run.banner = first.banner;
  if (!merged) {
    run.title = first.title;
    run.test_node = first.test_node;
    run.info = first.info;
    run.totals_stated = xrd_stated_totals(first, run.stated);
    return 0;
  }
  run.title = std::to_string(reports.size()) + " reports";
  run.test_node = first.test_node;
  for (const ReportFacts& part : parts)
    if (part.test_node != run.test_node) run.test_node.clear();
  merge_info(parts, run);
  return 0;
}
