// Building the test run from a report's elements: the walk through the
// report's browse tree, titles, check tables and cells, as its earlier readers
// took them.
#include "export/read/xrd_events.h"

#include <cstring>

#include "export/model/utf8.h"
#include "export/read/xrd_chars.h"
#include "report/vocabulary.h"

namespace {

CellStyle style_of(const char* style) {
  for (int k = 0; k < 4; ++k)
    if (std::strcmp(style, kStyleNames[k]) == 0) return static_cast<CellStyle>(k);
  return CELL_PLAIN;
}

CellStyle title_style_of(const char* style) {
  const size_t n = std::strlen(style);
  if (n >= 7 && std::strcmp(style + n - 7, " Failed") == 0) return CELL_FAILED;
  if (n >= 7 && std::strcmp(style + n - 7, " Passed") == 0) return CELL_PASSED;
  return CELL_PLAIN;
}

const char* attribute(const char* const* attrs, const char* name) {
  for (; attrs && *attrs; attrs += 2)
    if (std::strcmp(attrs[0], name) == 0) return attrs[1];
  return "";
}

// A cell that is a plain decimal number below 2^31: stored as the number.
bool plain_number(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v >= kCellNumber) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

// A line number as the report writes it, below 2^31.
bool plain_line(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 0x7FFFFFFFu) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

XrdEvents::XrdEvents(TestRun& run, int32_t parent, XrdDetail detail, ReportFacts& facts,
                     bool mended, const HeadStage& head)
    : run_(run),
      parent_(parent),
      detail_(detail),
      facts_(facts),
      mended_(mended),
      head_(head),
      first_row_(run.rows.size()),
      first_node_(run.nodes.size()) {}

bool XrdEvents::finish() {
  if (!root_is_dazu_ || !document_seen_) return false;
  if (!rows_in_order_) regroup_rows();
  return true;
}

XrdEvents::Capture* XrdEvents::capture_of(Ctx ctx) {
  switch (ctx) {
    case TITLE_TEXT:
    case CELL_TEXT:
    case CELL_CHILD:
    case LINK_TEXT:
      return &leaf_;
    case LINK:
      return &link_own_;
    default:
      return nullptr;
  }
}

// Marks of the repairs undone, and byte references folded back to bytes.
std::string& XrdEvents::tidy(std::string& text, bool fold) {
  if (mended_) xrd_restore_bytes(text);
  if (fold) text.resize(utf8_fold_bytes(&text[0], text.size()));
  return text;
}

void XrdEvents::text(const char* s, size_t len, bool from_reference) {
  Capture* c = capture_of(stack_.back());
  if (!c || c->done) return;
  if (!c->open) {
    c->open = true;
    c->kept = false;
  }
  c->text.append(s, len);
  if (c->kept) return;
  for (size_t i = 0; i < len; ++i) {
    if (s[i] != ' ' && s[i] != '\t' && s[i] != '\n' && s[i] != '\r') {
      c->kept = true;
      return;
    }
  }
  // Blanks written as references are text, as a run of blanks is not.
  if (from_reference) c->kept = true;
}

void XrdEvents::cdata(const char* s, size_t len) {
  boundary();
  if (Capture* c = capture_of(stack_.back()); c && !c->done) {
    c->open = true;  // a CDATA section counts even when empty
    c->kept = true;
    c->text.append(s, len);
  }
  boundary();
}

void XrdEvents::boundary() {
  if (Capture* c = capture_of(stack_.back())) c->end_run();
}

// The report's readers took the first child of a name and left later ones.
bool XrdEvents::first(bool& seen, const char* name, const char* want) {
  if (seen || std::strcmp(name, want) != 0) return false;
  seen = true;
  return true;
}

// DOCUMENT: the report's file and test-node name, from the head the head
// stage took, else from its attributes.
void XrdEvents::start_document(const char* const* attrs) {
  std::string tag;
  if (head_.taken()) {
    facts_.title = head_.title();
    tag = head_.tag();
  } else {
    facts_.title = attribute(attrs, "TITLE");
    tag = attribute(attrs, "TAG");
    if (mended_) {
      xrd_restore_bytes(facts_.title);
      xrd_restore_bytes(tag);
    }
  }
  facts_.title.resize(utf8_fold_bytes(&facts_.title[0], facts_.title.size()));
  // TAG is the test-node name, the letter x and a number; a lone blank
  // stands for no name.
  const size_t x = tag.find_last_of('x');
  if (x != std::string::npos && x + 1 < tag.size() &&
      tag.find_first_not_of("0123456789", x + 1) == std::string::npos)
    tag.resize(x);
  if (tag == " ") tag.clear();
  tag.resize(utf8_fold_bytes(&tag[0], tag.size()));
  facts_.test_node = tag.c_str();  // as every text but the title, it ends at a NUL
}

void XrdEvents::start(const char* name, const char* const* attrs) {
  boundary();
  const Ctx at = stack_.back();
  Ctx next = SKIP;
  switch (at) {
    case OUTSIDE:
      root_is_dazu_ = std::strcmp(name, "DAZU") == 0;
      next = root_is_dazu_ ? ROOT : SKIP;
      break;
    case ROOT:
      if (first(apidoc_seen_, name, "APIDOC")) next = APIDOC;
      break;
    case APIDOC:
      if (first(document_seen_, name, "DOCUMENT")) {
        start_document(attrs);
        next = WALK;
      }
      break;
    case WALK:
    case NODE:
      if (std::strcmp(name, "DAZU:NODE") == 0) {
        start_node(attrs);
        next = NODE;
      } else if (std::strcmp(name, "TITLE") == 0) {
        if (detail_ == XRD_WHOLE || section() < 0) {
          title_style_ = title_style_of(attribute(attrs, "STYLE"));
          title_tag_ = attribute(attrs, "TAG");
          title_text_seen_ = false;
          leaf_.reset();
          next = TITLE;
        }
      } else if (std::strcmp(name, "TABLE") == 0) {
        if (detail_ == XRD_WHOLE || section() < 0) next = TABLE;
      } else {
        if (std::strcmp(name, "SECTION") == 0) {
          scratch_ = attribute(attrs, "TAG");
          tidy(scratch_, false);
          if (section() >= 0) {
            TestNode& n = run_.nodes[open_nodes_.back().node];
            if (detail_ == XRD_WHOLE && !*n.anchor) n.anchor = run_.texts.add(scratch_);
          } else if (facts_.info_anchor.empty()) {
            facts_.info_anchor = scratch_;
          }
        }
        next = WALK;
      }
      break;
    case TITLE:
      if (first(title_text_seen_, name, "TEXT")) next = TITLE_TEXT;
      break;
    case TABLE:
      if (std::strcmp(name, "ROW") == 0) {
        cell_count_ = 0;
        row_image_ = false;
        row_banner_ = std::strcmp(attribute(attrs, "STYLE"), kStyleNames[STYLE_HEADING]) == 0;
        next = ROW;
      }
      break;
    case ROW: {
      const bool text_cell = std::strcmp(name, "CELL_TEXT") == 0;
      if (!text_cell && (section() < 0 || std::strcmp(name, "CELL") != 0)) break;
      if (cells_.size() == cell_count_) cells_.emplace_back();
      PendingCell& cell = cells_[cell_count_++];
      cell.text.clear();
      cell.target.clear();
      cell.style = style_of(attribute(attrs, "STYLE"));
      leaf_.reset();
      next = text_cell ? CELL_TEXT : CELL;
      break;
    }
    case CELL:
      if (std::strcmp(name, "IMAGE") == 0) {
        row_image_ = true;
      } else if (std::strcmp(name, "LINK") == 0) {
        cells_[cell_count_ - 1].target = attribute(attrs, "TARGET");
        link_own_.reset();
        link_text_seen_ = false;
        link_text_.clear();
        next = LINK;
      } else if (std::strcmp(name, "TEXT") == 0) {
        leaf_.reset();
        next = CELL_CHILD;
      }
      break;
    case LINK:
      if (first(link_text_seen_, name, "TEXT")) {
        leaf_.reset();
        next = LINK_TEXT;
      }
      break;
    default:
      break;
  }
  stack_.push_back(next);
}

void XrdEvents::end() {
  boundary();
  const Ctx at = stack_.back();
  stack_.pop_back();
  switch (at) {
    case ROOT:
      root_done_ = true;  // what follows the document is not read
      break;
    case NODE:
      end_node();
      break;
    case TITLE:
      apply_title();
      break;
    case ROW:
      end_row();
      break;
    case CELL_TEXT:
    case CELL_CHILD:
      cells_[cell_count_ - 1].text.swap(leaf_.text);
      break;
    case LINK_TEXT:
      link_text_.swap(leaf_.text);
      break;
    case LINK:
      cells_[cell_count_ - 1].text.swap(link_text_seen_ ? link_text_ : link_own_.text);
      break;
    default:
      break;
  }
}

void XrdEvents::start_node(const char* const* attrs) {
  const auto index = static_cast<uint32_t>(run_.nodes.size());
  TestNode n{};
  scratch_ = attribute(attrs, "name");
  n.name = run_.texts.add(tidy(scratch_, true));
  scratch_ = attribute(attrs, "type");
  n.type = run_type(run_, tidy(scratch_, false));
  const char* state = attribute(attrs, "state");
  n.state = std::strcmp(state, kStateOk) == 0   ? STATE_PASSED
            : std::strcmp(state, kStateKo) == 0 ? STATE_FAILED
                                                : STATE_NOT_EXECUTED;
  n.title = "";
  n.anchor = "";
  n.title_style = CELL_PLAIN;
  n.parent = open_nodes_.empty() ? parent_ : static_cast<int32_t>(open_nodes_.back().node);
  const uint32_t above = n.parent < 0 ? kNone : run_.nodes[n.parent].driver;
  const bool top_report = n.parent < 0 && n.type == run_.type_report;
  if (!top_report && above == kNone) {
    n.driver = static_cast<uint32_t>(run_.drivers.size());
    run_.drivers.push_back({index});
  } else {
    n.driver = top_report ? kNone : above;
  }
  n.first_row = static_cast<uint32_t>(first_row_);  // until it has rows of its own
  run_.nodes.push_back(n);
  run_.nodes[index].twin = twin_of(index);
  if (is_test(run_, n)) counts_add(facts_.counted, n.state);
  open_nodes_.push_back({index, kNone});
}

void XrdEvents::end_node() {
  const uint32_t index = open_nodes_.back().node;
  open_nodes_.pop_back();
  TestNode& n = run_.nodes[index];
  n.end = static_cast<uint32_t>(run_.nodes.size());
}

// A title counts once it says something: a later one may replace an empty one.
void XrdEvents::apply_title() {
  std::string& text = tidy(leaf_.text, true);
  if (section() < 0) {
    if (facts_.info_title.empty()) facts_.info_title = text;
    return;
  }
  TestNode& n = run_.nodes[open_nodes_.back().node];
  if (!n.title || *n.title) return;
  const std::string_view type = run_.types[n.type];
  const size_t name = std::strlen(n.name);
  const bool made_up = text.size() == type.size() + 1 + name &&
                       text.compare(0, type.size(), type) == 0 && text[type.size()] == ' ' &&
                       text.compare(type.size() + 1, name, n.name) == 0;
  n.title = made_up ? nullptr : run_.texts.add(text);
  n.title_style = title_style_;
  if (!*n.anchor) n.anchor = run_.texts.add(tidy(title_tag_, false));
}

void XrdEvents::end_row() {
  for (size_t k = 0; k < cell_count_; ++k) {
    tidy(cells_[k].text, true);
    tidy(cells_[k].target, true);
  }
  if (section() >= 0) {
    if (cell_count_ > 0) add_row();
    return;
  }
  const size_t n = cell_count_ < 2 ? cell_count_ : 2;
  if (n == 1 || (n > 0 && row_banner_)) {
    facts_.banner.push_back(cells_[0].text);
  } else if (n == 2) {
    facts_.info.push_back({cells_[0].text, cells_[1].text, cells_[0].style});
  }
}

uint32_t XrdEvents::cell_value(const std::string& text) {
  uint32_t number = 0;
  if (plain_number(text, number)) return kCellNumber | number;
  return run_.cell_texts.add(text);
}

void XrdEvents::set_target(Row& row, const std::string& target) {
  row.file = kNone;
  if (target.empty()) return;
  const size_t at = target.rfind(" line ");
  if (at == std::string::npos) {
    row.file = run_.files.add(target);
    return;
  }
  row.file = run_.files.add(std::string_view(target).substr(0, at));
  const std::string_view line = std::string_view(target).substr(at + 6);
  if (plain_line(line, row.line)) {
    row.flags |= ROW_LINE;
  } else {
    row.flags |= ROW_ODD_LINE;
    row.line = static_cast<uint32_t>(run_.odd_lines.size());
    run_.odd_lines.push_back(run_.texts.add(line));
  }
}

void XrdEvents::add_row() {
  OpenNode& open = open_nodes_.back();
  TestNode& node = run_.nodes[open.node];
  bool heading = true;
  for (size_t k = 0; k < cell_count_; ++k) heading = heading && cells_[k].style == CELL_HEADING;
  Row row{};
  row.kind = heading ? ROW_HEAD : row_image_ ? ROW_PRINT : ROW_CHECK;
  row.style = cells_[0].style;
  row.text = run_.row_texts.add(cells_[0].text);
  set_target(row, cells_[0].target);
  row.first_cell = static_cast<uint32_t>(run_.cells.size());
  row.cell_count = static_cast<uint32_t>(cell_count_ - 1);
  for (size_t k = 1; k < cell_count_; ++k) run_.cells.push_back(cell_value(cells_[k].text));
  row.head = kNone;
  if (row.kind == ROW_HEAD) {
    // The columns are where the head names them, the last of a name counting.
    TableHead head{row.first_cell, row.cell_count, {-1, -1, -1}};
    for (int k = 0; k < 3; ++k)
      for (size_t j = 0; j < cell_count_; ++j)
        if (cells_[j].text == kCheckHeads[2 + k]) head.column[k] = static_cast<int32_t>(j);
    open.head = static_cast<uint32_t>(run_.heads.size());
    run_.heads.push_back(head);
  } else if (row.kind == ROW_CHECK) {
    row.head = open.head;
    if (row.style == CELL_FAILED || (cell_count_ > 1 && cells_[1].text == kWordFailed))
      row.flags |= ROW_FAILED;
  }
  if (node.row_count == 0) {
    node.first_row = static_cast<uint32_t>(run_.rows.size());
  } else if (rows_in_order_ && node.first_row + node.row_count != run_.rows.size()) {
    // Until now each node's rows were one range, which tells their nodes.
    rows_in_order_ = false;
    row_node_.resize(run_.rows.size() - first_row_);
    for (size_t k = first_node_; k < run_.nodes.size(); ++k) {
      const TestNode& m = run_.nodes[k];
      for (uint32_t r = 0; r < m.row_count; ++r)
        row_node_[m.first_row + r - first_row_] = static_cast<uint32_t>(k);
    }
  }
  ++node.row_count;
  run_.rows.push_back(row);
  if (!rows_in_order_) row_node_.push_back(open.node);
}

uint32_t XrdEvents::twin_of(uint32_t index) {
  const TestNode& n = run_.nodes[index];
  auto base = [&](const TestNode& m) {
    return std::string_view(*m.name ? m.name : run_.types[m.type]);
  };
  // Paths leave the nodes of merged reports out, so the drivers below them
  // are told apart as the drivers at the top are.
  auto above = [&](const TestNode& m) {
    return m.parent >= 0 && is_report(run_, run_.nodes[m.parent]) ? -1 : m.parent;
  };
  const std::string_view name = base(n);
  const int32_t parent = above(n);
  const uint64_t h =
      hash_combine(hash_bytes(name.data(), name.size()), static_cast<uint32_t>(parent));
  bool added = false;
  TwinSlot& slot = twins_.insert_if(
      h, h,
      [&](const auto& s) {
        const TestNode& first = run_.nodes[s.value.node];
        return above(first) == parent && base(first) == name;
      },
      &added);
  if (added) {
    slot = {index, 1};
    return 1;
  }
  return ++slot.count;
}

// A hand-edited report may put a table after a nested entry: the rows are
// regrouped per node (keeping their order) so that each node's rows are one range.
void XrdEvents::regroup_rows() {
  const size_t rows = run_.rows.size() - first_row_, nodes = run_.nodes.size() - first_node_;
  std::vector<uint32_t> start(nodes + 1, 0);
  for (uint32_t node : row_node_) ++start[node - first_node_ + 1];
  for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
  std::vector<Row> sorted(rows);
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  for (size_t i = 0; i < rows; ++i)
    sorted[fill[row_node_[i] - first_node_]++] = run_.rows[first_row_ + i];
  for (size_t i = 0; i < rows; ++i) run_.rows[first_row_ + i] = sorted[i];
  for (size_t k = 0; k < nodes; ++k)
    run_.nodes[first_node_ + k].first_row = static_cast<uint32_t>(first_row_ + start[k]);
}
