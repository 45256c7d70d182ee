// Opening, block loading and closing of trace streams.
#include "readers/trace_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Large blocks keep the system calls out of the per-character cost.
constexpr size_t kBlockSize = size_t{1} << 20;

}  // namespace

TraceStream::~TraceStream() {
  if (fd >= 0) ::close(fd);
}

bool stream_open_file(TraceStream& stream, const char* path) {
  if (path == nullptr) return false;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (stream.fd >= 0) ::close(stream.fd);
  stream.fd = fd;
  stream.size = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;
  // Left uninitialised: every byte is read into before it is looked at.
  if (!stream.block) stream.block.reset(new unsigned char[kBlockSize]);
  stream.pos = stream.end = stream.block.get();
  stream.next_cr = stream.next_sub = nullptr;
  stream.eof = false;
  stream.ended = false;
  stream.failed = false;
  return true;
}

void stream_open_buffer(TraceStream& stream, const char* data, size_t size) {
  if (stream.fd >= 0) ::close(stream.fd);
  stream.fd = -1;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  stream.pos = bytes;
  stream.end = bytes == nullptr ? bytes : bytes + size;
  stream.size = bytes == nullptr ? 0 : size;
  stream.next_cr = stream.next_sub = nullptr;
  stream.eof = false;
  stream.failed = false;
  // A buffer is all the data there is: nothing to load after it.
  stream.ended = true;
}

bool stream_refill(TraceStream& stream) {
  if (stream.ended || stream.fd < 0) {
    stream.ended = true;
    return false;
  }
  for (;;) {
    ssize_t n = stream.read_block(stream.fd, stream.block.get(), kBlockSize);
    if (n > 0) {
      stream.pos = stream.block.get();
      stream.end = stream.pos + n;
      stream.next_cr = stream.next_sub = nullptr;
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    // A read error ends the data too, but the reader must not take what came
    // so far for the whole file.
    if (n < 0) stream.failed = true;
    stream.ended = true;
    stream.pos = stream.end = stream.block.get();
    stream.next_cr = stream.next_sub = nullptr;
    return false;
  }
}

namespace {

// The first `byte` in [from, end), or end.
const unsigned char* next_byte(const unsigned char* from, const unsigned char* end, int byte) {
  const void* hit = std::memchr(from, byte, static_cast<size_t>(end - from));
  return hit ? static_cast<const unsigned char*>(hit) : end;
}

}  // namespace

const unsigned char* stream_plain_line(TraceStream& stream, const unsigned char** content_end) {
  const unsigned char* const pos = stream.pos;
  const unsigned char* const end = stream.end;
  if (pos == end) return nullptr;
  const void* hit = std::memchr(pos, '\n', static_cast<size_t>(end - pos));
  if (hit == nullptr) return nullptr;  // the line runs on into the next block
  const auto* line_feed = static_cast<const unsigned char*>(hit);
  // Each is searched for again only once `pos` has passed it, so a block is
  // searched through once however many lines it holds.
  if (stream.next_sub == nullptr || stream.next_sub < pos) {
    stream.next_sub = next_byte(pos, end, 0x1A);
  }
  if (stream.next_sub < line_feed) return nullptr;
  if (stream.next_cr == nullptr || stream.next_cr < pos) stream.next_cr = next_byte(pos, end, '\r');
  const unsigned char* cr = stream.next_cr;
  if (cr > line_feed) {
    *content_end = line_feed;
    return line_feed;
  }
  // A line that ends in CR LF is the common case of a carriage return.
  if (cr + 1 == line_feed) {
    *content_end = cr;
    return line_feed;
  }
  return nullptr;
}
