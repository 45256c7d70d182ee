// Reader of trace static files (TSF): declares test drivers and their nodes in the model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "readers/trace_stream.h"

enum TsfCode {
  TSF_OTHER = 0,  // any code not below, the empty one included
  TSF_DB,
  TSF_SI,
  TSF_IN,
  TSF_ID,
  TSF_ED,
  TSF_TX,
  TSF_MS,
  TSF_SO,
  TSF_LK,
};

// One record. `kind` is set by "IN"; `text` holds the name ("IN"), the
// escaped text ("TX", "MS") or the source ("SO"). Absent fields are 0 / empty.
struct TsfRecord {
  TsfCode code = TSF_OTHER;
  int32_t line = 0;
  std::string kind;
  std::string text;
  uint32_t sig1 = 0;
  uint32_t sig2 = 0;
  int32_t number = 0;
};

// Reads one record and leaves the stream at the start of the next line.
TsfRecord tsf_parse_record(TraceStream& stream);
// The same into an existing record, whose text buffers are reused.
void tsf_parse_record_into(TraceStream& stream, TsfRecord& record);

// The node type a "TX" text makes: Print, Comment or Check Expression.
int tsf_text_type(const std::string& text);

// Reads the TSF file at `path` into the model, numbering its test drivers from
// *driver_counter on and advancing it. 0 when read to its end, -1 when the file
// cannot be opened (a directory cannot) or a read fails on the way.
int tsf_read(const char* path, int32_t* driver_counter);

// The same over `size` bytes at `data`; `path` (may be null) is the source
// name a driver gets when no "SO" record gave one.
int tsf_read_buffer(const char* data, size_t size, const char* path, int32_t* driver_counter);

// The same over an open stream.
int tsf_read_stream(TraceStream& stream, const char* path, int32_t* driver_counter);
