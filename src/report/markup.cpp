// The mark-up writer: each piece is formatted straight into the report sink;
// escaping copies every clean run of bytes in one piece.
#include "report/markup.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// What the escape does with one byte.
enum ByteKind : unsigned char {
  KIND_CLEAN = 0,  // written as it is
  KIND_BLANK = 1,  // space or tab: runs collapse
  KIND_REF = 2,    // written as "&#%d;"
  KIND_BAD = 3,    // no XML form: written as the replacement character
};

struct EscapeTable {
  unsigned char kind[256];
};

constexpr bool xml_forbidden(int c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F);
}

constexpr EscapeTable make_table(bool collapse_blanks, bool quote_is_ref) {
  EscapeTable t{};
  for (int c = 0; c < 256; ++c) {
    unsigned char k = KIND_CLEAN;
    if (c > 127 || c == '<' || c == '>' || c == '&' || (quote_is_ref && c == '"')) {
      k = KIND_REF;
    } else if (xml_forbidden(c)) {
      k = KIND_BAD;
    } else if (collapse_blanks && (c == ' ' || c == '\t')) {
      k = KIND_BLANK;
    }
    t.kind[c] = k;
  }
  return t;
}

constexpr EscapeTable kElementTable = make_table(true, false);
constexpr EscapeTable kAttributeTable = make_table(true, true);
constexpr EscapeTable kHeadTable = make_table(false, true);

void write_reference(OutBuffer& out, unsigned char c, unsigned char kind) {
  if (kind == KIND_BAD) {
    out_lit(out, "&#65533;");
    return;
  }
  char ref[7] = {'&', '#'};
  std::size_t n = 2;
  if (c >= 100) ref[n++] = static_cast<char>('0' + c / 100);
  if (c >= 10) ref[n++] = static_cast<char>('0' + c / 10 % 10);
  ref[n++] = static_cast<char>('0' + c % 10);
  ref[n++] = ';';
  out_write(out, ref, n);
}

// Sixteen bytes from `s` at a time, while seventeen are left: the bits of the
// bytes that may need more than a copy. That is a superset of what every table
// marks (control and non-ASCII bytes, < > & and the double quote), plus each
// space that another blank follows; every other byte is clean in all tables.
inline std::size_t clean_prefix(const unsigned char* s, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i below = _mm_set1_epi8(0x20);  // signed: bytes from 0x80 count too
  for (; i + 17 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
    __m128i odd = _mm_cmplt_epi8(v, below);
    odd = _mm_or_si128(odd, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
    odd = _mm_or_si128(odd, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
    odd = _mm_or_si128(odd, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
    odd = _mm_or_si128(odd, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    const __m128i blank_next = _mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8(' ')),
                                            _mm_cmpeq_epi8(next, _mm_set1_epi8('\t')));
    odd = _mm_or_si128(odd, _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), blank_next));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(odd));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  (void)s;
  (void)n;
  return i;
}

// A run of blanks followed by another byte becomes one space; a run that ends
// the text is written as its last byte alone.
void escape(OutBuffer& out, const char* text, std::size_t n, const EscapeTable& table) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* kind = table.kind;
  std::size_t i = 0;
  while (i < n) {
    std::size_t start = i;
    while (i < n) {
      i += clean_prefix(s + i, n - i);
      if (i == n) break;
      unsigned char k = kind[s[i]];
      if (k == KIND_CLEAN) {
        ++i;
      } else if (s[i] == ' ' && i + 1 < n && kind[s[i + 1]] != KIND_BLANK) {
        ++i;  // a lone space before another byte stays itself
      } else {
        break;
      }
    }
    out_write(out, text + start, i - start);
    if (i == n) break;
    unsigned char c = s[i];
    unsigned char k = kind[c];
    if (k == KIND_BLANK) {
      std::size_t j = i + 1;
      while (j < n && kind[s[j]] == KIND_BLANK) ++j;
      if (j == n) {
        out_put(out, static_cast<char>(s[n - 1]));
        break;
      }
      out_put(out, ' ');
      i = j;
      c = s[i];
      k = kind[c];
      if (k == KIND_CLEAN) continue;
    }
    write_reference(out, c, k);
    ++i;
  }
}

