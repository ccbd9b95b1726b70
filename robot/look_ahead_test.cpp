#include "robot/look_ahead.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float origin[3] = {0, 0, 0};

TEST(LookAhead, AxesFollowTheVelocityAndAStillBikeLooksAlongZ) {
  struct row {
    float v[3];
    float h[3], lateral[3];
  } rows[] = {
      {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}},
      {{0, 0, -10}, {0, 0, 1}, {1, 0, 0}},
      {{3, 0, 4}, {-0.6f, 0, -0.8f}, {-0.8f, 0, 0.6f}},
      {{NAN, 0, 0}, {0, 0, 1}, {1, 0, 0}},
  };
  for (const row& r : rows) {
    const look_ahead_axes a = look_ahead_axes_from_velocity(r.v);
    for (int c = 0; c < 3; c++) {
      EXPECT_NEAR(a.h[c], r.h[c], 1e-6) << r.v[0] << "," << r.v[2];
      EXPECT_NEAR(a.lateral[c], r.lateral[c], 1e-6) << r.v[0] << "," << r.v[2];
      EXPECT_EQ(a.up[c], c == 1 ? 1 : 0);
    }
  }
}

TEST(LookAhead, FootprintCornersGoRoundTheBike) {
  const float v[3] = {0, 0, -10};
  const look_ahead_axes a = look_ahead_axes_from_velocity(v);
  const float base[3] = {10, 0, 20};
  float out[4][3];
  footprint_corners(out, base, a, -2, -14, 2, 4);
  const float expected[4][3] = {{8, 0, 6}, {8, 0, 24}, {12, 0, 24}, {12, 0, 6}};
  for (int k = 0; k < 4; k++)
    for (int c = 0; c < 3; c++) EXPECT_FLOAT_EQ(out[k][c], expected[k][c]) << k << " " << c;
}

// The robot sits at the origin riding toward -z at 10 ft/s, so its
// footprint reaches 14 ft ahead.
TEST(LookAhead, RiderAheadInFootprint) {
  const float robot_v[3] = {0, 0, -10};
  const look_ahead_axes a = look_ahead_axes_from_velocity(robot_v);
  struct row {
    const char* what;
    float p[3], v[3];
    bool found;
  } rows[] = {
      {"crossing ahead", {0, 0, -8}, {10, 0, 0}, true},
      {"crossing behind the robot's front", {0, 0, 2}, {10, 0, 0}, false},
      {"beside, clear of the path", {20, 0, -8}, {10, 0, 0}, false},
      {"beyond the reach", {0, 0, -30}, {10, 0, 0}, false},
      // Going the same way: the sides of the two footprints run alongside
      // each other, so only a test of every edge against every other (or of
      // one footprint inside the other) sees these.
      {"slower, same way, half a foot across", {0.5f, 0, -8}, {0, 0, -5}, true},
      {"slower, same way, dead ahead in the lane", {0, 0, -8}, {0, 0, -0.5f}, true},
      {"alongside, a foot ahead", {3, 0, -1}, {0, 0, -10}, true},
      {"alongside, a foot behind", {3, 0, 1}, {0, 0, -10}, false},
      {"same way, a lane over", {5, 0, -8}, {0, 0, -10}, false},
  };
  for (const row& r : rows) {
    const float p[1][3] = {{r.p[0], r.p[1], r.p[2]}};
    const float v[1][3] = {{r.v[0], r.v[1], r.v[2]}};
    EXPECT_EQ(rider_ahead_in_footprint_at(origin, a, 10, p, v, 1), r.found ? 0 : -1) << r.what;
  }

  // The nearest of two candidates wins, whatever its place in the list.
  const float p2[2][3] = {{0, 0, -11}, {0, 0, -8}};
  const float v2[2][3] = {{10, 0, 0}, {10, 0, 0}};
  EXPECT_EQ(rider_ahead_in_footprint_at(origin, a, 10, p2, v2, 2), 1);
  EXPECT_EQ(rider_ahead_in_footprint_at(origin, a, 10, p2, v2, 1), 0);
  EXPECT_EQ(rider_ahead_in_footprint_at(origin, a, 10, p2, v2, 0), -1);
}

TEST(LookAhead, AStillRiderIsSeenWithItsAxesAlongZ) {
  // The robot rides toward +x; the still rider 8 ft ahead gets (0, 0, 1)
  // axes, so its footprint lies across the robot's path.
  const float robot_v[3] = {10, 0, 0};
  const look_ahead_axes a = look_ahead_axes_from_velocity(robot_v);
  const float p[1][3] = {{8, 0, 0}};
  const float v[1][3] = {{0, 0, 0}};
  EXPECT_EQ(rider_ahead_in_footprint_at(origin, a, 10, p, v, 1), 0);
  // A still robot looks along -z and does not see it.
  const float still[3] = {0, 0, 0};
  EXPECT_EQ(rider_ahead_in_footprint_at(origin, look_ahead_axes_from_velocity(still), 0, p, v, 1), -1);
}

