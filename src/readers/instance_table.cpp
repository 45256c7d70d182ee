// Open-addressing tables of the TDF reader's instances.
#include "readers/instance_table.h"

#include <limits>

#include "driver/errors.h"
#include "base/hash.h"

namespace {

uint64_t hash_instance(int32_t instance) {
  return hash_word(static_cast<uint32_t>(instance));
}

uint64_t hash_triple(int32_t line, int32_t instance, int32_t driver) {
  const uint64_t h = hash_word((static_cast<uint64_t>(static_cast<uint32_t>(line)) << 32) |
                               static_cast<uint32_t>(instance));
  return hash_combine(h, static_cast<uint32_t>(driver));
}

bool used(const InstanceTable::NewestSlot& s) { return s.ref != 0; }
bool used(const InstanceTable::SeenSlot& s) { return s.used; }

// The slot holding the key, or the empty slot where it would go.
template <typename Slot, typename Same>
Slot& probe(const ZeroedArray<Slot>& slots, uint64_t hash, Same same) {
  const size_t mask = slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (!used(slots[i]) || same(slots[i])) return slots[i];
  }
}

// Keeps the table at most half full, so probes stay short.
template <typename Slot, typename Hash>
void make_room(ZeroedArray<Slot>& slots, size_t count, Hash hash) {
  if (!slots.empty() && (count + 1) * 2 <= slots.size()) return;
  ZeroedArray<Slot> old = std::move(slots);
  slots = ZeroedArray<Slot>(old.empty() ? 64 : old.size() * 2);
  auto taken = [](const Slot& s) { return used(s); };
  reinsert_slots(old, slots, taken, hash, taken);
}

// Adds the three values to the set; false when they were in it already.
bool insert_seen(InstanceTable& table, int32_t line, int32_t instance, int32_t driver) {
  make_room(table.seen_slots, table.seen_count, [](const InstanceTable::SeenSlot& s) {
    return hash_triple(s.line, s.instance, s.driver);
  });
  InstanceTable::SeenSlot& seen =
      probe(table.seen_slots, hash_triple(line, instance, driver),
            [&](const InstanceTable::SeenSlot& s) {
              return s.line == line && s.instance == instance && s.driver == driver;
            });
  if (seen.used) return false;
  seen = InstanceTable::SeenSlot{line, instance, driver, true};
  ++table.seen_count;
  return true;
}

// The reference of a new entry, appended after the existing ones.
uint32_t append_entry(InstanceTable& table, int32_t line, int32_t driver) {
  const size_t n = table.newest_count;
  // Slots name entries by number + 1 in 32 bits, enough for every id but the
  // last of 2^32. A trace with all of them (a 64 GiB table) counts as refused memory.
  if (n >= std::numeric_limits<uint32_t>::max()) fatal_out_of_memory();
  *table.entries.make() = InstanceTable::Entry{line, driver, false};
  return static_cast<uint32_t>(n + 1);
}

}  // namespace

bool InstanceTable::add(int32_t line, int32_t instance, int32_t driver) {
  make_room(newest_slots, newest_count,
            [](const NewestSlot& s) { return hash_instance(s.instance); });
  NewestSlot& slot = probe(newest_slots, hash_instance(instance),
                           [&](const NewestSlot& s) { return s.instance == instance; });
  if (slot.ref == 0) {
    slot = NewestSlot{instance, append_entry(*this, line, driver)};
    ++newest_count;
    return true;
  }
  Entry& newest = entry(slot.ref);
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
  if (newest_slots.empty()) return nullptr;
  const size_t mask = newest_slots.size() - 1;
  for (size_t i = hash_instance(instance) & mask;; i = (i + 1) & mask) {
    const NewestSlot& s = newest_slots[i];
    if (s.ref == 0) return nullptr;
    if (s.instance == instance) return &entry(s.ref);
  }
}
