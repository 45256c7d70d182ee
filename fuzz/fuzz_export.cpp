// Fuzz target: tallyrep-export over an XRD report read from memory, with optional parts after
// split lines (a baseline, a test history, a source tree: split_input), every output checked.
#include <fcntl.h>
#include <ftw.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/compare.h"
#include "export/model/history.h"
#include "export/model/run_history.h"
#include "export/read/java_package.h"
#include "export/read/run_reports.h"
#include "export/read/source_root.h"
#include "export/read/source_snippets.h"
#include "export/write/outputs.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "fuzz check failed: %s\n", message.c_str());
  std::abort();
}

// The escapes promise valid UTF-8 with no control byte but tab and line
// ends, whatever bytes the report held; the offset of the first fault, or -1.
long first_bad_byte(const std::string& s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return static_cast<long>(i);
      ++i;
      continue;
    }
    size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                 : c >= 0xE0 && c <= 0xEF ? 3
                 : c >= 0xF0 && c <= 0xF4 ? 4
                                          : 0;
    if (len == 0 || i + len > n) return static_cast<long>(i);
    unsigned long cp = c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return static_cast<long>(i);
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    bool shortest = cp >= (len == 2 ? 0x80u : len == 3 ? 0x800u : 0x10000u);
    if (!shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE ||
        cp == 0xFFFF)
      return static_cast<long>(i);
    i += len;
  }
  return -1;
}

// The decoys' markers are made anew for each input, so that no report can
// hold one and an output that shows one has read its file.
void check_text(const std::string& what, const std::string& s,
                const std::vector<std::string>& secrets = {}) {
  long at = first_bad_byte(s);
  if (at >= 0) fail(what + ": not valid UTF-8 text at byte " + std::to_string(at));
  for (const std::string& secret : secrets)
    if (s.find(secret) != std::string::npos) fail(what + " shows a file below '.' or outside");
}

// The data parts may hold no '<' at all, so that no text can end their script
// element or open a comment in it; the page has just the script ends of its
// own script and of each part and its feeder.
void check_page(const std::string& page) {
  static const char kTail[] = "</script>\n</body>\n</html>\n";
  if (page.size() < sizeof kTail - 1 ||
      page.compare(page.size() - (sizeof kTail - 1), std::string::npos, kTail) != 0)
    fail("page does not end with its script");
  static const char kPart[] = "<script type=\"application/octet-stream\" class=\"xrd-data\">";
  size_t parts = 0;
  for (size_t from = page.find(kPart); from != std::string::npos; from = page.find(kPart, from)) {
    from += sizeof kPart - 1;
    const size_t to = page.find('<', from);
    if (to == std::string::npos || page.compare(to, 10, "</script>\n") != 0)
      fail("'<' inside a data part at byte " + std::to_string(to));
    ++parts;
  }
  if (parts == 0) fail("page has no data part");
  size_t ends = 0;
  for (size_t i = 0; i + 8 <= page.size(); ++i)
    if (page[i] == '<' && page[i + 1] == '/' && strncasecmp(page.c_str() + i + 2, "script", 6) == 0)
      ++ends;
  if (ends != 1 + 2 * parts) fail("page has " + std::to_string(ends) + " script ends");
}

unsigned long long count_attr(const pugi::xml_node& n, const char* name) {
  return n.attribute(name).as_ullong();
}

// Well-formed, and every count attribute agrees with the elements it counts.
void check_junit(const std::string& xml) {
  pugi::xml_document doc;
  pugi::xml_parse_result res = doc.load_buffer(xml.data(), xml.size());
  if (!res) fail(std::string("JUnit XML does not parse: ") + res.description());
  pugi::xml_node root = doc.child("testsuites");
  if (!root) fail("JUnit XML has no testsuites root");
  unsigned long long all[3] = {0, 0, 0};
  for (pugi::xml_node suite : root.children("testsuite")) {
    unsigned long long mine[3] = {0, 0, 0};
    for (pugi::xml_node tc : suite.children("testcase")) {
      // The xUnit plugin's schema has no file or line on a testcase.
      if (tc.attribute("file") || tc.attribute("line")) fail("testcase with file or line");
      ++mine[0];
      if (tc.child("failure")) ++mine[1];
      if (tc.child("skipped")) ++mine[2];
    }
    if (mine[0] != count_attr(suite, "tests") || mine[1] != count_attr(suite, "failures") ||
        mine[2] != count_attr(suite, "skipped"))
      fail("testsuite counts disagree with its testcases");
    for (int k = 0; k < 3; ++k) all[k] += mine[k];
  }
  // CI servers' schemas reject skipped on the root; the suites carry it.
  if (all[0] != count_attr(root, "tests") || all[1] != count_attr(root, "failures") ||
      root.attribute("skipped"))
    fail("testsuites counts disagree with the testcases");
}

