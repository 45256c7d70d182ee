// Repairs for what older writers left in reports: the unescaped DOCUMENT head,
// and raw double quotes in the values of browse-tree and link tags.
#include "export/read/xrd_repair.h"

#include <algorithm>
#include <cstring>

#include "export/model/utf8.h"

namespace {

bool starts(const char* p, const char* end, const char* what) {
  size_t n = std::strlen(what);
  return static_cast<size_t>(end - p) >= n && std::memcmp(p, what, n) == 0;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const char* find(const char* from, const char* end, const char* what) {
  size_t n = std::strlen(what);
  if (static_cast<size_t>(end - from) < n) return nullptr;
  const void* p = memmem(from, static_cast<size_t>(end - from), what, n);
  return static_cast<const char*>(p);
}

// Whether the tag [p, end] (end at its '>') has well-formed attributes.
bool tag_well_formed(const char* p, const char* end) {
  ++p;
  while (p < end && !is_blank(*p)) ++p;
  for (;;) {
    while (p < end && is_blank(*p)) ++p;
    if (p == end || (*p == '/' && p + 1 == end)) return true;
    while (p < end && *p != '=' && *p != '"' && !is_blank(*p)) ++p;
    if (p == end || *p != '=' || p + 1 >= end || (p[1] != '"' && p[1] != '\'')) return false;
    char quote = p[1];
    const char* close =
        static_cast<const char*>(std::memchr(p + 2, quote, static_cast<size_t>(end - p - 2)));
    if (!close) return false;
    p = close + 1;
    if (p < end && !is_blank(*p) && *p != '/') return false;
  }
}

// Last occurrence of what that lies whole in [from, to): a match that would
// run past to may run past the end of the buffer too.
const char* find_last(const char* from, const char* to, const char* what) {
  size_t at = std::string_view(from, static_cast<size_t>(to - from)).rfind(what);
  return at == std::string_view::npos ? nullptr : from + at;
}

// Repairs the tags of in[0, n) into out and returns how many bytes it took:
// unless `last`, it stops before a browse-tree or link tag whose end is not in
// them yet, which the next block completes.
size_t repair_quotes_part(const char* in, size_t n, bool last, std::string& out, bool& changed) {
  const char* end = in + n;
  const char* p = in;
  while (p < end) {
    const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    if (!lt) break;
    out.append(p, lt);
    p = lt;
    const size_t left = static_cast<size_t>(end - lt);
    if (!last && left < sizeof "<DAZU:NODE " - 1 &&
        (std::memcmp(lt, "<DAZU:NODE ", left) == 0 ||
         std::memcmp(lt, "<LINK ", std::min<size_t>(left, 6)) == 0))
      return static_cast<size_t>(lt - in);
    bool node = starts(lt, end, "<DAZU:NODE "), link = starts(lt, end, "<LINK ");
    const char* gt = node || link ? static_cast<const char*>(std::memchr(lt, '>', left)) : nullptr;
    if ((node || link) && !gt) {
      if (!last) return static_cast<size_t>(lt - in);
      // No '>' left: no later tag can be repaired either, and looking for one
      // from each '<' would cost the rest of the file every time.
      break;
    }
    if (!gt || tag_well_formed(lt, gt)) {
      const char* stop = gt ? gt + 1 : lt + 1;
      out.append(lt, stop);
      p = stop;
      continue;
    }
    // The writer's layout: name="..." type="..." on a browse-tree entry, and
    // TARGET="..." alone on a link; the value ends at the last such boundary.
    const char* key = node ? "name=\"" : "TARGET=\"";
    const char* value = find(lt, gt, key);
    const char* value_end = nullptr;
    if (value) {
      value += std::strlen(key);
      value_end = node ? find_last(value, gt, "\" type=\"") : find_last(value, gt, "\"");
    }
    if (!value_end) {
      out.append(lt, gt + 1);
      p = gt + 1;
      continue;
    }
    out.append(lt, value);
    for (const char* q = value; q < value_end; ++q) {
      if (*q == '"') {
        out += "&#34;";
        changed = true;
      } else {
        out += *q;
      }
    }
    out.append(value_end, gt + 1);
    p = gt + 1;
  }
  out.append(p, end);
  return n;
}

// The DOCUMENT head ends within this many bytes of its start, or is taken
// to have another layout: a path and a test-node name are far shorter.
constexpr size_t kHeadMax = size_t{1} << 20;
// A browse-tree or link tag longer than this is passed on unrepaired, so
// that a tag that never ends costs no more memory than this.
constexpr size_t kTagMax = size_t{64} << 20;

// Where the DOCUMENT head held from its start ends: the first '">' from
// `from` on that is followed, past blanks, by the next tag; npos while none
// is in sight, with `from` moved to the first place still undecided.
size_t head_end(const std::string& held, size_t& from) {
  size_t at = held.find("\">", from);
  for (; at != std::string::npos; at = held.find("\">", at + 1)) {
    size_t q = at + 2;
    while (q < held.size() && is_blank(held[q])) ++q;
    if (q == held.size()) break;  // the next block tells
    if (held[q] == '<') return at;
  }
  from = at != std::string::npos ? at : held.size() > 0 ? held.size() - 1 : 0;
  return std::string::npos;
}

}  // namespace

bool xrd_repair_quotes(const char* in, size_t n, std::string& out) {
  out.clear();
  out.reserve(n + n / 16);
  bool changed = false;
  repair_quotes_part(in, n, true, out, changed);
  return changed;
}

std::string xrd_decode_refs(const char* text, size_t n) {
  static const struct {
    const char* name;
    char c;
  } named[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  std::string s;
  s.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (text[i] != '&') {
      s += text[i];
      continue;
    }
    size_t j = i + 1;
    if (j < n && text[j] == '#') {
      bool hex = j + 1 < n && (text[j + 1] == 'x' || text[j + 1] == 'X');
      size_t k = j + (hex ? 2 : 1), digits = 0;
      unsigned long cp = 0;
      for (; k < n && digits < 8; ++k, ++digits) {
        char c = text[k];
        int v = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        if (v < 0) break;
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
      }
      if (digits > 0 && k < n && text[k] == ';') {
        utf8_append(s, cp);
        i = k;
        continue;
      }
    } else {
      bool done = false;
      for (const auto& e : named) {
        if (starts(text + j, text + n, e.name)) {
          s += e.c;
          i = j + std::strlen(e.name) - 1;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    s += '&';
  }
  return s;
}

bool xrd_take_head(char* buf, size_t size, std::string& title, std::string& tag) {
  const char* end = buf + size;
  const char* head = find(buf, end, "<DOCUMENT");
  if (!head) return false;
  const char* p = head + 9;
  if (p == end || !is_blank(*p)) return false;
  while (p < end && is_blank(*p)) ++p;
  if (std::strncmp(p, "TITLE=\"", 7) != 0) return false;
  const char* value = p + 7;
  // The head ends at the first '">' that is followed, past blanks, by the
  // next tag or by the end: a path may itself hold '">'.
  const char* close = value;
  for (;;) {
    close = find(close, end, "\">");
    if (!close) return false;
    const char* q = close + 2;
    while (q < end && is_blank(*q)) ++q;
    if (q == end || *q == '<') break;
    ++close;
  }
  const char* tag_at = nullptr;
  for (const char* q = value; (q = find(q, close, "\" TAG=\"")) != nullptr; ++q) tag_at = q;
  if (tag_at) {
    title = xrd_decode_refs(value, static_cast<size_t>(tag_at - value));
    tag = xrd_decode_refs(tag_at + 7, static_cast<size_t>(close - tag_at - 7));
  } else {
    title = xrd_decode_refs(value, static_cast<size_t>(close - value));
    tag.clear();
  }
  for (char* q = buf + (head - buf) + 9; q < buf + (close - buf) + 1; ++q)
    if (*q != '\n') *q = ' ';
  return true;
}

std::string_view HeadStage::feed(std::string_view in, bool last) {
  if (state_ == DONE) return in;
  out_.clear();
  if (state_ == SEEKING) {
    // The tag may start at the end of one block and go on in the next.
    held_.append(in);
    const size_t at = held_.find("<DOCUMENT");
    if (at == std::string::npos) {
      const size_t keep = std::min(held_.size(), sizeof "<DOCUMENT" - 2);
      if (last) {
        state_ = DONE;
        out_.swap(held_);
        return out_;
      }
      out_.assign(held_, 0, held_.size() - keep);
      held_.erase(0, held_.size() - keep);
      return out_;
    }
    out_.assign(held_, 0, at);
    held_.erase(0, at);
    state_ = HOLDING;
    searched_ = 0;
  } else {
    held_.append(in);
  }
  const size_t end = head_end(held_, searched_);
  if (end == std::string::npos && !last && held_.size() < kHeadMax) return out_;
  // The head is in view (or never ends): mended in place, of the same length.
  if (end != std::string::npos || last)
    taken_ = xrd_take_head(&held_[0], held_.size(), title_, tag_);
  out_.append(held_);
  held_ = std::string();
  state_ = DONE;
  return out_;
}

std::string_view QuoteStage::feed(std::string_view in, bool last) {
  out_.clear();
  const uint64_t out_base = out_done_, in_base = in_done_ - pending_.size();
  if (given_up_) {
    in_done_ += in.size();
    out_done_ += in.size();
    return in;
  }
  std::string_view data = in;
  if (!pending_.empty()) {
    // A tag carried over needs its '>' first; until then the block only adds to it.
    const bool closed = std::memchr(in.data(), '>', in.size()) != nullptr;
    pending_.append(in);
    in_done_ += in.size();
    if (!closed && !last && pending_.size() <= kTagMax) return {};
    data = pending_;
  } else {
    in_done_ += in.size();
  }
  const size_t before = out_.size();
  bool changed = false;
  const size_t taken = repair_quotes_part(data.data(), data.size(), last, out_, changed);
  std::string rest(data.substr(taken));
  if (rest.size() > kTagMax) {
    given_up_ = true;
    out_.append(rest);
    rest.clear();
  }
  if (changed) {
    // Offsets from the block's start on map as at its end.
    shifts_.add(out_base + before, static_cast<int64_t>(out_base + out_.size()) -
                                       static_cast<int64_t>(in_base + taken));
  }
  pending_.swap(rest);
  out_done_ += out_.size();
  return out_;
}

uint64_t ByteShifts::in_offset(uint64_t out) const {
  auto it = std::upper_bound(at.begin(), at.end(), std::make_pair(out, INT64_MAX));
  if (it == at.begin()) return out;
  return static_cast<uint64_t>(static_cast<int64_t>(out) - std::prev(it)->second);
}
