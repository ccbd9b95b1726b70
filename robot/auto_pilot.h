#pragma once
// The robot rider's tick: it keeps the followed line (library lines spliced
// one after another), advances a cursor along it, picks the next line when
// the cursor nears the end, runs the start at the gate and then hands the
// driving to the line followers.
#include <cstdint>

#include "terrain/line_library.h"

struct rider;
struct growable_array;

// Once per tick for a robot rider, before its control step. Does nothing
// for a rider without a personality.
void auto_pilot_tick(rider* r);

// Every line slot's last-picked tick to -1000000 (race reset).
void line_library_reset_pick_ticks();

// Points the rider code's and the race's hooks at the robot code; main
// calls it once.
void robot_install_hooks();

// The pieces of the tick, for the tests.

// The route variant (cost model) a robot picks with: its personality's
// first while its lead over the second rider is within the personality's
// threshold, else its second. No lead unless it is first of at least two in
// the running order.
int auto_pilot_route_variant(const rider* r);

// One pick for library segment v at tick now, the bike's frame at frame
// and its followed line as given. Stamps the winner's last-picked tick
// (and that of the used slots ending within 3 ft of it). slot is -1 when
// the segment holds no line.
struct auto_pilot_pick {
  int32_t slot;
  float score;
  float match;
  float seconds_since_picked;
};
auto_pilot_pick auto_pilot_pick_line(int32_t v, int variant, int32_t now, const float frame[3],
                                     const line_sample* followed, int32_t followed_count);

// Appends count samples to the followed line at its cursor (trimming what
// lies far behind) and bends the junction into the new line. frame and
// forward are the bike's position and heading, used when the junction
// starts at the line's first sample.
void auto_pilot_splice(growable_array* followed, int32_t* cursor, const line_sample* samples, int32_t count,
                       const float frame[3], const float forward[3]);

// The start at the gate. t, gate_drop and five_seconds are race-clock
// seconds; launch is the rider's launch time, redrawn (random_next) as the
// start goes on; w1 and w2 bound the reaction time after the drop.
enum {
  auto_pilot_start_hold,    // hold posture with throttle
  auto_pilot_start_launch,  // clutch ramp: progress x
  auto_pilot_start_drive,
};
struct auto_pilot_start_step {
  int phase;
  float throttle;  // hold: 0 or 1 (before the down check)
  float x;         // launch: (t - launch) x 4
};
auto_pilot_start_step auto_pilot_start_state(float t, float gate_drop, float five_seconds, float* launch, float w1,
                                             float w2);
