// The character stream both trace readers pull their input from: a file read in
// large blocks, or a byte buffer in memory, with the trace files' lexical rules.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <memory>

// Carriage returns are dropped wherever they stand and a 0x1A byte ends the
// data. `eof` turns true only when a read finds no further character: after the
// last character has been read it is still false, and the record loops of both
// readers rely on that one extra, empty read.
struct TraceStream {
  const unsigned char* pos = nullptr;
  const unsigned char* end = nullptr;
  bool eof = false;
  bool ended = false;   // no more data will come (source exhausted or 0x1A met)
  bool failed = false;  // a read failed: the data that came is not the whole file
  int fd = -1;          // open file, or -1 for a memory buffer
  size_t size = 0;      // bytes of data when known in advance, else 0
  std::unique_ptr<unsigned char[]> block;
  // How blocks are read; tests put a failing read here.
  ssize_t (*read_block)(int fd, void* into, size_t size) = ::read;

  TraceStream() = default;
  TraceStream(const TraceStream&) = delete;
  TraceStream& operator=(const TraceStream&) = delete;
  ~TraceStream();
};

// Opens `path` for reading. False when it cannot be opened or names a
// directory; the stream is then left empty.
bool stream_open_file(TraceStream& stream, const char* path);

// Reads from `size` bytes at `data`, which must outlive the stream.
void stream_open_buffer(TraceStream& stream, const char* data, size_t size);

// Loads the next block of a file. False when nothing more comes, also after a
// read error, which sets `failed` as well.
bool stream_refill(TraceStream& stream);

// Hands the following characters, under the same rules as stream_get, to
// `take(c)` until it returns false; that character is consumed too. Returns
// false when the data ended first (which sets `eof`). Scanning the block
// directly keeps the hot loops of the scanners free of per-character calls.
template <typename Take>
inline bool stream_scan(TraceStream& stream, Take&& take) {
  for (;;) {
    const unsigned char* p = stream.pos;
    const unsigned char* const end = stream.end;
    while (p != end) {
      const unsigned char c = *p++;
      if (c <= 0x1A) {
        if (c == '\r') continue;
        if (c == 0x1A) {
          stream.ended = true;
          stream.pos = end;
          stream.eof = true;
          return false;
        }
      }
      if (!take(static_cast<int>(c))) {
        stream.pos = p;
        return true;
      }
    }
    stream.pos = p;
    if (stream.ended || !stream_refill(stream)) {
      stream.eof = true;
      return false;
    }
  }
}

// One character (0..255), or -1 when no further character is found, which
// also sets `eof`.
inline int stream_get(TraceStream& stream) {
  int got = -1;
  return stream_scan(stream,
                     [&](int c) {
                       got = c;
                       return false;
                     })
             ? got
             : -1;
}
