// The history's rules: adding a run, keeping the newest runs, and what the
// kept runs say of each test (strip, flaky, new, failing since).
#include "export/model/history.h"

#include <algorithm>
#include <cstring>
#include <utility>

const char kOutcomeLetters[4] = {'P', 'F', 'N', '-'};
const char* const kMarkKeys[4] = {"", "flaky", "new", "failing"};

namespace {

uint64_t identity_hash(std::string_view identity) {
  return hash_bytes(identity.data(), identity.size());
}

// Which outcome an identity recorded twice in one run keeps.
int severity(uint8_t outcome) {
  static const int kSeverity[4] = {2, 3, 1, 0};
  return kSeverity[outcome & 3];
}

void add_identity(History& h, std::string_view identity, uint64_t hash) {
  h.ids.append(identity.data(), identity.size());
  h.id_end.push_back(h.ids.size());
  h.index.insert_if(hash, hash, [](const auto&) { return false; }) = history_tests(h);
}

}  // namespace

void history_build_index(History& h) {
  h.index = FlatMap<uint64_t, uint32_t, StoredHash>();
  for (uint32_t t = 0; t < history_tests(h); ++t) {
    const uint64_t hash = identity_hash(history_identity(h, t));
    h.index.insert_if(hash, hash, [](const auto&) { return false; }) = t + 1;
  }
}

void history_rename(History& h, const std::vector<std::pair<uint32_t, std::string>>& renames) {
  std::vector<const std::string*> renamed(history_tests(h), nullptr);
  for (const auto& r : renames) renamed[r.first] = &r.second;
  std::string ids;
  std::vector<uint64_t> id_end;
  id_end.reserve(h.id_end.size());
  for (uint32_t t = 0; t < history_tests(h); ++t) {
    const std::string_view id = renamed[t] ? std::string_view(*renamed[t]) : history_identity(h, t);
    ids.append(id.data(), id.size());
    id_end.push_back(ids.size());
  }
  h.ids = std::move(ids);
  h.id_end = std::move(id_end);
  history_build_index(h);
}

uint32_t history_find(const History& h, std::string_view identity) {
  const uint64_t hash = identity_hash(identity);
  const uint32_t* found = h.index.find_if(hash, [&](const auto& slot) {
    return slot.key == hash && history_identity(h, slot.value - 1) == identity;
  });
  return found ? *found - 1 : kNoTest;
}

void history_start_run(History& h, std::string label, const HistoryTotals& totals) {
  // Each test's row grows by one cell, moved in place from the last row down.
  const size_t tests = history_tests(h), before = h.runs.size(), after = before + 1;
  h.cells.resize(tests * after);
  for (size_t t = tests; t-- > 0;) {
    std::memmove(h.cells.data() + t * after, h.cells.data() + t * before, before);
    h.cells[t * after + before] = OUTCOME_ABSENT;
  }
  label.resize(history_label_cut(label).size());
  h.runs.push_back(HistoryRun{std::move(label), totals});
}

void history_record(History& h, std::string_view identity, HistoryOutcome outcome) {
  if (h.runs.empty() || outcome >= OUTCOME_ABSENT) return;
  const size_t stride = h.runs.size();
  uint32_t test = history_find(h, identity);
  if (test == kNoTest) {
    test = history_tests(h);
    add_identity(h, identity, identity_hash(identity));
    h.cells.resize(h.cells.size() + stride, OUTCOME_ABSENT);
  }
  uint8_t& cell = h.cells[size_t{test} * stride + stride - 1];
  if (severity(outcome) > severity(cell)) cell = outcome;
}

