#include "bike/rider_posing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "bike/rider.h"
#include "bike/rider_limbs.h"
#include "bike/test_support_riders.h"

namespace {

float dist(const float* a, const float* b) {
  const float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// Every entry finite, rows of unit length and square to each other; a
// rotation (proper = 1) or, for a bone frame, either handedness (the
// torso's rows are left-handed; its bind frame is too, so its drawing
// rotation is still proper).
void expect_orthonormal(const float* m, const std::string& what, int proper = 1) {
  for (int i = 0; i < 9; i++) ASSERT_TRUE(std::isfinite(m[i])) << what << " entry " << i;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      const float d = m[3 * i] * m[3 * j] + m[3 * i + 1] * m[3 * j + 1] + m[3 * i + 2] * m[3 * j + 2];
      EXPECT_NEAR(d, i == j ? 1.0f : 0.0f, 1e-4) << what << " rows " << i << "," << j;
    }
  const float det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                    m[2] * (m[3] * m[7] - m[4] * m[6]);
  EXPECT_NEAR(proper ? det : std::fabs(det), 1.0f, 1e-4) << what;
}

void expect_sound_bones(const rider_bones& b, const std::string& what) {
  for (int k = 0; k < RIDER_BONE_COUNT; k++) {
    expect_orthonormal(b.frames[k], what + " frame " + std::to_string(k), 0);
    expect_orthonormal(b.rotations[k], what + " rotation " + std::to_string(k));
    for (float v : b.translations[k]) EXPECT_TRUE(std::isfinite(v)) << what << " pivot " << k;
  }
}

rider_bones pose(const rider_pose_input& in) {
  rider_bones b;
  std::memset(&b, 0xff, sizeof b);  // NaN everywhere: every field must be written
  pose_rider_arms(&in, &b);
  pose_rider_body(&in, &b);
  return b;
}

TEST(RiderPosing, BindConfigurationDrawsTheModelUnchanged) {
  const bike_model* row = &bike_models[0];
  ASSERT_STREQ(row->name, "cr125");
  rider_pose_input in;
  rider_pose_input_rest(row, &in);
  const rider_bones b = pose(in);
  const float* centres = row->pose_geometry + BIKE_POSE_BONE_CENTRES;
  for (int k = 0; k < RIDER_BONE_COUNT; k++) {
    for (int i = 0; i < 3; i++) {
      EXPECT_NEAR(b.translations[k][i], centres[3 * k + i], 1e-5) << "bone " << k;
      EXPECT_EQ(b.centres[k][i], centres[3 * k + i]) << "bone " << k;
    }
    for (int i = 0; i < 9; i++) EXPECT_NEAR(b.rotations[k][i], i % 4 == 0 ? 1 : 0, 1e-5) << "bone " << k;
  }
}

TEST(RiderPosing, EveryRowAtRestKeepsElbowsAndKneesBent) {
  for (const bike_model& row : bike_models) {
    rider_pose_input in;
    rider_pose_input_rest(&row, &in);
    const rider_bones b = pose(in);
    const float* g = row.pose_geometry;
    struct {
      const float* start;
      int joint_bone;
      const float* end;
      float first, second;
    } limbs[] = {
        {g + 3, RIDER_BONE_LEFT_FOREARM, in.left_grip, g[27], g[28]},
        {g + 6, RIDER_BONE_RIGHT_FOREARM, in.right_grip, g[27], g[28]},
        {g + 9, RIDER_BONE_LEFT_SHIN, in.left_foot, g[29], g[30]},
        {g + 12, RIDER_BONE_RIGHT_SHIN, in.right_foot, g[29], g[30]},
    };
    for (const auto& l : limbs) {
      // Within reach: the joint is a full segment from either end.
      EXPECT_LT(dist(l.start, l.end), 0.95f * (l.first + l.second)) << row.name;
      EXPECT_NEAR(dist(l.start, b.translations[l.joint_bone]), l.first, 1e-4) << row.name;
      EXPECT_NEAR(dist(b.translations[l.joint_bone], l.end), l.second, 1e-4) << row.name;
    }
    expect_sound_bones(b, row.name);
  }
}

void unit(float* v) {
  const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int i = 0; i < 3; i++) v[i] /= l;
}

// The unit part of v square to the unit vector t.
void square_to(const float* v, const float* t, float* o) {
  const float along = v[0] * t[0] + v[1] * t[1] + v[2] * t[2];
  for (int i = 0; i < 3; i++) o[i] = v[i] - along * t[i];
  unit(o);
}

bool solves_to(const float* start, float a, const float* end, float b, const float* bend, const float* joint) {
  float j[3];
  solve_limb_joint(start, a, end, b, bend, j);
  return dist(j, joint) < 1e-5f;
}

