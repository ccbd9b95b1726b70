#pragma once
// Race standing from the riders' timing crossings: the running order, the
// half-way and finish laps of a timed race, the off-course test that turns
// cutting riders into ghosts, the cut penalty, the final order and
// "results.txt".
// Laps are counted by the gate timing (race/gate_timing.h).
#include <cstdint>

#include "core/running_order.h"

struct rider;

enum {
  results_no_gate_time = 7680,  // 60 s: the mean over a stretch nobody has timed
  results_stale_ticks = 1280,   // a played-back rider this far behind is done
};

// The final results, with the cut penalty applied; count 0 until final.
extern running_order_state results_list;
// Set once the results are final; race reset and a rewind clear it.
extern int results_finished;
// Whether the final results went to "results.txt".
extern int results_file_written;

// Forgets the final results so the next finish_results builds them again.
void results_clear();

// heap_sort order of running_order_entry: more crossings first, then the
// earlier last crossing, then the lower slot.
int compare_results(const void* a, const void* b);

// The mean ticks the counted riders of the running order took from crossing
// start to crossing end (a start below 0 is the race start, tick 0), or
// results_no_gate_time when none has timed that stretch.
int32_t average_gate_time(int32_t start, int32_t end);

// 1 when the rider took too long reaching crossing n, against the first
// rider of the running order that has timed the gate before it.
int rider_off_course_at_gate(const rider* r, int32_t n);
// 1 when the rider is off course at any of its last crossings n-3..n (n its
// crossing count, none below 1).
int rider_off_course_recently(const rider* r);
// The running order holds more than one rider and at least off_course_bias
// seconds have passed since the gate dropped.
int race_settled();

// 1 when the slot's rider must not be shown (no rider, a stale or off-course
// peer, a recorded rider with nothing to show near the clock).
int rider_hidden(int slot);

// The best of laps 2 .. the rider's last completed lap (lap 1 never
// counts): the shortest timed one, the last when none is timed; 0 before
// two laps are done.
int32_t results_best_lap(const rider* r);

// Ticks added to the rider's time for crossings it skipped and reached
// sooner than the field (the mean plus 1 s) would have.
int32_t rider_cut_penalty(const rider* r);

// Rebuilds the running order; in a timed race settles the half-way and
// finish laps; once every rider is done, builds the final results, writes
// "@results.txt" and records the series event. Nothing once final.
void finish_results();

// Puts finish_results, the off-course test and record_series_event into the
// race hooks.
void results_install_hooks();

// Writes the results list as "@results.txt" (lines ended by CR LF) through
// a temporary file; on failure a console line and the old file stays. 1
// when written.
int write_results_file();
