// Reader of the trace dynamic file (TDF): record layouts, run binding, instances,
// the node stack, and the recording of outcomes on nodes and their copies.
#include "readers/jtdffile.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model/node_types.h"
#include "model/tree.h"
#include "readers/number_scan.h"
#include "readers/scanner.h"
#include "readers/span_scan.h"

namespace {

int32_t scan_hex(TraceStream& stream, int delimiter) {
  return static_cast<int32_t>(scan_number(stream, delimiter, 16));
}

// The rest of a "NO" line is one text. A leading double quote makes it a note
// on the current method or node; otherwise its first space-separated field is
// a hexadecimal line, and 0 (or no number) means the note is ignored. Both are
// read straight off the stream, exactly as if the text had been taken whole.
void parse_note(TraceStream& stream, TdfRecord& record) {
  int c = stream_get(stream);
  if (c == '"') {
    record.kind = TDF_NO_CURRENT;
    skip_rest_of_line(stream);
    return;
  }
  NumberScan number(16);
  bool in_first_field = true;  // false past the first space or a NUL
  auto take = [&](int ch) {
    if (ch == '\n') return false;
    if (!in_first_field) return true;
    if (ch == ' ' || ch == 0) {
      in_first_field = false;
    } else {
      number.feed(ch);
    }
    return true;
  };
  if (c >= 0 && take(c)) stream_scan(stream, take);
  record.line = static_cast<int32_t>(number.result());
  record.kind = record.line != 0 ? TDF_NO_LINE : TDF_IGNORED;
}

// The reader switches drivers, and takes the new one's array of lines.
void set_driver(TdfReader& reader, int32_t driver) {
  reader.current_driver = driver;
  reader.driver_lines = node_lines(driver);
  reader.lines_driver = driver;
}

// node_find(reader.current_driver, line): nearly every record names a line of
// the current driver, which the driver's array holds.
inline TraceNode* find_line(const TdfReader& reader, int32_t line) {
  const NodeLines& lines = reader.driver_lines;
  if (reader.lines_driver == reader.current_driver && static_cast<uint32_t>(line) < lines.count) {
    TraceNode* node = lines.lines[line];
    if (node != nullptr) return node;
  }
  return node_find(reader.current_driver, line);
}

// Counts an evaluation on a node under the current node: the model itself when
// it is a child there, else an equal child made earlier, else a new copy.
__attribute__((always_inline)) inline void record_on_line(TdfReader& reader, int32_t line) {
  TraceNode* parent = reader.current_node;
  if (parent == nullptr) return;  // nothing to find or copy under
  TraceNode* model = find_line(reader, line);
  if (model == nullptr) return;
  // Most evaluations name a node declared right under the current one; the
  // model is then the child the sibling-match lookup would find first.
  TraceNode* target = model->parent == parent ? model : node_find_child(parent, model);
  if (target == nullptr) {
    target = node_clone_child(parent, model);
    set_driver(reader, reader.current_driver);  // the index may have moved its array
  }
  node_record_outcome(target, reader.current_outcome);
}

// Turns a method's parent into a Stub (once; later stub calls find it one).
void mark_stub(TraceNode* node) {
  if (node->type != TYPE_STUB) node_set_type(node, TYPE_STUB);
}

// Statuses that mark the method being noted as a stub call.
bool status_marks_stub(int32_t status) {
  return status == 100 || status == 101 || status == 157;
}

// The fast road of the record parse: most lines are a known code, a space
// and plain hexadecimal fields, each ended by exactly the character the
// scanners stop at, and lie whole in the block. Such a line is read here in
// one pass over its bytes; any other (a carriage return, 0x1A or NUL, a field
// with other characters or over eight digits, a line that runs past the
// block) leaves the stream untouched and returns false, and the scanners read
// it. On every line it accepts, the result is the scanners' own.
using Byte = unsigned char;

// The digits of a field near the block's end, one at a time; rare, so kept
// out of the line's code.
__attribute__((noinline)) bool span_hex_tail(const Byte*& p, const Byte* end, Byte delimiter,
                                             int32_t& out) {
  uint32_t value = 0;
  for (int digits = 0; p != end; ++digits) {
    const Byte c = *p++;
    const unsigned digit = kDigitValue[c];
    if (digit < 16 && digits < 8) {
      value = value * 16 + digit;
      continue;
    }
    if (c != delimiter) return false;
    out = static_cast<int32_t>(value);
    return true;
  }
  return false;
}

// Digits up to `delimiter`, which is consumed.
inline bool span_hex(const Byte*& p, const Byte* end, Byte delimiter, int32_t& out) {
  if (!kSpanWords || end - p <= 8) return span_hex_tail(p, end, delimiter, out);
  // The digits and their delimiter are at hand. A field of three digits or
  // fewer (nearly every line and status) ends within four bytes.
  const uint32_t first = span::load32(p);
  const uint32_t not_digits = ~span::hex_digits(first) & 0x80808080u;
  if (not_digits != 0) {
    const int digits = __builtin_ctz(not_digits) / 8;
    if (p[digits] != delimiter) return false;
    out = digits != 0 ? static_cast<int32_t>(span::hex_value32(first, digits)) : 0;
    p += digits + 1;
    return true;
  }
  const uint64_t word = span::load(p);
  const uint64_t others = ~span::hex_digits(word) & span::kHigh;
  const int digits = others != 0 ? __builtin_ctzll(others) / 8 : 8;
  if (p[digits] != delimiter) return false;
  out = digits != 0 ? static_cast<int32_t>(span::hex_value(word, digits)) : 0;
  p += digits + 1;
  return true;
}

// The rest of a line near the block's end.
__attribute__((noinline)) bool span_skip_tail(const Byte*& p, const Byte* end) {
  while (p != end) {
    const Byte c = *p++;
    if (c == '\n') return true;
    if (c == 0x1A) return false;
  }
  return false;
}

// Up to and including the line feed. Carriage returns and NULs in skipped
// text change nothing; only 0x1A (the end of the data) stops the fast road.
// Most skipped texts are short notes: sixteen bytes at a time take nearly
// all in one step, where eight at a time would go round once or twice as the
// lengths come.
inline bool span_skip_line(const Byte*& p, const Byte* end) {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1A))));
    if (found != 0) {
      p += __builtin_ctz(static_cast<unsigned>(found));
      return *p++ == '\n';
    }
  }
