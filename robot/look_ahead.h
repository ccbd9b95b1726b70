#pragma once
// Geometry of the robot's look-ahead driver: its axes, its footprint, the
// rider in its path and the turning radius toward an aim point.
#include <cstdint>

struct rider;

// h is minus the unit velocity ((0, 0, 1) for a still bike), so a point is
// ahead when its offset has a negative dot product with h.
struct look_ahead_axes {
  float h[3];
  float lateral[3];
  float up[3];
};

look_ahead_axes look_ahead_axes_from_velocity(const float velocity[3]);

// Corner k = base + lateral x (k < 2 ? lateral_from : lateral_to)
//              + h x (k is 0 or 3 ? forward_from : forward_to).
void footprint_corners(float out[4][3], const float base[3], const look_ahead_axes& axes, float lateral_from,
                       float forward_from, float lateral_to, float forward_to);

// The nearest of count other bikes (frame positions and velocities) whose
// footprint crosses the robot's, which reaches 4 + length feet ahead, and
// which lies further ahead of the robot than the robot lies ahead of it.
// -1 when none.
int32_t rider_ahead_in_footprint_at(const float position[3], const look_ahead_axes& axes, float length,
                                    const float (*other_positions)[3], const float (*other_velocities)[3],
                                    int32_t count);
// The same over the occupied rider slots, skipping r itself.
rider* rider_ahead_in_footprint(const rider* r, const look_ahead_axes& axes, float length);

// Radius of the circle tangent to the heading through a point pushed away
// from the current turning circle (radius r, centre r feet along lateral),
// so the lean eases toward the target instead of overshooting it. Positive
// turns toward +lateral.
float turning_radius_to_point_at(const float position[3], float r, const look_ahead_axes& axes,
                                 const float target[3]);
float turning_radius_to_point(const rider* r, float radius, const look_ahead_axes& axes, const float target[3]);

// The pieces of the look-ahead driver's tick that depend on numbers only.

// Radius of the turn the bike is leaning into at speed v under load f:
// -v^2 / (32 f tan lean), its size at most 1000000 ft (a straight line),
// its sign opposite the lean and + when upright or still.
float look_ahead_turning_radius(float v, float f, float lean);
// Seconds until the first airborne pair steps samples ahead of sample i,
// which lies distance feet from the bike; steps < 0 means no jump ahead.
// A bike at rest reaches no jump unless it sits on sample i.
float look_ahead_jump_time(int32_t steps, float distance, float v);
// The share of caution toward a rider ahead t seconds after the gate drop.
float look_ahead_crowd_share(float t);
// Target speed s behind a rider at distance d whose speed along the
// robot's turn is u, share a; *lines_cleared set to 1 when the robot
// commits to slowing (its picked lines are to be cleared).
float look_ahead_speed_behind(float s, float v, float u, float d, float a, int* lines_cleared);
// Throttle t limited to a change of 1/32 a tick from last: it may only rise
// slowly within 0.125 s of a lean-limit change, only fall slowly otherwise.
float look_ahead_smooth_throttle(float t, float last, float seconds_since_limit);

// The robot's normal driver, once a tick while the recovery counter is 0:
// target speed from the line (slowed for a rider ahead and for the ground's
// grip), an aim point a few samples ahead or along a coming jump, lean by
// lean rate within the grip, and smoothed throttle.
void auto_pilot_steer_ahead(rider* r);
