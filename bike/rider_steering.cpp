// The steering controller and its smaller operations.
#include "bike/rider_steering.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_limbs.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

namespace {

constexpr float h = 1.0f / 128.0f;
constexpr float quarter_pi = 0.78539816f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// Moves v toward 0 by step, stopping at 0.
float dead_band(float v, float step) {
  if (v > step) return v - step;
  if (v < -step) return v + step;
  return 0;
}

void steering_axis_local(const rider* r, float s[3]) {
  const bike_model* m = rider_model(r);
  float len = 0;
  for (int i = 0; i < 3; i++) {
    s[i] = m->fork_upper_position[i] - m->fork_lower_position[i];
    len += s[i] * s[i];
  }
  len = std::sqrt(len);
  if (len > 0)
    for (int i = 0; i < 3; i++) s[i] /= len;
}

// Ratio guarded against an empty range: a range of zero width gives 0.
float ratio01(float num, float den) {
  if (den == 0) return 0;
  return clampf(num / den, 0, 1);
}

}  // namespace

float steering_lock(float front_speed, float full_lock_speed, float restricted_lock_speed,
                    float restricted_lock, float mu) {
  const float v2 = std::fmax(full_lock_speed + 1, restricted_lock_speed);
  const float v = std::fmax(front_speed, 1.0f);
  float full = 1;
  const float range = 1 / full_lock_speed - 1 / v2;
  if (range > 0) full = clampf((1 / v - 1 / v2) / range, 0, 1);
  const float restricted = std::fmin(restricted_lock / std::fmax(mu, 0.125f), quarter_pi);
  return restricted + (quarter_pi - restricted) * full;
}

float steering_front_slide(float front_speed, float lock, float lean, float slip, float angle) {
  const float g = clampf((front_speed - 5) / (15 - 5), 0, 1);
  const float lo_s = 0.25f * g * lock;
  const float hi_s = (0.625f * g + 0.125f) * lock;
  const float pi12 = 3.14159265f / 12;
  float p, b;
  if (lean >= 0) {
    p = ratio01(-slip - lo_s, hi_s - lo_s);
    b = clampf((angle - pi12) * 12 / 3.14159265f, 0, 1);
  } else {
    p = ratio01(slip - lo_s, hi_s - lo_s);
    b = clampf((angle + pi12) * (-12 / 3.14159265f), 0, 1);
  }
  return std::fmax(p, b);
}

void rider_apply_steering_torque(rider* r, float torque) {
  float s[3];
  steering_axis_local(r, s);
  dVector3 w;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], s[0], s[1], s[2], w);
  dBodyAddTorque(r->bodies[RIDER_FRONT_WHEEL], torque * w[0], torque * w[1], torque * w[2]);
  dBodyAddTorque(r->bodies[RIDER_FRAME], -torque * w[0], -torque * w[1], -torque * w[2]);
}

float rider_front_slip_angle(rider* r) {
  float s[3];
  steering_axis_local(r, s);
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRONT_WHEEL]);
  dVector3 l;
  dBodyVectorFromWorld(r->bodies[RIDER_FORK_UPPER], v[0], v[1], v[2], l);
  const float lateral = (float)l[0];
  const float forward = (float)(l[1] * -s[2] + l[2] * s[1]);
  if (lateral * lateral + forward * forward <= 1) return 0;
  return -std::atan2(lateral, -forward);
}

float rider_steer_for_angle(rider* r, float target) {
  const float a = (float)dJointGetHingeAngle(r->joints[RIDER_STEERING]);
  const float w = (float)dJointGetHingeAngleRate(r->joints[RIDER_STEERING]);
  const float e = dead_band(clampf(target - a, -0.25f, 0.25f), 1.0f / 32);
  const float u = dead_band(8 * e - w, 0.00041666668f);
  return clampf(u / 2, -2.0f / 3, 2.0f / 3);
}

