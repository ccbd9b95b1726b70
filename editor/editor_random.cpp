#include "editor/editor_random.h"

static uint32_t state = 1;

void editor_random_seed(uint32_t seed) { state = seed ? seed : 1; }

int editor_random_below(int bound) {
  if (bound <= 0) return 0;
  // xorshift32: small, and the same sequence on every platform.
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return (int)(state % (uint32_t)bound);
}
