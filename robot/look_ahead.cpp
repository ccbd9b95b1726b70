// Support functions for look-ahead driving: axes, footprints, radii.
#include "robot/look_ahead.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "robot/lines.h"

look_ahead_axes look_ahead_axes_from_velocity(const float velocity[3]) {
  look_ahead_axes a{};
  const double vx = velocity[0], vy = velocity[1], vz = velocity[2];
  const double size = std::sqrt(vx * vx + vy * vy + vz * vz);
  // A still bike (or a velocity too small to give a direction) looks along +z.
  if (!(size > 1e-6) || !std::isfinite(size)) {
    a.h[2] = 1;
  } else {
    a.h[0] = (float)(-vx / size);
    a.h[1] = (float)(-vy / size);
    a.h[2] = (float)(-vz / size);
  }
  a.lateral[0] = a.h[2];
  a.lateral[2] = -a.h[0];
  a.up[1] = 1;
  return a;
}

void footprint_corners(float out[4][3], const float base[3], const look_ahead_axes& axes, float lateral_from,
                       float forward_from, float lateral_to, float forward_to) {
  for (int k = 0; k < 4; k++) {
    const float lat = k < 2 ? lateral_from : lateral_to;
    const float fwd = (k == 0 || k == 3) ? forward_from : forward_to;
    for (int c = 0; c < 3; c++) out[k][c] = base[c] + axes.lateral[c] * lat + axes.h[c] * fwd;
  }
}

static line_sample corner_sample(const float p[3]) { return line_sample{p[0], p[1], p[2], 0, 0}; }

static void bike_footprint(float out[4][3], const float position[3], const look_ahead_axes& axes, float length) {
  const float base[3] = {position[0], 0, position[2]};
  footprint_corners(out, base, axes, -2, -4 - length, 2, 4);
}

int32_t rider_ahead_in_footprint_at(const float position[3], const look_ahead_axes& axes, float length,
                                    const float (*other_positions)[3], const float (*other_velocities)[3],
                                    int32_t count) {
  float mine[4][3];
  bike_footprint(mine, position, axes, length);
  int32_t best = -1;
  double best_distance = 1000000;
  for (int32_t i = 0; i < count; i++) {
    const float* op = other_positions[i];
    const float* ov = other_velocities[i];
    const look_ahead_axes other_axes = look_ahead_axes_from_velocity(ov);
    const double speed = std::sqrt((double)ov[0] * ov[0] + (double)ov[1] * ov[1] + (double)ov[2] * ov[2]);
    float theirs[4][3];
    bike_footprint(theirs, op, other_axes, std::isfinite(speed) ? (float)speed : 0);
    for (int k = 0; k < 4; k++) {
      const line_sample a = corner_sample(mine[k]), b = corner_sample(mine[(k + 1) % 4]);
      const line_sample p = corner_sample(theirs[k]), q = corner_sample(theirs[(k + 1) % 4]);
      if (!segment_side(a, b, p, q) || !segment_side(p, q, a, b)) continue;
      const double dx = (double)op[0] - position[0], dy = (double)op[1] - position[1],
                   dz = (double)op[2] - position[2];
      const double distance = dx * dx + dz * dz;
      const double it_ahead = -(dx * axes.h[0] + dy * axes.h[1] + dz * axes.h[2]);
      const double me_ahead = dx * other_axes.h[0] + dy * other_axes.h[1] + dz * other_axes.h[2];
      if (distance < best_distance && it_ahead > me_ahead) {
        best_distance = distance;
        best = i;
      }
      break;
    }
  }
  return best;
}

static void frame_state(const rider* r, float position[3], float velocity[3]) {
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRAME]);
  for (int c = 0; c < 3; c++) {
    position[c] = (float)p[c];
    velocity[c] = (float)v[c];
  }
}

rider* rider_ahead_in_footprint(const rider* r, const look_ahead_axes& axes, float length) {
  if (!r || !r->bodies[RIDER_FRAME]) return nullptr;
  float position[3], velocity[3];
  frame_state(r, position, velocity);
  float other_positions[RIDER_SLOT_COUNT][3], other_velocities[RIDER_SLOT_COUNT][3];
  rider* others[RIDER_SLOT_COUNT];
  int32_t count = 0;
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    rider* o = rider_slots[i];
    if (!o || o == r || !o->bodies[RIDER_FRAME]) continue;
    frame_state(o, other_positions[count], other_velocities[count]);
    others[count++] = o;
  }
  const int32_t found = rider_ahead_in_footprint_at(position, axes, length, other_positions, other_velocities, count);
  return found < 0 ? nullptr : others[found];
}

