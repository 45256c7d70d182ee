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
  for (; c != '\n' && c >= 0; c = stream_get(stream)) {
    if (!in_first_field) continue;
    if (c == ' ' || c == 0) {
      in_first_field = false;
    } else {
      number.feed(c);
    }
  }
  record.line = static_cast<int32_t>(number.result());
  record.kind = record.line != 0 ? TDF_NO_LINE : TDF_IGNORED;
}

constexpr size_t kMemoSize = size_t{1} << 14;

TdfReader::Memo& memo_slot(std::vector<TdfReader::Memo>& memo, const TraceNode* parent,
                           int32_t driver, int32_t line) {
  if (memo.empty()) memo.resize(kMemoSize);
  uint64_t h = reinterpret_cast<uintptr_t>(parent);
  h = (h ^ static_cast<uint32_t>(driver)) * 0x9E3779B97F4A7C15ull;
  h = (h ^ static_cast<uint32_t>(line)) * 0x9E3779B97F4A7C15ull;
  return memo[(h >> 40) & (kMemoSize - 1)];
}

bool memo_holds(const TdfReader::Memo& slot, const TraceNode* parent, int32_t driver, int32_t line,
                uint32_t generation) {
  return slot.generation == generation && slot.parent == parent && slot.driver == driver &&
         slot.line == line;
}

// node_find through the memo.
TraceNode* find_node(TdfReader& reader, int32_t driver, int32_t line) {
  TdfReader::Memo& slot = memo_slot(reader.found_memo, nullptr, driver, line);
  if (memo_holds(slot, nullptr, driver, line, 1)) return slot.node;
  slot = TdfReader::Memo{nullptr, driver, line, 1, node_find(driver, line)};
  return slot.node;
}

// Counts an evaluation on a node under the current node: the model itself when
// it is a child there, else an equal child made earlier, else a new copy.
void record_on_line(TdfReader& reader, int32_t line) {
  TraceNode* parent = reader.current_node;
  if (parent == nullptr) return;  // nothing to find or copy under
  TdfReader::Memo& slot = memo_slot(reader.target_memo, parent, reader.current_driver, line);
  if (memo_holds(slot, parent, reader.current_driver, line, reader.generation)) {
    node_record_outcome(slot.node, reader.current_outcome);
    return;
  }
  TraceNode* model = find_node(reader, reader.current_driver, line);
  if (model == nullptr) return;
  TraceNode* target = node_find_child(parent, model);
  if (target == nullptr) target = node_clone_child(parent, model);
  if (target == nullptr) return;
  slot = TdfReader::Memo{parent, reader.current_driver, line, reader.generation, target};
  node_record_outcome(target, reader.current_outcome);
}

// Turns a method's parent into a Stub; a real change may change which child
// equals a model, so the kept answers of node_find_child are dropped.
void mark_stub(TdfReader& reader, TraceNode* node) {
  if (node->type == TYPE_STUB) return;
  node_set_type(node, TYPE_STUB);
  ++reader.generation;
}

// Statuses that mark the method being noted as a stub call.
bool status_marks_stub(int32_t status) { return status == 100 || status == 101 || status == 157; }

}  // namespace

size_t TdfReader::TripleHash::operator()(const Triple& t) const {
  uint64_t h = static_cast<uint32_t>(t.line);
  h = h * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(t.instance);
  h = h * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(t.driver);
  h *= 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h ^ (h >> 32));
}

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
    case 0x64: return OUTCOME_ENTERED;
    case 0x65:
    case 0x96:
    case 0x9A: return OUTCOME_PASSED;
    case 0x97:
    case 0x9B:
    case 0x9D:
    case 0xA2:
    case 0xA4: return OUTCOME_FAILED;
    case 0xA5: return OUTCOME_EXECUTED;
    default: return 0;
  }
}

void instance_add(TdfReader& reader, int32_t line, int32_t instance, int32_t driver) {
  // An entry announced before stays where it is, even when newer entries of
  // the same instance now hide it.
  if (!reader.instances.insert(TdfReader::Triple{line, instance, driver}).second) return;
  reader.newest_instance[instance] = TdfReader::Newest{line, driver};
}

int32_t instance_line(const TdfReader& reader, int32_t instance) {
  auto found = reader.newest_instance.find(instance);
  return found == reader.newest_instance.end() ? -1 : found->second.line;
}

int32_t instance_driver(const TdfReader& reader, int32_t instance) {
  auto found = reader.newest_instance.find(instance);
  return found == reader.newest_instance.end() ? -1 : found->second.driver;
}

void node_stack_push(TdfReader& reader, TraceNode* node) { reader.node_stack.push_back(node); }

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
    case TDF_CI:
      reader.current_node = find_node(reader, instance_driver(reader, record.instance),
                                      instance_line(reader, record.instance));
      break;
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
