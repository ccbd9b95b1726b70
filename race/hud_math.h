#pragma once
// The HUD's sums that need no GL: the race-length text, the tachometer
// needle, the shifter sheet's cells, the start caption's fade and the
// gauge arc's step count.
#include <cstddef>
#include <cstdint>

#include "race/gate_timing.h"

// "%d laps" for a race over laps only, else "%d minutes + %d laps" or
// "%d minutes" (minutes rounded to the nearest), from the race clock.
void draw_race_length(char* buffer, size_t size);

// The needle's clockwise turn from straight up, in degrees: -135 at 0 rpm,
// 0 at 8000, +135 at 16000.
float tach_needle_degrees(float rpm);

// The shifter sheet's cell (3 x 3) for a gear index: u0, v0, u1, v1 as
// fractions of the image, column g mod 3, row (g / 3) mod 3.
void gear_cell(int gear, float cell[4]);

// The start caption's alpha at a race-clock tick: 1 until 2 s, fading to 0
// at 3 s.
float start_caption_alpha(int32_t tick);

// Radial steps of a gauge arc from a0 to a1 (radians); 0 (draw nothing)
// for a non-finite angle.
int gauge_arc_steps(float a0, float a1);

// The pit board's gap in seconds between a rider and the one it is
// measured against (the second rider for the leader, else the rider
// ahead), from both riders' ticks at the last crossing both have made:
// positive for the leader, negative for the others; 0 when either has no
// crossing or a tick is missing.
double pit_board_gap(const crossing_list& self, const crossing_list& other);

// Whether a rider ahead in the running order, laps ahead, is closing in on
// the viewed rider from behind: it passed the gate the viewed rider passed
// last at most 3 s after the viewed rider did, and the viewed rider's last
// crossing is at most 15 s after that. riders: how many are in the running
// order; first_gates and normal_gates: the lap's crossing counts.
int lapping_listed(const crossing_list& viewed, const crossing_list& other, int riders, int first_gates,
                   int normal_gates);
