// Reading the reports of a run (merging what several say of themselves) and
// its baseline.
#include "export/read/run_reports.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "base/hash.h"
#include "export/model/compare.h"
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

// Several reports may run one driver: shards that each ran some of its tests,
// or reports that ran the same tests again. Every node keeps the path it has
// in its own report, so shards name their tests as an unsplit run does; a
// suite or class of one path in several reports is one section of the run.
// Only a test whose path an earlier-named report holds too (as a test or a
// section), or a section whose path is an earlier report's test, is told
// apart: it goes by " (2)", " (3)"..., one more than the highest number its
// name has under that parent so far, and the nodes below it follow. Paths are
// numbered by their parent's number and their last name, so each node is
// looked at once.
class ShardPaths {
 public:
  void number(TestRun& run, uint32_t top, uint32_t report) {
    const uint32_t end = run.nodes[top].end;
    path_of_.resize(end - top);
    for (uint32_t i = top + 1; i < end; ++i) {
      TestNode& n = run.nodes[i];
      const uint32_t above =
          static_cast<uint32_t>(n.parent) == top ? kNone : path_of_[n.parent - top];
      const std::string_view name = *n.name ? n.name : run.types[n.type];
      const bool test = is_test(run, n);
      uint32_t& highest = highest_[Step{above, name, 0}];
      auto [it, added] =
          paths_.emplace(Step{above, name, n.twin}, static_cast<uint32_t>(owners_.size()));
      if (!added) {
        Owner& owner = owners_[it->second];
        // A node of the same report here took a number freed by a clash.
        if (owner.report == report || owner.test || test) {
          n.twin = highest + 1;
          it = paths_.emplace(Step{above, name, n.twin}, static_cast<uint32_t>(owners_.size()))
                   .first;
          added = true;
        } else {
          owner.report = report;
          n.repeated = true;
        }
      }
      if (added) owners_.push_back({report, test});
      highest = std::max(highest, n.twin);
      path_of_[i - top] = it->second;
    }
  }

 private:
  struct Step {
    uint32_t above;  // the parent's path; kNone for a driver
    std::string_view name;
    uint32_t twin;
    bool operator==(const Step& o) const {
      return above == o.above && twin == o.twin && name == o.name;
    }
  };
  struct StepHash {
    size_t operator()(const Step& k) const {
      return hash_combine(TextHash()(k.name), (uint64_t{k.above} << 32) | k.twin);
    }
  };
  // The report that last had a path, and whether a test had it.
  struct Owner {
    uint32_t report;
    bool test;
  };

  std::unordered_map<Step, uint32_t, StepHash> paths_;    // the number of each path
  std::unordered_map<Step, uint32_t, StepHash> highest_;  // by parent and name (twin 0)
  std::vector<Owner> owners_;                             // by path number
  std::vector<uint32_t> path_of_;  // the path of each node of the report at hand
};

}  // namespace

int run_read(const std::vector<XrdSource>& reports, const std::vector<const char*>& names,
             TestRun& run, const char** reading, size_t& failed, std::string& error) {
  const bool merged = reports.size() > 1;
  std::vector<size_t> order(reports.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return std::strcmp(names[a], names[b]) < 0; });
  std::vector<ReportFacts> parts(reports.size());
  std::unordered_map<std::string_view, uint32_t, TextHash> seen;
  ShardPaths paths;
  for (size_t at = 0; at < order.size(); ++at) {
    const size_t k = order[at];
    if (reading) *reading = names[k];
    const uint32_t top = merged ? add_report_node(run, names[k], seen) : kNone;
    const int32_t parent = merged ? static_cast<int32_t>(top) : -1;
    if (xrd_read(reports[k], run, parent, XRD_WHOLE, parts[at], error) != 0) {
      failed = k;
      return -1;
    }
    const TestCounts& c = parts[at].counted;
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
    paths.number(run, top, static_cast<uint32_t>(at));
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

int compare_with_baseline(TestRun& run, XrdSource source, const std::string& name,
                          std::string& error) {
  TestRun baseline;
  ReportFacts facts;
  if (xrd_read(source, baseline, -1, XRD_TREE, facts, error) != 0) return -1;
  compare_runs(run, baseline, name);
  return 0;
}
