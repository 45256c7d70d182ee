// Buffered output file of the exporters and the escapes that keep every written
// text valid UTF-8 whatever bytes the report holds.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// One output written through a large buffer; the first failure sticks. A
// plain file is written to a temporary beside it and renamed over it only once
// whole, so its name never shows a half-written page.
struct OutBuffer {
  int fd = -1;
  int error = 0;  // errno of the first failed open, write, close or rename
  std::unique_ptr<char[]> data;
  size_t capacity = 0;
  size_t used = 0;
  std::string* sink = nullptr;  // collects the output instead of a file
  std::string temp;             // the temporary being written, "" if none
  std::string target;           // the name it is renamed to
  OutBuffer() = default;
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;
  // Closes an output that was not closed and removes its temporary: a run
  // that gave up half-way leaves nothing behind.
  ~OutBuffer();
};

// Where an output would land, to tell whether two names are one file: the
// file itself when it exists, else its folder and name.
struct OutIdentity {
  unsigned long long dev = 0, ino = 0;
  std::string name;  // "" when the file exists
};
// False (errno set) when the path names nothing that could be written.
bool out_identity(const char* path, OutIdentity& id);
inline bool operator==(const OutIdentity& a, const OutIdentity& b) {
  return a.dev == b.dev && a.ino == b.ino && a.name == b.name;
}

// How text is escaped on its way out.
enum EscapeMode { ESCAPE_HTML, ESCAPE_XML, ESCAPE_JSON };

// Opens path for writing. Devices, FIFOs and names of open descriptors are
// written directly; a symbolic link keeps pointing to the file it names,
// which is replaced.
bool out_open(OutBuffer& out, const char* path);
// Makes out append everything written to sink, through a buffer of capacity
// bytes (a small one makes every piece of output cross its end somewhere).
void out_open_memory(OutBuffer& out, std::string& sink, size_t capacity = size_t{1} << 16);
// Flushes, closes and puts the file in place; false when anything written was
// lost, and then an old file is left as it was.
bool out_close(OutBuffer& out);
void out_raw(OutBuffer& out, const char* bytes, size_t n);
void out_str(OutBuffer& out, const char* text);
void out_uint(OutBuffer& out, unsigned long long value);
// Writes text (n bytes) escaped for the mode. Valid UTF-8 passes; a byte that
// starts no valid sequence is read as Latin-1, since the report writer and
// older tools put single bytes there. Control bytes that XML forbids become
// U+FFFD in every mode.
void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode);
void out_escaped(OutBuffer& out, const char* text, EscapeMode mode);

// Appends the UTF-8 form of a code point (U+FFFD for one that is not a character).
void utf8_append(std::string& s, unsigned long cp);