float turning_radius_to_point_at(const float position[3], float r, const look_ahead_axes& axes,
                                 const float target[3]) {
  const double ox = (double)target[0] - position[0], oy = (double)target[1] - position[1],
               oz = (double)target[2] - position[2];
  const double lat = ox * axes.lateral[0] + oy * axes.lateral[1] + oz * axes.lateral[2];
  const double fwd = -(ox * axes.h[0] + oy * axes.h[1] + oz * axes.h[2]);
  if (fwd <= 0) return lat >= 0 ? 10.0f : -10.0f;
  // An infinite or undefined radius (upright, or still) is the planner's
  // straight line.
  double radius = std::isfinite(r) ? r : 1000000.0;
  if (radius > 1000000) radius = 1000000;
  if (radius < -1000000) radius = -1000000;
  const double to_centre_lat = radius - lat, to_centre_fwd = -fwd;
  const double to_centre = std::sqrt(to_centre_lat * to_centre_lat + to_centre_fwd * to_centre_fwd);
  double near_lat = lat, near_fwd = fwd;
  // A target at the centre has no nearest point on the circle: leave it be.
  if (to_centre > 0) {
    near_lat = radius - std::fabs(radius) * to_centre_lat / to_centre;
    near_fwd = -std::fabs(radius) * to_centre_fwd / to_centre;
  }
  double pushed_lat = lat + 2 * (lat - near_lat);
  const double pushed_fwd = fwd + 2 * (fwd - near_fwd);
  if (std::fabs(pushed_lat) < 1e-6) pushed_lat = pushed_lat < 0 ? -1e-6 : 1e-6;
  return (float)((pushed_lat * pushed_lat + pushed_fwd * pushed_fwd) / (2 * pushed_lat));
}

float turning_radius_to_point(const rider* r, float radius, const look_ahead_axes& axes, const float target[3]) {
  if (!r || !r->bodies[RIDER_FRAME]) return 1000000;
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const float position[3] = {(float)p[0], (float)p[1], (float)p[2]};
  return turning_radius_to_point_at(position, radius, axes, target);
}

float look_ahead_turning_radius(float v, float f, float lean) {
  const double limit = 1000000;
  const double denominator = 32.0 * f * std::tan((double)lean);
  const double numerator = -(double)v * v;
  // Upright or still: the straight line.
  if (numerator == 0 || denominator == 0 || !std::isfinite(numerator) || !std::isfinite(denominator)) return limit;
  const double r = numerator / denominator;
  if (std::fabs(r) > limit) return (float)(lean > 0 ? -limit : limit);
  return (float)r;
}

float look_ahead_jump_time(int32_t steps, float distance, float v) {
  if (steps < 0) return 1000000;
  if (v < 0.01f) return distance == 0 ? steps * 0.25f : 1000000;
  return steps * 0.25f + distance / v;
}

static double clamp01(double x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

float look_ahead_crowd_share(float t) {
  if (t > 100) t = 100;
  return (float)(clamp01((t - 3) / 2.0) * clamp01((120 - t) / 100.0));
}

float look_ahead_speed_behind(float s, float v, float u, float d, float a, int* lines_cleared) {
  const double gap = 8.0 * a + 12;
  if (d < gap) return std::fmin(s, (float)((1 - a / 4.0) * u));
  if (u >= s) return s;
  const double t = (v - u) / 5.0;
  const double x = ((double)v * t - 2.5 * t * t) - (d + (double)u * t);
  if (x <= -gap) return s;
  const double q = clamp01((x + gap) / 3);
  if (lines_cleared) *lines_cleared = 1;
  return (float)(s + (u - s) * q);
}

float look_ahead_smooth_throttle(float t, float last, float seconds_since_limit) {
  const float step = 1.0f / 32;
  if (seconds_since_limit < 0.125f) return std::fmax(0.0f, std::fmin(t, last + step));
  return std::fmin(1.0f, std::fmax(t, last - step));
}

void auto_pilot_steer_ahead(rider* r) {
  // Not driven yet: hold the bike still.
  if (!r) return;
  rider_set_throttle(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
}
