// The exporters' output: the escapes that keep every text valid UTF-8 and valid
// HTML, XML or JSON whatever bytes the report holds, and writing one output file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "base/out_buffer.h"

// How text is escaped on its way out.
enum EscapeMode { ESCAPE_HTML, ESCAPE_XML, ESCAPE_JSON };

// Writes text (n bytes) escaped for the mode. Valid UTF-8 passes; a byte that
// starts no valid sequence is read as Latin-1, since the report writer and
// older tools put single bytes there. Control bytes that XML forbids become
// U+FFFD in every mode.
void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode);
void out_escaped(OutBuffer& out, const char* text, EscapeMode mode);

// Writes the file at `path` with `write` (at its end with `append`); 0, or -1
// with the reason in `error` (an old file is then left as it was).
int write_output(const char* path, bool append, const std::function<void(OutBuffer&)>& write,
                 std::string& error);

// The report writes each byte above 127 as a character reference of its own,
// so a text whose characters all lie below U+0100 is a run of bytes. When those
// bytes are valid UTF-8 the text is rewritten in place as them (and ended with
// a zero byte if it shrank); otherwise each byte stays the Latin-1 character
// it names. Returns the text's length afterwards.
size_t utf8_fold_bytes(char* text, size_t n);

// Appends the UTF-8 form of a code point (U+FFFD for one that is not a character).
void utf8_append(std::string& s, unsigned long cp);
