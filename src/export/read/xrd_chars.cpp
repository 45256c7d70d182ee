// The character stage before the XML parser, and the restoring of the bytes
// it marked.
#include "export/read/xrd_chars.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "export/model/utf8.h"

namespace {

// The mark's lead, U+E000, and the second character's first two bytes for a
// byte b: U+E100 + b is EE (84 + b / 64) (80 + b % 64).
const char kMark[] = "\xEE\x80\x80";
constexpr size_t kMarkSize = 3;

// How far a reference may reach before it is taken for a stray '&'.
constexpr size_t kReferenceMax = 256;
// The longest opening that decides what follows a '<': "<![CDATA[".
constexpr size_t kOpeningMax = 9;

bool is_control(unsigned char c) {
  return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// A character XML lets a text hold.
bool is_xml_char(uint64_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Bytes that need no look in each state, so that runs of them pass at once.
struct Plain {
  bool text[256], value[256], comment[256], cdata[256], decl[256];
  Plain() {
    for (int c = 0; c < 256; ++c) {
      const bool base = c >= 0x20 ? c < 0x80 : !is_control(static_cast<unsigned char>(c));
      text[c] = base && c != '<' && c != '&' && c != '>';
      value[c] = base && c != '"' && c != '\'' && c != '&' && c != '<';
      comment[c] = base && c != '-';
      cdata[c] = base && c != ']';
      decl[c] = base && c != '[' && c != ']' && c != '>';
    }
  }
};
const Plain kPlain;

bool starts(const char* p, size_t n, const char* what) {
  const size_t k = std::strlen(what);
  return n >= k && std::memcmp(p, what, k) == 0;
}

}  // namespace

void CharStage::shift(int64_t delta) {
  shifts_.add(out_base_ + out_.size(), shifts_.last() + delta);
}

void CharStage::mark(unsigned char byte) {
  out_.append(kMark, kMarkSize);
  out_ += '\xEE';
  out_ += static_cast<char>(0x84 + (byte >> 6));
  out_ += static_cast<char>(0x80 + (byte & 0x3F));
}

// One byte given as a reference, or marked when `with` is empty.
size_t CharStage::instead(unsigned char byte, const char* with) {
  const size_t before = out_.size();
  if (*with)
    out_ += with;
  else
    mark(byte);
  shift(static_cast<int64_t>(out_.size() - before) - 1);
  return 1;
}

// A '&' in a text or an attribute value: a reference a strict parser takes
// passes as it is; one to a character no text may hold gives the bytes it
// always gave, marked; anything else is a '&' of its own.
size_t CharStage::reference(const char* p, size_t n, bool last) {
  size_t j = 1;
  while (j < n && j < kReferenceMax &&
         (std::isalnum(static_cast<unsigned char>(p[j])) || p[j] == '#'))
    ++j;
  if (j == n && !last && n < kReferenceMax) return 0;
  if (j < n && p[j] == ';') {
    const std::string_view name(p + 1, j - 1);
    if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos") {
      out_.append(p, j + 1);
      return j + 1;
    }
    const bool hex = name.size() > 1 && name[0] == '#' && name[1] == 'x';
    const size_t from = hex ? 2 : 1;
    bool number = name.size() > from && name[0] == '#';
    uint64_t exact = 0;
    uint32_t wrapped = 0;
    for (size_t k = from; number && k < name.size(); ++k) {
      const char c = name[k];
      const int v = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
      number = v >= 0;
      const unsigned base = hex ? 16 : 10;
      wrapped = wrapped * base + static_cast<unsigned>(v);
      exact = std::min<uint64_t>(exact * base + static_cast<unsigned>(v), 0x7FFFFFFF);
    }
    if (number) {
      if (is_xml_char(exact)) {
        out_.append(p, j + 1);
        return j + 1;
      }
      const size_t before = out_.size();
      if (wrapped != 0 && is_xml_char(wrapped)) {
        out_ += "&#" + std::to_string(wrapped) + ";";
      } else {
        // The bytes the earlier readers put in the text for it.
        std::string bytes;
        utf8_spell(bytes, wrapped);
        for (char b : bytes) mark(static_cast<unsigned char>(b));
      }
      shift(static_cast<int64_t>(out_.size() - before) - static_cast<int64_t>(j + 1));
      return j + 1;
    }
  }
  out_ += "&amp;";
  shift(4);
  return 1;
}

// A '<' in text: what it opens decides the state that follows.
size_t CharStage::markup(const char* p, size_t n, bool last) {
  if (n < kOpeningMax && !last) return 0;
  if (starts(p, n, "<!--")) {
    state_ = COMMENT;
    out_.append(p, 4);
    return 4;
  }
  if (starts(p, n, "<![CDATA[")) {
    state_ = CDATA;
    out_.append(p, kOpeningMax);
    return kOpeningMax;
  }
  const char next = n > 1 ? p[1] : '\0';
  if (next == '?') {
    // An instruction is left out, in its place an empty comment, which parts
    // text as the instruction did: the earlier readers took none, and a strict
    // parser refuses an XML declaration it finds malformed or late.
    state_ = PI;
    out_ += "<!--";
    shift(2);
    return 2;
  }
  state_ = next == '!' ? DECL : TAG;
  brackets_ = 0;
  names_in_tag_ = 0;
  attributes_.clear();
  const size_t taken = state_ == TAG ? 1 : 2;
  out_.append(p, taken);
  return taken;
}

size_t CharStage::instruction(const char* p, size_t n, bool last) {
  const char* end = static_cast<const char*>(memmem(p, n, "?>", 2));
  if (!end) {
    // Keep the last byte: it may be the '?' of the end.
    const size_t dropped = last ? n : n - 1;
    if (dropped > 0) shift(-static_cast<int64_t>(dropped));
    if (last) out_ += "-->";
    return last ? n : dropped;
  }
  const size_t dropped = static_cast<size_t>(end - p);
  out_ += "-->";
  shift(1 - static_cast<int64_t>(dropped));
  state_ = TEXT;
  return dropped + 2;
}

// Inside a tag: names, blanks, '=' and the quotes that open values. A name
// is read whole: an attribute named again is renamed (the earlier readers
// took the first of a name and a strict parser refuses the second), and each
// byte of a name that is no ASCII character becomes a letter of its own
// (U+4E00 + the byte), so that names stay apart and compare as before.
size_t CharStage::tag(const char* p, size_t n, bool last) {
  const unsigned char c = static_cast<unsigned char>(p[0]);
  if (c == '>' || c == '"' || c == '\'' || c == '=' || c == '/' || c == ' ' || c == '\t' ||
      c == '\n' || c == '\r' || c == '<') {
    if (c == '>') state_ = TEXT;
    if (c == '"' || c == '\'') {
      state_ = VALUE;
      quote_ = static_cast<char>(c);
    }
    out_ += static_cast<char>(c);
    return 1;
  }
  size_t k = 0;
  while (k < n && !std::strchr(">\"'=/ \t\n\r<", p[k]) && p[k] != '\0') ++k;
  if (k == n && !last) return 0;
  std::string name;
  for (size_t i = 0; i < k; ++i) {
    const auto b = static_cast<unsigned char>(p[i]);
    if (b < 0x80 && !is_control(b)) {
      name += static_cast<char>(b);
    } else {
      name += static_cast<char>(0xE4);
      name += static_cast<char>(0xB8 + (b >> 6));
      name += static_cast<char>(0x80 + (b & 0x3F));
    }
  }
  if (names_in_tag_++ > 0) {
    while (!attributes_.insert(name).second) name += "\xE4\xBC\x80";  // U+4F00
  }
  out_ += name;
  if (name.size() != k) shift(static_cast<int64_t>(name.size()) - static_cast<int64_t>(k));
  return k;
}

// One step from p in the current state: copies or mends what it takes and
// returns how many bytes that was; 0 when it needs the next block to decide.
size_t CharStage::step(const char* p, size_t n, bool last) {
  if (state_ == TAG) return tag(p, n, last);
  if (state_ == PI) return instruction(p, n, last);
  const bool* plain = state_ == TEXT      ? kPlain.text
                      : state_ == VALUE   ? kPlain.value
                      : state_ == COMMENT ? kPlain.comment
                      : state_ == CDATA   ? kPlain.cdata
                                          : kPlain.decl;
  size_t k = 0;
  while (k < n && plain[static_cast<unsigned char>(p[k])]) ++k;
  if (k > 0) {
    out_.append(p, k);
    return k;
  }
  const unsigned char c = static_cast<unsigned char>(p[0]);
  if (c >= 0x80) {
    const size_t want = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c <= 0xF4 ? 4 : 1;
    if (n < want && !last && c >= 0xC2) return 0;
    const size_t len = utf8_valid(reinterpret_cast<const unsigned char*>(p), n);
    if (len == kMarkSize && std::memcmp(p, kMark, kMarkSize) == 0) {
      out_.append(kMark, kMarkSize);  // a U+E000 of the report's own
      out_.append(kMark, kMarkSize);
      shift(kMarkSize);
      return len;
    }
    if (len > 0) {
      out_.append(p, len);
      return len;
    }
    return instead(c, "");
  }
  if (is_control(c)) return instead(c, "");
  switch (state_) {
    case TEXT:
    case VALUE:
      if (c == '&') return reference(p, n, last);
      if (state_ == TEXT && c == '>') return instead(c, "&gt;");
      if (state_ == VALUE && c == '<') return instead(c, "&lt;");
      if (state_ == TEXT) return markup(p, n, last);  // c == '<'
      if (c == static_cast<unsigned char>(quote_)) state_ = TAG;
      out_ += static_cast<char>(c);
      return 1;
    case COMMENT:
    case CDATA: {
      const char* close = state_ == COMMENT ? "-->" : "]]>";
      if (n < 3 && !last) return 0;
      if (starts(p, n, close)) {
        state_ = TEXT;
        out_.append(p, 3);
        return 3;
      }
      if (state_ == COMMENT && starts(p, n, "--")) {
        out_ += "- ";
        shift(1);
        return 1;
      }
      out_ += static_cast<char>(c);
      return 1;
    }
    default:  // DECL
      brackets_ += c == '[' ? 1 : c == ']' ? -1 : 0;
      if (c == '>' && brackets_ <= 0) state_ = TEXT;
      out_ += static_cast<char>(c);
      return 1;
  }
  return 1;
}

std::string_view CharStage::feed(std::string_view in, bool last) {
  out_.clear();
  out_base_ = out_done_;
  std::string_view data = in;
  if (!pending_.empty()) {
    pending_.append(in);
    data = pending_;
  }
  size_t i = 0;
  while (i < data.size()) {
    const size_t used = step(data.data() + i, data.size() - i, last);
    if (used == 0) break;
    i += used;
  }
  std::string rest(data.substr(i));
  pending_.swap(rest);
  out_done_ += out_.size();
  return out_;
}

void xrd_restore_bytes(std::string& text) {
  size_t at = text.find(kMark);
  if (at == std::string::npos) return;
  size_t w = at;
  for (size_t r = at; r < text.size();) {
    if (r + 2 * kMarkSize <= text.size() && text.compare(r, kMarkSize, kMark) == 0) {
      const auto second = static_cast<unsigned char>(text[r + 4]);
      if (text.compare(r + kMarkSize, kMarkSize, kMark) == 0) {
        text.replace(w, kMarkSize, kMark);  // the report's own U+E000 (w <= r)
        w += kMarkSize;
        r += 2 * kMarkSize;
        continue;
      }
      if (text[r + 3] == '\xEE' && second >= 0x84 && second <= 0x87) {
        const auto byte = static_cast<char>(((second - 0x84) << 6) |
                                            (static_cast<unsigned char>(text[r + 5]) & 0x3F));
        if (byte == '\0') break;  // a NUL ends the text
        text[w++] = byte;
        r += 2 * kMarkSize;
        continue;
      }
    }
    text[w++] = text[r++];
  }
  text.resize(w);
}
