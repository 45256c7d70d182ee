// Failed checks, source locations and the run-independent names of sections.
#include "export/test_paths.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "export/xrd_vocabulary.h"

bool xrd_is_failed_row(const XrdReport& r, const XrdRow& row) {
  if (row.kind != ROW_CHECK) return false;
  if (row.style == XRD_FAILED) return true;
  return row.cell_count > 1 && std::strcmp(r.cells[row.first_cell + 1].text, kWordFailed) == 0;
}

std::string xrd_location(const char* target) {
  std::string_view t(target);
  size_t at = t.rfind(" line ");
  if (at == std::string_view::npos || at + 6 == t.size()) return std::string(t);
  std::string_view line = t.substr(at + 6);
  for (char c : line)
    if (c < '0' || c > '9') return std::string(t);
  std::string out(t.substr(0, at));
  out += ':';
  out += line;
  return out;
}

std::vector<std::string> xrd_unique_names(const XrdReport& r) {
  std::vector<std::string> names(r.sections.size());
  std::unordered_map<NameStep, uint32_t, NameStepHash> seen;
  seen.reserve(r.sections.size());
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    std::string_view base(*s.name ? s.name : s.type);
    uint32_t& count = seen[NameStep{s.parent, base}];
    names[i] = std::string(base);
    if (++count > 1) {
      names[i] += " (";
      names[i] += std::to_string(count);
      names[i] += ')';
    }
  }
  return names;
}

std::string xrd_path(const XrdReport& r, const std::vector<std::string>& names, uint32_t i) {
  std::vector<uint32_t> chain;
  for (int32_t at = static_cast<int32_t>(i); at >= 0; at = r.sections[at].parent)
    chain.push_back(static_cast<uint32_t>(at));
  std::string path;
  for (size_t k = chain.size(); k-- > 0;) {
    if (!path.empty()) path += '/';
    path += names[chain[k]];
  }
  return path;
}

void xrd_cut(const char* text, size_t n, size_t& head, size_t& tail) {
  head = tail = n;
  if (n <= kXrdPathMax) return;
  head = kXrdPathMax / 2 - 2;
  tail = n - head;
  while (head > 0 && (static_cast<unsigned char>(text[head]) & 0xC0) == 0x80) --head;
  while (tail < n && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80) ++tail;
}

std::string xrd_shorten(const std::string& text) {
  size_t head, tail;
  xrd_cut(text.data(), text.size(), head, tail);
  if (head == text.size()) return text;
  return text.substr(0, head) + "\xE2\x80\xA6" + text.substr(tail);
}

std::string XrdPathCursor::at(uint32_t i, bool* cut) {
  for (; next_ <= i; ++next_) {
    const XrdSection& s = r_.sections[next_];
    while (!levels_.empty() && levels_.back().section != static_cast<uint32_t>(s.parent))
      levels_.pop_back();
    path_.resize(levels_.empty() ? 0 : levels_.back().length);
    if (!skip_reports_ || !xrd_is_report_section(s)) {
      if (!path_.empty()) path_ += '/';
      path_ += names_[next_];
    }
    levels_.push_back({next_, path_.size()});
  }
  if (cut) *cut = path_.size() > kXrdPathMax;
  return xrd_shorten(path_);
}
