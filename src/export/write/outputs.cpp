// The table of the exporter's outputs and the one way each is written.
#include "export/write/outputs.h"

#include <cstring>

#include "export/model/output_file.h"

const OutputKind kOutputs[kOutputCount] = {
    {"--html", "OUT.html", "[--html OUT.html]",
     "  --html OUT.html     write the report as one self-contained HTML page\n", false, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings&) { html_page(out, run); },
     nullptr},
    {"--junit", "OUT.xml", "[--junit OUT.xml] [--junit-locations] [--junit-max-bytes BYTES]",
     "  --junit OUT.xml     write the report as JUnit XML for CI servers\n"
     "  --junit-locations   add file and line to each JUnit testcase, for readers\n"
     "                      that want them (the xUnit plugin's schema refuses them)\n"
     "  --junit-max-bytes BYTES  write the JUnit XML as OUT-1.xml, OUT-2.xml...,\n"
     "                      each under BYTES, no suite split (GitLab reads none\n"
     "                      over 30 MB)\n",
     false, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings& s) {
       junit_document(out, run, s.junit_locations);
     },
     junit_parts_write},
    {"--markdown", "OUT.md", "[--markdown OUT.md|-] [--markdown-append] [--markdown-limit BYTES]",
     "  --markdown OUT.md   write a Markdown summary (- for standard output)\n"
     "  --markdown-append   add the summary at the end of the --markdown file\n"
     "                      instead of replacing it (for $GITHUB_STEP_SUMMARY)\n"
     "  --markdown-limit BYTES  keep the Markdown summary under BYTES (default\n"
     "                      1048576, a job summary's limit; 65536 for a comment)\n",
     true, true,
     [](OutBuffer& out, const TestRun& run, const OutputSettings& s) {
       markdown_summary(out, run, s.markdown_limit);
     },
     nullptr},
    {"--json", "OUT.json", "[--json OUT.json|-]",
     "  --json OUT.json     write a JSON summary (- for standard output)\n", true, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings&) { json_summary(out, run); },
     nullptr},
    {"--ctrf", "OUT.json", "[--ctrf OUT.json|-]",
     "  --ctrf OUT.json     write a CTRF (Common Test Report Format) report, every\n"
     "                      test with its failure (- for standard output)\n",
     true, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings&) { ctrf_report(out, run); },
     nullptr},
    {"--gitlab-codequality", "OUT.json", "[--gitlab-codequality OUT.json]",
     "  --gitlab-codequality OUT.json  write a GitLab Code Quality report, one\n"
     "                      issue per failed check\n",
     false, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings&) { code_quality(out, run); },
     nullptr},
    {"--github-annotations", nullptr, "[--github-annotations]",
     "  --github-annotations  write GitHub workflow commands to standard output:\n"
     "                      an error at the first failed check of each failed test\n"
     "                      (at most 10, new failures first), a notice for the rest\n",
     true, false,
     [](OutBuffer& out, const TestRun& run, const OutputSettings& s) {
       github_annotations(out, run, s.more_in);
     },
     nullptr},
};

const OutputKind* output_kind(std::string_view flag) {
  for (const OutputKind& kind : kOutputs)
    if (flag == kind.flag) return &kind;
  return nullptr;
}

int output_write(const OutputKind& kind, const TestRun& run, const char* path, bool append,
                 const OutputSettings& settings, std::string& error) {
  if (settings.part_bytes > 0 && kind.write_parts)
    return kind.write_parts(run, path, settings, error);
  // The descriptor's name, so that output redirected with >> keeps its place.
  const bool to_stdout = !kind.argument || (kind.may_be_stdout && std::strcmp(path, "-") == 0);
  return write_output(
      to_stdout ? "/dev/stdout" : path, append && kind.appends,
      [&](OutBuffer& out) { kind.write(out, run, settings); }, error);
}
