#pragma once
// The race clock. The race logic owns and sets it; it lives here, with its
// lowest readers (the erode queue stamps ruts with the tick, the rider code
// times laps), so every library links and tests on its own.
#include <cstdint>

enum {
  start_gate_max = 160,
  race_clock_unknown = 1000000,  // half_way_lap / finish_lap not yet known
};

struct race_clock_state {
  int32_t start_gate_statues[start_gate_max];  // written by the timing-gate reader
  int32_t start_gate_count;
  int32_t current_tick;
  int32_t five_second_ticks;
  int32_t gate_drop_tick;  // start of lap 1
  int32_t network_display_delay;
  int32_t race_length_ticks;  // 0: a race over laps only
  int32_t race_laps;
  int32_t half_way_lap;  // race_clock_unknown in a timed race
  int32_t finish_lap;    // laps after which a rider finishes; race_clock_unknown in a timed race
};
extern race_clock_state race_clock;