// Any style number outside the table is written as a failure. A case for
// each name lets the compiler write each with its length known: indexing the
// table instead costs a strlen and a memcpy call for every cell.
const char* cell_style_name(int style) {
  switch (style) {
    case STYLE_HEADING:
      return kStyleNames[STYLE_HEADING];
    case STYLE_PLAIN:
      return kStyleNames[STYLE_PLAIN];
    case STYLE_PASSED:
      return kStyleNames[STYLE_PASSED];
    default:
      return kStyleNames[STYLE_FAILED];
  }
}

// The opening tag of a CELL_TEXT in `style`.
inline void cell_text_open(OutBuffer& out, int style) {
  out_lit(out, "<CELL_TEXT STYLE=\"");
  out_str(out, cell_style_name(style));
  out_lit(out, "\">");
}

}  // namespace

void markup_text(OutBuffer& out, const char* text) {
  if (text) escape(out, text, std::strlen(text), kElementTable);
}

void markup_text(OutBuffer& out, const char* text, std::size_t n) {
  if (text) escape(out, text, n, kElementTable);
}

void markup_attr_text(OutBuffer& out, const char* text) {
  if (text) escape(out, text, std::strlen(text), kAttributeTable);
}

void markup_head_text(OutBuffer& out, const char* text) {
  if (text) escape(out, text, std::strlen(text), kHeadTable);
}

void markup_tag(OutBuffer& out, const char* head, unsigned char closing) {
  if (closing) {
    out_lit(out, "</");
  } else {
    out_put(out, '<');
  }
  out_str(out, head);
  out_lit(out, ">\n");
}

void markup_element(OutBuffer& out, const char* name, const char* text, std::size_t n) {
  out_put(out, '<');
  out_str(out, name);
  out_put(out, '>');
  markup_text(out, text, n);
  out_lit(out, "</");
  out_str(out, name);
  out_lit(out, ">\n");
}

void markup_element(OutBuffer& out, const char* name, const char* text) {
  markup_element(out, name, text, text ? std::strlen(text) : 0);
}

void markup_title(OutBuffer& out, const char* text, std::size_t n, int level, int style, int tag) {
  int style_number = level + 1 > 5 ? 5 : level + 1;
  out_lit(out, "<TITLE LEVEL=\"");
  out_int(out, level);
  out_lit(out, "\" TAG=\"");
  out_int(out, tag);
  out_lit(out, "\" STYLE=\"Title");
  out_int(out, style_number);
  if (style == STYLE_FAILED) {
    out_lit(out, " Failed\">\n");
  } else if (style == STYLE_PASSED) {
    out_lit(out, " Passed\">\n");
  } else {
    out_lit(out, "\">\n");
  }
  markup_element(out, "TEXT", text, n);
  markup_tag(out, "TITLE", 1);
}

void markup_title(OutBuffer& out, const char* text, int level, int style, int tag) {
  markup_title(out, text, text ? std::strlen(text) : 0, level, style, tag);
}

void markup_cell_text(OutBuffer& out, const char* text, int style) {
  cell_text_open(out, style);
  markup_text(out, text);
  out_lit(out, "</CELL_TEXT>\n");
}

LinkTarget markup_link_target(const char* target) {
  LinkTarget link;
  OutBuffer out;
  out_open_string(out, &link.escaped, 256);
  markup_attr_text(out, target);
  out_close(out);
  return link;
}

void markup_word_cell(OutBuffer& out, const char* word, int style) {
  cell_text_open(out, style);
  out_str(out, word);
  out_lit(out, "</CELL_TEXT>\n");
}

