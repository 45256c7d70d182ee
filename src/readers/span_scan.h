// Word-at-a-time reading of the bytes of a trace line: eight (or four) bytes
// are tested or converted at once, so that a field costs a few instructions
// and no branch per character. Only for little-endian machines (kSpanWords);
// each load reads exactly the eight (load) or four (load32) bytes at `p`.
#pragma once

#include <cstdint>
#include <cstring>

inline constexpr bool kSpanWords = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

namespace span {

inline constexpr uint64_t kOnes = 0x0101010101010101u;
inline constexpr uint64_t kHigh = 0x8080808080808080u;

inline uint64_t load(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The high bit of the first byte equal to `c` is set, and none below it
// (bytes above it may be flagged too): the borrow of the subtraction only
// runs upwards from a zero byte.
inline uint64_t first_equal(uint64_t word, unsigned char c) {
  const uint64_t x = word ^ (kOnes * c);
  return (x - kOnes) & ~x & kHigh;
}

// The high bit of every byte that is a hexadecimal digit (0-9, a-f, A-F), in
// a word of four or eight bytes. Each comparison works on seven-bit bytes with
// the high bit set first, so that no subtraction borrows from its neighbour.
template <class Word>
inline Word hex_digits(Word word) {
  constexpr Word ones = static_cast<Word>(~Word{0}) / 0xFF;
  constexpr Word high = ones * 0x80;
  const Word low7 = word & ~high;
  const Word folded = low7 | (ones * 0x20);  // A-F as a-f
  const Word from_0 = (low7 | high) - ones * '0';
  const Word to_9 = ((ones * '9') | high) - low7;
  const Word from_a = (folded | high) - ones * 'a';
  const Word to_f = ((ones * 'f') | high) - folded;
  return ((from_0 & to_9) | (from_a & to_f)) & ~word & high;
}

// The number the first `digits` bytes (1 to 8, all hexadecimal digits) spell.
inline uint32_t hex_value(uint64_t word, int digits) {
  // Each byte's digit value: the low nibble, plus 9 for the letters.
  uint64_t d = (word & (kOnes * 0x0F)) + 9 * ((word >> 6) & kOnes);
  d <<= 8 * (8 - digits);  // right-aligned: the first digit is the lowest byte
  d = ((d & 0x00FF00FF00FF00FFu) << 4) + ((d >> 8) & 0x00FF00FF00FF00FFu);
  d = ((d & 0x0000FFFF0000FFFFu) << 8) + ((d >> 16) & 0x0000FFFF0000FFFFu);
  return static_cast<uint32_t>(((d & 0xFFFFFFFFu) << 16) + (d >> 32));
}

// Four bytes and their value: most fields (lines, statuses) have three digits
// or fewer, and 32-bit masks are cheaper to build and apply.
inline uint32_t load32(const unsigned char* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// `digits` is 1 to 4.
inline uint32_t hex_value32(uint32_t word, int digits) {
  uint32_t d = (word & 0x0F0F0F0Fu) + 9 * ((word >> 6) & 0x01010101u);
  d <<= 8 * (4 - digits);
  d = ((d & 0x00FF00FFu) << 4) + ((d >> 8) & 0x00FF00FFu);
  return ((d & 0xFFFFu) << 8) + (d >> 16);
}

}  // namespace span
