// Entry point of tallyrep-export: reads one or more XRD reports into one test
// run and writes it as an HTML page, JUnit XML, a Markdown or JSON summary,
// and gates a CI job.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/out_buffer.h"
#include "export/cli/cli_options.h"
#include "export/model/history.h"
#include "export/model/run_history.h"
#include "export/model/test_run.h"
#include "export/read/java_package.h"
#include "export/read/run_reports.h"
#include "export/read/source_root.h"
#include "export/read/source_snippets.h"
#include "export/write/check_gate.h"
#include "export/write/outputs.h"

namespace {

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

// The reports as one run: a single one as it was read, several merged.
// Memory refused while merging is reported against the last report read.
int read_reports(const ExportOptions& opts, TestRun& run, std::string& error) {
  std::vector<XrdSource> sources;
  for (const char* path : opts.reports) sources.push_back(xrd_file(path));
  size_t failed = 0;
  if (run_read(sources, opts.reports, run, &current_file, failed, error) != 0)
    return export_fail(opts.reports[failed], error);
  return 0;
}

// Where the failed tests that the annotations leave out can be read: the
// outputs this run writes, else the report.
std::string more_in(const ExportOptions& opts) {
  std::string where;
  auto add = [&](const std::string& what) { where += (where.empty() ? "see " : " or ") + what; };
  const char* step_summary = std::getenv("GITHUB_STEP_SUMMARY");
  const char* markdown = export_output(opts, "--markdown");
  if (markdown && step_summary && std::string(step_summary) == markdown)
    add("the job summary");
  else if (markdown && std::string(markdown) != "-")
    add(std::string("the summary ") + markdown);
  if (const char* html = export_output(opts, "--html")) add(std::string("the page ") + html);
  if (const char* junit = export_output(opts, "--junit"))
    add(std::string("the JUnit report ") + junit);
  if (where.empty()) add(std::string("the report ") + opts.reports[0]);
  return where;
}

// Appended to a file, the summary gets what is left of the limit, since a
// job summary over it is dropped whole; false, with one warning line, when
// less is left than the least summary takes.
bool markdown_room(const ExportOptions& opts, size_t& limit) {
  const char* path = export_output(opts, "--markdown");
  if (!path || !opts.markdown_append) return true;
  struct stat st;
  const bool known = std::string(path) == "-" ? ::fstat(1, &st) == 0 : ::stat(path, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) return true;
  const size_t held = static_cast<size_t>(st.st_size);
  if (held + kMarkdownLimitLeast <= limit) {
    limit -= held;
    return true;
  }
  std::fprintf(stderr,
               "tallyrep-export: warning: %s: holds %zu bytes of its %zu already; the summary is "
               "not added\n",
               path, held, limit);
  return false;
}

int run(const ExportOptions& opts) {
  if (int status = export_same_file_error(opts)) return status;
  std::string error;
  TestRun run;
  if (int status = read_reports(opts, run, error)) return status;

  if (opts.source_root) {
    current_file = opts.source_root;
    std::string warning;
    if (source_root_map(run, opts.source_root, warning, error) != 0)
      return export_fail(opts.source_root, error);
    if (!warning.empty()) std::fprintf(stderr, "tallyrep-export: warning: %s\n", warning.c_str());
    warning = snippets_read(run);
    if (!warning.empty()) std::fprintf(stderr, "tallyrep-export: warning: %s\n", warning.c_str());
  }
  packages_read(run);

  if (opts.baseline) {
    current_file = opts.baseline;
    if (compare_with_baseline(run, xrd_file(opts.baseline), opts.baseline, error) != 0)
      return export_fail(opts.baseline, error);
  }
  // The history is read before any output is written, so that one that is
  // not ours, or damaged, fails the run with nothing written.
  // Held until the process ends, so that a run updating the same history
  // at once waits for this one's file and adds its run to it.
  if (opts.history) {
    current_file = opts.history;
    if (history_lock(opts.history, error) < 0) return export_fail(opts.history, error);
    History kept;
    if (!history_read_file(opts.history, kept, error)) return export_fail(opts.history, error);
    run_history_add(run, std::move(kept), opts.run_label ? opts.run_label : run_default_label(run),
                    opts.history_size ? opts.history_size : kHistoryDefaultSize);
  }

  OutputSettings settings{opts.junit_locations, opts.markdown_limit, more_in(opts),
                          opts.junit_max_bytes};
  const bool add_markdown = markdown_room(opts, settings.markdown_limit);
  for (size_t k = 0; k < kOutputCount; ++k) {
    const char* path = opts.outputs[k];
    if (!path) continue;
    if (kOutputs[k].appends && !add_markdown) continue;
    current_file = path;
    if (output_write(kOutputs[k], run, path, opts.markdown_append, settings, error) != 0)
      return export_fail(path, error);
  }
  // Written last: a run whose outputs failed is not in the history, so a job
  // run again adds it once.
  if (opts.history) {
    current_file = opts.history;
    if (!history_write_file(run.history.kept, opts.history, error))
      return export_fail(opts.history, error);
  }

  if (!opts.check) return 0;
  std::string said;
  const int status = check_status(run, opts.check_new ? CHECK_NEW : CHECK_ALL, said);
  std::fputs(said.c_str(), stderr);
  return status;
}
}  // namespace

int main(int argc, char** argv) {
  out_hold_standard_descriptors();
  ExportOptions opts;
  switch (export_parse_args(argc, argv, opts)) {
    case PARSE_HELP:
      std::fputs(export_usage().c_str(), stdout);
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