void rider_steering_control(rider* r) {
  r->front_slide = 0;
  if (r->down_counter > 0) return;
  const bike_model* m = rider_model(r);
  float hi = r->max_steering_force, lo = -r->max_steering_force;
  float d = r->steering_strength * r->steer * r->direct_steering;
  const float rf = m->front_rim_radius + m->front_tyre_radius;
  const float axle_rate = (float)dJointGetHingeAngleRate(r->joints[RIDER_FRONT_AXLE]);
  const float vf = rf * axle_rate;
  dBodyID frame = r->bodies[RIDER_FRAME];
  const float lean = body_lean_angle(frame);
  const float a = (float)dJointGetHingeAngle(r->joints[RIDER_STEERING]);
  const float slip = rider_front_slip_angle(r);

  const dReal* fp = dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL]);
  float mu = 1;
  if (track_field.tilemap) {
    const int tile = tile_at(&track_field, (float)fp[0], (float)fp[2]);
    mu = track_field.friction_value[tile][0];
  }
  const float lock =
      steering_lock(vf, r->full_lock_speed, r->restricted_lock_speed, r->restricted_lock, mu);

  if (vf > 1) {
    const float c = (float)fp[1] - terrain_height(&track_field, (float)fp[0], (float)fp[2]) - rf;
    if (c < 0.5f) {
      const float lim = lock + (quarter_pi - lock) * clampf(2 * c, 0, 1);
      const float w = 1.125f * lim + 0.015f;
      if (slip > lim) {
        const float k = clampf((slip - w) / (lim - w), 0, 1);
        lo = (1.25f * k - 0.25f) * lo;
      } else if (slip < -lim) {
        const float k = clampf((slip + w) / (w - lim), 0, 1);
        hi = (1.25f * k - 0.25f) * hi;
      }
    }
  }

  float t, s;
  if (r->front_contact.depth <= 0 || axle_rate <= quarter_pi) {
    r->land_damping = r->land_damping_factor;
    t = -50 * a;
    if (!(r->assist_flags & RIDER_ASSIST_AIR_STEERING)) d = 0;
    s = d;
  } else {
    dVector3 wl;
    const dReal* w = dBodyGetAngularVel(frame);
    dBodyVectorFromWorld(frame, w[0], w[1], w[2], wl);
    const float q = (float)wl[2];
    float mult = r->land_damping;
    float roll = q * r->roll_damping * mult;
    if (mult > 1) {
      mult = r->land_damping_falloff == 0
                 ? 1
                 : std::fmax(1.0f, mult - (r->land_damping_factor - 1) * h / r->land_damping_falloff);
      r->land_damping = mult;
    }
    float level = lean * r->leveling;
    const dReal* fv = dBodyGetLinearVel(frame);
    const float v = (float)std::sqrt(fv[0] * fv[0] + fv[1] * fv[1] + fv[2] * fv[2]);
    if (v < r->slow_damping_speed) {
      const float k = r->slow_damping_factor +
                      (1 - r->slow_damping_factor) * clampf(v / r->slow_damping_speed, 0, 1);
      level *= k;
      roll *= k;
    }
    if ((q >= 0) == (lean >= 0) && std::fabs(lean) > r->roll_limit_angle)
      roll *= 1 + (std::fabs(lean) - r->roll_limit_angle) * r->roll_limit_factor;
    t = roll + level;
    if (r->direct_steering >= 1) {
      s = d;
    } else {
      float want = 2.5f * (-r->steer * r->roll_limit_angle - lean);
      const bool back = (lean >= 0 && want < 0) || (lean < 0 && want >= 0);
      const float limit = back ? 9.817477f : 3.926991f;
      want = clampf(want, -limit, limit);
      const float u = clampf(4 * (q - want + clampf(want - q, -0.125f, 0.125f)), -1, 1);
      const float c = r->steering_strength * u;
      s = (d - c) * r->direct_steering + c;
    }
  }

  if (r->hit_timer > 0) {
    const float l = 200 * clampf((64 - r->hit_timer) / 64, 0, 1);
    t = clampf(t, -l, l);
  }
  r->front_slide = steering_front_slide(vf, lock, lean, slip, a);
  rider_apply_steering_torque(r, clampf(1.5f * (s + t), lo, hi));
}
