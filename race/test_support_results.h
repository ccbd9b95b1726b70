#pragma once
// Shared fixtures of the results tests: riders created in slots with
// crossing ticks set by hand, on a track whose route has F first-lap and N
// normal-lap crossings and no gate geometry.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "bike/rider.h"

// Opens the dynamics world, empties the rider table, the running order, the
// results and the race clock (a race of 3 laps), and sets the lap counts (the track has
// timing gates). Offline, nobody viewed.
void results_test_open(int32_t first_lap_gates, int32_t normal_lap_gates);
// Destroys the riders, closes the world and puts everything back.
void results_test_close();

// A rider of the kind in the slot with the number and the crossing ticks
// (-1: missed); its crossing count is the list's length.
rider* results_test_rider(int slot, int kind, const char* number, std::initializer_list<int32_t> ticks);

// Whether the console's lines hold one that starts with text.
bool results_test_console_has(const std::string& text);
