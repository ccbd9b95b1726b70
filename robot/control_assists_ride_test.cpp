// The control step's riding assists, ridden through the real tick on the
// bike tests' flat ground with the balance assist installed as the game has
// it: backing up, the automatic dab and arcade steering.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "bike/riders_step.h"
#include "bike/robot_hooks.h"
#include "bike/test_support_riders.h"
#include "robot/rider_assist.h"

namespace {

class ControlAssists : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    race_clock = {};
    rider_assist_step_hook = rider_assist_step;
  }
  void TearDown() override {
    rider_assist_step_hook = nullptr;
    for (rider*& s : rider_slots) s = nullptr;
    race_clock = {};
    test_track_close();
  }
  rider* place() {
    rider* r = test_rider_place("cr125", 0, 128, 128, 0);
    test_rider_give_shapes(r);
    rider_slots[0] = r;
    rider_slot_kind[0] = RIDER_LOCAL;
    rider_activate(r);
    return r;
  }
  // Steps n ticks with the controls set by `hold` before each; false at the
  // first body that stops being finite (the NaN watchdog).
  template <class F>
  bool run(rider* r, int n, F hold) {
    for (int i = 0; i < n; i++) {
      hold();
      race_clock.current_tick += 1;
      EXPECT_NE(riders_step(nullptr), 0);
      for (int b = 0; b < RIDER_BODY_COUNT; b++) {
        const dReal* p = dBodyGetPosition(r->bodies[b]);
        const dReal* v = dBodyGetLinearVel(r->bodies[b]);
        for (int k = 0; k < 3; k++)
          if (!std::isfinite(p[k]) || !std::isfinite(v[k])) {
            ADD_FAILURE() << "body " << b << " not finite at tick " << race_clock.current_tick;
            return false;
          }
      }
    }
    return true;
  }
};

// The frame's heading on the ground (its forward -z axis) in radians.
float heading_of(const rider* r) {
  dVector3 f;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
  return std::atan2((float)f[0], (float)f[2]);
}

float along_heading(const rider* r, const dReal* from) {
  dVector3 f;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  return (float)((p[0] - from[0]) * f[0] + (p[2] - from[2]) * f[2]);
}

float frame_speed(const rider* r) {
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRAME]);
  return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST_F(ControlAssists, BackingUpRollsTheBikeBackAndSteersItsTail) {
  // Gate dropped at tick 0: the push follows its one-second wave from tick
  // 128 on. Steering one way and the other turns the bike opposite ways.
  float turned[2] = {0, 0};
  const float steers[2] = {1, -1};
  for (int k = 0; k < 2; k++) {
    SCOPED_TRACE(steers[k]);
    if (k) {
      TearDown();
      SetUp();
    }
    rider* r = place();
    race_clock.current_tick = 128;
    const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    const dReal start[3] = {p[0], p[1], p[2]};
    const float heading = heading_of(r);
    ASSERT_TRUE(run(r, 3 * 128, [&] {
      rider_set_back_up(r, 1);
      rider_set_steer(r, steers[k]);
      rider_set_throttle(r, 0);
    }));
    EXPECT_LT(along_heading(r, start), -1.0f) << "backed up";
    EXPECT_LT(frame_speed(r), 5.5f);
    EXPECT_LT(std::fabs(body_pitch_angle(r->bodies[RIDER_FRAME])), 0.3f) << "stays up on its foot";
    EXPECT_GT(r->ramp, 0.5f) << "the foot is down while backing";
    turned[k] = std::remainder(heading_of(r) - heading, 2 * (float)M_PI);
  }
  EXPECT_GT(std::fabs(turned[0]), 0.1f);
  EXPECT_GT(std::fabs(turned[1]), 0.1f);
  EXPECT_LT(turned[0] * turned[1], 0) << "opposite steering turns the other way";
}

TEST_F(ControlAssists, TheAutomaticDabStopsASlowBikeAndHoldsItUp) {
  // Rolling at 4 ft/s with the throttle shut, tipped a little: with the
  // automatic dab the foot comes down, the bike is held still and the roll
  // assist stands it up; without it the bike rolls on with no foot down.
  for (int dab : {1, 0}) {
    SCOPED_TRACE(dab);
    if (!dab) {
      TearDown();
      SetUp();
    }
    rider* r = place();
    rider_set_auto_dab(r, dab);
    dVector3 f;
    dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
    test_rider_velocity(r, 4 * (float)f[0], 0, 4 * (float)f[2]);
    dBodySetAngularVel(r->bodies[RIDER_FRAME], 0, 0, 0);
    ASSERT_TRUE(run(r, 2 * 128, [&] {
      rider_set_throttle(r, 0);
      rider_set_dab(r, 0);
      rider_set_front_brake(r, 0);
      rider_set_rear_brake(r, 0);
    }));
    if (dab) {
      EXPECT_LT(frame_speed(r), 0.5f) << "held still";
      EXPECT_GT(r->ramp, 0.5f) << "foot down";
      EXPECT_LT(std::fabs(body_pitch_angle(r->bodies[RIDER_FRAME])), 0.12f);
      EXPECT_EQ(r->dab, 0) << "the dab control itself is given back";
    } else {
      EXPECT_GT(frame_speed(r), 1.5f) << "rolls on";
      EXPECT_EQ(r->ramp, 0) << "no foot without the assist or the control";
    }
  }
}

TEST_F(ControlAssists, ArcadeSteeringLeansTheBikeTheWayItIsSteered) {
  // At 20 ft/s with the throttle holding speed, arcade steering leans the
  // frame toward -steer x pi/4; the two directions lean opposite ways.
  float leans[2] = {0, 0};
  const float steers[2] = {1, -1};
  for (int k = 0; k < 2; k++) {
    SCOPED_TRACE(steers[k]);
    if (k) {
      TearDown();
      SetUp();
    }
    rider* r = place();
    rider_set_arcade(r, 1);
    dVector3 f;
    dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
    test_rider_velocity(r, 20 * (float)f[0], 0, 20 * (float)f[2]);
    ASSERT_TRUE(run(r, 64, [&] {
      rider_set_throttle(r, 0.3f);
      rider_set_clutch(r, 1);
      rider_set_steer(r, steers[k]);
      rider_set_dab(r, 1);
    }));
    leans[k] = body_pitch_angle(r->bodies[RIDER_FRAME]);
    EXPECT_EQ(r->down_counter, 0);
  }
  EXPECT_LT(leans[0], -0.2f) << "steer +1 leans toward -pi/4";
  EXPECT_GT(leans[1], 0.2f) << "steer -1 leans toward +pi/4";
}

}  // namespace
