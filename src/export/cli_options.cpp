// Parsing tallyrep-export's command line from tables of its options, and the
// guard against outputs that name an input or each other.
#include "export/cli_options.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/out_buffer.h"
#include "export/history.h"

const char* const kExportUsage =
    "usage: tallyrep-export REPORT.xrd [REPORT.xrd ...] [--html OUT.html] [--junit OUT.xml]\n"
    "         [--junit-locations] [--markdown OUT.md|-] [--markdown-append]\n"
    "         [--markdown-limit BYTES] [--json OUT.json|-] [--baseline OLD.xrd]\n"
    "         [--github-annotations] [--gitlab-codequality OUT.json] [--source-root DIR]\n"
    "         [--history FILE [--history-size N] [--run-label TEXT]] [--check[=new]]\n"
    "  --html OUT.html     write the report as one self-contained HTML page\n"
    "  --junit OUT.xml     write the report as JUnit XML for CI servers\n"
    "  --junit-locations   add file and line to each JUnit testcase, for readers\n"
    "                      that want them (the xUnit plugin's schema refuses them)\n"
    "  --markdown OUT.md   write a Markdown summary (- for standard output)\n"
    "  --markdown-append   add the summary at the end of the --markdown file\n"
    "                      instead of replacing it (for $GITHUB_STEP_SUMMARY)\n"
    "  --markdown-limit BYTES  keep the Markdown summary under BYTES (default\n"
    "                      1048576, a job summary's limit; 65536 for a comment)\n"
    "  --json OUT.json     write a JSON summary (- for standard output)\n"
    "  --github-annotations  write GitHub workflow commands to standard output:\n"
    "                      an error at the first failed check of each failed test\n"
    "                      (at most 10, new failures first), a notice for the rest\n"
    "  --gitlab-codequality OUT.json  write a GitLab Code Quality report, one\n"
    "                      issue per failed check\n"
    "  --baseline OLD.xrd  list the changes since the report OLD.xrd in the summaries\n"
    "  --source-root DIR   name each source file by its path below DIR (a checkout),\n"
    "                      found by its name; a warning lists names not found once;\n"
    "                      the page and the Markdown summary show failed checks' lines\n"
    "  --history FILE      add this run to the history of runs in FILE (started when\n"
    "                      missing) and show each test's trend in the JSON summary\n"
    "  --history-size N    keep the newest N runs in the history, 1 to 1000 (30)\n"
    "  --run-label TEXT    the run's name in the history (a commit, a pipeline);\n"
    "                      by default the report's generation time\n"
    "  --check             after writing the outputs, exit with status 3 when a test\n"
    "                      failed, 4 when no test passed or failed at all\n"
    "  --check=new         the same, but status 3 only for a failed test that did not\n"
    "                      fail in the previous run (--history, else --baseline) and\n"
    "                      is not flaky; standard error lists those tests\n"
    "  --help              print this text and exit\n"
    "  --version           print the version and exit\n"
    "Several reports (a test run split across machines) make one output of each\n"
    "kind, with one section per report named by its file as given; the order in\n"
    "which they are given changes nothing.\n"
    "At least one output or --check is needed.\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 a bad command\n"
    "line, 3 and 4 as --check says (1 and 2 take precedence).\n";

namespace {

const struct {
  const char* flag;
  const char* ExportOptions::*field;
} kFileOptions[] = {{"--html", &ExportOptions::html},
                    {"--junit", &ExportOptions::junit},
                    {"--markdown", &ExportOptions::markdown},
                    {"--json", &ExportOptions::json},
                    {"--baseline", &ExportOptions::baseline},
                    {"--gitlab-codequality", &ExportOptions::code_quality},
                    {"--source-root", &ExportOptions::source_root},
                    {"--history", &ExportOptions::history},
                    {"--run-label", &ExportOptions::run_label}};

const struct {
  const char* flag;
  bool ExportOptions::*field;
} kSwitches[] = {{"--markdown-append", &ExportOptions::markdown_append},
                 {"--junit-locations", &ExportOptions::junit_locations},
                 {"--github-annotations", &ExportOptions::github_annotations},
                 {"--check", &ExportOptions::check}};

ParseResult usage_error(const std::string& reason) {
  std::fprintf(stderr, "tallyrep-export: error: %s\n%s", reason.c_str(), kExportUsage);
  return PARSE_USAGE_ERROR;
}

// --history-size: digits only, within the limits.
bool history_size_value(const char* text, size_t& size) {
  size = 0;
  if (*text == '\0') return false;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    size = size * 10 + static_cast<size_t>(*c - '0');
    if (size > kHistoryMaxSize) return false;
  }
  return size >= 1;
}

// Each file's identity, and what it is in the words of an error.
struct Named {
  const char* path;
  std::string role;
  OutIdentity id;
};

bool input_identity(const char* path, OutIdentity& id) {
  struct stat st;
  if (::stat(path, &st) != 0) return false;
  id = {st.st_dev, st.st_ino, ""};
  return true;
}

}  // namespace

