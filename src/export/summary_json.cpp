// The JSON summary for scripts: totals, drivers, and each test with its counts
// and failed checks, written as it goes so that large reports stay cheap.
#include <cstring>
#include <initializer_list>
#include <utility>

#include "export/escape.h"
#include "export/html_export.h"
#include "export/summary.h"
#include "export/test_paths.h"

namespace {

void key(OutBuffer& out, const char* name) {
  out_put(out, '"');
  out_str(out, name);
  out_lit(out, "\": ");
}

void str(OutBuffer& out, const char* text, size_t n) {
  out_put(out, '"');
  out_escaped(out, text, n, ESCAPE_JSON);
  out_put(out, '"');
}
void str(OutBuffer& out, const std::string& text) {
  str(out, text.data(), text.size());
}
void str_or_null(OutBuffer& out, const char* text) {
  if (*text)
    str(out, text, std::strlen(text));
  else
    out_lit(out, "null");
}

// A cell or line number as a JSON integer: digits only, with blanks around
// them allowed; more digits than fit 64 bits are not a number.
bool number(const char* text, size_t n, unsigned long long& value) {
  while (n > 0 && text[n - 1] == ' ') --n;
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  if (i == n || n - i > 19) return false;
  value = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    unsigned long long next = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  return true;
}

void uint_or_null(OutBuffer& out, bool known, unsigned long long value) {
  if (known)
    out_uint(out, value);
  else
    out_lit(out, "null");
}

// Where Executed, Failed and Passed stand in the check table being read: the
// last header row names them, a table without one has the default columns.
struct Columns {
  int at[3] = {2, 3, 4};

