// Writing the page's data: columns of fixed-width numbers through zlib into
// base64 parts, the texts numbered in the order they are written, so that no
// table of them is kept.
#include "export/write/page_data.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/test_paths.h"
#include "export/write/escape.h"
#include "export/write/html_history.h"

namespace {

// zlib's quickest level: higher ones shrink the page by a tenth or a fifth
// and take two to four times as long.
constexpr int kLevel = 1;

const char kPartOpen[] = "<script type=\"application/octet-stream\" class=\"xrd-data\">";
const char kPartClose[] = "</script>\n<script>xrdPart()</script>\n";
const char kLastPartClose[] = "</script>\n<script>xrdPart(1)</script>\n";

// Bytes deflated and written to the page as base64 parts as they come.
class Deflated {
 public:
  explicit Deflated(OutBuffer& out) : out_(out) {
    std::memset(&z_, 0, sizeof z_);
    if (deflateInit(&z_, kLevel) != Z_OK) throw std::bad_alloc();
    out_open_string(raw_out_, &raw_, size_t{64} << 10);
  }
  ~Deflated() { deflateEnd(&z_); }
  Deflated(const Deflated&) = delete;
  Deflated& operator=(const Deflated&) = delete;

  OutBuffer& raw() { return raw_out_; }
  // The low `width` bytes of v, little-endian.
  void number(uint32_t v, unsigned width) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out_write(raw_out_, b, width);
  }
  void word(uint32_t v) { number(v, 4); }
  // A column of numbers, each as wide as the largest needs (1, 2 or 4 bytes,
  // little-endian) after a word giving that width, and padded to a multiple of
  // four bytes: the script views it as a typed array, decoding nothing.
  // `each(emit)` calls emit with every number in order; it is called twice.
  template <class Each>
  void column(const Each& each) {
    uint32_t top = 0;
    each([&](uint32_t v) { top = v > top ? v : top; });
    const unsigned width = top <= 0xFF ? 1 : top <= 0xFFFF ? 2 : 4;
    word(width);
    size_t bytes = 0;
    each([&](uint32_t v) {
      number(v, width);
      bytes += width;
      drain_if_full();
    });
    static const char kZeros[4] = {0, 0, 0, 0};
    out_write(raw_out_, kZeros, (4 - bytes % 4) % 4);
    drain_if_full();
  }
  void drain_if_full() {
    if (raw_out_.used + raw_.size() >= (size_t{64} << 10)) drain(Z_NO_FLUSH);
  }
  void finish() {
    drain(Z_FINISH);
    if (part_ == 0) out_lit(out_, kPartOpen);
    out_lit(out_, kLastPartClose);
  }

 private:
  void drain(int flush) {
    out_flush(raw_out_);
    z_.next_in = reinterpret_cast<Bytef*>(raw_.data());
    z_.avail_in = static_cast<uInt>(raw_.size());
    unsigned char buf[64 << 10];
    int status;
    do {
      z_.next_out = buf;
      z_.avail_out = sizeof buf;
      status = deflate(&z_, flush);
      base64(buf, sizeof buf - z_.avail_out, flush == Z_FINISH && status == Z_STREAM_END);
    } while (z_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    raw_.clear();
  }
  void quad(const char q[4]) {
    if (part_ == 0) out_lit(out_, kPartOpen);
    out_write(out_, q, 4);
    part_ += 4;
    if (part_ < kPageDataPart) return;
    out_lit(out_, kPartClose);
    part_ = 0;
  }
  void base64(const unsigned char* p, size_t n, bool end) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < n; ++i) {
      carry_[carried_++] = p[i];
      if (carried_ < 3) continue;
      const uint32_t v = uint32_t{carry_[0]} << 16 | uint32_t{carry_[1]} << 8 | carry_[2];
      const char q[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63],
                         kDigits[v & 63]};
      quad(q);
      carried_ = 0;
    }
    if (!end || carried_ == 0) return;
    const uint32_t v = uint32_t{carry_[0]} << 16 | (carried_ > 1 ? uint32_t{carry_[1]} << 8 : 0);
    const char q[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63],
                       carried_ > 1 ? kDigits[(v >> 6) & 63] : '=', '='};
    quad(q);
  }

  OutBuffer& out_;
  z_stream z_;
  OutBuffer raw_out_;
  std::string raw_;
  unsigned char carry_[3] = {0, 0, 0};
  int carried_ = 0;
  size_t part_ = 0;  // base64 characters in the open part
};

