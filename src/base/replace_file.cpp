// The temporary beside an output, its rename into place, the outputs written
// directly, and the removal of temporaries when a signal ends the run.
#include "base/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/hash.h"

namespace {

// The temporaries being written, for a run that a signal ends. A file-size
// limit's SIGXFSZ counts: the limit cut the temporary, not the output.
constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGXFSZ};
std::atomic<const char*> g_temporaries[8];

void remove_temporaries_and_die(int sig) {
  out_remove_temporaries();
  ::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::raise(sig);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // the default action acts here
  // Still alive: the default action of a signal does not end PID 1.
  ::_exit(128 + sig);
}

// Installed with the first temporary. A signal that the caller ignores
// (nohup, a shell's background job) or that the program handles stays so.
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
      for (int other : kCleanupSignals) sigaddset(&cleanup.sa_mask, other);
      ::sigaction(sig, &cleanup, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// Outputs beyond the slots are still replaced whole; only a signal may leave
// their temporary behind.
void track(ReplaceFile& file) {
  install_cleanup();
  for (auto& slot : g_temporaries) {
    const char* none = nullptr;
    if (slot.compare_exchange_strong(none, file.temp.c_str())) {
      file.slot = static_cast<int>(&slot - g_temporaries);
      return;
    }
  }
}

// Closes the descriptor and forgets the temporary, removing it unless it was
// put in place.
void release(ReplaceFile& file) {
  if (file.fd >= 0) ::close(file.fd);
  if (file.slot >= 0) g_temporaries[file.slot].store(nullptr);
  if (!file.temp.empty()) ::unlink(file.temp.c_str());
  file.fd = file.slot = -1;
  file.temp.clear();
  file.target.clear();
  file.cut = false;
  file.reserved = 0;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

enum Resolved { RESOLVED_FILE, RESOLVED_DESCRIPTOR, RESOLVED_NONE };

// Follows symbolic links one by one to the file a path finally names (a
// dangling link gives the file it would create), a relative target taken from
// its link's folder. A link that lives in /proc stands for an open descriptor
// (/dev/stdout, /dev/fd/N), written as it is. RESOLVED_NONE, errno set, for a
// loop or a name the system cannot look up.
Resolved resolve_links(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? RESOLVED_FILE : RESOLVED_NONE;
    if (!S_ISLNK(st.st_mode)) return RESOLVED_FILE;
    char real[PATH_MAX];
    if (!::realpath(folder_of(path).c_str(), real)) return RESOLVED_NONE;
    if (std::string(real).rfind("/proc/", 0) == 0) return RESOLVED_DESCRIPTOR;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
      errno = ENAMETOOLONG;
      return RESOLVED_NONE;
    }
    std::string next(target, static_cast<std::size_t>(n));
    if (next[0] != '/') next.insert(0, folder_of(path));
    path = std::move(next);
  }
  errno = ELOOP;
  return RESOLVED_NONE;
}

// Whether the existing file at `path` can be renamed over: not when it is a
// mount point (a bind-mounted output: EBUSY), nor in a sticky folder (/tmp)
// where only the owner of the file or of the folder may replace it (EPERM).
bool replaceable(const std::string& path, const struct stat& file) {
  struct statx sx;
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &sx) == 0 &&
      (sx.stx_attributes & sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
    return false;
  const uid_t me = ::geteuid();
  struct stat folder;
  return me == 0 || file.st_uid == me || ::stat(folder_of(path).c_str(), &folder) != 0 ||
         !(folder.st_mode & S_ISVTX) || folder.st_uid == me;
}

// Creates the temporary beside `target` under a fresh random name, retried
// on a clash; a name too long for the folder gets a short one of its own.
int create_temp(const std::string& target, mode_t mode, std::string& temp) {
  static const char kHex[] = "0123456789abcdef";
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[] = ".tallyrep-unfinished-xxxxxxxxxxxx";
    std::uint64_t bits = hash_seed_from_system().k0;
    for (char* p = tail + sizeof tail - 13; *p; ++p, bits >>= 4) *p = kHex[bits & 15];
    temp = target + tail;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno == ENAMETOOLONG) {
      temp = folder_of(target) + tail;
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    }
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool open_direct(ReplaceFile& file, const char* path, int flags) {
  file.fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
  if (file.fd < 0) return false;
  struct stat st;
  file.cut = !(flags & O_APPEND) && ::fstat(file.fd, &st) == 0 && S_ISREG(st.st_mode);
  return true;
}

// The descriptor of this process that a name stands for (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N), or -1 for any other name.
int own_descriptor(const char* path) {
  const std::string name = path;
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t n = std::strlen(prefix);
    if (name.compare(0, n, prefix) != 0 || name.size() == n || name.size() > n + 9) continue;
    int fd = 0;
    for (std::size_t i = n; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return -1;
      fd = fd * 10 + (name[i] - '0');
    }
    return fd;
  }
  return -1;
}

