#include "bike/rider_limbs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_fall.h"
#include "bike/test_support_riders.h"

namespace {

float dist(const float a[3], const float b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

TEST(LimbJoint, LawOfCosinesTowardsTheBendPoint) {
  const float s[3] = {1, 2, 3}, e[3] = {1, 2, 1}, bend[3] = {1, 7, 2};
  float j[3];
  solve_limb_joint(s, 1.5f, e, 1.5f, bend, j);
  EXPECT_NEAR(dist(j, s), 1.5f, 1e-5);
  EXPECT_NEAR(dist(j, e), 1.5f, 1e-5);
  EXPECT_NEAR(j[0], 1, 1e-6);
  EXPECT_NEAR(j[1], 2 + std::sqrt(1.25f), 1e-5);  // bent up, towards the bend point
  EXPECT_NEAR(j[2], 2, 1e-5);

  // Out of reach: the reach is cut to 0.95 of the limb, so the joint stays
  // bent, a from the start, at x = (a^2 + d^2 - b^2) / 2d along the line.
  const float far[3] = {1, 2, -7};
  solve_limb_joint(s, 1, far, 1, bend, j);
  EXPECT_NEAR(dist(j, s), 1, 1e-5);
  EXPECT_NEAR(j[2], 3 - 0.95f, 1e-5);
  EXPECT_NEAR(j[1], 2 + std::sqrt(1 - 0.95f * 0.95f), 1e-5);

  // Ends that coincide, or a bend point on the line: no direction to bend
  // in, and still a number.
  solve_limb_joint(s, 1, s, 1, bend, j);
  for (float v : j) EXPECT_TRUE(std::isfinite(v));
  const float on_line[3] = {1, 2, 0};
  solve_limb_joint(s, 1.5f, e, 1.5f, on_line, j);
  for (float v : j) EXPECT_TRUE(std::isfinite(v));
}

class Limbs : public ::testing::Test {
 protected:
  void SetUp() override { test_track_open(); }
  void TearDown() override { test_track_close(); }
};

TEST_F(Limbs, LeanAngleSignAndPitchIgnored) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  dBodyID frame = r->bodies[RIDER_FRAME];
  EXPECT_NEAR(body_lean_angle(frame), 0, 1e-6);
  dMatrix3 m;
  dRFromAxisAndAngle(m, 0, 0, 1, 0.3);  // up axis towards -x
  dBodySetRotation(frame, m);
  EXPECT_NEAR(body_lean_angle(frame), 0.3, 1e-5);
  dRFromAxisAndAngle(m, 0, 0, 1, -0.7);
  dBodySetRotation(frame, m);
  EXPECT_NEAR(body_lean_angle(frame), -0.7, 1e-5);
  dRFromAxisAndAngle(m, 1, 0, 0, 0.5);  // pitch only
  dBodySetRotation(frame, m);
  EXPECT_NEAR(body_lean_angle(frame), 0, 1e-5);
}

TEST_F(Limbs, FeetOnTheRestsReachingTheGroundAndBlendingToThePointMasses) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  const float* g = rider_model(r)->pose_geometry;
  float left[3], right[3], lw = -1, rw = -1;
  rider_limb_pose(r, left, &lw, right, &rw);
  dVector3 rest;
  dBodyGetRelPointPos(r->bodies[RIDER_FRAME], g[24], g[25], g[26], rest);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(right[i], rest[i], 1e-5);
  EXPECT_EQ(lw, 0);
  EXPECT_EQ(rw, 0);

  // Standing still with the foot fully out: both feet on the ground, each
  // outside its hip.
  r->ramp = 1;
  rider_limb_pose(r, left, &lw, right, &rw);
  EXPECT_EQ(lw, 1);
  EXPECT_EQ(rw, 1);
  EXPECT_NEAR(left[1], test_ground + 0.125f, 1e-4);
  EXPECT_NEAR(right[1], test_ground + 0.125f, 1e-4);
  dVector3 hip;
  dBodyGetRelPointPos(r->bodies[RIDER_PERSON], g[9], g[10], g[11], hip);
  EXPECT_LT(left[0], hip[0]);
  EXPECT_GT(right[0], hip[0]);

  // Down: the feet blend towards the point masses, fully once the counter
  // is 128 or more above the middle of its run.
  r->ramp = 0;
  const float a[3] = {60, 11, 60}, b[3] = {62, 11, 61};
  for (int i = 0; i < 3; i++) r->point_a_pos[i] = a[i], r->point_b_pos[i] = b[i];
  r->down_counter = 200;
  rider_limb_pose(r, left, &lw, right, nullptr);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(left[i], a[i], 1e-4);
  EXPECT_EQ(lw, 1);
  r->down_counter = 80;  // m = 32 / 128
  float peg[3];
  rider_limb_pose(r, peg, nullptr, right, nullptr);
  const float n = 80, r1 = 0.5f * std::fmin(std::fmax(2 * (n / 128 - 0.5f), 0), 1);
  dVector3 displaced;
  dBodyGetRelPointPos(r->bodies[RIDER_FRAME], g[21] - r1, g[22] + 1.75f, g[23] + 0.8333333f,
                      displaced);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(peg[i], displaced[i] + (a[i] - displaced[i]) * 0.25f, 1e-4);
}

TEST_F(Limbs, FallOffSeedsTheFeetAndCountsTheCrash) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  test_rider_velocity(r, 4, 0, 0);
  knockout_extra[1] = 100;
  knockout_extra[15] = 7;
  rider_fall_off(r);
  EXPECT_EQ(r->down_counter, 512);
  EXPECT_EQ(r->crash_count, 1);
  EXPECT_NEAR(r->point_a_vel[0], 4, 1e-5);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), nullptr);
  rider_fall_off(r);  // already down
  EXPECT_EQ(r->crash_count, 1);
  r->down_counter = 0;
  rider_fall_off(r);
  EXPECT_EQ(r->down_counter, 612);
  r->down_counter = 0;
  r->crash_count = 40;
  rider_fall_off(r);
  EXPECT_EQ(r->down_counter, 519);
  r->down_counter = 0;
  r->hit_timer = -3;  // just struck by another rider: stays on
  rider_fall_off(r);
  EXPECT_EQ(r->down_counter, 0);
  for (int32_t& k : knockout_extra) k = 0;
}

}  // namespace
