// Open-addressing tables of the TDF reader's instances.
#include "readers/instance_table.h"

#include "model/hash_mix.h"

namespace {

uint64_t hash_instance(int32_t instance) {
  return hash_mix64(static_cast<uint32_t>(instance));
}

uint64_t hash_triple(int32_t line, int32_t instance, int32_t driver) {
  uint64_t h = hash_mix64((static_cast<uint64_t>(static_cast<uint32_t>(line)) << 32) |
                   static_cast<uint32_t>(instance));
  return hash_mix64(h ^ static_cast<uint32_t>(driver));
}

bool same_triple(const InstanceTable::Slot& s, int32_t line, int32_t instance, int32_t driver) {
  return s.line == line && s.instance == instance && s.driver == driver;
}

// The slot holding the key, or the empty slot where it would go.
template <typename Same>
InstanceTable::Slot& probe(InstanceTable::Slots& slots, uint64_t hash, Same same) {
  const size_t mask = slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (!slots[i].used || same(slots[i])) return slots[i];
  }
}

// Keeps the table at most half full, so probes stay short.
template <typename Hash>
void make_room(InstanceTable::Slots& slots, size_t count, Hash hash) {
  if (!slots.empty() && (count + 1) * 2 <= slots.size()) return;
  InstanceTable::Slots old = std::move(slots);
  slots = InstanceTable::Slots(old.empty() ? 64 : old.size() * 2);
  const size_t mask = slots.size() - 1;
  for (size_t k = 0; k < old.size(); ++k) {
    const InstanceTable::Slot& s = old[k];
    if (!s.used) continue;
    size_t i = hash(s) & mask;
    while (slots[i].used) i = (i + 1) & mask;
    slots[i] = s;
  }
}

// Adds the three values to the set; false when they were in it already.
bool insert_seen(InstanceTable& table, int32_t line, int32_t instance, int32_t driver) {
  make_room(table.seen_slots, table.seen_count,
            [](const InstanceTable::Slot& s) { return hash_triple(s.line, s.instance, s.driver); });
  InstanceTable::Slot& seen =
      probe(table.seen_slots, hash_triple(line, instance, driver),
            [&](const InstanceTable::Slot& s) { return same_triple(s, line, instance, driver); });
  if (seen.used) return false;
  seen = InstanceTable::Slot{line, instance, driver, true, false};
  ++table.seen_count;
  return true;
}

}  // namespace

bool InstanceTable::add(int32_t line, int32_t instance, int32_t driver) {
  make_room(newest_slots, newest_count, [](const Slot& s) { return hash_instance(s.instance); });
  Slot& newest = probe(newest_slots, hash_instance(instance),
                       [&](const Slot& s) { return s.instance == instance; });
  if (!newest.used) {
    newest = Slot{line, instance, driver, true, false};
    ++newest_count;
    return true;
  }
  if (newest.line == line && newest.driver == driver) return false;
  if (!newest.several) {
    // The instance's one entry so far joins the set, with the new one.
    insert_seen(*this, newest.line, instance, newest.driver);
    insert_seen(*this, line, instance, driver);
  } else if (!insert_seen(*this, line, instance, driver)) {
    return false;
  }
  newest = Slot{line, instance, driver, true, true};
  return true;
}

const InstanceTable::Slot* InstanceTable::newest(int32_t instance) const {
  if (newest_slots.empty()) return nullptr;
  const size_t mask = newest_slots.size() - 1;
  for (size_t i = hash_instance(instance) & mask;; i = (i + 1) & mask) {
    const Slot& s = newest_slots[i];
    if (!s.used) return nullptr;
    if (s.instance == instance) return &s;
  }
}
