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
  if ((texts_.size() + 1) * 2 > slots_.size()) grow();
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash_bytes(text.data(), text.size()) & mask;; i = (i + 1) & mask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) {
      texts_.push_back(store_.add(text));
      slots_[i] = static_cast<uint32_t>(texts_.size());
      return slots_[i] - 1;
    }
    const char* known = texts_[slot - 1];
    if (std::strncmp(known, text.data(), text.size()) == 0 && known[text.size()] == '\0')
      return slot - 1;
  }
}

void TextTable::grow() {
  ZeroedArray<uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2);
  const size_t mask = slots.size() - 1;
  for (size_t id = 0; id < texts_.size(); ++id) {
    const char* text = texts_[id];
    size_t i = hash_bytes(text, std::strlen(text)) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = static_cast<uint32_t>(id + 1);
  }
  slots_ = std::move(slots);
}
