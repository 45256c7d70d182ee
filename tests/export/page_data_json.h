// The page's compressed data decoded back into the JSON layout pages held
// before it was compressed, so that tests compare it with that layout's
// golden files: {"s": per section parent, type, state, title style, name,
// title, anchor segment ("" for the name), first row, row count, TAG; "r":
// per row kind, style, file (-1), line, cell count, cells; "types"; "files";
// with a baseline "c", "cw", "ck"}. The layout is in export/page_data.h.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "export/write/json_writer.h"
#include "export/write/page_data.h"

inline std::string page_data_json(const std::string& page) {
  static const char kOpen[] = "<script type=\"application/octet-stream\" class=\"xrd-data\">";
  std::string b64;
  for (size_t at = page.find(kOpen); at != std::string::npos; at = page.find(kOpen, at)) {
    at += sizeof kOpen - 1;
    b64 += page.substr(at, page.find('<', at) - at);
  }
  std::string packed;
  uint32_t bits = 0;
  int held = 0;
  for (char c : b64) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = std::strchr(digits, c);
    if (c == '=' || !at) break;
    bits = bits << 6 | static_cast<uint32_t>(at - digits);
    if ((held += 6) >= 8) packed += static_cast<char>(bits >> (held -= 8));
  }
  std::string raw(packed.size() * 8 + 1024, '\0');
  uLongf size = raw.size();
  while (uncompress(reinterpret_cast<Bytef*>(&raw[0]), &size,
                    reinterpret_cast<const Bytef*>(packed.data()), packed.size()) == Z_BUF_ERROR) {
    raw.resize(raw.size() * 2);
    size = raw.size();
  }
  raw.resize(size);
  size_t at = 0;
  auto le = [&](size_t width) {
    uint64_t v = 0;
    for (size_t k = 0; k < width; ++k)
      v |= uint64_t{static_cast<unsigned char>(raw[at++])} << 8 * k;
    return v;
  };
  auto column = [&](uint64_t count) {
    const size_t width = le(4);
    std::vector<uint64_t> v;
    for (uint64_t k = 0; k < count; ++k) v.push_back(le(width));
    at += (4 - count * width % 4) % 4;
    return v;
  };
  std::vector<uint64_t> head;
  for (int k = 0; k < kPageDataHead; ++k) head.push_back(le(4));
  if (head[0] != kPageDataMagic) return "bad magic";
  const uint64_t n = head[1], m = head[2];
  const std::vector<uint64_t> gap = column(n), type = column(n), first = column(n),
                              count = column(n), attrs = column(n);
  const std::vector<uint64_t> file = column(m), line = column(m), cell_count = column(m),
                              kind = column(m), style = column(m), row_text = column(m);
  const std::vector<uint64_t> cells = column(head[3]);
  for (int k = 0; k < 4; ++k)
    column(head[15]);  // the snippets, which the older layout did not hold
  if (head[5] & 2) {   // the history's strips and words, nor these
    column(2);
    column(n);
    column(n);
  }
  const std::vector<uint64_t> lengths = column(head[4]);
  // Each text's bytes, by its length in UTF-16 units.
  std::vector<std::string> texts;
  for (uint64_t units : lengths) {
    size_t end = at;
    for (uint64_t u = 0; u < units; ++u) {
      const auto c = static_cast<unsigned char>(raw[end]);
      const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      end += len;
      if (len == 4) ++u;
    }
    texts.push_back(raw.substr(at, end - at));
    at = end;
  }
  // Types and files numbered as the page first meets them.
  std::vector<uint64_t> types, files;
  auto number = [](std::vector<uint64_t>& seen, uint64_t text) {
    for (size_t k = 0; k < seen.size(); ++k)
      if (seen[k] == text) return static_cast<long long>(k);
    seen.push_back(text);
    return static_cast<long long>(seen.size() - 1);
  };
  std::string json;
  OutBuffer out;
  out_open_string(out, &json);
  JsonWriter w(out);
  w.open_object(JSON_LINES);
  w.key("s");
  w.open_array(JSON_COMPACT);
  uint64_t title = head[12], segment = head[13];
  for (uint64_t i = 0; i < n; ++i) {
    const uint64_t a = attrs[i];
    const auto row = static_cast<long long>(first[i]);
    const std::string& name = texts[head[10] + i];
    w.number(static_cast<long long>(i) - static_cast<long long>(gap[i]));
    w.number(number(types, type[i]));
    w.number(static_cast<long long>(a & 3));
    w.number(static_cast<long long>((a >> 2) & 3));
    w.string(name);
    w.string(a & 128 ? texts[title++] : texts[type[i]] + " " + name);
    w.string(a & 256 ? texts[segment++] : "");
    w.number(row);
    w.number(static_cast<long long>(count[i]));
    w.string(texts[head[11] + i]);
    w.line_end();
  }
  w.close();
  w.key("r");
  w.open_array(JSON_COMPACT);
  for (uint64_t r = 0, c = 0; r < m; ++r) {
    w.number(static_cast<long long>(kind[r]));
    w.number(static_cast<long long>(style[r]));
    w.number(file[r] == 0 ? -1LL : number(files, file[r] - 1));
    w.string(line[r] == 0  ? std::string()
             : line[r] & 1 ? std::to_string((line[r] - 1) / 2)
                           : texts[(line[r] - 2) / 2]);
    w.number(static_cast<long long>(cell_count[r]));
    w.string(texts[head[14] + row_text[r]]);
    for (uint64_t k = 1; k < cell_count[r]; ++k, ++c)
      w.string(cells[c] & 1 ? std::to_string((cells[c] - 1) / 2) : texts[cells[c] / 2]);
    w.line_end();
  }
  w.close();
  w.key("types");
  w.open_array(JSON_COMPACT);
  for (uint64_t t : types) w.string(texts[t]);
  w.close();
  w.key("files");
  w.open_array(JSON_COMPACT);
  for (uint64_t f : files) w.string(texts[f]);
  w.close();
  if (head[5] & 1) {
    w.key("c");
    w.open_array(JSON_COMPACT);
    for (uint64_t a : attrs) w.number(static_cast<long long>((a >> 4) & 7));
    w.close();
    w.key("cw");
    w.open_array(JSON_COMPACT);
    for (uint64_t k = 0; k < head[9]; ++k) w.string(texts[head[8] + k]);
    w.close();
    w.key("ck");
    w.open_array(JSON_COMPACT);
    for (uint64_t k = 0; k < head[9]; ++k) w.string(texts[head[8] + head[9] + k]);
    w.close();
  }
  w.close();
  out_close(out);
  return json;
}
