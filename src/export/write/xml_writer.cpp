// Writing XML elements: start tags closed lazily, lines and indentation by depth.
#include "export/write/xml_writer.h"

#include "export/write/escape.h"

void XmlWriter::declaration() {
  out_lit(out_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  written_ = true;
}

void XmlWriter::line_start(size_t depth) {
  if (written_) out_put(out_, '\n');
  for (size_t k = 0; k < depth; ++k) out_lit(out_, "  ");
  written_ = true;
}

void XmlWriter::finish_start_tag() {
  if (!in_start_tag_) return;
  out_put(out_, '>');
  in_start_tag_ = false;
}

void XmlWriter::open(const char* name) {
  finish_start_tag();
  if (!open_.empty()) open_.back().has_content = true;
  line_start(open_.size());
  out_put(out_, '<');
  out_str(out_, name);
  open_.push_back({name, false, false, false});
  in_start_tag_ = true;
}

void XmlWriter::open_list(const char* name) {
  open(name);
  open_.back().list = true;
}

void XmlWriter::attribute(const char* name, std::string_view value) {
  out_put(out_, ' ');
  out_str(out_, name);
  out_lit(out_, "=\"");
  out_escaped(out_, value.data(), value.size(), ESCAPE_XML);
  out_put(out_, '"');
}

void XmlWriter::attribute(const char* name, unsigned long long value) {
  out_put(out_, ' ');
  out_str(out_, name);
  out_lit(out_, "=\"");
  out_uint(out_, value);
  out_put(out_, '"');
}

void XmlWriter::text(std::string_view text) {
  finish_start_tag();
  Element& e = open_.back();
  e.has_content = e.has_text = true;
  out_escaped(out_, text.data(), text.size(), ESCAPE_XML_TEXT);
}

void XmlWriter::close() {
  const Element e = open_.back();
  open_.pop_back();
  if (!e.has_content && !e.list) {
    out_lit(out_, "/>");
    in_start_tag_ = false;
    return;
  }
  finish_start_tag();
  if (!e.has_text) line_start(open_.size());
  out_lit(out_, "</");
  out_str(out_, e.name);
  out_put(out_, '>');
}

void XmlWriter::end() {
  out_put(out_, '\n');
}