// An end point for which the limb from start (segments a and b) bends
// exactly at joint: in the plane of the joint and the bend point, turned
// away from the bend point by some angle. False when none is found.
bool end_for_joint(const float* start, float a, const float* joint, float b, const float* bend, float* end) {
  float j[3] = {joint[0] - start[0], joint[1] - start[1], joint[2] - start[2]}, p[3], to_bend[3];
  unit(j);
  for (int i = 0; i < 3; i++) to_bend[i] = bend[i] - start[i];
  square_to(to_bend, j, p);
  for (float phi = 0.2f; phi < 2.0f; phi += 0.2f) {
    const float s = std::sin(phi), c = std::cos(phi);
    if (b * b < a * a * s * s) continue;
    const float d = a * c + std::sqrt(b * b - a * a * s * s);
    for (int i = 0; i < 3; i++) end[i] = start[i] + d * (c * j[i] - s * p[i]);
    if (solves_to(start, a, end, b, bend, joint)) return true;
  }
  return false;
}

// A joint and an end such that the second segment lies along dir.
bool joint_and_end(const float* start, float a, float b, const float* bend, const float* dir, float* joint,
                   float* end) {
  float t[3] = {dir[0], dir[1], dir[2]}, p[3], to_bend[3];
  unit(t);
  for (int i = 0; i < 3; i++) to_bend[i] = bend[i] - start[i];
  square_to(to_bend, t, p);
  for (float psi = 0; psi < 6.28f; psi += 0.1f) {
    for (int i = 0; i < 3; i++) joint[i] = start[i] + a * (std::cos(psi) * t[i] + std::sin(psi) * p[i]);
    for (float sign : {-1.0f, 1.0f}) {
      for (int i = 0; i < 3; i++) end[i] = joint[i] + sign * b * t[i];
      if (solves_to(start, a, end, b, bend, joint)) return true;
    }
  }
  return false;
}


// Limbs laid exactly along their side references fall back to the bone's
// bind frame; other degenerate limbs stay finite and square.
TEST(RiderPosing, DegenerateLimbsFallBackToTheBindFrame) {
  const bike_model* row = &bike_models[0];
  const float* g = row->pose_geometry;
  const float* bind = rider_bind_frames(row);
  rider_pose_input rest;
  rider_pose_input_rest(row, &rest);
  const float handlebar[3] = {2.4f, 0, 0};
  const float left_bend[3] = {g[3] - 0.5f - handlebar[0], g[4] - 1, g[5] + 2};
  const float knee_bend[3] = {g[9] - 0.5f, g[10], g[11] - 2};
  float torso[3] = {0, g[4] - g[10], g[5] - g[11]};
  unit(torso);
  float hip_axis[3] = {g[12] - g[9], g[13] - g[10], g[14] - g[11]};
  unit(hip_axis);

  {
    SCOPED_TRACE("upper arm along the torso axis");
    rider_pose_input in = rest;
    float elbow[3];
    for (int i = 0; i < 3; i++) elbow[i] = g[3 + i] - g[27] * torso[i];
    ASSERT_TRUE(end_for_joint(g + 3, g[27], elbow, g[28], left_bend, in.left_grip));
    for (int i = 0; i < 3; i++) in.right_grip[i] = in.left_grip[i] + handlebar[i];
    const rider_bones b = pose(in);
    expect_sound_bones(b, "upper arm");
    for (int i = 0; i < 9; i++) EXPECT_EQ(b.frames[RIDER_BONE_LEFT_UPPER_ARM][i], bind[9 * RIDER_BONE_LEFT_UPPER_ARM + i]);
  }
  {
    SCOPED_TRACE("forearm along the handlebar");
    rider_pose_input in = rest;
    float elbow[3], bar_dir[3] = {1, 0, 0};
    ASSERT_TRUE(joint_and_end(g + 3, g[27], g[28], left_bend, bar_dir, elbow, in.left_grip));
    for (int i = 0; i < 3; i++) in.right_grip[i] = in.left_grip[i] + handlebar[i];
    const rider_bones b = pose(in);
    expect_sound_bones(b, "forearm");
    for (int i = 0; i < 9; i++) EXPECT_EQ(b.frames[RIDER_BONE_LEFT_FOREARM][i], bind[9 * RIDER_BONE_LEFT_FOREARM + i]);
  }
  {
    SCOPED_TRACE("thigh along the hip axis");
    rider_pose_input in = rest;
    float knee[3];
    for (int i = 0; i < 3; i++) knee[i] = g[9 + i] - g[29] * hip_axis[i];
    ASSERT_TRUE(end_for_joint(g + 9, g[29], knee, g[30], knee_bend, in.left_foot));
    const rider_bones b = pose(in);
    expect_sound_bones(b, "thigh");
    for (int i = 0; i < 9; i++) EXPECT_EQ(b.frames[RIDER_BONE_LEFT_THIGH][i], bind[9 * RIDER_BONE_LEFT_THIGH + i]);
  }
  {
    SCOPED_TRACE("shin along the hip axis");
    rider_pose_input in = rest;
    float knee[3];
    ASSERT_TRUE(joint_and_end(g + 9, g[29], g[30], knee_bend, hip_axis, knee, in.left_foot));
    const rider_bones b = pose(in);
    expect_sound_bones(b, "shin");
    for (int i = 0; i < 9; i++) EXPECT_EQ(b.frames[RIDER_BONE_LEFT_SHIN][i], bind[9 * RIDER_BONE_LEFT_SHIN + i]);
  }
  {
    SCOPED_TRACE("bend points on the limbs' lines, limbs of no length, no handlebar");
    rider_pose_input in = rest;
    for (int i = 0; i < 3; i++) {
      in.left_grip[i] = g[3 + i] + 0.5f * (left_bend[i] - g[3 + i]);  // bend point beyond the grip
      in.right_grip[i] = in.left_grip[i] + handlebar[i];
      in.left_foot[i] = g[9 + i] + 0.5f * (knee_bend[i] - g[9 + i]);
      in.right_foot[i] = g[12 + i];  // foot at the hip
    }
    expect_sound_bones(pose(in), "on the line");
    for (int i = 0; i < 3; i++) in.right_grip[i] = in.left_grip[i];
    expect_sound_bones(pose(in), "no handlebar");
  }
}

