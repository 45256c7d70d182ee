// The one XML element writer: elements opened and closed in nested order,
// attributes and text escaped, each element on a line of its own indented two
// spaces a level, an element holding text kept on one line.
#pragma once

#include <string_view>
#include <vector>

#include "base/out_buffer.h"

class XmlWriter {
 public:
  explicit XmlWriter(OutBuffer& out) : out_(out) {}
  // The XML declaration of a UTF-8 document.
  void declaration();
  void open(const char* name);
  // An element whose end tag stands on a line of its own even when nothing
  // goes in it (a list of elements, which may be empty).
  void open_list(const char* name);
  // An attribute of the element just opened, before its content.
  void attribute(const char* name, std::string_view value);
  void attribute(const char* name, unsigned long long value);
  // Text inside the open element (line feeds and tabs raw); an element given text, even none,
  // closes with its end tag on the same line.
  void text(std::string_view text);
  // Closes the open element: "/>" when nothing went in it.
  void close();
  // Ends the document's last line.
  void end();

 private:
  struct Element {
    const char* name;
    bool has_content;  // children or text
    bool has_text;
    bool list;
  };
  void finish_start_tag();
  void line_start(size_t depth);

  OutBuffer& out_;
  std::vector<Element> open_;
  bool in_start_tag_ = false;
  bool written_ = false;  // anything before, so a new element starts a line
};
