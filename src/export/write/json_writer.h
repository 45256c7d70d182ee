// The one JSON writer: values, arrays and objects straight to an output, in
// the layouts the page's data and the summary use, every string escaped.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/out_buffer.h"

// How a container lays out its items.
enum JsonLayout : uint8_t {
  JSON_COMPACT,  // a,b,c and "key":value
  JSON_LINES,    // as compact, with a line end after each comma: a,\nb
  JSON_INLINE,   // a, b, c and "key": value
  JSON_BLOCK     // each item on a line of its own, indented two spaces a level;
                 // the closing mark on its own line unless nothing was in it
};

class JsonWriter {
 public:
  explicit JsonWriter(OutBuffer& out) : out_(out) {}
  void open_object(JsonLayout layout) { open('{', layout); }
  void open_array(JsonLayout layout) { open('[', layout); }
  void close();
  // A key of the open object; its value follows.
  void key(std::string_view name);
  void string(std::string_view text);
  void number(long long value);
  void number(unsigned long long value);
  void null();
  void boolean(bool value);
  // A line end inside a compact container, after the item just written.
  void line_end() { out_put(out_, '\n'); }

  // An item with its key.
  template <class T>
  void member(std::string_view name, const T& value) {
    key(name);
    put(value);
  }
  void member_or_null(std::string_view name, std::string_view text);

 private:
  struct Level {
    char close;
    JsonLayout layout;
    bool first;
  };
  void open(char mark, JsonLayout layout);
  void item();  // the separator before an item
  void indent(size_t depth);
  void put(std::string_view text) { string(text); }
  void put(const char* text) { string(text); }
  void put(const std::string& text) { string(text); }
  void put(unsigned long long value) { number(value); }
  void put(unsigned long value) { number(static_cast<unsigned long long>(value)); }
  void put(unsigned value) { number(static_cast<unsigned long long>(value)); }
  void put(long long value) { number(value); }
  void put(int value) { number(static_cast<long long>(value)); }
  void put(bool value) { boolean(value); }

  OutBuffer& out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};
