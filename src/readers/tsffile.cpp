// Reader of trace static files (TSF): record layouts and the records' effect on the model.
#include "readers/tsffile.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model/node_types.h"
#include "model/tree.h"
#include "readers/scanner.h"

namespace {

TsfCode code_of(uint32_t packed) {
  // In the order of TsfCode, from TSF_DB on.
  static const char kCodes[][3] = {"DB", "SI", "IN", "ID", "ED", "TX", "MS", "SO", "LK"};
  for (int k = 0; k < 9; ++k) {
    if (packed == record_code(kCodes[k][0], kCodes[k][1])) return static_cast<TsfCode>(TSF_DB + k);
  }
  return TSF_OTHER;
}

// The node type of an "IN" kind; 0 for kinds that declare nothing.
int kind_type(const std::string& kind) {
  if (kind == "File") return TYPE_TEST_DRIVER;
  if (kind == "TestSuite") return TYPE_TEST_SUITE;
  if (kind == "TestCase") return TYPE_TEST_CASE;
  if (kind == "TestStub") return TYPE_STUB;
  if (kind == "Class") return TYPE_TEST_CLASS;
  return 0;
}

}  // namespace

int tsf_text_type(const std::string& text) {
  // One pass over the text for all five words: a print word anywhere wins
  // over "createTimer" anywhere. A place is a candidate for a word when its
  // first and fifth bytes match; sixteen places are tested at once where
  // SSE2 is there, and most texts hold no candidate at all.
  static constexpr std::string_view kWords[] = {"verifyLogMessage", "entermethod", "exitmethod",
                                                "timerStart", "createTimer"};
  constexpr std::size_t kShortest = 10;
  const char* const data = text.data();
  const std::size_t size = text.size();
  bool comment = false;
  // True when word `w` stands at `i` and decides the type there and then.
  auto found = [&](std::size_t i, int w) {
    const std::string_view word = kWords[w];
    if (size - i < word.size() || std::memcmp(data + i, word.data(), word.size()) != 0) {
      return false;
    }
    if (w < 4) return true;
    comment = true;
    return false;
  };
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 20 <= size; i += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i fifth = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 4));
    unsigned places[5];
    unsigned any = 0;
    for (int w = 0; w < 5; ++w) {
      const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(first, _mm_set1_epi8(kWords[w][0])),
                                         _mm_cmpeq_epi8(fifth, _mm_set1_epi8(kWords[w][4])));
      places[w] = static_cast<unsigned>(_mm_movemask_epi8(both));
      any |= places[w];
    }
    if (any == 0) continue;
    for (int w = 0; w < 5; ++w) {
      for (unsigned bits = places[w]; bits != 0; bits &= bits - 1) {
        if (found(i + static_cast<std::size_t>(__builtin_ctz(bits)), w)) return TYPE_PRINT;
      }
    }
  }
#endif
  for (; i + kShortest <= size; ++i) {
    for (int w = 0; w < 5; ++w) {
      if (data[i] == kWords[w][0] && data[i + 4] == kWords[w][4] && found(i, w)) return TYPE_PRINT;
    }
  }
  return comment ? TYPE_COMMENT : TYPE_CHECK_EXPRESSION;
}

void tsf_parse_record_into(TraceStream& stream, TsfRecord& record) {
  record.code = code_of(scan_record_code(stream));
  record.line = 0;
  record.kind.clear();
  record.text.clear();
  record.sig1 = record.sig2 = 0;
  record.number = 0;
  switch (record.code) {
    case TSF_SI:
      record.line = static_cast<int32_t>(scan_number(stream, '\n', 16));
      break;
    case TSF_IN:
      scan_quoted_into(stream, record.kind);
      skip_char(stream);
      record.line = static_cast<int32_t>(scan_number(stream, ' ', 16));
      scan_quoted_into(stream, record.text);
      skip_rest_of_line(stream);
      break;
    case TSF_ID:
      record.sig1 = scan_number(stream, ' ', 16);
      record.sig2 = scan_number(stream, '\n', 16);
      break;
    case TSF_TX:
    case TSF_MS:
      record.line = static_cast<int32_t>(scan_number(stream, ' ', 10));
      skip_char(stream);
      scan_escaped_text_into(stream, "\n", record.text);
      break;
    case TSF_SO:
      skip_char(stream);
      scan_token_into(stream, '"', record.text);
      skip_rest_of_line(stream);
      break;
    case TSF_LK:
      // The token goes through kind as scratch; it is not part of the record.
      scan_token_into(stream, '\n', record.kind);
      record.number = decimal_from_text(record.kind.c_str());
      record.kind.clear();
      break;
    case TSF_DB:
    case TSF_ED:
    case TSF_OTHER:
      skip_rest_of_line(stream);
      break;
  }
}

TsfRecord tsf_parse_record(TraceStream& stream) {
  TsfRecord record;
  tsf_parse_record_into(stream, record);
  return record;
}

int tsf_read_stream(TraceStream& stream, const char* path, int32_t* driver_counter) {
  int32_t own_counter = 0;
  int32_t& counter = driver_counter != nullptr ? *driver_counter : own_counter;
  int32_t parent_line = 1;
  bool has_pending_source = false;
  std::string pending_source;
  int32_t current_value = 0;
  TsfRecord record;
  // The read that meets the end after the last line yields an empty code,
  // which is skipped like any unknown one.
  while (!stream.eof) {
    tsf_parse_record_into(stream, record);
    switch (record.code) {
      case TSF_IN: {
        int type = kind_type(record.kind);
        if (type == TYPE_TEST_DRIVER) {
          driver_open(counter, record.line, record.text.c_str());
          driver_set_names(counter, nullptr, has_pending_source ? pending_source.c_str() : path);
          has_pending_source = false;
          pending_source.clear();
          parent_line = record.line;
        } else if (type != 0) {
          node_add_child(counter, type, record.line, record.text.c_str(), parent_line, 0);
          // Even when the parent was unknown and nothing was made.
          parent_line = record.line;
        }
        break;
      }
      case TSF_SI:
        parent_line = record.line;
        break;
      case TSF_ID:
        driver_set_sigs(counter, record.sig1, record.sig2);
        break;
      case TSF_ED:
        ++counter;
        break;
      case TSF_SO:
        has_pending_source = true;
        pending_source.swap(record.text);
        break;
      case TSF_LK:
        current_value = record.number;
        break;
      case TSF_TX:
        node_add_child(counter, tsf_text_type(record.text), record.line, record.text.c_str(),
                       parent_line, current_value);
        break;
      case TSF_MS:
        node_add_child(counter, TYPE_CHECK_EXPRESSION, record.line, record.text.c_str(),
                       parent_line, current_value);
        break;
      case TSF_DB:
      case TSF_OTHER:
        break;
    }
  }
  return stream.failed ? -1 : 0;
}

int tsf_read_buffer(const char* data, size_t size, const char* path, int32_t* driver_counter) {
  TraceStream stream;
  stream_open_buffer(stream, data, size);
  return tsf_read_stream(stream, path, driver_counter);
}

int tsf_read(const char* path, int32_t* driver_counter) {
  TraceStream stream;
  if (!stream_open_file(stream, path)) return -1;
  return tsf_read_stream(stream, path, driver_counter);
}