  void read_header(const XrdReport& r, const XrdRow& row) {
    static const char* const heads[3] = {kCheckHeads[2], kCheckHeads[3], kCheckHeads[4]};
    for (int k = 0; k < 3; ++k) {
      at[k] = -1;
      for (uint32_t j = 0; j < row.cell_count; ++j)
        if (std::strcmp(r.cells[row.first_cell + j].text, heads[k]) == 0)
          at[k] = static_cast<int>(j);
    }
  }
  bool get(const XrdReport& r, const XrdRow& row, int k, unsigned long long& value) const {
    if (at[k] < 0 || static_cast<uint32_t>(at[k]) >= row.cell_count) return false;
    const char* text = r.cells[row.first_cell + static_cast<uint32_t>(at[k])].text;
    return number(text, std::strlen(text), value);
  }
};

void add(unsigned long long& sum, unsigned long long value) {
  sum = value > ~0ULL - sum ? ~0ULL : sum + value;
}

void test_counts(OutBuffer& out, const XrdReport& r, const XrdSection& s) {
  unsigned long long checks = 0, failed_checks = 0, sums[3] = {0, 0, 0};
  Columns cols;
  for (uint32_t k = 0; k < s.row_count; ++k) {
    const XrdRow& row = r.rows[s.first_row + k];
    if (row.kind == ROW_HEADER) cols.read_header(r, row);
    if (row.kind != ROW_CHECK) continue;
    ++checks;
    if (xrd_is_failed_row(r, row)) ++failed_checks;
    for (int c = 0; c < 3; ++c) {
      unsigned long long v;
      if (cols.get(r, row, c, v)) add(sums[c], v);
    }
  }
  static const char* const names[5] = {"checks", "checks_failed", "executed", "failed", "passed"};
  const unsigned long long values[5] = {checks, failed_checks, sums[0], sums[1], sums[2]};
  out_put(out, '{');
  for (int k = 0; k < 5; ++k) {
    if (k > 0) out_lit(out, ", ");
    key(out, names[k]);
    out_uint(out, values[k]);
  }
  out_put(out, '}');
}

// A failed check: its expression, its location both as annotating tools read
// it and split into file and line, and its own counts.
void failed_check(OutBuffer& out, const XrdReport& r, const XrdRow& row, const Columns& cols) {
  const XrdCell& cell = r.cells[row.first_cell];
  out_put(out, '{');
  key(out, "expression");
  str(out, cell.text, std::strlen(cell.text));
  out_lit(out, ", ");
  key(out, "location");
  std::string location = xrd_location(cell.target);
  str_or_null(out, location.c_str());
  out_lit(out, ", ");
  key(out, "file");
  unsigned long long line = 0;
  bool has_line = false;
  if (location != cell.target) {
    size_t colon = location.rfind(':');
    str(out, location.data(), colon);
    has_line = number(location.data() + colon + 1, location.size() - colon - 1, line);
  } else {
    str_or_null(out, cell.target);
  }
  out_lit(out, ", ");
  key(out, "line");
  uint_or_null(out, has_line, line);
  static const char* const names[3] = {"executed", "failed", "passed"};
  for (int k = 0; k < 3; ++k) {
    unsigned long long v = 0;
    bool known = cols.get(r, row, k, v);
    out_lit(out, ", ");
    key(out, names[k]);
    uint_or_null(out, known, v);
  }
  out_put(out, '}');
}

void failed_checks(OutBuffer& out, const XrdReport& r, const XrdSection& s) {
  out_put(out, '[');
  Columns cols;
  bool first = true;
  for (uint32_t k = 0; k < s.row_count; ++k) {
    const XrdRow& row = r.rows[s.first_row + k];
    if (row.kind == ROW_HEADER) cols.read_header(r, row);
    if (!xrd_is_failed_row(r, row)) continue;
    if (!first) out_lit(out, ", ");
    first = false;
    failed_check(out, r, row, cols);
  }
  out_put(out, ']');
}

// {"name": count, ...} in the order given.
void counts(OutBuffer& out,
            std::initializer_list<std::pair<const char*, unsigned long long>> fields) {
  const char* before = "{\"";
  for (const auto& field : fields) {
    out_str(out, before);
    out_str(out, field.first);
    out_lit(out, "\": ");
    out_uint(out, field.second);
    before = ", \"";
  }
  out_put(out, '}');
}

void totals(OutBuffer& out, const XrdReport& r) {
  ReportTotals t = report_totals(r);
  StateCounts c = xrd_test_counts(r);
  key(out, "totals");
  counts(out, {{"passed", t.passed}, {"failed", t.failed}, {"not_executed", c.idle},
               {"total", t.total}});
  out_lit(out, ",\n");
}

// Each kind as a list of paths, in the report's order; removed tests by the
// paths they had in the baseline.
void changes_object(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                    const Comparison& c) {
  out_lit(out, "  ");
  key(out, "changes");
  out_lit(out, "{\n    ");
  key(out, "baseline");
  str(out, c.baseline);
  out_lit(out, ",\n    ");
  key(out, "counts");
  out_put(out, '{');
  for (int k = 0; k < CHANGE_KINDS; ++k) {
    if (k > 0) out_lit(out, ", ");
    key(out, kChangeKeys[k]);
    out_uint(out, c.counts[k]);
  }
  out_put(out, '}');
  for (int k = CHANGE_NONE + 1; k < CHANGE_KINDS; ++k) {
    out_lit(out, ",\n    ");
    key(out, kChangeKeys[k]);
    out_put(out, '[');
    bool first = true;
    auto item = [&](const std::string& path) {
      if (!first) out_lit(out, ", ");
      first = false;
      str(out, path);
    };
    if (k == CHANGE_REMOVED) {
      for (const RemovedTest& t : c.removed) item(t.path);
    } else {
      XrdPathCursor path(r, names);
      for (uint32_t i = 0; i < r.sections.size(); ++i)
        if (c.change[i] == k) item(path.at(i));
    }
    out_put(out, ']');
  }
  out_lit(out, "\n  },\n");
}

// Driver subtrees never overlap, so counting each one's tests stays linear.
void drivers_array(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                   const std::vector<int32_t>& driver) {
  out_lit(out, "  \"drivers\": [");
  bool first = true;
  XrdPathCursor path(r, names);
  for (uint32_t i = 0; i < r.sections.size();) {
    if (driver[i] != static_cast<int32_t>(i)) {
      ++i;
      continue;
    }
    uint32_t end = xrd_subtree_end(r, i);
    StateCounts c;
    for (uint32_t k = i; k < end; ++k) c.count(r.sections[k]);
    out_str(out, first ? "\n    {" : ",\n    {");
    first = false;
    key(out, "name");
    str(out, names[i]);
    out_lit(out, ", ");
    key(out, "path");
    str(out, path.at(i));
    out_lit(out, ", ");
    key(out, "status");
    out_put(out, '"');
    out_str(out, summary_status(r.sections[i].state));
    out_lit(out, "\", \"counts\": ");
    counts(out, {{"tests", c.tests}, {"passed", c.passed}, {"failed", c.failed},
                 {"not_executed", c.idle}});
    out_put(out, '}');
    i = end;
  }
  out_str(out, first ? "],\n" : "\n  ],\n");
}

void tests_array(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                 const std::vector<int32_t>& driver, const Comparison* changes) {
  out_lit(out, "  \"tests\": [");
  bool first = true;
  // Drivers come in report order too, each before its tests.
  XrdPathCursor path(r, names), driver_path(r, names);
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (!xrd_is_test_type(s.type)) continue;
    out_str(out, first ? "\n    {" : ",\n    {");
    first = false;
    key(out, "path");
    str(out, path.at(i));
    out_lit(out, ", ");
    key(out, "name");
    str(out, names[i]);
    out_lit(out, ", ");
    key(out, "type");
    str(out, s.type, std::strlen(s.type));
    out_lit(out, ", ");
    key(out, "driver");
    str(out, driver_path.at(static_cast<uint32_t>(driver[i])));
    out_lit(out, ", ");
    key(out, "status");
    out_put(out, '"');
    out_str(out, summary_status(s.state));
    out_lit(out, "\", ");
    if (changes) {
      key(out, "change");
      out_put(out, '"');
      out_str(out, kChangeKeys[changes->change[i]]);
      out_lit(out, "\", ");
    }
    key(out, "counts");
    test_counts(out, r, s);
    out_lit(out, ", ");
    key(out, "failed_checks");
    failed_checks(out, r, s);
    out_put(out, '}');
  }
  out_str(out, first ? "]\n" : "\n  ]\n");
}

}  // namespace

void json_summary(OutBuffer& out, const XrdReport& r, const Comparison* changes) {
  std::vector<std::string> names = xrd_unique_names(r);
  std::vector<int32_t> driver = summary_drivers(r);
  out_lit(out, "{\n  ");
  key(out, "schema_version");
  out_uint(out, kSummarySchema);
  out_lit(out, ",\n  ");
  key(out, "report");
  str(out, r.title);
  out_lit(out, ",\n  ");
  key(out, "test_node");
  str_or_null(out, r.test_node.c_str());
  out_lit(out, ",\n  ");
  totals(out, r);
  if (changes) changes_object(out, r, names, *changes);
  drivers_array(out, r, names, driver);
  tests_array(out, r, names, driver, changes);
  out_lit(out, "}\n");
}

int json_write(const XrdReport& r, const Comparison* changes, const char* path,
               std::string& error) {
  return summary_write(path, false, r, changes, json_summary, error);
}
