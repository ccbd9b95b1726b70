// The assist step on a bike standing on flat ground, one tick at a time:
// what it raises, which forces it adds and when it makes the realign motor.
#include "robot/rider_assist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "bike/test_support_riders.h"
#include "core/running_order.h"
#include "robot/assist_aim.h"
#include "robot/lines.h"
#include "robot/test_support_robot.h"
#include "terrain/track.h"

namespace {

constexpr float pi = 3.14159265358979f;

class RiderAssist : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    robot_fixture_route({0, 1, 2}, {0, 1, 2}, 3);
    checkpoint_count = 3;
    for (int g = 0; g < 3; g++) checkpoints[g] = checkpoint{10, 128.0f + 40 * g, test_ground, 60, 0, 0, -1, 0};
    running_order_clear();
  }
  void TearDown() override {
    checkpoint_count = 0;
    running_order_clear();
    robot_fixture_route_free();
    test_track_close();
  }
  // A bike facing -z at (128, 128), leaning by lean radians, moving at
  // speed along its heading, both wheels on the ground, dab held.
  rider* stand(float lean, float speed) {
    rider* r = rider_create("cr125", 0, 1, "7", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(r, nullptr);
    rider_rotate(r, 0, 0, 1, lean);
    rider_translate(r, 128, test_ground + 2, 128);
    test_rider_velocity(r, 0, 0, -speed);
    r->front_contact.depth = r->rear_contact.depth = 0.1f;
    rider_set_max_dab_speed(r, 20);
    rider_set_dab(r, 1);
    r->ramp = 0;
    rider_slots[0] = r;
    return r;
  }
};

struct effect {
  float ramp;
  double force;   // size of the force on the frame
  int joints;     // joints made on the frame
};

effect step(rider* r) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  dBodySetForce(frame, 0, 0, 0);
  dBodySetTorque(frame, 0, 0, 0);
  const int before = dBodyGetNumJoints(frame);
  rider_assist_step(r);
  const dReal* f = dBodyGetForce(frame);
  const dReal* t = dBodyGetTorque(frame);
  return {r->ramp, std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2] + t[0] * t[0] + t[1] * t[1] + t[2] * t[2]),
          dBodyGetNumJoints(frame) - before};
}

TEST_F(RiderAssist, WhoIsHelpedAndHow) {
  struct row {
    const char* what;
    float lean, speed;
    std::function<void(rider*)> setup;
    int ramp_rises, pushed, motor;
  } rows[] = {
      {"dab not held: nothing", 0.3f, 2, [](rider* r) { rider_set_dab(r, 0); }, 0, 0, 0},
      {"down: only the foot", 0.3f, 2, [](rider* r) { r->down_counter = 100; }, 1, 0, 0},
      {"slow and leaning: pushed upright", 0.3f, 2, nullptr, 1, 1, 0},
      {"upright: the foot but no push", 0, 2, nullptr, 1, 0, 0},
      // Fast, the lean allowed grows to a full turn: the foot, no push.
      {"at exactly the dab speed: helped", 0.7f, 20, nullptr, 1, 0, 0},
      {"just above the dab speed: nothing", 0.7f, 20.5f, nullptr, 0, 0, 0},
      {"struck a moment ago: helped up to 75 ft/s", 0.7f, 50, [](rider* r) { r->hit_timer = -600; }, 1, 0, 0},
      {"struck long ago: not above the dab speed", 0.7f, 50, [](rider* r) { r->hit_timer = -500; }, 0, 0, 0},
      {"leaning far past the allowance at 10 ft/s: pushed", 1.0f, 10, [](rider* r) { r->front_slide = 1; }, 1, 1, 0},
      {"the same while the front does not slide: no push", 1.0f, 10, nullptr, 1, 0, 0},
      {"above 15 ft/s nearly upright: nothing", 0.3f, 18, nullptr, 0, 0, 0},
      {"above 15 ft/s, a wheel in the air: nothing", 0.7f, 18, [](rider* r) { r->rear_contact.depth = 0; }, 0, 0, 0},
      {"arcade: the foot only", 0.5f, 2, [](rider* r) { rider_set_arcade(r, 1); }, 1, 0, 0},
      {"striking another at speed: the foot only", 0.5f, 8, [](rider* r) { r->hit_timer = 10; }, 1, 0, 0},
      // Turned with the wheels lifted, so no push on the frame.
      {"tipped, auto align, past a gate: turned", 0.5f, 2,
       [](rider* r) {
         rider_set_auto_align(r, 1);
         r->timing_count = 1;
       },
       1, 0, 1},
      {"tipped, auto align, backing up: no turn", 0.5f, 2,
       [](rider* r) {
         rider_set_auto_align(r, 1);
         r->timing_count = 1;
         rider_set_back_up(r, 1);
       },
       1, 1, 0},
      {"tipped, auto align, no gate crossed: no turn", 0.5f, 2, [](rider* r) { rider_set_auto_align(r, 1); }, 1, 1,
       0},
  };
  for (const row& c : rows) {
    rider* r = stand(c.lean, c.speed);
    ASSERT_NE(r, nullptr);
    if (c.setup) c.setup(r);
    const effect e = step(r);
    EXPECT_EQ(e.ramp > 0, c.ramp_rises != 0) << c.what;
    if (c.ramp_rises) {
      EXPECT_FLOAT_EQ(e.ramp, 8.0f / 128) << c.what;
    }
    EXPECT_EQ(e.force > 1, c.pushed != 0) << c.what << " force " << e.force;
    EXPECT_EQ(e.joints, c.motor) << c.what;
    rider_slots[0] = nullptr;
    rider_destroy(r);
  }
}

