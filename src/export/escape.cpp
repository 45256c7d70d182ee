// The HTML, XML and JSON escapes with UTF-8 repair.
#include "export/escape.h"

#include <cstring>

namespace {

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
// Noncharacters U+FFFE and U+FFFF count as invalid: XML forbids them.
size_t utf8_valid(const unsigned char* p, size_t n) {
  unsigned char c = p[0];
  if (c < 0xC2 || c > 0xF4) return 0;
  size_t len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (n < len) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  if (len == 3) {
    if (c == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;  // surrogate
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;
  } else if (len == 4) {
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
  }
  return len;
}

// Bytes below 128 that need more than a copy, per mode.
bool special(unsigned char c, EscapeMode mode) {
  if (c < 0x20) return true;
  switch (c) {
    case '&':
    case '>':
      return mode != ESCAPE_JSON;
    case '<':
    case '"':
      return true;
    case '\'':
      return mode == ESCAPE_HTML;
    case '\\':
      return mode == ESCAPE_JSON;
    default:
      return false;
  }
}

void put_special(OutBuffer& out, unsigned char c, EscapeMode mode) {
  const char* rep = nullptr;
  if (c == '\t' || c == '\n' || c == '\r') {
    if (mode == ESCAPE_JSON)
      rep = c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
    else if (mode == ESCAPE_XML)
      rep = c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
    else {
      out_put(out, static_cast<char>(c));
      return;
    }
  } else if (c < 0x20) {
    rep = "\xEF\xBF\xBD";
  } else if (mode == ESCAPE_JSON) {
    rep = c == '"' ? "\\\"" : c == '\\' ? "\\\\" : "\\u003c";
  } else {
    rep = c == '&'   ? "&amp;"
          : c == '<' ? "&lt;"
          : c == '>' ? "&gt;"
          : c == '"' ? "&quot;"
                     : "&#39;";
  }
  out_str(out, rep);
}

}  // namespace

void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && p[run] < 0x80 && !special(p[run], mode)) ++run;
    if (run > i) {
      out_write(out, text + i, run - i);
      i = run;
      if (i == n) break;
    }
    unsigned char c = p[i];
    if (c < 0x80) {
      put_special(out, c, mode);
      ++i;
    } else if (size_t len = utf8_valid(p + i, n - i)) {
      out_write(out, text + i, len);
      i += len;
    } else {
      out_put(out, static_cast<char>(0xC0 | (c >> 6)));
      out_put(out, static_cast<char>(0x80 | (c & 0x3F)));
      ++i;
    }
  }
}

void out_escaped(OutBuffer& out, const char* text, EscapeMode mode) {
  out_escaped(out, text, std::strlen(text), mode);
}

int write_output(const char* path, bool append, const std::function<void(OutBuffer&)>& write,
                 std::string& error) {
  OutBuffer out;
  if (!out_open_file(out, path, append)) {
    error = std::string("cannot create: ") + std::strerror(out.error);
    return -1;
  }
  write(out);
  if (!out_close(out)) {
    error = std::string("cannot write: ") + std::strerror(out.error);
    return -1;
  }
  return 0;
}

size_t utf8_fold_bytes(char* text, size_t n) {
  unsigned char* p = reinterpret_cast<unsigned char*>(text);
  size_t first = 0;
  while (first < n && p[first] < 0x80) ++first;
  if (first == n) return n;
  // Only a text whose every character stands for one byte can be folded; one
  // that holds a character above U+00FF is Unicode already.
  for (size_t i = first; i < n; ++i) {
    if (p[i] < 0x80) continue;
    if ((p[i] != 0xC2 && p[i] != 0xC3) || i + 1 == n || (p[i + 1] & 0xC0) != 0x80) return n;
    ++i;
  }
  // Each character becomes its one byte, so the bytes fit where the text was.
  size_t m = first;
  for (size_t i = first; i < n; ++i, ++m) {
    if (p[i] < 0x80) {
      p[m] = p[i];
    } else {
      p[m] = static_cast<unsigned char>(((p[i] & 0x03) << 6) | (p[i + 1] & 0x3F));
      ++i;
    }
  }
  size_t i = first;
  while (i < m && (p[i] < 0x80 || utf8_valid(p + i, m - i) > 0))
    i += p[i] < 0x80 ? 1 : utf8_valid(p + i, m - i);
  if (i == m) {
    if (m < n) p[m] = '\0';
    return m;
  }
  // Not UTF-8: the bytes were Latin-1, and their characters go back in place,
  // filled from the end so that no byte is overwritten before it is read.
  size_t w = n;
  for (size_t k = m; k-- > first;) {
    unsigned char b = p[k];
    if (b < 0x80) {
      p[--w] = b;
    } else {
      p[--w] = static_cast<unsigned char>(0x80 | (b & 0x3F));
      p[--w] = static_cast<unsigned char>(0xC0 | (b >> 6));
    }
  }
  return n;
}

void utf8_append(std::string& s, unsigned long cp) {
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF)
    cp = 0xFFFD;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