// A whole rider's bodies turned by m about the point p.
void turn_rider(rider* r, const dMatrix3 m, const dVector3 p) {
  for (dBodyID b : r->bodies) {
    const dReal* pos = dBodyGetPosition(b);
    const dReal d[3] = {pos[0] - p[0], pos[1] - p[1], pos[2] - p[2]};
    dBodySetPosition(b, p[0] + m[0] * d[0] + m[1] * d[1] + m[2] * d[2], p[1] + m[4] * d[0] + m[5] * d[1] + m[6] * d[2],
                     p[2] + m[8] * d[0] + m[9] * d[1] + m[10] * d[2]);
    dMatrix3 now;
    dMultiply0_333(now, m, dBodyGetRotation(b));
    dBodySetRotation(b, now);
  }
}

class RiderPosingBodies : public ::testing::Test {
 protected:
  void SetUp() override { test_track_open(); }
  void TearDown() override { test_track_close(); }
};

TEST_F(RiderPosingBodies, FramesStaySoundOverATableOfPoses) {
  struct case_ {
    const char* what;
    dReal axis[3];
    dReal angle;
    float steer;    // fork upper turned about its own y axis
    float ramp;     // foot-down amount
    int counter;    // down counter
    float speed;    // ft/s along -z
  } cases[] = {
      {"upright at rest", {0, 0, 1}, 0, 0, 0, 0, 0},
      {"upside down", {0, 0, 1}, (dReal)M_PI, 0, 0, 0, 10},
      {"lying on its side", {0, 0, 1}, (dReal)M_PI / 2, 0, 0, 0, 0},
      {"nose straight up", {1, 0, 0}, (dReal)M_PI / 2, 0, 0, 0, 0},
      {"steering at full lock", {0, 0, 1}, 0, 0.8f, 0, 0, 5},
      {"feet planted leaning left", {0, 0, 1}, 0.4, 0, 1, 0, 2},
      {"feet planted leaning right", {0, 0, 1}, -0.4, 0, 1, 0, 2},
      {"down, feet on the point masses", {0, 0, 1}, 1.2, 0, 1, 64, 0},
  };
  for (const case_& c : cases) {
    SCOPED_TRACE(c.what);
    rider* r = test_rider_place("cr125", 0, 64, 64);
    ASSERT_NE(r, nullptr);
    dMatrix3 m;
    dRFromAxisAndAngle(m, c.axis[0], c.axis[1], c.axis[2], c.angle);
    dVector3 centre;
    const dReal* f = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    for (int i = 0; i < 3; i++) centre[i] = f[i];
    turn_rider(r, m, centre);
    if (c.steer != 0) {
      dMatrix3 s, now;
      dRFromAxisAndAngle(s, 0, 1, 0, c.steer);
      dMultiply0_333(now, dBodyGetRotation(r->bodies[RIDER_FORK_UPPER]), s);
      dBodySetRotation(r->bodies[RIDER_FORK_UPPER], now);
    }
    r->ramp = c.ramp;
    r->down_counter = c.counter;
    r->throttle = 1;
    for (int i = 0; i < 3; i++) {
      r->point_a_pos[i] = (float)centre[i] + (i == 0 ? -1.0f : 0.0f);
      r->point_b_pos[i] = (float)centre[i] + (i == 0 ? 1.0f : 0.0f);
    }
    test_rider_velocity(r, 0, 0, -c.speed);

    body_transform drawn;
    rider_drawn_body(r, &drawn);
    rider_pose_input in;
    rider_pose_input_get(r, &drawn, &in);
    expect_sound_bones(pose(in), c.what);
    float position[3], rotation[9];
    head_transform(r, &drawn, position, rotation);
    float rows[9];  // the head's axes as rows
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) rows[3 * i + j] = rotation[3 * j + i];
    expect_orthonormal(rows, "head");
    rider_destroy(r);
  }
}

