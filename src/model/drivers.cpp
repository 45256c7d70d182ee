// The test-driver list: opening drivers, their names and words, run binding and lookups.
#include "model/model_state.h"

namespace {
DriverEntry* push_entry(int32_t number) {
  TraceModel& m = model();
  m.drivers.emplace_back();
  DriverEntry* e = &m.drivers.back();
  e->number = number;
  e->seq = m.next_driver_seq++;
  e->next = m.head;
  m.head = e;
  m.by_number[number] = e;  // the newest entry with this number
  m.by_sigs[{0, 0}].insert(e);
  m.unbound.insert(e);
  return e;
}

DriverEntry* newest_with_number(int32_t number) {
  TraceModel& m = model();
  auto it = m.by_number.find(number);
  return it == m.by_number.end() ? nullptr : it->second;
}

void set_run(DriverEntry* e, uint32_t run_id) {
  TraceModel& m = model();
  if (run_id == 0) return;
  m.unbound.erase(e);
  e->run_id = run_id;
  auto found = m.by_run.find(run_id);
  if (found == m.by_run.end()) {
    m.by_run.emplace(run_id, TraceModel::RunBinding{e->number, e->seq});
  } else if (found->second.seq < e->seq) {
    found->second = TraceModel::RunBinding{e->number, e->seq};
  }
}
}  // namespace

void driver_open(int32_t number, int32_t line, const char* text) {
  DriverEntry* e = push_entry(number);
  e->root = node_create(TYPE_TEST_DRIVER, number, line, text, nullptr, 0);
  node_index_add(e->root);
  model().rooted.push_back(e);
}

void driver_set_names(int32_t number, const char* prefix, const char* source) {
  DriverEntry* e = newest_with_number(number);
  if (!e) return;
  if (prefix) {
    e->prefix = prefix;
    e->has_prefix = true;
  }
  if (source) {
    e->source = source;
    e->has_source = true;
  }
}

void driver_set_sigs(int32_t number, uint32_t sig1, uint32_t sig2) {
  DriverEntry* e = newest_with_number(number);
  if (!e) return;
  TraceModel& m = model();
  auto old = m.by_sigs.find({e->sig1, e->sig2});
  if (old != m.by_sigs.end()) {
    old->second.erase(e);
    if (old->second.empty()) m.by_sigs.erase(old);
  }
  e->sig1 = sig1;
  e->sig2 = sig2;
  m.by_sigs[{sig1, sig2}].insert(e);
}

void driver_bind_run(uint32_t run_id, uint32_t sig1, uint32_t sig2) {
  TraceModel& m = model();
  auto it = m.by_sigs.find({sig1, sig2});
  if (it == m.by_sigs.end() || it->second.empty()) return;
  DriverEntry* found = *it->second.begin();
  if (found->run_id == 0) {
    set_run(found, run_id);
    return;
  }
  // Already bound to an earlier run: a copy without a root takes the new run,
  // so every run of the driver leads to the same number and tree.
  const DriverEntry source = *found;
  DriverEntry* copy = push_entry(source.number);
  copy->has_prefix = source.has_prefix;
  copy->prefix = source.prefix;
  copy->has_source = source.has_source;
  copy->source = source.source;
  m.by_sigs[{0, 0}].erase(copy);
  copy->sig1 = sig1;
  copy->sig2 = sig2;
  m.by_sigs[{sig1, sig2}].insert(copy);
  set_run(copy, run_id);
}

int32_t driver_by_run(uint32_t run_id) {
  TraceModel& m = model();
  if (run_id == 0) return m.unbound.empty() ? -1 : (*m.unbound.begin())->number;
  auto it = m.by_run.find(run_id);
  return it == m.by_run.end() ? -1 : it->second.number;
}

int driver_count() { return static_cast<int>(model().rooted.size()); }

TraceNode* driver_root_at(int n) {
  const auto& rooted = model().rooted;
  if (n < 0 || static_cast<size_t>(n) >= rooted.size()) return nullptr;
  return rooted[rooted.size() - 1 - n]->root;
}

bool driver_title_by_number(int32_t number, std::string* title) {
  const DriverEntry* e = newest_with_number(number);
  if (!e) return false;
  title->clear();
  if (e->has_prefix) *title += e->prefix;
  if (e->has_source) *title += e->source;
  return true;
}

const DriverEntry* driver_list_head() { return model().head; }
