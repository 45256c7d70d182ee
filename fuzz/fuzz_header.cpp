// Fuzz target: the header file named by KSPX_WORKSHOP_HEADER_FILE, read from a
// file in memory, its values checked and shown in the report's information section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/out_buffer.h"
#include "fuzz_support.h"
#include "model/tree.h"
#include "report/driver_block.h"
#include "report/header.h"
#include "report/jresfile.h"

namespace {

const MemFile& header_file() {
  static const MemFile file = [] {
    MemFile f = memfile_create("header");
    setenv("KSPX_WORKSHOP_HEADER_FILE", f.path.c_str(), 1);
    return f;
  }();
  return file;
}

// Values end at the first line feed and tab and at a ";" comment.
void check_value(const char* value) {
  if (!value) return;
  if (std::strpbrk(value, "\n\t;")) fuzz_fail(std::string("value keeps a cut character: ") + value);
  size_t n = std::strlen(value);
  if (n > 0 && (value[0] == ' ' || value[n - 1] == ' ')) fuzz_fail("value not trimmed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MemFile& file = header_file();
  memfile_set(file, data, size);
  if (!header_load()) fuzz_fail("header_load could not open the header file");
  check_value(get_project_name());
  check_value(get_test_node_name());
  check_value(get_workspace_name());
  check_value(get_configuration());
  if (const char* project_file = get_project_file()) {
    size_t n = std::strlen(project_file);
    if (n < 4 || std::strcmp(project_file + n - 4, ".kvp") != 0)
      fuzz_fail("project file does not end in .kvp");
    for (size_t i = 1; i < n; ++i) {
      bool sep = project_file[i] == '/' || project_file[i] == '\\';
      bool prev = project_file[i - 1] == '/' || project_file[i - 1] == '\\';
      if (sep && prev) fuzz_fail("separator run left in the project file");
    }
  }
  header_release();
  if (get_project_name() || get_project_file() || get_test_node_name() || get_workspace_name() ||
      get_configuration())
    fuzz_fail("a value survived header_release");

  // The values as the report shows them, with an empty model.
  tree_init();
  // A small sink buffer instead of the writer's megabyte: the fuzzer runs far
  // faster, and the writer's flush-when-full path is taken all the time.
  std::string doc;
  OutBuffer out;
  out_open_string(out, &doc, 512);
  ReportWriter writer{out, 0, "Sun Dec 06 17:57:11 2026"};
  report_write_document(writer, "fuzz.xrd");
  if (!out_close(out)) fuzz_fail("writing to a string failed");
  std::string fault = xml_check(doc);
  if (!fault.empty()) fuzz_fail("report is not well-formed: " + fault);
  tree_free();
  return 0;
}