// The roll push turns the frame back toward upright, whichever way it leans.
TEST_F(RiderAssist, TheRollPushRightsTheBike) {
  for (float lean : {0.3f, -0.3f}) {
    rider* r = stand(lean, 2);
    const float measured = body_pitch_angle(r->bodies[RIDER_FRAME]);
    ASSERT_NEAR(std::fabs(measured), 0.3f, 0.01f);
    step(r);
    dVector3 local;
    const dReal* t = dBodyGetTorque(r->bodies[RIDER_FRAME]);
    dBodyVectorFromWorld(r->bodies[RIDER_FRAME], t[0], t[1], t[2], local);
    EXPECT_LT(local[2] * measured, 0) << "lean " << measured << " torque about z " << local[2];
    rider_slots[0] = nullptr;
    rider_destroy(r);
  }
}

// A tipped rider stuck after the leader finished is finished with it.
TEST_F(RiderAssist, FinishRuleEndsAStuckRidersRace) {
  race_clock.finish_lap = 1;  // E = F - 1 = 2
  rider* leader = rider_create("cr125", 1, 1, "1", nullptr, nullptr, nullptr, nullptr);
  rider_slots[1] = leader;
  for (int32_t tick : {100, 200, 300}) growable_array_append(&leader->timing_ticks, &tick);
  leader->timing_count = 3;
  running_order.count = 1;
  running_order.entries[0] = {1, 3, 300};
  struct row {
    const char* what;
    std::vector<int32_t> ticks;
    int finished;
  } rows[] = {
      {"lap ended after the leader's finish", {110, 210, 310}, 1},
      {"lap ended before it", {90, 190, 290}, 0},
      {"no completed lap yet", {110}, 0},
  };
  for (const row& c : rows) {
    rider* r = stand(0.5f, 2);
    for (int32_t t : c.ticks) growable_array_append(&r->timing_ticks, &t);
    r->timing_count = (int32_t)c.ticks.size();
    step(r);
    EXPECT_EQ(r->finished, c.finished) << c.what;
    rider_slots[0] = nullptr;
    rider_destroy(r);
  }
  rider_slots[1] = nullptr;
  rider_destroy(leader);
  race_clock.finish_lap = 0;
}

TEST_F(RiderAssist, AimPoint) {
  rider* r = stand(0, 0);
  float out[3];
  // No line library, no crossing: the first gate.
  assist_aim_point(r, out, 0);
  EXPECT_FLOAT_EQ(out[0], 128);
  r->timing_count = 1;
  assist_aim_point(r, out, 0);
  EXPECT_FLOAT_EQ(out[0], 168) << "the next gate after one crossing";
  // A line of the coming segment: four samples on from the nearest.
  line_record* slots = library_segment_slots(library_segment(1));
  ASSERT_NE(slots, nullptr);
  robot_fixture_line(&slots[3], robot_fixture_run(128, 140, 128, 40, 11));  // every 10 ft toward -z
  assist_aim_point(r, out, 0);
  EXPECT_FLOAT_EQ(out[2], 90) << "nearest is z 130, four on is z 90";
  // Near the line's end with no next line: the nearest sample.
  test_rider_velocity(r, 0, 0, 0);
  rider_translate(r, 0, 0, -80);  // frame near z 48
  assist_aim_point(r, out, 0);
  EXPECT_NEAR(out[2], 50, 0.01f) << "nearest but one from the end, nothing further";
  // A robot aims at its cursor sample, or the next gate when its line is used up.
  r->robot.personality = 1;
  const line_sample s{1, 2, 3, 10, 0};
  growable_array_append(&r->followed_line, &s);
  r->robot.cursor = 0;
  assist_aim_point(r, out, 0);
  EXPECT_EQ(out[0], 1);
  r->robot.cursor = 1;
  assist_aim_point(r, out, 0);
  EXPECT_FLOAT_EQ(out[0], 168);
}

}  // namespace
