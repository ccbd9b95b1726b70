// Support functions for look-ahead driving: axes, footprints, radii.
#include "robot/look_ahead.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "bike/rider_steering.h"
#include "bike/wheel_contacts.h"
#include "core/race_clock.h"
#include "robot/line_following.h"
#include "robot/speed_control.h"
#include "terrain/height_field.h"
#include "terrain/ruts.h"
#include "terrain/tiles.h"
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

// 1 when point p lies inside the convex footprint q (corners in order).
static int footprint_holds(const float q[4][3], const float p[3]) {
  int sign = 0;
  for (int k = 0; k < 4; k++) {
    const float* a = q[k];
    const float* b = q[(k + 1) % 4];
    const double c = ((double)b[0] - a[0]) * ((double)p[2] - a[2]) - ((double)b[2] - a[2]) * ((double)p[0] - a[0]);
    const int s = c > 0 ? 1 : (c < 0 ? -1 : 0);
    if (s == 0) continue;
    if (sign == 0) sign = s;
    else if (s != sign) return 0;
  }
  return 1;
}

// Two footprints share ground when any edge of one crosses any edge of the
// other, or one lies wholly inside the other. Comparing only like edges
// (left with left, front with front) misses the commonest case of all: a
// bike ahead in the same lane, going the same way, whose sides run
// alongside the robot's own.
static int footprints_overlap(const float mine[4][3], const float theirs[4][3]) {
  for (int k = 0; k < 4; k++) {
    const line_sample a = corner_sample(mine[k]), b = corner_sample(mine[(k + 1) % 4]);
    for (int m = 0; m < 4; m++) {
      const line_sample p = corner_sample(theirs[m]), q = corner_sample(theirs[(m + 1) % 4]);
      if (segment_side(a, b, p, q) && segment_side(p, q, a, b)) return 1;
    }
  }
  return footprint_holds(mine, theirs[0]) || footprint_holds(theirs, mine[0]);
}

