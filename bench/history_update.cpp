// One update of a test history, timed, for bench/history_bench (and the fuzz
// corpus): reads a list of tests, then the history, adds the run, keeps the
// newest runs and writes the history back.
//
//   history_update HISTORY LABEL LIST [RUNS]
//   history_update HISTORY LABEL --xrd REPORT JSON [RUNS]
//
// LIST holds one record per test: its outcome's letter (P, F or N), its
// identity, a NUL byte. Prints the history's size and the time of each step;
// the update is reading, adding, keeping and writing, not reading the list.
// With --xrd, the report is read once and then, five times in turn, the JSON
// summary written to JSON without a history, the update as tallyrep-export
// makes it (read, add the run by its tests' paths, write), and the JSON
// summary with the history block: the median time of each, in one process, so
// that reading the report, which dwarfs both, does not blur them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/history.h"
#include "export/model/run_history.h"
#include "export/read/run_reports.h"
#include "export/write/outputs.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point& start) {
  const auto now = std::chrono::steady_clock::now();
  const double s = std::chrono::duration<double>(now - start).count();
  start = now;
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int report_mode(char** argv, int argc) {
  const char* history = argv[1];
  const size_t keep = argc == 7 ? std::strtoul(argv[6], nullptr, 10) : kHistoryDefaultSize;
  std::string error;
  TestRun run;
  size_t failed = 0;
  if (run_read({xrd_file(argv[4])}, {argv[4]}, run, nullptr, failed, error) != 0) {
    std::fprintf(stderr, "history_update: %s: %s\n", argv[4], error.c_str());
    return 1;
  }
  std::vector<double> json, update, with_history;
  for (int round = 0; round < 5; ++round) {
    auto clock = std::chrono::steady_clock::now();
    run.with_history = false;
    if (output_write(*output_kind("--json"), run, argv[5], false, {}, error) != 0) break;
    json.push_back(seconds_since(clock));
    History h;
    if (!history_read_file(history, h, error)) break;
    run_history_add(run, std::move(h), argv[2], keep);
    if (!history_write_file(run.history.kept, history, error)) break;
    update.push_back(seconds_since(clock));
    if (output_write(*output_kind("--json"), run, argv[5], false, {}, error) != 0) break;
    with_history.push_back(seconds_since(clock));
  }
  if (!error.empty()) {
    std::fprintf(stderr, "history_update: %s\n", error.c_str());
    return 1;
  }
  std::printf("tests %llu runs %zu json %.4f update %.4f json_history %.4f\n",
              static_cast<unsigned long long>(run.counted.tests), run.history.kept.runs.size(),
              median(json), median(update), median(with_history));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && argc <= 7 && std::strcmp(argv[3], "--xrd") == 0) return report_mode(argv, argc);
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr,
                 "usage: history_update HISTORY LABEL LIST [RUNS]\n"
                 "       history_update HISTORY LABEL --xrd REPORT JSON [RUNS]\n");
    return 2;
  }
  const size_t keep = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : kHistoryDefaultSize;
  std::ifstream in(argv[3], std::ios::binary);
  const std::string list((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "history_update: cannot read %s\n", argv[3]);
    return 1;
  }
  struct Entry {
    std::string_view identity;
    HistoryOutcome outcome;
  };
  std::vector<Entry> tests;
  HistoryTotals totals;
  for (size_t at = 0, end; (end = list.find('\0', at)) != std::string::npos; at = end + 1) {
    const char letter = end > at ? list[at] : 'N';
    const HistoryOutcome outcome = letter == 'P'   ? OUTCOME_PASSED
                                   : letter == 'F' ? OUTCOME_FAILED
                                                   : OUTCOME_NOT_EXECUTED;
    (outcome == OUTCOME_PASSED   ? totals.passed
     : outcome == OUTCOME_FAILED ? totals.failed
                                 : totals.not_executed) += 1;
    tests.push_back({std::string_view(list.data() + at + 1, end > at ? end - at - 1 : 0), outcome});
  }

  auto clock = std::chrono::steady_clock::now();
  const auto start = clock;
  History h;
  std::string error;
  if (!history_read_file(argv[1], h, error)) {
    std::fprintf(stderr, "history_update: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const double read = seconds_since(clock);
  history_start_run(h, argv[2], totals);
  for (const Entry& t : tests) history_record(h, t.identity, t.outcome);
  const double record = seconds_since(clock);
  history_keep(h, keep);
  const double kept = seconds_since(clock);
  if (!history_write_file(h, argv[1], error)) {
    std::fprintf(stderr, "history_update: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const double write = seconds_since(clock);
  const double update = std::chrono::duration<double>(clock - start).count();
  std::ifstream out(argv[1], std::ios::binary | std::ios::ate);
  std::printf(
      "bytes %lld runs %zu tests %u update %.4f read %.4f record %.4f keep %.4f write %.4f\n",
      static_cast<long long>(out.tellg()), h.runs.size(), history_tests(h), update, read, record,
      kept, write);
  return 0;
}