bool open_output(ReplaceFile& file, const char* path) {
  std::string target = path;
  switch (resolve_links(target)) {
    case RESOLVED_NONE:
      return false;
    case RESOLVED_DESCRIPTOR: {
      // One of our own descriptors is written through a duplicate, which
      // shares its offset: a shell's later writes to `> f` then follow ours
      // instead of landing over them, as they would after a reopen.
      const int own = own_descriptor(path);
      if (own >= 0) {
        // A closed one is held by the folder "/", opened for reading only.
        struct stat st;
        const int mode = ::fcntl(own, F_GETFL);
        if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY || ::fstat(own, &st) != 0 ||
            S_ISDIR(st.st_mode)) {
          errno = EBADF;
          return false;
        }
        file.fd = ::fcntl(own, F_DUPFD_CLOEXEC, 0);
        return file.fd >= 0;
      }
      // Another's: added at its end, so that >> keeps what came before.
      if (open_direct(file, path, O_APPEND)) return true;
      if (errno == EISDIR) errno = EBADF;  // a closed one, held by the folder "/"
      return false;
    }
    case RESOLVED_FILE:
      break;
  }
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && !S_ISREG(old.st_mode)) return open_direct(file, target.c_str(), 0);
  // A file that may not be written stays a failure, and stays untouched.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (exists && !replaceable(target, old)) return open_direct(file, target.c_str(), 0);
  file.fd = create_temp(target, exists ? 0600 : 0666, file.temp);
  if (file.fd < 0) {
    file.temp.clear();
    const bool refused = errno == EACCES || errno == EPERM;
    return exists && refused && open_direct(file, target.c_str(), 0);
  }
  if (exists) {
    // Only root keeps another user's ownership; anyone else gets the new
    // file as their own, still with the old mode.
    const bool owner_kept = ::fchown(file.fd, old.st_uid, old.st_gid) == 0;
    (void)owner_kept;
    ::fchmod(file.fd, old.st_mode & 07777);
  }
  file.target = std::move(target);
  track(file);
  return true;
}

}  // namespace

ReplaceFile::~ReplaceFile() {
  release(*this);
}

bool replace_open(ReplaceFile& file, const char* path, bool append) {
  release(file);
  if (!path || !*path) {
    errno = ENOENT;
    return false;
  }
  if (!append) return open_output(file, path);
  file.fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  return file.fd >= 0;
}

// ext4 writes out a file's delayed blocks when it is renamed over another
// (auto_da_alloc): for an 850 MB report that took 0.15 s, a sixth of the run.
// Blocks allocated ahead of the writes leave nothing to write out then; the
// file is cut to its length at the end. Small outputs do without.
constexpr std::uint64_t kReserveFrom = std::uint64_t{32} << 20;
constexpr std::uint64_t kReserveStep = std::uint64_t{64} << 20;

void replace_reserve(ReplaceFile& file, std::uint64_t length) {
  if (length <= file.reserved || length < kReserveFrom || file.temp.empty()) return;
  file.cut = true;
  // Never past a file-size limit, which a report that fits under it must not meet.
  rlimit limit;
  std::uint64_t end = length + kReserveStep;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    end = std::min<std::uint64_t>(end, limit.rlim_cur);
  if (end <= length) {
    file.reserved = UINT64_MAX;
    return;
  }
  // Where the file system cannot (or has no room ahead), the writes allocate
  // as they go.
  const bool done = ::fallocate(file.fd, 0, static_cast<off_t>(file.reserved),
                                static_cast<off_t>(end - file.reserved)) == 0;
  file.reserved = done ? end : UINT64_MAX;
}

bool replace_close(ReplaceFile& file, bool whole, std::uint64_t length) {
  int error = 0;
  // Also after a failed write, so that no part of an old file remains
  // behind the new bytes.
  if (file.fd >= 0 && file.cut && ::ftruncate(file.fd, static_cast<off_t>(length)) != 0)
    error = errno;
  if (file.fd >= 0 && ::close(file.fd) != 0 && error == 0) error = errno;
  file.fd = -1;
  if (!file.temp.empty() && whole && error == 0) {
    if (::rename(file.temp.c_str(), file.target.c_str()) == 0)
      file.temp.clear();
    else
      error = errno;
  }
  release(file);
  errno = error;
  return error == 0;
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
  const bool standard = path[0] == '-' && path[1] == '\0';
  if (standard ? ::fstat(1, &st) == 0 : ::stat(path, &st) == 0) {
    id = {st.st_dev, st.st_ino, ""};
    return true;
  }
  if (standard || errno != ENOENT) return false;
  std::string target = path;
  if (resolve_links(target) != RESOLVED_FILE) return false;
  if (::stat(folder_of(target).c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino, target.substr(target.rfind('/') + 1)};
  return true;
}