int32_t rider_ahead_in_footprint_at(const float position[3], const look_ahead_axes& axes, float length,
                                    const float (*other_positions)[3], const float (*other_velocities)[3],
                                    int32_t count) {
  float mine[4][3];
  bike_footprint(mine, position, axes, length);
  int32_t best = -1;
  double best_distance = 1000000;
  // Every point of a footprint lies within its reach of the bike's own
  // position: bikes further apart than their two reaches cannot overlap.
  const double my_reach = std::hypot(4.0 + (std::isfinite(length) ? std::fmax(length, 0.0f) : 0.0f), 2.0);
  for (int32_t i = 0; i < count; i++) {
    const float* op = other_positions[i];
    const float* ov = other_velocities[i];
    const double speed = std::sqrt((double)ov[0] * ov[0] + (double)ov[1] * ov[1] + (double)ov[2] * ov[2]);
    const double their_reach = std::hypot(4.0 + (std::isfinite(speed) ? speed : 0.0), 2.0);
    const double gx = (double)op[0] - position[0], gz = (double)op[2] - position[2];
    if (gx * gx + gz * gz > (my_reach + their_reach) * (my_reach + their_reach)) continue;
    const look_ahead_axes other_axes = look_ahead_axes_from_velocity(ov);
    float theirs[4][3];
    bike_footprint(theirs, op, other_axes, std::isfinite(speed) ? (float)speed : 0);
    if (footprints_overlap(mine, theirs)) {
      const double dx = (double)op[0] - position[0], dy = (double)op[1] - position[1],
                   dz = (double)op[2] - position[2];
      const double distance = dx * dx + dz * dz;
      const double it_ahead = -(dx * axes.h[0] + dy * axes.h[1] + dz * axes.h[2]);
      const double me_ahead = dx * other_axes.h[0] + dy * other_axes.h[1] + dz * other_axes.h[2];
      if (distance < best_distance && it_ahead > me_ahead) {
        best_distance = distance;
        best = i;
      }
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

namespace {

constexpr float pi_f = 3.14159265358979f;
constexpr float tick_length = 1.0f / 128;

struct line_view {
  const line_sample* s;
  int32_t count;
  const line_sample& at(int32_t i) const { return s[i < 0 ? 0 : (i >= count ? count - 1 : i)]; }
  // The point at fractional index p: sample floor(p) toward the next.
  void point(float p, float out[3]) const {
    const int32_t i = (int32_t)p;
    const float f = p - (float)i;
    const line_sample& a = at(i);
    const line_sample& b = at(i + 1);
    out[0] = a.x + (b.x - a.x) * f;
    out[1] = a.y + (b.y - a.y) * f;
    out[2] = a.z + (b.z - a.z) * f;
  }
};

float clampf(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

// The grip margin at a point: the ground's sideways tilt across the frame
// (beta) and the lean its friction allows beyond it (phi).
void grip_band(dBodyID frame, float x, float z, float* beta, float* phi) {
  float n[3];
  terrain_triangle_normal(&track_field, x, z, n);
  dVector3 local;
  dBodyVectorFromWorld(frame, n[0], n[1], n[2], local);
  *beta = std::atan2((float)local[0], (float)local[1]);
  const float grip = ground_tile_grip(&track_field, ground_tile_at(&track_field, x, z));
  *phi = std::fmin(std::atan(grip), 3 * pi_f / 8);
}


// What one tick of look-ahead driving learns about the bike and its line,
// handed on from each stage to the next.
struct steer_tick {
  rider* r;
  line_view line;
  int32_t now;
  dBodyID frame;
  float position[3];
  float velocity[3];
  look_ahead_axes axes;
  float v;        // the bike's speed
  float place;    // the cursor's fractional index along the line
  int32_t i;      // the sample at or behind the cursor
  float speed_i;  // the line's speed there
  float s;        // the speed to hold
  float tau;      // seconds to the next jump
  int32_t jump;   // the next jump's sample, or -1
  float f;        // the load on the wheels, in weights
  float lambda;   // the lean rate limit
  float lean;
  float radius;  // of the turn the bike is leaning into
  float k;       // how hard the lean is pulled toward the wanted one
  float aim[3];
  float turn;  // the radius that reaches the aim
  float want;  // the wanted lean
  float grip;  // the share of throttle the front tyre allows
  float slide;
};

// The first jump (two airborne samples in a row) within 20 samples of i,
// or -1.
int32_t next_jump(const line_view& line, int32_t i) {
  for (int32_t j = i; j <= i + 19 && j < line.count; j++)
    if (line.at(j).speed < 0 && line.at(j + 1).speed < 0) return j;
  return -1;
}

// The bike's place along its line and the line's speed there, the time to
// the next jump, and the load, lean rate limit and turn of the bike.
void read_bike_on_line(steer_tick& t) {
  rider* r = t.r;
  const line_view& line = t.line;
  dBodyID frame = t.frame = r->bodies[RIDER_FRAME];
  const dReal* fp = dBodyGetPosition(frame);
  const dReal* fv = dBodyGetLinearVel(frame);
  float* position = t.position;
  float* velocity = t.velocity;
  for (int c = 0; c < 3; c++) position[c] = (float)fp[c];
  for (int c = 0; c < 3; c++) velocity[c] = (float)fv[c];
  t.axes = look_ahead_axes_from_velocity(velocity);

  float& v = t.v;
  v = std::sqrt(velocity[0] * velocity[0] + velocity[1] * velocity[1] + velocity[2] * velocity[2]);
  if (!std::isfinite(v)) v = 0;
  // Foot down at walking pace: a robot slowed to a stop behind another (or
  // at the end of its race) would otherwise stand on its wheels alone and
  // topple.
  rider_set_dab(r, v < 5 && r->down_counter <= 0 ? 1 : 0);
  const float place = t.place = line_cursor_position(r);
  const int32_t i = t.i = (int32_t)place;
  const float speed_i = t.speed_i = std::fabs(line.at(i).speed);
  t.s = speed_i + (std::fabs(line.at(i + 1).speed) - speed_i) * (place - (float)i);

  const int32_t jump = t.jump = next_jump(line, i);
  const line_sample& si = line.at(i);
  const float to_i = std::sqrt((si.x - position[0]) * (si.x - position[0]) +
                               (si.y - position[1]) * (si.y - position[1]) +
                               (si.z - position[2]) * (si.z - position[2]));
  t.tau = look_ahead_jump_time(jump < 0 ? -1 : jump - i, to_i, v);

  const float load = (wheel_contact_normal_force(&r->front_contact) + wheel_contact_normal_force(&r->rear_contact)) /
                     (32 * r->total_mass);
  const float f = t.f = std::isfinite(load) ? std::fmax(1.0f, load - 1) : 1.0f;
  t.lambda = pi_f / f;
  const float lean = t.lean = body_pitch_angle(frame);
  t.radius = look_ahead_turning_radius(v, f, lean);
}

// A rider in the way: the speed to hold drops toward theirs, measured along
// the circle about the robot's turning centre.
void slow_behind_rider_ahead(steer_tick& t) {
  rider* other = rider_ahead_in_footprint(t.r, t.axes, t.v);
  if (!other) return;
  const float* position = t.position;
  const look_ahead_axes& axes = t.axes;
  const float radius = t.radius;
  const float race_seconds = std::fmin((float)(t.now - race_clock.gate_drop_tick) * tick_length, 100);
  const float a = look_ahead_crowd_share(race_seconds);
  const dReal* op = dBodyGetPosition(other->bodies[RIDER_FRAME]);
  const dReal* ov = dBodyGetLinearVel(other->bodies[RIDER_FRAME]);
  const float dx = (float)op[0] - position[0], dy = (float)op[1] - position[1], dz = (float)op[2] - position[2];
  const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
  const float centre[2] = {position[0] + radius * axes.lateral[0], position[2] + radius * axes.lateral[2]};
  float rx = (float)op[0] - centre[0], rz = (float)op[2] - centre[1];
  const float rl = std::sqrt(rx * rx + rz * rz);
  float u = 0;
  if (rl > 1e-6f) {
    rx /= rl;
    rz /= rl;
    // Tangent direction that points ahead (against h).
    float tx = -rz, tz = rx;
    if (tx * axes.h[0] + tz * axes.h[2] > 0) {
      tx = -tx;
      tz = -tz;
    }
    const float along = (float)ov[0] * tx + (float)ov[2] * tz;
    u = along > 0 && std::isfinite(along) ? along : 0;
  }
  int cleared = 0;
  t.s = look_ahead_speed_behind(t.s, t.v, u, d, a, &cleared);
  if (cleared)
    for (int32_t& id : t.r->robot.picked_line_ids) id = 0;
}

// The point to steer for: four samples on before the first timing line;
// after it, nearer while the line ahead runs straight, and toward the
// jump's far side as a jump comes.
void choose_aim_point(steer_tick& t) {
  const line_view& line = t.line;
  const float* position = t.position;
  const look_ahead_axes& axes = t.axes;
  const int32_t i = t.i;
  float* aim = t.aim;
  t.k = 4;
  if (t.r->timing_count <= 0) {
    line.point(t.place + 4, aim);
    return;
  }
  int32_t n = 0;
  for (int32_t j = i + 1; j < line.count && n < 6; j++) {
    const line_sample& q = line.at(j);
    const float ox = q.x - position[0], oz = q.z - position[2];
    const float ahead = -(ox * axes.h[0] + oz * axes.h[2]);
    const float across = ox * axes.lateral[0] + oz * axes.lateral[2];
    if (!(ahead > 0) || std::fabs(across) > ahead / 8) break;
    n++;
  }
  const float g = clampf((20.0f - (float)n) / 17, 0, 1);
  t.k = 4 * g;
  t.lambda *= g;
  if (t.tau >= 2) {
    line.point(t.place + ((n < 5 || std::fabs(t.lean) >= pi_f / 8) ? 2 : 3), aim);
  } else {
    const float z = std::fmin(1.0f, 2 * (2 - t.tau));
    const line_sample& a3 = line.at(i + 3);
    const line_sample& j0 = line.at(t.jump);
    const line_sample& j3 = line.at(t.jump + 3);
    aim[0] = a3.x + z * (position[0] + j3.x - j0.x - a3.x);
    aim[1] = a3.y + z * (position[1] + j3.y - j0.y - a3.y);
    aim[2] = a3.z + z * (position[2] + j3.z - j0.z - a3.z);
  }
}

// The lean that turns onto the aim, within the ground's grip along the line
// ahead and under the front wheel. A limited lean limits the speed too.
void choose_lean(steer_tick& t) {
  rider* r = t.r;
  const line_view& line = t.line;
  const int32_t i = t.i;
  const float v = t.v, f = t.f, lean = t.lean;
  const float turn = t.turn = turning_radius_to_point(r, t.radius, t.axes, t.aim);
  float& want = t.want;
  want = std::atan(-v * v / (32 * f * turn));
  if (!std::isfinite(want)) want = 0;

  const float unlimited = want;
  for (int32_t j = i + 4; j >= i - 1; j--) {
    float px, pz;
    if (j >= i) {
      px = line.at(j).x;
      pz = line.at(j).z;
    } else {
      const dReal* wp = dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL]);
      const dReal* wv = dBodyGetLinearVel(r->bodies[RIDER_FRONT_WHEEL]);
      px = (float)(wp[0] + wv[0] * 0.25);
      pz = (float)(wp[2] + wv[2] * 0.25);
    }
    float beta, phi;
    grip_band(t.frame, px, pz, &beta, &phi);
    want = clampf(want, lean - beta - phi, lean - beta + phi);
  }
  if (want != unlimited) {
    const float bound = std::sqrt(std::tan(std::fabs(want)) * f * std::fabs(turn) * 32);
    if (std::isfinite(bound)) t.s = std::fmin(t.s, bound);
    r->robot.lean_limit_tick = t.now;
  }
}

// Eases the wanted lean, the throttle's share and the lean rate for a
// sliding front tyre, a slow bike and a jump coming.
void ease_for_slide_speed_and_jumps(steer_tick& t) {
  rider* r = t.r;
  const float v = t.v, tau = t.tau;
  float& want = t.want;
  float& grip = t.grip;
  float& slide = t.slide;
  float& s = t.s;
  float& lambda = t.lambda;
  // A sliding front tyre eases off the throttle.
  grip = 1;
  slide = 0;
  if (r->front_contact.depth >= 0) {
    const float* pv = r->front_contact.point_velocity;
    slide = r->front_contact.depth > 0 ? std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]) : 0;
    if (!std::isfinite(slide)) slide = 0;
    grip = clampf((16 - slide) / 16, 0, 1);
  }
  // Slow: ride upright.
  if (v < 7.5f) {
    want = 0;
    grip = 1;
  } else if (v < 10) {
    const float q = (v - 7.5f) * 0.4f;
    want *= q;
    grip = 1 - (1 - grip) * q;
  }
  // A jump coming: straighten up, hold speed, steady the lean.
  if (tau < 3) {
    const float q = clampf((3 - tau) / 2, 0, 1);
    grip += (1 - grip) * q;
    s += (std::fmax(v, t.speed_i + 2) - s) * q;
    const float cap = pi_f / 2 - 7 * pi_f / 16 * q;
    want = clampf(want, -cap, cap);
    const float q2 = clampf((3 - tau) / 3, 0, 1);
    lambda += (pi_f / 8 - lambda) * q2;
  }
}

// Steers by the lean rate toward the wanted lean, then sets the speed and
// the smoothed throttle.
void steer_and_throttle(steer_tick& t) {
  rider* r = t.r;
  rider_robot_state& robot = r->robot;
  const float lean = t.lean, slide = t.slide;
  float lambda = t.lambda;
  // Righting may be twice as quick as leaning in.
  float e = (t.want - lean) * t.k;
  if ((lean >= 0 && e < 0) || (lean < 0 && e >= 0)) lambda *= 2;
  e = clampf(e, -lambda, lambda);
  if (!std::isfinite(e)) e = 0;
  r->full_lock_speed = 1.0f;
  r->restricted_lock_speed = 50.0f;
  r->restricted_lock = clampf((1 + 4 * clampf(std::fabs(e) / pi_f, 0, 1)) * pi_f / 180, 0, pi_f / 4);
  // The steer from the lean rate, blended with zero slip as the front
  // slides.
  const dReal* w = dBodyGetAngularVel(t.frame);
  dVector3 spin;
  dBodyVectorFromWorld(t.frame, w[0], w[1], w[2], spin);
  float x = (float)spin[2] - e;
  x = x > 0.125f ? x - 0.125f : (x < -0.125f ? x + 0.125f : 0);
  const float base = rider_steer_for_angle(r, rider_front_slip_angle(r));
  float steer = r->front_contact.depth <= 0 ? base : base + (4 * x - base) * clampf((4 - slide) / 4, 0, 1);
  steer = clampf(steer, -1, 1);
  rider_set_steer(r, std::isfinite(steer) ? steer : 0.0f);
  auto_pilot_speed_control(r, t.v, t.s);
  const float since = (float)(t.now - robot.lean_limit_tick) * tick_length;
  float throttle = look_ahead_smooth_throttle(t.grip * r->throttle, robot.last_throttle, since);
  if (!std::isfinite(throttle)) throttle = 0;
  robot.last_throttle = throttle;
  rider_set_throttle(r, r->down_counter > 0 ? 0 : clampf(throttle, 0, 1));
}

}  // namespace

void auto_pilot_steer_ahead(rider* r) {
  if (!r || !r->bodies[RIDER_FRAME]) return;
  steer_tick t{};
  t.r = r;
  t.line = line_view{(const line_sample*)r->followed_line.data, (int32_t)r->followed_line.count};
  if (t.line.count <= 0 || !t.line.s) return;
  t.now = race_clock.current_tick;
  // Stalled: the careful follower takes over from the next tick.
  if ((float)(t.now - r->robot.last_advance_tick) * tick_length > 3) {
    r->robot.recovery_counter = 3;
    return;
  }
  read_bike_on_line(t);
  slow_behind_rider_ahead(t);
  choose_aim_point(t);
  choose_lean(t);
  ease_for_slide_speed_and_jumps(t);
  steer_and_throttle(t);
}
