// The HTML, XML and JSON escapes with UTF-8 repair.
#include "export/escape.h"

#include <cstring>

#include "export/utf8.h"

namespace {

// Bytes below 128 that need more than a copy, per mode.
bool special(unsigned char c, EscapeMode mode) {
  if (c < 0x20) return true;
  if (mode == ESCAPE_TEXT) return false;
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
    else {  // HTML and plain text keep them
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

size_t utf16_length(const char* text, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t units = 0;
  for (size_t i = 0; i < n; ++units) {
    if (p[i] < 0x80) {
      ++i;
    } else if (const size_t len = utf8_valid(p + i, n - i)) {
      units += len == 4 ? 1 : 0;  // a character past U+FFFF takes two
      i += len;
    } else {
      ++i;  // a Latin-1 character
    }
  }
  return units;
}
