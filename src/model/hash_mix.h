// A 64-bit finaliser that spreads keys over open-addressing tables.
#pragma once

#include <cstdint>

inline uint64_t hash_mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}
