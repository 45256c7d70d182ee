// Writes JUnit XML: suites per driver, test cases with failure bodies that list
// each failed check with its source link and counts.
#include "export/junit_export.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "export/escape.h"
#include "export/test_paths.h"
#include "export/xrd_vocabulary.h"

namespace {

bool is_test(const XrdSection& s) {
  return xrd_is_test_type(s.type);
}
bool is_container(const XrdSection& s) {
  return xrd_is_container_type(s.type);
}

struct Counts {
  unsigned long long tests = 0, failures = 0, skipped = 0;
};

void count(Counts& c, const XrdSection& s) {
  ++c.tests;
  if (s.state == XRD_KO) ++c.failures;
  if (s.state == XRD_NE) ++c.skipped;
}

void xml(OutBuffer& out, const char* text) {
  out_escaped(out, text, ESCAPE_XML);
}

void counts_attrs(OutBuffer& out, const Counts& c) {
  out_str(out, " tests=\"");
  out_uint(out, c.tests);
  out_str(out, "\" failures=\"");
  out_uint(out, c.failures);
  out_str(out, "\" errors=\"0\" skipped=\"");
  out_uint(out, c.skipped);
  out_str(out, "\"");
}

// The failure body: one line per failed check, its counts named after the
// columns of the table it stands in.
void write_failure(OutBuffer& out, const XrdReport& r, const XrdSection& s) {
  unsigned long long failed = 0;
  for (uint32_t k = 0; k < s.row_count; ++k)
    if (xrd_is_failed_row(r, r.rows[s.first_row + k])) ++failed;
  out_str(out, "<failure type=\"check\" message=\"");
  if (failed == 0) {
    out_str(out, "failed with no failed check of its own");
  } else {
    out_uint(out, failed);
    out_str(out, failed == 1 ? " failed check" : " failed checks");
  }
  out_str(out, "\">");
  const XrdCell* header = nullptr;
  uint32_t header_cells = 0;
  for (uint32_t k = 0; k < s.row_count; ++k) {
    const XrdRow& row = r.rows[s.first_row + k];
    const XrdCell* c = &r.cells[row.first_cell];
    if (row.kind == ROW_HEADER) {
      header = c;
      header_cells = row.cell_count;
    }
    if (!xrd_is_failed_row(r, row)) continue;
    xml(out, c[0].text);
    if (*c[0].target) {
      out_str(out, " (");
      xml(out, c[0].target);
      out_str(out, ")");
    }
    out_str(out, ":");
    for (uint32_t j = 2; j < row.cell_count; ++j) {
      const char* label = header && j < header_cells ? header[j].text
                          : j < 5                    ? kXrdCheckHeads[j]
                                                     : "";
      out_str(out, j == 2 ? " " : ", ");
      xml(out, label);
      out_str(out, " ");
      xml(out, c[j].text);
    }
    out_str(out, "&#10;");
  }
  out_str(out, "</failure>\n");
}

void write_case(OutBuffer& out, const XrdReport& r, const XrdSection& s, const char* cls,
                size_t n) {
  size_t head, tail;
  junit_cut(cls, n, head, tail);
  out_str(out, "    <testcase classname=\"");
  out_escaped(out, cls, head, ESCAPE_XML);
  if (head < n) {
    out_str(out, "\xE2\x80\xA6");
    out_escaped(out, cls + tail, n - tail, ESCAPE_XML);
  }
  out_str(out, "\" name=\"");
  xml(out, s.name);
  if (s.state == XRD_OK) {
    out_str(out, "\"/>\n");
    return;
  }
  out_str(out, "\">\n      ");
  if (s.state == XRD_KO)
    write_failure(out, r, s);
  else
    out_str(out, "<skipped message=\"Not Executed\"/>\n");
  out_str(out, "    </testcase>\n");
}

void write_suite(OutBuffer& out, const XrdReport& r, uint32_t root, uint32_t end) {
  Counts c;
  for (uint32_t i = root + 1; i < end; ++i)
    if (is_test(r.sections[i])) count(c, r.sections[i]);
  out_str(out, "  <testsuite name=\"");
  xml(out, r.sections[root].name);
  out_str(out, "\"");
  counts_attrs(out, c);
  out_str(out, ">\n");
  // path holds the suite and class names from the root down to the current
  // section; frames remember where each level's names end.
  struct Frame {
    uint32_t section;
    size_t length;
  };
  std::vector<Frame> stack{{root, 0}};
  std::string path;
  for (uint32_t i = root + 1; i < end; ++i) {
    const XrdSection& s = r.sections[i];
    while (stack.size() > 1 && stack.back().section != static_cast<uint32_t>(s.parent))
      stack.pop_back();
    path.resize(stack.back().length);
    if (is_test(s)) {
      const char* cls = path.empty() ? r.sections[root].name : path.c_str();
      write_case(out, r, s, cls, path.empty() ? std::strlen(cls) : path.size());
    }
    if (is_container(s)) {
      if (!path.empty()) path += '.';
      path += s.name;
    }
    stack.push_back({i, path.size()});
  }
  out_str(out, "  </testsuite>\n");
}

}  // namespace

void junit_cut(const char* text, size_t n, size_t& head, size_t& tail) {
  head = tail = n;
  if (n <= JUNIT_CLASSNAME_MAX) return;
  // Cut on UTF-8 character starts so both halves stay well-formed.
  head = JUNIT_CLASSNAME_MAX / 2 - 2;
  tail = n - head;
  while (head > 0 && (static_cast<unsigned char>(text[head]) & 0xC0) == 0x80) --head;
  while (tail < n && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80) ++tail;
}

std::string junit_shorten(const std::string& classname) {
  size_t head, tail;
  junit_cut(classname.data(), classname.size(), head, tail);
  if (head == classname.size()) return classname;
  return classname.substr(0, head) + "\xE2\x80\xA6" + classname.substr(tail);
}

void junit_document(OutBuffer& out, const XrdReport& r) {
  Counts all;
  for (const XrdSection& s : r.sections)
    if (s.parent >= 0 && is_test(s)) count(all, s);
  out_str(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"");
  out_escaped(out, r.title.data(), r.title.size(), ESCAPE_XML);
  out_str(out, "\"");
  counts_attrs(out, all);
  out_str(out, ">\n");
  for (uint32_t i = 0; i < r.sections.size();) {
    uint32_t end = xrd_subtree_end(r, i);
    write_suite(out, r, i, end);
    i = end;
  }
  out_str(out, "</testsuites>\n");
}

int junit_write(const XrdReport& r, const char* path, std::string& error) {
  return write_output(path, r, junit_document, error);
}