ParseResult export_parse_args(int argc, char** argv, ExportOptions& opts) {
  bool limit_given = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) return PARSE_HELP;
    if (std::strcmp(a, "--version") == 0) return PARSE_VERSION;
    bool known = false;
    for (const auto& o : kFileOptions) {
      if (std::strcmp(a, o.flag) != 0) continue;
      if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return usage_error(std::string(a) + (o.field == &ExportOptions::run_label
                                                 ? " needs a text"
                                                 : " needs a file name"));
      if (opts.*o.field) return usage_error(std::string(a) + " given twice");
      opts.*o.field = argv[++i];
      known = true;
    }
    if (std::strcmp(a, "--check=new") == 0) {
      if (opts.check) return usage_error("--check given twice");
      opts.check = opts.check_new = true;
      continue;
    }
    if (std::strcmp(a, "--history-size") == 0) {
      if (opts.history_size) return usage_error("--history-size given twice");
      if (i + 1 >= argc || !history_size_value(argv[i + 1], opts.history_size))
        return usage_error("--history-size needs a number of runs from 1 to " +
                           std::to_string(kHistoryMaxSize));
      ++i;
      continue;
    }
    for (const auto& o : kSwitches) {
      if (std::strcmp(a, o.flag) != 0) continue;
      if (opts.*o.field) return usage_error(std::string(a) + " given twice");
      opts.*o.field = known = true;
    }
    if (!known && std::strcmp(a, "--markdown-limit") == 0) {
      if (limit_given) return usage_error("--markdown-limit given twice");
      char* end = nullptr;
      const char* value = i + 1 < argc ? argv[++i] : "";
      errno = 0;
      const unsigned long long bytes = std::strtoull(value, &end, 10);
      if (!std::isdigit(static_cast<unsigned char>(value[0])) || *end != '\0' || errno != 0 ||
          bytes < kMarkdownLimitLeast)
        return usage_error("--markdown-limit needs a number of bytes of at least " +
                           std::to_string(kMarkdownLimitLeast));
      opts.markdown_limit = static_cast<size_t>(bytes);
      known = limit_given = true;
    }
    if (known) continue;
    if (a[0] == '-' && a[1] != '\0') return usage_error(std::string("unknown option ") + a);
    if (a[0] == '\0') return usage_error("empty report name");
    opts.reports.push_back(a);
  }
  if (opts.reports.empty()) return usage_error("no report given");
  if (opts.markdown_append && !opts.markdown)
    return usage_error("--markdown-append needs --markdown");
  if (opts.junit_locations && !opts.junit) return usage_error("--junit-locations needs --junit");
  if (opts.check_new && !opts.history && !opts.baseline)
    return usage_error("--check=new needs --history or --baseline");
  if (limit_given && !opts.markdown) return usage_error("--markdown-limit needs --markdown");
  // A history is read back and replaced, which standard output cannot be.
  if (opts.history && std::strcmp(opts.history, "-") == 0)
    return usage_error("--history needs a file, not standard output");
  if ((opts.history_size || opts.run_label) && !opts.history)
    return usage_error(std::string(opts.run_label ? "--run-label" : "--history-size") +
                       " needs --history");
  if (!opts.html && !opts.junit && !opts.markdown && !opts.json && !opts.code_quality &&
      !opts.github_annotations && !opts.history && !opts.check)
    return usage_error(
        "no output given (--html, --junit, --markdown, --json, --github-annotations, "
        "--gitlab-codequality, --history or --check)");
  return PARSE_RUN;
}

int export_fail(const char* file, const std::string& reason) {
  std::fprintf(stderr, "tallyrep-export: error: %s: %s\n", file, reason.c_str());
  return 1;
}

// A report given twice would count its tests twice. Pairs are compared one by
// one: a command line names few files.
int export_same_file_error(const ExportOptions& opts) {
  std::vector<Named> inputs;
  for (const char* path : opts.reports) {
    Named in{path,
             opts.reports.size() == 1 ? "the report itself" : std::string("the report ") + path,
             {}};
    if (!input_identity(path, in.id)) continue;
    for (const Named& earlier : inputs)
      if (earlier.id == in.id)
        return export_fail(path, std::strcmp(path, earlier.path) == 0
                                     ? std::string("is given twice")
                                     : "is the same file as " + std::string(earlier.path));
    inputs.push_back(in);
  }
  // The baseline may be one of the reports: a run compared with itself.
  Named base{opts.baseline, "the baseline", {}};
  if (opts.baseline && input_identity(opts.baseline, base.id)) inputs.push_back(base);

  const std::pair<const char*, const char*> named[] = {
      {opts.html, "--html"},
      {opts.junit, "--junit"},
      {opts.markdown, "--markdown"},
      {opts.json, "--json"},
      {opts.code_quality, "--gitlab-codequality"},
      {opts.github_annotations ? "-" : nullptr, "--github-annotations"},
      {opts.history, "--history"}};
  std::vector<Named> outputs;
  for (const auto& [path, flag] : named) {
    if (!path) continue;
    Named out{path, std::string("the ") + flag + " output", {}};
    // "-" is standard output, whatever file or pipe that is, so it clashes
    // with /dev/stdout and with a report it was redirected to.
    if (!out_identity(path, out.id)) continue;
    for (const Named& in : inputs)
      if (in.id == out.id) return export_fail(path, "is " + in.role);
    for (const Named& other : outputs)
      if (other.id == out.id) return export_fail(path, "is also " + other.role);
    outputs.push_back(out);
  }
  return 0;
}
