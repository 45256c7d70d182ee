// The one escape of the exporter's outputs: every text leaves as valid UTF-8
// and valid HTML, XML or JSON, whatever bytes the report held.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/out_buffer.h"

// How text is escaped on its way out: for HTML, XML attributes (every line
// feed and tab a reference, since a parser turns raw ones into blanks there),
// XML element text (line feeds and tabs raw, as readers that show the text
// want them; a CR stays a reference, since a parser would turn a raw one into
// a line feed), JSON, as plain text (only repaired to UTF-8), or as a line of
// a Markdown code block (plain text whose every line break, CR, LF, U+0085,
// U+2028 and U+2029, is a blank, so that no text ends its line or the block).
enum EscapeMode { ESCAPE_HTML, ESCAPE_XML, ESCAPE_XML_TEXT, ESCAPE_JSON, ESCAPE_TEXT, ESCAPE_CODE };

// Writes text (n bytes) escaped for the mode. Valid UTF-8 passes; a byte that
// starts no valid sequence is read as Latin-1, since the report writer and
// older tools put single bytes there. Control bytes that XML forbids become
// U+FFFD in every mode.
void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode);
void out_escaped(OutBuffer& out, const char* text, EscapeMode mode);
inline void out_html(OutBuffer& out, std::string_view text) {
  out_escaped(out, text.data(), text.size(), ESCAPE_HTML);
}

// Writes text as literal inline Markdown for GitHub and GitLab, whatever it
// holds: every character that means something inline backslash-escaped (in a
// table cell too), HTML's own as references, line breaks and tabs as blanks,
// and a zero-width space (U+200B) where a mention ("@name"), a reference
// ("#12", "GH-12", and GitLab's "!12", "~label", "%name", "&12", "$12") or
// an autolink ("http://",
// "www.", "a@b.c") would otherwise start, which breaks the pattern and shows
// nothing. What opens a block at the start of a line is the caller's.
void out_markdown(OutBuffer& out, const char* text, size_t n);

// The length in UTF-16 units (as a browser's strings count) of text as
// ESCAPE_TEXT writes it.
size_t utf16_length(const char* text, size_t n);
