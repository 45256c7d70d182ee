// The Markdown summary for CI job pages: changes since a baseline, totals, the
// failed test cases and, with a history, the flakiest tests, escaped so that no
// name can break out of its line.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/compare.h"
#include "export/model/failed_checks.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/escape.h"
#include "export/write/writers.h"

namespace {

// What would open a block where a list item's text starts: headings, quotes,
// nested lists, setext lines, and indentation that turns it into code.
size_t md_start(OutBuffer& out, const char* text, size_t n) {
  size_t i = 0;
  while (i < n && (text[i] == ' ' || text[i] == '\t')) {
    out_lit(out, "&#32;");
    ++i;
  }
  // (strchr finds a NUL too: it is the end of its own list.) A '#' is left
  // to out_markdown, which also keeps it from starting a reference.
  if (i < n && text[i] != '\0' && std::strchr("#-+=", text[i])) {
    out_put(out, '\\');
    if (text[i] == '#') return i;
    out_put(out, text[i]);
    return i + 1;
  }
  size_t digits = i;
  while (digits < n && digits - i < 10 && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits > i && digits < n && (text[digits] == '.' || text[digits] == ')')) {
    out_write(out, text + i, digits - i);
    out_put(out, '\\');
    out_put(out, text[digits]);
    return digits + 1;
  }
  return i;
}

// A text too long for a cell keeps its head and its tail, where names and
// line numbers are.
void md_text(OutBuffer& out, std::string_view text) {
  const char* p = text.data();
  size_t head, tail, n = text.size();
  text_cut(p, n, kMarkdownCut, head, tail);
  size_t from = md_start(out, p, head);
  out_markdown(out, p + from, head - from);
  if (head == n) return;
  out_lit(out, "\xE2\x80\xA6");
  out_markdown(out, p + tail, n - tail);
}

// The summary's lists: each change kind's (in kChangeListOrder), the failed
// test cases', the flakiest tests'. Their items are written ahead, up to
// kMarkdownRows each, so that the budget can be shared before anything is
// written; `total` is how many the list has, shown or not.
enum { LIST_FAILED = CHANGE_KINDS, LIST_FLAKIEST, LIST_COUNT };
struct MdList {
  std::vector<std::string> items;
  unsigned long long total = 0;
};

// Collects a line, then writes it to the output at once.
class Lines {
 public:
  explicit Lines(OutBuffer& out) : out_(out) { out_open_string(line_out_, &line_, 4096); }
  OutBuffer& line() { return line_out_; }
  void put() {
    out_flush(line_out_);
    out_write(out_, line_.data(), line_.size());
    line_.clear();
  }

