// Reading of the report header file: pieces of at most 2046 bytes, the first
// line holding a key decides that key's value.
#include "report/header.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

ReportHeaderInfo g_header;

// The line being examined; a piece of at most 2046 bytes and its zero.
char g_line[2047];

const char* value_or_null(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

// Removes the last `c` of the text and everything after it, if there is one.
void cut_at_last(char* text, char c) {
  char* p = std::strrchr(text, c);
  if (p) *p = '\0';
}

void header_clear() {
  g_header = ReportHeaderInfo();
}

// How long a FIFO may take to bring the header's first bytes.
constexpr int kFifoWaitMs = 1000;

// A header file is read to its end, so only a regular file or a FIFO whose
// writer has sent something qualifies: a device such as /dev/zero never ends,
// and a FIFO without a writer would block the report for ever.
bool header_open() {
  const char* path = std::getenv("KSPX_WORKSHOP_HEADER_FILE");
  if (!path || !*path) return false;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool usable = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
  if (usable && S_ISFIFO(st.st_mode)) {
    struct pollfd ready = {fd, POLLIN, 0};
    usable = ::poll(&ready, 1, kFifoWaitMs) == 1 && (ready.revents & POLLIN);
  }
  // Once data is there, the rest of it is worth waiting for.
  if (usable) usable = ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  std::FILE* f = usable ? ::fdopen(fd, "rb") : nullptr;
  if (!f) {
    ::close(fd);
    return false;
  }
  g_header.header_file.reset(f);
  return true;
}

}  // namespace

bool header_load() {
  header_clear();
  if (!header_open()) return false;
  header_scan(g_header.header_file.get());
  return true;
}

void header_release() {
  header_clear();
}

const char* get_project_name() {
  return value_or_null(g_header.project_name);
}
const char* get_project_file() {
  return value_or_null(g_header.project_file);
}
const char* get_test_node_name() {
  return value_or_null(g_header.test_node_name);
}
const char* get_workspace_name() {
  return value_or_null(g_header.workspace_name);
}
const char* get_configuration() {
  return value_or_null(g_header.configuration);
}

const char* header_read_line(std::FILE* f) {
  if (!f) return nullptr;
  // A NUL byte ends the line's text, as it ends every text of this system.
  if (!std::fgets(g_line, sizeof g_line, f)) return nullptr;
  cut_at_last(g_line, '\n');
  cut_at_last(g_line, '\t');
  cut_at_last(g_line, '\r');
  return g_line;
}

void header_scan(std::FILE* file) {
  // The values go; an open header file stays open until header_release.
  g_header.project_name.reset();
  g_header.project_file.reset();
  g_header.test_node_name.reset();
  g_header.workspace_name.reset();
  g_header.configuration.reset();
  static const char* const kKeys[5] = {"$PROJECT_NAME", "$PROJECT_PATH", "$NAME", "$CONFIGURATION",
                                       "$WORKSPACE_NAME"};
  bool seen[5] = {false, false, false, false, false};
  int seen_count = 0;
  while (seen_count < 5) {
    const char* line = header_read_line(file);
    if (!line) break;
    int key = 0;
    while (key < 5 && !std::strstr(line, kKeys[key])) ++key;
    if (key == 5 || seen[key]) continue;
    seen[key] = true;
    ++seen_count;
    std::optional<std::string> value = header_value(line, kKeys[key]);
    switch (key) {
      case 0:
        g_header.project_name = std::move(value);
        break;
      case 1:
        g_header.project_file = project_file_path(g_header.project_name, value);
        break;
      case 2:
        g_header.test_node_name = std::move(value);
        break;
      case 3:
        g_header.configuration = std::move(value);
        break;
      default:
        g_header.workspace_name = std::move(value);
        break;
    }
  }
}

std::optional<std::string> header_value(const char* line, const char* key) {
  if (!line || !key || !std::strstr(line, key)) return std::nullopt;
  const char* equals = std::strchr(line, '=');
  if (!equals || equals[1] == '\0') return std::nullopt;
  std::string copy(equals + 1);
  std::size_t cut = copy.find('\n');
  if (cut != std::string::npos) copy.erase(cut);
  cut = copy.find('\t');
  if (cut != std::string::npos) copy.erase(cut);
  return value_trim(std::move(copy));
}

std::string value_trim(std::string text) {
  std::size_t cut = text.find(';');
  if (cut != std::string::npos) text.erase(cut);
  if (!text.empty() && text.front() == '\'') text.erase(0, 1);
  if (!text.empty() && text.back() == '\'') text.pop_back();
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::optional<std::string> project_file_path(const std::optional<std::string>& name,
                                             const std::optional<std::string>& path) {
  if (!name || !path) return std::nullopt;
  std::string result = *path;
  if (result.empty() || result.back() != '/') result += '/';
  result += *name;
  result += ".kvp";
  collapse_separators(result);
  return result;
}

void collapse_separators(std::string& text) {
  std::size_t kept = 0;
  bool in_run = false;
  for (char c : text) {
    bool separator = c == '/' || c == '\\';
    if (separator && in_run) continue;
    in_run = separator;
    text[kept++] = c;
  }
  text.resize(kept);
}
