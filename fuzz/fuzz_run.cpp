// Fuzz target: a whole run. The input is cut into a TSF, a TDF and a header
// file (separated by kPartSeparator); the files are read through their paths,
// rolled up and reported to a file, and the report must be well-formed XML.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/tsffile.h"
#include "report/driver_block.h"
#include "report/jresfile.h"

namespace {

struct RunFiles {
  MemFile tsf = memfile_create("tsf");
  MemFile tdf = memfile_create("tdf");
  MemFile header = memfile_create("header");
  MemFile xrd = memfile_create("xrd");
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const RunFiles files;
  RunParts parts = split_run_input(data, size);
  memfile_set(files.tsf, parts.tsf, parts.tsf_size);
  memfile_set(files.tdf, parts.tdf, parts.tdf_size);
  // A descriptor link is written in place at its end, so the last report goes first.
  memfile_set(files.xrd, nullptr, 0);
  if (parts.header) {
    memfile_set(files.header, parts.header, parts.header_size);
    setenv("KSPX_WORKSHOP_HEADER_FILE", files.header.path.c_str(), 1);
  } else {
    unsetenv("KSPX_WORKSHOP_HEADER_FILE");
  }

  tree_init();
  int32_t counter = 0;
  if (tsf_read(files.tsf.path.c_str(), &counter) != 0) fuzz_fail("tsf_read failed on a file");
  if (tdf_read(files.tdf.path.c_str()) != 0) fuzz_fail("tdf_read failed on a file");
  tree_rollup();
  model_check();
  if (report_write(files.xrd.path.c_str()) != 0) fuzz_fail("report_write failed");
  tree_free();

  std::string fault = xml_check(memfile_get(files.xrd));
  if (!fault.empty()) fuzz_fail("report is not well-formed: " + fault);
  return 0;
}
