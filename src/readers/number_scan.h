// Conversion of a token to an unsigned 32-bit number, fed one character at a
// time so that numbers are read straight off the stream without a text.
#pragma once

#include <cstdint>

// The C library's isspace set in the C locale.
inline bool is_c_space(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of each byte as a digit of base 16 or less; 255 for non-digits.
struct DigitTable {
  unsigned char of[256];
  constexpr DigitTable() : of() {
    for (int c = 0; c < 256; ++c) of[c] = 255;
    for (int c = '0'; c <= '9'; ++c) of[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) of[c] = static_cast<unsigned char>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) of[c] = static_cast<unsigned char>(c - 'A' + 10);
  }
  constexpr unsigned operator[](unsigned char c) const { return of[c]; }
};
inline constexpr DigitTable kDigitValue{};

// Leading white space is skipped, then only digits of the base count: no sign,
// no "0x" prefix. The first other character (a NUL included, which ends the
// text) stops the conversion; the rest of the token is ignored.
struct NumberScan {
  explicit NumberScan(int number_base) : base(static_cast<unsigned>(number_base)) {}

  void feed(int c) {
    if (state == kDone) return;
    const unsigned digit = kDigitValue[static_cast<unsigned char>(c)];
    if (digit < base) {
      state = kDigits;
      value = value * base + digit;
      // Kept just above the 32-bit range so it can never wrap.
      if (value > kMax) value = kMax + 1;
    } else if (state == kLeading && is_c_space(c)) {
      // still before the digits
    } else {
      state = kDone;
    }
  }

  uint32_t result() const {
    return value > kMax ? static_cast<uint32_t>(kMax) : static_cast<uint32_t>(value);
  }

  static constexpr uint64_t kMax = 0xFFFFFFFFu;
  enum State { kLeading, kDigits, kDone };
  unsigned base;
  State state = kLeading;
  uint64_t value = 0;
};
