// Posing the rider: lean-back rule, bones and head. Every normalisation has
// a fallback, so a degenerate pose (a limb along its side reference, a head
// with nowhere to look) keeps the last sound frame instead of sending NaN
// on to the bone matrices.
#include "bike/rider_posing.h"

#include <cmath>
#include <cstring>

#include "bike/rider.h"
#include "bike/rider_limbs.h"

namespace {

void set3(float* o, float x, float y, float z) {
  o[0] = x;
  o[1] = y;
  o[2] = z;
}
void copy3(float* o, const float* a) { set3(o, a[0], a[1], a[2]); }
void sub3(const float* a, const float* b, float* o) { set3(o, a[0] - b[0], a[1] - b[1], a[2] - b[2]); }
float dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void cross3(const float* a, const float* b, float* o) {
  const float x = a[1] * b[2] - a[2] * b[1];
  const float y = a[2] * b[0] - a[0] * b[2];
  const float z = a[0] * b[1] - a[1] * b[0];
  set3(o, x, y, z);
}
float length3(const float* a) { return std::sqrt(dot3(a, a)); }

// Below this a direction is not trusted.
const float k_tiny = 1e-6f;

// o = a / |a|; 0 (o untouched) when a is too short or not finite.
int unit3(const float* a, float* o) {
  const float l = length3(a);
  if (!(l > k_tiny) || !std::isfinite(l)) return 0;
  set3(o, a[0] / l, a[1] / l, a[2] / l);
  return 1;
}

// World point of a body-coordinate point, and back.
void to_world(const body_transform* t, const float* p, float* o) {
  const float* r = t->rotation;
  const float x = r[0] * p[0] + r[1] * p[1] + r[2] * p[2] + t->position[0];
  const float y = r[3] * p[0] + r[4] * p[1] + r[5] * p[2] + t->position[1];
  const float z = r[6] * p[0] + r[7] * p[1] + r[8] * p[2] + t->position[2];
  set3(o, x, y, z);
}
void to_body(const body_transform* t, const float* p, float* o) {
  const float* r = t->rotation;
  float d[3];
  sub3(p, t->position, d);
  set3(o, r[0] * d[0] + r[3] * d[1] + r[6] * d[2], r[1] * d[0] + r[4] * d[1] + r[7] * d[2],
       r[2] * d[0] + r[5] * d[1] + r[8] * d[2]);
}
void column(const float* rotation, int c, float* o) { set3(o, rotation[c], rotation[3 + c], rotation[6 + c]); }

const float k_identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

int finite9(const float* m) {
  for (int i = 0; i < 9; i++)
    if (!std::isfinite(m[i])) return 0;
  return 1;
}

// Stores bone k: pivot and frame rows (a, b, c); a frame that could not be
// made (ok = 0) falls back to the bind frame. With bind frames known, the
// drawing rotation frame^T x bind goes beside it.
void store_bone(rider_bones* bones, const float* bind, int k, int ok, const float* pivot, const float* a,
                const float* b, const float* c) {
  float* f = bones->frames[k];
  if (ok) {
    copy3(f, a);
    copy3(f + 3, b);
    copy3(f + 6, c);
  }
  const float* fallback = bind ? bind + 9 * k : k_identity;
  if (!ok || !finite9(f)) std::memcpy(f, fallback, sizeof bones->frames[k]);
  copy3(bones->translations[k], pivot);
  if (!bind) return;
  const float* f0 = bind + 9 * k;
  float* r = bones->rotations[k];
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      r[j * 3 + i] = f[i] * f0[j] + f[3 + i] * f0[3 + j] + f[6 + i] * f0[6 + j];
}

void store_centres(rider_bones* bones, const bike_model* row, int first, int last) {
  const float* c = row->pose_geometry + BIKE_POSE_BONE_CENTRES;
  for (int k = first; k <= last; k++) copy3(bones->centres[k], c + 3 * k);
}

// Below this sine two directions count as parallel.
const float k_parallel = 1e-4f;

// o = the unit part of n square to the unit vector a; 0 when n is nearly
// nothing. Squaring up after the cross product keeps the frame orthonormal
// however close to parallel its inputs were.
int square_unit(const float* n, const float* a, float* o) {
  if (!(length3(n) > k_parallel)) return 0;
  const float along = dot3(n, a);
  const float v[3] = {n[0] - along * a[0], n[1] - along * a[1], n[2] - along * a[2]};
  return unit3(v, o);
}

// An upper arm: a along the segment, c = a x side, b = c x a.
int frame_from_axis(const float* segment, const float* side, float* a, float* b, float* c) {
  float s[3], n[3];
  if (!unit3(segment, a) || !unit3(side, s)) return 0;
  cross3(a, s, n);
  if (!square_unit(n, a, c)) return 0;
  cross3(c, a, b);
  return 1;
}

// A forearm, thigh or shin: a along the segment, b = side x a, c = a x b.
int frame_from_side(const float* segment, const float* side, float* a, float* b, float* c) {
  float s[3], n[3];
  if (!unit3(segment, a) || !unit3(side, s)) return 0;
  cross3(s, a, n);
  if (!square_unit(n, a, b)) return 0;
  cross3(a, b, c);
  return 1;
}

void arms(const rider_pose_input* in, const float* bind, rider_bones* bones) {
  const float* g = in->row->pose_geometry;
  const float torso[3] = {0, g[4] - g[10], g[5] - g[11]};
  const float* ls = g + 3;
  const float* rs = g + 6;
  float d[3], e[3];
  sub3(rs, ls, d);
  sub3(in->right_grip, in->left_grip, e);
  // The shoulders' height difference is the world's, not the body's.
  const float dy = dot3(d, in->world_up);
  const float left_bend_at[3] = {g[3] - 0.5f, g[4] - 1 - 1.5f * (dy > 0 ? dy : 0), g[5] + 2};
  const float right_bend_at[3] = {g[6] + 0.5f, g[7] - 0.9f - 0.125f * in->throttle - 1.5f * (-dy > 0 ? -dy : 0),
                                  g[8] + 2};
  float left_bend[3], right_bend[3];
  sub3(left_bend_at, e, left_bend);
  for (int i = 0; i < 3; i++) right_bend[i] = right_bend_at[i] + e[i];
  float le[3], re[3];
  solve_limb_joint(ls, g[27], in->left_grip, g[28], left_bend, le);
  solve_limb_joint(rs, g[27], in->right_grip, g[28], right_bend, re);

  float a[3], b[3], c[3], s[3], minus_e[3] = {-e[0], -e[1], -e[2]};
  sub3(ls, le, s);
  store_bone(bones, bind, RIDER_BONE_LEFT_UPPER_ARM, frame_from_axis(s, torso, a, b, c), ls, a, b, c);
  sub3(re, rs, s);
  store_bone(bones, bind, RIDER_BONE_RIGHT_UPPER_ARM, frame_from_axis(s, torso, a, b, c), rs, a, b, c);
  sub3(le, in->left_grip, s);
  store_bone(bones, bind, RIDER_BONE_LEFT_FOREARM, frame_from_side(s, minus_e, a, b, c), le, a, b, c);
  sub3(in->right_grip, re, s);
  store_bone(bones, bind, RIDER_BONE_RIGHT_FOREARM, frame_from_side(s, e, a, b, c), re, a, b, c);
  store_centres(bones, in->row, RIDER_BONE_LEFT_FOREARM, RIDER_BONE_RIGHT_UPPER_ARM);
}

// One leg: knee, then thigh and shin frames. The side reference leans from
// the hip axis toward the leg's own plane as the foot is planted; the
// plane's normal is turned to the hip axis's side, so the two never cancel.
void leg(const rider_pose_input* in, const float* bind, rider_bones* bones, const float* hip, const float* foot,
         float weight, const float* bend, int thigh_bone, int shin_bone) {
  const float* g = in->row->pose_geometry;
  float hip_axis[3];
  sub3(g + 12, g + 9, hip_axis);
  float knee[3];
  solve_limb_joint(hip, g[29], foot, g[30], bend, knee);
  float upper[3], lower[3], normal[3];
  sub3(knee, hip, upper);
  sub3(foot, knee, lower);
  cross3(upper, lower, normal);
  float side[3];
  copy3(side, hip_axis);
  float h[3], n[3];
  if (dot3(normal, normal) >= 0.001f && unit3(hip_axis, h) && unit3(normal, n)) {
    if (dot3(n, h) < 0) set3(n, -n[0], -n[1], -n[2]);
    for (int i = 0; i < 3; i++) side[i] = h[i] + (n[i] - h[i]) * weight;
  }
  float a[3], b[3], c[3];
  store_bone(bones, bind, thigh_bone, frame_from_side(upper, side, a, b, c), hip, a, b, c);
  store_bone(bones, bind, shin_bone, frame_from_side(lower, side, a, b, c), knee, a, b, c);
}

void body(const rider_pose_input* in, const float* bind, rider_bones* bones) {
  const float* g = in->row->pose_geometry;
  const float left_bend[3] = {g[9] - 0.5f, g[10], g[11] - 2};
  const float right_bend[3] = {g[12] + 0.5f, g[13], g[14] - 2};
  leg(in, bind, bones, g + 9, in->left_foot, in->left_weight, left_bend, RIDER_BONE_LEFT_THIGH,
      RIDER_BONE_LEFT_SHIN);
  leg(in, bind, bones, g + 12, in->right_foot, in->right_weight, right_bend, RIDER_BONE_RIGHT_THIGH,
      RIDER_BONE_RIGHT_SHIN);

  const float centre[3] = {0, g[10], g[11]};
  const float chest[3] = {0, g[4], g[5]};
  const float x_axis[3] = {1, 0, 0};
  float up[3], a[3], c[3];
  sub3(chest, centre, up);
  const int ok = unit3(up, a);
  if (ok) cross3(x_axis, a, c);
  store_bone(bones, bind, RIDER_BONE_TORSO, ok, centre, a, x_axis, c);
  store_centres(bones, in->row, RIDER_BONE_LEFT_SHIN, RIDER_BONE_TORSO);
}

float bind_table[BIKE_MODEL_COUNT][RIDER_BONE_COUNT * 9];
bool bind_known[BIKE_MODEL_COUNT];
float bind_scratch[RIDER_BONE_COUNT * 9];

// Moves p toward target until it lies within reach of it.
void pull_within(float* p, const float* target, float reach) {
  float d[3];
  sub3(p, target, d);
  const float l = length3(d);
  if (l > reach) {
    for (int i = 0; i < 3; i++) p[i] = target[i] + d[i] * (reach / l);
  }
}

}  // namespace

