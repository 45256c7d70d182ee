// The buffered report sink: the temporary file and its rename, flushing with
// full error tracking, and number formatting.
#include "report/report_out.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

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

// The file a path finally names: symbolic links followed one by one, a
// relative target taken from its link's folder; a dangling link gives the file
// it would create. False when a link on the way lives in /proc: it stands for
// an open descriptor (/dev/stdout, /dev/fd/N), which is written as it is.
bool resolve_links(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string real(PATH_MAX, '\0');
    if (!::realpath(folder.c_str(), &real[0]) || real.compare(0, 6, "/proc/") == 0) return false;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), &target[0], target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return true;
    target.resize(static_cast<std::size_t>(n));
    if (target[0] != '/' && slash != std::string::npos) target.insert(0, path, 0, slash + 1);
    path = std::move(target);
  }
  return true;  // a loop: the open reports it
}

// Creates a new file beside `target` whose name tells where it comes from,
// with the mode (and, where allowed, the owner) of the report it replaces.
int open_temp(const std::string& target, const struct stat* old, std::string& temp) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string pid = std::to_string(::getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tail = ".tallyrep-" + pid + "-" + std::to_string(attempt) + ".tmp";
    temp = target + tail;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENAMETOOLONG) {
      temp = folder + tail;
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    if (old) {
      // Only root keeps another user's ownership; anyone else gets the new
      // file as their own, still with the old mode.
      const bool owner_kept = ::fchown(fd, old->st_uid, old->st_gid) == 0;
      (void)owner_kept;
      ::fchmod(fd, old->st_mode & 07777);
    }
    return fd;
  }
  temp.clear();
  return -1;
}

// Writes the report in place, as for devices and FIFOs: an old regular file
// is rewritten from its start and cut to the new length at out_close. Through
// a descriptor link (/dev/stdout) the report is added at the end instead, so
// that output redirected with >> keeps what came before it.
bool open_direct(ReportOut& out, const char* path, bool descriptor) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (descriptor ? O_APPEND : 0), 0666);
  if (fd < 0) return false;
  struct stat st;
  if (!descriptor && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    out.cut_at_close = true;
  }
  out.fd = fd;
  init_buffer(out);
  return true;
}

// Puts the finished temporary file in place of the report. Swapping the two
// names and then removing the old report under the temporary one spares ext4
// the flush it starts when a rename replaces a file (auto_da_alloc), which for
// a large report costs about as much as writing it; a plain rename serves
// where there is no old report or the swap is not supported.
bool put_in_place(const ReportOut& out) {
  const char* temp = out.temp_path.c_str();
  const char* report = out.final_path.c_str();
  if (::renameat2(AT_FDCWD, temp, AT_FDCWD, report, RENAME_EXCHANGE) == 0) {
    ::unlink(temp);
    return true;
  }
  return ::rename(temp, report) == 0;
}

}  // namespace

bool out_open_file(ReportOut& out, const char* path) {
  out = ReportOut();
  if (!path || !*path) return false;
  std::string target = path;
  const bool named = resolve_links(target);
  struct stat st;
  const bool exists = ::stat(path, &st) == 0;
  if (!named || (exists && !S_ISREG(st.st_mode))) return open_direct(out, path, !named);
  if (exists) {
    // A report that may not be written stays a failure, and stays untouched.
    const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) return false;
    // The old report's cached pages are dropped now rather than when it is
    // removed at the end: memory freed just before is cheaper to fill again
    // for the new report (much cheaper on a virtual machine that hands idle
    // memory back to its host). Its bytes stay on disk, whole.
    ::posix_fadvise(probe, 0, 0, POSIX_FADV_DONTNEED);
    ::close(probe);
  }
  const int fd = open_temp(target, exists ? &st : nullptr, out.temp_path);
  // A folder that takes no new file may still hold a writable report.
  if (fd < 0) return open_direct(out, path, false);
  out.fd = fd;
  out.final_path = target;
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
  if (!out.temp_path.empty()) {
    if (!out.failed && !put_in_place(out)) out.failed = true;
    if (out.failed) ::unlink(out.temp_path.c_str());
    out.temp_path.clear();
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
