// Reader of the trace dynamic file (TDF): binds runs to drivers and records outcomes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/tree.h"
#include "readers/instance_table.h"
#include "readers/trace_stream.h"

enum TdfKind {
  TDF_IGNORED = 0,
  TDF_SF,
  TDF_CS,
  TDF_NI,
  TDF_ST,
  TDF_NO_LINE,     // a note on the node at `line`
  TDF_NO_CURRENT,  // a quoted note on the current method or node
  TDF_CI,
  TDF_GL,
  TDF_ME,
  TDF_MR,
};

// One record: the numbers its layout has, the others 0. All are hexadecimal
// in the file.
struct TdfRecord {
  TdfKind kind = TDF_IGNORED;
  uint32_t run = 0;
  uint32_t sig1 = 0;
  uint32_t sig2 = 0;
  int32_t line = 0;
  int32_t instance = 0;
  int32_t status = 0;
};

// The state of one read. Instances are looked up newest first through flat
// hash tables, so neither lookup walks a list.
struct TdfReader {
  int32_t current_driver = -1;
  // The nodes by line of driver `lines_driver`, taken when the reader changes
  // drivers and again after it indexes a copy (null: none taken yet).
  NodeLines driver_lines;
  int32_t lines_driver = -1;
  TraceNode* current_node = nullptr;
  TraceNode* method_node = nullptr;
  int current_outcome = 0;
  int32_t current_status = 0;
  std::vector<TraceNode*> node_stack;
  InstanceTable instances;
};

// Reads one record and leaves the stream at the start of the next line.
// Plain lines that lie whole in the block are read in one pass over their
// bytes; every other line goes to tdf_scan_record, which reads any line with
// the scanners' rules. Both give the same record and stop at the same byte.
TdfRecord tdf_parse_record(TraceStream& stream);
TdfRecord tdf_scan_record(TraceStream& stream);

// The outcome code a status number maps to; 0 for an event without outcome.
int status_to_outcome(int32_t status);

// The instance list: a new newest entry unless the same three values were
// announced before; the line / driver of an instance's newest entry, or -1.
void instance_add(TdfReader& reader, int32_t line, int32_t instance, int32_t driver);
int32_t instance_line(const TdfReader& reader, int32_t instance);
int32_t instance_driver(const TdfReader& reader, int32_t instance);

// The node stack has no fixed depth; popping an empty stack gives none.
void node_stack_push(TdfReader& reader, TraceNode* node);
TraceNode* node_stack_pop(TdfReader& reader);

// Applies one record to the reader state and the model.
void tdf_apply_record(TdfReader& reader, const TdfRecord& record);
// Reads one record and applies it: the same as
// tdf_apply_record(reader, tdf_parse_record(stream)), with each plain line
// applied by the branch that read it.
void tdf_read_record(TdfReader& reader, TraceStream& stream);

// Reads the TDF file at `path` and merges it into the model. 0 when read to
// its end, -1 when the file cannot be opened (a directory cannot) or a read
// fails on the way.
int tdf_read(const char* path);

// The same over `size` bytes at `data`, and over an open stream.
int tdf_read_buffer(const char* data, size_t size);
int tdf_read_stream(TraceStream& stream);
