// The JSON summary for scripts: totals, drivers, and each test with its counts
// and failed checks, written as it goes so that large reports stay cheap.
#include <string_view>
#include <vector>

#include "export/model/compare.h"
#include "export/model/failed_checks.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/json_writer.h"
#include "export/write/writers.h"

namespace {

void add(unsigned long long& sum, unsigned long long value) {
  sum = value > ~0ULL - sum ? ~0ULL : sum + value;
}

void number_or_null(JsonWriter& json, bool known, unsigned long long value) {
  if (known)
    json.number(value);
  else
    json.null();
}

void test_counts(JsonWriter& json, const TestRun& run, const TestNode& n) {
  unsigned long long checks = 0, failed_checks = 0, sums[3] = {0, 0, 0};
  for (const NodeRows::Item item : node_rows(run, n)) {
    const Row& row = item.row;
    if (row.kind != ROW_CHECK) continue;
    ++checks;
    if (row.flags & ROW_FAILED) ++failed_checks;
    const CheckCounts c = check_counts(run, row);
    const uint64_t values[3] = {c.executed, c.failed, c.passed};
    for (int v = 0; v < 3; ++v)
      if (c.known[v]) add(sums[v], values[v]);
  }
  json.open_object(JSON_INLINE);
  json.member("checks", checks);
  json.member("checks_failed", failed_checks);
  json.member("executed", sums[0]);
  json.member("failed", sums[1]);
  json.member("passed", sums[2]);
  json.close();
}

// A failed check: its expression, its location both as annotating tools read
// it and split into file and line, and its own counts.
void failed_check(JsonWriter& json, const TestRun& run, const Row& row) {
  json.open_object(JSON_INLINE);
  json.member("expression", row_text(run, row));
  json.member_or_null("location", row_location(run, row));
  // The file and line every output gives the check (failed_checks.h).
  const CheckPlace place = check_place(run, row);
  json.member_or_null("file", place.path);
  json.key("line");
  number_or_null(json, place.line != 0, place.line);
  const CheckCounts c = check_counts(run, row);
  json.key("executed");
  number_or_null(json, c.known[0], c.executed);
  json.key("failed");
  number_or_null(json, c.known[1], c.failed);
  json.key("passed");
  number_or_null(json, c.known[2], c.passed);
  json.close();
}

void failed_checks(JsonWriter& json, const TestRun& run, const TestNode& n) {
  json.open_array(JSON_INLINE);
  for (const NodeRows::Item check : node_failed_checks(run, n)) failed_check(json, run, check.row);
  json.close();
}

void totals(JsonWriter& json, const TestRun& run) {
  const Totals t = run_totals(run);
  json.open_object(JSON_INLINE);
  json.member("passed", t.passed);
  json.member("failed", t.failed);
  json.member("not_executed", run.counted.not_executed);
  json.member("total", t.total);
  json.close();
}

// Each kind as a list of paths, in the run's order; removed tests by the
// paths they had in the baseline.
void changes(JsonWriter& json, const TestRun& run) {
  const Changes& c = run.changes;
  json.open_object(JSON_BLOCK);
  json.member("baseline", c.baseline);
  json.key("counts");
  json.open_object(JSON_INLINE);
  for (int k = 0; k < CHANGE_KINDS; ++k) json.member(kChangeKeys[k], c.counts[k]);
  json.close();
  for (int k = CHANGE_NONE + 1; k < CHANGE_KINDS; ++k) {
    json.key(kChangeKeys[k]);
    json.open_array(JSON_INLINE);
    each_change(run, static_cast<TestChange>(k), kPathCut, [&](uint32_t, std::string_view path) {
      json.string(path);
      return true;
    });
    json.close();
  }
  json.close();
}

// A test as its history sees it; `status` only where it may not have failed.
void history_test(JsonWriter& json, const TestRun& run, uint32_t i, std::string_view path,
                  bool status) {
  const History& h = run.history.kept;
  const HistoryTrend t = run_trend(run, i);
  json.open_object(JSON_INLINE);
  json.member("path", path);
  if (status) json.member("status", kStateKeys[run.nodes[i].state]);
  json.member("mark", kMarkKeys[history_mark(t)]);
  json.member("words", history_mark_text(h, t));
  json.member("flips", t.flips);
  json.member("ran", t.ran);
  json.member("outcomes", history_strip(h, run.history.test_of_node[i], h.runs.size()));
  json.close();
}

// The kept runs oldest first (this one last), what they say of each failed
// test, and the flakiest tests.
void history(JsonWriter& json, const TestRun& run) {
  const History& h = run.history.kept;
  json.open_object(JSON_BLOCK);
  json.member("size", static_cast<unsigned long long>(run.history.size));
  json.key("runs");
  json.open_array(JSON_BLOCK);
  for (const HistoryRun& r : h.runs) {
    json.open_object(JSON_INLINE);
    json.member("label", r.label);
    json.member("passed", static_cast<unsigned long long>(r.totals.passed));
    json.member("failed", static_cast<unsigned long long>(r.totals.failed));
    json.member("not_executed", static_cast<unsigned long long>(r.totals.not_executed));
    json.close();
  }
  json.close();

  json.key("failed");
  json.open_array(JSON_BLOCK);
  PathCursor path(run, PATH_NAMES, kPathCut);
  for (uint32_t i = 0; i < run.nodes.size(); ++i)
    if (is_test(run, run.nodes[i]) && run.nodes[i].state == STATE_FAILED)
      history_test(json, run, i, path.at(i), false);
  json.close();

  json.key("flakiest");
  json.open_array(JSON_BLOCK);
  for (const FlakyNode& f : run_flakiest_paths(run, kHistoryFlakiest))
    history_test(json, run, f.node, f.path, true);
  json.close();
  json.close();
}

// Driver subtrees never overlap, so counting each one's tests stays linear.
// Drivers of one name (shards of one driver) are one entry.
void drivers(JsonWriter& json, const TestRun& run) {
  json.open_array(JSON_BLOCK);
  PathCursor path(run, PATH_NAMES, kPathCut);
  std::string scratch;
  for (const std::vector<uint32_t>& group : driver_groups(run)) {
    const TestCounts c = group_counts(run, group);
    TestState state = STATE_NOT_EXECUTED;
    for (uint32_t d : group)
      if (state != STATE_FAILED && run.nodes[d].state != STATE_NOT_EXECUTED)
        state = run.nodes[d].state;
    json.open_object(JSON_INLINE);
    json.member("name", unique_name(run, group[0], scratch));
    json.member("path", path.at(group[0]));
    json.member("status", kStateKeys[state]);
    json.key("counts");
    json.open_object(JSON_INLINE);
    json.member("tests", c.tests);
    json.member("passed", c.passed);
    json.member("failed", c.failed);
    json.member("not_executed", c.not_executed);
    json.close();
    json.close();
  }
  json.close();
}

void tests(JsonWriter& json, const TestRun& run) {
  json.open_array(JSON_BLOCK);
  // Drivers come in run order too, each before its tests.
  PathCursor path(run, PATH_NAMES, kPathCut), driver_path(run, PATH_NAMES, kPathCut);
  std::string scratch;
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    const TestNode& n = run.nodes[i];
    if (!is_test(run, n)) continue;
    json.open_object(JSON_INLINE);
    json.member("path", path.at(i));
    json.member("name", unique_name(run, i, scratch));
    json.member("type", run.types[n.type]);
    json.member("driver", driver_path.at(run.drivers[n.driver].node));
    json.member("status", kStateKeys[n.state]);
    if (run.compared) json.member("change", kChangeKeys[n.change]);
    json.key("counts");
    test_counts(json, run, n);
    json.key("failed_checks");
    failed_checks(json, run, n);
    json.close();
  }
  json.close();
}

}  // namespace

void json_summary(OutBuffer& out, const TestRun& run) {
  JsonWriter json(out);
  json.open_object(JSON_BLOCK);
  json.member("schema_version", kSummarySchema);
  json.member("report", run.title);
  json.member_or_null("test_node", run.test_node);
  json.key("totals");
  totals(json, run);
  if (run.compared) {
    json.key("changes");
    changes(json, run);
  }
  if (run.with_history) {
    json.key("history");
    history(json, run);
  }
  json.key("drivers");
  drivers(json, run);
  json.key("tests");
  tests(json, run);
  json.close();
  out_put(out, '\n');
}
