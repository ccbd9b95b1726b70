// Foot targets of the rider: the law-of-cosines limb solver and the feet
// reaching for the ground at slow speed or after a fall.
#include "bike/rider_limbs.h"

#include <cmath>

#include "bike/rider.h"
#include "terrain/height_field.h"

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

void body_point(dBodyID b, float x, float y, float z, float out[3]) {
  dVector3 p;
  dBodyGetRelPointPos(b, x, y, z, p);
  out[0] = (float)p[0];
  out[1] = (float)p[1];
  out[2] = (float)p[2];
}

}  // namespace

void solve_limb_joint(const float start[3], float first_length, const float end[3],
                      float second_length, const float bend_point[3], float joint[3]) {
  const float a = first_length, b = second_length;
  float e[3] = {end[0] - start[0], end[1] - start[1], end[2] - start[2]};
  float d = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
  float u[3] = {0, 0, 0};
  if (d > 0) {
    for (int i = 0; i < 3; i++) u[i] = e[i] / d;
  }
  if (d > 0.95f * (a + b)) d = 0.95f * (a + b);
  // A limb whose ends coincide has no direction to bend from; the joint
  // stays at the start rather than becoming 0/0.
  const float x = d > 0 ? (a * a + d * d - b * b) / (2 * d) : 0;
  const float hh = a * a - x * x;
  const float h = hh > 0 ? std::sqrt(hh) : 0;
  float v[3] = {bend_point[0] - start[0], bend_point[1] - start[1], bend_point[2] - start[2]};
  const float along = v[0] * u[0] + v[1] * u[1] + v[2] * u[2];
  for (int i = 0; i < 3; i++) v[i] -= along * u[i];
  const float vl = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int i = 0; i < 3; i++) {
    const float side = vl > 0 ? v[i] / vl : 0;
    joint[i] = start[i] + x * u[i] + h * side;
  }
}

float body_lean_angle(dBodyID body) {
  const dReal* p = dBodyGetPosition(body);
  dVector3 up, fw;
  dBodyGetRelPointPos(body, 0, 1, 0, up);
  dBodyGetRelPointPos(body, 0, 0, -1, fw);
  const double u[3] = {up[0] - p[0], up[1] - p[1], up[2] - p[2]};
  double f[3] = {fw[0] - p[0], 0, fw[2] - p[2]};
  const double fl = std::sqrt(f[0] * f[0] + f[2] * f[2]);
  if (fl > 0) {
    f[0] /= fl;
    f[2] /= fl;
  }
  double c = u[2] * f[0] - u[0] * f[2];
  c = c < -1 ? -1 : c > 1 ? 1 : c;
  return (float)(std::acos(c) - M_PI / 2);
}

void rider_limb_pose(const rider* r, float left_foot[3], float* left_weight, float right_foot[3],
                     float* right_weight) {
  const bike_model* row = rider_model(r);
  dBodyID frame = r->bodies[RIDER_FRAME];
  dBodyID person = r->bodies[RIDER_PERSON];
  float lw = 0, rw = 0;
  if (!row || !frame || !person) {
    for (int i = 0; i < 3; i++) left_foot[i] = right_foot[i] = 0;
    if (left_weight) *left_weight = 0;
    if (right_weight) *right_weight = 0;
    return;
  }
  const float* g = row->pose_geometry;
  const int counter = r->down_counter;

  float left_rest[3] = {g[21], g[22], g[23]};
  float right_rest[3] = {g[24], g[25], g[26]};
  if (counter > 0) {
    const float n = (float)(counter > 128 ? 128 : counter);
    const float r1 = 0.5f * clampf(2 * (n / 128 - 0.5f), 0, 1);
    const float r2 = clampf(2 * n / 128, 0, 1);
    const float r3 = clampf(4 * n / (3 * 128), 0, 1);
    left_rest[0] -= r1;
    left_rest[1] += 1.75f * r2;
    left_rest[2] += r3;
    right_rest[0] += r1;
    right_rest[1] += 1.75f * r2;
    right_rest[2] += r3;
  }
  body_point(frame, left_rest[0], left_rest[1], left_rest[2], left_foot);
  body_point(frame, right_rest[0], right_rest[1], right_rest[2], right_foot);

  // Without a loaded terrain there is no ground to reach for.
  if (r->ramp != 0 && counter < 128 && track_field.heights) {
    float lh[3], rh[3];
    body_point(person, g[9], g[10], g[11], lh);
    body_point(person, g[12], g[13], g[14], rh);
    const float hip[3] = {rh[0] - lh[0], rh[1] - lh[1], rh[2] - lh[2]};
    const dReal* rot = dBodyGetRotation(frame);
    const float fwd[3] = {(float)-rot[2], (float)-rot[6], (float)-rot[10]};
    const float a = body_lean_angle(frame);
    const dReal* v = dBodyGetLinearVel(frame);
    const float along = (float)(v[0] * fwd[0] + v[1] * fwd[1] + v[2] * fwd[2]);
    const float s = clampf(along / 15, 0, 1);
    const float t = clampf(std::fabs(a) * 1.2732395f, 0, 1);
    const float k = (1.25f * s - 0.25f) * t * 2.5f;
    const float ramp = r->ramp;
    auto reach = [&](const float h[3], float side, float weight, float foot[3]) {
      float p[3];
      for (int i = 0; i < 3; i++) p[i] = h[i] + side * hip[i] + k * fwd[i];
      const float target[3] = {p[0], terrain_height(&track_field, p[0], p[2]) + 0.125f, p[2]};
      for (int i = 0; i < 3; i++) foot[i] += (target[i] - foot[i]) * weight;
    };
    if (a > -0.1f) {
      lw = 1 - clampf(2.5f * (a + 0.5f), 0, 1) * (1 - ramp);
      reach(lh, 0.5f * t - 0.5f, lw, left_foot);
    }
    if (a < 0.1f) {
      rw = 1 - clampf(-2.5f * (a - 0.5f), 0, 1) * (1 - ramp);
      reach(rh, 0.5f - 0.5f * t, rw, right_foot);
    }
  }

  if (counter > 0) {
    const float m = clampf(2.0f * counter - 128, 1, 128) / 128;
    for (int i = 0; i < 3; i++) {
      left_foot[i] += (r->point_a_pos[i] - left_foot[i]) * m;
      right_foot[i] += (r->point_b_pos[i] - right_foot[i]) * m;
    }
    lw = rw = 1;
  }
  if (left_weight) *left_weight = lw;
  if (right_weight) *right_weight = rw;
}
