// Fuzz target: tallyrep-export over XRD bytes, read from memory (quote repair
// included) and written as an HTML page and JUnit XML to memory, both checked.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "export/escape.h"
#include "export/html_export.h"
#include "export/junit_export.h"
#include "export/xrd_read.h"

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

// The data block may hold no '<' at all, so that no text can end the script
// element or open a comment in it; the page has just its two script ends.
void check_page(const std::string& page) {
  static const char kTail[] = "</script>\n</body>\n</html>\n";
  if (page.size() < sizeof kTail - 1 ||
      page.compare(page.size() - (sizeof kTail - 1), std::string::npos, kTail) != 0)
    fail("page does not end with its script");
  static const char kData[] = "<script type=\"application/json\" id=\"xrd-data\">";
  size_t from = page.find(kData);
  if (from == std::string::npos) fail("page has no data block");
  from += sizeof kData - 1;
  size_t to = page.find('<', from);
  if (to == std::string::npos || page.compare(to, 10, "</script>\n") != 0)
    fail("'<' inside the data block at byte " + std::to_string(to));
  size_t ends = 0;
  for (size_t i = 0; i + 8 <= page.size(); ++i)
    if (page[i] == '<' && page[i + 1] == '/' && strncasecmp(page.c_str() + i + 2, "script", 6) == 0)
      ++ends;
  if (ends != 2) fail("page has " + std::to_string(ends) + " script ends");
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XrdReport report;
  std::string error;
  if (xrd_read_bytes(reinterpret_cast<const char*>(data), size, report, error) != 0) {
    // The program prints the reason after the file name, on one line.
    if (error.empty() || error.find('\n') != std::string::npos)
      fail("reason for a rejected report is not one line: '" + error + "'");
    return 0;
  }
  std::string page, xml;
  OutBuffer html_out, junit_out;
  // A small buffer, so that pieces of output cross its end.
  out_open_string(html_out, &page, 61);
  html_page(html_out, report);
  out_close(html_out);
  out_open_string(junit_out, &xml, 61);
  junit_document(junit_out, report);
  out_close(junit_out);

  check_text("page", page);
  check_page(page);
  check_text("JUnit XML", xml);
  check_junit(xml);
  return 0;
}
