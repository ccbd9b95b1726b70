// MT19937, regenerating one state word per draw instead of all 624 at once.
// `unsigned long` is 64-bit here, so every step is done in uint32_t.
#include "core/random.h"

namespace {

const int state_words = 624;
const int shift_words = 397;

uint32_t g_state[state_words];
int g_index = state_words + 1;  // unseeded: the first draw seeds with 5489

}  // namespace

void random_seed(uint32_t seed) {
  g_state[0] = seed;
  for (int i = 1; i < state_words; i++)
    g_state[i] = 1812433253u * (g_state[i - 1] ^ (g_state[i - 1] >> 30)) + static_cast<uint32_t>(i);
  g_index = state_words;
}

uint32_t random_next() {
  if (g_index > state_words) random_seed(5489u);
  if (g_index == state_words) g_index = 0;
  const int i = g_index;
  const uint32_t y = (g_state[i] & 0x80000000u) | (g_state[(i + 1) % state_words] & 0x7FFFFFFFu);
  g_state[i] = g_state[(i + shift_words) % state_words] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  uint32_t out = g_state[i];
  out ^= out >> 11;
  out ^= (out << 7) & 0x9D2C5680u;
  out ^= (out << 15) & 0xEFC60000u;
  out ^= out >> 18;
  g_index++;
  return out;
}