#endif
  for (; kSpanWords && end - p >= 8; p += 8) {
    const uint64_t word = span::load(p);
    const uint64_t found = span::first_equal(word, '\n') | span::first_equal(word, 0x1A);
    if (found != 0) {
      p += __builtin_ctzll(found) / 8;
      return *p++ == '\n';
    }
  }
  return span_skip_tail(p, end);
}

// Reads a plain line into `record` and hands it to `take` at once, from the
// branch that knows its kind: the reading loop applies it there, so that the
// kind of each record is decided once, not once to read it and again to apply
// it. False (with the stream untouched) for every line the scanners must read.
template <class Take>
inline bool span_read_record(TraceStream& stream, TdfRecord& record, const Take& take) {
  const Byte* p = stream.pos;
  const Byte* const end = stream.end;
  if (end - p < 4 || p[2] != ' ') return false;
  const uint32_t code = record_code(static_cast<char>(p[0]), static_cast<char>(p[1]));
  p += 3;
  auto done = [&]() __attribute__((always_inline)) {
    stream.pos = p;
    take(record);
    return true;
  };
  switch (code) {
    case record_code('N', 'O'):
      if (*p == '"') {
        if (!span_skip_line(p, end)) return false;
        record.kind = TDF_NO_CURRENT;
        return done();
      }
      // The first field is the line; the rest of the text is not looked at.
      if (*p == '\n') {
        ++p;
        record.line = 0;
        record.kind = TDF_IGNORED;
        return done();
      }
      if (!span_hex(p, end, ' ', record.line) || !span_skip_line(p, end)) return false;
      record.kind = record.line != 0 ? TDF_NO_LINE : TDF_IGNORED;
      return done();
    case record_code('G', 'L'):
      if (!span_hex(p, end, ' ', record.status) || !span_hex(p, end, '\n', record.line)) {
        return false;
      }
      record.kind = TDF_GL;
      return done();
    case record_code('S', 'T'):
      if (!span_hex(p, end, '\n', record.status)) return false;
      record.kind = TDF_ST;
      return done();
    case record_code('C', 'I'):
      if (!span_hex(p, end, '\n', record.instance)) return false;
      record.kind = TDF_CI;
      return done();
    case record_code('N', 'I'):
      if (!span_hex(p, end, ' ', record.line) || !span_hex(p, end, '\n', record.instance)) {
        return false;
      }
      record.kind = TDF_NI;
      return done();
    case record_code('M', 'E'): {
      int32_t unused;
      if (!span_hex(p, end, ' ', record.line) || !span_hex(p, end, '\n', unused)) return false;
      record.kind = TDF_ME;
      return done();
    }
    case record_code('M', 'R'):
      if (!span_skip_line(p, end)) return false;
      record.kind = TDF_MR;
      return done();
    default:
      return false;  // rare codes, and bytes the scanners must judge
  }
}

}  // namespace

