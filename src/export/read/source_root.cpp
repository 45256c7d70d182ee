// One walk of a checkout that maps the source names of a run to the paths of
// their files, with hashed tables keyed by name, so the cost follows the files.
#include "export/read/source_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/hash.h"
#include "export/model/test_paths.h"

namespace {

// What the walk found of one base name the run asks for.
struct Found {
  uint32_t count = 0;
  std::string path;  // the first file's
};

struct Wanted {
  std::unordered_map<std::string_view, Found, TextHash> by_base;
  std::unordered_map<std::string_view, bool, TextHash> as_path;  // every name: seen as a path
};

// A folder reached twice (a bind mount of its own parent) is walked once.
struct DirId {
  dev_t dev;
  ino_t ino;
  bool operator==(const DirId& o) const { return dev == o.dev && ino == o.ino; }
};
struct DirIdHash {
  size_t operator()(const DirId& d) const {
    return hash_combine(hash_word(static_cast<uint64_t>(d.dev)), static_cast<uint64_t>(d.ino));
  }
};

void found_file(Wanted& wanted, const std::string& dir, const char* name) {
  auto base = wanted.by_base.find(name);
  if (base == wanted.by_base.end()) return;
  const std::string path = dir + name;
  if (++base->second.count == 1) base->second.path = path;
  auto exact = wanted.as_path.find(path);
  if (exact != wanted.as_path.end()) exact->second = true;
}

// Reads one folder: its files go to wanted, its folders onto the stack.
void read_folder(int root_fd, const std::string& dir, Wanted& wanted,
                 std::unordered_set<DirId, DirIdHash>& seen, std::vector<std::string>& stack) {
  const int fd = ::openat(root_fd, dir.empty() ? "." : dir.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) {
    ::close(fd);
    return;
  }
  DIR* folder = ::fdopendir(fd);
  if (!folder) {
    ::close(fd);
    return;
  }
  while (const dirent* e = ::readdir(folder)) {
    const char* name = e->d_name;
    // Nothing whose name starts with '.' (".", "..", .git, .env...): no
    // snippet is read from there either.
    if (name[0] == '.') continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode)   ? DT_DIR
             : S_ISREG(st.st_mode) ? DT_REG
             : S_ISLNK(st.st_mode) ? DT_LNK
                                   : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      stack.push_back(dir + name + '/');
    } else if (type == DT_REG) {
      found_file(wanted, dir, name);
    } else if (type == DT_LNK && wanted.by_base.count(name) != 0 &&
               ::fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
      found_file(wanted, dir, name);
    }
  }
  ::closedir(folder);
}

// Up to three names of a list for the warning, on one line whatever they hold.
std::string some_names(const std::vector<std::string_view>& names) {
  std::string s;
  for (size_t k = 0; k < names.size() && k < 3; ++k) {
    if (k > 0) s += ", ";
    for (char c : names[k]) s += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  if (names.size() > 3) s += " and " + std::to_string(names.size() - 3) + " more";
  return s;
}

std::string files_word(size_t n) {
  return std::to_string(n) + (n == 1 ? " source file" : " source files");
}

}  // namespace

int source_root_map(TestRun& run, const char* root, std::string& warning, std::string& error) {
  warning.clear();
  const int root_fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) {
    error = std::string("cannot read the source folder: ") + std::strerror(errno);
    return -1;
  }
  Wanted wanted;
  for (uint32_t k = 0; k < run.files.size(); ++k) {
    const std::string_view name = run.files[k];
    if (name.empty()) continue;
    wanted.by_base.emplace(path_base_name(name), Found());
    wanted.as_path.emplace(name, false);
  }
  // Depth first from a stack of folders still to read: one folder open at a
  // time, however deep the tree.
  std::unordered_set<DirId, DirIdHash> seen;
  std::vector<std::string> stack{""};
  while (!stack.empty()) {
    const std::string dir = std::move(stack.back());
    stack.pop_back();
    read_folder(root_fd, dir, wanted, seen, stack);
  }
  ::close(root_fd);

  run.source_root = root;
  run.file_paths.assign(run.files.size(), std::string());
  std::vector<std::string_view> missing, several;
  for (uint32_t k = 0; k < run.files.size(); ++k) {
    const std::string_view name = run.files[k];
    run.file_paths[k] = name;
    if (name.empty() || wanted.as_path[name]) continue;
    const Found& f = wanted.by_base[path_base_name(name)];
    if (f.count == 1)
      run.file_paths[k] = f.path;
    else
      (f.count == 0 ? missing : several).push_back(name);
  }
  if (missing.empty() && several.empty()) return 0;
  warning = std::string(root) + ": ";
  if (!missing.empty())
    warning += files_word(missing.size()) + " not found (" + some_names(missing) + ")";
  if (!missing.empty() && !several.empty()) warning += ", ";
  if (!several.empty())
    warning += (missing.empty() ? files_word(several.size()) : std::to_string(several.size())) +
               " found in several places (" + some_names(several) + ")";
  warning += "; named as the reports give them";
  return 0;
}
