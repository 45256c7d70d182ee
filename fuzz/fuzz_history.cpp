// Fuzz target: the test history's reader over any bytes, once as they are and
// once with their length and checksum made right, so that the payload's own
// checks are reached. A history that reads must take memory within a small
// multiple of its size, be written back byte for byte (labels past the bound
// cut), and take one more run.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "export/model/history.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "fuzz check failed: %s\n", message.c_str());
  std::abort();
}

bool read_back(const std::string& bytes, History& h, bool must_read) {
  std::string error;
  if (history_parse(bytes.data(), bytes.size(), h, error)) return true;
  if (must_read) fail("a history written does not read back: " + error);
  // The program prints the reason after the file's name, on one line.
  if (error.empty() || error.find('\n') != std::string::npos)
    fail("reason for a rejected history is not one line: '" + error + "'");
  if (history_tests(h) != 0 || !h.runs.empty()) fail("a rejected history is not left empty");
  return false;
}

void check(const std::string& bytes) {
  History h;
  if (!read_back(bytes, h, false)) return;
  if (h.ids.size() > bytes.size() || h.cells.size() > 4 * bytes.size())
    fail("a history holds more than its file's size");
  // Byte for byte, but for labels past the bound, which reading cuts.
  bool cut = false;
  for (const HistoryRun& run : h.runs) cut |= run.label.size() + 4 > kHistoryLabelBytes;
  if (!cut && history_bytes(h) != bytes) fail("a history is not written back byte for byte");
  for (const HistoryRun& run : h.runs)
    if (run.label.size() > kHistoryLabelBytes) fail("a label past the bound");

  const uint32_t tests = history_tests(h);
  for (uint32_t t = 0; t < tests; ++t) {
    if (history_find(h, history_identity(h, t)) != t) fail("a test is not found by its identity");
    const HistoryTrend trend = history_trend(h, t);
    if (trend.flips >= trend.ran && trend.ran > 0) fail("more flips than runs");
    history_mark_text(h, trend);
    if (history_strip(h, t, 30).size() != std::min<size_t>(30, h.runs.size()))
      fail("a strip of the wrong length");
  }
  history_flakiest(h, 10);

  // One more run with every other test and a new one, then a shorter window.
  history_start_run(h, "fuzz", HistoryTotals{1, 1, 1});
  for (uint32_t t = 0; t < tests; t += 2)
    history_record(h, history_identity(h, t), history_outcomes(h, t)[0]);
  history_record(h, "fuzz/new", OUTCOME_FAILED);
  history_keep(h, h.runs.size() / 2 + 1);
  const std::string again = history_bytes(h);
  History back;
  read_back(again, back, true);
  if (history_bytes(back) != again) fail("an updated history changes on reading");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  check(bytes);
  // The length after the 12 bytes of signature and version, the checksum at the end.
  if (size < 24) return 0;
  const uint64_t length = size - 24;
  for (int k = 0; k < 8; ++k) bytes[12 + k] = static_cast<char>(length >> (8 * k));
  const uint32_t crc = static_cast<uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data() + 8), size - 12));
  for (int k = 0; k < 4; ++k) bytes[size - 4 + k] = static_cast<char>(crc >> (8 * k));
  check(bytes);
  return 0;
}
