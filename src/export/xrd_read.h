// The XRD report as the exporters see it: flat arrays of sections, table rows and
// cells, all texts pointing into the parsed document (no copies).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "base/zeroed_block.h"
#include "report/vocabulary.h"

// The report's cell styles, numbered as the writer numbers them, in a byte.
enum XrdStyle : uint8_t {
  XRD_HEADING = STYLE_HEADING,
  XRD_PLAIN = STYLE_PLAIN,
  XRD_FAILED = STYLE_FAILED,
  XRD_PASSED = STYLE_PASSED
};
enum XrdState : uint8_t { XRD_OK = 0, XRD_KO = 1, XRD_NE = 2 };
enum XrdRowKind : uint8_t { ROW_HEADER = 0, ROW_CHECK = 1, ROW_PRINT = 2 };

struct XrdCell {
  const char* text;    // "" when the cell holds none
  const char* target;  // LINK TARGET, "" when the cell links nowhere
  XrdStyle style;
};

struct XrdRow {
  uint32_t first_cell;
  uint32_t cell_count;
  XrdRowKind kind;
  XrdStyle style;  // the first cell's style: the writer styles a row as one
};

// One browse-tree entry (DAZU:NODE) with its title and tables.
struct XrdSection {
  int32_t parent;  // index into sections, -1 for a top-level entry
  uint32_t depth;  // 0 for a top-level entry
  const char* name;
  const char* type;    // display name of the node type, e.g. "Test Case"
  const char* title;   // title text, e.g. "Test Case Case1"
  const char* anchor;  // TAG of the driver's SECTION or of the title; "" if none
  XrdState state;
  XrdStyle title_style;
  uint32_t first_row;
  uint32_t row_count;
};

struct XrdInfoRow {
  const char* label;
  const char* value;
  XrdStyle style;
};

struct XrdReport {
  ZeroedBlock buffer;  // the file's bytes, parsed in place
  pugi::xml_document doc;
  std::string title;      // DOCUMENT TITLE, decoded to UTF-8
  std::string test_node;  // test-node name from the DOCUMENT TAG
  const char* info_anchor = "";
  const char* info_title = "";
  std::vector<const char*> banner;
  std::vector<XrdInfoRow> info;
  // Sections in document order: a parent always precedes its descendants,
  // and every subtree is one contiguous range.
  std::vector<XrdSection> sections;
  std::vector<XrdRow> rows;
  std::vector<XrdCell> cells;
  // A report merged from several keeps them, as its texts point into their
  // buffers, and owns the texts it made up itself (a deque never moves them).
  std::vector<std::unique_ptr<XrdReport>> parts;
  std::deque<std::string> owned_texts;
};

// Reads the report at path. Returns 0, or -1 with a one-line reason in error
// (the file name is not part of it).
int xrd_read(const char* path, XrdReport& report, std::string& error);
// Same on bytes in memory (copied; the caller keeps them).
int xrd_read_bytes(const char* bytes, size_t size, XrdReport& report, std::string& error);
// One parse of bytes already in a buffer, with no repair of raw quotes;
// buffer must hold more than size bytes (a zero byte ends them) and is kept
// by the report.
int xrd_parse(ZeroedBlock buffer, size_t size, XrdReport& report, std::string& error);

// Blanks the DOCUMENT head (whose path and test-node name older writers left
// unescaped) so that an XML parser accepts it; returns its two values decoded.
// False, and the buffer untouched, when the head has another layout.
bool xrd_take_head(char* buf, size_t size, std::string& title, std::string& tag);
// Decodes character references of an attribute text written by hand or by an
// older writer: numeric ones to their code point, the five named ones, any
// other '&' kept as it is.
std::string xrd_decode_refs(const char* text, size_t n);

// Copies a report to out with raw double quotes inside DAZU:NODE names and
// LINK targets written as references; true when anything was repaired.
bool xrd_repair_quotes(const char* in, size_t n, std::string& out);

// Index one past the last descendant of section i.
uint32_t xrd_subtree_end(const XrdReport& report, uint32_t i);
