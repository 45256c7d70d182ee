// Which bytes are UTF-8 characters, folding texts of byte characters, and
// spelling code points.
#include "export/model/utf8.h"

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

void utf8_spell(std::string& s, uint32_t cp) {
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

void utf8_append(std::string& s, unsigned long cp) {
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF)
    cp = 0xFFFD;
  utf8_spell(s, static_cast<uint32_t>(cp));
}
