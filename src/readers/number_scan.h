// Conversion of a token to an unsigned 32-bit number, fed one character at a
// time so that numbers are read straight off the stream without a text.
#pragma once

#include <cstdint>

// The C library's isspace set in the C locale.
inline bool is_c_space(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Leading white space is skipped, then only digits of the base count: no sign,
// no "0x" prefix. The first other character (a NUL included, which ends the
// text) stops the conversion; the rest of the token is ignored.
struct NumberScan {
  explicit NumberScan(int number_base) : base(number_base) {}

  void feed(int c) {
    if (state == kDone) return;
    int digit = digit_value(c);
    if (digit >= 0) {
      state = kDigits;
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
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

  int digit_value(int c) const {
    if (c >= '0' && c <= '9') return c - '0' < base ? c - '0' : -1;
    if (base != 16) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  static constexpr uint64_t kMax = 0xFFFFFFFFu;
  enum State { kLeading, kDigits, kDone };
  int base;
  State state = kLeading;
  uint64_t value = 0;
};
