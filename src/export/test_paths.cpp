// Paths of names and anchors, walked in run order, and the cutter.
#include "export/test_paths.h"

#include <algorithm>
#include <unordered_map>

#include "base/hash.h"

namespace {

bool continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool is_safe(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

}  // namespace

void text_cut(const char* text, size_t n, TextCut rule, size_t& head, size_t& tail) {
  head = tail = n;
  if (n <= rule.limit) return;
  head = rule.keep;
  tail = n - rule.keep;
  while (head > 0 && continuation(text[head])) --head;
  while (tail < n && continuation(text[tail])) ++tail;
}

std::string text_shorten(std::string_view text, TextCut rule) {
  size_t head, tail;
  text_cut(text.data(), text.size(), rule, head, tail);
  if (head == text.size()) return std::string(text);
  std::string s(text.substr(0, head));
  s += "\xE2\x80\xA6";
  s += text.substr(tail);
  return s;
}

std::string anchor_segment(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (is_safe(c)) {
      out += ch;
    } else {
      out += '~';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::vector<std::vector<uint32_t>> driver_groups(const TestRun& run) {
  std::vector<std::vector<uint32_t>> groups;
  std::unordered_map<std::string, size_t, TextHash> group_of;
  std::string scratch;
  for (const Driver& d : run.drivers) {
    const auto [it, added] =
        group_of.emplace(std::string(unique_name(run, d.node, scratch)), groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(d.node);
  }
  return groups;
}

std::string_view PathCursor::at(uint32_t i, bool* cut) {
  for (; next_ <= i; ++next_) {
    const TestNode& n = run_.nodes[next_];
    while (!levels_.empty() && levels_.back().node != static_cast<uint32_t>(n.parent))
      levels_.pop_back();
    path_.resize(levels_.empty() ? 0 : levels_.back().length);
    if (!is_report(run_, n)) {
      if (!path_.empty()) path_ += '/';
      const std::string_view name = unique_name(run_, next_, scratch_);
      if (spelling_ == PATH_NAMES)
        path_ += name;
      else
        path_ += anchor_segment(name);
    }
    levels_.push_back({next_, path_.size()});
  }
  if (cut) *cut = path_.size() > cut_.limit;
  if (path_.size() <= cut_.limit) return path_;
  shown_ = text_shorten(path_, cut_);
  return shown_;
}
