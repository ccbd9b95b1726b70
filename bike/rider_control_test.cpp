#include "bike/rider_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_engine.h"
#include "bike/rider_limbs.h"
#include "bike/rider_setters.h"
#include "bike/test_support_riders.h"
#include "terrain/dynamics_world.h"

namespace {

class RiderScenario : public ::testing::Test {
 protected:
  void SetUp() override { open(); }
  void TearDown() override { close(); }
  void open() {
    test_track_open();
    race_clock = {};
  }
  void close() {
    for (rider*& s : rider_slots) s = nullptr;
    race_clock = {};
    test_track_close();
  }

  rider* place(float heading = 0) {
    rider* r = test_rider_place("cr125", 0, 128, 128, heading);
    test_rider_give_shapes(r);
    rider_slots[0] = r;
    rider_slot_kind[0] = RIDER_LOCAL;
    rider_activate(r);
    return r;
  }

  // Steps n ticks; every body of the rider must stay finite on every tick.
  bool run(rider* r, int n, std::vector<double>* trace = nullptr) {
    for (int i = 0; i < n; i++) {
      race_clock.current_tick += 1;
      EXPECT_NE(physics_tick(), 0);
      for (int b = 0; b < RIDER_BODY_COUNT; b++) {
        const dReal* parts[] = {dBodyGetPosition(r->bodies[b]), dBodyGetLinearVel(r->bodies[b]),
                                dBodyGetAngularVel(r->bodies[b]), dBodyGetQuaternion(r->bodies[b])};
        for (int p = 0; p < 4; p++)
          for (int k = 0; k < (p == 3 ? 4 : 3); k++) {
            if (!std::isfinite(parts[p][k])) {
              ADD_FAILURE() << "body " << b << " not finite at tick " << race_clock.current_tick;
              return false;
            }
            if (trace) trace->push_back(parts[p][k]);
          }
      }
    }
    return true;
  }
};

float speed_along_heading(rider* r) {
  dVector3 f;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRAME]);
  return (float)(v[0] * f[0] + v[1] * f[1] + v[2] * f[2]);
}

TEST_F(RiderScenario, RestsUprightOnBothWheels) {
  rider* r = place();
  ASSERT_TRUE(run(r, 384));
  EXPECT_LT(std::fabs(body_lean_angle(r->bodies[RIDER_FRAME])), 0.1f);
  EXPECT_GT(r->front_contact.depth, 0);
  EXPECT_GT(r->rear_contact.depth, 0);
  EXPECT_EQ(r->crash_count, 0);
  // Settled: sagged into the suspension and no longer moving.
  EXPECT_LT(dJointGetSliderPosition(r->joints[RIDER_FORK_SLIDER]), 0);
  EXPECT_LT(dJointGetHingeAngle(r->joints[RIDER_SWINGARM_PIVOT]), 0);
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRAME]);
  EXPECT_LT(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 0.5);
}

TEST_F(RiderScenario, ThrottleInFirstGearRidesForward) {
  rider* r = place(0.7f);
  run(r, 64);
  rider_set_clutch(r, 1);
  rider_set_throttle(r, 1);
  ASSERT_TRUE(run(r, 512));
  EXPECT_GT(speed_along_heading(r), 22.0f);  // 15 mph
  EXPECT_EQ(r->gear, 0);
  EXPECT_GT(rider_engine_rpm(r), 0);
  EXPECT_LT(rider_engine_rpm(r), 24500);
  EXPECT_EQ(r->crash_count, 0);
  EXPECT_EQ(r->down_counter, 0);
}

TEST_F(RiderScenario, ThrottleSceneIsBitIdenticalWhenRunTwice) {
  std::vector<double> first, second;
  for (std::vector<double>* trace : {&first, &second}) {
    rider* r = place(0.3f);
    rider_set_clutch(r, 1);
    rider_set_throttle(r, 1);
    ASSERT_TRUE(run(r, 256, trace));
    close();
    open();
  }
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0);
}

