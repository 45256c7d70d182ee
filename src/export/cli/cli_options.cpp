// Parsing tallyrep-export's command line from tables of its options, and the
// guard against outputs that name an input or each other.
#include "export/cli/cli_options.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/out_buffer.h"
#include "export/model/history.h"

namespace {

// The options that are no output of their own.
const struct {
  const char* flag;
  const char* ExportOptions::*field;
} kFileOptions[] = {{"--baseline", &ExportOptions::baseline},
                    {"--source-root", &ExportOptions::source_root},
                    {"--history", &ExportOptions::history},
                    {"--run-label", &ExportOptions::run_label}};

const struct {
  const char* flag;
  bool ExportOptions::*field;
} kSwitches[] = {{"--markdown-append", &ExportOptions::markdown_append},
                 {"--junit-locations", &ExportOptions::junit_locations},
                 {"--check", &ExportOptions::check}};

const char* const kOtherSynopsis[] = {"[--baseline OLD.xrd]", "[--source-root DIR]",
                                      "[--history FILE [--history-size N] [--run-label TEXT]]",
                                      "[--check[=new]]"};
const char kOtherHelp[] =
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

ParseResult usage_error(const std::string& reason) {
  std::fprintf(stderr, "tallyrep-export: error: %s\n%s", reason.c_str(), export_usage().c_str());
  return PARSE_USAGE_ERROR;
}

size_t output_index(const OutputKind& kind) {
  return static_cast<size_t>(&kind - kOutputs);
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

// A number of bytes: digits only, at least `least`, within 64 bits.
bool byte_count(const char* text, unsigned long long least, unsigned long long& bytes) {
  char* end = nullptr;
  errno = 0;
  bytes = std::strtoull(text, &end, 10);
  return std::isdigit(static_cast<unsigned char>(text[0])) && *end == '\0' && errno == 0 &&
         bytes >= least;
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

std::string export_usage() {
  // The synopsis wraps before 90 columns, its lines after the first indented.
  std::string text = "usage: tallyrep-export REPORT.xrd [REPORT.xrd ...]";
  size_t line_start = 0;
  auto add = [&](const char* part) {
    if (text.size() - line_start + 1 + std::strlen(part) > 90) {
      text += '\n';
      line_start = text.size();
      text += "        ";
    }
    text += ' ';
    text += part;
  };
  // Each bracketed group on one line.
  auto add_groups = [&](const char* synopsis) {
    std::string group;
    int depth = 0;
    for (const char* c = synopsis; *c; ++c) {
      if (depth == 0 && *c == ' ') continue;
      group += *c;
      depth += *c == '[' ? 1 : *c == ']' ? -1 : 0;
      if (depth == 0) add(group.c_str()), group.clear();
    }
  };
  for (const OutputKind& kind : kOutputs) add_groups(kind.synopsis);
  for (const char* part : kOtherSynopsis) add_groups(part);
  text += '\n';
  for (const OutputKind& kind : kOutputs) text += kind.help;
  return text + kOtherHelp;
}

const char* export_output(const ExportOptions& opts, std::string_view flag) {
  const OutputKind* kind = output_kind(flag);
  return kind ? opts.outputs[output_index(*kind)] : nullptr;
}

ParseResult export_parse_args(int argc, char** argv, ExportOptions& opts) {
  bool limit_given = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) return PARSE_HELP;
    if (std::strcmp(a, "--version") == 0) return PARSE_VERSION;
    bool known = false;
    if (const OutputKind* kind = output_kind(a)) {
      const char*& path = opts.outputs[output_index(*kind)];
      if (path) return usage_error(std::string(a) + " given twice");
      if (!kind->argument) {
        path = "-";
        continue;
      }
      if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return usage_error(std::string(a) + " needs a file name");
      path = argv[++i];
      continue;
    }
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
      unsigned long long bytes = 0;
      if (!byte_count(i + 1 < argc ? argv[++i] : "", kMarkdownLimitLeast, bytes))
        return usage_error("--markdown-limit needs a number of bytes of at least " +
                           std::to_string(kMarkdownLimitLeast));
      opts.markdown_limit = static_cast<size_t>(bytes);
      known = limit_given = true;
    }
    if (!known && std::strcmp(a, "--junit-max-bytes") == 0) {
      if (opts.junit_max_bytes) return usage_error("--junit-max-bytes given twice");
      unsigned long long bytes = 0;
      if (!byte_count(i + 1 < argc ? argv[++i] : "", kJunitPartLeast, bytes))
        return usage_error("--junit-max-bytes needs a number of bytes of at least " +
                           std::to_string(kJunitPartLeast));
      opts.junit_max_bytes = bytes;
      known = true;
    }
    if (known) continue;
    if (a[0] == '-' && a[1] != '\0') return usage_error(std::string("unknown option ") + a);
    if (a[0] == '\0') return usage_error("empty report name");
    opts.reports.push_back(a);
  }
  if (opts.reports.empty()) return usage_error("no report given");
  const char* markdown = export_output(opts, "--markdown");
  if (opts.markdown_append && !markdown) return usage_error("--markdown-append needs --markdown");
  if (opts.junit_locations && !export_output(opts, "--junit"))
    return usage_error("--junit-locations needs --junit");
  if (opts.junit_max_bytes && !export_output(opts, "--junit"))
    return usage_error("--junit-max-bytes needs --junit");
  if (opts.check_new && !opts.history && !opts.baseline)
    return usage_error("--check=new needs --history or --baseline");
  if (limit_given && !markdown) return usage_error("--markdown-limit needs --markdown");
  // A history is read back and replaced, which standard output cannot be.
  if (opts.history && std::strcmp(opts.history, "-") == 0)
    return usage_error("--history needs a file, not standard output");
  if ((opts.history_size || opts.run_label) && !opts.history)
    return usage_error(std::string(opts.run_label ? "--run-label" : "--history-size") +
                       " needs --history");
  bool any = opts.history || opts.check;
  std::string flags;
  for (const OutputKind& kind : kOutputs) {
    any |= opts.outputs[output_index(kind)] != nullptr;
    flags += std::string(kind.flag) + ", ";
  }
  if (!any) return usage_error("no output given (" + flags + "--history or --check)");
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

  std::vector<std::pair<const char*, const char*>> named;
  for (const OutputKind& kind : kOutputs)
    named.emplace_back(opts.outputs[output_index(kind)], kind.flag);
  named.emplace_back(opts.history, "--history");
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
