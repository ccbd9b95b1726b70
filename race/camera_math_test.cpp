#include "race/camera_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

void expect_orthonormal(const float m[9], const char* what) {
  for (int a = 0; a < 3; a++)
    for (int b = 0; b < 3; b++) {
      const double dot = (double)m[a] * m[b] + (double)m[3 + a] * m[3 + b] + (double)m[6 + a] * m[6 + b];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-5) << what << " columns " << a << ", " << b;
    }
  const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                     m[2] * (m[3] * m[7] - m[4] * m[6]);
  EXPECT_NEAR(det, 1.0, 1e-5) << what;
}

TEST(CameraMath, YawPitchLooksWhereItSays) {
  for (float pitch : {-1.2f, -0.3f, 0.0f, 0.7f})
    for (float yaw : {-3.0f, -1.0f, 0.0f, 0.5f, 2.5f}) {
      float m[9];
      matrix_from_yaw_pitch(m, pitch, yaw);
      expect_orthonormal(m, "yaw pitch");
      // Forward is minus the back column.
      EXPECT_NEAR(-m[2], std::cos(pitch) * std::sin(yaw), 1e-6);
      EXPECT_NEAR(-m[5], std::sin(pitch), 1e-6);
      EXPECT_NEAR(-m[8], std::cos(pitch) * std::cos(yaw), 1e-6);
      EXPECT_NEAR(m[3], 0, 1e-6) << "the right axis stays level";
    }
}

TEST(CameraMath, QuaternionMatrixIsARotation) {
  const float q[][4] = {{1, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f}, {0.9f, 0.1f, -0.3f, 0.2f}, {0, 0, 1, 0}};
  for (const auto& v : q) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]);
    float m[9];
    matrix_from_quaternion(m, (float)(v[0] / l), (float)(v[1] / l), (float)(v[2] / l), (float)(v[3] / l));
    expect_orthonormal(m, "quaternion");
  }
  // A quarter turn about y takes x to -z.
  float m[9];
  const float s = (float)std::sqrt(0.5);
  matrix_from_quaternion(m, s, 0, s, 0);
  EXPECT_NEAR(m[0], 0, 1e-6);
  EXPECT_NEAR(m[6], -1, 1e-6);
}

TEST(CameraMath, HeadPointAtBothHeights) {
  float p[3];
  onbike_head_point(0, p);
  EXPECT_FLOAT_EQ(p[0], 0);
  EXPECT_FLOAT_EQ(p[1], 0.5f);
  EXPECT_FLOAT_EQ(p[2], -0.4f);
  onbike_head_point(1, p);
  EXPECT_FLOAT_EQ(p[1], 1.0583830f);
  EXPECT_FLOAT_EQ(p[2], -1.1933695f);
}

// The orientation of a bike pitched by `a` about its right axis (x).
void pitched(float m[9], double a) {
  const float c = (float)std::cos(a), s = (float)std::sin(a);
  const float rows[9] = {1, 0, 0, 0, c, -s, 0, s, c};
  for (int i = 0; i < 9; i++) m[i] = rows[i];
}

TEST(CameraMath, GimbalZeroIsTheBodysOrientation) {
  gimbal_memory memory = {{0, 0.3f, 0.9f}, 1.0};
  float m[9], body[9];
  pitched(m, 0.4);
  pitched(body, 0.4);
  onbike_gimbal(m, 0, 2.0, &memory);
  onbike_gimbal(m, 0.5, 2.0, &memory);
  for (int i = 0; i < 9; i++) EXPECT_EQ(m[i], body[i]);
  EXPECT_EQ(memory.time, 1.0);
}

TEST(CameraMath, GimbalHoldsThePitchAndRelaxes) {
  EXPECT_DOUBLE_EQ(gimbal_relax_rate(0), 105);
  EXPECT_DOUBLE_EQ(gimbal_relax_rate(100), 5);
  EXPECT_DOUBLE_EQ(gimbal_relax_rate(50), 17.5);

  // The camera looked level (back axis +z); the bike pitches nose up by 0.2.
  for (double g : {100.0, 50.0}) {
    gimbal_memory memory = {{0, 0, 1}, 10.0};
    float m[9];
    pitched(m, 0.2);
    // Same time: the old pitch held entirely, the back axis stays level.
    onbike_gimbal(m, g, 10.0, &memory);
    EXPECT_NEAR(m[5], 0, 1e-5);
    EXPECT_NEAR(m[8], 1, 1e-5);
    expect_orthonormal(m, "held");

    // 1/64 s later on the same bike: the angle decays by rate x step.
    memory = {{0, 0, 1}, 10.0};
    pitched(m, 0.2);
    const double step = 1.0 / 64;
    onbike_gimbal(m, g, 10.0 + step, &memory);
    // Measured from the body's back axis towards its up axis.
    const double held = 0.2 * (1 - gimbal_relax_rate(g) * step);
    const double c = std::cos(0.2), s = std::sin(0.2);
    const double a = std::atan2(m[5] * c + m[8] * s, -m[5] * s + m[8] * c);
    EXPECT_NEAR(a, held, 1e-5) << "g " << g;
    EXPECT_NEAR(memory.time, 10.0 + step, 1e-12);
  }
  // Past zero it stops at the bike's own pitch; steps are capped at 1/8 s.
  gimbal_memory memory = {{0, 0, 1}, 0.0};
  float m[9], body[9];
  pitched(m, 0.2);
  pitched(body, 0.2);
  onbike_gimbal(m, 1, 100.0, &memory);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(m[i], body[i], 1e-5);
}

