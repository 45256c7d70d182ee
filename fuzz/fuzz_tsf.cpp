// Fuzz target: the TSF reader over a byte buffer, then the roll-up and a check
// of the model's links.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "model/tree.h"
#include "readers/tsffile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tree_init();
  int32_t counter = 0;
  if (tsf_read_buffer(reinterpret_cast<const char*>(data), size, "fuzz.tsf", &counter) != 0)
    fuzz_fail("tsf_read_buffer failed on a buffer");
  if (counter < 0) fuzz_fail("driver counter went negative");
  tree_rollup();
  model_check();
  tree_free();
  return 0;
}
