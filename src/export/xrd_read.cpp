// Reading an XRD report: the DOCUMENT head repair, the in-place XML parse and
// one iterative walk that flattens sections, rows and cells.
#include "export/xrd_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "export/escape.h"
#include "export/xrd_vocabulary.h"

namespace {

// What every refusal of memory reads as, wherever it happens.
const char* const kOutOfMemory = "out of memory";

bool is_name(const pugi::xml_node& n, const char* name) {
  return std::strcmp(n.name(), name) == 0;
}

XrdStyle title_style(const char* style) {
  size_t n = std::strlen(style);
  if (n >= 7 && std::strcmp(style + n - 7, " Failed") == 0) return XRD_FAILED;
  if (n >= 7 && std::strcmp(style + n - 7, " Passed") == 0) return XRD_PASSED;
  return XRD_PLAIN;
}

XrdStyle cell_style(const char* style) {
  if (std::strcmp(style, kStyleNames[STYLE_HEADING]) == 0) return XRD_HEADING;
  if (std::strcmp(style, kStyleNames[STYLE_FAILED]) == 0) return XRD_FAILED;
  if (std::strcmp(style, kStyleNames[STYLE_PASSED]) == 0) return XRD_PASSED;
  return XRD_PLAIN;
}

XrdState node_state(const char* state) {
  if (std::strcmp(state, kStateOk) == 0) return XRD_OK;
  if (std::strcmp(state, kStateKo) == 0) return XRD_KO;
  return XRD_NE;
}

// One CELL or CELL_TEXT. A CELL holds TEXT, or a LINK around TEXT, and an
// IMAGE in front of the link for a print.
XrdCell read_cell(const pugi::xml_node& cell, bool& image) {
  XrdCell c{"", "", cell_style(cell.attribute("STYLE").value())};
  if (is_name(cell, "CELL_TEXT")) {
    c.text = cell.child_value();
    return c;
  }
  for (pugi::xml_node k = cell.first_child(); k; k = k.next_sibling()) {
    if (k.type() != pugi::node_element) continue;
    if (is_name(k, "IMAGE")) {
      image = true;
    } else if (is_name(k, "LINK")) {
      c.target = k.attribute("TARGET").value();
      pugi::xml_node t = k.child("TEXT");
      c.text = t ? t.child_value() : k.child_value();
    } else if (is_name(k, "TEXT")) {
      c.text = k.child_value();
    }
  }
  return c;
}

struct Walker {
  XrdReport& r;
  bool rows_in_order = true;

