// The test history across runs: the newest runs' totals and each test's
// outcome in them, kept in one small file that a CI carries from run to run.
//
// Contract
// - A History owns everything it holds: run labels (at most
//   kHistoryLabelBytes) and test identities are copies. An identity is
//   opaque bytes chosen by the caller (the test's identity of test_paths.h,
//   unique within a run); two tests are one test exactly
//   when their identities are the same bytes, so a history of another project
//   simply shares no test with this run. Labels are opaque too (a commit, a
//   pipeline number, a time). Neither is checked for UTF-8: outputs escape.
// - Read the fields freely; change a history only through the functions
//   below, which keep it whole: each identity once, runs.size() outcomes per
//   test, every test present in at least one run. Views and pointers into a
//   history stay valid until its next change.
// - Runs are numbered oldest first, the newest last; tests are numbered
//   0..history_tests()-1 in no set order (the file sorts them).
// - Identities are found through the keyed hash of base/hash.h, so identities
//   crafted to collide cost no more than any others.
// - One update: history_lock, history_read_file, history_start_run,
//   history_record for each test, history_keep, then history_write_file,
//   which replaces the file whole or not at all (output_file.h). The lock
//   makes two updates of one file take turns, so each adds its run to what
//   the other wrote; without it the last to finish would win whole.
//
// The file (all of it little-endian)
//   8 bytes  signature 89 54 52 48 0D 0A 1A 0A ("\x89TRH\r\n\x1a\n")
//   u32      format version, 1
//   u64      payload length P
//   P bytes  payload
//   u32      CRC-32 (zlib's) of the version, the length and the payload
// The payload, every number an unsigned LEB128 varint in its shortest form:
//   R, the runs; then per run, oldest first: label length, label bytes,
//     passed, failed, not executed (the totals the caller gave)
//   T, the tests; then per test, identities in strictly increasing byte
//     order: identity length, identity bytes
//   the outcomes: 2 bits per test and run (HistoryOutcome), test after test in
//     that order and each test's runs oldest first, filling each byte from its
//     low bits; ceil(T * R / 4) bytes, the unused bits of the last one zero.
// 30 runs of 31,000 tests with 84-byte identities take 2.8 MB: identities
// are stored whole, since prefix sharing would let a small forged file claim
// any amount of memory.
//
// Reading checks, in this order, each failure a one-line reason: the
// signature (else "not a test history"), the version, the length against the
// file's size, the checksum, then every count against the bytes that remain
// before anything is allocated for it, identities strictly increasing (so
// each once), no test absent from every run, shortest varints, zero padding,
// nothing after the outcomes. A history read and written again gives the same
// bytes (but for labels past the bound, which reading cuts), and reading one takes memory within a
// small multiple of its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/flat_map.h"
#include "base/out_buffer.h"

// A test's outcome in one run; the first three are numbered as the report
// states of the exporter's model are.
enum HistoryOutcome : uint8_t {
  OUTCOME_PASSED = 0,
  OUTCOME_FAILED = 1,
  OUTCOME_NOT_EXECUTED = 2,
  OUTCOME_ABSENT = 3  // not in that run
};
// One letter each in strips: P, F, N and '-'.
extern const char kOutcomeLetters[4];

constexpr size_t kHistoryDefaultSize = 30;
// The most runs a history keeps (--history-size).
constexpr size_t kHistoryMaxSize = 1000;
// The most bytes of a run's label kept, on writing and on reading: each
// failed test's words repeat the label of the run it has failed since.
constexpr size_t kHistoryLabelBytes = 256;
// label cut to kHistoryLabelBytes at a UTF-8 character's start.
std::string_view history_label_cut(std::string_view label);
// How many of the flakiest tests the summaries list.
constexpr size_t kHistoryFlakiest = 10;

// The totals of a run as the caller states them (the report's own).
struct HistoryTotals {
  uint64_t passed = 0, failed = 0, not_executed = 0;
};

struct HistoryRun {
  std::string label;
  HistoryTotals totals;
};

struct History {
  std::vector<HistoryRun> runs;  // oldest first
  std::string ids;               // the identities end to end
  std::vector<uint64_t> id_end;  // test t's identity ends at ids[id_end[t]]
  std::vector<uint8_t> cells;    // test t's outcome in run r at [t * runs.size() + r]
  FlatMap<uint64_t, uint32_t, StoredHash> index;  // identity's hash -> test + 1
};

// ---- Reading and writing

// Reads the history at `path` into `h`, replacing what it held. A missing
// file gives an empty history. It is opened without blocking and read only
// when it is a regular file whose head (its first 20 bytes) holds, and then
// no further than the head declares. False when the file cannot be read or is not
// a whole history of ours: `error` then holds one line, the reason without
// the file's name, and `h` is empty.
bool history_read_file(const char* path, History& h, std::string& error);
// The same over bytes in memory.
bool history_parse(const char* data, size_t size, History& h, std::string& error);
// Writes the file's bytes for `h` to `out`, or returns them.
void history_write(OutBuffer& out, const History& h);
std::string history_bytes(const History& h);
// Writes `h` to `path`, replacing the file only once the new one is whole.
// False with the reason in `error`; the old file then stays as it was.
bool history_write_file(const History& h, const char* path, std::string& error);