 private:
  OutBuffer& out_;
  OutBuffer line_out_;
  std::string line_;
};

void more_line(Lines& md, unsigned long long more, const char* what) {
  if (more == 0) return;
  OutBuffer& o = md.line();
  out_lit(o, "_and ");
  out_uint(o, more);
  out_lit(o, " more");
  out_str(o, what);
  out_lit(o, "_\n\n");
  md.put();
}

// The first `shown` items of a list, then the line that ends it.
void write_items(Lines& md, const MdList& list, size_t shown) {
  OutBuffer& o = md.line();
  for (size_t k = 0; k < shown; ++k) out_write(o, list.items[k].data(), list.items[k].size());
  out_put(o, '\n');
  md.put();
}

void write_changes(Lines& md, const TestRun& run, const MdList* lists, const size_t* shown) {
  const Changes& c = run.changes;
  OutBuffer& o = md.line();
  out_lit(o, "### Changes since ");
  md_text(o, c.baseline);
  // A table of one row: the kinds' words, the alignment line, their counts.
  for (int line = 0; line < 3; ++line) {
    out_str(o, line == 0 ? "\n\n|" : "\n|");
    for (TestChange kind : kChangeListOrder) {
      if (line == 1) {
        out_lit(o, " ---: |");
        continue;
      }
      out_put(o, ' ');
      if (line == 0)
        out_str(o, kChangeWords[kind]);
      else
        out_uint(o, c.counts[kind]);
      out_lit(o, " |");
    }
  }
  out_lit(o, "\n\n");
  md.put();
  for (TestChange kind : kChangeListOrder) {
    if (c.counts[kind] == 0) continue;
    out_lit(o, "**");
    out_str(o, kChangeHeadings[kind]);
    out_lit(o, "**\n\n");
    md.put();
    write_items(md, lists[kind], shown[kind]);
    more_line(md, c.counts[kind] - shown[kind], "");
  }
}

void write_totals(Lines& md, const TestRun& run) {
  const Totals t = run_totals(run);
  const unsigned long long idle = run.counted.not_executed;
  OutBuffer& o = md.line();
  if (t.failed > 0) {
    out_lit(o, "\xE2\x9D\x8C **");
    out_uint(o, t.failed);
    out_lit(o, " failed**, ");
  } else {
    out_str(o, t.passed > 0 ? "\xE2\x9C\x85 " : "\xE2\x9A\xA0\xEF\xB8\x8F ");
  }
  out_uint(o, t.passed);
  out_lit(o, " passed, ");
  out_uint(o, t.total);
  out_lit(o, " total");
  if (idle > 0) {
    out_lit(o, ", ");
    out_uint(o, idle);
    out_lit(o, " not executed");
  }
  out_lit(o, "\n\n");
  md.put();
}

// The lines around a failed check as a code block in its list item: its own
// line marked with '>', each with its number. A code block shows its text as
// it is, so the only escapes are a fence longer than any run of backticks in
// it and blanks for the line breaks a line of source can still hold.
void md_snippet(OutBuffer& o, const TestRun& run, uint32_t row) {
  const SourceSnippet* s = row_snippet(run, row);
  if (!s) return;
  size_t fence = 3;
  for (const std::string& line : s->lines) {
    size_t run_length = 0;
    for (char c : line) {
      run_length = c == '`' ? run_length + 1 : 0;
      fence = std::max(fence, run_length + 1);
    }
  }
  const std::string marks(fence, '`');
  out_lit(o, "\n    ");
  out_str(o, marks.c_str());
  out_put(o, '\n');
  for (size_t k = 0; k < s->lines.size(); ++k) {
    out_lit(o, "    ");
    out_str(o, snippet_gutter(*s, k).c_str());
    out_escaped(o, s->lines[k].data(), s->lines[k].size(), ESCAPE_CODE);
    out_put(o, '\n');
  }
  out_lit(o, "    ");
  out_str(o, marks.c_str());
  out_lit(o, "\n\n");
}

// With a history, what it says of a test beside its path: the words the
// JSON summary gives, and its newest outcomes as letters in code, a strip
// of even width that stays whole where the line wraps.
void md_trend(OutBuffer& o, const TestRun& run, uint32_t node) {
  if (!run.with_history) return;
  const uint32_t test = run.history.test_of_node[node];
  if (test == kNoTest) return;
  const History& h = run.history.kept;
  const std::string words = history_mark_text(h, history_trend(h, test));
  out_lit(o, " \xE2\x80\x94 ");
  if (!words.empty()) {
    out_put(o, '_');
    md_text(o, words);
    out_lit(o, "_ ");
  }
  out_put(o, '`');
  out_str(o, history_strip(h, test, kMarkdownStrip).c_str());
  out_put(o, '`');
}

// One item: the test's path, then its failed checks, each on a line of its
// own with the File.java:35 location that editors and annotations understand,
// so that the list wraps in a narrow column instead of scrolling sideways.
void failed_item(OutBuffer& o, const TestRun& run, uint32_t test, std::string_view test_path) {
  out_lit(o, "- ");
  md_text(o, test_path);
  md_trend(o, run, test);
  out_put(o, '\n');
  const TestNode& n = run.nodes[test];
  size_t failed = 0;
  for (const NodeRows::Item check : node_failed_checks(run, n)) {
    const Row& row = check.row;
    if (++failed > kMarkdownChecks) continue;
    out_lit(o, "  - ");
    md_text(o, check_sentence(run, row, kNoCut));
    out_put(o, '\n');
    md_snippet(o, run, check.index);
  }
  if (failed == 0) out_lit(o, "  - _no failed check of its own_\n");
  if (failed > kMarkdownChecks) {
    out_lit(o, "  - _and ");
    out_uint(o, failed - kMarkdownChecks);
    out_lit(o, " more_\n");
  }
}

// A list of its own under a heading, when it has entries: the failed test
// cases, the flakiest tests.
void write_list(Lines& md, const char* heading, const MdList& list, size_t shown,
                const char* what) {
  if (list.total == 0) return;
  OutBuffer& o = md.line();
  out_str(o, heading);
  md.put();
  write_items(md, list, shown);
  more_line(md, list.total - shown, what);
}

// Every list's items, rendered.
void collect_lists(const TestRun& run, MdList* lists) {
  if (run.compared) {
    for (TestChange kind : kChangeListOrder) {
      MdList& list = lists[kind];
      list.total = run.changes.counts[kind];
      each_change(run, kind, kNoCut, [&](uint32_t, std::string_view path) {
        if (list.items.size() == kMarkdownRows) return false;
        list.items.push_back(out_capture([&](OutBuffer& o) {
          out_lit(o, "- ");
          md_text(o, path);
          out_put(o, '\n');
        }));
        return true;
      });
    }
  }
  MdList& failed = lists[LIST_FAILED];
  failed.total = run.counted.failed;
  each_failed_test(run, [&](uint32_t i, std::string_view path) {
    if (failed.items.size() == kMarkdownRows) return false;
    failed.items.push_back(out_capture([&](OutBuffer& o) { failed_item(o, run, i, path); }));
    return true;
  });
  if (!run.with_history) return;
  MdList& flaky = lists[LIST_FLAKIEST];
  for (const FlakyNode& f : run_flakiest_paths(run, kHistoryFlakiest))
    flaky.items.push_back(out_capture([&](OutBuffer& o) {
      out_lit(o, "- ");
      md_text(o, f.path);
      md_trend(o, run, f.node);
      out_put(o, '\n');
    }));
  flaky.total = flaky.items.size();
}

// How many items of each list fit in `room` bytes. The failed test cases,
// which the summary is for, come first: their first item, then, after room is
// kept for the first item of every other list (and the flakiest tests'
// all), as many more as fit; the flakiest tests, then the change lists one
// item each in turn, take what is left while their next item fits. Each
// list shows a prefix, so the count of what it leaves out stays exact.
void share_room(const MdList* lists, size_t room, size_t* shown) {
  size_t used = 0;
  auto take = [&](int k) {
    const MdList& list = lists[k];
    if (shown[k] == list.items.size() || used + list.items[shown[k]].size() > room) return false;
    used += list.items[shown[k]++].size();
    return true;
  };
  take(LIST_FAILED);
  // The flakiest tests are few: the room kept for them is all of theirs, up
  // to a quarter of the room.
  size_t kept = 0, flakiest = 0;
  for (const std::string& item : lists[LIST_FLAKIEST].items) flakiest += item.size();
  for (int k = 0; k < LIST_COUNT; ++k)
    if (k != LIST_FAILED && !lists[k].items.empty()) kept += lists[k].items[0].size();
  if (flakiest > 0)
    kept += std::min(flakiest, room / 4) - std::min(flakiest, lists[LIST_FLAKIEST].items[0].size());
  if (used + kept <= room) {
    room -= kept;
    while (take(LIST_FAILED)) {
    }
    room += kept;
  } else {
    while (take(LIST_FAILED)) {
    }
  }
  while (take(LIST_FLAKIEST)) {
  }
  for (bool more = true; more;) {
    more = false;
    for (int k = 0; k < CHANGE_KINDS; ++k) more |= take(k);
  }
}

// The strips' letters, once, after the lists that show them.
void write_legend(Lines& md, const TestRun& run, bool strips) {
  if (!run.with_history || !strips) return;
  OutBuffer& o = md.line();
  out_lit(o,
          "_Outcomes over the newest runs, oldest first: `P` passed, `F` failed, "
          "`N` not executed, `-` not in that run._\n\n");
  md.put();
}

// The whole summary with `shown` items of each list.
void write_summary(OutBuffer& out, const TestRun& run, const MdList* lists, const size_t* shown) {
  Lines md(out);
  OutBuffer& o = md.line();
  out_lit(o, "## Test report");
  if (!run.title.empty()) {
    out_put(o, ' ');
    md_text(o, run.title);
  }
  out_lit(o, "\n\n");
  md.put();
  if (run.compared) {
    write_changes(md, run, lists, shown);
    out_lit(o, "### Results\n\n");
    md.put();
  }
  write_totals(md, run);
  write_list(md, "### Failed test cases\n\n", lists[LIST_FAILED], shown[LIST_FAILED],
             " failed test cases");
  write_list(md, "### Flakiest tests\n\n", lists[LIST_FLAKIEST], shown[LIST_FLAKIEST],
             " flaky tests");
  write_legend(md, run, run.counted.failed > 0 || lists[LIST_FLAKIEST].total > 0);
}

}  // namespace

void markdown_summary(OutBuffer& out, const TestRun& run) {
  markdown_summary(out, run, kMarkdownLimit);
}

void markdown_summary(OutBuffer& out, const TestRun& run, size_t limit) {
  MdList lists[LIST_COUNT];
  collect_lists(run, lists);
  // Written with no item, every "and N more" line is at its longest: what is
  // left of the limit is room the items can have for certain.
  size_t shown[LIST_COUNT] = {};
  const size_t frame =
      out_capture([&](OutBuffer& o) { write_summary(o, run, lists, shown); }).size();
  share_room(lists, limit > frame ? limit - frame : 0, shown);
  write_summary(out, run, lists, shown);
}
