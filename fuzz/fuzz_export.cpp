// Fuzz target: tallyrep-export over XRD bytes, read from memory (every repair
// included) and written as an HTML page, JUnit XML and both summaries to
// memory, all checked. Input after a split line is a second report: the
// baseline the first is compared with, and then merged with.
#include <string.h>
#include <strings.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "export/compare.h"
#include "export/run_reports.h"
#include "export/writers.h"

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

void check_text(const std::string& what, const std::string& s) {
  long at = first_bad_byte(s);
  if (at >= 0) fail(what + ": not valid UTF-8 text at byte " + std::to_string(at));
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

std::string to_string_with(void (*write)(OutBuffer&, const TestRun&), const TestRun& r) {
  std::string s;
  OutBuffer out;
  out_open_string(out, &s, 61);
  write(out, r);
  out_close(out);
  return s;
}

// Every output of one run (with its changes, when it was compared).
void check_outputs(const TestRun& r) {
  const std::string page = to_string_with(html_page, r);
  check_text("page", page);
  check_page(page);
  const std::string xml = to_string_with(junit_document, r);
  check_text("JUnit XML", xml);
  check_junit(xml);
  const std::string md = to_string_with(markdown_summary, r);
  check_text("Markdown summary", md);
  if (md.size() > kMarkdownLimit) fail("Markdown summary over its budget");
  const std::string json = to_string_with(json_summary, r);
  check_text("JSON summary", json);
  check_json(json);
  const std::string quality = to_string_with(code_quality, r);
  check_text("Code Quality report", quality);
  check_json(quality);
  // Each workflow command on a line of its own: no text may end one early.
  const std::string commands = to_string_with(
      [](OutBuffer& out, const TestRun& run) { github_annotations(out, run, "see x"); }, r);
  check_text("workflow commands", commands);
  for (size_t at = 0; at < commands.size(); at = commands.find('\n', at) + 1)
    if (commands.compare(at, 2, "::") != 0 || commands.find('\r', at) < commands.find('\n', at))
      fail("workflow command broken at byte " + std::to_string(at));
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kSplit[] = "\n--baseline--\n";
  const uint8_t* split = static_cast<const uint8_t*>(memmem(data, size, kSplit, sizeof kSplit - 1));
  const size_t first = split ? static_cast<size_t>(split - data) : size;
  const XrdSource report = xrd_bytes(reinterpret_cast<const char*>(data), first);
  {
    TestRun run;
    if (!read_run({report}, run)) return 0;
    check_outputs(run);
  }
  if (!split) return 0;

  const size_t rest = first + sizeof kSplit - 1;
  const XrdSource baseline = xrd_bytes(reinterpret_cast<const char*>(data) + rest, size - rest);
  TestRun compared;
  std::string error;
  if (!read_run({report}, compared)) return 0;
  if (compare_with_baseline(compared, baseline, "b.xrd", error) != 0) return 0;
  check_outputs(compared);
  TestRun merged;
  if (read_run({report, baseline}, merged)) check_outputs(merged);
  return 0;
}