TEST(RiderPosing, HeadAxesStaySoundForAnyVelocity) {
  const float* g = bike_models[0].pose_geometry;
  struct {
    const char* what;
    float rotation[9];
  } bodies[] = {
      {"upright", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
      {"Z axis straight up", {1, 0, 0, 0, 0, 1, 0, -1, 0}},
      {"Z axis straight down", {1, 0, 0, 0, 0, -1, 0, 1, 0}},
      {"upside down", {-1, 0, 0, 0, -1, 0, 0, 0, 1}},
      {"on its side", {0, -1, 0, 1, 0, 0, 0, 0, 1}},
  };
  const float velocities[][3] = {{0, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 0, 40}, {0, 0, -40},
                                 {0, 1, 0}, {0, 30, 0}, {100, 0, 0}, {-100, 0, 0}};
  for (const auto& b : bodies) {
    body_transform person = {{5, 6, 7}, {}};
    std::memcpy(person.rotation, b.rotation, sizeof person.rotation);
    for (const auto& v : velocities) {
      float position[3], rotation[9], rows[9];
      head_transform_at(g, &person, v, position, rotation);
      for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rows[3 * i + j] = rotation[3 * j + i];
      expect_orthonormal(rows, std::string(b.what) + " at " + std::to_string(v[0]) + "," +
                                   std::to_string(v[1]) + "," + std::to_string(v[2]));
      for (float p : position) EXPECT_TRUE(std::isfinite(p));
    }
  }
  // At rest and upright the head looks ahead and a little down: its back
  // axis points backward and up.
  body_transform upright = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
  const float still[3] = {0, 0, 0};
  float position[3], rotation[9];
  head_transform_at(g, &upright, still, position, rotation);
  EXPECT_GT(rotation[8], 0.5f);
  EXPECT_GT(rotation[5], 0.0f);
  EXPECT_NEAR(position[1], g[1], 1e-6);
}

TEST(RiderPosing, LeanRuleTurnsBackAboutTheHipOnlyWhenTooClose) {
  const float* g = bike_models[0].pose_geometry;
  // A body yawed a quarter turn, so the turn about its own X axis shows.
  const body_transform body = {{3, 4, 5}, {0, 0, 1, 0, 1, 0, -1, 0, 0}};
  const float chest[3] = {0, 0, 0};
  body_transform drawn;

  const float exact[3] = {0, 0.75f, 1.0f};  // 1.25 ft, exactly
  EXPECT_EQ(rider_lean_rule(g, &body, chest, exact, &drawn), 0);
  EXPECT_EQ(std::memcmp(&drawn, &body, sizeof body), 0);

  const float close[3] = {0, 0.6f, 0.8f};  // 1.0 ft
  ASSERT_EQ(rider_lean_rule(g, &body, chest, close, &drawn), 1);
  float rows[9];
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) rows[3 * i + j] = drawn.rotation[3 * j + i];
  expect_orthonormal(rows, "leaned");
  // X is kept; Y turns toward Z by atan(0.375 f), f = 0.25.
  for (int i = 0; i < 3; i++) EXPECT_EQ(drawn.rotation[3 * i], body.rotation[3 * i]);
  const float y_dot_z = drawn.rotation[1] * body.rotation[2] + drawn.rotation[4] * body.rotation[5] +
                        drawn.rotation[7] * body.rotation[8];
  EXPECT_NEAR(y_dot_z, std::sin(std::atan(0.375f * 0.25f)), 1e-5);
  // The left hip stays where it was.
  float before[3], after[3];
  for (int i = 0; i < 3; i++) {
    before[i] = body.position[i];
    after[i] = drawn.position[i];
    for (int j = 0; j < 3; j++) {
      before[i] += body.rotation[3 * i + j] * g[9 + j];
      after[i] += drawn.rotation[3 * i + j] * g[9 + j];
    }
  }
  for (int i = 0; i < 3; i++) EXPECT_NEAR(after[i], before[i], 1e-5);
}

}  // namespace