void markup_link_cell(OutBuffer& out, const char* text, int style, const LinkTarget& target,
                      int line) {
  out_lit(out, "<CELL STYLE=\"");
  out_str(out, cell_style_name(style));
  out_lit(out, "\"><LINK TARGET=\"");
  out_write(out, target.escaped.data(), target.escaped.size());
  out_lit(out, " line ");
  out_int(out, line);
  out_lit(out, "\">\n<TEXT>");
  markup_text(out, text);
  out_lit(out, "</TEXT>\n</LINK>\n</CELL>\n");
}

void markup_header_row(OutBuffer& out, int style, const char* const (&labels)[5]) {
  markup_tag(out, "ROW", 0);
  for (const char* label : labels) markup_word_cell(out, label, style);
  markup_tag(out, "ROW", 1);
}

void markup_check_header(OutBuffer& out, int style) {
  markup_header_row(out, style, kCheckHeads);
}

void markup_node_open(OutBuffer& out, const char* name, const char* type, const char* state,
                      int sum, int icon) {
  out_lit(out, "<DAZU:NODE name=\"");
  markup_attr_text(out, name);
  out_lit(out, "\" type=\"");
  out_str(out, type);
  out_lit(out, "\" state=\"");
  out_str(out, state);
  out_put(out, '"');
  if (sum > 0) {
    out_lit(out, " sum=\"");
    out_int(out, sum);
    out_put(out, '"');
  }
  switch (icon) {
    case ICON_METHOD:
      out_lit(out, " icone=\"method.xpm\"");
      break;
    case ICON_CLASS:
      out_lit(out, " icone=\"class.xpm\"");
      break;
    case ICON_TEST_SCRIPT:
      out_lit(out, " icone=\"testscript.xpm\"");
      break;
    default:
      break;
  }
  out_put(out, '>');
}

void markup_number_cell(OutBuffer& out, int value, int style) {
  cell_text_open(out, style);
  out_int(out, value);  // digits need no escape
  out_lit(out, "</CELL_TEXT>\n");
}

void markup_document_open(OutBuffer& out, const char* title, const char* node_name, int tag) {
  out_lit(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  markup_tag(out, kMarkupDazu, 0);
  markup_tag(out, kMarkupApidoc, 0);
  out_lit(out, "<DOCUMENT TITLE=\"");
  markup_head_text(out, title);
  out_lit(out, "\" TAG=\"");
  if (node_name) {
    markup_head_text(out, node_name);
  } else {
    out_put(out, ' ');
  }
  out_put(out, 'x');
  out_int(out, tag);
  out_lit(out, "\">\n");
}

void markup_section_open(OutBuffer& out, const char* prefix, int tag) {
  out_lit(out, "<SECTION TAG=\"");
  out_str(out, prefix);
  out_int(out, tag);
  out_lit(out, "\">\n");
}

void markup_banner_row(OutBuffer& out, const char* text, std::size_t n) {
  out_lit(out, "<ROW STYLE=\"Array Title\"><CELL_TEXT COLSPAN=\"1\" ROWSPAN=\"0\">");
  markup_text(out, text, n);
  out_lit(out, "</CELL_TEXT></ROW>");
}

void markup_print_row(OutBuffer& out, const char* text, const LinkTarget& target, int line,
                      int count) {
  out_lit(out, "</TABLE>\n<TABLE BORDER=\"1\" WIDTH=\"55,45\">\n<ROW>\n");
  out_lit(out, "<CELL STYLE=\"Array\">\n<IMAGE NAME=\"arrow10.xpm\"/><LINK TARGET=\"");
  out_write(out, target.escaped.data(), target.escaped.size());
  out_lit(out, " line ");
  out_int(out, line);
  out_lit(out, "\">\n<TEXT>");
  markup_text(out, text);
  out_lit(out, "</TEXT>\n</LINK>\n</CELL>\n<CELL STYLE=\"Array\">\n<TEXT>(x");
  out_int(out, count);
  out_lit(out, ")</TEXT>\n</CELL>\n</ROW>\n</TABLE>\n");
  markup_tag(out, kMarkupCheckTable, 0);
}
