// Helpers shared by the fuzz targets: in-memory files with a path, the split of
// one input into trace parts, and a well-formedness check of the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file that lives in memory (memfd) but has a path other code can open.
struct MemFile {
  int fd = -1;
  std::string path;  // "/proc/self/fd/<fd>"
};

// Creates the file once; aborts the fuzzer when the system has no memfd.
MemFile memfile_create(const char* name);
// Replaces the file's content.
void memfile_set(const MemFile& file, const uint8_t* data, size_t size);
// The whole content.
std::string memfile_get(const MemFile& file);

// The separator between the parts of a whole-run input: TSF, TDF, header.
constexpr char kPartSeparator[] = "\n-8<-\n";

struct RunParts {
  const uint8_t* tsf = nullptr;
  size_t tsf_size = 0;
  const uint8_t* tdf = nullptr;
  size_t tdf_size = 0;
  const uint8_t* header = nullptr;  // null: no header file at all
  size_t header_size = 0;
};

// Cuts the input at the first two separators; missing parts are empty (the
// header part absent).
RunParts split_run_input(const uint8_t* data, size_t size);

// An empty string when `doc` is well-formed XML as the report writes it
// (declaration, balanced elements, quoted attributes, character references
// only, no byte XML cannot carry); otherwise what is wrong and where.
std::string xml_check(const std::string& doc);

// Prints `message` and aborts, so libFuzzer records the input as a crash.
[[noreturn]] void fuzz_fail(const std::string& message);

// The TSF the TDF target reads its runs against: two drivers, all node kinds.
extern const char kFixedTsf[];

// Checks the links of every driver's tree (parent, first and last child), the
// texts, types and statuses; aborts on the first fault.
void model_check();