TdfRecord tdf_scan_record(TraceStream& stream) {
  TdfRecord record;
  // Most records end in one or two hexadecimal fields: the first ends at a
  // space, the last ends the line.
  auto hex = [&](TdfKind kind, int32_t& last) {
    record.kind = kind;
    last = scan_hex(stream, '\n');
  };
  auto hex_pair = [&](TdfKind kind, int32_t& first, int32_t& last) {
    record.kind = kind;
    first = scan_hex(stream, ' ');
    last = scan_hex(stream, '\n');
  };
  int32_t unused;  // the second number of an "ME" line
  switch (scan_record_code(stream)) {
    case record_code('S', 'F'):
      record.kind = TDF_SF;
      record.run = scan_number(stream, ' ', 16);
      record.sig1 = scan_number(stream, ' ', 16);
      record.sig2 = scan_number(stream, '\n', 16);
      break;
    case record_code('C', 'S'):
      record.kind = TDF_CS;
      record.run = scan_number(stream, '\n', 16);
      break;
    case record_code('N', 'I'):
      hex_pair(TDF_NI, record.line, record.instance);
      break;
    case record_code('S', 'T'):
      hex(TDF_ST, record.status);
      break;
    case record_code('N', 'O'):
      parse_note(stream, record);
      break;
    case record_code('C', 'I'):
      hex(TDF_CI, record.instance);
      break;
    case record_code('G', 'L'):
      hex_pair(TDF_GL, record.status, record.line);
      break;
    case record_code('M', 'E'):
      hex_pair(TDF_ME, record.line, unused);
      break;
    case record_code('M', 'R'):
      record.kind = TDF_MR;
      skip_rest_of_line(stream);
      break;
    default:
      skip_rest_of_line(stream);
      break;
  }
  return record;
}

TdfRecord tdf_parse_record(TraceStream& stream) {
  // One record object on both roads: a copy between two would be written
  // field by field and read back in wider words, which stalls the store
  // buffer on every record.
  TdfRecord record;
  if (!span_read_record(stream, record, [](const TdfRecord&) {})) record = tdf_scan_record(stream);
  return record;
}

int status_to_outcome(int32_t status) {
  switch (status) {
    case 0x64:
      return OUTCOME_ENTERED;
    case 0x65:
    case 0x96:
    case 0x9A:
      return OUTCOME_PASSED;
    case 0x97:
    case 0x9B:
    case 0x9D:
    case 0xA2:
    case 0xA4:
      return OUTCOME_FAILED;
    case 0xA5:
      return OUTCOME_EXECUTED;
    default:
      return 0;
  }
}

void instance_add(TdfReader& reader, int32_t line, int32_t instance, int32_t driver) {
  // An entry announced before stays where it is, even when newer entries of
  // the same instance now hide it.
  reader.instances.add(line, instance, driver);
}

