// The output sink of the results report: one large buffer in front of a file
// descriptor (or a string, for tests) that remembers every failed write, and
// the replacement of an old report only once the new one is whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

struct ReportOut {
  int fd = -1;                    // the report file, or -1
  std::string* target = nullptr;  // collects the output instead of a file (tests)
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool failed = false;        // some write (or the close) failed; later bytes are dropped
  std::uint64_t written = 0;  // bytes handed to the file
  bool cut_at_close = false;  // an old file is rewritten in place: cut it to `written`
  std::string temp_path;      // the file being written, renamed to final_path at close
  std::string final_path;
};

constexpr std::size_t kReportBufferSize = std::size_t{1} << 20;

// Opens the report at `path` for writing. A regular file (or a new one) is
// written to a temporary file beside it that out_close renames over it, so
// that the name never shows a half-written or mixed report; a symbolic link
// keeps pointing to the replaced file. Devices, FIFOs and a report whose
// folder takes no new file are written directly. False when the report cannot
// be opened for writing (directories included); nothing is changed then.
bool out_open_file(ReportOut& out, const char* path);
// Makes `out` append everything written to `*target`.
void out_open_string(ReportOut& out, std::string* target);
// Hands the buffered bytes to the file or the string.
void out_flush(ReportOut& out);
// Flushes and closes the file and puts it in place. False when any write, the
// close or the rename failed; the temporary file is removed then and an old
// report stays as it was.
bool out_close(ReportOut& out);

// Slow path of out_write: the buffer is full or the piece is larger than it.
void out_write_slow(ReportOut& out, const char* data, std::size_t n);

inline void out_write(ReportOut& out, const char* data, std::size_t n) {
  if (n <= out.capacity - out.used) {
    std::memcpy(out.buffer.get() + out.used, data, n);
    out.used += n;
  } else {
    out_write_slow(out, data, n);
  }
}

inline void out_put(ReportOut& out, char c) {
  if (out.used == out.capacity) out_flush(out);
  out.buffer[out.used++] = c;
}

// A string literal, without its terminating zero.
template <std::size_t N>
inline void out_lit(ReportOut& out, const char (&text)[N]) {
  out_write(out, text, N - 1);
}

inline void out_str(ReportOut& out, const char* text) {
  if (text) out_write(out, text, std::strlen(text));
}

// A signed decimal number.
void out_int(ReportOut& out, long long value);
