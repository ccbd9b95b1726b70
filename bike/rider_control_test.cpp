// A rider's control step, ridden through the riders' tick (riders_step) on
// the tests' ground: resting, riding, braking, steering, crashing and
// remounting, the engine and the ruts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_engine.h"
#include "bike/rider_limbs.h"
#include "bike/rider_setters.h"
#include "bike/riders_step.h"
#include "bike/test_support_riders.h"
#include "bike/wheel_contacts.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/rut_test_field.h"

namespace {

// The race's rut feed, where its tick has it: between the world step and
// the control steps.
void feed_slot_ruts() {
  for (int s = 0; s < RIDER_SLOT_COUNT; s++)
    if (rider_slots[s] && rider_slot_kind[s] != RIDER_REMOTE) rider_update_ruts(rider_slots[s]);
}

class RiderScenario : public ::testing::Test {
 protected:
  void SetUp() override { open(); }
  void TearDown() override { close(); }
  void open() {
    test_track_open();
    race_clock = {};
  }
  void close() {
    feed_ruts = false;
    erode_queue_reset();
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

  bool feed_ruts = false;  // the simulation tick's rut feed in each step

  // Steps n ticks; every body of the rider must stay finite on every tick.
  bool run(rider* r, int n, std::vector<double>* trace = nullptr) {
    for (int i = 0; i < n; i++) {
      race_clock.current_tick += 1;
      riders_step_hooks hooks = {};
      if (feed_ruts) hooks.after_world_step = feed_slot_ruts;
      EXPECT_NE(riders_step(&hooks), 0);
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

// A tile that cuts a narrow groove where the tyre pushes and throws the dirt
// wide, so the groove and the heaps beside it are told apart at a glance.
tile_params groove_tile() {
  tile_params p = rut_test_default_params();
  p.erode_off_speed = 0;
  p.erode_on_speed = 2;
  p.erode_lower = 2;
  p.erode_upper = 60;
  p.erode_depth = 0;
  p.erode_inner_depth = 64;
  p.erode_inner_radius = 1.5f;
  p.erode_radius = 6;
  p.erode_displacement = 2;
  return p;
}

float distance_to(const std::vector<std::array<float, 2>>& points, float x, float z) {
  float best = INFINITY;
  for (const auto& q : points) best = std::fmin(best, std::hypot(q[0] - x, q[1] - z));
  return best;
}

TEST_F(RiderScenario, FullThrottleInFirstGearLeavesRutsAlongTheWheelPath) {
  track_field.tile_params[0] = groove_tile();
  erode_queue_reset();
  feed_ruts = true;
  rider* r = place(0.7f);
  ASSERT_TRUE(run(r, 64));
  rider_set_clutch(r, 1);
  rider_set_throttle(r, 1);
  std::vector<std::array<float, 2>> path;
  for (int i = 0; i < 384; i++) {
    ASSERT_TRUE(run(r, 1));
    for (const wheel_contact* w : {&r->front_contact, &r->rear_contact})
      if (w->depth > 0) path.push_back({w->point[0], w->point[2]});
  }
  // Off the ground the strokes stop growing and go out once they have had
  // no new point for half a second.
  rider_translate(r, 0, 12, 0);
  ASSERT_TRUE(run(r, 80));
  ASSERT_EQ(erode_queue.full_reported, 0);
  const int count = erode_queue.count;
  ASSERT_GT(count, 20);

  std::vector<erode_entry> entries;
  for (int k = 0; k < count; k++) {
    const erode_entry* e = erode_queue_peek(k);
    EXPECT_LT(distance_to(path, e->x, e->z), 0.5f) << "entry " << k << " at " << e->x << ", " << e->z;
    entries.push_back(*e);
  }
  for (int frame = 0; frame < 64 && erode_queue.count > 0; frame++) erode_queue_process(nullptr, 1.0f);
  ASSERT_EQ(erode_queue.count, 0);

  // The ride was straight: its direction runs from the first point to the
  // farthest one.
  float dir[2] = {0, 0}, far = 0;
  for (const erode_entry& e : entries) {
    const float d = std::hypot(e.x - entries[0].x, e.z - entries[0].z);
    if (d > far) {
      far = d;
      dir[0] = (e.x - entries[0].x) / d;
      dir[1] = (e.z - entries[0].z) / d;
    }
  }
  ASSERT_GT(far, 10.0f);
  float back = INFINITY, start[2] = {0, 0};
  for (const erode_entry& e : entries) {
    EXPECT_LT(terrain_height(&track_field, e.x, e.z), test_ground - 0.01f) << e.x << ", " << e.z;
    for (int side : {-1, 1}) {
      const float x = e.x - side * dir[1] * 3.5f, z = e.z + side * dir[0] * 3.5f;
      EXPECT_GT(terrain_height(&track_field, x, z), test_ground + 0.001f) << x << ", " << z;
    }
    const float along = e.x * dir[0] + e.z * dir[1];
    if (along < back) {
      back = along;
      start[0] = e.x;
      start[1] = e.z;
    }
  }
  EXPECT_GT(terrain_height(&track_field, start[0] - 3 * dir[0], start[1] - 3 * dir[1]), test_ground + 0.001f);
}

}  // namespace
