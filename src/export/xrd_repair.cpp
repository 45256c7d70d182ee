// Repairs for what older writers left in reports: the unescaped DOCUMENT head,
// and raw double quotes in the values of browse-tree and link tags.
#include <cstring>
#include <string>
#include <string_view>

#include "export/escape.h"
#include "export/xrd_read.h"

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

}  // namespace

bool xrd_repair_quotes(const char* in, size_t n, std::string& out) {
  const char* end = in + n;
  const char* p = in;
  bool changed = false;
  out.clear();
  out.reserve(n + n / 16);
  while (p < end) {
    const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    if (!lt) break;
    out.append(p, lt);
    p = lt;
    bool node = starts(lt, end, "<DAZU:NODE "), link = starts(lt, end, "<LINK ");
    const char* gt =
        node || link ? static_cast<const char*>(std::memchr(lt, '>', static_cast<size_t>(end - lt)))
                     : nullptr;
    // No '>' left: no later tag can be repaired either, and looking for one
    // from each '<' would cost the rest of the file every time.
    if ((node || link) && !gt) break;
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
