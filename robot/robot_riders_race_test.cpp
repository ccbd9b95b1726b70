// Robots race on the sample track under the real race reset and tick, with
// the shipped novice lines: a lone robot rides a lap, a pack gets away from
// the gate, and a race comes out the same when run again. (The full-size
// races, 39 robots over 3 laps, run in a release build through
// bench_robot_race and bkrace.)
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "core/race_clock.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "bike/rider_setters.h"
#include "robot/assist_aim.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "robot/route_planner.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

namespace {

// How far the rider's frame is past its start slot's gate object, along
// the slot's heading (positive: over the line).
double past_gate_line(int slot) {
  const start_slot& s = start_slots[slot % start_slot_count];
  const statue* g = statue_at(s.statue);
  const dReal* p = dBodyGetPosition(rider_slots[slot]->bodies[RIDER_FRAME]);
  return (p[0] - g->x) * -std::sin(s.angle) + (p[2] - g->z) * -std::cos(s.angle);
}

// Every body's position, velocities and orientation are numbers.
bool bodies_finite(const rider* r) {
  for (int b = 0; b < RIDER_BODY_COUNT; b++) {
    if (!r->bodies[b]) continue;
    const dReal* v[3] = {dBodyGetPosition(r->bodies[b]), dBodyGetLinearVel(r->bodies[b]),
                         dBodyGetAngularVel(r->bodies[b])};
    for (const dReal* x : v)
      for (int i = 0; i < 3; i++)
        if (!std::isfinite(x[i])) return false;
    const dReal* q = dBodyGetQuaternion(r->bodies[b]);
    for (int i = 0; i < 4; i++)
      if (!std::isfinite(q[i])) return false;
  }
  return true;
}

class RobotRiders : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    results_clear();
    results_install_hooks();
    tick_install_hooks();
    robot_install_hooks();
    lines_skill = -1;
  }
  void TearDown() override {
    race_test_close();
    lines_skill = -1;
  }
  void start(int robots, int laps) {
    int line_up[160] = {};
    for (int i = 0; i < robots; i++) line_up[i] = line_up_robot;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, laps, 0), 1);
    // The tests' data root has no lines files: the build's shipped novice
    // lines go in as the reset would have put them.
    ASSERT_TRUE(route_has_library());
    line_library_clear();
    std::string refusal;
    ASSERT_EQ(lines_load_from(BK_GAMEDATA_DIR "/quarrybend/lines_novice", &refusal), 1) << refusal;
    line_library_prune();
    plan_auto_pilot_routes();
    line_library_reset_pick_ticks();
  }
  // Ticks until the results are final or `ticks` ran; false at the first
  // body or control that is not a number.
  bool run(int32_t ticks) {
    for (int32_t k = 0; k < ticks && !results_finished; k++) {
      simulation_tick();
      for (int s = 0; s < RIDER_SLOT_COUNT; s++) {
        const rider* r = rider_slots[s];
        if (!r) continue;
        const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]) || !std::isfinite(r->steer) ||
            !std::isfinite(r->throttle)) {
          ADD_FAILURE() << "NaN on slot " << s << " at tick " << race_clock.current_tick;
          return false;
        }
      }
    }
    return true;
  }
  static std::vector<int32_t> crossings(const rider* r) {
    std::vector<int32_t> out;
    for (int n = 0; n < r->timing_count; n++) out.push_back(rider_timing_tick(r, n));
    return out;
  }
};

TEST_F(RobotRiders, ALoneRobotRidesALapWithoutMissingAGate) {
  start(1, 1);
  ASSERT_TRUE(run(128 * 240));
  rider* r = rider_slots[0];
  EXPECT_TRUE(results_finished) << "crossings made " << r->timing_count;
  EXPECT_TRUE(rider_has_finished(r));
  for (int32_t t : crossings(r)) EXPECT_GE(t, race_clock.gate_drop_tick) << "a missed gate";
  EXPECT_EQ(r->crash_count, 0);
}

TEST_F(RobotRiders, APackLeavesTheGateAndTheRaceRepeats) {
  std::vector<std::vector<int32_t>> first;
  std::vector<float> moved;
  const int32_t clock = race_clock.current_tick;
  const int robots_from = robot_counter;
  for (int pass = 0; pass < 2; pass++) {
    SCOPED_TRACE(pass);
    // The second race starts with the clock set back where the first began.
    race_clock.current_tick = clock;
    robot_counter = robots_from;
    start(10, 3);
    std::vector<std::array<double, 3>> grid;
    for (int s = 0; s < 10; s++) {
      const dReal* p = dBodyGetPosition(rider_slots[s]->bodies[RIDER_FRAME]);
      grid.push_back({p[0], p[1], p[2]});
    }
    const int32_t until = race_clock.gate_drop_tick + 128 * 12 - race_clock.current_tick;
    ASSERT_TRUE(run(until));
    for (int s = 0; s < 10; s++) {
      const rider* r = rider_slots[s];
      const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
      const double d = std::hypot(p[0] - grid[s][0], p[2] - grid[s][2]);
      EXPECT_GT(d, 30) << "slot " << s << " stayed near the gate";
      EXPECT_GE(r->timing_count, 1) << "slot " << s;
      if (pass == 0) first.push_back(crossings(r));
      else EXPECT_EQ(crossings(r), first[s]) << "slot " << s;
    }
  }
}

