#pragma once
// The timing of every rider, human or robot: its crossings of the timing
// gates, the laps they make and its finish. The rider keeps the tick of each
// crossing (bike/rider_timing.h); finding the crossings and reading laps out
// of them happens here, so a race is timed whether or not robot riders are
// built in.
//
// Lap arithmetic, with F the crossings of the first lap (from the start) and
// N those of each later lap: n crossings complete 0 laps while n < F or when
// N is 0 (a track without timing gates has F = N = 0), else (n - F) / N + 1;
// lap k (k >= 1) ends at crossing F + (k - 1) N - 1. Crossing indices are
// 0-based.
#include <cstdint>

struct rider;

// Laps completed with `crossings` crossings of the loaded track.
int32_t laps_completed(int64_t crossings);
// Whether the last of `crossings` crossings completed a lap.
int crossing_completes_lap(int64_t crossings);
// The crossing index that ends lap k (k >= 1); 0 for lap 0.
int32_t lap_end_crossing(int32_t lap);

// The loaded track's lap counts, as the timing reads them.
struct track_lap_counts {
  int32_t has_gates;
  int32_t first_lap_gates;   // F
  int32_t normal_lap_gates;  // N
};
track_lap_counts rider_track_lap_counts();

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

// One rider's timing crossings: the tick of each (below 1: missing) and
// how many were made.
struct crossing_list {
  const int32_t* ticks;
  int count;
};
crossing_list crossings_of(const rider* r);

// The timing gate of crossing c (folded into the lap's gate list), or -1.
int crossing_gate(int c);

// Run for a rider after its control step. Looks for the rider at its next
// gates (n, n + 1, n + 2) and, when one before them was missed, at n - 3
// and n - 2; an accepted crossing takes the tick, may finish the rider and
// brings the results up to date. A lap's last gate is never skipped. The
// robot line library's pass recording is told through the race hooks.
void time_rider(rider* r);
