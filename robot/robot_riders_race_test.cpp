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
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "robot/route_planner.h"
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
    if (crossed[s] >= 0) EXPECT_GT(crossed[s], drop) << "slot " << s << " crossed before the drop";
  }
  std::printf("gate line crossed, ticks after the drop:");
  for (int s = 0; s < 8; s++) std::printf(" %d", crossed[s] < 0 ? -1 : crossed[s] - drop);
  std::printf("\n");
}

}  // namespace
