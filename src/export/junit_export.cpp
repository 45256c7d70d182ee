// Writes JUnit XML: suites per driver, test cases with failure bodies that list
// each failed check with its source link and counts.
#include "export/junit_export.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/hash.h"
#include "export/escape.h"
#include "export/test_paths.h"
#include "export/xrd_vocabulary.h"

namespace {

void xml(OutBuffer& out, std::string_view text) {
  out_escaped(out, text.data(), text.size(), ESCAPE_XML);
}

void counts_attrs(OutBuffer& out, const StateCounts& c) {
  out_str(out, " tests=\"");
  out_uint(out, c.tests);
  out_str(out, "\" failures=\"");
  out_uint(out, c.failed);
  out_str(out, "\" errors=\"0\"");
}

// The traces hold no durations; readers that need a time then show 0, not NaN.
void time_attr(OutBuffer& out) {
  out_str(out, " time=\"0\"");
}

// The file a LINK TARGET names: "CalcTest.java line 35" stands in
// "CalcTest.java:35", whose part before the colon xrd_location added is the file.
std::string_view source_file(const char* target) {
  std::string_view t(target);
  if (xrd_location(target) == t) return t;
  return t.substr(0, t.rfind(" line "));
}

const char* row_target(const XrdReport& r, const XrdRow& row) {
  return row.kind == ROW_CHECK && row.cell_count > 0 ? r.cells[row.first_cell].target : "";
}

// The source of a test case: its first failed check's, else its first
// linked check's, so that annotations land where the failure was seen.
std::string_view case_file(const XrdReport& r, const XrdSection& s) {
  const char* first = "";
  for (uint32_t k = 0; k < s.row_count; ++k) {
    const XrdRow& row = r.rows[s.first_row + k];
    const char* target = row_target(r, row);
    if (!*target) continue;
    if (xrd_is_failed_row(r, row)) return source_file(target);
    if (!*first) first = target;
  }
  return source_file(first);
}

// The report names no driver source: the first linked check of the driver's
// subtree stands for it. Empty when nothing in the subtree links anywhere.
std::string_view driver_file(const XrdReport& r, uint32_t root, uint32_t end) {
  for (uint32_t i = root; i < end; ++i) {
    const XrdSection& s = r.sections[i];
    for (uint32_t k = 0; k < s.row_count; ++k) {
      const char* target = row_target(r, r.rows[s.first_row + k]);
      if (*target) return source_file(target);
    }
  }
  return {};
}

void file_attr(OutBuffer& out, std::string_view file) {
  if (file.empty()) return;
  out_str(out, " file=\"");
  xml(out, file);
  out_str(out, "\"");
}

// The failure body: one line per failed check, its counts named after the
// columns of the table it stands in, then its location in the File.java:35
// form that annotating tools look for.
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
                          : j < 5                    ? kCheckHeads[j]
                                                     : "";
      out_str(out, j == 2 ? " " : ", ");
      xml(out, label);
      out_str(out, " ");
      xml(out, c[j].text);
    }
    if (*c[0].target) {
      std::string at = xrd_location(c[0].target);
      if (at != c[0].target) {
        out_str(out, row.cell_count > 2 ? ", at " : " at ");
        xml(out, at);
      }
    }
    out_str(out, "&#10;");
  }
  out_str(out, "</failure>\n");
}

void write_case(OutBuffer& out, const XrdReport& r, const XrdSection& s, const std::string& name,
                const std::string& cls) {
  size_t head, tail, n = cls.size();
  xrd_cut(cls.data(), n, head, tail);
  out_str(out, "    <testcase classname=\"");
  out_escaped(out, cls.data(), head, ESCAPE_XML);
  if (head < n) {
    out_str(out, "\xE2\x80\xA6");
    out_escaped(out, cls.data() + tail, n - tail, ESCAPE_XML);
  }
  out_str(out, "\" name=\"");
  xml(out, name);
  out_str(out, "\"");
  time_attr(out);
  file_attr(out, case_file(r, s));
  if (s.state == XRD_OK) {
    out_str(out, "/>\n");
    return;
  }
  out_str(out, ">\n      ");
  if (s.state == XRD_KO)
    write_failure(out, r, s);
  else
    out_str(out, "<skipped message=\"Not Executed\"/>\n");
  out_str(out, "    </testcase>\n");
}

void write_suite(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                 uint32_t root, uint32_t end) {
  StateCounts c;
  for (uint32_t i = root + 1; i < end; ++i) c.count(r.sections[i]);
  out_str(out, "  <testsuite name=\"");
  xml(out, names[root]);
  out_str(out, "\"");
  counts_attrs(out, c);
  out_str(out, " skipped=\"");
  out_uint(out, c.idle);  // the tests that were not executed
  out_str(out, "\"");
  time_attr(out);
  file_attr(out, driver_file(r, root, end));
  out_str(out, ">\n");
  // The classname starts with the driver, so that a case directly under it
  // reads like the nested ones; path holds it and the suite and class names
  // down to the current section, and frames remember where each level ends.
  struct Frame {
    uint32_t section;
    size_t length;
  };
  std::string path = names[root];
  std::vector<Frame> stack{{root, path.size()}};
  for (uint32_t i = root + 1; i < end; ++i) {
    const XrdSection& s = r.sections[i];
    while (stack.size() > 1 && stack.back().section != static_cast<uint32_t>(s.parent))
      stack.pop_back();
    path.resize(stack.back().length);
    if (xrd_is_test_type(s.type)) write_case(out, r, s, names[i], path);
    if (xrd_is_container_type(s.type)) {
      path += '.';
      path += names[i];
    }
    stack.push_back({i, path.size()});
  }
  out_str(out, "  </testsuite>\n");
}

}  // namespace

// Readers that validate drop a file whose testsuites carries skipped, so the
// skipped count stays on each testsuite only.
void junit_document(OutBuffer& out, const XrdReport& r) {
  StateCounts all;
  for (const XrdSection& s : r.sections)
    if (s.parent >= 0) all.count(s);
  std::vector<std::string> names = xrd_unique_names(r);
  out_str(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"");
  xml(out, r.title);
  out_str(out, "\"");
  counts_attrs(out, all);
  time_attr(out);
  out_str(out, ">\n");
  // Merged reports: the drivers below each report's section are the suites,
  // so classnames still start with the driver; a driver that two reports ran
  // is made distinct as equal siblings are.
  std::unordered_map<std::string, uint32_t, TextHash> drivers_seen;
  for (uint32_t i = 0; i < r.sections.size();) {
    uint32_t end = xrd_subtree_end(r, i);
    if (std::strcmp(r.sections[i].type, kXrdReportType) != 0) {
      write_suite(out, r, names, i, end);
    } else {
      for (uint32_t d = i + 1; d < end;) {
        uint32_t d_end = xrd_subtree_end(r, d);
        if (uint32_t seen = ++drivers_seen[names[d]]; seen > 1)
          names[d] += " (" + std::to_string(seen) + ")";
        write_suite(out, r, names, d, d_end);
        d = d_end;
      }
    }
    i = end;
  }
  out_str(out, "</testsuites>\n");
}

int junit_write(const XrdReport& r, const char* path, std::string& error) {
  return write_output(path, false, [&](OutBuffer& out) { junit_document(out, r); }, error);
}
