// The command line of tallyrep-export: its options, the usage text, and the
// refusal of file names that would make one output overwrite another file.
//
// The layer export/cli: the program's edge. main.cpp reads the reports, maps
// the checkout, compares, updates the history under its lock, writes each
// output of kOutputs and gates; only this layer prints or chooses an exit
// status, and its one process-wide state is the file named when memory is
// refused.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "export/write/outputs.h"

// The usage text: the synopsis and help of each output of kOutputs, then
// of the other options.
std::string export_usage();

struct ExportOptions {
  std::vector<const char*> reports;
  // Where each output of kOutputs goes, by its place in the table ("-" for
  // standard output); nullptr when it is not asked for.
  const char* outputs[kOutputCount] = {};
  const char* baseline = nullptr;
  const char* source_root = nullptr;  // the folder source files are named below
  const char* history = nullptr;      // the history file read and written back
  size_t history_size = 0;            // the runs it keeps; 0: the default
  const char* run_label = nullptr;    // null: the report's generation time
  size_t markdown_limit = kMarkdownLimit;
  uint64_t junit_max_bytes = 0;  // 0: one JUnit file
  bool markdown_append = false;
  bool junit_locations = false;
  bool check = false;
  bool check_new = false;  // --check=new: only failures new since the previous run
};

// Where the output of `flag` goes, or nullptr.
const char* export_output(const ExportOptions& opts, std::string_view flag);

enum ParseResult { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_USAGE_ERROR };

// Reads argv into opts. A usage error has been printed, with the usage text,
// when PARSE_USAGE_ERROR is returned; PARSE_HELP and PARSE_VERSION print nothing.
ParseResult export_parse_args(int argc, char** argv, ExportOptions& opts);

// Prints the one line of a file's failure; returns exit status 1.
int export_fail(const char* file, const std::string& reason);

// An output that is one of the files read, or one file named by two outputs,
// or a report given twice: 1 with the line printed, else 0. Names that cannot
// be resolved are left to the reading and writing, which say why.
int export_same_file_error(const ExportOptions& opts);
