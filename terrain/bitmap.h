#pragma once
// Bitmaps of the terrain: bit k at byte k / 8, bit k mod 8, least
// significant first.
#include <cstdint>
#include <cstring>

inline int64_t bitmap_bytes(int64_t bits) { return (bits + 7) / 8; }
inline int bitmap_test(const uint8_t* map, int64_t k) { return (map[k >> 3] >> (k & 7)) & 1; }
inline void bitmap_set(uint8_t* map, int64_t k) { map[k >> 3] = (uint8_t)(map[k >> 3] | (1u << (k & 7))); }
inline void bitmap_clear(uint8_t* map, int64_t k) { map[k >> 3] = (uint8_t)(map[k >> 3] & ~(1u << (k & 7))); }
