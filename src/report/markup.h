// The mark-up writer of the results report: the text escapes, tags, titles,
// table cells, link cells, check header rows and browse-tree entries.
#pragma once

#include <cstddef>
#include <string>

#include "base/out_buffer.h"
#include "report/vocabulary.h"

enum IconKind : int {
  ICON_METHOD = 0,
  ICON_CLASS = 1,
  ICON_TEST_SCRIPT = 2,
};

// The heads the report opens and closes through markup_tag; no other file
// spells an element or attribute name.
constexpr const char* kMarkupDazu = "DAZU";
constexpr const char* kMarkupApidoc = "APIDOC";
constexpr const char* kMarkupDocument = "DOCUMENT";
constexpr const char* kMarkupSection = "SECTION";
constexpr const char* kMarkupNode = "DAZU:NODE";
constexpr const char* kMarkupRow = "ROW";
constexpr const char* kMarkupTable = "TABLE";
constexpr const char* kMarkupInfoTable = "TABLE BORDER=\"1\"";
constexpr const char* kMarkupCheckTable = "TABLE BORDER=\"1\" WIDTH=\"40,15,15,15,15\"";

// Element text: blank runs collapsed, `&` `<` `>` and bytes above 127 as
// "&#%d;", bytes XML cannot carry as "&#65533;". A null text writes nothing.
void markup_text(OutBuffer& out, const char* text);
void markup_text(OutBuffer& out, const char* text, std::size_t n);
// The same escape for a text inside a double-quoted attribute value, where
// the double quote is written as "&#34;" too.
void markup_attr_text(OutBuffer& out, const char* text);
// The document head's title and tag: no blank collapsing; `&` `<` `>` `"` and
// bytes above 127 as "&#%d;", bytes XML cannot carry as "&#65533;".
void markup_head_text(OutBuffer& out, const char* text);

// "<head>\n", or "</head>\n" when closing is non-zero. The head is not escaped.
void markup_tag(OutBuffer& out, const char* head, unsigned char closing);
// "<name>", the text escaped, "</name>\n".
void markup_element(OutBuffer& out, const char* name, const char* text);
void markup_element(OutBuffer& out, const char* name, const char* text, std::size_t n);
// A three-line title; the style number is level + 1, at most 5.
void markup_title(OutBuffer& out, const char* text, int level, int style, int tag);
void markup_title(OutBuffer& out, const char* text, std::size_t n, int level, int style, int tag);
// One CELL_TEXT line.
void markup_cell_text(OutBuffer& out, const char* text, int style);
// The same for a word of the report's own vocabulary ("Passed", a column
// label, " "), which no escape changes: it is written as it stands.
void markup_word_cell(OutBuffer& out, const char* word, int style);
// A link target, escaped once as an attribute value: every check of a driver
// links to the same source file.
struct LinkTarget {
  std::string escaped;
};
LinkTarget markup_link_target(const char* target);  // target may be null
// A cell whose text links to `line` of the source file `target`.
void markup_link_cell(OutBuffer& out, const char* text, int style, const LinkTarget& target,
                      int line);
// The header row of a check table.
void markup_check_header(OutBuffer& out, int style);
// A header row of five cells in one style; the labels are vocabulary words.
void markup_header_row(OutBuffer& out, int style, const char* const (&labels)[5]);
// A CELL_TEXT holding a decimal number.
void markup_number_cell(OutBuffer& out, int value, int style);
// The XML declaration and the opening DOCUMENT line: its TITLE the report
// name, its TAG the test-node name (a blank when there is none), "x" and `tag`.
void markup_document_open(OutBuffer& out, const char* title, const char* node_name, int tag);
// An opening SECTION line whose TAG is `prefix` followed by `tag`.
void markup_section_open(OutBuffer& out, const char* prefix, int tag);
// One banner row of the information table, without a line feed after it.
void markup_banner_row(OutBuffer& out, const char* text, std::size_t n);
// A Print in the middle of a check table: the table is closed, the Print
// stands in a two-column table of its own with its count "(x%d)", and a new
// check table without a header row follows.
void markup_print_row(OutBuffer& out, const char* text, const LinkTarget& target, int line,
                      int count);
// The opening tag of a browse-tree entry, without a line feed after it. The
// name is escaped; type and state are vocabulary words, written as they stand.
void markup_node_open(OutBuffer& out, const char* name, const char* type, const char* state,
                      int sum, int icon);
