// Reads the lines around failed checks: the checks are sorted by file and
// line, and each file is read once in one pass up to the last line it needs.
#include "export/read/source_snippets.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/read/source_file.h"

namespace {

struct Wanted {
  uint32_t file;
  uint64_t line;
  uint32_t row;
};

// The first kSnippetWidth characters of a line, and "…" when there were more.
void cut_line(std::string& text) {
  size_t chars = 0, i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == kSnippetWidth) break;
  }
  if (i < text.size()) text.replace(i, std::string::npos, "\xE2\x80\xA6");
}

// The lines of the file open as fd that the wanted checks [from, to) need, by
// number. A line is kept up to a bound, so a file of one huge line costs no
// memory, and no more than kSourceFileBytes of the file are read.
std::unordered_map<uint64_t, std::string> needed_lines(int fd, const Wanted* from,
                                                       const Wanted* to) {
  std::unordered_map<uint64_t, std::string> lines;
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
      // A carriage return inside the line would draw a line of its own in
      // the page (a browser breaks <pre> there): a blank instead.
      std::replace(text.begin(), text.end(), '\r', ' ');
      cut_line(text);
      lines.emplace(number, text);
    }
    ++number;
    start_line();
  };
  start_line();
  char buffer[1 << 16];
  uint64_t read = 0;
  bool failed = false;
  while (number <= last && read < kSourceFileBytes) {
    const ssize_t got =
        ::read(fd, buffer, std::min<uint64_t>(sizeof buffer, kSourceFileBytes - read));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      failed = got < 0;
      break;
    }
    read += static_cast<uint64_t>(got);
    for (ssize_t i = 0; i < got && number <= last; ++i) {
      if (buffer[i] == '\n')
        end_line();
      else if (wanted && text.size() < keep)
        text += buffer[i];
    }
  }
  // The last line needs no line end; a file that could not be read gives
  // none, and neither does one cut at the bound.
  if (number <= last && !failed && read < kSourceFileBytes && !text.empty()) end_line();
  return lines;
}

// One line for all the files refused, by reason: their names are input, and
// a crafted report could name thousands.
std::string refusal_warning(const std::string& root, const size_t* refused) {
  size_t total = 0;
  for (int k = SOURCE_OUTSIDE; k < kSourceRefusals; ++k) total += refused[k];
  if (total == 0) return std::string();
  std::string line = root + ": no lines shown of " + std::to_string(total) +
                     (total == 1 ? " source file (" : " source files (");
  const char* separator = "";
  for (int k = SOURCE_OUTSIDE; k < kSourceRefusals; ++k) {
    if (refused[k] == 0) continue;
    line += separator + std::to_string(refused[k]) + ' ' + kSourceRefusalWords[k];
    separator = ", ";
  }
  return line + ")";
}

}  // namespace

std::string snippets_read(TestRun& run) {
  run.snippets.clear();
  if (run.source_root.empty()) return std::string();
  const int root_fd = ::open(run.source_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) return std::string();
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
  size_t refused[kSourceRefusals] = {};
  for (size_t from = 0; from < wanted.size();) {
    size_t to = from;
    while (to < wanted.size() && wanted[to].file == wanted[from].file) ++to;
    int fd = -1;
    const SourceOpen opened = source_file_open(root_fd, source_path(run, wanted[from].file), fd);
    ++refused[opened];
    if (opened == SOURCE_OPENED) {
      const auto lines = needed_lines(fd, &wanted[from], &wanted[to - 1] + 1);
      ::close(fd);
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
  ::close(root_fd);
  std::sort(run.snippets.begin(), run.snippets.end(),
            [](const SourceSnippet& a, const SourceSnippet& b) { return a.row < b.row; });
  return refusal_warning(run.source_root, refused);
}
