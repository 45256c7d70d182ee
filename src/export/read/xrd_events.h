// The elements of a report as the parser meets them, built into a test run
// at once: the reader's half that knows the report's layout, apart from the
// XML parser that calls it (xrd_reader.cpp), which knows nothing of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/flat_map.h"
#include "export/model/test_run.h"
#include "export/read/xrd_reader.h"
#include "export/read/xrd_repair.h"

class XrdEvents {
 public:
  // mended: the bytes went through every repair (their marks are undone in
  // the texts); head: the stage that took the DOCUMENT head, if it did.
  XrdEvents(TestRun& run, int32_t parent, XrdDetail detail, ReportFacts& facts, bool mended,
            const HeadStage& head);
  // An element starts: its name and its attributes (name, value, ... and a
  // null; attrs may be null when it has none).
  void start(const char* name, const char* const* attrs);
  void end();
  // Text of the open element; from_reference when a character reference gave it.
  void text(const char* s, size_t len, bool from_reference);
  // A CDATA section: text that counts even when blank.
  void cdata(const char* s, size_t len);
  // A comment or a processing instruction, which parts the text around it.
  void boundary();
  // The root element has ended: nothing after it is read.
  bool root_done() const { return root_done_; }
  // After the last event: false when the report lacks its DAZU, APIDOC and
  // DOCUMENT frame.
  bool finish();

 private:
  // What an open element is to the reader. The walk (WALK, NODE) goes into
  // every element but titles and tables, which are read as the report writes
  // them; SKIP marks elements whose content nothing reads.
  enum Ctx : uint8_t {
    SKIP,
    OUTSIDE,     // no element open yet
    ROOT,        // DAZU
    APIDOC,      // the first APIDOC in it
    WALK,        // DOCUMENT, SECTION, any other element of the walk
    NODE,        // DAZU:NODE
    TITLE,       // its first TEXT child holds the title
    TITLE_TEXT,  // that TEXT
    TABLE,       // its ROW children are rows
    ROW,         // its CELL and CELL_TEXT children are cells
    CELL_TEXT,   // holds a cell's text
    CELL,        // IMAGE, LINK and TEXT children
    CELL_CHILD,  // a TEXT directly in a CELL
    LINK,        // its first TEXT child holds the text, else its own
    LINK_TEXT,   // that TEXT
  };

  // The text of an element as the report's readers always took it: its first
  // run of text between child elements that is more than blanks (or a CDATA
  // section, which counts whatever it holds).
  struct Capture {
    std::string text;
    bool open = false;
    bool kept = false;
    bool done = false;

    void reset() {
      text.clear();
      open = kept = done = false;
    }
    void end_run() {
      if (!open) return;
      open = false;
      if (kept)
        done = true;
      else
        text.clear();
    }
  };

  struct OpenNode {
    uint32_t node;
    uint32_t head;  // the head of its table so far
  };

  struct PendingCell {
    std::string text, target;
    CellStyle style;
  };

  struct TwinSlot {
    uint32_t node;
    uint32_t count;  // never 0: an empty slot is all zero
  };

  void start_document(const char* const* attrs);
  static bool first(bool& seen, const char* name, const char* want);
  Capture* capture_of(Ctx ctx);
  std::string& tidy(std::string& text, bool fold);
  void start_node(const char* const* attrs);
  void end_node();
  void apply_title();
  void end_row();
  void add_row();
  void set_target(Row& row, const std::string& target);
  uint32_t cell_value(const std::string& text);
  uint32_t twin_of(uint32_t node);
  void regroup_rows();
  int32_t section() const {
    return open_nodes_.empty() ? -1 : static_cast<int32_t>(open_nodes_.back().node);
  }

  TestRun& run_;
  int32_t parent_;
  XrdDetail detail_;
  ReportFacts& facts_;
  bool mended_;
  const HeadStage& head_;

  std::vector<Ctx> stack_{OUTSIDE};
  std::vector<OpenNode> open_nodes_;
  bool apidoc_seen_ = false, document_seen_ = false, root_is_dazu_ = false, root_done_ = false;
  Capture leaf_, link_own_;

  std::string title_tag_;
  CellStyle title_style_ = CELL_PLAIN;
  bool title_text_seen_ = false;
  std::vector<PendingCell> cells_;
  size_t cell_count_ = 0;
  bool row_image_ = false, row_banner_ = false;
  bool link_text_seen_ = false;
  std::string link_text_;

  FlatMap<uint64_t, TwinSlot, StoredHash> twins_;
  // Each row's node, kept once rows came out of order (then they are regrouped).
  std::vector<uint32_t> row_node_;
  size_t first_row_, first_node_;
  bool rows_in_order_ = true;
  std::string scratch_;
};