// Targets given as (lateral, ahead) offsets from a still robot at the
// origin, whose lateral axis is +x and whose ahead is -z.
TEST(LookAhead, TurningRadiusToPoint) {
  const float still[3] = {0, 0, 0};
  const look_ahead_axes a = look_ahead_axes_from_velocity(still);
  struct row {
    const char* what;
    float r, lat, fwd, expected;
  } rows[] = {
      {"behind, to the right", 50, 3, -1, 10},
      {"beside at fwd 0, on the left", 50, -3, 0, -10},
      {"beside at fwd 0, on the axis", 50, 0, 0, 10},
      // Circle about (10, 0): nearest point (10 - 5 sqrt2, 5 sqrt2), pushed
      // target (-10 sqrt2 + 8.58, ...): radius of the tangent circle.
      {"ahead while curving right", 10, 0, 10, -24.3919f},
      // r 0: the circle is the robot's own point, the target moves to 3x.
      {"no current turn", 0, 1, 10, 151.5f},
      {"straight, target to the right", 1000000, 1, 10, 18.1667f},
      {"infinite radius is the straight line", INFINITY, 1, 10, 18.1667f},
      {"undefined radius is the straight line", NAN, 1, 10, 18.1667f},
  };
  for (const row& r : rows) {
    const float target[3] = {r.lat, 0, -r.fwd};
    const float got = turning_radius_to_point_at(origin, r.r, a, target);
    EXPECT_NEAR(got, r.expected, std::fabs(r.expected) * 1e-3f) << r.what;
  }
  // A target straight ahead on the straight line gives a finite, huge radius.
  const float ahead[3] = {0, 0, -10};
  const float straight = turning_radius_to_point_at(origin, 1000000, a, ahead);
  EXPECT_TRUE(std::isfinite(straight));
  EXPECT_GT(std::fabs(straight), 100000);
}

}  // namespace

namespace {

TEST(LookAhead, TurningRadiusFromLeanIsFiniteUprightAndAtRest) {
  struct row {
    float v, f, lean, expected;
  } rows[] = {
      {32, 1, 0.7853982f, -32},  // 45 degrees: r = -v^2 / 32
      {32, 2, -0.7853982f, 16},
      {32, 1, 0, 1000000},
      {0, 1, 0, 1000000},
      {0, 1, 0.3f, 1000000},
      {10, 1, 1e-9f, -1000000},
      {10, 1, -1e-9f, 1000000},
  };
  for (const row& r : rows)
    EXPECT_NEAR(look_ahead_turning_radius(r.v, r.f, r.lean), r.expected, std::fabs(r.expected) * 1e-4f)
        << r.v << " " << r.f << " " << r.lean;
}

TEST(LookAhead, JumpTime) {
  struct row {
    int32_t steps;
    float distance, v, expected;
  } rows[] = {
      {-1, 3, 20, 1000000}, {4, 10, 20, 1.5f}, {0, 0, 20, 0},
      {4, 3, 0, 1000000},  // at rest, off the sample: no jump is coming
      {4, 0, 0, 1},        // at rest on the sample
      {4, 3, 0.005f, 1000000},
  };
  for (const row& r : rows)
    EXPECT_FLOAT_EQ(look_ahead_jump_time(r.steps, r.distance, r.v), r.expected) << r.steps << " " << r.v;
}

TEST(LookAhead, RiderCloseAheadCapsTheSpeedByTheTimeSinceTheGate) {
  struct row {
    float t, expected;
  } rows[] = {{2, 20}, {3, 20}, {5, 15}, {20, 15}, {60, 17}, {100, 19}, {300, 19}};
  for (const row& r : rows) {
    int cleared = 0;
    const float a = look_ahead_crowd_share(r.t);
    EXPECT_NEAR(look_ahead_speed_behind(40, 30, 20, 5, a, &cleared), r.expected, 1e-4) << r.t;
    EXPECT_EQ(cleared, 0);
  }
}

TEST(LookAhead, RiderFurtherAheadSlowsTheRobotWhenBrakingWouldNotBeEnough) {
  // a = 0, gap 12: v 40, u 20 gives T = 4, x = 120 - (d + 80).
  struct row {
    float d, s, expected;
    int cleared;
  } rows[] = {
      {100, 40, 40, 0},      // x = -60: room to brake later
      {51, 40, 33.3333f, 1},  // x = -11: q = 1/3
      {40, 40, 20, 1},       // x = 0: q = 1, down to its speed
      {40, 15, 15, 0},       // already slower than the rider ahead
  };
  for (const row& r : rows) {
    int cleared = 0;
    EXPECT_NEAR(look_ahead_speed_behind(r.s, 40, 20, r.d, 0, &cleared), r.expected, 1e-3) << r.d;
    EXPECT_EQ(cleared, r.cleared) << r.d;
  }
}

TEST(LookAhead, ThrottleSmoothing) {
  struct row {
    float t, last, since, expected;
  } rows[] = {
      {1, 0.5f, 0.1f, 0.53125f}, {0, 0.5f, 0.1f, 0},     {1, 0.5f, 1, 1},
      {0, 0.5f, 1, 0.46875f},    {0.6f, 0.5f, 1, 0.6f}, {0.2f, 0.5f, 0.1f, 0.2f},
  };
  for (const row& r : rows)
    EXPECT_FLOAT_EQ(look_ahead_smooth_throttle(r.t, r.last, r.since), r.expected) << r.t << " " << r.since;
}

}  // namespace
