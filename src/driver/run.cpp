// The command line and the fixed run sequence of one tallyrep run.
#include "driver/run.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "driver/errors.h"
#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/tsffile.h"
#include "report/banner.h"
#include "report/jresfile.h"

namespace {
bool is_word(const char* arg, const char* word) {
  return std::strcmp(arg, word) == 0;
}

// True when `path` names the very file `report` describes (links included).
bool same_file(const char* path, const struct stat& report) {
  struct stat st;
  return path && *path && ::stat(path, &st) == 0 && st.st_dev == report.st_dev &&
         st.st_ino == report.st_ino;
}
}  // namespace

bool report_names_an_input(const CommandLine& cmd) {
  struct stat report;
  // Writing to a device or a FIFO destroys no file.
  if (::stat(cmd.xrd_file, &report) != 0 || !S_ISREG(report.st_mode)) return false;
  if (same_file(cmd.tdf_file, report)) return true;
  for (const char* tsf : cmd.tsf_files) {
    if (same_file(tsf, report)) return true;
  }
  return same_file(std::getenv("KSPX_WORKSHOP_HEADER_FILE"), report);
}

bool parse_command_line(int argc, const char* const* argv, CommandLine* cmd) {
  *cmd = CommandLine();
  int options = 0;
  bool name_missing = false;
  // -xrd and -tdf each take one name, in this order after the TSF names.
  const std::pair<const char*, const char**> names[2] = {{"-xrd", &cmd->xrd_file},
                                                         {"-tdf", &cmd->tdf_file}};
  int p = 1;
  while (p < argc) {
    if (is_word(argv[p], "-tsf")) {
      ++options;
      ++p;
      while (p < argc && !is_word(argv[p], "-xrd") && !is_word(argv[p], "-tdf")) {
        cmd->tsf_files.push_back(argv[p]);
        ++p;
      }
    }
    for (const auto& [word, name] : names) {
      if (p < argc && is_word(argv[p], word)) {
        ++options;
        ++p;
        if (p < argc) {
          *name = argv[p];
        } else {
          name_missing = true;
        }
      }
    }
    ++p;
  }
  cmd->tsf_count = static_cast<int>(cmd->tsf_files.size());
  return options == 3 && cmd->xrd_file && cmd->tdf_file && !name_missing;
}

void print_banner() {
  std::fprintf(stderr, "%s %s %s\n", kProductName, kProductKind, kProductVersion);
  std::fprintf(stderr, "%s %s\n", kCopyright, kRights);
}

void print_usage(const char* program) {
  std::fprintf(stderr, "\nUsage: %s %s <tsfFile> %s <tdfFile> %s <xrdFile>\n", program, "-tsf",
               "-tdf", "-xrd");
  std::fputs("         <tsfFile>     Trace static filename\n", stderr);
  std::fputs("         <tdfFile>     Trace dynamic filename\n", stderr);
  std::fputs("         <xrdFile>     Results filename\n\n", stderr);
}

bool file_exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

int tallyrep_main(int argc, const char* const* argv) {
  print_banner();
  CommandLine cmd;
  if (!parse_command_line(argc, argv, &cmd)) {
    print_usage(argc > 0 ? argv[0] : "tallyrep");
    return -1;
  }
  bool missing = false;
  if (!file_exists(cmd.tdf_file)) {
    diag_report(DIAG_NO_FILE, cmd.tdf_file);
    missing = true;
  }
  for (const char* tsf : cmd.tsf_files) {
    if (!file_exists(tsf)) {
      diag_report(DIAG_NO_FILE, tsf);
      missing = true;
    }
  }
  if (missing) return -1;
  // A report over its own input would lose that input for good.
  if (report_names_an_input(cmd)) {
    diag_report(DIAG_NO_PERMISSION, cmd.xrd_file);
    return -1;
  }

  tree_init();
  int32_t driver_counter = 0;
  for (const char* tsf : cmd.tsf_files) {
    int result = tsf_read(tsf, &driver_counter);
    if (result != 0) {
      diag_report(DIAG_BAD_FORMAT, tsf);
      return result;
    }
  }
  if (tdf_read(cmd.tdf_file) != 0) {
    diag_report(DIAG_BAD_FORMAT, cmd.tdf_file);
    return -1;
  }
  tree_rollup();
  if (report_write(cmd.xrd_file) != 0) {
    diag_report(DIAG_NO_PERMISSION, cmd.xrd_file);
    return -1;
  }
  tree_free();
  return 0;
}
