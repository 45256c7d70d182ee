// The JSON summary for scripts: totals, drivers, and each test with its counts
// and failed checks, written as it goes so that large reports stay cheap.
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "export/escape.h"
#include "export/html_export.h"
#include "export/summary.h"
#include "export/test_paths.h"

namespace {

void quoted(OutBuffer& out, std::string_view text) {
  out_put(out, '"');
  out_escaped(out, text.data(), text.size(), ESCAPE_JSON);
  out_put(out, '"');
}
void str_or_null(OutBuffer& out, const char* text) {
  if (*text)
    quoted(out, text);
  else
    out_lit(out, "null");
}

// An object or array on its way out, which puts the separator before every
// item but the first. An inline one joins its items with ", "; a block one
// (depth > 0) puts each on a line of its own, two spaces per level in, and
// its closing mark on a line of its own unless it stayed empty.
class JsonList {
 public:
  JsonList(OutBuffer& out, char open, int depth = 0)
      : out_(out), close_(open == '{' ? '}' : ']'), depth_(depth) {
    out_put(out_, open);
  }

  void next() {
    if (!first_) out_put(out_, ',');
    if (depth_ > 0)
      new_line(depth_);
    else if (!first_)
      out_put(out_, ' ');
    first_ = false;
  }
  void key(const char* name) {
    next();
    out_put(out_, '"');
    out_str(out_, name);
    out_lit(out_, "\": ");
  }
  void str(const char* name, std::string_view text) {
    key(name);
    quoted(out_, text);
  }
  void integer(const char* name, unsigned long long value) {
    key(name);
    out_uint(out_, value);
  }
  void item(std::string_view text) {
    next();
    quoted(out_, text);
  }
  void close() {
    if (depth_ > 0 && !first_) new_line(depth_ - 1);
    out_put(out_, close_);
  }

 private:
  void new_line(int depth) {
    out_put(out_, '\n');
    for (int k = 0; k < depth; ++k) out_lit(out_, "  ");
  }

