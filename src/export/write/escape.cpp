// The escapes of every output, with UTF-8 repair: HTML, XML, JSON, plain text,
// Markdown code lines and inline Markdown.
#include "export/write/escape.h"

#include <cctype>
#include <cstring>

#include "export/model/utf8.h"

namespace {

// Bytes below 128 that need more than a copy, per mode.
bool special(unsigned char c, EscapeMode mode) {
  if (c < 0x20) return mode != ESCAPE_XML_TEXT || (c != '\t' && c != '\n');
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
    else if (mode == ESCAPE_XML || mode == ESCAPE_XML_TEXT)
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

// What inline Markdown makes of each ASCII character: its text (null: the
// character itself), and when a zero-width space must follow it, since "@x",
// "#1", and GitLab's "!1", "&1", "$1", "~x", "%x" refer to someone or something.
enum MarkdownBreak : uint8_t { BREAK_NEVER, BREAK_ALWAYS, BREAK_BEFORE_DIGIT, BREAK_BEFORE_WORD };
struct MarkdownChar {
  const char* text = nullptr;
  MarkdownBreak breaks = BREAK_NEVER;
};
struct MarkdownChars {
  MarkdownChar of[128];
  MarkdownChar& at(char c) { return of[static_cast<unsigned char>(c)]; }
  MarkdownChars() {
    for (int c = 0; c < 0x20; ++c) of[c].text = "\xEF\xBF\xBD";
    of[0x7F].text = "\xEF\xBF\xBD";
    // A line break would end the item, the row or the cell.
    at('\t').text = at('\n').text = at('\r').text = " ";
    at('<').text = "&lt;";
    at('>').text = "&gt;";
    at('&') = {"&amp;", BREAK_BEFORE_DIGIT};
    at('@').breaks = at('#').breaks = BREAK_ALWAYS;
    at('!').breaks = BREAK_BEFORE_DIGIT;
    at('%').breaks = BREAK_BEFORE_WORD;
    // Emphasis, code, links, strike-through, math and the cell ends of a
    // table (which a table row honours even inside code).
    static const char* const kEscaped[] = {"\\\\", "\\`", "\\*", "\\_", "\\[",
                                           "\\]",  "\\|", "\\~", "\\$"};
    for (const char* e : kEscaped) at(e[1]).text = e;
    at('~').breaks = BREAK_BEFORE_WORD;
    at('$').breaks = BREAK_BEFORE_DIGIT;
  }
};
const MarkdownChars kMarkdownChars;

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
  auto lower = [&](size_t k) { return static_cast<unsigned char>(at(k) | 0x20); };
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c >= 0x80) {
      i += put_non_ascii(out, p + i, n - i, true);
      continue;
    }
    ++i;
    // "www." and "GH-12" are broken after their letters, "http://" before its ':'.
    if (((c | 0x20) == 'w' && lower(i) == 'w' && lower(i + 1) == 'w' && at(i + 2) == '.') ||
        ((c | 0x20) == 'g' && lower(i) == 'h' && at(i + 1) == '-' && std::isdigit(at(i + 2)))) {
      out_write(out, text + i - 1, 3);
      out_lit(out, kBreak);
      i += 2;
      continue;
    }
    if (c == ':' && at(i) == '/' && at(i + 1) == '/') out_lit(out, kBreak);
    const MarkdownChar& m = kMarkdownChars.of[c];
    if (m.text)
      out_str(out, m.text);
    else
      out_put(out, static_cast<char>(c));
    const unsigned char next = at(i);
    if (m.breaks == BREAK_ALWAYS || (m.breaks == BREAK_BEFORE_DIGIT && std::isdigit(next)) ||
        (m.breaks == BREAK_BEFORE_WORD && (std::isalnum(next) || next == '"')))
      out_lit(out, kBreak);
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
