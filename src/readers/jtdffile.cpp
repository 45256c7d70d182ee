// Reader of the trace dynamic file (TDF): record layouts, run binding, instances,
// the node stack, and the recording of outcomes on nodes and their copies.
#include "readers/jtdffile.h"

#include "model/node_types.h"
#include "model/tree.h"
#include "readers/number_scan.h"
#include "readers/scanner.h"

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

// The memo slot of a key; the memo gets its slots on first use.
template <typename Slot>
Slot& memo_slot(const TdfReader& reader, std::vector<Slot>& memo, const TraceNode* parent,
                int32_t driver, int32_t line) {
  if (memo.empty()) memo.resize(reader.memo_mask + 1);
  uint64_t h = reinterpret_cast<uintptr_t>(parent);
  h = (h ^ static_cast<uint32_t>(driver)) * 0x9E3779B97F4A7C15ull;
  h = (h ^ static_cast<uint32_t>(line)) * 0x9E3779B97F4A7C15ull;
  return memo[(h >> 40) & reader.memo_mask];
}

// Grows whenever a type change may change the first child of `parent` that
// equals `model`: a change of the model itself or of one of parent's children.
uint32_t match_version(const TdfReader& reader, const TraceNode* parent, const TraceNode* model) {
  if (reader.type_changes.empty()) return 0;
  uint32_t version = 0;
  for (const TraceNode* node : {parent, model}) {
    auto found = reader.type_changes.find(node);
    if (found != reader.type_changes.end()) version += found->second;
  }
  return version;
}

// node_find through the memo.
TraceNode* find_node(TdfReader& reader, int32_t driver, int32_t line) {
  TdfReader::FoundMemo& slot = memo_slot(reader, reader.found_memo, nullptr, driver, line);
  if (slot.used && slot.driver == driver && slot.line == line) return slot.node;
  slot = TdfReader::FoundMemo{node_find(driver, line), driver, line, true};
  return slot.node;
}

// Whether a kept first equal child is still the answer. Without a type change
// since it was last checked it is; otherwise the versions tell.
bool target_still_valid(TdfReader& reader, TdfReader::TargetMemo& slot) {
  if (slot.checked_at == reader.type_change_count) return true;
  if (match_version(reader, slot.parent, slot.model) != slot.version) return false;
  slot.checked_at = reader.type_change_count;
  return true;
}

// Counts an evaluation on a node under the current node: the model itself when
// it is a child there, else an equal child made earlier, else a new copy.
void record_on_line(TdfReader& reader, int32_t line) {
  TraceNode* parent = reader.current_node;
  if (parent == nullptr) return;  // nothing to find or copy under
  const int32_t driver = reader.current_driver;
  TdfReader::TargetMemo& slot = memo_slot(reader, reader.target_memo, parent, driver, line);
  if (slot.parent == parent && slot.driver == driver && slot.line == line &&
      target_still_valid(reader, slot)) {
    node_record_outcome(slot.node, reader.current_outcome);
    return;
  }
  TraceNode* model = find_node(reader, driver, line);
  if (model == nullptr) return;
  TraceNode* target = node_find_child(parent, model);
  if (target == nullptr) target = node_clone_child(parent, model);
  if (target == nullptr) return;
  slot = TdfReader::TargetMemo{parent,
                               target,
                               model,
                               driver,
                               line,
                               match_version(reader, parent, model),
                               reader.type_change_count};
  node_record_outcome(target, reader.current_outcome);
}

// Turns a method's parent into a Stub. The node may be a model, and a child
// of its own parent, whose equal children change with it.
void mark_stub(TdfReader& reader, TraceNode* node) {
  if (node->type == TYPE_STUB) return;
  node_set_type(node, TYPE_STUB);
  ++reader.type_changes[node];
  if (node->parent != nullptr) ++reader.type_changes[node->parent];
  ++reader.type_change_count;
}

// Statuses that mark the method being noted as a stub call.
bool status_marks_stub(int32_t status) {
  return status == 100 || status == 101 || status == 157;
}

}  // namespace

TdfRecord tdf_parse_record(TraceStream& stream) {
  TdfRecord record;
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
      record.kind = TDF_NI;
      record.line = scan_hex(stream, ' ');
      record.instance = scan_hex(stream, '\n');
      break;
    case record_code('S', 'T'):
      record.kind = TDF_ST;
      record.status = scan_hex(stream, '\n');
      break;
    case record_code('N', 'O'):
      parse_note(stream, record);
      break;
    case record_code('C', 'I'):
      record.kind = TDF_CI;
      record.instance = scan_hex(stream, '\n');
      break;
    case record_code('G', 'L'):
      record.kind = TDF_GL;
      record.status = scan_hex(stream, ' ');
      record.line = scan_hex(stream, '\n');
      break;
    case record_code('M', 'E'):
      record.kind = TDF_ME;
      record.line = scan_hex(stream, ' ');
      scan_hex(stream, '\n');  // a second number, not used
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
  const InstanceTable::Slot* newest = reader.instances.newest(instance);
  return newest == nullptr ? -1 : newest->line;
}

int32_t instance_driver(const TdfReader& reader, int32_t instance) {
  const InstanceTable::Slot* newest = reader.instances.newest(instance);
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

void tdf_apply_record(TdfReader& reader, const TdfRecord& record) {
  switch (record.kind) {
    case TDF_SF:
      driver_bind_run(record.run, record.sig1, record.sig2);
      reader.current_driver = driver_by_run(record.run);
      break;
    case TDF_CS:
      reader.current_driver = driver_by_run(record.run);
      break;
    case TDF_NI:
      instance_add(reader, record.line, record.instance, reader.current_driver);
      reader.current_node = find_node(reader, reader.current_driver, record.line);
      break;
    case TDF_CI: {
      // An unknown instance gives driver and line -1, which name no node.
      const InstanceTable::Slot* newest = reader.instances.newest(record.instance);
      reader.current_node =
          newest == nullptr ? nullptr : find_node(reader, newest->driver, newest->line);
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
          mark_stub(reader, reader.method_node->parent);
        }
      } else if (reader.current_node != nullptr) {
        node_record_outcome(reader.current_node, reader.current_outcome);
      }
      break;
    case TDF_ME:
      node_stack_push(reader, reader.current_node);
      reader.method_node = find_node(reader, reader.current_driver, record.line);
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

int tdf_read_stream(TraceStream& stream) {
  TdfReader reader;
  // About one memo slot per 32 bytes of input, from 256 to 65536 slots.
  while (reader.memo_mask < 65535 && (reader.memo_mask + 1) * 32 < stream.size) {
    reader.memo_mask = reader.memo_mask * 2 + 1;
  }
  // The read that meets the end after the last line yields an empty code,
  // which is ignored like any unknown one.
  while (!stream.eof) tdf_apply_record(reader, tdf_parse_record(stream));
  return 0;
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
