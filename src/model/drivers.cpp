// The test-driver list: opening drivers, their names and words, run binding and lookups.
#include "model/model_state.h"

namespace {

DriverList& list() {
  return model().drivers;
}

// Binds the run to the entry at `place` unless a newer entry holds it already.
void bind_run(uint32_t run, int32_t number, uint32_t place) {
  RunBinding& b = list().by_run.insert(run);
  if (b.place1 < place + 1) b = RunBinding{number, place + 1};
}

// A new entry, newest of all, with the words (sig1, sig2) and the run given.
DriverEntry* push_entry(int32_t number, uint32_t sig1, uint32_t sig2, uint32_t run_id) {
  DriverList& d = list();
  // Places name entries in 32 bits: more entries (hundreds of gigabytes of
  // them) count as refused memory.
  if (d.entries.size() >= UINT32_MAX - 1) memory_refused();
  const uint32_t place = static_cast<uint32_t>(d.entries.size());
  d.entries.emplace_back();
  DriverEntry* e = &d.entries.back();
  e->number = number;
  e->sig1 = sig1;
  e->sig2 = sig2;
  e->run_id = run_id;
  e->next = d.head;
  d.head = e;
  d.by_number.insert(number) = place + 1;
  d.by_sigs[{sig1, sig2}].insert(place);
  if (run_id == 0) {
    d.unbound.insert(place);
  } else {
    bind_run(run_id, number, place);
  }
  return e;
}

// The place of the newest entry with this number, or -1.
int64_t newest_with_number(int32_t number) {
  const uint32_t* place1 = list().by_number.find(number);
  return place1 ? int64_t{*place1} - 1 : -1;
}

}  // namespace

void driver_open(int32_t number, int32_t line, const char* text) {
  DriverEntry* e = push_entry(number, 0, 0, 0);
  e->root = node_create(TYPE_TEST_DRIVER, number, line, text, nullptr, 0);
  node_index_add(e->root);
  list().rooted.push_back(e);
}

void driver_set_names(int32_t number, const char* prefix, const char* source) {
  const int64_t place = newest_with_number(number);
  if (place < 0) return;
  DriverEntry& e = list().entries[static_cast<size_t>(place)];
  if (prefix) {
    e.prefix = prefix;
    e.has_prefix = true;
  }
  if (source) {
    e.source = source;
    e.has_source = true;
  }
}

void driver_set_sigs(int32_t number, uint32_t sig1, uint32_t sig2) {
  const int64_t place = newest_with_number(number);
  if (place < 0) return;
  DriverList& d = list();
  DriverEntry& e = d.entries[static_cast<size_t>(place)];
  auto old = d.by_sigs.find({e.sig1, e.sig2});
  if (old != d.by_sigs.end()) {
    old->second.erase(static_cast<uint32_t>(place));
    if (old->second.empty()) d.by_sigs.erase(old);
  }
  e.sig1 = sig1;
  e.sig2 = sig2;
  d.by_sigs[{sig1, sig2}].insert(static_cast<uint32_t>(place));
}

void driver_bind_run(uint32_t run_id, uint32_t sig1, uint32_t sig2) {
  DriverList& d = list();
  auto it = d.by_sigs.find({sig1, sig2});
  if (it == d.by_sigs.end() || it->second.empty()) return;
  const uint32_t place = *it->second.rbegin();
  DriverEntry& found = d.entries[place];
  if (found.run_id == 0) {
    if (run_id == 0) return;
    d.unbound.erase(place);
    found.run_id = run_id;
    bind_run(run_id, found.number, place);
    return;
  }
  // Already bound to an earlier run: a copy without a root takes the new run,
  // so every run of the driver leads to the same number and tree.
  DriverEntry* copy = push_entry(found.number, sig1, sig2, run_id);
  const DriverEntry& original = d.entries[place];  // the deque keeps it in place
  copy->has_prefix = original.has_prefix;
  copy->prefix = original.prefix;
  copy->has_source = original.has_source;
  copy->source = original.source;
}

int32_t driver_by_run(uint32_t run_id) {
  DriverList& d = list();
  if (run_id == 0) return d.unbound.empty() ? -1 : d.entries[*d.unbound.rbegin()].number;
  const RunBinding* b = d.by_run.find(run_id);
  return b == nullptr ? -1 : b->number;
}

int driver_count() {
  return static_cast<int>(list().rooted.size());
}

TraceNode* driver_root_at(int n) {
  const auto& rooted = list().rooted;
  if (n < 0 || static_cast<size_t>(n) >= rooted.size()) return nullptr;
  return rooted[rooted.size() - 1 - n]->root;
}

bool driver_title_by_number(int32_t number, std::string* title) {
  const int64_t place = newest_with_number(number);
  if (place < 0) return false;
  const DriverEntry& e = list().entries[static_cast<size_t>(place)];
  title->clear();
  if (e.has_prefix) *title += e.prefix;
  if (e.has_source) *title += e.source;
  return true;
}