TEST_F(RiderScenario, BrakesStopTheBike) {
  rider* r = place();
  rider_set_clutch(r, 1);
  rider_set_throttle(r, 1);
  ASSERT_TRUE(run(r, 384));
  ASSERT_GT(speed_along_heading(r), 15.0f);
  rider_set_throttle(r, 0);
  rider_set_clutch(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
  ASSERT_TRUE(run(r, 512));
  EXPECT_LT(std::fabs(speed_along_heading(r)), 1.0f);
  EXPECT_EQ(r->crash_count, 0);
}

TEST_F(RiderScenario, SteeringAtSpeedLeansAndTurnsThatWay) {
  for (float steer : {-0.5f, 0.5f}) {
    rider* r = place();
    rider_set_clutch(r, 1);
    rider_set_throttle(r, 1);
    ASSERT_TRUE(run(r, 384));
    rider_set_throttle(r, 0.5f);
    rider_set_steer(r, steer);
    ASSERT_TRUE(run(r, 192));
    dVector3 f;
    dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
    // Facing -z at the start, +x is the rider's right. A positive steer
    // leans right (negative lean angle) and turns right.
    const float lean = body_lean_angle(r->bodies[RIDER_FRAME]);
    EXPECT_LT(lean * steer, -0.05f) << steer;
    EXPECT_GT(f[0] * steer, 0.05f) << steer;
    EXPECT_EQ(r->crash_count, 0);
    close();
    open();
  }
}

TEST_F(RiderScenario, OnASlopeRollsBackUnlessTheRearBrakeHolds) {
  for (int brake = 0; brake < 2; brake++) {
    // Uphill toward -z, the way the bike faces; level under the wheels'
    // starting height at z = 128.
    const int size = track_field.size;
    for (int j = 0; j < size; j++)
      for (int i = 0; i < size; i++)
        track_field.heights[i + size * j] = test_ground + 0.15f * (128.0f - (float)j * track_field.spacing);
    rider* r = place();
    rider_set_rear_brake(r, (float)brake);
    ASSERT_TRUE(run(r, 384));
    if (brake) EXPECT_GT(speed_along_heading(r), -0.5f);
    else EXPECT_LT(speed_along_heading(r), -2.0f);
    close();
    open();
  }
}

TEST_F(RiderScenario, DroppedUpsideDownCrashesLiesAndRemounts) {
  rider* r = place();
  rider_rotate(r, 0, 0, 1, 3.14159265f);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  rider_translate(r, 128 - (float)p[0], test_ground + 20 - (float)p[1], 0);
  int crashed_at = -1;
  for (int i = 0; i < 512 && crashed_at < 0; i++) {
    ASSERT_TRUE(run(r, 1));
    if (r->crash_count > 0) crashed_at = race_clock.current_tick;
  }
  ASSERT_GT(crashed_at, 0);
  EXPECT_EQ(r->crash_count, 1);
  EXPECT_GE(r->down_counter, 500);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), nullptr);
  // Lies at least the 512 ticks of rest, then is back on the seat.
  for (int i = 0; i < 1536 && r->down_counter > 0; i++) ASSERT_TRUE(run(r, 1));
  EXPECT_GE(race_clock.current_tick - crashed_at, 512);
  ASSERT_EQ(r->down_counter, 0);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), r->bodies[RIDER_PERSON]);
  const bike_model* m = rider_model(r);
  dVector3 seat;
  dBodyGetRelPointPos(r->bodies[RIDER_FRAME], m->rider_position[0] - m->frame_position[0],
                      m->rider_position[1] - m->frame_position[1],
                      m->rider_position[2] - m->frame_position[2], seat);
  const dReal* q = dBodyGetPosition(r->bodies[RIDER_PERSON]);
  EXPECT_LT(std::hypot(q[0] - seat[0], q[1] - seat[1], q[2] - seat[2]), 0.25);
  ASSERT_TRUE(run(r, 64));
  EXPECT_EQ(r->crash_count, 1);
}

TEST_F(RiderScenario, ClutchInRevsTheEngineWithoutDrivingTheWheel) {
  rider* r = place();
  rider_set_clutch(r, 0);
  rider_set_throttle(r, 1);
  ASSERT_TRUE(run(r, 256));
  EXPECT_GT(rider_engine_rpm(r), 5000);
  EXPECT_LT(std::fabs(speed_along_heading(r)), 0.5f);
  // With the clutch open the gearbox output is pulled back to the wheel
  // every tick, so it leads by no more than one tick of the engine's turning.
  const float wheel = (float)dJointGetHingeAngle(r->joints[RIDER_REAR_AXLE]);
  const float gap = std::remainder(r->clutch_angle - wheel, 2 * 3.14159265f);
  EXPECT_LE(std::fabs(gap), r->engine_speed / rider_total_ratio(r) / 128 + 0.01f);
}

TEST_F(RiderScenario, StandingStillAfterTheStartCountsAsDown) {
  rider* r = place();
  ASSERT_TRUE(run(r, 255));
  EXPECT_EQ(r->down, 0);
  ASSERT_TRUE(run(r, 3));
  EXPECT_EQ(r->down, 1);
  EXPECT_EQ(r->crash_count, 0);
}

TEST_F(RiderScenario, AssistsGiveTheControlsBackAfterTheTick) {
  rider* r = place();
  rider_set_auto_dab(r, 1);
  rider_set_rear_brake(r, 0.3f);
  rider_set_front_brake(r, 0);
  ASSERT_TRUE(run(r, 64));
  // Hold-still braked with both brakes every tick, yet the inputs read back.
  EXPECT_FLOAT_EQ(r->rear_brake, 0.3f);
  EXPECT_FLOAT_EQ(r->front_brake, 0);
  EXPECT_FLOAT_EQ(r->dab, 0);
}

}  // namespace