int32_t instance_line(const TdfReader& reader, int32_t instance) {
  const InstanceTable::Entry* newest = reader.instances.newest(instance);
  return newest == nullptr ? -1 : newest->line;
}

int32_t instance_driver(const TdfReader& reader, int32_t instance) {
  const InstanceTable::Entry* newest = reader.instances.newest(instance);
  return newest == nullptr ? -1 : newest->driver;
}

void node_stack_push(TdfReader& reader, TraceNode* node) {
  reader.node_stack.push_back(node);
}

TraceNode* node_stack_pop(TdfReader& reader) {
  if (reader.node_stack.empty()) return nullptr;
  TraceNode* node = reader.node_stack.back();
  reader.node_stack.pop_back();
  return node;
}

namespace {

// Inlined where the record is read, so that the kind the reading branch knows
// picks the effect with no second decision.
__attribute__((always_inline)) inline void apply_record(TdfReader& reader,
                                                        const TdfRecord& record) {
  switch (record.kind) {
    case TDF_SF:
      driver_bind_run(record.run, record.sig1, record.sig2);
      set_driver(reader, driver_by_run(record.run));
      break;
    case TDF_CS:
      set_driver(reader, driver_by_run(record.run));
      break;
    case TDF_NI:
      instance_add(reader, record.line, record.instance, reader.current_driver);
      reader.current_node = find_line(reader, record.line);
      break;
    case TDF_CI: {
      // An unknown instance gives driver and line -1, which name no node.
      const InstanceTable::Entry* newest = reader.instances.newest(record.instance);
      reader.current_node = newest == nullptr ? nullptr : node_find(newest->driver, newest->line);
      break;
    }
    case TDF_ST:
      reader.current_outcome = status_to_outcome(record.status);
      reader.current_status = record.status;
      break;
    case TDF_NO_LINE:
      record_on_line(reader, record.line);
      break;
    case TDF_GL:
      reader.current_outcome = status_to_outcome(record.status);
      reader.current_status = record.status;
      record_on_line(reader, record.line);
      break;
    case TDF_NO_CURRENT:
      if (reader.method_node != nullptr) {
        node_record_outcome(reader.method_node, reader.current_outcome);
        if (status_marks_stub(reader.current_status) && reader.method_node->parent != nullptr) {
          mark_stub(reader.method_node->parent);
        }
      } else if (reader.current_node != nullptr) {
        node_record_outcome(reader.current_node, reader.current_outcome);
      }
      break;
    case TDF_ME:
      node_stack_push(reader, reader.current_node);
      reader.method_node = find_line(reader, record.line);
      break;
    case TDF_MR:
      // An empty stack (no well-formed trace has one here) leaves no current node.
      reader.current_node = node_stack_pop(reader);
      reader.method_node = nullptr;
      break;
    case TDF_IGNORED:
      break;
  }
}

// One step of the reading loop, inlined there and behind tdf_read_record.
__attribute__((always_inline)) inline void read_record(TdfReader& reader, TraceStream& stream) {
  TdfRecord record;
  auto apply = [&reader](const TdfRecord& r) __attribute__((always_inline)) {
    apply_record(reader, r);
  };
  if (!span_read_record(stream, record, apply)) apply_record(reader, tdf_scan_record(stream));
}

}  // namespace

void tdf_apply_record(TdfReader& reader, const TdfRecord& record) {
  apply_record(reader, record);
}

void tdf_read_record(TdfReader& reader, TraceStream& stream) {
  read_record(reader, stream);
}

int tdf_read_stream(TraceStream& stream) {
  TdfReader reader;
  // The read that meets the end after the last line yields an empty code,
  // which is ignored like any unknown one.
  while (!stream.eof) read_record(reader, stream);
  return stream.failed ? -1 : 0;
}

int tdf_read_buffer(const char* data, size_t size) {
  TraceStream stream;
  stream_open_buffer(stream, data, size);
  return tdf_read_stream(stream);
}

int tdf_read(const char* path) {
  TraceStream stream;
  if (!stream_open_file(stream, path)) return -1;
  return tdf_read_stream(stream);
}
