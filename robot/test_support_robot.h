#pragma once
// Fixtures of the robot tests: a route block made by hand (the lap lists
// and counts as the timing-gate reader leaves them, with an empty library),
// lines laid along straight runs and arcs.
#include <cstdint>
#include <vector>

#include "terrain/line_library.h"

// Fills the route block from the two lap lists (entries at or above
// 100000 start no segment) and makes an empty library and best paths when
// there are segments. Frees whatever an earlier fixture made.
void robot_fixture_route(const std::vector<int32_t>& first_lap, const std::vector<int32_t>& normal_lap,
                         int32_t gate_count = 8);
// Frees the library and zeroes the route block.
void robot_fixture_route_free();

// Stores samples into a slot with the given times and a fresh unique id.
void robot_fixture_line(line_record* slot, const std::vector<line_sample>& samples, int32_t pass_time = 1000,
                        int32_t tested = 0, int32_t own_sum = 0, int32_t failures = 0);
// count samples along a straight run from (x0, z0) to (x1, z1) at height 0.
std::vector<line_sample> robot_fixture_run(float x0, float z0, float x1, float z1, int count, float speed = 30);
// count samples along the circle of radius r about the origin, from angle
// a0 to a1 (degrees).
std::vector<line_sample> robot_fixture_arc(float r, float a0, float a1, int count, float speed = 30);
