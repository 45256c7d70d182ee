// The Common Test Report Format (CTRF): every test JUnit lists, by its path,
// with its status, suites, place and failure, and with a history its flakiness.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/model/failed_checks.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/json_writer.h"
#include "export/write/writers.h"
#include "report/vocabulary.h"

namespace {

// CTRF has no status for a test that did not run but "skipped"; "pending"
// means one still to run.
const char* const kCtrfStatus[kStates] = {"passed", "failed", "skipped"};

// The report states no times of its own, only when it was written ("Thu Dec
// 10 00:11:22 2026", local time, in English whatever the locale): both ends
// of the run are that, in milliseconds since the epoch; 0 when it states
// none, as merged reports written at different times do.
long long generation_ms(const TestRun& run) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  for (const InfoRow& row : run.info) {
    if (row.label != kWordGenerationTime) continue;
    char month[4] = {};
    std::tm when{};
    if (std::sscanf(row.value.c_str(), "%*3s %3s %d %d:%d:%d %d", month, &when.tm_mday,
                    &when.tm_hour, &when.tm_min, &when.tm_sec, &when.tm_year) != 6)
      return 0;
    const char* at = std::strlen(month) == 3 ? std::strstr(kMonths, month) : nullptr;
    if (!at || (at - kMonths) % 3 != 0) return 0;
    when.tm_mon = static_cast<int>(at - kMonths) / 3;
    when.tm_year -= 1900;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<long long>(t) * 1000;
  }
  return 0;
}

// Calls visit(i, classname) for every test below a driver, in run order.
template <class Visit>
void each_test(const TestRun& run, Visit visit) {
  for (const Driver& d : run.drivers) each_driver_test(run, d.node, visit);
}

// A test's name is its identity; two tests of one identity (a name that
// holds a '/', or one spelled like a twin: "t (2)") are told apart by " (2)",
// " (3)"... after it. Each name's next number is kept, so that many tests of
// one identity cost what as many others do.
class UniqueNames {
 public:
  std::string_view name(std::string_view identity) {
    if (add(identity)) return identity;
    uint32_t& next = next_[texts_.add(identity)];
    if (next < 2) next = 2;
    for (;;) {
      made_.assign(identity);
      made_ += " (" + std::to_string(next++) + ")";
      if (add(made_)) return made_;
    }
  }

 private:
  bool add(std::string_view text) {
    const uint32_t before = texts_.size();
    texts_.add(text);
    return texts_.size() > before;
  }
  TextTable texts_;
  std::unordered_map<uint32_t, uint32_t> next_;
  std::string made_;
};

// From the top-level suite (the driver) down to the test's parent; a path too
// long for a classname goes as one name cut as classnames are.
void suite(JsonWriter& json, const std::vector<std::string_view>& names) {
  json.key("suite");
  json.open_array(JSON_INLINE);
  std::string parent;
  for (size_t k = 0; k + 1 < names.size(); ++k) {
    if (k > 0) parent += '/';
    parent += names[k];
  }
  if (parent.size() > kPathCut.limit) {
    json.string(text_shorten(parent, kPathCut));
  } else {
    for (size_t k = 0; k + 1 < names.size(); ++k) json.string(names[k]);
  }
  json.close();
}

// The newest kCtrfOutcomes runs' outcomes, oldest first, in the statuses'
// words; "absent" for a run the test was not in.
void recent_outcomes(JsonWriter& json, const TestRun& run, uint32_t i) {
  const History& h = run.history.kept;
  const HistoryOutcome* outcomes = history_outcomes(h, run.history.test_of_node[i]);
  const size_t runs = h.runs.size();
  json.key("extra");
  json.open_object(JSON_INLINE);
  json.key("tallyrep.recentOutcomes");
  json.open_array(JSON_INLINE);
  for (size_t r = runs > kCtrfOutcomes ? runs - kCtrfOutcomes : 0; r < runs; ++r)
    json.string(outcomes[r] < kStates ? kCtrfStatus[outcomes[r]] : "absent");
  json.close();
  json.close();
}

void test(JsonWriter& json, const TestRun& run, uint32_t i, std::string_view classname,
          std::string_view name, const std::vector<std::string_view>& names) {
  const TestNode& n = run.nodes[i];
  json.open_object(JSON_INLINE);
  json.member("name", name);
  json.member("status", kCtrfStatus[n.state]);
  json.member("duration", 0);
  suite(json, names);
  json.member("type", run.types[n.type]);
  if (const Row* row = located_check(run, n)) {
    const CheckPlace place = check_place(run, *row);
    json.member("filePath", place.path);
    if (place.line > 0) json.member("line", static_cast<unsigned long long>(place.line));
  }
  if (n.state == STATE_FAILED) {
    json.member("message", failure_message(run, n));
    json.member("trace", failure_text(run, i, classname));
  }
  if (run.with_history) {
    json.member("flaky", run_trend(run, i).flaky);
    recent_outcomes(json, run, i);
  }
  json.close();
}

}  // namespace

void ctrf_report(OutBuffer& out, const TestRun& run) {
  TestCounts counts;
  unsigned long long flaky = 0;
  each_test(run, [&](uint32_t i, std::string_view) {
    counts_add(counts, run.nodes[i].state);
    if (run.with_history && run_trend(run, i).flaky) ++flaky;
  });
  const long long when = generation_ms(run);

  JsonWriter json(out);
  json.open_object(JSON_BLOCK);
  json.member("reportFormat", "CTRF");
  json.member("specVersion", kCtrfSpecVersion);
  json.key("results");
  json.open_object(JSON_BLOCK);
  json.key("tool");
  json.open_object(JSON_INLINE);
  json.member("name", "tallyrep");
  json.member("version", TALLYREP_VERSION);
  json.close();
  json.key("summary");
  json.open_object(JSON_INLINE);
  json.member("tests", counts.tests);
  json.member("passed", counts.passed);
  json.member("failed", counts.failed);
  json.member("skipped", counts.not_executed);
  json.member("pending", 0);
  json.member("other", 0);
  if (run.with_history) json.member("flaky", flaky);
  json.member("start", when);
  json.member("stop", when);
  json.close();
  json.key("tests");
  json.open_array(JSON_BLOCK);
  PathCursor paths(run, PATH_NAMES, kPathCut);
  UniqueNames unique;
  std::vector<std::string_view> names;
  each_test(run, [&](uint32_t i, std::string_view classname) {
    const std::string_view identity = paths.identity(i);
    paths.names(names);
    test(json, run, i, classname, unique.name(identity), names);
  });
  json.close();
  json.close();
  json.close();
  out_put(out, '\n');
}
