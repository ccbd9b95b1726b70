#pragma once
// Where a robot stands along its followed line.
#include <cstdint>

#include "terrain/line_library.h"

struct rider;

// 1 + the fractional sample index at which the plane through pos square to
// forward cuts the line, searching backward from the cursor: i + 1 plus the
// fraction from sample i (behind) to i + 1 (ahead). 0 for a cursor of 0.
float line_cursor_position_at(const line_sample* samples, int32_t count, int32_t cursor, const float pos[3],
                              const float forward[3]);
// The same for a rider's followed line, from its frame body (forward is
// the body's -z).
float line_cursor_position(const rider* r);

// The slow, careful follower of the cursor sample, which drives while the
// recovery counter is above 0: leans toward the sample by roll rate, rides
// at 15 ft/s (5 while slow and leaning), pushes a stuck bike free after 19
// seconds without progress and skips along the line after 40.
void auto_pilot_follow_line(rider* r);
