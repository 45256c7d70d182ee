// Fuzz target: the TDF reader over a byte buffer, merged into a fixed model of
// three drivers, then the roll-up and a check of the model's links.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/tsffile.h"
#include "report/jresfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
