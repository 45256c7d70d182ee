// Buffered output: the temporary file and its swap into place, flushing with
// full error tracking, and number formatting.
#include "base/out_buffer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

// The writer thread of a large replacing output. Formatting a report and
// copying it into the file cache then take about as long as each other, so
// they go side by side: the writer writes one buffer while the next one
// fills. While it writes, it owns the output's descriptor, `written` and
// `error`; the caller touches them only once the writer is idle.
struct OutWriter {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::unique_ptr<char[]> full;  // the buffer being written, or the idle spare
  std::size_t full_n = 0;
  bool busy = false;  // `full` holds bytes not yet written
  bool stop = false;
  int old_fd = -1;  // the file being replaced, whose cached pages are dropped, or -1
};

namespace {

// 8 MiB pieces make a hundred wake-ups for 850 MB.
constexpr std::size_t kWriterBufferSize = std::size_t{8} << 20;

// The temporaries being written, for a run that a signal ends: SIGINT,
// SIGTERM and SIGHUP (a cancelled CI job, a closed terminal) and SIGXFSZ (a
// file-size limit) remove them, and the process then dies of the signal as
// it would have. Only the thread that writes takes these signals (the writer
// thread blocks them), so a name is whole whenever the handler reads it.
constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGXFSZ};
std::atomic<const char*> g_temporaries[8];

void remove_temporaries_and_die(int sig) {
  out_remove_temporaries();
  ::raise(sig);  // the default action, restored on entry, acts on return
}