// Eight robots from the race reset on: held behind the gate until it drops,
// and all of them over its line within 5 s of the drop.
TEST_F(RobotRiders, EightRobotsWaitForTheGateAndAllLeaveWithinFiveSeconds) {
  start(8, 3);
  ASSERT_GE(start_slot_count, 8);
  const int32_t drop = race_clock.gate_drop_tick;
  ASSERT_GT(drop, race_clock.current_tick) << "the reset leaves the gate up";
  std::vector<int32_t> crossed(8, -1);
  while (race_clock.current_tick <= drop + 5 * 128) {
    simulation_tick();
    for (int s = 0; s < 8; s++) {
      const rider* r = rider_slots[s];
      ASSERT_NE(r, nullptr) << "slot " << s;
      ASSERT_TRUE(bodies_finite(r)) << "slot " << s << " at tick " << race_clock.current_tick;
      if (crossed[s] < 0 && past_gate_line(s) > 0) crossed[s] = race_clock.current_tick;
    }
  }
  for (int s = 0; s < 8; s++) {
    EXPECT_GE(crossed[s], 0) << "slot " << s << " still behind the gate line 5 s after the drop";
    if (crossed[s] >= 0) {
      EXPECT_GT(crossed[s], drop) << "slot " << s << " crossed before the drop";
    }
  }
  std::printf("gate line crossed, ticks after the drop:");
  for (int s = 0; s < 8; s++) std::printf(" %d", crossed[s] < 0 ? -1 : crossed[s] - drop);
  std::printf("\n");
}

// Turns every body of the rider by angle about the axis (unit) through the
// point c.
void turn_rider(rider* r, const dReal c[3], const dReal axis[3], dReal angle) {
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, axis[0], axis[1], axis[2], angle);
  for (dBodyID b : r->bodies) {
    if (!b) continue;
    const dReal* p = dBodyGetPosition(b);
    const dReal d[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
    dBodySetPosition(b, c[0] + turn[0] * d[0] + turn[1] * d[1] + turn[2] * d[2],
                     c[1] + turn[4] * d[0] + turn[5] * d[1] + turn[6] * d[2],
                     c[2] + turn[8] * d[0] + turn[9] * d[1] + turn[10] * d[2]);
    dMatrix3 m;
    dMultiply0_333(m, turn, dBodyGetRotation(b));
    dBodySetRotation(b, m);
    dBodySetLinearVel(b, 0, 0, 0);
    dBodySetAngularVel(b, 0, 0, 0);
  }
}

// Angle in radians between the frame's heading on the ground and the way to
// the rider's aim point (positive: the aim lies to the heading's left,
// about +y).
float off_aim(const rider* r) {
  float aim[3];
  assist_aim_point(r, aim, 0);
  dVector3 f;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const float heading = std::atan2((float)f[0], (float)f[2]);
  const float to_aim = std::atan2((float)(aim[0] - p[0]), (float)(aim[2] - p[2]));
  return std::remainder(to_aim - heading, 2 * (float)M_PI);
}

// Stops the rider where it stands, turns it a quarter turn away from its
// aim point and tips it 0.6 rad over, resting on the ground.
void stop_turned_and_tipped(rider* r) {
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const dReal up[3] = {0, 1, 0};
  dReal c[3] = {p[0], p[1], p[2]};
  turn_rider(r, c, up, off_aim(r) - (dReal)M_PI / 2);
  dVector3 f;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 0, -1, f);
  const dReal len = std::sqrt(f[0] * f[0] + f[2] * f[2]);
  const dReal along[3] = {f[0] / len, 0, f[2] / len};
  c[1] = terrain_height(&track_field, (float)c[0], (float)c[2]);
  turn_rider(r, c, along, 0.6);
  for (dBodyID b : r->bodies)
    if (b) {
      const dReal* q = dBodyGetPosition(b);
      dBodySetPosition(b, q[0], q[1] + 0.3, q[2]);
    }
}

// After its first crossing a rider is stopped, turned away from where it
// should go and tipped, holding the dab: with automatic realign it is
// turned toward its aim point (a point on the coming segment's fastest
// line); without it the bike is only stood up where it points.
TEST_F(RobotRiders, ASlowTippedRiderIsTurnedTowardItsAimAfterACrossing) {
  start(1, 1);
  rider* r = rider_slots[0];
  while (r->timing_count < 1 && race_clock.current_tick < race_clock.gate_drop_tick + 128 * 30) ASSERT_TRUE(run(1));
  ASSERT_GE(r->timing_count, 1);
  ASSERT_EQ(r->down_counter, 0);
  // From here nobody drives: the rider holds the dab and the brakes.
  r->robot.personality = 0;
  float turned[2];
  for (int align = 0; align < 2; align++) {
    SCOPED_TRACE(align);
    rider_set_auto_align(r, align);
    stop_turned_and_tipped(r);
    const float before = off_aim(r);
    ASSERT_GT(std::fabs(before), 1.1f) << "well away from the aim";
    for (int t = 0; t < 128 * 2; t++) {
      rider_set_dab(r, 1);
      rider_set_throttle(r, 0);
      rider_set_clutch(r, 0);
      rider_set_front_brake(r, 1);
      rider_set_rear_brake(r, 1);
      rider_set_back_up(r, 0);
      rider_set_steer(r, 0);
      ASSERT_TRUE(run(1));
    }
    EXPECT_EQ(r->down_counter, 0);
    turned[align] = std::fabs(before) - std::fabs(off_aim(r));
  }
  EXPECT_LT(std::fabs(turned[0]), 0.2f) << "without the realign the heading stays";
  EXPECT_GT(turned[1], 0.8f) << "with it the bike turns toward its aim";
}

}  // namespace
