// The scanners shared by both trace readers, and split_field.
#include "readers/scanner.h"

#include <cstring>

#include "readers/number_scan.h"
#include "readers/span_scan.h"

// A NUL ends a text: what follows it is read but never stored, so that a run
// of bytes after it costs no memory.
void scan_token_into(TraceStream& stream, int delimiter, std::string& out) {
  out.clear();
  bool cut = false;
  stream_scan(stream, [&](int c) {
    if (c == delimiter) return false;
    if (c != '\n' && !cut) {
      if (c == 0) {
        cut = true;
      } else {
        out.push_back(static_cast<char>(c));
      }
    }
    return true;
  });
}

std::string scan_token(TraceStream& stream, int delimiter) {
  std::string token;
  scan_token_into(stream, delimiter, token);
  return token;
}

uint32_t scan_number(TraceStream& stream, int delimiter, int base) {
  NumberScan number(base);
  stream_scan(stream, [&](int c) {
    if (c == delimiter) return false;
    if (c != '\n') number.feed(c);
    return true;
  });
  return number.result();
}

void scan_quoted_into(TraceStream& stream, std::string& out) {
  int c;
  do {
    c = stream_get(stream);
  } while (c == ' ');
  scan_token_into(stream, '"', out);
}

std::string scan_quoted(TraceStream& stream) {
  std::string text;
  scan_quoted_into(stream, text);
  return text;
}

void skip_char(TraceStream& stream) {
  stream_get(stream);
}

void skip_rest_of_line(TraceStream& stream) {
  stream_scan(stream, [](int c) { return c != '\n'; });
}

namespace {

// A text that ends its line, when that line lies whole in the block and has
// none of the bytes the rules treat specially (backslash, carriage return,
// NUL, 0x1A): then the text is the line's bytes, less the last one that the
// match drops, and they are copied at once. False leaves the stream as it was.
bool plain_line_text(TraceStream& stream, std::string& out) {
  const unsigned char* p = stream.pos;
  const unsigned char* const end = stream.end;
  for (; kSpanWords && end - p >= 8; p += 8) {
    const uint64_t word = span::load(p);
    const uint64_t found = span::first_equal(word, '\n') | span::first_equal(word, '\\') |
                           span::first_equal(word, '\r') | span::first_equal(word, 0) |
                           span::first_equal(word, 0x1A);
    if (found != 0) {
      p += __builtin_ctzll(found) / 8;
      break;
    }
  }
  while (p != end && *p != '\n' && *p != '\\' && *p != '\r' && *p != 0 && *p != 0x1A) ++p;
  if (p == end || *p != '\n') return false;
  const size_t length = static_cast<size_t>(p - stream.pos);
  out.assign(reinterpret_cast<const char*>(stream.pos), length == 0 ? 0 : length - 1);
  stream.pos = p + 1;
  return true;
}

}  // namespace

void scan_escaped_text_into(TraceStream& stream, const char* terminator, std::string& out) {
  if (terminator[0] == '\n' && terminator[1] == '\0' && plain_line_text(stream, out)) return;
  out.clear();
  const size_t k = std::strlen(terminator);
  size_t progress = 0;
  bool matched = false;
  bool escaped = false;  // a backslash came: the next character is taken as it is
  bool cut = false;      // a NUL was met: the text is what came before it
  // A backslash that is the last byte adds nothing.
  stream_scan(stream, [&](int c) {
    if (c == '\\' && !escaped) {
      escaped = true;
      return true;
    }
    escaped = false;
    if (c != '\n' && !cut) {
      if (c == 0) {
        cut = true;
      } else {
        out.push_back(static_cast<char>(c));
      }
    }
    // Deliberately no fall-back to a shorter partial match.
    const char ch = static_cast<char>(c);
    if (progress < k && ch != terminator[progress]) progress = 0;
    if (progress < k && ch == terminator[progress]) ++progress;
    matched = progress == k;
    return !matched;
  });
  // After a NUL the terminator's characters were not stored: nothing to drop.
  if (matched && !cut) out.resize(out.size() < k ? 0 : out.size() - k);
}

std::string scan_escaped_text(TraceStream& stream, const char* terminator) {
  std::string text;
  scan_escaped_text_into(stream, terminator, text);
  return text;
}

std::optional<std::string> split_field(const char* text, char delimiter, int n) {
  if (text == nullptr || n <= 0) return std::nullopt;
  const char* start = text;  // start of the field being passed over
  int found = 0;
  const char* p = text;
  for (; *p != '\0'; ++p) {
    if (*p != delimiter) continue;
    ++found;
    if (found == n) return std::string(start, p);
    start = p + 1;
  }
  if (found < n - 1) return std::nullopt;
  // Exactly n - 1 delimiters: field n runs to the end, unless a trailing
  // delimiter left it empty.
  if (p != text && p[-1] == delimiter) return std::nullopt;
  return std::string(start, p);
}

int32_t decimal_from_text(const char* text) {
  const char* p = text;
  while (is_c_space(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // The magnitude saturates just above the largest one that fits.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude > kLimit / 10) {
      magnitude = kLimit + 1;  // ten times it is past the limit already
      continue;
    }
    magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    if (magnitude > kLimit) magnitude = kLimit + 1;
  }
  uint64_t bits;
  if (negative) {
    bits = magnitude >= kLimit ? kLimit : (~magnitude + 1);  // INT64_MIN at most
  } else {
    bits = magnitude >= kLimit ? kLimit - 1 : magnitude;  // INT64_MAX at most
  }
  return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

uint32_t scan_record_code(TraceStream& stream) {
  unsigned char first = 0;
  unsigned char second = 0;
  size_t length = 0;  // of the text before any NUL
  bool cut = false;
  stream_scan(stream, [&](int c) {
    if (c == ' ') return false;
    if (c == '\n' || cut) return true;
    if (c == 0) {
      cut = true;
    } else {
      if (length == 0) first = static_cast<unsigned char>(c);
      if (length == 1) second = static_cast<unsigned char>(c);
      ++length;
    }
    return true;
  });
  return length == 2 ? (static_cast<uint32_t>(first) << 8) | second : 0;
}
