// Buffered output: flushing with full error tracking, and number formatting.
#include "base/out_buffer.h"

#include <unistd.h>

#include <cerrno>

namespace {

void start(OutBuffer& out, std::string* sink, std::size_t capacity) {
  out.sink = sink;
  out.buffer.reset(new char[capacity]);  // written before it is flushed
  out.capacity = capacity;
  out.used = 0;
  out.error = 0;
  out.written = 0;
}

// Writes all n bytes, riding out partial writes and signals; `written` counts
// what reached the file, also when a later part fails.
void emit(OutBuffer& out, const char* data, std::size_t n) {
  if (out.error != 0 || n == 0) return;
  if (out.sink) {
    out.sink->append(data, n);
    return;
  }
  if (out.file.fd < 0) {
    out.error = EBADF;
    return;
  }
  replace_reserve(out.file, out.written + n);
  while (n > 0) {
    const ssize_t done = ::write(out.file.fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      out.error = done == 0 ? EIO : errno;
      return;
    }
    data += done;
    n -= static_cast<std::size_t>(done);
    out.written += static_cast<std::uint64_t>(done);
  }
}

}  // namespace

bool out_open_file(OutBuffer& out, const char* path, bool append) {
  start(out, nullptr, kOutBufferSize);
  if (replace_open(out.file, path, append)) return true;
  out.error = errno;
  return false;
}

void out_open_string(OutBuffer& out, std::string* sink, std::size_t capacity) {
  replace_close(out.file, false, 0);
  start(out, sink, capacity > 0 ? capacity : 1);
}

void out_flush(OutBuffer& out) {
  emit(out, out.buffer.get(), out.used);
  out.used = 0;
}

bool out_close(OutBuffer& out) {
  out_flush(out);
  if (out.sink) {
    out.sink = nullptr;
    return out.error == 0;
  }
  if (out.file.fd < 0 && out.error == 0) out.error = EBADF;
  if (!replace_close(out.file, out.error == 0, out.written) && out.error == 0) out.error = errno;
  return out.error == 0;
}

void out_write_slow(OutBuffer& out, const char* data, std::size_t n) {
  const std::size_t room = out.capacity - out.used;
  std::memcpy(out.buffer.get() + out.used, data, room);
  out.used += room;
  data += room;
  n -= room;
  out_flush(out);
  // A piece larger than the buffer goes out at once, unless it is a string,
  // whose small test buffers must see every piece cross their end.
  if (n >= out.capacity && !out.sink) {
    emit(out, data, n);
    return;
  }
  while (n > out.capacity) {
    std::memcpy(out.buffer.get(), data, out.capacity);
    out.used = out.capacity;
    out_flush(out);
    data += out.capacity;
    n -= out.capacity;
  }
  std::memcpy(out.buffer.get(), data, n);
  out.used = n;
}

void out_uint(OutBuffer& out, unsigned long long value) {
  char digits[24];
  char* const end = digits + sizeof digits;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out_write(out, p, static_cast<std::size_t>(end - p));
}

void out_int(OutBuffer& out, long long value) {
  if (value < 0) {
    out_put(out, '-');
    out_uint(out, 0ULL - static_cast<unsigned long long>(value));
  } else {
    out_uint(out, static_cast<unsigned long long>(value));
  }
}
