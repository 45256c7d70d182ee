// Opening, block loading and closing of trace streams.
#include "readers/trace_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Large blocks keep the system calls out of the per-character cost; 512 KiB
// reads as fast as 1 MiB did and is half a megabyte less at the run's peak,
// which falls while the TDF is read.
constexpr size_t kBlockSize = size_t{1} << 19;

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
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    // A read error ends the data too, but the reader must not take what came
    // so far for the whole file.
    if (n < 0) stream.failed = true;
    stream.ended = true;
    stream.pos = stream.end = stream.block.get();
    return false;
  }
}
