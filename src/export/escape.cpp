// The HTML, XML and JSON escapes with UTF-8 repair.
#include "export/escape.h"

#include <cctype>
#include <cstring>

#include "export/utf8.h"

namespace {

// Bytes below 128 that need more than a copy, per mode.
bool special(unsigned char c, EscapeMode mode) {
  if (c < 0x20) return true;
  if (mode == ESCAPE_TEXT || mode == ESCAPE_CODE) return false;
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
    else if (mode == ESCAPE_CODE && c != '\t')
      rep = " ";
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

// Writes the character that starts at p (n bytes left) and returns its
// length: valid UTF-8 as it is, any other byte as the Latin-1 character it
// names; with `breaks`, a line or paragraph separator as a blank.
size_t put_non_ascii(OutBuffer& out, const unsigned char* p, size_t n, bool breaks) {
  const size_t len = utf8_valid(p, n);
  const bool separator = len == 2   ? p[0] == 0xC2 && p[1] == 0x85
                         : len == 3 ? p[0] == 0xE2 && p[1] == 0x80 && (p[2] | 1) == 0xA9
                                    : len == 0 && p[0] == 0x85;
  if (breaks && separator) {
    out_put(out, ' ');
  } else if (len > 0) {
    out_write(out, reinterpret_cast<const char*>(p), len);
  } else {
    out_put(out, static_cast<char>(0xC0 | (p[0] >> 6)));
    out_put(out, static_cast<char>(0x80 | (p[0] & 0x3F)));
  }
  return len > 0 ? len : 1;
}

// A zero-width space: breaks a mention, a reference or an autolink in two.
constexpr char kBreak[] = "\xE2\x80\x8B";

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
    if (p[i] < 0x80) {
      put_special(out, p[i], mode);
      ++i;
    } else {
      i += put_non_ascii(out, p + i, n - i, mode == ESCAPE_CODE);
    }
  }
}

void out_markdown(OutBuffer& out, const char* text, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  auto at = [&](size_t k) { return k < n ? p[k] : 0; };
  auto word = [&](size_t k) { return std::isalnum(at(k)) != 0; };
  auto digit = [&](size_t k) { return std::isdigit(at(k)) != 0; };
  auto lower = [&](size_t k) { return static_cast<unsigned char>(at(k) | 0x20); };
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c >= 0x80) {
      i += put_non_ascii(out, p + i, n - i, true);
      continue;
    }
    ++i;
    switch (c) {
      case '\t':
      case '\n':
      case '\r':
        out_put(out, ' ');  // a line break would end the item, the row or the cell
        continue;
      case '<':
        out_lit(out, "&lt;");
        continue;
      case '>':
        out_lit(out, "&gt;");
        continue;
      case '&':
        out_lit(out, "&amp;");
        if (digit(i)) out_lit(out, kBreak);
        continue;
      case '@':
      case '#':
        out_put(out, static_cast<char>(c));
        out_lit(out, kBreak);
        continue;
      case '!':
        out_put(out, '!');
        if (digit(i)) out_lit(out, kBreak);
        continue;
      case '%':
        out_put(out, '%');
        if (word(i) || at(i) == '"') out_lit(out, kBreak);
        continue;
      case ':':
        if (at(i) == '/' && at(i + 1) == '/') out_lit(out, kBreak);
        out_put(out, ':');
        continue;
      case '\\':
      case '`':
      case '*':
      case '_':
      case '[':
      case ']':
      case '|':
      case '~':
      case '$':
        out_put(out, '\\');
        out_put(out, static_cast<char>(c));
        if ((c == '~' && (word(i) || at(i) == '"')) || (c == '$' && digit(i))) out_lit(out, kBreak);
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      out_lit(out, "\xEF\xBF\xBD");
    } else if ((c | 0x20) == 'w' && lower(i) == 'w' && lower(i + 1) == 'w' && at(i + 2) == '.') {
      out_write(out, text + i - 1, 3);
      out_lit(out, kBreak);
      i += 2;
    } else if ((c | 0x20) == 'g' && lower(i) == 'h' && at(i + 1) == '-' && digit(i + 2)) {
      out_write(out, text + i - 1, 3);
      out_lit(out, kBreak);
      i += 2;
    } else {
      out_put(out, static_cast<char>(c));
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
