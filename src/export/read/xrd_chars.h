// Bytes and references that a strict XML parser refuses but readers of the
// report always took (control bytes of the traces, Latin-1 bytes from older
// writers, a stray '&' typed by hand), made acceptable on their way to the
// parser and turned back into the same bytes in the texts it gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "export/read/xrd_repair.h"

// Makes what a strict XML parser refuses into what it takes, keeping what
// each text says: a control byte, a byte that starts no UTF-8 character, a
// NUL, and a character reference to something no XML text may hold become a
// private mark (U+E000, then U+E100 + the byte) that xrd_restore_bytes turns
// back into the byte; a '&' that starts no reference is written as "&amp;",
// a '<' inside an attribute value as "&lt;", a '>' in text as "&gt;", and
// "--" inside a comment as "- -", and a processing instruction (the XML
// declaration too) as an empty comment. A U+E000 already in the report is
// marked too. Inside tags a name given twice is renamed, and a byte of a name
// that is not ASCII becomes a letter of its own (U+4E00 + the byte).
class CharStage {
 public:
  std::string_view feed(std::string_view in, bool last);
  const ByteShifts& shifts() const { return shifts_; }

 private:
  enum State : uint8_t { TEXT, TAG, VALUE, COMMENT, CDATA, PI, DECL };
  size_t step(const char* p, size_t n, bool last);
  size_t reference(const char* p, size_t n, bool last);
  size_t markup(const char* p, size_t n, bool last);
  size_t instruction(const char* p, size_t n, bool last);
  size_t tag(const char* p, size_t n, bool last);
  void mark(unsigned char byte);
  size_t instead(unsigned char byte, const char* with);
  void shift(int64_t delta);

  State state_ = TEXT;
  char quote_ = '"';
  int brackets_ = 0;  // of a DOCTYPE's internal subset
  size_t names_in_tag_ = 0;
  std::unordered_set<std::string> attributes_;  // names of the tag's attributes so far
  std::string pending_;
  std::string out_;
  uint64_t out_done_ = 0, out_base_ = 0;
  ByteShifts shifts_;
};

// Turns the marks of CharStage in a text back into the bytes they stand for;
// a NUL ends the text there, as it ended it for the report's earlier readers.
void xrd_restore_bytes(std::string& text);
