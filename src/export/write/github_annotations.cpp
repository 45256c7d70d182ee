// GitHub workflow commands that annotate each failed test at its first failed
// check, capped at what a step shows, with a notice for the rest.
#include <string>
#include <string_view>

#include "export/model/failed_checks.h"
#include "export/model/test_paths.h"
#include "export/write/escape.h"
#include "export/write/writers.h"

namespace {

// A command ends at its line end, and its properties at ',' and '::', so
// those are spelled in percent codes; the text is made UTF-8 first.
void command_text(OutBuffer& out, std::string_view text, bool property) {
  std::string utf8;
  OutBuffer o;
  out_open_string(o, &utf8);
  out_escaped(o, text.data(), text.size(), ESCAPE_TEXT);
  out_close(o);
  for (char c : utf8) {
    if (c == '%')
      out_lit(out, "%25");
    else if (c == '\r')
      out_lit(out, "%0D");
    else if (c == '\n')
      out_lit(out, "%0A");
    else if (property && c == ':')
      out_lit(out, "%3A");
    else if (property && c == ',')
      out_lit(out, "%2C");
    else
      out_put(out, c);
  }
}

void annotate(OutBuffer& out, const TestRun& run, const TestNode& n, std::string_view path) {
  const Row* row = first_failed_check(run, n);
  out_lit(out, "::error ");
  if (row && row->file != kNone) {
    const CheckPlace place = check_place(run, *row);
    out_lit(out, "file=");
    command_text(out, place.path, true);
    if (place.line > 0) {
      out_lit(out, ",line=");
      out_uint(out, place.line);
    }
    out_put(out, ',');
  }
  out_lit(out, "title=");
  command_text(out, text_shorten(path, kPathCut), true);
  out_lit(out, "::");
  if (!row) {
    out_lit(out, "failed with no failed check of its own\n");
    return;
  }
  command_text(out, check_sentence(run, *row, kPathCut), false);
  const uint32_t more = failed_check_count(run, n) - 1;
  if (more > 0) {
    out_lit(out, " (and ");
    out_uint(out, more);
    out_str(out, more == 1 ? " more failed check)" : " more failed checks)");
  }
  out_put(out, '\n');
}

}  // namespace

void github_annotations(OutBuffer& out, const TestRun& run, std::string_view more_in) {
  uint64_t shown = 0;
  each_failed_test(run, [&](uint32_t i, std::string_view path) {
    if (shown == kGithubErrors) return false;
    annotate(out, run, run.nodes[i], path);
    ++shown;
    return true;
  });
  const uint64_t failed = run.counted.failed;
  if (failed <= shown) return;
  out_lit(out, "::notice::");
  out_uint(out, failed - shown);
  out_str(out, failed - shown == 1 ? " more test failed" : " more tests failed");
  out_lit(out, " (GitHub shows ");
  out_uint(out, kGithubErrors);
  out_lit(out, " annotations a step): ");
  command_text(out, more_in, false);
  out_put(out, '\n');
}
