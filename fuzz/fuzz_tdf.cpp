// Fuzz target: the TDF reader over a byte buffer, merged into a fixed model of
// three drivers, then the roll-up and a check of the model's links; first,
// every record read on the one-pass road against the scanners' reading.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/trace_stream.h"
#include "readers/tsffile.h"
#include "report/jresfile.h"

namespace {

void compare_record_reads(const uint8_t* data, size_t size) {
  TraceStream fast, scanned;
  stream_open_buffer(fast, reinterpret_cast<const char*>(data), size);
  stream_open_buffer(scanned, reinterpret_cast<const char*>(data), size);
  while (!scanned.eof) {
    const TdfRecord want = tdf_scan_record(scanned);
    const TdfRecord got = tdf_parse_record(fast);
    if (got.kind != want.kind || got.run != want.run || got.sig1 != want.sig1 ||
        got.sig2 != want.sig2 || got.line != want.line || got.instance != want.instance ||
        got.status != want.status)
      fuzz_fail("the one-pass record differs from the scanners' one");
    if (fast.pos != scanned.pos || fast.eof != scanned.eof)
      fuzz_fail("the one-pass read stopped elsewhere than the scanners");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  compare_record_reads(data, size);
  tree_init();
  int32_t counter = 0;
  if (tsf_read_buffer(kFixedTsf, std::strlen(kFixedTsf), "fixed.tsf", &counter) != 0 ||
      counter != 3)
    fuzz_fail("the fixed TSF did not give three drivers");
  if (tdf_read_buffer(reinterpret_cast<const char*>(data), size) != 0)
    fuzz_fail("tdf_read_buffer failed on a buffer");
  tree_rollup();
  model_check();
  int passed = 0;
  int failed = 0;
  count_all_verdicts(&passed, &failed);
  if (passed < 0 || failed < 0) fuzz_fail("negative verdict count");
  tree_free();
  return 0;
}
