// Paths of names and anchors, walked in run order, and the cutter.
#include "export/model/test_paths.h"

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

// Two lanes of a multiply-xorshift hash over the path's bytes: 128 bits, so
// that no two paths of a project meet by chance.
void digest_add(uint64_t (&d)[2], std::string_view bytes) {
  for (unsigned char c : bytes) {
    d[0] = (d[0] ^ c) * 0x100000001b3ULL;
    d[1] = (d[1] + c + 0x9e3779b97f4a7c15ULL) * 0xff51afd7ed558ccdULL;
    d[1] ^= d[1] >> 29;
  }
}

std::string digest_hex(const uint64_t (&d)[2]) {
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (uint64_t word : {hash_mix64(d[0] ^ d[1] >> 7), hash_mix64(d[1] ^ d[0] << 11)})
    for (int shift = 60; shift >= 0; shift -= 4) s += hex[word >> shift & 15];
  return s;
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

std::string_view path_base_name(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
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

TestCounts group_counts(const TestRun& run, const std::vector<uint32_t>& group) {
  TestCounts c;
  for (uint32_t root : group)
    for (uint32_t i = root + 1; i < run.nodes[root].end; ++i)
      if (is_test(run, run.nodes[i])) counts_add(c, run.nodes[i].state);
  return c;
}

// path holds the classname down to the current node, and levels remember
// where each ends.
void each_driver_test(const TestRun& run, uint32_t root,
                      const std::function<void(uint32_t, std::string_view)>& visit) {
  struct Level {
    uint32_t node;
    size_t length;
  };
  std::string path, scratch;
  path = unique_name(run, root, scratch);
  std::vector<Level> levels(1, {root, path.size()});
  for (uint32_t i = root + 1; i < run.nodes[root].end; ++i) {
    const TestNode& n = run.nodes[i];
    while (levels.size() > 1 && levels.back().node != static_cast<uint32_t>(n.parent))
      levels.pop_back();
    path.resize(levels.back().length);
    if (is_test(run, n)) visit(i, text_shorten(path, kPathCut));
    if (is_container(run, n)) {
      path += '.';
      path += unique_name(run, i, scratch);
    }
    levels.push_back({i, path.size()});
  }
}

std::string_view PathCursor::at(uint32_t i, bool* cut) {
  for (; next_ <= i; ++next_) {
    const TestNode& n = run_.nodes[next_];
    while (!levels_.empty() && levels_.back().node != static_cast<uint32_t>(n.parent))
      levels_.pop_back();
    path_.resize(levels_.empty() ? 0 : levels_.back().length);
    Level level{next_, 0, {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL}};
    if (!levels_.empty()) std::copy(levels_.back().digest, levels_.back().digest + 2, level.digest);
    if (!is_report(run_, n)) {
      const size_t from = path_.size();
      if (!path_.empty()) path_ += '/';
      const std::string_view name = unique_name(run_, next_, scratch_);
      if (spelling_ == PATH_NAMES)
        path_ += name;
      else
        path_ += anchor_segment(name);
      digest_add(level.digest, std::string_view(path_).substr(from));
    }
    level.length = path_.size();
    levels_.push_back(level);
  }
  if (cut) *cut = path_.size() > cut_.limit;
  if (path_.size() <= cut_.limit) return path_;
  shown_ = text_shorten(path_, cut_);
  return shown_;
}

std::string_view PathCursor::identity(uint32_t i, std::string_view* legacy) {
  const std::string_view path = at(i);
  if (path_.size() <= kPathCut.limit) {
    if (legacy) *legacy = path;
    return path;
  }
  // at() left the cut form in shown_ when its own cut is kPathCut.
  if (path.data() != shown_.data() || cut_.limit != kPathCut.limit || cut_.keep != kPathCut.keep)
    shown_ = text_shorten(path_, kPathCut);
  legacy_ = shown_;
  shown_ += kIdentityDigestMark;
  shown_ += digest_hex(levels_.back().digest);
  if (legacy) *legacy = legacy_;
  return shown_;
}

// A level adds its name after a '/' unless the path was empty before it; the
// node of a merged report adds nothing.
void PathCursor::names(std::vector<std::string_view>& names) const {
  names.clear();
  size_t before = 0;
  for (const Level& level : levels_) {
    if (!is_report(run_, run_.nodes[level.node])) {
      const size_t from = before == 0 ? 0 : before + 1;
      names.push_back(std::string_view(path_).substr(from, level.length - from));
    }
    before = level.length;
  }
}