TEST(CameraMath, TiltLooksDown) {
  float m[9];
  matrix_from_yaw_pitch(m, 0, 0);  // looking along +z
  tilt_about_right(m, 30);
  EXPECT_NEAR(-m[5], -0.5, 1e-6);  // forward's y: down
  expect_orthonormal(m, "tilted");
}

camera_key key(float x, float fov, int32_t tick, float qx = 0, float qy = 0, float qz = 0, float qw = 1) {
  return {{x, 2 * x, -x}, {qx, qy, qz, qw}, fov, tick};
}

TEST(CameraMath, KeyCameraStandsStillOutsideTheKeys) {
  const std::vector<camera_key> keys = {key(10, 60, 100), key(20, 70, 200), key(40, 80, 300)};
  float p[3], q[4], fov;
  key_camera_at(keys.data(), keys.size(), 0, p, q, &fov);
  EXPECT_EQ(p[0], 10);
  EXPECT_EQ(fov, 60);
  key_camera_at(keys.data(), keys.size(), 99, p, q, &fov);
  EXPECT_EQ(p[0], 10);
  key_camera_at(keys.data(), keys.size(), 300, p, q, &fov);
  EXPECT_EQ(p[0], 40);
  key_camera_at(keys.data(), keys.size(), 5000, p, q, &fov);
  EXPECT_EQ(p[0], 40);
  EXPECT_EQ(fov, 80);
  EXPECT_EQ(q[3], 1);
  // On a key's own tick, that key.
  key_camera_at(keys.data(), keys.size(), 200, p, q, &fov);
  EXPECT_FLOAT_EQ(p[0], 20);
  EXPECT_FLOAT_EQ(p[1], 40);
}

TEST(CameraMath, KeyCameraMidpointFollowsTheCubic) {
  const std::vector<camera_key> keys = {key(0, 60, 0), key(10, 70, 100), key(40, 80, 150), key(50, 90, 350)};
  float p[3], q[4], fov;
  key_camera_at(keys.data(), keys.size(), 125, p, q, &fov);
  // Between K1 (10 at 100) and K2 (40 at 150), u = 0.5, with neighbours
  // 0 at 0 and 50 at 350.
  const double m1 = ((40 - 10) + (10 - 0) * 50.0 / 100) / 2, m2 = ((40 - 10) + (50 - 40) * 50.0 / 200) / 2;
  const double u = 0.5;
  const double expected = 10 + m1 * u + (3 * 30 - 2 * m1 - m2) * u * u + (m1 + m2 + 2 * (10 - 40)) * u * u * u;
  EXPECT_NEAR(p[0], expected, 1e-4);
  EXPECT_NEAR(p[1], 2 * expected, 1e-4);
  EXPECT_NEAR(fov, 75, 1e-5);
  // Equal ticks give the earlier point.
  EXPECT_EQ(key_cubic(1, 2, 3, 4, 0, 100, 100, 200, 0.5), 2);
}

TEST(CameraMath, KeyCameraQuaternionsNeverVanish) {
  const float s = (float)std::sqrt(0.5);
  // A quarter turn about y each side: opposite signs are the same turn.
  std::vector<camera_key> keys = {key(0, 60, 0, 0, s, 0, s), key(0, 60, 100, 0, -s, 0, -s)};
  float p[3], q[4], fov;
  key_camera_at(keys.data(), keys.size(), 50, p, q, &fov);
  EXPECT_NEAR(std::fabs(q[1]), s, 1e-5);
  EXPECT_NEAR(std::fabs(q[3]), s, 1e-5);
  // A zero key: the earlier key's turn; both zero: no turn.
  keys = {key(0, 60, 0, 0, s, 0, s), key(0, 60, 100, 0, 0, 0, 0)};
  key_camera_at(keys.data(), keys.size(), 50, p, q, &fov);
  for (float v : q) EXPECT_TRUE(std::isfinite(v));
  keys = {key(0, 60, 0, 0, 0, 0, 0), key(0, 60, 100, 0, 0, 0, 0)};
  key_camera_at(keys.data(), keys.size(), 50, p, q, &fov);
  EXPECT_EQ(q[3], 1);
  key_camera_at(keys.data(), keys.size(), 500, p, q, &fov);
  EXPECT_EQ(q[3], 1);
  float m[9];
  key_camera_orientation(q, m);
  for (float v : m) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
