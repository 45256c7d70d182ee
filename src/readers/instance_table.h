// The TDF reader's instance bookkeeping in two flat hash tables: the newest
// entry of each instance, and every (line, instance, driver) announced so far.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/zeroed_block.h"

// An "NI" record makes a new newest entry for its instance unless the same
// three values were announced before (then the list is left as it was). Both
// questions cost a probe or two of an open-addressing table, however many
// instances there are. Most instances are announced with one (line, driver)
// only, so the set of announced values holds just those of the instances
// that had more than one.
struct InstanceTable {
  struct Slot {
    int32_t line = 0;
    int32_t instance = 0;
    int32_t driver = 0;
    bool used = false;
    bool several = false;  // newest slots: the instance has older entries
  };

  // False when (line, instance, driver) was announced before.
  bool add(int32_t line, int32_t instance, int32_t driver);
  // The newest entry of `instance`, or null.
  const Slot* newest(int32_t instance) const;

  // Zero bytes are empty slots; large tables come from the kernel already zeroed.
  using Slots = ZeroedArray<Slot>;
  Slots newest_slots;  // keyed by instance
  Slots seen_slots;    // keyed by all three values, see above
  size_t newest_count = 0;
  size_t seen_count = 0;
};
