#include "bike/rider_setters.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/test_support_riders.h"
#include "terrain/height_field.h"

namespace {

class RiderSetters : public ::testing::Test {
 protected:
  void SetUp() override { test_track_open(); }
  void TearDown() override { test_track_close(); }
};

struct clamp_case {
  const char* name;
  void (*set)(rider*, float);
  float rider::*field;
  float in;
  float stored;
};

TEST_F(RiderSetters, ClampTable) {
  const float pi = (float)M_PI;
  const clamp_case cases[] = {
      {"throttle high", rider_set_throttle, &rider::throttle, 1.5f, 1},
      {"throttle low", rider_set_throttle, &rider::throttle, -0.5f, 0},
      {"lean", rider_set_lean, &rider::lean, -3, -1},
      {"dab", rider_set_dab, &rider::dab, 0.4f, 0.4f},
      {"back up", rider_set_back_up, &rider::back_up, 2, 1},
      {"steer", rider_set_steer, &rider::steer, -1.5f, -1},
      {"front brake", rider_set_front_brake, &rider::front_brake, 7, 1},
      {"rear brake", rider_set_rear_brake, &rider::rear_brake, -1, 0},
      {"clutch", rider_set_clutch, &rider::clutch, 0.25f, 0.25f},
      {"roll damping", rider_set_roll_damping, &rider::roll_damping, 150, 100},
      {"leveling", rider_set_leveling, &rider::leveling, -5, 0},
      {"roll limit factor", rider_set_roll_limit_factor, &rider::roll_limit_factor, 100, 64},
      {"roll limit angle", rider_set_roll_limit_angle, &rider::roll_limit_angle, 4, pi},
      {"steering damping", rider_set_steering_damping, &rider::steering_damping, 101, 100},
      {"steering strength", rider_set_steering_strength, &rider::steering_strength, 50, 50},
      {"max steering force", rider_set_max_steering_force, &rider::max_steering_force, 5000, 1000},
      {"direct steering", rider_set_direct_steering, &rider::direct_steering, 2, 1},
      {"slow damping speed", rider_set_slow_damping_speed, &rider::slow_damping_speed, -1, 0},
      {"slow damping factor", rider_set_slow_damping_factor, &rider::slow_damping_factor, 0, 1},
      {"land falloff", rider_set_land_damping_falloff, &rider::land_damping_falloff, 1, 0.5f},
      {"land factor", rider_set_land_damping_factor, &rider::land_damping_factor, 0.5f, 1},
      {"auto clutch", rider_set_auto_clutch_rpms, &rider::auto_clutch_rpms, 9000, 5000},
      {"brake torque", rider_set_brake_torque, &rider::brake_torque, 600, 500},
      {"rear brake torque", rider_set_rear_brake_torque, &rider::rear_brake_torque, -2, 0},
      {"max dab speed", rider_set_max_dab_speed, &rider::max_dab_speed, 3, 7},
      {"max dab speed high", rider_set_max_dab_speed, &rider::max_dab_speed, 200, 100},
      {"full lock speed", rider_set_full_lock_speed, &rider::full_lock_speed, 0, 1},
      {"restricted lock speed", rider_set_restricted_lock_speed, &rider::restricted_lock_speed,
       101, 100},
      {"restricted lock", rider_set_restricted_lock, &rider::restricted_lock, 1, pi / 4},
      // A value that is not a number never reaches the physics.
      {"throttle NaN", rider_set_throttle, &rider::throttle, NAN, 0},
      {"steer NaN", rider_set_steer, &rider::steer, NAN, -1},
      {"max dab NaN", rider_set_max_dab_speed, &rider::max_dab_speed, NAN, 7},
  };
  rider* r = test_rider_place("cr125", 0, 64, 64);
  for (const clamp_case& c : cases) {
    c.set(r, c.in);
    EXPECT_FLOAT_EQ(r->*c.field, c.stored) << c.name;
  }
}

TEST_F(RiderSetters, ControlsThatStopWhileDown) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  r->down_counter = 5;
  rider_set_throttle(r, 0.8f);
  rider_set_lean(r, 0.5f);
  rider_set_dab(r, 0.5f);
  rider_set_back_up(r, 0.5f);
  rider_set_steer(r, 0.5f);
  rider_set_front_brake(r, 0.5f);
  rider_set_clutch(r, 0.5f);
  EXPECT_EQ(r->throttle, 0);
  EXPECT_EQ(r->lean, 0);
  EXPECT_EQ(r->dab, 0);
  EXPECT_EQ(r->back_up, 0);
  EXPECT_EQ(r->steer, 0.5f);
  EXPECT_EQ(r->front_brake, 0.5f);
  EXPECT_EQ(r->clutch, 0.5f);
}

