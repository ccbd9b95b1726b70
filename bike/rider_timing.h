#pragma once
// A rider's timing record: the tick of each timing-gate crossing it made
// (0-based). What they add up to (laps, lap times, the finish) is the race
// timing's to read (race/gate_timing.h).
#include <cstdint>

struct rider;

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
