// The buffered report sink: file creation, flushing with full error tracking,
// and number formatting.
#include "report/report_out.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

void init_buffer(ReportOut& out) {
  out.buffer.reset(new char[kReportBufferSize]);  // written before it is flushed
  out.capacity = kReportBufferSize;
  out.used = 0;
  out.failed = false;
}

// Writes all n bytes to the descriptor, riding out partial writes and signals;
// `written` counts what reached the file, also when a later part fails.
bool write_all(int fd, const char* data, std::size_t n, std::uint64_t& written) {
  while (n > 0) {
    ssize_t done = ::write(fd, data, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;
    data += done;
    n -= static_cast<std::size_t>(done);
    written += static_cast<std::uint64_t>(done);
  }
  return true;
}

void emit(ReportOut& out, const char* data, std::size_t n) {
  if (out.failed || n == 0) return;
  if (out.target) {
    out.target->append(data, n);
  } else if (out.fd < 0 || !write_all(out.fd, data, n, out.written)) {
    out.failed = true;
  }
}

}  // namespace

bool out_open_file(ReportOut& out, const char* path) {
  out = ReportOut();
  if (!path) return false;
  // An old report is overwritten in place and cut to length at the end,
  // instead of truncated first: releasing (and discarding) the blocks of a
  // large old report and allocating them anew costs more than the writing.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) out.cut_at_close = true;
  out.fd = fd;
  init_buffer(out);
  return true;
}

void out_open_string(ReportOut& out, std::string* target) {
  out = ReportOut();
  out.target = target;
  init_buffer(out);
}

void out_flush(ReportOut& out) {
  emit(out, out.buffer.get(), out.used);
  out.used = 0;
}

bool out_close(ReportOut& out) {
  out_flush(out);
  if (out.fd >= 0) {
    // Also after a failed write, so that no part of the old report remains.
    if (out.cut_at_close && ::ftruncate(out.fd, static_cast<off_t>(out.written)) != 0) {
      out.failed = true;
    }
    if (::close(out.fd) != 0) out.failed = true;
    out.fd = -1;
  }
  return !out.failed;
}

void out_write_slow(ReportOut& out, const char* data, std::size_t n) {
  std::size_t room = out.capacity - out.used;
  if (room > 0) {
    std::memcpy(out.buffer.get() + out.used, data, room);
    out.used += room;
    data += room;
    n -= room;
  }
  out_flush(out);
  if (n >= out.capacity) {
    emit(out, data, n);
    return;
  }
  std::memcpy(out.buffer.get(), data, n);
  out.used = n;
}

void out_int(ReportOut& out, long long value) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* p = end;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  out_write(out, p, static_cast<std::size_t>(end - p));
}
