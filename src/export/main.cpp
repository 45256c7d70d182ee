// Entry point of tallyrep-export: reads one XRD report and writes it as an HTML
// page and/or JUnit XML.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "export/escape.h"
#include "export/html_export.h"
#include "export/junit_export.h"
#include "export/xml_memory.h"
#include "export/xrd_read.h"

namespace {

const char* const kUsage =
    "usage: tallyrep-export REPORT.xrd [--html OUT.html] [--junit OUT.xml]\n"
    "  --html OUT.html   write the report as one self-contained HTML page\n"
    "  --junit OUT.xml   write the report as JUnit XML for CI servers\n"
    "  --help            print this text and exit\n"
    "  --version         print the version and exit\n"
    "At least one of --html and --junit is needed.\n";

int usage_error(const char* reason) {
  std::fprintf(stderr, "tallyrep-export: error: %s\n%s", reason, kUsage);
  return 2;
}

int fail(const char* file, const char* reason) {
  std::fprintf(stderr, "tallyrep-export: error: %s: %s\n", file, reason);
  return 1;
}

// An output that is the report, or one file named by both options, would
// destroy the report or one page while the other is written: refused before
// anything is read or written. Names that cannot be resolved are left to the
// reading and writing, which say why.
int same_file_error(const char* report_path, const char* html_path, const char* junit_path) {
  struct stat st;
  bool have_report = ::stat(report_path, &st) == 0;
  OutIdentity report{have_report ? st.st_dev : 0, have_report ? st.st_ino : 0, ""};
  OutIdentity html, junit;
  bool have_html = html_path && out_identity(html_path, html);
  bool have_junit = junit_path && out_identity(junit_path, junit);
  if (have_report && have_html && html == report) return fail(html_path, "is the report itself");
  if (have_report && have_junit && junit == report) return fail(junit_path, "is the report itself");
  if (have_html && have_junit && html == junit)
    return fail(junit_path, "is also the --html output");
  return 0;
}

// What is being read or written: the file named when memory is refused.
const char* current_file = nullptr;

// Throwing std::bad_alloc takes memory of its own, from a pool that the C++
// runtime sets aside at start-up, and that a tight limit may have refused
// too. A block kept from the start is given back at the first refusal, so that
// the throw finds room; without that block nothing has been created yet, and
// the run can end right there.
std::unique_ptr<char[]> spare_memory;

void on_refused_memory() {
  std::set_new_handler(nullptr);
  if (spare_memory) {
    spare_memory.reset();
    throw std::bad_alloc();
  }
  fail(current_file, "out of memory");
  std::_Exit(1);
}

int run(const char* report_path, const char* html_path, const char* junit_path) {
  if (int status = same_file_error(report_path, html_path, junit_path)) return status;
  xml_arena_install();
  XrdReport report;
  std::string error;
  if (xrd_read(report_path, report, error) != 0) return fail(report_path, error.c_str());
  if (html_path) {
    current_file = html_path;
    if (html_write(report, html_path, error) != 0) return fail(html_path, error.c_str());
  }
  if (junit_path) {
    current_file = junit_path;
    if (junit_write(report, junit_path, error) != 0) return fail(junit_path, error.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* report_path = nullptr;
  const char* html_path = nullptr;
  const char* junit_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(a, "--version") == 0) {
      std::puts("tallyrep-export " TALLYREP_VERSION);
      return 0;
    }
    const char** target = std::strcmp(a, "--html") == 0    ? &html_path
                          : std::strcmp(a, "--junit") == 0 ? &junit_path
                                                           : nullptr;
    if (target) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return usage_error((std::string(a) + " needs a file name").c_str());
      if (*target) return usage_error((std::string(a) + " given twice").c_str());
      *target = argv[++i];
    } else if (a[0] == '-' && a[1] != '\0') {
      return usage_error((std::string("unknown option ") + a).c_str());
    } else if (report_path) {
      return usage_error("more than one report given");
    } else if (a[0] == '\0') {
      return usage_error("empty report name");
    } else {
      report_path = a;
    }
  }
  if (!report_path) return usage_error("no report given");
  if (!html_path && !junit_path) return usage_error("no output given (--html or --junit)");

  // Refused memory surfaces as std::bad_alloc from any container on the way;
  // it ends the run as a failure of the file being read or written then (an
  // output's temporary is removed as the stack unwinds).
  current_file = report_path;
  std::set_new_handler(on_refused_memory);
  spare_memory.reset(new (std::nothrow) char[size_t{64} << 10]);
  try {
    return run(report_path, html_path, junit_path);
  } catch (const std::bad_alloc&) {
    return fail(current_file, "out of memory");
  }
}
