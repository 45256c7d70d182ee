// The page's trend of the kept runs and each test's strip, and the history as
// the page's data holds it; the words are the history's own (history.h).
#include "export/write/html_history.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <utility>

#include "export/model/run_history.h"
#include "export/write/escape.h"

namespace {

// Colours that read on a light and on a dark ground alike, for where the
// style sheet is blocked; it gives the scheme's own colours otherwise.
struct Shade {
  const char* cls;
  const char* fill;
  const char* word;
};
const Shade kShades[3] = {
    {"tr-p", "#2e9e57", "passed"}, {"tr-f", "#d0382b", "failed"}, {"tr-n", "#8a919c", "not run"}};

// An outcome's word in a strip's name, and its mark: passed plain, failed
// bold, not run and absent apart, each coloured by the style sheet.
const char* const kOutcomeWords[4] = {"passed", "failed", "not run", "absent"};
const char* const kOutcomeMarks[4] = {"\u2714", "\u2718", "\u2013", "\u00b7"};
const char* const kMarkOpen[4] = {"", "<b>", "<i>", "<i>"};
const char* const kMarkClose[4] = {"", "</b>", "</i>", "</i>"};

void run_counts(OutBuffer& out, const HistoryTotals& t) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%llu passed, %llu failed, %llu not run",
                static_cast<unsigned long long>(t.passed),
                static_cast<unsigned long long>(t.failed),
                static_cast<unsigned long long>(t.not_executed));
  out_str(out, buf);
}

// "passed 3 to 5" over the first and the newest run.
void from_to(OutBuffer& out, const char* word, uint64_t first, uint64_t last) {
  out_str(out, word);
  out_put(out, ' ');
  out_uint(out, first);
  out_str(out, " to ");
  out_uint(out, last);
}

void bar(OutBuffer& out, const Shade& s, double x, double& top, double height) {
  if (height <= 0) return;
  top -= height;
  char buf[160];
  std::snprintf(
      buf, sizeof buf,
      "<rect class=\"%s\" fill=\"%s\" x=\"%.0f\" y=\"%.2f\" width=\"8\" height=\"%.2f\"/>", s.cls,
      s.fill, x, top, height);
  out_str(out, buf);
}

}  // namespace

void html_trend(OutBuffer& out, const TestRun& run) {
  const std::vector<HistoryRun>& runs = run.history.kept.runs;
  if (runs.empty()) return;
  const size_t n = runs.size();
  uint64_t most = 1;
  for (const HistoryRun& r : runs)
    most = std::max(most, r.totals.passed + r.totals.failed + r.totals.not_executed);
  const HistoryRun &first = runs.front(), &last = runs.back();

  out_str(out,
          "<section class=\"trend\" aria-labelledby=\"trend-head\"><h2 id=\"trend-head\">Trend "
          "of ");
  out_uint(out, n);
  out_str(out, n == 1 ? " run" : " runs");
  out_str(out, "</h2>\n<div class=\"trend-box\"><svg class=\"trend-chart\" viewBox=\"0 0 ");
  out_uint(out, 10 * n);
  out_str(out, " 64\" preserveAspectRatio=\"none\" width=\"");
  out_uint(out, std::clamp<size_t>(20 * n, 40, 480));
  out_str(out, "\" height=\"64\" role=\"img\" aria-label=\"Passed, failed and not-run tests in ");
  if (n == 1) {
    out_str(out, "the one run, ");
    out_html(out, last.label);
    out_str(out, ": ");
    run_counts(out, last.totals);
  } else {
    out_uint(out, n);
    out_str(out, " runs from ");
    out_html(out, first.label);
    out_str(out, " to ");
    out_html(out, last.label);
    out_str(out, ": ");
    from_to(out, "passed", first.totals.passed, last.totals.passed);
    out_str(out, ", ");
    from_to(out, "failed", first.totals.failed, last.totals.failed);
    out_str(out, ", ");
    from_to(out, "not run", first.totals.not_executed, last.totals.not_executed);
  }
  out_str(out, "\">\n");
  const double scale = 64.0 / static_cast<double>(most);
  for (size_t r = 0; r < n; ++r) {
    const HistoryTotals& t = runs[r].totals;
    out_str(out, "<g><title>");
    out_html(out, runs[r].label);
    out_str(out, ": ");
    run_counts(out, t);
    out_str(out, "</title>");
    double top = 64;
    const double x = 10.0 * static_cast<double>(r) + 1;
    bar(out, kShades[0], x, top, scale * static_cast<double>(t.passed));
    bar(out, kShades[1], x, top, scale * static_cast<double>(t.failed));
    bar(out, kShades[2], x, top, scale * static_cast<double>(t.not_executed));
    out_str(out, "</g>\n");
  }
  // Without the style sheet the ends read "LABEL to LABEL"; with it they sit
  // under the first and the last bar.
  out_str(out, "</svg>\n<p class=\"trend-ends\"><span>");
  out_html(out, first.label);
  out_str(out, "</span>");
  if (n > 1) {
    out_str(out, "<span class=\"to\"> to </span><span>");
    out_html(out, last.label);
    out_str(out, "</span>");
  }
  out_str(out, "</p></div>\n<p class=\"legend\">");
  char swatch[192];
  for (const Shade& s : kShades) {
    std::snprintf(swatch, sizeof swatch,
                  "<span><svg width=\"10\" height=\"10\" aria-hidden=\"true\"><rect class=\"%s\" "
                  "fill=\"%s\" width=\"10\" height=\"10\"/></svg> %s</span> ",
                  s.cls, s.fill, s.word);
    out_str(out, swatch);
  }
  out_str(out, "</p>\n</section>\n");
}

