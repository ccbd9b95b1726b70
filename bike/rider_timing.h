#pragma once
// A rider's timing: the tick of each timing-gate crossing, and from those and
// the track's lap counts the lap, the place within it and the lap times.
// Crossing indices are 0-based; crossing F - 1 completes lap 1 and crossing
// F + N (k - 1) - 1 completes lap k, with F the crossings of the first lap
// (from the start) and N those of each later lap. A track without timing
// gates has no laps: every answer is 0.
#include <cstdint>

struct rider;

// The loaded track's lap counts, as the timing reads them.
struct track_lap_counts {
  int32_t has_gates;
  int32_t first_lap_gates;   // F
  int32_t normal_lap_gates;  // N
};
track_lap_counts rider_track_lap_counts();

// Crossing indices at or above this are refused: over 4000 laps of a full
// lap table, and a peer or a demo could otherwise ask for gigabytes.
enum { rider_timing_index_limit = 1 << 20 };

// The number of crossings made, which is also the index of the next one.
int32_t rider_next_timing_index(const rider* r);

// Records the tick of crossing n, growing the list with -1 (not crossed)
// entries up to it. Negative n does nothing; n at or above the limit is
// refused with a console line.
void rider_set_timing_tick(rider* r, int n, int32_t tick);

// Forgets the crossings from index n on (negative n counts as 0) and makes n
// the crossing count; clears the crash flag, and the finished flag when
// crossings were dropped.
void rider_truncate_timing(rider* r, int n);

struct rider_lap_position {
  int32_t lap;    // 0 before lap 1 is done
  int32_t index;  // crossings made within the current lap
};
rider_lap_position rider_lap_and_segment(const rider* r);

// The 1-based index of the rider's last crossing within its current lap.
int32_t rider_lap_segment(const rider* r);

// The time of lap n in seconds, or of the last completed lap when n is
// negative; 0 when the lap is not complete or a tick is missing.
float rider_lap_time(const rider* r, int n);
