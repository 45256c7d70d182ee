// The TDF reader's instance bookkeeping over two hash tables and a pool.
#include "readers/instance_table.h"

#include <limits>

namespace {

// Adds the three values to the set; false when they were in it already.
bool insert_seen(InstanceTable& table, int32_t line, int32_t instance, int32_t driver) {
  bool added = false;
  table.seen.insert(InstanceTable::Seen{line, instance, driver}, &added) = 1;
  return added;
}

// The number + 1 of a new entry, appended after the existing ones.
uint32_t append_entry(InstanceTable& table, int32_t line, int32_t driver) {
  const size_t n = table.entry_count;
  // Slots name entries by number + 1 in 32 bits, enough for every id but the
  // last of 2^32. A trace with all of them (a 64 GiB table) counts as refused memory.
  if (n >= std::numeric_limits<uint32_t>::max()) memory_refused();
  if (n == table.entries.size()) table.entries.grow(n < 64 ? 64 : 2 * n);
  table.entries[n] = InstanceTable::Entry{line, driver, false};
  ++table.entry_count;
  return static_cast<uint32_t>(n + 1);
}

}  // namespace

bool InstanceTable::add(int32_t line, int32_t instance, int32_t driver) {
  uint32_t& ref = newest_refs.insert(instance);
  if (ref == 0) {
    ref = append_entry(*this, line, driver);
    return true;
  }
  Entry& newest = entry(ref);
  if (newest.line == line && newest.driver == driver) return false;
  if (!newest.several) {
    // The instance's one entry so far joins the set, with the new one.
    insert_seen(*this, newest.line, instance, newest.driver);
    insert_seen(*this, line, instance, driver);
  } else if (!insert_seen(*this, line, instance, driver)) {
    return false;
  }
  // Only the newest entry is ever looked up; older ones live on in the set.
  newest = Entry{line, driver, true};
  return true;
}

const InstanceTable::Entry* InstanceTable::newest(int32_t instance) const {
  const uint32_t* ref = newest_refs.find(instance);
  return ref ? &entry(*ref) : nullptr;
}
