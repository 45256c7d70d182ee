// Reads the lines around failed checks: the checks are sorted by file and
// line, and each file is read once in one pass up to the last line it needs.
#include "export/source_snippets.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

struct Wanted {
  uint32_t file;
  uint64_t line;
  uint32_t row;
};

// Names that stay below the root: relative, and with no ".." among their parts.
bool inside_root(std::string_view path) {
  if (path.empty() || path[0] == '/') return false;
  for (size_t from = 0; from <= path.size();) {
    size_t to = std::min(path.find('/', from), path.size());
    if (path.substr(from, to - from) == "..") return false;
    from = to + 1;
  }
  return true;
}

// The first kSnippetWidth characters of a line, and "…" when there were more.
void cut_line(std::string& text) {
  size_t chars = 0, i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == kSnippetWidth) break;
  }
  if (i < text.size()) text.replace(i, std::string::npos, "\xE2\x80\xA6");
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The lines of one file that the wanted checks [from, to) need, by number.
// A line is kept up to a bound, so a file of one huge line costs no memory.
std::unordered_map<uint64_t, std::string> needed_lines(const std::string& path, const Wanted* from,
                                                       const Wanted* to) {
  std::unordered_map<uint64_t, std::string> lines;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return lines;
  const uint64_t last = (to - 1)->line + kSnippetAround;
  const size_t keep = kSnippetWidth * 4 + 4;  // enough bytes for the characters shown
  uint64_t number = 1;
  const Wanted* next = from;  // the first check whose lines are not all behind
  std::string text;
  bool wanted = false;
  auto start_line = [&] {
    while (next != to && next->line + kSnippetAround < number) ++next;
    wanted = next != to && next->line <= number + kSnippetAround;
    text.clear();
  };
  auto end_line = [&] {
    if (wanted) {
      if (!text.empty() && text.back() == '\r') text.pop_back();
      cut_line(text);
      lines.emplace(number, text);
    }
    ++number;
    start_line();
  };
  start_line();
  char buffer[1 << 16];
  size_t got;
  while (number <= last && (got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
    for (size_t i = 0; i < got && number <= last; ++i) {
      if (buffer[i] == '\n')
        end_line();
      else if (wanted && text.size() < keep)
        text += buffer[i];
    }
  }
  // The last line needs no line end; a file that could not be read gives none.
  if (number <= last && !std::ferror(f.get()) && !text.empty()) end_line();
  return lines;
}

}  // namespace

void snippets_read(TestRun& run) {
  run.snippets.clear();
  if (run.source_root.empty()) return;
  std::vector<Wanted> wanted;
  for (uint32_t r = 0; r < run.rows.size() && wanted.size() < kSnippets; ++r) {
    const Row& row = run.rows[r];
    if (!(row.flags & ROW_FAILED) || row.file == kNone || !row_links_line(run, row)) continue;
    std::string scratch;
    uint64_t line = 0;
    if (decimal_value(row_line_text(run, row, scratch), line) && line > 0)
      wanted.push_back({row.file, line, r});
  }
  std::sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) {
    return a.file != b.file ? a.file < b.file : a.line < b.line;
  });
  for (size_t from = 0; from < wanted.size();) {
    size_t to = from;
    while (to < wanted.size() && wanted[to].file == wanted[from].file) ++to;
    const std::string_view name = source_path(run, wanted[from].file);
    if (inside_root(name)) {
      std::string path = run.source_root;
      if (path.back() != '/') path += '/';
      path += name;
      const auto lines = needed_lines(path, &wanted[from], &wanted[to - 1] + 1);
      for (size_t k = from; k < to; ++k) {
        const Wanted& w = wanted[k];
        if (!lines.count(w.line)) continue;
        SourceSnippet s{w.row, w.line, w.line, {}};
        while (s.first > 1 && s.first + kSnippetAround > w.line && lines.count(s.first - 1))
          --s.first;
        for (uint64_t n = s.first; n <= w.line + kSnippetAround && lines.count(n); ++n)
          s.lines.push_back(lines.at(n));
        run.snippets.push_back(std::move(s));
      }
    }
    from = to;
  }
  std::sort(run.snippets.begin(), run.snippets.end(),
            [](const SourceSnippet& a, const SourceSnippet& b) { return a.row < b.row; });
}

std::string snippet_gutter(const SourceSnippet& s, size_t k) {
  const std::string number = std::to_string(s.first + k);
  const size_t width = std::to_string(s.first + s.lines.size() - 1).size();
  std::string gutter = s.first + k == s.line ? "> " : "  ";
  gutter.append(width - number.size(), ' ');
  return gutter + number + " | ";
}
