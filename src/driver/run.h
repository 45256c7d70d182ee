// The command line of tallyrep and the run sequence that drives one report.
#pragma once

#include <vector>

struct CommandLine {
  std::vector<const char*> tsf_files;  // the argument strings themselves
  int tsf_count = 0;
  const char* tdf_file = nullptr;
  const char* xrd_file = nullptr;
};

// Fills `cmd` from the arguments after the program name; true when good.
bool parse_command_line(int argc, const char* const* argv, CommandLine* cmd);
// Writes the banner (two lines) to standard error.
void print_banner();
// Writes the usage text for `program` to standard error.
void print_usage(const char* program);
// True when the system can report the status of `path` (file or directory).
bool file_exists(const char* path);
// True when the report names an existing regular file that is also the TDF, a
// TSF or the header file (the same file under any name or link).
bool report_names_an_input(const CommandLine& cmd);
// The whole run: banner, command line, input checks, read, roll-up, report.
// Returns the exit status (0, -1, or the failing reader's result).
int tallyrep_main(int argc, const char* const* argv);