void history_keep(History& h, size_t runs) {
  const size_t before = h.runs.size(), tests = history_tests(h);
  if (runs >= before) return;
  const size_t drop = before - runs;
  h.runs.erase(h.runs.begin(), h.runs.begin() + static_cast<std::ptrdiff_t>(drop));
  // The tests kept move down in place, rows and identities alike.
  size_t kept = 0, id_to = 0, id_from = 0;
  for (size_t t = 0; t < tests; ++t) {
    const uint8_t* row = h.cells.data() + t * before + drop;
    const size_t id_end = h.id_end[t];
    if (std::any_of(row, row + runs, [](uint8_t c) { return c != OUTCOME_ABSENT; })) {
      std::memmove(h.cells.data() + kept * runs, row, runs);
      std::memmove(h.ids.data() + id_to, h.ids.data() + id_from, id_end - id_from);
      id_to += id_end - id_from;
      h.id_end[kept++] = id_to;
    }
    id_from = id_end;
  }
  h.cells.resize(kept * runs);
  h.ids.resize(id_to);
  h.id_end.resize(kept);
  if (kept < tests) history_build_index(h);
}

HistoryTrend history_trend(const History& h, uint32_t test) {
  HistoryTrend t;
  const size_t runs = h.runs.size();
  if (runs == 0) return t;
  const HistoryOutcome* row = history_outcomes(h, test);
  t.now = row[runs - 1];
  if (runs >= 2) t.before = row[runs - 2];
  HistoryOutcome last = OUTCOME_ABSENT;
  for (size_t r = 0; r < runs; ++r) {
    if (row[r] != OUTCOME_PASSED && row[r] != OUTCOME_FAILED) continue;
    ++t.ran;
    if (last != OUTCOME_ABSENT && row[r] != last) ++t.flips;
    last = row[r];
  }
  for (size_t r = runs; r > 0 && row[r - 1] == OUTCOME_FAILED; --r) {
    ++t.failing;
    t.failing_since = static_cast<uint32_t>(r - 1);
  }
  t.flaky = history_flaky(t.flips);
  return t;
}

HistoryMark history_mark(const HistoryTrend& t) {
  if (t.now == OUTCOME_ABSENT) return MARK_NONE;
  if (t.flaky) return MARK_FLAKY;
  if (t.before == OUTCOME_ABSENT) return MARK_NEW;
  if (t.failing > 0) return MARK_FAILING;
  return MARK_NONE;
}

std::string history_mark_text(const History& h, const HistoryTrend& t) {
  switch (history_mark(t)) {
    case MARK_FLAKY:
      return "flaky (" + std::to_string(t.flips) + " flips in " + std::to_string(t.ran) + " runs)";
    case MARK_NEW:
      return "new";
    case MARK_FAILING:
      return "failing since " + h.runs[t.failing_since].label + " (" + std::to_string(t.failing) +
             (t.failing == 1 ? " run)" : " runs)");
    case MARK_NONE:
      break;
  }
  return std::string();
}

std::string history_strip(const History& h, uint32_t test, size_t last) {
  const size_t runs = h.runs.size(), from = runs > last ? runs - last : 0;
  const HistoryOutcome* row = history_outcomes(h, test);
  std::string strip;
  strip.reserve(runs - from);
  for (size_t r = from; r < runs; ++r) strip += kOutcomeLetters[row[r]];
  return strip;
}

std::vector<uint32_t> history_flakiest(const History& h, size_t limit) {
  struct Flaky {
    uint32_t test, flips, ran;
  };
  std::vector<Flaky> found;
  for (uint32_t test = 0; test < history_tests(h); ++test) {
    const HistoryTrend t = history_trend(h, test);
    if (t.flaky && t.now != OUTCOME_ABSENT) found.push_back({test, t.flips, t.ran});
  }
  const auto first = [&](const Flaky& a, const Flaky& b) {
    if (a.flips != b.flips) return a.flips > b.flips;
    if (a.ran != b.ran) return a.ran < b.ran;
    return history_identity(h, a.test) < history_identity(h, b.test);
  };
  const size_t n = std::min(limit, found.size());
  std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), found.end(),
                    first);
  std::vector<uint32_t> tests;
  tests.reserve(n);
  for (size_t k = 0; k < n; ++k) tests.push_back(found[k].test);
  return tests;
}
