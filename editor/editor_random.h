#pragma once
// The editor's own random numbers (tile and billboard choices), apart from
// the race's generator so that editing never shifts a race's sequence.
#include <cstdint>

void editor_random_seed(uint32_t seed);
// Uniform in 0..bound-1; 0 when bound <= 0.
int editor_random_below(int bound);