void body_transform_get(dBodyID body, body_transform* t) {
  const dReal* p = dBodyGetPosition(body);
  const dReal* r = dBodyGetRotation(body);  // 3 rows of 4
  for (int i = 0; i < 3; i++) {
    t->position[i] = (float)p[i];
    for (int j = 0; j < 3; j++) t->rotation[3 * i + j] = (float)r[4 * i + j];
  }
}

int rider_lean_rule(const float* g, const body_transform* body, const float chest[3], const float bar[3],
                    body_transform* drawn) {
  *drawn = *body;
  float gap[3];
  sub3(bar, chest, gap);
  const float d = length3(gap);
  if (!(d < 1.25f)) return 0;
  const float f = 1.25f - d < 1 ? 1.25f - d : 1;
  float x[3], y[3], z[3];
  column(body->rotation, 0, x);
  column(body->rotation, 1, y);
  column(body->rotation, 2, z);
  float y1[3] = {y[0] + 0.375f * f * z[0], y[1] + 0.375f * f * z[1], y[2] + 0.375f * f * z[2]};
  if (!unit3(y1, y1)) return 0;
  float z1[3], y2[3];
  cross3(x, y1, z1);
  cross3(z1, x, y2);
  for (int i = 0; i < 3; i++) {
    drawn->rotation[3 * i + 0] = x[i];
    drawn->rotation[3 * i + 1] = y2[i];
    drawn->rotation[3 * i + 2] = z1[i];
  }
  // Keep the pivot where it was: position' = pivot_world - R' pivot.
  float pivot_world[3], moved[3];
  to_world(body, g + 9, pivot_world);
  drawn->position[0] = drawn->position[1] = drawn->position[2] = 0;
  to_world(drawn, g + 9, moved);
  sub3(pivot_world, moved, drawn->position);
  return 1;
}

