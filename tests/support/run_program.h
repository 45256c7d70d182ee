// Runs a program with arguments, an environment change and captured output, for
// tests that check a binary's exact stderr bytes and exit status.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
  int status = -1;  // exit status 0..255, or -1 when it did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  long peak_rss_kb = 0;
  std::string out;
  std::string err;
};

// Runs `argv[0]` (a path) with `argv`. `cwd` may be empty. `env` entries of the
// form NAME=VALUE are set, NAME alone is unset, in the child only.
ProgramResult run_program(const std::vector<std::string>& argv, const std::string& cwd = "",
                          const std::vector<std::string>& env = {});

// A fresh empty directory under the system's temporary directory.
std::string make_temp_dir();
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
// The names in a folder, hidden ones left out, in the order the folder gives.
std::vector<std::string> names_in(const std::string& dir);
