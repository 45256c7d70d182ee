// The test-driver list: opening drivers, their names and words, run binding and lookups.
#include <algorithm>

#include "model/model_state.h"

namespace {
// Binds the run to the entry unless a newer entry holds it already.
void bind_run(uint32_t run, int32_t number, uint64_t seq) {
  // An entry count past 32 bits (a few hundred gigabytes of entries) counts as
  // refused memory.
  if (seq >= UINT32_MAX) memory_refused();
  const uint32_t seq1 = static_cast<uint32_t>(seq + 1);
  RunBinding& b = model().by_run.insert(run);
  if (b.seq1 < seq1) b = RunBinding{number, seq1};
}

// Entries are made in seq order, so a new one goes at the front of every
// newest-first set it joins.
void insert_newest(DriverSet& set, DriverEntry* e) {
  set.insert(set.begin(), e);
}

// A new entry, newest of all, with the words (sig1, sig2) and the run given.
DriverEntry* push_entry(int32_t number, uint32_t sig1, uint32_t sig2, uint32_t run_id) {
  TraceModel& m = model();
  if (m.entries_in_last_chunk == m.last_entry_chunk_capacity) {
    m.last_entry_chunk_capacity =
        m.driver_chunks.empty() ? 8 : std::min<size_t>(2 * m.last_entry_chunk_capacity, 4096);
    m.driver_chunks.push_back(std::make_unique<DriverEntry[]>(m.last_entry_chunk_capacity));
    m.entries_in_last_chunk = 0;
  }
  DriverEntry* e = &m.driver_chunks.back()[m.entries_in_last_chunk++];
  e->number = number;
  e->seq = m.next_driver_seq++;
  e->next = m.head;
  m.head = e;
  m.by_number[number] = e;  // the newest entry with this number
  e->sig1 = sig1;
  e->sig2 = sig2;
  insert_newest(m.by_sigs[{sig1, sig2}], e);
  e->run_id = run_id;
  if (run_id == 0) {
    insert_newest(m.unbound, e);
  } else {
    bind_run(run_id, number, e->seq);
  }
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
  bind_run(run_id, e->number, e->seq);
}
}  // namespace

void driver_open(int32_t number, int32_t line, const char* text) {
  DriverEntry* e = push_entry(number, 0, 0, 0);
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
  DriverEntry* copy = push_entry(found->number, sig1, sig2, run_id);
  copy->has_prefix = found->has_prefix;
  copy->prefix = found->prefix;
  copy->has_source = found->has_source;
  copy->source = found->source;
}

int32_t driver_by_run(uint32_t run_id) {
  TraceModel& m = model();
  if (run_id == 0) return m.unbound.empty() ? -1 : (*m.unbound.begin())->number;
  const RunBinding* b = m.by_run.find(run_id);
  return b == nullptr ? -1 : b->number;
}

int driver_count() {
  return static_cast<int>(model().rooted.size());
}

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

const DriverEntry* driver_list_head() {
  return model().head;
}