TEST_F(RiderSetters, ShiftOncePerPressAndSkipMissingGears) {
  rider* r = test_rider_place("cr125", 0, 64, 64);  // five gears, ratio 5 is -1
  struct step {
    int request;
    int gear;
  };
  const step presses[] = {{1, 1}, {1, 1}, {0, 1}, {1, 2}, {0, 2},  {1, 3}, {0, 3},
                          {1, 4}, {0, 4}, {1, 4}, {0, 4}, {-1, 3}, {-1, 3}, {2, 3}};
  for (const step& s : presses) {
    rider_shift(r, s.request);
    EXPECT_EQ(r->gear, s.gear) << "after request " << s.request;
  }
  r->last_shift_request = 0;
  r->down_counter = 1;
  rider_shift(r, -1);
  EXPECT_EQ(r->gear, 3);
  EXPECT_EQ(r->last_shift_request, 0);
  rider_set_gear(r, 9);
  EXPECT_EQ(r->gear, 4);
  rider_set_gear(r, -2);
  EXPECT_EQ(r->gear, 0);
}

TEST_F(RiderSetters, AssistBitsLeaveTheOthers) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  EXPECT_EQ(r->assist_flags, 0x8D);
  rider_set_stop_wheelies(r, 3);
  EXPECT_EQ(r->assist_flags, 0x8F);
  rider_set_stop_wheelies(r, 4);  // only the low two bits count
  EXPECT_EQ(r->assist_flags, 0x89);
  rider_set_front_antilock(r, 2);
  EXPECT_EQ(r->assist_flags, 0x81);
  rider_set_rear_antilock(r, 1);
  rider_set_auto_shift(r, 1);
  rider_set_auto_dab(r, 1);
  rider_set_auto_align(r, 0);
  rider_set_assist_bit0(r, 0);
  EXPECT_EQ(r->assist_flags, 0x70);
}

TEST_F(RiderSetters, SprocketsSpringsAndMassDistribution) {
  rider* r = test_rider_place("cr125", 0, 64, 64);  // 13 / 52
  rider_set_sprockets(r, 2.7f, -3);
  EXPECT_FLOAT_EQ(r->final_drive_ratio, 50.0f / 15.0f);
  rider_set_sprockets(r, -1.5f, 0.5f);
  EXPECT_FLOAT_EQ(r->final_drive_ratio, 52.0f / 11.0f);

  rider_set_rider_springs(r, 1.5f, -1);
  rider_set_rider_damping(r, 0.3f, 2);
  EXPECT_EQ(r->rider_yspring, 1);
  EXPECT_EQ(r->rider_zspring, 0);
  EXPECT_FLOAT_EQ(r->rider_ydamping, 0.3f);
  EXPECT_EQ(r->rider_zdamping, 1);

  const bike_model* row = rider_model(r);
  const float total = r->total_mass;
  rider_set_rider_mass_distribution(r, 0.9f);
  dMass m;
  dBodyGetMass(r->bodies[RIDER_PERSON], &m);
  EXPECT_NEAR(m.mass, 0.5 * row->rider_mass, 1e-5);
  dBodyGetMass(r->bodies[RIDER_FRAME], &m);
  EXPECT_NEAR(m.mass, row->frame_mass + 0.5 * row->rider_mass, 1e-5);
  EXPECT_EQ(r->total_mass, total);
  rider_set_rider_mass_distribution(r, 0.1f);
  dBodyGetMass(r->bodies[RIDER_PERSON], &m);
  EXPECT_NEAR(m.mass, 0.33 * row->rider_mass, 1e-5);
}