// Where each kind of text starts among the page's texts, in the order they
// are written: every type, file, first cell of a row, other cell text, odd
// line, change word and key, then per node its name and TAG, the titles of
// their own, the anchor segments that are not the name, and the snippets' lines.
struct TextNumbers {
  uint32_t types, files, rows, cells, odd_lines, words, names, anchors, titles, segments, snippets,
      count;
};

// A title the report gives (even an empty one), not the type and the name.
bool own_title(const TestNode& n) {
  return n.title != nullptr;
}

// The node's anchor segment when it is not its name itself.
bool own_segment(const TestRun& run, uint32_t i, std::string& segment, std::string& scratch) {
  segment = anchor_segment(unique_name(run, i, scratch));
  return segment != run.nodes[i].name;
}

TextNumbers text_numbers(const TestRun& run) {
  TextNumbers t{};
  t.types = 0;
  t.files = t.types + run.types.size();
  t.rows = t.files + run.files.size();
  t.cells = t.rows + run.row_texts.size();
  t.odd_lines = t.cells + run.cell_texts.size();
  t.words = t.odd_lines + static_cast<uint32_t>(run.odd_lines.size());
  t.names = t.words + 2 * CHANGE_KINDS;
  t.anchors = t.names + static_cast<uint32_t>(run.nodes.size());
  t.titles = t.anchors + static_cast<uint32_t>(run.nodes.size());
  uint32_t titles = 0, segments = 0;
  std::string segment, scratch;
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    titles += own_title(run.nodes[i]);
    segments += own_segment(run, i, segment, scratch);
  }
  t.segments = t.titles + titles;
  t.snippets = t.segments + segments;
  uint32_t lines = 0;
  for (const SourceSnippet& s : run.snippets) lines += static_cast<uint32_t>(s.lines.size());
  t.count = t.snippets + lines;
  return t;
}

// Every text in the order of its number.
void each_text(const TestRun& run, const std::function<void(std::string_view)>& visit) {
  for (uint32_t k = 0; k < run.types.size(); ++k) visit(run.types[k]);
  for (uint32_t k = 0; k < run.files.size(); ++k) visit(source_path(run, k));
  for (uint32_t k = 0; k < run.row_texts.size(); ++k) visit(run.row_texts[k]);
  for (uint32_t k = 0; k < run.cell_texts.size(); ++k) visit(run.cell_texts[k]);
  for (const char* line : run.odd_lines) visit(line);
  for (const char* word : kChangeWords) visit(word);
  for (const char* key : kChangeKeys) visit(key);
  for (const TestNode& n : run.nodes) visit(n.name);
  for (const TestNode& n : run.nodes) visit(n.anchor);
  for (const TestNode& n : run.nodes)
    if (own_title(n)) visit(n.title);
  std::string segment, scratch;
  for (uint32_t i = 0; i < run.nodes.size(); ++i)
    if (own_segment(run, i, segment, scratch)) visit(segment);
  for (const SourceSnippet& s : run.snippets)
    for (const std::string& line : s.lines) visit(line);
}

// `field` of every item of `items`, in order: a column's numbers.
template <class Items, class Field>
auto each_of(const Items& items, const Field& field) {
  return [&items, field](const auto& emit) {
    for (const auto& item : items) emit(static_cast<uint32_t>(field(item)));
  };
}

// Every number of `values` in order.
template <class Values>
auto all_of(const Values& values) {
  return each_of(values, [](uint32_t v) { return v; });
}

void node_columns(Deflated& z, const TestRun& run) {
  const auto& nodes = run.nodes;
  z.column([&](const auto& emit) {
    for (uint32_t i = 0; i < nodes.size(); ++i)
      emit(static_cast<uint32_t>(static_cast<int64_t>(i) - nodes[i].parent));
  });
  z.column(each_of(nodes, [](const TestNode& n) { return n.type; }));  // the first texts
  z.column(each_of(nodes, [](const TestNode& n) { return n.first_row; }));
  z.column(each_of(nodes, [](const TestNode& n) { return n.row_count; }));
  std::vector<uint32_t> attrs;
  attrs.reserve(nodes.size());
  std::string segment, scratch;
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    const TestNode& n = nodes[i];
    attrs.push_back(n.state | n.title_style << 2 | n.change << 4 | (own_title(n) ? 128u : 0u) |
                    (own_segment(run, i, segment, scratch) ? 256u : 0u) | (n.repeated ? 512u : 0u));
  }
  z.column(all_of(attrs));
}

