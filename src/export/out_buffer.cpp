// Buffered file output and the HTML, XML and JSON escapes with UTF-8 repair.
#include "export/out_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kOutCapacity = size_t{1} << 20;

void flush(OutBuffer& out) {
  size_t done = 0;
  while (done < out.used && out.error == 0) {
    ssize_t n = ::write(out.fd, out.data.get() + done, out.used - done);
    if (n < 0) {
      if (errno != EINTR) out.error = errno;
    } else if (n == 0) {
      out.error = EIO;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  out.used = 0;
}

inline void put(OutBuffer& out, char c) {
  if (out.used == kOutCapacity) flush(out);
  out.data[out.used++] = c;
}

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
      put(out, static_cast<char>(c));
      return;
    }
  } else if (c < 0x20) {
    rep = "\xEF\xBF\xBD";
  } else if (mode == ESCAPE_JSON) {
    if (c == '"')
      rep = "\\\"";
    else if (c == '\\')
      rep = "\\\\";
    else
      rep = "\\u003c";
  } else {
    switch (c) {
      case '&':
        rep = "&amp;";
        break;
      case '<':
        rep = "&lt;";
        break;
      case '>':
        rep = "&gt;";
        break;
      case '"':
        rep = "&quot;";
        break;
      default:
        rep = "&#39;";
        break;
    }
  }
  out_str(out, rep);
}

}  // namespace

bool out_open(OutBuffer& out, const char* path) {
  out.fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  out.error = out.fd < 0 ? errno : 0;
  out.used = 0;
  if (out.fd >= 0) out.data.reset(new char[kOutCapacity]);
  return out.fd >= 0;
}

bool out_close(OutBuffer& out) {
  if (out.fd < 0) return false;
  flush(out);
  if (::close(out.fd) != 0 && out.error == 0) out.error = errno;
  out.fd = -1;
  out.data.reset();
  return out.error == 0;
}

void out_raw(OutBuffer& out, const char* bytes, size_t n) {
  while (n > 0) {
    if (out.used == kOutCapacity) flush(out);
    size_t k = kOutCapacity - out.used;
    if (k > n) k = n;
    std::memcpy(out.data.get() + out.used, bytes, k);
    out.used += k;
    bytes += k;
    n -= k;
  }
}

void out_str(OutBuffer& out, const char* text) {
  out_raw(out, text, std::strlen(text));
}

void out_uint(OutBuffer& out, unsigned long long value) {
  char tmp[24];
  size_t i = sizeof tmp;
  do {
    tmp[--i] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out_raw(out, tmp + i, sizeof tmp - i);
}

void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && p[run] < 0x80 && !special(p[run], mode)) ++run;
    if (run > i) {
      out_raw(out, text + i, run - i);
      i = run;
      if (i == n) break;
    }
    unsigned char c = p[i];
    if (c < 0x80) {
      put_special(out, c, mode);
      ++i;
    } else if (size_t len = utf8_valid(p + i, n - i)) {
      out_raw(out, text + i, len);
      i += len;
    } else {
      put(out, static_cast<char>(0xC0 | (c >> 6)));
      put(out, static_cast<char>(0x80 | (c & 0x3F)));
      ++i;
    }
  }
}

void out_escaped(OutBuffer& out, const char* text, EscapeMode mode) {
  out_escaped(out, text, std::strlen(text), mode);
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