  void read_table(const pugi::xml_node& table, int32_t sec) {
    for (pugi::xml_node row = table.first_child(); row; row = row.next_sibling()) {
      if (row.type() != pugi::node_element || !is_name(row, "ROW")) continue;
      if (sec < 0) {
        read_info_row(row);
        continue;
      }
      XrdRow out{static_cast<uint32_t>(r.cells.size()), 0, ROW_CHECK, XRD_PLAIN};
      bool image = false, all_heading = true;
      for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element || !(is_name(c, "CELL") || is_name(c, "CELL_TEXT")))
          continue;
        r.cells.push_back(read_cell(c, image));
        if (r.cells.back().style != XRD_HEADING) all_heading = false;
      }
      out.cell_count = static_cast<uint32_t>(r.cells.size()) - out.first_cell;
      if (out.cell_count == 0) continue;
      out.style = r.cells[out.first_cell].style;
      out.kind = all_heading ? ROW_HEADER : image ? ROW_PRINT : ROW_CHECK;
      XrdSection& s = r.sections[static_cast<size_t>(sec)];
      if (s.row_count == 0) {
        s.first_row = static_cast<uint32_t>(r.rows.size());
      } else if (s.first_row + s.row_count != r.rows.size()) {
        rows_in_order = false;
      }
      ++s.row_count;
      r.rows.push_back(out);
      row_section.push_back(sec);
    }
  }

  void read_info_row(const pugi::xml_node& row) {
    pugi::xml_node cells[2];
    int n = 0;
    for (pugi::xml_node c = row.first_child(); c && n < 2; c = c.next_sibling())
      if (c.type() == pugi::node_element && is_name(c, "CELL_TEXT")) cells[n++] = c;
    if (n == 1 ||
        (n > 0 && std::strcmp(row.attribute("STYLE").value(), kStyleNames[STYLE_HEADING]) == 0)) {
      r.banner.push_back(cells[0].child_value());
    } else if (n == 2) {
      r.info.push_back({cells[0].child_value(), cells[1].child_value(),
                        cell_style(cells[0].attribute("STYLE").value())});
    }
  }

  void read_title(const pugi::xml_node& title, int32_t sec) {
    const char* text = title.child("TEXT").child_value();
    if (sec < 0) {
      if (!*r.info_title) r.info_title = text;
      return;
    }
    XrdSection& s = r.sections[static_cast<size_t>(sec)];
    if (*s.title) return;
    s.title = text;
    s.title_style = title_style(title.attribute("STYLE").value());
    if (!*s.anchor) s.anchor = title.attribute("TAG").value();
  }

  int32_t add_section(const pugi::xml_node& n, int32_t parent) {
    XrdSection s{};
    s.parent = parent;
    s.depth = parent < 0 ? 0 : r.sections[static_cast<size_t>(parent)].depth + 1;
    s.name = n.attribute("name").value();
    s.type = n.attribute("type").value();
    s.title = "";
    s.anchor = "";
    s.state = node_state(n.attribute("state").value());
    s.title_style = XRD_PLAIN;
    r.sections.push_back(s);
    return static_cast<int32_t>(r.sections.size() - 1);
  }

  // Pre-order walk with an explicit stack: each frame is the next child to
  // visit and the section it belongs to.
  void walk(const pugi::xml_node& document) {
    struct Frame {
      pugi::xml_node next;
      int32_t section;
    };
    std::vector<Frame> stack{{document.first_child(), -1}};
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (!f.next) {
        stack.pop_back();
        continue;
      }
      pugi::xml_node n = f.next;
      f.next = n.next_sibling();
      int32_t sec = f.section;
      if (n.type() != pugi::node_element) continue;
      if (is_name(n, "DAZU:NODE")) {
        int32_t s = add_section(n, sec);
        stack.push_back({n.first_child(), s});
      } else if (is_name(n, "TITLE")) {
        read_title(n, sec);
      } else if (is_name(n, "TABLE")) {
        read_table(n, sec);
      } else {
        if (is_name(n, "SECTION")) {
          const char* tag = n.attribute("TAG").value();
          if (sec >= 0) {
            XrdSection& s = r.sections[static_cast<size_t>(sec)];
            if (!*s.anchor) s.anchor = tag;
          } else if (!*r.info_anchor) {
            r.info_anchor = tag;
          }
        }
        stack.push_back({n.first_child(), sec});
      }
    }
  }

  // A hand-edited report may put a table after a nested entry; rows are
  // regrouped per section (stable) so each section's rows stay contiguous.
  void regroup_rows() {
    std::vector<uint32_t> start(r.sections.size() + 1, 0);
    for (int32_t s : row_section) ++start[static_cast<size_t>(s) + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    std::vector<XrdRow> sorted(r.rows.size());
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t i = 0; i < r.rows.size(); ++i)
      sorted[fill[static_cast<size_t>(row_section[i])]++] = r.rows[i];
    r.rows.swap(sorted);
    for (size_t s = 0; s < r.sections.size(); ++s) r.sections[s].first_row = start[s];
  }

  std::vector<int32_t> row_section;
};

void fold(const char* text) {
  // Texts point into the report's own buffer (or are the parser's empty
  // string, which holds no byte to fold).
  if (*text) utf8_fold_bytes(const_cast<char*>(text), std::strlen(text));
}
void fold(std::string& text) {
  text.resize(utf8_fold_bytes(text.data(), text.size()));
}

// Every text once, after the walk, so that no text is folded twice.
void fold_texts(XrdReport& r) {
  fold(r.title);
  fold(r.test_node);
  fold(r.info_title);
  for (const char* b : r.banner) fold(b);
  for (const XrdInfoRow& row : r.info) {
    fold(row.label);
    fold(row.value);
  }
  for (const XrdSection& s : r.sections) {
    fold(s.name);
    fold(s.title);
  }
  for (const XrdCell& c : r.cells) {
    fold(c.text);
    fold(c.target);
  }
}

void report_clear(XrdReport& r) {
  r.doc.reset();
  r.title.clear();
  r.test_node.clear();
  r.info_anchor = r.info_title = "";
  r.banner.clear();
  r.info.clear();
  r.sections.clear();
  r.rows.clear();
  r.cells.clear();
  r.parts.clear();
  r.owned_texts.clear();
}