std::string strip_name(const History& h, uint32_t test, size_t last) {
  const size_t runs = h.runs.size(), from = runs > last ? runs - last : 0;
  const HistoryOutcome* row = history_outcomes(h, test);
  std::string name = "last " + std::to_string(runs - from);
  name += runs - from == 1 ? " run: " : " runs, oldest first: ";
  for (size_t r = from; r < runs;) {
    size_t same = 1;
    while (r + same < runs && row[r + same] == row[r]) ++same;
    if (r > from) name += ", ";
    name += kOutcomeWords[row[r]];
    if (same > 1) name += " " + std::to_string(same) + " times";
    r += same;
  }
  return name;
}

void html_strip(OutBuffer& out, const TestRun& run, uint32_t i) {
  const History& h = run.history.kept;
  const uint32_t test = run.history.test_of_node[i];
  if (test == kNoTest) return;
  out_str(out, " <span class=\"strip\" role=\"img\" aria-label=\"");
  out_html(out, strip_name(h, test, kStripRuns));
  out_str(out, "\">");
  // One element for each stretch of the same outcome keeps the line short.
  const size_t runs = h.runs.size(), from = runs > kStripRuns ? runs - kStripRuns : 0;
  const HistoryOutcome* row = history_outcomes(h, test);
  for (size_t r = from; r < runs; ++r) {
    if (r == from || row[r] != row[r - 1]) out_str(out, kMarkOpen[row[r]]);
    out_str(out, kOutcomeMarks[row[r]]);
    if (r + 1 == runs || row[r + 1] != row[r]) out_str(out, kMarkClose[row[r]]);
  }
  out_str(out, "</span>");
  const std::string words = history_mark_text(h, run_trend(run, i));
  if (words.empty()) return;
  out_str(out, " <span class=\"hw\">");
  out_html(out, words);
  out_str(out, "</span>");
}

PageHistory page_history(const TestRun& run) {
  PageHistory p;
  if (!run.with_history) return p;
  const History& h = run.history.kept;
  const size_t runs = h.runs.size(), from = runs > kStripRuns ? runs - kStripRuns : 0;
  p.runs = static_cast<uint32_t>(runs - from);
  p.strips.assign(run.nodes.size(), 0);
  p.words_of.assign(run.nodes.size(), 0);
  // Many tests share their words (all that broke in one run): each text is
  // written once, found again by what it is made of rather than by a hash.
  std::map<std::pair<uint32_t, uint64_t>, uint32_t> seen;
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    const uint32_t test = run.history.test_of_node[i];
    if (test == kNoTest) continue;
    const HistoryOutcome* row = history_outcomes(h, test);
    uint32_t code = 0;
    for (size_t r = runs; r-- > from;) code = code << 2 | row[r];
    p.strips[i] = code + 1;
    const HistoryTrend t = run_trend(run, i);
    const HistoryMark mark = history_mark(t);
    if (mark == MARK_NONE) continue;
    const uint64_t what = mark == MARK_FLAKY     ? uint64_t{t.flips} << 32 | t.ran
                          : mark == MARK_FAILING ? uint64_t{t.failing_since}
                                                 : 0;
    auto [at, added] = seen.emplace(std::make_pair(uint32_t{mark}, what), 0);
    if (added) {
      at->second = static_cast<uint32_t>(p.words.size());
      p.words.push_back(history_mark_text(h, t));
    }
    p.words_of[i] = at->second + 1;
  }
  return p;
}
