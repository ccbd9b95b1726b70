#pragma once
// The game's seeded random numbers: the MT19937 sequence, so the same seed
// gives the same race on every machine.
#include <cstdint>

void random_seed(uint32_t seed);
uint32_t random_next();