  OutBuffer& out_;
  char close_;
  int depth_;
  bool first_ = true;
};

const char* status_key(XrdState state) {
  return state == XRD_OK ? "passed" : state == XRD_KO ? "failed" : "not_executed";
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

// {"name": count, ...} in the order given.
void counts(OutBuffer& out,
            std::initializer_list<std::pair<const char*, unsigned long long>> fields) {
  JsonList o(out, '{');
  for (const auto& [name, value] : fields) o.integer(name, value);
  o.close();
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
  counts(out, {{"checks", checks},
               {"checks_failed", failed_checks},
               {"executed", sums[0]},
               {"failed", sums[1]},
               {"passed", sums[2]}});
}

// A failed check: its expression, its location both as annotating tools read
// it and split into file and line, and its own counts.
void failed_check(OutBuffer& out, const XrdReport& r, const XrdRow& row, const Columns& cols) {
  const XrdCell& cell = r.cells[row.first_cell];
  JsonList o(out, '{');
  o.str("expression", cell.text);
  o.key("location");
  std::string location = xrd_location(cell.target);
  str_or_null(out, location.c_str());
  o.key("file");
  unsigned long long line = 0;
  bool has_line = false;
  if (location != cell.target) {
    size_t colon = location.rfind(':');
    quoted(out, std::string_view(location).substr(0, colon));
    has_line = number(location.data() + colon + 1, location.size() - colon - 1, line);
  } else {
    str_or_null(out, cell.target);
  }
  o.key("line");
  uint_or_null(out, has_line, line);
  static const char* const names[3] = {"executed", "failed", "passed"};
  for (int k = 0; k < 3; ++k) {
    unsigned long long v = 0;
    bool known = cols.get(r, row, k, v);
    o.key(names[k]);
    uint_or_null(out, known, v);
  }
  o.close();
}

void failed_checks(OutBuffer& out, const XrdReport& r, const XrdSection& s) {
  JsonList list(out, '[');
  Columns cols;
  for (uint32_t k = 0; k < s.row_count; ++k) {
    const XrdRow& row = r.rows[s.first_row + k];
    if (row.kind == ROW_HEADER) cols.read_header(r, row);
    if (!xrd_is_failed_row(r, row)) continue;
    list.next();
    failed_check(out, r, row, cols);
  }
  list.close();
}

void totals(OutBuffer& out, const XrdReport& r) {
  ReportTotals t = report_totals(r);
  StateCounts c = xrd_test_counts(r);
  counts(out, {{"passed", t.passed}, {"failed", t.failed}, {"not_executed", c.idle},
               {"total", t.total}});
}

// Each kind as a list of paths, in the report's order; removed tests by the
// paths they had in the baseline.
void changes_object(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                    const Comparison& c) {
  JsonList o(out, '{', 2);
  o.str("baseline", c.baseline);
  o.key("counts");
  JsonList kinds(out, '{');
  for (int k = 0; k < CHANGE_KINDS; ++k) kinds.integer(kChangeKeys[k], c.counts[k]);
  kinds.close();
  for (int k = CHANGE_NONE + 1; k < CHANGE_KINDS; ++k) {
    o.key(kChangeKeys[k]);
    JsonList paths(out, '[');
    if (k == CHANGE_REMOVED) {
      for (const RemovedTest& t : c.removed) paths.item(t.path);
    } else {
      XrdPathCursor path(r, names);
      for (uint32_t i = 0; i < r.sections.size(); ++i)
        if (c.change[i] == k) paths.item(path.at(i));
    }
    paths.close();
  }
  o.close();
}

// Driver subtrees never overlap, so counting each one's tests stays linear.
void drivers_array(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                   const std::vector<int32_t>& driver) {
  JsonList list(out, '[', 2);
  XrdPathCursor path(r, names);
  for (uint32_t i = 0; i < r.sections.size();) {
    if (driver[i] != static_cast<int32_t>(i)) {
      ++i;
      continue;
    }
    uint32_t end = xrd_subtree_end(r, i);
    StateCounts c;
    for (uint32_t k = i; k < end; ++k) c.count(r.sections[k]);
    list.next();
    JsonList o(out, '{');
    o.str("name", names[i]);
    o.str("path", path.at(i));
    o.str("status", status_key(r.sections[i].state));
    o.key("counts");
    counts(out, {{"tests", c.tests}, {"passed", c.passed}, {"failed", c.failed},
                 {"not_executed", c.idle}});
    o.close();
    i = end;
  }
  list.close();
}

void tests_array(OutBuffer& out, const XrdReport& r, const std::vector<std::string>& names,
                 const std::vector<int32_t>& driver, const Comparison* changes) {
  JsonList list(out, '[', 2);
  // Drivers come in report order too, each before its tests.
  XrdPathCursor path(r, names), driver_path(r, names);
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (!xrd_is_test_type(s.type)) continue;
    list.next();
    JsonList o(out, '{');
    o.str("path", path.at(i));
    o.str("name", names[i]);
    o.str("type", s.type);
    o.str("driver", driver_path.at(static_cast<uint32_t>(driver[i])));
    o.str("status", status_key(s.state));
    if (changes) o.str("change", kChangeKeys[changes->change[i]]);
    o.key("counts");
    test_counts(out, r, s);
    o.key("failed_checks");
    failed_checks(out, r, s);
    o.close();
  }
  list.close();
}

}  // namespace

void json_summary(OutBuffer& out, const XrdReport& r, const Comparison* changes) {
  std::vector<std::string> names = xrd_unique_names(r);
  std::vector<int32_t> driver = summary_drivers(r);
  JsonList o(out, '{', 1);
  o.integer("schema_version", kSummarySchema);
  o.str("report", r.title);
  o.key("test_node");
  str_or_null(out, r.test_node.c_str());
  o.key("totals");
  totals(out, r);
  if (changes) {
    o.key("changes");
    changes_object(out, r, names, *changes);
  }
  o.key("drivers");
  drivers_array(out, r, names, driver);
  o.key("tests");
  tests_array(out, r, names, driver, changes);
  o.close();
  out_put(out, '\n');
}

int json_write(const XrdReport& r, const Comparison* changes, const char* path,
               std::string& error) {
  return summary_write(path, false, r, changes, json_summary, error);
}
