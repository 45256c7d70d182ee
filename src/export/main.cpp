// Entry point of tallyrep-export: reads one or more XRD reports and writes them
// as an HTML page, JUnit XML, a Markdown or JSON summary, and gates a CI job.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "export/cli_options.h"
#include "export/compare.h"
#include "export/escape.h"
#include "export/html_export.h"
#include "export/junit_export.h"
#include "export/summary.h"
#include "export/test_paths.h"
#include "export/xml_memory.h"
#include "export/xrd_merge.h"
#include "export/xrd_read.h"

namespace {

constexpr int kExitFailedTest = 3;
constexpr int kExitNoTest = 4;

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
  export_fail(current_file, "out of memory");
  std::_Exit(1);
}

// The reports as one: a single one as it was read, several merged. Memory
// refused while merging is reported against the last report read.
int read_reports(const ExportOptions& opts, std::unique_ptr<XrdReport>& report,
                 std::string& error) {
  std::vector<std::unique_ptr<XrdReport>> parts;
  for (const char* path : opts.reports) {
    current_file = path;
    parts.push_back(std::make_unique<XrdReport>());
    if (xrd_read(path, *parts.back(), error) != 0) return export_fail(path, error);
  }
  if (parts.size() == 1) {
    report = std::move(parts[0]);
    return 0;
  }
  report = std::make_unique<XrdReport>();
  xrd_merge(std::move(parts), std::vector<std::string>(opts.reports.begin(), opts.reports.end()),
            *report);
  return 0;
}

int run(const ExportOptions& opts) {
  if (int status = export_same_file_error(opts)) return status;
  xml_arena_install();
  std::string error;
  std::unique_ptr<XrdReport> report;
  if (int status = read_reports(opts, report, error)) return status;

  Comparison comparison;
  const Comparison* changes = nullptr;  // for every writer that lists the changes
  if (opts.baseline) {
    current_file = opts.baseline;
    XrdReport baseline;
    if (xrd_read(opts.baseline, baseline, error) != 0) return export_fail(opts.baseline, error);
    comparison = compare_reports(*report, baseline);
    comparison.baseline = opts.baseline;
    changes = &comparison;
  }

  if (opts.html) {
    current_file = opts.html;
    if (html_write(*report, changes, opts.html, error) != 0) return export_fail(opts.html, error);
  }
  if (opts.junit) {
    current_file = opts.junit;
    if (junit_write(*report, opts.junit, error) != 0) return export_fail(opts.junit, error);
  }
  if (opts.markdown) {
    current_file = opts.markdown;
    if (markdown_write(*report, changes, opts.markdown, opts.markdown_append, error) != 0)
      return export_fail(opts.markdown, error);
  }
  if (opts.json) {
    current_file = opts.json;
    if (json_write(*report, changes, opts.json, error) != 0) return export_fail(opts.json, error);
  }

  if (!opts.check) return 0;
  // The totals rows and the tests below them both count: a report edited or
  // mended by hand may say less in its totals than its tests show.
  const ReportTotals totals = report_totals(*report);
  const StateCounts tests = xrd_test_counts(*report);
  if (totals.failed > 0 || tests.failed > 0) return kExitFailedTest;
  // Swapped or empty traces give a report that passes silently with no test.
  return totals.total == 0 && tests.passed == 0 ? kExitNoTest : 0;
}

}  // namespace

int main(int argc, char** argv) {
  out_hold_standard_descriptors();
  ExportOptions opts;
  switch (export_parse_args(argc, argv, opts)) {
    case PARSE_HELP:
      std::fputs(kExportUsage, stdout);
      return 0;
    case PARSE_VERSION:
      std::puts("tallyrep-export " TALLYREP_VERSION);
      return 0;
    case PARSE_USAGE_ERROR:
      return 2;
    case PARSE_RUN:
      break;
  }

  // Refused memory surfaces as std::bad_alloc from any container on the way;
  // it ends the run as a failure of the file being read or written then (an
  // output's temporary is removed as the stack unwinds).
  current_file = opts.reports[0];
  std::set_new_handler(on_refused_memory);
  spare_memory.reset(new (std::nothrow) char[size_t{64} << 10]);
  try {
    return run(opts);
  } catch (const std::bad_alloc&) {
    return export_fail(current_file, "out of memory");
  }
}
