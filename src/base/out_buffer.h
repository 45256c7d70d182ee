// Buffered output to a file or a string, for the report writer and the
// exporters: each clean run of text copied at once, the first error kept.
//
// Ownership: an OutBuffer owns its buffer and its file (a ReplaceFile, which
// replaces an old file only once the new one is whole). The first failed
// write sticks (`error`); later bytes are dropped, and out_close reports it.
// An output dropped without out_close removes its temporary, so a run that
// gave up half-way leaves the old file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/replace_file.h"

struct OutBuffer {
  ReplaceFile file;             // the file written, or none
  std::string* sink = nullptr;  // collects the output instead of a file
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  int error = 0;              // errno of the first failed open, write, close or rename
  std::uint64_t written = 0;  // bytes handed to the file
};

constexpr std::size_t kOutBufferSize = std::size_t{1} << 20;

// Opens `path` for writing, as replace_open says: a regular file is replaced
// whole or not at all, unless `append` adds to its end. False when it cannot be
// opened; nothing is changed then.
bool out_open_file(OutBuffer& out, const char* path, bool append = false);
// Makes `out` append everything written to `*sink`, through a buffer of
// `capacity` bytes (a small one makes every piece cross the buffer's end).
void out_open_string(OutBuffer& out, std::string* sink, std::size_t capacity = kOutBufferSize);
// Hands the buffered bytes to the file or the string.
void out_flush(OutBuffer& out);
// Flushes and closes the file and puts it in place. False when any write, the
// close or the replacement failed; an old file then stays as it was.
bool out_close(OutBuffer& out);

// Everything `write` (called with an OutBuffer) puts out, as a string.
template <class Write>
std::string out_capture(Write write) {
  std::string text;
  OutBuffer out;
  out_open_string(out, &text);
  write(out);
  out_close(out);
  return text;
}

// Slow path of out_write: the buffer is full or the piece is larger than it.
void out_write_slow(OutBuffer& out, const char* data, std::size_t n);

inline void out_write(OutBuffer& out, const char* data, std::size_t n) {
  if (n <= out.capacity - out.used) {
    std::memcpy(out.buffer.get() + out.used, data, n);
    out.used += n;
  } else {
    out_write_slow(out, data, n);
  }
}

inline void out_put(OutBuffer& out, char c) {
  if (out.used == out.capacity) out_flush(out);
  out.buffer[out.used++] = c;
}

// A string literal, without its terminating zero.
template <std::size_t N>
inline void out_lit(OutBuffer& out, const char (&text)[N]) {
  out_write(out, text, N - 1);
}

inline void out_str(OutBuffer& out, const char* text) {
  if (text) out_write(out, text, std::strlen(text));
}

// A decimal number.
void out_int(OutBuffer& out, long long value);
void out_uint(OutBuffer& out, unsigned long long value);
