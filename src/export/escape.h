// The one escape of the exporter's outputs: every text leaves as valid UTF-8
// and valid HTML, XML or JSON, whatever bytes the report held.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/out_buffer.h"

// How text is escaped on its way out: for HTML, XML or JSON text, or as
// plain text (only repaired to UTF-8).
enum EscapeMode { ESCAPE_HTML, ESCAPE_XML, ESCAPE_JSON, ESCAPE_TEXT };

// Writes text (n bytes) escaped for the mode. Valid UTF-8 passes; a byte that
// starts no valid sequence is read as Latin-1, since the report writer and
// older tools put single bytes there. Control bytes that XML forbids become
// U+FFFD in every mode.
void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode);
void out_escaped(OutBuffer& out, const char* text, EscapeMode mode);
inline void out_html(OutBuffer& out, std::string_view text) {
  out_escaped(out, text.data(), text.size(), ESCAPE_HTML);
}

// The length in UTF-16 units (as a browser's strings count) of text as
// ESCAPE_TEXT writes it.
size_t utf16_length(const char* text, size_t n);
