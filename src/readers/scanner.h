// The scanners shared by both trace readers: tokens, numbers, quoted and
// escaped texts, skips, and split_field, which picks one field out of a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "readers/trace_stream.h"

// Texts behave as C strings: every scanner runs its steps on the raw bytes but
// stores nothing from the first NUL on, so a text ends there and the bytes
// after it cost no memory. Nothing limits a text's length.

// The characters before `delimiter`; the delimiter is consumed, line feeds are
// dropped (and end the token only when they are the delimiter). End of file
// ends the token too.
std::string scan_token(TraceStream& stream, int delimiter);
void scan_token_into(TraceStream& stream, int delimiter, std::string& out);

// scan_token, then the token as an unsigned number in base 10 or 16: leading C
// white space skipped, digits of the base up to the first other character, no
// sign and no prefix, 0 without digits, 0xFFFFFFFF beyond 32 bits.
uint32_t scan_number(TraceStream& stream, int delimiter, int base);

// Skips spaces, drops the next character (the opening quote, not checked), and
// returns the token up to the closing double quote.
std::string scan_quoted(TraceStream& stream);
void scan_quoted_into(TraceStream& stream, std::string& out);

// Consumes one character, whatever it is.
void skip_char(TraceStream& stream);

// Consumes everything up to and including the next line feed.
void skip_rest_of_line(TraceStream& stream);

// The text up to `terminator` (compared after escapes): a backslash takes the
// next character literally, line feeds are never stored, and on a match the
// last strlen(terminator) stored characters are dropped.
std::string scan_escaped_text(TraceStream& stream, const char* terminator);
void scan_escaped_text_into(TraceStream& stream, const char* terminator, std::string& out);

// Field n (from 1) of `text` cut at `delimiter`; none for a null text, n < 1,
// too few fields, or a last field left empty by a trailing delimiter.
std::optional<std::string> split_field(const char* text, char delimiter, int n);

// A signed decimal integer the way the C library's atoi reads one on a 64-bit
// system: white space, optional sign, digits, saturated at the 64-bit limits,
// then the low 32 bits.
int32_t decimal_from_text(const char* text);

// The record code: a token read up to a space, packed as (first << 8) | second
// when it is exactly two characters long, else 0 (no code is anything else).
uint32_t scan_record_code(TraceStream& stream);

constexpr uint32_t record_code(char first, char second) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(first)) << 8) |
         static_cast<unsigned char>(second);
}
