// Finds the package of the sources that failed checks link to: from the
// declaration at the head of the file below the source root, else from the
// folders the report names.
#include "export/read/java_package.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "export/read/source_file.h"

namespace {

bool identifier_start(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}
bool identifier_part(unsigned char c) {
  return identifier_start(c) || (c >= '0' && c <= '9');
}

// Whether text is one identifier, or a dotted name of them when dotted.
bool java_name(std::string_view text, bool dotted) {
  bool start = true;
  for (unsigned char c : text) {
    if (dotted && c == '.' && !start) {
      start = true;
    } else if (start ? identifier_start(c) : identifier_part(c)) {
      start = false;
    } else {
      return false;
    }
  }
  return !start;
}

// The head of the file open as fd, up to kPackageHeadBytes.
std::string read_head(int fd) {
  std::string head(kPackageHeadBytes, '\0');
  size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, &head[got], head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
  return head;
}

}  // namespace

bool java_package_declared(std::string_view head, std::string& package) {
  package.clear();
  size_t i = 0;
  // Blanks and comments, then the first token.
  for (;;) {
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' ||
                               head[i] == '\r' || head[i] == '\f'))
      ++i;
    if (head.compare(i, 2, "//") == 0) {
      i = head.find('\n', i);
      if (i == std::string_view::npos) return false;
    } else if (head.compare(i, 2, "/*") == 0) {
      i = head.find("*/", i + 2);
      if (i == std::string_view::npos) return false;
      i += 2;
    } else if (i == 0 && head.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      i = 3;
    } else {
      break;
    }
  }
  const std::string_view rest = head.substr(i);
  const bool keyword = rest.compare(0, 7, "package") == 0 &&
                       (rest.size() == 7 || !identifier_part(static_cast<unsigned char>(rest[7])));
  if (!keyword) return i < head.size();  // another token: the default package
  const size_t end = rest.find(';');
  if (end == std::string_view::npos) return false;
  for (char c : rest.substr(7, end - 7))
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') package += c;
  if (java_name(package, true)) return true;
  package.clear();
  return false;
}

std::string java_package_from_folders(std::string_view name) {
  const size_t base = name.rfind('/');
  if (base == std::string_view::npos) return std::string();
  std::string_view folders = name.substr(0, base);
  for (size_t from = 0; from <= folders.size();) {
    size_t to = folders.find('/', from);
    if (to == std::string_view::npos) to = folders.size();
    if (folders.substr(from, to - from) == "java") {
      folders.remove_prefix(to == folders.size() ? to : to + 1);
      from = 0;
      continue;
    }
    from = to + 1;
  }
  std::string package;
  for (size_t from = 0; from < folders.size();) {
    size_t to = folders.find('/', from);
    if (to == std::string_view::npos) to = folders.size();
    const std::string_view part = folders.substr(from, to - from);
    if (!java_name(part, false)) return std::string();
    if (!package.empty()) package += '.';
    package += part;
    from = to + 1;
  }
  return package;
}

void packages_read(TestRun& run) {
  run.file_packages.assign(run.files.size(), std::string());
  std::vector<bool> wanted(run.files.size(), false);
  for (const Row& row : run.rows)
    if ((row.flags & ROW_FAILED) && row.file != kNone && row_links_line(run, row))
      wanted[row.file] = true;
  const int root_fd = run.source_root.empty()
                          ? -1
                          : ::open(run.source_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (uint32_t file = 0; file < run.files.size(); ++file) {
    if (!wanted[file]) continue;
    bool declared = false;
    int fd = -1;
    if (root_fd >= 0 && source_file_open(root_fd, source_path(run, file), fd) == SOURCE_OPENED) {
      declared = java_package_declared(read_head(fd), run.file_packages[file]);
      ::close(fd);
    }
    if (!declared) run.file_packages[file] = java_package_from_folders(run.files[file]);
  }
  if (root_fd >= 0) ::close(root_fd);
}