TEST_F(RiderSetters, RidingFeetFollowTheLimbPose) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  test_rider_velocity(r, 0, 0, -3);
  r->ramp = 0.5f;
  r->down_counter = 0;
  rider_update_point_masses(r);
  EXPECT_FLOAT_EQ(r->ramp, 0.5f - 4.0f / 128);
  const float* g = rider_model(r)->pose_geometry;
  dVector3 rest;
  dBodyGetRelPointPos(r->bodies[RIDER_FRAME], g[21], g[22], g[23], rest);
  // With ramp above 0 and no lean the left foot reaches partly for the
  // ground; either way it has the rider body's velocity there.
  EXPECT_NEAR(r->point_a_vel[2], -3, 1e-5);
  EXPECT_LT(r->point_a_pos[1], rest[1]);
  r->ramp = 0;
  rider_update_point_masses(r);
  EXPECT_EQ(r->ramp, 0);
  EXPECT_NEAR(r->point_a_pos[0], rest[0], 1e-5);
  EXPECT_NEAR(r->point_a_pos[1], rest[1], 1e-5);
  EXPECT_NEAR(r->point_a_pos[2], rest[2], 1e-5);
}

TEST_F(RiderSetters, FallenFootRestsOnTheGroundAndHangsFromTheHip) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  r->down_counter = 600;
  const float* g = rider_model(r)->pose_geometry;
  dVector3 hip;
  dBodyGetRelPointPos(r->bodies[RIDER_PERSON], g[9], g[10], g[11], hip);
  // Stand the rider body so its left hip is 1.5 ft above a foot resting
  // 0.25 ft above the ground.
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_PERSON]);
  const double lift = test_ground + 1.75 - hip[1];
  dBodySetPosition(r->bodies[RIDER_PERSON], p[0], p[1] + lift, p[2]);
  dBodyGetRelPointPos(r->bodies[RIDER_PERSON], g[9], g[10], g[11], hip);
  const float rest[3] = {(float)hip[0], test_ground + 0.25f, (float)hip[2]};
  for (int i = 0; i < 3; i++) {
    r->point_a_pos[i] = rest[i];
    r->point_a_vel[i] = 0;
    r->point_b_pos[i] = rest[i];
    r->point_b_vel[i] = 0;
  }
  // Gravity pulls it in one tick and the ground stops it the next: over a
  // second it stays where it lies.
  for (int t = 0; t < 128; t++) {
    rider_update_point_masses(r);
    for (int i = 0; i < 3; i++) ASSERT_NEAR(r->point_a_pos[i], rest[i], 0.005) << t << " " << i;
    EXPECT_LE(std::fabs(r->point_a_vel[1]), 0.25f);
  }

  // A foot far below the hip comes back up to the leg's length.
  const float leg = g[29] + g[30];
  float pos[3] = {(float)hip[0], (float)hip[1] - 3 * leg, (float)hip[2]};
  float vel[3] = {1, -7, 0};
  const float anchor[3] = {(float)hip[0], (float)hip[1], (float)hip[2]};
  rider_point_rope(r->bodies[RIDER_PERSON], anchor, leg, pos, vel);
  EXPECT_NEAR(pos[1], hip[1] - leg, 1e-4);
  EXPECT_NEAR(vel[0], 1, 1e-6);  // across the rope: kept
  EXPECT_NEAR(vel[1], 0, 1e-6);  // along it: the body's, at rest
  // A point behind the floor plane is put on it.
  const float plane[3] = {0, 5, 0}, up[3] = {0, 1, 0};
  float q[3] = {1, 4, 1}, qv[3] = {0, -2, 3};
  rider_point_floor(r->bodies[RIDER_PERSON], plane, up, q, qv);
  EXPECT_FLOAT_EQ(q[1], 5);
  EXPECT_FLOAT_EQ(qv[1], 0);
  EXPECT_FLOAT_EQ(qv[2], 3);
}

}  // namespace
