// Keyed hashing for the open-addressing tables. A trace chooses its own line
// numbers, run and instance ids and texts, so a fixed hash would let a crafted
// trace pile every key into one probe run and make each lookup linear; a
// random key drawn once per process makes the slots unpredictable.
#pragma once

#include <sys/random.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

struct HashSeed {
  uint64_t k0;
  uint64_t k1;
};

// The murmur finaliser: spreads the bits of a word over the whole word.
inline uint64_t hash_mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

inline HashSeed hash_seed_from_system() {
  HashSeed seed{0, 0};
  if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
    // No entropy yet (early boot): the clock, the process and where the
    // stack lies still differ from run to run.
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    seed.k0 = hash_mix64(static_cast<uint64_t>(now) ^ reinterpret_cast<uintptr_t>(&seed));
    seed.k1 = hash_mix64(seed.k0 ^ static_cast<uint64_t>(::getpid()));
  }
  seed.k1 |= 1;  // an odd multiplier never folds the product to zero
  return seed;
}

// Drawn once, before main; reports never depend on it, only the slots do.
inline const HashSeed kHashSeed = hash_seed_from_system();

// The 128-bit product of two words, folded to one.
inline uint64_t hash_fold_product(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// The keyed hash of one word.
inline uint64_t hash_word(uint64_t x) {
  return hash_mix64(hash_fold_product(x ^ kHashSeed.k0, kHashSeed.k1));
}

// A hash that goes on with one more word.
inline uint64_t hash_combine(uint64_t h, uint64_t x) {
  return hash_word(h ^ hash_mix64(x));
}

// The keyed hash of `length` bytes, eight at a time.
inline uint32_t hash_bytes(const char* data, size_t length) {
  uint64_t h = kHashSeed.k0 ^ length;
  while (length >= 8) {
    uint64_t w;
    std::memcpy(&w, data, 8);
    h = hash_fold_product(h ^ w, kHashSeed.k1);
    data += 8;
    length -= 8;
  }
  uint64_t w = 0;
  std::memcpy(&w, data, length);
  return static_cast<uint32_t>(hash_word(h ^ w));
}

// For hashed containers of texts: the standard library's string hash has a
// fixed seed, so crafted names could share one bucket.
struct TextHash {
  size_t operator()(std::string_view s) const { return hash_bytes(s.data(), s.size()); }
};