void row_columns(Deflated& z, const TestRun& run, const TextNumbers& t) {
  const auto& rows = run.rows;
  z.column(each_of(
      rows, [&t](const Row& row) { return row.file == kNone ? 0 : t.files + row.file + 1; }));
  z.column(each_of(rows, [&t](const Row& row) {
    if (row.flags & ROW_LINE) return 1 + 2 * row.line;
    if (row.flags & ROW_ODD_LINE) return 2 + 2 * (t.odd_lines + row.line);
    return 0u;
  }));
  z.column(each_of(rows, [](const Row& row) { return row.cell_count + 1; }));
  z.column(each_of(rows, [](const Row& row) { return row.kind; }));
  // A check is failed on the page exactly when the other outputs name it so:
  // styled failed, or "Failed" in its status cell whatever its style.
  z.column(each_of(rows, [](const Row& row) {
    return row.flags & ROW_FAILED ? uint8_t{CELL_FAILED} : uint8_t{row.style};
  }));
  z.column(each_of(rows, [](const Row& row) { return row.text; }));
  z.column([&](const auto& emit) {
    for (const Row& row : rows) {
      for (uint32_t k = 0; k < row.cell_count; ++k) {
        const uint32_t cell = run.cells[row.first_cell + k];
        emit((cell & kCellNumber) ? 2 * (cell & ~kCellNumber) + 1 : 2 * (t.cells + cell));
      }
    }
  });
}

void snippet_columns(Deflated& z, const TestRun& run) {
  const auto& snippets = run.snippets;
  z.column(each_of(snippets, [](const SourceSnippet& s) { return s.row; }));
  z.column(each_of(snippets, [](const SourceSnippet& s) { return s.first; }));
  z.column(each_of(snippets, [](const SourceSnippet& s) { return s.line - s.first; }));
  z.column(each_of(snippets, [](const SourceSnippet& s) { return s.lines.size(); }));
}

// The strip and the words of each node, after the words' first text.
void history_columns(Deflated& z, const PageHistory& h, uint32_t first_words) {
  z.column(all_of(std::array<uint32_t, 2>{h.runs, first_words}));
  z.column(all_of(h.strips));
  z.column(all_of(h.words_of));
}

}  // namespace

void page_data(OutBuffer& out, const TestRun& run) {
  TextNumbers t = text_numbers(run);
  // The history's words are the last texts.
  const PageHistory history = page_history(run);
  const uint32_t first_words = t.count;
  t.count += static_cast<uint32_t>(history.words.size());
  Deflated z(out);
  const uint64_t head[] = {kPageDataMagic,  run.nodes.size(),
                           run.rows.size(), run.cells.size(),
                           t.count,         (run.compared ? 1u : 0u) | (run.with_history ? 2u : 0u),
                           t.files,         run.files.size(),
                           t.words,         CHANGE_KINDS,
                           t.names,         t.anchors,
                           t.titles,        t.segments,
                           t.rows,          run.snippets.size(),
                           t.snippets};
  static_assert(sizeof head / sizeof head[0] == kPageDataHead, "the head page.js reads");
  for (uint64_t v : head) z.word(static_cast<uint32_t>(v));
  node_columns(z, run);
  row_columns(z, run, t);
  snippet_columns(z, run);
  if (run.with_history) history_columns(z, history, first_words);
  // Each text's length once decoded, then the texts.
  z.column([&](const auto& emit) {
    const auto length = [&](std::string_view text) {
      emit(static_cast<uint32_t>(utf16_length(text.data(), text.size())));
    };
    each_text(run, length);
    for (const std::string& words : history.words) length(words);
  });
  const auto write = [&](std::string_view text) {
    out_escaped(z.raw(), text.data(), text.size(), ESCAPE_TEXT);
    z.drain_if_full();
  };
  each_text(run, write);
  for (const std::string& words : history.words) write(words);
  z.finish();
}
