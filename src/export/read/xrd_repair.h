// What older writers left in reports, mended on the bytes before the XML
// parser sees them: the unescaped DOCUMENT head, and raw double quotes inside
// browse-tree names and link targets. Each repair runs as a stage over the
// report's blocks in turn, so the report is never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The DOCUMENT head, whose path and test-node name older writers left
// unescaped: blanked so that an XML parser accepts the tag, its two values
// decoded. False, and the buffer untouched, when the head has another layout.
bool xrd_take_head(char* buf, size_t size, std::string& title, std::string& tag);
// Decodes character references of an attribute text written by hand or by an
// older writer: numeric ones to their code point, the five named ones, any
// other '&' kept as it is.
std::string xrd_decode_refs(const char* text, size_t n);

// Copies a report to out with raw double quotes inside DAZU:NODE names and
// LINK targets written as references; true when anything was repaired.
bool xrd_repair_quotes(const char* in, size_t n, std::string& out);

// Where a stage's output stands in its input: from each output offset listed
// on, output minus input is the delta beside it, until the next.
struct ByteShifts {
  std::vector<std::pair<uint64_t, int64_t>> at;
  void add(uint64_t out, int64_t delta) { at.emplace_back(out, delta); }
  int64_t last() const { return at.empty() ? 0 : at.back().second; }
  uint64_t in_offset(uint64_t out) const;
};

// A stage takes the report's bytes block by block (`last` with the final
// one) and gives the bytes for the next stage; the view it returns holds
// until the next call. Its shifts map offsets of its output back to its input.
class HeadStage {
 public:
  std::string_view feed(std::string_view in, bool last);
  bool taken() const { return taken_; }
  const std::string& title() const { return title_; }
  const std::string& tag() const { return tag_; }

 private:
  enum { SEEKING, HOLDING, DONE } state_ = SEEKING;
  std::string held_;     // from "<DOCUMENT" on, until the head's end is in it
  size_t searched_ = 0;  // how far held_ was searched for the head's end
  std::string out_;
  bool taken_ = false;
  std::string title_, tag_;
};

class QuoteStage {
 public:
  std::string_view feed(std::string_view in, bool last);
  const ByteShifts& shifts() const { return shifts_; }

 private:
  std::string pending_;  // an unfinished tag, carried into the next block
  std::string out_;
  bool given_up_ = false;  // a tag too long to hold: the rest passes unrepaired
  uint64_t in_done_ = 0, out_done_ = 0;
  ByteShifts shifts_;
};