int parse_report(ZeroedBlock buffer, size_t size, XrdReport& report, std::string& error,
                 pugi::xml_parse_status& status) {
  report.buffer = std::move(buffer);
  char* buf = static_cast<char*>(report.buffer.data());
  buf[size] = '\0';
  std::string tag;
  bool head_taken = xrd_take_head(buf, size, report.title, tag);
  pugi::xml_parse_result res =
      report.doc.load_buffer_inplace(buf, size, pugi::parse_default | pugi::parse_embed_pcdata);
  status = res.status;
  if (res.status == pugi::status_out_of_memory) {
    error = kOutOfMemory;
    return -1;
  }
  if (!res) {
    error = std::string("not an XML document (") + res.description() + " at byte " +
            std::to_string(res.offset) + ")";
    return -1;
  }
  pugi::xml_node document = report.doc.child("DAZU").child("APIDOC").child("DOCUMENT");
  if (!document) {
    error = "not an XRD report (no DAZU, APIDOC and DOCUMENT frame)";
    return -1;
  }
  if (!head_taken) {
    report.title = document.attribute("TITLE").value();
    tag = document.attribute("TAG").value();
  }
  // TAG is the test-node name, the letter x and a number; a lone blank
  // stands for no name.
  size_t x = tag.find_last_of('x');
  if (x != std::string::npos && x + 1 < tag.size() &&
      tag.find_first_not_of("0123456789", x + 1) == std::string::npos)
    tag.resize(x);
  report.test_node = tag;
  if (report.test_node == " ") report.test_node.clear();

  // Room for what a report of this size usually holds, so that the arrays are
  // not copied while they grow; untouched room costs no memory.
  report.sections.reserve(size / 1024);
  report.rows.reserve(size / 256);
  report.cells.reserve(size / 64);
  Walker w{report, true, {}};
  w.row_section.reserve(size / 256);
  w.walk(document);
  if (!w.rows_in_order) w.regroup_rows();
  fold_texts(report);
  return 0;
}

// Reads a file whole into a fresh buffer (one byte spare for the end mark).
int read_file(const char* path, ZeroedBlock& buf, size_t& size, std::string& error) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::string("cannot open: ") + std::strerror(errno);
    return -1;
  }
  struct stat st;
  int failure = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (failure != 0) {
    error = std::string("cannot read: ") + std::strerror(failure);
    ::close(fd);
    return -1;
  }
  // Regular files are read at their size in one go; pipes grow the buffer.
  size_t cap = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536;
  size = 0;
  if (!buf.try_allocate(cap + 1)) {
    error = kOutOfMemory;
    ::close(fd);
    return -1;
  }
  for (;;) {
    // Refused memory while growing ends the run through the new-handler.
    if (size + 1 >= buf.size()) buf.grow(buf.size() * 2);
    ssize_t n = ::read(fd, static_cast<char*>(buf.data()) + size, buf.size() - 1 - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      ::close(fd);
      return -1;
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  ::close(fd);
  return 0;
}

// Raw quotes in attribute values: the report's bytes repaired and parsed
// afresh. error holds the first parse's reason, kept when nothing could be
// repaired.
int parse_repaired(const char* bytes, size_t size, XrdReport& report, std::string& error) {
  std::string repaired;
  report_clear(report);
  if (!xrd_repair_quotes(bytes, size, repaired)) return -1;
  ZeroedBlock fixed;
  if (!fixed.try_allocate(repaired.size() + 1)) {
    error = kOutOfMemory;
    return -1;
  }
  std::memcpy(fixed.data(), repaired.data(), repaired.size());
  pugi::xml_parse_status status;
  return parse_report(std::move(fixed), repaired.size(), report, error, status);
}

}  // namespace

int xrd_parse(ZeroedBlock buffer, size_t size, XrdReport& report, std::string& error) {
  pugi::xml_parse_status status;
  return parse_report(std::move(buffer), size, report, error, status);
}

int xrd_read(const char* path, XrdReport& report, std::string& error) {
  ZeroedBlock buf;
  size_t size = 0;
  if (read_file(path, buf, size, error) != 0) return -1;
  pugi::xml_parse_status status;
  if (parse_report(std::move(buf), size, report, error, status) == 0) return 0;
  if (status != pugi::status_bad_attribute) return -1;
  // The parse consumed the bytes in place, so the file is read again for the
  // repair (only reports that need it pay).
  std::string first_error = error;
  if (read_file(path, buf, size, error) != 0) return -1;
  error = first_error;
  return parse_repaired(static_cast<const char*>(buf.data()), size, report, error);
}

int xrd_read_bytes(const char* bytes, size_t size, XrdReport& report, std::string& error) {
  ZeroedBlock buf;
  if (!buf.try_allocate(size + 1)) {
    error = kOutOfMemory;
    return -1;
  }
  if (size > 0) std::memcpy(buf.data(), bytes, size);
  pugi::xml_parse_status status;
  if (parse_report(std::move(buf), size, report, error, status) == 0) return 0;
  if (status != pugi::status_bad_attribute) return -1;
  return parse_repaired(bytes, size, report, error);
}

uint32_t xrd_subtree_end(const XrdReport& report, uint32_t i) {
  uint32_t depth = report.sections[i].depth;
  uint32_t j = i + 1;
  while (j < report.sections.size() && report.sections[j].depth > depth) ++j;
  return j;
}
