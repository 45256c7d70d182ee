// The exporter's outputs, each declared once: its option, its lines in the
// usage text, whether it may go to standard output, and its writer. The
// parser, the usage text, the same-file guard, main and the fuzz target read
// this table, so that a new output is its writer, one row, a test and docs.
//
// The layer export/write: every output from a const TestRun& alone, through
// the escapes of escape.h (valid UTF-8 and literal text whatever the report
// held) and the streaming XmlWriter and JsonWriter; each output is written
// whole or not at all. A writer works out no meaning that another needs:
// what two outputs share is in export/model.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/out_buffer.h"
#include "export/model/test_run.h"
#include "export/write/writers.h"

// What writers read besides the run: the settings of their own options.
struct OutputSettings {
  bool junit_locations = false;            // --junit-locations
  size_t markdown_limit = kMarkdownLimit;  // --markdown-limit
  std::string more_in;                     // the annotations' pointer to where the rest can be read
  uint64_t part_bytes = 0;                 // --junit-max-bytes; 0: one file
};

struct OutputKind {
  const char* flag;      // "--html"
  const char* argument;  // "OUT.html"; nullptr: a switch, written to standard output
  // The usage text's synopsis of the output and its own options, and its
  // lines of help, each line ending in '\n'.
  const char* synopsis;
  const char* help;
  bool may_be_stdout;  // "-" names standard output
  bool appends;        // --markdown-append adds it at the end of its file
  void (*write)(OutBuffer& out, const TestRun& run, const OutputSettings& settings);
  // With part_bytes, writes the output as PATH-1.EXT, PATH-2.EXT... instead
  // (nullptr: the output is one file whatever its size).
  int (*write_parts)(const TestRun& run, const char* path, const OutputSettings& settings,
                     std::string& error);
};

constexpr size_t kOutputCount = 7;
// In the order they are written.
extern const OutputKind kOutputs[kOutputCount];

// The row of `flag`, or nullptr.
const OutputKind* output_kind(std::string_view flag);

// The JUnit parts of --junit-max-bytes: each under settings.part_bytes, a
// whole document, no suite split; parts left from an earlier run numbered
// past the last are removed. 0, or -1 with the reason in error, nothing
// written when a suite alone is too large.
int junit_parts_write(const TestRun& run, const char* path, const OutputSettings& settings,
                      std::string& error);
// Part k of path: "out.xml" gives "out-1.xml".
std::string junit_part_name(const char* path, size_t k);

// Writes the output to path ("-": standard output, when the kind allows it;
// always, for a switch), whole or not at all (output_file.h), at the end of
// the file when `append` and the kind appends. 0, or -1 with the reason in
// error.
int output_write(const OutputKind& kind, const TestRun& run, const char* path, bool append,
                 const OutputSettings& settings, std::string& error);
