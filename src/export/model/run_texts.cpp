// The text store and the table of texts kept once.
#include "export/model/run_texts.h"

#include <cstring>
#include <utility>

#include "base/hash.h"

const char* TextStore::add(std::string_view text) {
  if (text.empty()) return "";
  // The arena's memory is zero-filled, so the copy ends in a NUL already.
  char* copy = static_cast<char*>(arena_.take(text.size() + 1));
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

uint32_t TextTable::add(std::string_view text) {
  const uint32_t hash = hash_bytes(text.data(), text.size());
  auto same = [&](const auto& slot) {
    const char* known = texts_[slot.value - 1];
    return slot.key == hash && std::strncmp(known, text.data(), text.size()) == 0 &&
           known[text.size()] == '\0';
  };
  bool added = false;
  uint32_t& number = index_.insert_if(hash, hash, same, &added);
  if (added) {
    texts_.push_back(store_.add(text));
    number = static_cast<uint32_t>(texts_.size());
  }
  return number - 1;
}