// Installed with the first temporary. A signal that the program or its
// caller ignores or handles (nohup, a shell's background job) stays so.
void install_cleanup() {
  static const bool installed = [] {
    for (int sig : kCleanupSignals) {
      struct sigaction old;
      if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
          old.sa_handler != SIG_DFL)
        continue;
      struct sigaction cleanup = {};
      cleanup.sa_handler = remove_temporaries_and_die;
      sigemptyset(&cleanup.sa_mask);
      cleanup.sa_flags = SA_RESETHAND;
      ::sigaction(sig, &cleanup, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// Outputs beyond the slots are still replaced whole; only a signal may leave
// their temporary behind.
void track_temporary(OutBuffer& out) {
  install_cleanup();
  for (auto& slot : g_temporaries) {
    const char* none = nullptr;
    if (slot.compare_exchange_strong(none, out.temp_path.c_str())) {
      out.temp_slot = static_cast<int>(&slot - g_temporaries);
      return;
    }
  }
}

void untrack_temporary(OutBuffer& out) {
  if (out.temp_slot >= 0) g_temporaries[out.temp_slot].store(nullptr);
  out.temp_slot = -1;
}

// An old file's cached pages are dropped before the new file is written:
// memory freed just before is cheaper to fill again (much cheaper on a
// virtual machine that hands idle memory back to its host). Its bytes stay on
// disk, whole, until the new file is in place.
void drop_cached(int fd) {
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

void init_buffer(OutBuffer& out, std::size_t capacity) {
  out.buffer.reset(new char[capacity]);  // written before it is flushed
  out.capacity = capacity;
  out.used = 0;
}

// Writes all n bytes to the descriptor, riding out partial writes and signals;
// `written` counts what reached the file, also when a later part fails.
bool write_all(int fd, const char* data, std::size_t n, std::uint64_t& written) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    data += done;
    n -= static_cast<std::size_t>(done);
    written += static_cast<std::uint64_t>(done);
  }
  return true;
}

// Writes what the caller hands over. Before each piece it drops as many of the
// old file's cached pages, so that the new pages come from memory freed just
// now without the writes waiting for the whole file's pages to go first.
void writer_loop(OutBuffer& out, OutWriter& w) {
  sigset_t cleanup;
  sigemptyset(&cleanup);
  for (int sig : kCleanupSignals) sigaddset(&cleanup, sig);
  ::pthread_sigmask(SIG_BLOCK, &cleanup, nullptr);
  std::unique_lock<std::mutex> lock(w.mutex);
  off_t dropped = 0;
  for (;;) {
    w.changed.wait(lock, [&] { return w.busy || w.stop; });
    if (!w.busy) break;
    lock.unlock();
    if (w.old_fd >= 0) {
      ::posix_fadvise(w.old_fd, dropped, static_cast<off_t>(w.full_n), POSIX_FADV_DONTNEED);
      dropped += static_cast<off_t>(w.full_n);
    }
    if (out.error == 0 && !write_all(out.fd, w.full.get(), w.full_n, out.written)) {
      out.error = errno;
    }
    lock.lock();
    w.busy = false;
    w.changed.notify_all();
  }
  if (w.old_fd >= 0) ::close(w.old_fd);
}

void wait_idle(OutWriter& w, std::unique_lock<std::mutex>& lock) {
  w.changed.wait(lock, [&] { return !w.busy; });
}

// Gives the full buffer to the writer and takes its spare; when the writer
// has failed, the bytes are dropped, as after any failed write.
void hand_off(OutBuffer& out) {
  OutWriter& w = *out.writer;
  std::unique_lock<std::mutex> lock(w.mutex);
  wait_idle(w, lock);
  if (out.error != 0) return;
  if (!w.full) w.full.reset(new char[out.capacity]);
  std::swap(out.buffer, w.full);
  w.full_n = out.used;
  w.busy = true;
  w.changed.notify_all();
}

// Starts the writer, with empty buffers of its size; where no thread can be
// started, the caller goes on writing.
void start_writer(OutBuffer& out, int old_fd) {
  auto w = std::make_unique<OutWriter>();
  w->old_fd = old_fd;
  try {
    w->thread = std::thread(writer_loop, std::ref(out), std::ref(*w));
  } catch (const std::system_error&) {  // the only report of a thread refused
    if (old_fd >= 0) drop_cached(old_fd);
    return;
  }
  out.writer = std::move(w);
  init_buffer(out, kWriterBufferSize);
}

// Lets the writer finish what it holds and ends it.
void stop_writer(OutBuffer& out) {
  if (!out.writer) return;
  OutWriter& w = *out.writer;
  {
    std::unique_lock<std::mutex> lock(w.mutex);
    wait_idle(w, lock);
    w.stop = true;
    w.changed.notify_all();
  }
  w.thread.join();
  out.writer.reset();
}

void emit(OutBuffer& out, const char* data, std::size_t n) {
  if (out.writer) {
    std::unique_lock<std::mutex> lock(out.writer->mutex);
    wait_idle(*out.writer, lock);
  }
  if (out.error != 0 || n == 0) return;
  if (out.sink) {
    out.sink->append(data, n);
  } else if (out.fd < 0) {
    out.error = EBADF;
  } else if (!write_all(out.fd, data, n, out.written)) {
    out.error = errno;
  }
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
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
    std::string real(PATH_MAX, '\0');
    if (!::realpath(folder_of(path).c_str(), &real[0]) || real.compare(0, 6, "/proc/") == 0)
      return false;
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
// with the mode (and, where allowed, the owner) of the file it replaces; it
// stays private until it has that mode.
int open_temp(const std::string& target, const struct stat* old, std::string& temp) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string pid = std::to_string(::getpid());
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
  const mode_t mode = old ? 0600 : 0666;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tail = ".tallyrep-" + pid + "-" + std::to_string(attempt) + ".tmp";
    temp = target + tail;
    int fd = ::open(temp.c_str(), flags, mode);
    if (fd < 0 && errno == ENAMETOOLONG) {
      temp = folder + tail;
      fd = ::open(temp.c_str(), flags, mode);
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

// Writes in place, as for devices and FIFOs: an old regular file is rewritten
// from its start and cut to the new length at out_close. Through a descriptor
// link (/dev/stdout) the output is added at the end instead, so that output
// redirected with >> keeps what came before it.
bool open_direct(OutBuffer& out, const char* path, bool descriptor) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (descriptor ? O_APPEND : 0), 0666);
  if (fd < 0) {
    if (descriptor && errno == EISDIR) errno = EBADF;  // a closed one, held by the folder "/"
    return false;
  }
  struct stat st;
  if (!descriptor && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    out.cut_at_close = true;
  }
  out.fd = fd;
  return true;
}

// Old files at least this large are freed by a detached process.
constexpr off_t kDetachedRelease = off_t{32} << 20;

// Runs in a forked child of a process that may hold locks, so only calls that
// are safe there: it keeps the old file open until `gate` reports that the
// parent's descriptor is closed, then closes it and ends.
[[noreturn]] void release_when_gate_closes(int file, int gate) {
  for (int sig : kCleanupSignals) ::signal(sig, SIG_DFL);  // the temporaries are the parent's
  if (file == 0) file = ::fcntl(file, F_DUPFD, 2);
  ::dup2(gate, 0);
  ::dup2(file, 1);
  // Nothing else stays open: a pipe the caller reads to its end must not
  // wait for this process.
  if (::close_range(2, ~0U, 0) != 0)
    for (int fd = 2; fd < 4096; ++fd) ::close(fd);
  char byte;
  while (::read(0, &byte, 1) < 0 && errno == EINTR) {
  }
  ::_exit(0);
}

// Removes the old file now at `name`. Its name goes at once, but its blocks
// are freed when its last descriptor closes, and on a file system that
// discards freed blocks (mount option discard) that takes as long as writing
// a quarter of it anew: 0.25 s for 850 MB. A large file's last descriptor is
// therefore handed to a detached grandchild, so that the run ends once the new
// file is in place; where no process can be started the freeing happens here.
void remove_old(const char* name) {
  const int file = ::open(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  int gate[2] = {-1, -1};
  if (file < 0 || ::fstat(file, &st) != 0 || st.st_size < kDetachedRelease ||
      ::pipe2(gate, O_CLOEXEC) != 0) {
    ::unlink(name);
    if (file >= 0) ::close(file);
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    // The grandchild is left to init, so that no zombie waits for a caller
    // that never reaps it.
    if (::fork() == 0) release_when_gate_closes(file, gate[0]);
    ::_exit(0);
  }
  ::unlink(name);
  ::close(file);
  ::close(gate[0]);
  if (child > 0)
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  ::close(gate[1]);
}

// Puts the finished temporary file in place of the old one. Swapping the two
// names and then removing the old file under the temporary one spares ext4
// the flush it starts when a rename replaces a file (auto_da_alloc), which for
// a large file costs about as much as writing it; a plain rename serves where
// there is no old file or the swap is not supported.
bool put_in_place(const OutBuffer& out) {
  const char* temp = out.temp_path.c_str();
  const char* final_path = out.final_path.c_str();
  if (::renameat2(AT_FDCWD, temp, AT_FDCWD, final_path, RENAME_EXCHANGE) == 0) {
    remove_old(temp);
    return true;
  }
  return ::rename(temp, final_path) == 0;
}

// In a sticky folder (/tmp) only the owner of a file or of the folder may
// replace it; anyone else allowed to write it rewrites it in place, as before
// the report was ever replaced whole.
bool sticky_keeps(const std::string& target, const struct stat& file) {
  const uid_t me = ::geteuid();
  struct stat folder;
  return me != 0 && file.st_uid != me && ::stat(folder_of(target).c_str(), &folder) == 0 &&
         (folder.st_mode & S_ISVTX) && folder.st_uid != me;
}

bool open_file(OutBuffer& out, const char* path) {
  if (!path || !*path) {
    errno = ENOENT;
    return false;
  }
  std::string target = path;
  const bool named = resolve_links(target);
  struct stat st;
  const bool exists = ::stat(path, &st) == 0;
  if (!named || (exists && !S_ISREG(st.st_mode))) return open_direct(out, path, !named);
  int old_fd = -1;
  if (exists) {
    // A file that may not be written stays a failure, and stays untouched.
    old_fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (old_fd < 0) return false;
    if (sticky_keeps(target, st)) {
      out.fd = old_fd;
      out.cut_at_close = st.st_size > 0;
      return true;
    }
  }
  out.fd = open_temp(target, exists ? &st : nullptr, out.temp_path);
  if (out.fd < 0) {
    if (old_fd >= 0) ::close(old_fd);
    // A folder that takes no new file may still hold a writable file.
    return open_direct(out, path, false);
  }
  out.final_path = std::move(target);
  track_temporary(out);
  // A large old file foretells a large new one.
  if (old_fd >= 0 && static_cast<std::uint64_t>(st.st_size) >= out.writer_from) {
    start_writer(out, old_fd);
  } else if (old_fd >= 0) {
    drop_cached(old_fd);
  }
  return true;
}

void reset(OutBuffer& out) {
  stop_writer(out);
  if (out.fd >= 0) ::close(out.fd);
  untrack_temporary(out);
  if (!out.temp_path.empty()) ::unlink(out.temp_path.c_str());
  out.fd = -1;
  out.sink = nullptr;
  out.buffer.reset();
  out.capacity = out.used = 0;
  out.error = 0;
  out.written = 0;
  out.cut_at_close = false;
  out.temp_path.clear();
  out.final_path.clear();
}

}  // namespace

OutBuffer::OutBuffer() = default;

OutBuffer::~OutBuffer() {
  reset(*this);
}

bool out_open_file(OutBuffer& out, const char* path) {
  reset(out);
  if (!open_file(out, path)) {
    out.error = errno;
    return false;
  }
  if (!out.buffer) init_buffer(out, kOutBufferSize);
  return true;
}

bool out_open_append(OutBuffer& out, const char* path) {
  reset(out);
  const int fd = path && *path ? ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666) : -1;
  if (fd < 0) {
    out.error = path && *path ? errno : ENOENT;
    return false;
  }
  out.fd = fd;
  init_buffer(out, kOutBufferSize);
  return true;
}

void out_open_string(OutBuffer& out, std::string* sink, std::size_t capacity) {
  reset(out);
  out.sink = sink;
  init_buffer(out, capacity > 0 ? capacity : 1);
}

void out_flush(OutBuffer& out) {
  if (out.writer && out.used > 0) {
    hand_off(out);
  } else {
    emit(out, out.buffer.get(), out.used);
    if (!out.writer && !out.temp_path.empty() && out.error == 0 && out.written >= out.writer_from)
      start_writer(out, -1);
  }
  out.used = 0;
}

bool out_close(OutBuffer& out) {
  out_flush(out);
  stop_writer(out);
  if (out.fd >= 0) {
    // Also after a failed write, so that no part of an old file remains.
    if (out.cut_at_close && ::ftruncate(out.fd, static_cast<off_t>(out.written)) != 0 &&
        out.error == 0) {
      out.error = errno;
    }
    if (::close(out.fd) != 0 && out.error == 0) out.error = errno;
    out.fd = -1;
  } else if (!out.sink && out.error == 0) {
    out.error = EBADF;
  }
  if (!out.temp_path.empty()) {
    if (out.error == 0 && !put_in_place(out)) out.error = errno;
    untrack_temporary(out);
    if (out.error != 0) ::unlink(out.temp_path.c_str());
    out.temp_path.clear();
  }
  out.sink = nullptr;
  return out.error == 0;
}

void out_remove_temporaries() {
  for (auto& slot : g_temporaries)
    if (const char* name = slot.load()) ::unlink(name);
}

void out_hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // A path-only descriptor of the root folder: writes and reads fail, and
    // reopening it as /dev/stdout (a folder) fails too.
    const int held = ::open("/", O_PATH);
    if (held >= 0 && held != fd) ::close(held);
  }
}

bool out_identity(const char* path, OutIdentity& id) {
  struct stat st;
  if (::stat(path, &st) == 0) {
    id = {st.st_dev, st.st_ino, ""};
    return true;
  }
  if (errno != ENOENT) return false;
  std::string target = path;
  if (!resolve_links(target)) return false;
  if (::stat(folder_of(target).c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino, target.substr(target.rfind('/') + 1)};
  return true;
}

void out_write_slow(OutBuffer& out, const char* data, std::size_t n) {
  const std::size_t room = out.capacity - out.used;
  if (room > 0) {
    std::memcpy(out.buffer.get() + out.used, data, room);
    out.used += room;
    data += room;
    n -= room;
  }
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
