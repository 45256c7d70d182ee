// The TDF reader's instance bookkeeping in two flat hash tables: the newest
// entry of each instance, and every (line, instance, driver) announced so far.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/flat_map.h"
#include "base/zeroed_block.h"

// An "NI" record makes a new newest entry for its instance unless the same
// three values were announced before (then the list is left as it was). Both
// questions cost a probe or two of an open-addressing table, however many
// instances there are. Most instances are announced with one (line, driver)
// only, so the set of announced values holds just those of the instances
// that had more than one.
//
// A large TDF announces millions of instances under random ids, so every
// announcement lands on a random slot. The slots of the newest-entry table
// therefore hold only the id and the number of the instance's entry (8 bytes,
// half the cache footprint of whole entries); the entries themselves are
// written in order of first announcement, in an array that grows by remapping.
struct InstanceTable {
  struct Entry {
    int32_t line = 0;
    int32_t driver = 0;
    bool several = false;  // the instance has older entries
  };

  // False when (line, instance, driver) was announced before.
  bool add(int32_t line, int32_t instance, int32_t driver);
  // The newest entry of `instance`, or null; valid until the next add.
  const Entry* newest(int32_t instance) const;

  struct Seen {
    int32_t line, instance, driver;
    bool operator==(const Seen& o) const {
      return line == o.line && instance == o.instance && driver == o.driver;
    }
  };
  struct SeenHash {
    uint64_t operator()(const Seen& k) const {
      return hash_combine(hash_word((static_cast<uint64_t>(static_cast<uint32_t>(k.line)) << 32) |
                                    static_cast<uint32_t>(k.instance)),
                          static_cast<uint32_t>(k.driver));
    }
  };
  Entry& entry(uint32_t ref) const { return entries[size_t{ref} - 1]; }

  FlatMap<int32_t, uint32_t, WordHash> newest_refs;  // instance -> its entry's number + 1
  FlatMap<Seen, uint8_t, SeenHash> seen;             // the set, see above (value 1)
  ZeroedArray<Entry> entries;                        // in order of first announcement
  size_t entry_count = 0;
};
