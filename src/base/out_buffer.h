// Buffered output to a file or a string, for the report writer and the
// exporters, with the replacement of an old file only once the new one is whole.
//
// Ownership: an OutBuffer owns its buffer, its descriptor and its temporary
// file. The first failed write sticks (`error`); later bytes are dropped, and
// out_close reports it. An output dropped without out_close is closed and its
// temporary removed, so a run that gave up half-way leaves nothing behind.
// A large replacing output hands full buffers to its own writer thread, which
// never outlives the out_* calls' reach: out_close and the destructor end it
// before the file is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

struct OutWriter;

// A separate writer pays only for large outputs: each hand-over wakes a
// thread (tens of microseconds on a virtual machine) and it needs two large
// buffers. On a 180 MB report it cost 4 % more time; on an 850 MB one it
// saved 20 %.
constexpr std::uint64_t kWriterFrom = std::uint64_t{256} << 20;

struct OutBuffer {
  int fd = -1;                  // the file, or -1
  std::string* sink = nullptr;  // collects the output instead of a file
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  int error = 0;              // errno of the first failed open, write, close or rename
  std::uint64_t written = 0;  // bytes handed to the file
  bool cut_at_close = false;  // an old file is rewritten in place: cut it to `written`
  std::string temp_path;      // the file being written, put in place of final_path
  std::string final_path;
  int temp_slot = -1;                 // where a signal finds temp_path, or -1
  std::unique_ptr<OutWriter> writer;  // writes full buffers while the next one fills
  // Size from which a replacing output gets its writer (an old file that
  // large gets one at once); kept across opens, lowered by tests.
  std::uint64_t writer_from = kWriterFrom;

  OutBuffer();
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;
  ~OutBuffer();
};

constexpr std::size_t kOutBufferSize = std::size_t{1} << 20;

// Opens `path` for writing. A regular file (or a new one) is written to a
// temporary file beside it (PATH.tallyrep-PID-N.tmp) that out_close puts in
// its place, so the name never shows a half-written or mixed file; a symbolic
// link keeps pointing to the replaced file, whose mode the new one takes.
// Devices, FIFOs and a file whose folder takes no new file are written
// directly; names of open descriptors (/dev/stdout, /dev/fd/N) at their end.
// False when the file cannot be opened for writing (a directory, a read-only
// file, a missing folder, an empty name); nothing is changed then.
bool out_open_file(OutBuffer& out, const char* path);
// Opens `path` to add at its end, creating it if missing, written directly
// with no temporary: for files that others add to as well (CI step summaries).
bool out_open_append(OutBuffer& out, const char* path);
// Makes `out` append everything written to `*sink`, through a buffer of
// `capacity` bytes (a small one makes every piece cross the buffer's end).
void out_open_string(OutBuffer& out, std::string* sink, std::size_t capacity = kOutBufferSize);
// Hands the buffered bytes to the file or the string.
void out_flush(OutBuffer& out);
// Flushes and closes the file and puts it in place. False when any write, the
// close or the replacement failed; the temporary is removed then and an old
// file stays as it was.
bool out_close(OutBuffer& out);

// Removes the temporary file of every output being written, for a process
// that ends without closing them (refused memory, a signal). Safe in a
// signal handler.
void out_remove_temporaries();

// Puts a descriptor that takes neither reads nor writes on each closed
// standard descriptor (0, 1, 2), so that no file opened later gets its
// number: a diagnostic for a closed standard error would land in that file
// (an old report its writer holds, say). Called first thing by each program.
void out_hold_standard_descriptors();

// Where an output would land, to tell whether two names are one file: the
// file itself when it exists, else its folder and name.
struct OutIdentity {
  unsigned long long dev = 0, ino = 0;
  std::string name;  // "" when the file exists
};
// False (errno set) when the path names nothing that could be written.
bool out_identity(const char* path, OutIdentity& id);
inline bool operator==(const OutIdentity& a, const OutIdentity& b) {
  return a.dev == b.dev && a.ino == b.ino && a.name == b.name;
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