// The lock on a history's updates: the file `path` + ".lock" beside it (made
// when missing, never removed), locked with flock, which the kernel releases
// when the process ends, however it ends. Taken before the history is read
// and held until the process exits, it makes concurrent updates take turns;
// a run that waits longer than kHistoryLockWait seconds fails. The
// descriptor, or -1 with the reason in `error`.
constexpr int kHistoryLockWait = 120;
int history_lock(const char* path, std::string& error);

// ---- Adding a run

// Adds a run as the newest, with every test absent from it so far; its label
// is cut by history_label_cut.
void history_start_run(History& h, std::string label, const HistoryTotals& totals);
// Records a test's outcome in the newest run; a test seen for the first time
// is added. An identity recorded twice in one run keeps the worse outcome
// (failed over passed over not executed); OUTCOME_ABSENT records nothing.
void history_record(History& h, std::string_view identity, HistoryOutcome outcome);
// Keeps the newest `runs` runs and drops the tests absent from all of them.
void history_keep(History& h, size_t runs);
// Gives each test of `renames` its new identity, which no test has yet (each
// test at most once); the others keep theirs.
void history_rename(History& h, const std::vector<std::pair<uint32_t, std::string>>& renames);
// Builds the index of the identities anew, once they were set as a whole.
void history_build_index(History& h);

// ---- Reading a history

inline uint32_t history_tests(const History& h) {
  return static_cast<uint32_t>(h.id_end.size());
}
inline std::string_view history_identity(const History& h, uint32_t test) {
  const uint64_t start = test == 0 ? 0 : h.id_end[test - 1];
  return std::string_view(h.ids.data() + start, h.id_end[test] - start);
}
// Test t's outcomes, runs.size() of them, oldest first.
inline const HistoryOutcome* history_outcomes(const History& h, uint32_t test) {
  return reinterpret_cast<const HistoryOutcome*>(h.cells.data() + size_t{test} * h.runs.size());
}
constexpr uint32_t kNoTest = 0xFFFFFFFF;
// The test of that identity, or kNoTest.
uint32_t history_find(const History& h, std::string_view identity);

// What the kept runs say of one test; the newest run is the one just added.
struct HistoryTrend {
  HistoryOutcome now = OUTCOME_ABSENT;     // in the newest run
  HistoryOutcome before = OUTCOME_ABSENT;  // in the run before it (absent when none)
  uint32_t ran = 0;                        // runs in which it passed or failed
  uint32_t flips = 0;          // changes between passed and failed over those runs, in order
  uint32_t failing = 0;        // the newest runs in a row it failed in (0 unless it fails now)
  uint32_t failing_since = 0;  // the first of those runs (valid when failing > 0)
  bool flaky = false;          // history_flaky(flips)
};
HistoryTrend history_trend(const History& h, uint32_t test);

// Flaky, the one rule every output uses: over the kept runs in which the test
// ran (passed or failed), in order, its outcome changed at least twice. So it
// both passed and failed, and did more than break once (or get fixed once).
// Runs in which it was absent or not executed are skipped, not counted.
inline bool history_flaky(uint32_t flips) {
  return flips >= 2;
}

// The word beside a test of the newest run, the first that applies (none
// for a test absent from it):
//   MARK_FLAKY    "flaky (N flips in M runs)"       flaky; M is `ran`
//   MARK_NEW      "new"                             absent from the run before
//                                                   the newest, or it has none
//   MARK_FAILING  "failing since LABEL (N runs)"    failed in the newest N runs
//                                                   in a row, the first labelled LABEL
//   MARK_NONE     ""                                none of these
enum HistoryMark : uint8_t { MARK_NONE, MARK_FLAKY, MARK_NEW, MARK_FAILING };
// Each mark's key in the JSON summary: "", "flaky", "new", "failing".
extern const char* const kMarkKeys[4];
HistoryMark history_mark(const HistoryTrend& t);
std::string history_mark_text(const History& h, const HistoryTrend& t);

// A failure the gate on what is new counts: failed now, did not fail in the
// run before (absent, not executed or passed, or there is none), not flaky.
inline bool history_new_failure(const HistoryTrend& t) {
  return t.now == OUTCOME_FAILED && t.before != OUTCOME_FAILED && !t.flaky;
}

// Test t's outcomes in the newest `last` runs (all when fewer), oldest first,
// as kOutcomeLetters.
std::string history_strip(const History& h, uint32_t test, size_t last);

// The flaky tests of the newest run, at most `limit`: most flips first, then
// fewer runs ran (the denser flipper), then by identity.
std::vector<uint32_t> history_flakiest(const History& h, size_t limit);