// A strict JSON reader that only says whether the text is one JSON value.
struct JsonCheck {
  const char* p;
  const char* end;
  int depth = 0;

  void blank() {
    while (p < end && (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r')) ++p;
  }
  bool word(const char* w) {
    size_t n = std::strlen(w);
    if (static_cast<size_t>(end - p) < n || std::memcmp(p, w, n) != 0) return false;
    p += n;
    return true;
  }
  bool string() {
    if (p == end || *p++ != '"') return false;
    while (p < end && *p != '"') {
      unsigned char c = static_cast<unsigned char>(*p++);
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (p == end) return false;
      char e = *p++;
      if (e == 'u') {
        for (int k = 0; k < 4; ++k)
          if (p == end || !std::isxdigit(static_cast<unsigned char>(*p++))) return false;
      } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
        return false;
      }
    }
    return p++ < end;
  }
  bool number() {
    if (p < end && *p == '-') ++p;
    if (p == end || !std::isdigit(static_cast<unsigned char>(*p))) return false;
    if (*p == '0') {
      ++p;
    } else {
      while (p < end && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    if (p < end && *p == '.') {
      ++p;
      if (p == end || !std::isdigit(static_cast<unsigned char>(*p))) return false;
      while (p < end && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    return true;
  }
  bool items(char close, bool keyed) {
    ++p;
    blank();
    if (p < end && *p == close) return ++p, true;
    for (;;) {
      if (keyed) {
        if (!string()) return false;
        blank();
        if (p == end || *p++ != ':') return false;
      }
      if (!value()) return false;
      blank();
      if (p < end && *p == ',') {
        ++p;
        blank();
        continue;
      }
      return p < end && *p++ == close;
    }
  }
  bool value() {
    blank();
    if (p == end || ++depth > 64) return false;
    bool ok = *p == '{'   ? items('}', true)
              : *p == '[' ? items(']', false)
              : *p == '"' ? string()
                          : word("true") || word("false") || word("null") || number();
    --depth;
    return ok;
  }
};

void check_json(const std::string& json) {
  JsonCheck c{json.data(), json.data() + json.size()};
  if (!c.value()) fail("JSON summary does not parse at byte " + std::to_string(c.p - json.data()));
  c.blank();
  if (c.p != c.end) fail("JSON summary has more than one value");
}

// GitHub and GitLab read a mention or an autolink anywhere but in code, and a
// CR or a Unicode line break ends a line for some of their renderers: outside
// the snippets' fenced blocks every '@' and "://" must be broken by U+200B,
// and nowhere may a line end but at '\n'.
void check_markdown(const std::string& md) {
  static const char kBreak[] = "\xE2\x80\x8B";
  for (const char* line_end : {"\r", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xC2\x85"})
    if (md.find(line_end) != std::string::npos)
      fail("Markdown summary ends a line early at byte " + std::to_string(md.find(line_end)));
  size_t fence = 0;  // the backticks of the code block open, 0 outside one
  for (size_t at = 0; at < md.size();) {
    const size_t end = std::min(md.find('\n', at), md.size());
    const std::string_view line(md.data() + at, end - at);
    const size_t marks = line.size() > 4 && line.compare(0, 4, "    ") == 0 &&
                                 line.find_first_not_of('`', 4) == std::string_view::npos
                             ? line.size() - 4
                             : 0;
    if (marks >= 3 && (fence == 0 || marks == fence)) {
      fence = fence == 0 ? marks : 0;
    } else if (fence == 0) {
      for (size_t k = line.find('@'); k != std::string_view::npos; k = line.find('@', k + 1))
        if (line.compare(k + 1, 3, kBreak) != 0)
          fail("Markdown summary starts a mention at byte " + std::to_string(at + k));
      for (size_t k = line.find("://"); k != std::string_view::npos; k = line.find("://", k + 1))
        if (k < 3 || line.compare(k - 3, 3, kBreak) != 0)
          fail("Markdown summary starts an autolink at byte " + std::to_string(at + k));
    }
    at = end + 1;
  }
  if (fence != 0) fail("Markdown summary leaves a code block open");
}

// Every output of kOutputs of one run (with its changes, when it was
// compared), none of which may show a secret; each checked by what it is.
void check_outputs(const TestRun& r, const std::vector<std::string>& secrets = {}) {
  OutputSettings settings;
  settings.more_in = "see x";
  for (const OutputKind& kind : kOutputs) {
    std::string text;
    OutBuffer out;
    out_open_string(out, &text, 61);
    kind.write(out, r, settings);
    out_close(out);
    check_text(kind.flag, text, secrets);
    const std::string_view flag = kind.flag;
    if (flag == "--html") {
      check_page(text);
    } else if (flag == "--junit") {
      check_junit(text);
    } else if (flag == "--markdown") {
      if (text.size() > kMarkdownLimit) fail("Markdown summary over its budget");
      check_markdown(text);
    } else if (flag == "--github-annotations") {
      // Each workflow command on a line of its own: no text may end one early.
      for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
        if (text.compare(at, 2, "::") != 0 || text.find('\r', at) < text.find('\n', at))
          fail("workflow command broken at byte " + std::to_string(at));
    } else {
      check_json(text);  // the JSON summary, CTRF and the Code Quality report
    }
  }
}

// The run of the reports in `parts`, or false when one is rejected.
bool read_run(const std::vector<XrdSource>& parts, TestRun& run) {
  static const std::vector<const char*> kNames = {"a.xrd", "b.xrd"};
  std::string error;
  size_t failed = 0;
  const std::vector<const char*> names(kNames.begin(), kNames.begin() + parts.size());
  if (run_read(parts, names, run, nullptr, failed, error) == 0) return true;
  // The program prints the reason after the file name, on one line.
  if (error.empty() || error.find('\n') != std::string::npos)
    fail("reason for a rejected report is not one line: '" + error + "'");
  return false;
}

// ---- The source tree

constexpr size_t kTreeEntries = 16;     // entries made at most, so that an input stays fast
constexpr size_t kTreeBytes = 4096;     // of a file's content
constexpr size_t kTreeNameBytes = 512;  // so that every path stays short enough to remove

// A marker no input can hold: random, and new for each input.
std::string fresh_marker(const char* where) {
  static std::mt19937_64 random{std::random_device{}()};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
  return std::string("FUZZ-SECRET-MARKER-") + where + '-' + hex;
}

// Never through a link, never over a file already there.
bool write_file(int dir, const std::string& name, std::string_view content) {
  const int fd =
      ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n <= 0) break;
    content.remove_prefix(static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

// The folder below root_fd that is to hold name's last part (made as needed,
// each opened with no link followed), and that part; -1 for a name that is
// absolute or climbs with "..", so that nothing is made outside the tree.
int open_parent(int root_fd, std::string_view name, std::string& last) {
  if (name.empty() || name[0] == '/' || name.size() > kTreeNameBytes ||
      name.find('\0') != std::string_view::npos)
    return -1;
  int dir = ::dup(root_fd);
  for (size_t from = 0; dir >= 0;) {
    const size_t to = std::min(name.find('/', from), name.size());
    const std::string part(name.substr(from, to - from));
    if (part == ".." || (to == name.size() && (part.empty() || part == "."))) break;
    if (to == name.size()) {
      last = part;
      return dir;
    }
    if (!part.empty() && part != ".") {
      ::mkdirat(dir, part.c_str(), 0700);
      const int next =
          ::openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      ::close(dir);
      dir = next;
    }
    from = to + 1;
  }
  if (dir >= 0) ::close(dir);
  return -1;
}

// One line of the tree's part: "f NAME\tCONTENT" a file, whose CONTENT reads
// the two bytes "\n" as a line end and any other byte as itself; "l NAME\tTARGET"
// a symbolic link; "d NAME" a folder; "p NAME" a FIFO. True when one was made.
bool add_entry(int root_fd, std::string_view line) {
  if (line.size() < 3 || line[1] != ' ') return false;
  const char kind = line[0];
  line.remove_prefix(2);
  const size_t tab = std::min(line.find('\t'), line.size());
  const std::string_view value = line.substr(std::min(tab + 1, line.size()));
  std::string last;
  const int dir = open_parent(root_fd, line.substr(0, tab), last);
  if (dir < 0) return false;
  bool made = false;
  if (kind == 'f') {
    std::string content;
    for (size_t k = 0; k < value.size() && content.size() < kTreeBytes; ++k) {
      const bool end = value[k] == '\\' && k + 1 < value.size() && value[k + 1] == 'n';
      content += end ? '\n' : value[k];
      k += end;
    }
    made = write_file(dir, last, content);
  } else if (kind == 'l' && value.find('\0') == std::string_view::npos) {
    made = ::symlinkat(std::string(value).c_str(), dir, last.c_str()) == 0;
  } else if (kind == 'd') {
    made = ::mkdirat(dir, last.c_str(), 0700) == 0;
  } else if (kind == 'p') {
    made = ::mkfifoat(dir, last.c_str(), 0600) == 0;
  }
  ::close(dir);
  return made;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path) == 0 ? 0 : -1;
}

// A checkout built from the input in a private temporary folder: root/ holds
// the entries, root/.git/config.java one decoy below a dot-name, and beside
// root, secret.java the other, which a link of the tree can name but no
// snippet may show. Removed whole, links never followed, when it goes.
class SourceTree {
 public:
  explicit SourceTree(std::string_view entries) {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-export-XXXXXX";
    if (!::mkdtemp(name.data())) fail("no temporary folder for the source tree");
    temp_ = name;
    root = temp_ + "/root";
    secrets = {fresh_marker("OUTSIDE"), fresh_marker("HIDDEN")};
    const int temp_fd = ::open(temp_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (temp_fd < 0 || ::mkdirat(temp_fd, "root", 0700) != 0) fail("no folder for the source tree");
    write_file(temp_fd, "secret.java", decoy(secrets[0]));
    const int root_fd = ::openat(temp_fd, "root", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(temp_fd);
    if (root_fd < 0) fail("cannot open the source tree");
    ::mkdirat(root_fd, ".git", 0700);
    const int git = ::openat(root_fd, ".git", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (git >= 0) write_file(git, "config.java", decoy(secrets[1]));
    if (git >= 0) ::close(git);
    size_t made = 0;
    for (size_t at = 0; at < entries.size() && made < kTreeEntries;) {
      const size_t end = std::min(entries.find('\n', at), entries.size());
      made += add_entry(root_fd, entries.substr(at, end - at));
      at = end + 1;
    }
    ::close(root_fd);
  }
  ~SourceTree() {
    if (::nftw(temp_.c_str(), remove_entry, 16, FTW_PHYS | FTW_DEPTH | FTW_MOUNT) != 0 ||
        ::access(temp_.c_str(), F_OK) == 0)
      fail("the source tree in " + temp_ + " is not removed");
  }
  SourceTree(const SourceTree&) = delete;
  SourceTree& operator=(const SourceTree&) = delete;

  std::string root;
  std::vector<std::string> secrets;

 private:
  // A marker on every line a report may ask for.
  static std::string decoy(const std::string& marker) {
    std::string text;
    for (int k = 0; k < 64; ++k) text += "String s = \"" + marker + "\";\n";
    return text;
  }
  std::string temp_;
};

// Lines the outputs show as lines: no line end within one, none from a decoy.
void check_snippets(const TestRun& run, const std::vector<std::string>& secrets) {
  if (run.snippets.size() > kSnippets) fail("more snippets than kSnippets");
  for (const SourceSnippet& s : run.snippets) {
    if (s.line < s.first || s.line - s.first >= s.lines.size())
      fail("a snippet without its check's line");
    for (const std::string& line : s.lines) {
      if (line.find_first_of("\r\n") != std::string::npos)
        fail("a snippet line holds a line end: '" + line + "'");
      for (const std::string& secret : secrets)
        if (line.find(secret) != std::string::npos) fail("a snippet shows a decoy: '" + line + "'");
    }
  }
}

// ---- The parts of an input and the runs made of them

enum InputPart { PART_REPORT, PART_BASELINE, PART_HISTORY, PART_SOURCE, kPartCount };

// The report, then the parts each after the first of its split lines, in
// whatever order they come; a part runs up to the next split line.
struct Input {
  std::string_view part[kPartCount];
  bool has[kPartCount] = {true, false, false, false};
};

Input split_input(const char* text, size_t size) {
  static const char* const kSplits[kPartCount] = {"", "\n--baseline--\n", "\n--history--\n",
                                                  "\n--source--\n"};
  Input in;
  size_t at[kPartCount] = {}, from[kPartCount] = {};
  for (int k = PART_BASELINE; k < kPartCount; ++k)
    if (const void* p = memmem(text, size, kSplits[k], std::strlen(kSplits[k]))) {
      at[k] = static_cast<size_t>(static_cast<const char*>(p) - text);
      from[k] = at[k] + std::strlen(kSplits[k]);
      in.has[k] = true;
    }
  for (int k = 0; k < kPartCount; ++k) {
    size_t to = size;
    for (int j = PART_BASELINE; j < kPartCount; ++j)
      if (j != k && in.has[j] && at[j] >= at[k]) to = std::min(to, at[j]);
    // Split lines may share a line end: the part between them is then empty.
    if (in.has[k]) in.part[k] = std::string_view(text + from[k], std::max(to, from[k]) - from[k]);
  }
  return in;
}

// The history's part: one byte for the runs kept (1 to 8), the run's label up
// to the first line end (empty: the program's default), then the file's bytes
// (none: no file yet), their length and checksum made right so that the
// payload is read. False when they still are no history.
bool add_history(TestRun& run, std::string_view part) {
  const size_t size = part.empty() ? 3 : 1 + static_cast<unsigned char>(part[0]) % 8;
  part.remove_prefix(std::min<size_t>(1, part.size()));
  const size_t eol = std::min(part.find('\n'), part.size());
  std::string label(part.substr(0, eol));
  std::string bytes(part.substr(std::min(eol + 1, part.size())));
  History kept;
  if (!bytes.empty()) {
    if (bytes.size() >= 24) {
      const uint64_t length = bytes.size() - 24;
      for (int k = 0; k < 8; ++k) bytes[12 + k] = static_cast<char>(length >> (8 * k));
      const uint32_t crc = static_cast<uint32_t>(
          crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data() + 8), bytes.size() - 12));
      for (int k = 0; k < 4; ++k) bytes[bytes.size() - 4 + k] = static_cast<char>(crc >> (8 * k));
    }
    std::string error;
    if (!history_parse(bytes.data(), bytes.size(), kept, error)) return false;
  }
  if (label.empty()) label = run_default_label(run);
  run_history_add(run, std::move(kept), std::move(label), size);
  if (!run.with_history || run.history.kept.runs.size() > size)
    fail("history not added or not cut");
  return true;
}

// The report compared with the baseline, and then merged with it.
void check_baseline(const XrdSource& report, const XrdSource& baseline) {
  TestRun compared;
  std::string error;
  if (!read_run({report}, compared)) return;
  if (compare_with_baseline(compared, baseline, "b.xrd", error) != 0) return;
  check_outputs(compared);
  TestRun merged;
  if (read_run({report, baseline}, merged)) check_outputs(merged);
}

// The run with every part, in the program's order: the source lines, the
// comparison, then the history.
void check_whole(const XrdSource& report, const Input& in, const XrdSource& baseline) {
  TestRun run;
  if (!read_run({report}, run)) return;
  std::vector<std::string> secrets;
  if (in.has[PART_SOURCE]) {
    std::string warning, error, refused;
    {
      // Gone before any check can abort, so that a finding leaves no tree.
      const SourceTree tree(in.part[PART_SOURCE]);
      secrets = tree.secrets;
      if (source_root_map(run, tree.root.c_str(), warning, error) != 0)
        error = "the source tree does not read: " + error;
      else
        refused = snippets_read(run);
      packages_read(run);
    }
    if (!error.empty()) fail(error);
    if (warning.find('\n') != std::string::npos || refused.find('\n') != std::string::npos)
      fail("a warning of the source tree is not one line");
    check_snippets(run, secrets);
  } else {
    packages_read(run);
  }
  std::string error;
  if (in.has[PART_BASELINE] && compare_with_baseline(run, baseline, "b.xrd", error) != 0) return;
  if (in.has[PART_HISTORY] && !add_history(run, in.part[PART_HISTORY]) && secrets.empty()) return;
  check_outputs(run, secrets);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Input in = split_input(reinterpret_cast<const char*>(data), size);
  const XrdSource report = xrd_bytes(in.part[PART_REPORT].data(), in.part[PART_REPORT].size());
  {
    TestRun run;
    if (!read_run({report}, run)) return 0;
    check_outputs(run);
  }
  const XrdSource baseline =
      xrd_bytes(in.part[PART_BASELINE].data(), in.part[PART_BASELINE].size());
  if (in.has[PART_BASELINE]) check_baseline(report, baseline);
  if (in.has[PART_HISTORY] || in.has[PART_SOURCE]) check_whole(report, in, baseline);
  return 0;
}
