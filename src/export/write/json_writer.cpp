// Writing JSON: separators and indentation by the layout of each container.
#include "export/write/json_writer.h"

#include "export/write/escape.h"

void JsonWriter::indent(size_t depth) {
  out_put(out_, '\n');
  for (size_t k = 0; k < depth; ++k) out_lit(out_, "  ");
}

void JsonWriter::item() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.first) out_put(out_, ',');
  switch (level.layout) {
    case JSON_COMPACT:
      break;
    case JSON_LINES:
      if (!level.first) out_put(out_, '\n');
      break;
    case JSON_INLINE:
      if (!level.first) out_put(out_, ' ');
      break;
    case JSON_BLOCK:
      indent(levels_.size());
      break;
  }
  level.first = false;
}

void JsonWriter::open(char mark, JsonLayout layout) {
  item();
  out_put(out_, mark);
  levels_.push_back({mark == '{' ? '}' : ']', layout, true});
}

void JsonWriter::close() {
  const Level level = levels_.back();
  levels_.pop_back();
  if (level.layout == JSON_BLOCK && !level.first) indent(levels_.size());
  out_put(out_, level.close);
}

void JsonWriter::key(std::string_view name) {
  item();
  out_put(out_, '"');
  out_escaped(out_, name.data(), name.size(), ESCAPE_JSON);
  out_put(out_, '"');
  out_put(out_, ':');
  if (levels_.back().layout == JSON_INLINE || levels_.back().layout == JSON_BLOCK)
    out_put(out_, ' ');
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  item();
  out_put(out_, '"');
  out_escaped(out_, text.data(), text.size(), ESCAPE_JSON);
  out_put(out_, '"');
}

void JsonWriter::number(long long value) {
  item();
  out_int(out_, value);
}

void JsonWriter::number(unsigned long long value) {
  item();
  out_uint(out_, value);
}

void JsonWriter::null() {
  item();
  out_lit(out_, "null");
}

void JsonWriter::boolean(bool value) {
  item();
  if (value)
    out_lit(out_, "true");
  else
    out_lit(out_, "false");
}

void JsonWriter::member_or_null(std::string_view name, std::string_view text) {
  key(name);
  if (text.empty())
    null();
  else
    string(text);
}