int rider_drawn_body(const rider* r, body_transform* drawn) {
  const bike_model* row = rider_model(r);
  dBodyID person = r->bodies[RIDER_PERSON];
  dBodyID fork = r->bodies[RIDER_FORK_UPPER];
  if (!person) {
    *drawn = body_transform{{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
    return 0;
  }
  body_transform body;
  body_transform_get(person, &body);
  if (!row || !fork) {
    *drawn = body;
    return 0;
  }
  const float* g = row->pose_geometry;
  body_transform steer;
  body_transform_get(fork, &steer);
  const float chest_at[3] = {0, g[4], g[5]};
  const float bar_at[3] = {0, g[16], g[17]};
  float chest[3], bar[3];
  to_world(&body, chest_at, chest);
  to_world(&steer, bar_at, bar);
  return rider_lean_rule(g, &body, chest, bar, drawn);
}

void rider_pose_input_get(const rider* r, const body_transform* person, rider_pose_input* in) {
  std::memset(in, 0, sizeof *in);
  in->row = rider_model(r);
  if (!in->row) return;
  const float* g = in->row->pose_geometry;
  body_transform steer;
  body_transform_get(r->bodies[RIDER_FORK_UPPER], &steer);
  float w[3];
  to_world(&steer, g + 15, w);
  to_body(person, w, in->left_grip);
  to_world(&steer, g + 18, w);
  to_body(person, w, in->right_grip);
  float lf[3], rf[3];
  rider_limb_pose(r, lf, &in->left_weight, rf, &in->right_weight);
  to_body(person, lf, in->left_foot);
  to_body(person, rf, in->right_foot);
  in->throttle = r->throttle;
  set3(in->world_up, person->rotation[3], person->rotation[4], person->rotation[5]);
}

void rider_pose_input_rest(const bike_model* row, rider_pose_input* in) {
  std::memset(in, 0, sizeof *in);
  in->row = row;
  const float* g = row->pose_geometry;
  float fork[3], frame[3];
  sub3(row->fork_upper_position, row->rider_position, fork);
  sub3(row->frame_position, row->rider_position, frame);
  for (int i = 0; i < 3; i++) {
    in->left_grip[i] = fork[i] + g[15 + i];
    in->right_grip[i] = fork[i] + g[18 + i];
    in->left_foot[i] = frame[i] + g[21 + i];
    in->right_foot[i] = frame[i] + g[24 + i];
  }
  set3(in->world_up, 0, 1, 0);
}

const float* rider_bind_frames(const bike_model* row) {
  const long index = row - bike_models;
  const bool in_table = index >= 0 && index < BIKE_MODEL_COUNT;
  if (in_table && bind_known[index]) return bind_table[index];
  rider_pose_input rest;
  rider_pose_input_rest(row, &rest);
  rider_bones bones;
  arms(&rest, nullptr, &bones);
  body(&rest, nullptr, &bones);
  float* out = in_table ? bind_table[index] : bind_scratch;
  std::memcpy(out, bones.frames, sizeof bones.frames);
  if (in_table) bind_known[index] = true;
  return out;
}

void pose_rider_arms(const rider_pose_input* in, rider_bones* bones) {
  arms(in, rider_bind_frames(in->row), bones);
}

void pose_rider_body(const rider_pose_input* in, rider_bones* bones) {
  body(in, rider_bind_frames(in->row), bones);
}

void head_transform_at(const float* g, const body_transform* person, const float velocity[3], float position[3],
                       float rotation[9]) {
  to_world(person, g, position);
  float x[3], y[3], z[3];
  column(person->rotation, 0, x);
  column(person->rotation, 1, y);
  column(person->rotation, 2, z);
  float v[3];
  copy3(v, velocity);
  const float vz = dot3(v, z);
  if (vz >= 0) {
    for (int i = 0; i < 3; i++) v[i] -= vz * z[i];
  }
  float w[3];
  sub3(z, v, w);
  const float wl = length3(w);
  if (wl < 32) {
    w[0] = z[0] - wl / 32 * v[0];
    w[2] = z[2] - wl / 32 * v[2];
  }
  const float h = std::sqrt(w[0] * w[0] + w[2] * w[2]);
  const float bulge = (60 - h) * h * 0.0058333334f;
  const float lift = (bulge > 0 ? bulge : 0) + 0.25f * h;
  const float toward[3] = {w[0], lift, w[2]};
  float f[3];
  // Nothing horizontal to look along (the body pointing straight up or
  // down, standing still): look along the body's own back axis.
  if (!unit3(toward, f) && !unit3(w, f)) copy3(f, z);

  const float k = 0.5547002f;
  const float u0[3] = {(1.5f * y[0] - z[0]) * k, (1.5f * y[1] - z[1]) * k, (1.5f * y[2] - z[2]) * k};
  const float f0[3] = {(1.5f * y[0] + z[0]) * k, (1.5f * y[1] + z[1]) * k, (1.5f * y[2] + z[2]) * k};
  float up[3] = {0, 1, 0};
  pull_within(up, u0, 0.5f);
  const float fu = dot3(f, u0);
  float gaze[3] = {f[0] + 2 * fu * u0[0], f[1] + 2 * fu * u0[1], f[2] + 2 * fu * u0[2]};
  pull_within(gaze, f0, 0.75f);
  const float gu = dot3(gaze, u0);
  for (int i = 0; i < 3; i++) gaze[i] -= (2.0f / 3.0f) * gu * u0[i];

  float ax[3], ay[3], az[3], n[3];
  if (!unit3(gaze, az)) copy3(az, z);
  cross3(up, az, n);
  if (!square_unit(n, az, ax)) {
    // Gaze along the up direction: keep the body's own side axis, made
    // square to the gaze (or its up axis if the side is along it too).
    if (!square_unit(x, az, ax)) {
      cross3(y, az, n);
      if (!square_unit(n, az, ax)) copy3(ax, x);
    }
  }
  cross3(az, ax, ay);
  for (int i = 0; i < 3; i++) {
    rotation[3 * i + 0] = ax[i];
    rotation[3 * i + 1] = ay[i];
    rotation[3 * i + 2] = az[i];
  }
}

void head_transform(const rider* r, const body_transform* person, float position[3], float rotation[9]) {
  const bike_model* row = rider_model(r);
  dBodyID b = r->bodies[RIDER_PERSON];
  if (!row || !b) {
    copy3(position, person->position);
    std::memcpy(rotation, person->rotation, sizeof(float) * 9);
    return;
  }
  const dReal* v = dBodyGetLinearVel(b);
  const float velocity[3] = {(float)v[0], (float)v[1], (float)v[2]};
  head_transform_at(row->pose_geometry, person, velocity, position, rotation);
}
