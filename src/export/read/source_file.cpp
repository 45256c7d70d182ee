// Resolving a source file's name below the root by hand, then opening the
// resolved path so that no link can be followed and nothing can block.
#include "export/read/source_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <string>
#include <vector>

const char* const kSourceRefusalWords[kSourceRefusals] = {"",
                                                          "",
                                                          "outside the source root",
                                                          "below a name that starts with '.'",
                                                          "not a .java file",
                                                          "not a regular file"};

namespace {

constexpr int kMaxLinks = 40;  // as many as the kernel follows in one path
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;

struct Part {
  std::string name;
  bool from_link;  // a link's target may climb with ".."; a name never does
};

// Pushes the parts of `path` at the front of `todo`, in order.
void push_parts(std::deque<Part>& todo, std::string_view path, bool from_link) {
  std::vector<Part> parts;
  for (size_t from = 0; from <= path.size();) {
    const size_t to = std::min(path.find('/', from), path.size());
    if (to > from) parts.push_back({std::string(path.substr(from, to - from)), from_link});
    from = to + 1;
  }
  todo.insert(todo.begin(), parts.begin(), parts.end());
}

std::string joined(const std::vector<std::string>& done, const std::string& last) {
  std::string path;
  for (const std::string& d : done) path += d + '/';
  return path + last;
}

// Walks `name` below the root, each link replaced by its target, into the
// path of real folders and the file it leads to.
SourceOpen resolve(int root_fd, std::string_view name, std::vector<std::string>& done,
                   struct stat& st) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return SOURCE_MISSING;
  if (name[0] == '/') return SOURCE_OUTSIDE;
  std::deque<Part> todo;
  push_parts(todo, name, false);
  int links = 0;
  bool any = false;
  while (!todo.empty()) {
    Part part = std::move(todo.front());
    todo.pop_front();
    if (part.name == ".") continue;
    if (part.name == "..") {
      if (!part.from_link || done.empty()) return SOURCE_OUTSIDE;
      done.pop_back();
      any = false;
      continue;
    }
    if (part.name[0] == '.') return SOURCE_HIDDEN;
    const std::string path = joined(done, part.name);
    if (::fstatat(root_fd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return SOURCE_MISSING;
    if (S_ISLNK(st.st_mode)) {
      if (++links > kMaxLinks) return SOURCE_MISSING;
      char target[PATH_MAX];
      const ssize_t n = ::readlinkat(root_fd, path.c_str(), target, sizeof target);
      if (n <= 0 || static_cast<size_t>(n) == sizeof target) return SOURCE_MISSING;
      if (target[0] == '/') return SOURCE_OUTSIDE;
      push_parts(todo, std::string_view(target, static_cast<size_t>(n)), true);
      continue;
    }
    if (!todo.empty() && !S_ISDIR(st.st_mode)) return SOURCE_MISSING;
    done.push_back(std::move(part.name));
    any = true;
  }
  // A name that ends at a folder ("src/..", "."), or at the root itself.
  if (!any || done.empty()) return SOURCE_NOT_REGULAR;
  return SOURCE_OPENED;
}

// Opens the resolved path with no link followed: one call where the kernel
// has openat2, else one folder at a time, each opened without following.
int open_resolved(int root_fd, const std::vector<std::string>& done) {
  const std::string path = joined({done.begin(), done.end() - 1}, done.back());
  open_how how{};
  how.flags = static_cast<uint64_t>(kOpenFlags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_SYMLINKS;
  const long fd = ::syscall(SYS_openat2, root_fd, path.c_str(), &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG && errno != EINVAL))
    return static_cast<int>(fd);
  int dir = root_fd;
  for (size_t k = 0; k + 1 < done.size(); ++k) {
    const int next =
        ::openat(dir, done[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir != root_fd) ::close(dir);
    if (next < 0) return -1;
    dir = next;
  }
  const int file = ::openat(dir, done.back().c_str(), kOpenFlags);
  if (dir != root_fd) ::close(dir);
  return file;
}

bool has_source_extension(const std::string& name) {
  return name.size() > kSourceExtension.size() &&
         name.compare(name.size() - kSourceExtension.size(), std::string::npos,
                      kSourceExtension.data(), kSourceExtension.size()) == 0;
}

}  // namespace

SourceOpen source_file_open(int root_fd, std::string_view name, int& fd) {
  fd = -1;
  std::vector<std::string> done;
  struct stat st;
  const SourceOpen resolved = resolve(root_fd, name, done, st);
  if (resolved != SOURCE_OPENED) return resolved;
  if (!has_source_extension(done.back())) return SOURCE_NOT_SOURCE;
  // Known before opening, so that no device or FIFO is ever opened.
  if (!S_ISREG(st.st_mode)) return SOURCE_NOT_REGULAR;
  const int opened = open_resolved(root_fd, done);
  if (opened < 0) return SOURCE_MISSING;  // changed meanwhile, or unreadable
  // What was opened, which a change since the look above could have swapped.
  if (::fstat(opened, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(opened);
    return SOURCE_NOT_REGULAR;
  }
  fd = opened;
  return SOURCE_OPENED;
}
