#include "robot/pass_recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/race_hooks.h"
#include "race/results.h"
#include "robot/lines.h"
#include "robot/record_pass.h"
#include "robot/test_support_robot.h"
#include "terrain/dynamics_world.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

// A kinematic course: no physics, the frame body is moved along -z through
// four gates 100 ft apart (z = -100 .. -400, facing -z, 20 ft wide). Every
// lap crosses gates 0, 1, 2, 3, each starting a segment: F = N = SF = SN = 4.
// The bike faces -z as built, so the way it moves is its forward.
struct PassRecording : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(dynamics_open(), 1);
    rider_table_init();
    robot_fixture_route({0, 1, 2, 3}, {0, 1, 2, 3}, 4);
    for (int i = 0; i < 4; i++) checkpoints[i] = {20.0f, 0, 0, -100.0f * (i + 1), 0, 0, -1, 0};
    checkpoint_count = 4;
    race_clock = {};
    race_clock.race_laps = race_clock.finish_lap = 3;
    running_order_clear();
    results_clear();
    race_hooks.pass_before_gate_search = record_pass_before_gate_search;
    race_hooks.pass_record_crossing = record_pass_crossing;
    race_hooks.pass_rider_finished = record_pass_finished;
    human = make(0);
    frame_y = (float)dBodyGetPosition(rider_frame_body(human))[1];
  }
  void TearDown() override {
    for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
      if (rider_slots[i]) rider_destroy(rider_slots[i]);
      rider_slots[i] = nullptr;
    }
    rider_table_init();
    dynamics_close();
    checkpoint_count = 0;
    robot_fixture_route_free();
    race_clock = {};
    running_order_clear();
    results_clear();
    race_hooks.pass_before_gate_search = nullptr;
    race_hooks.pass_record_crossing = nullptr;
    race_hooks.pass_rider_finished = nullptr;
    game_state.debug_level = 0;
  }
  rider* make(int slot) {
    rider* made = rider_create("cr125", (unsigned)slot, 1, "7", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(made, nullptr);
    rider_slots[slot] = made;
    rider_slot_kind[slot] = RIDER_LOCAL;
    made->rear_contact.depth = 1;  // on the ground
    return made;
  }
  // Frame at (x, z) moving along -z at speed, then the step at the tick.
  void place(rider* r, float x, float z, float speed) {
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    rider_translate(r, x - (float)p[0], 0, z - (float)p[2]);
    dBodySetLinearVel(rider_frame_body(r), 0, 0, -speed);
  }
  void step(rider* r, float x, float z, int32_t tick, float speed = 64) {
    place(r, x, z, speed);
    race_clock.current_tick = tick;
    time_rider(r);
  }
  // Half a foot a tick (64 ft/s) from z0 down to z1, from tick t.
  int32_t ride(rider* r, float z0, float z1, int32_t t, float x = 0) {
    for (float z = z0; z > z1; z -= 0.5f) step(r, x, z, t++);
    return t;
  }
  int used(int32_t segment) {
    int n = 0;
    for (int i = 0; i < line_slots_per_segment; i++) n += library_segment_slots(segment)[i].sample_count > 0;
    return n;
  }
  const line_record& first_line(int32_t segment) {
    for (int i = 0; i < line_slots_per_segment; i++)
      if (library_segment_slots(segment)[i].sample_count > 0) return library_segment_slots(segment)[i];
    return library_segment_slots(segment)[0];
  }
  rider* human = nullptr;
  float frame_y = 0;
};

TEST_F(PassRecording, AHumansLapAddsALineWhenTheFollowingSegmentEnds) {
  int32_t t = ride(human, -50, -250, 0);  // through gates 0 and 1
  EXPECT_EQ(used(0), 1) << "segment 0 (start to gate 0) judged at gate 1";
  EXPECT_EQ(used(1), 0) << "segment 1 is not judged before gate 2";
  t = ride(human, -250, -450, t);
  for (int32_t s = 0; s < 3; s++) {
    ASSERT_EQ(used(s), 1) << s;
    const line_record& line = first_line(s);
    EXPECT_NEAR(line.sample_count, line.own_time / 32.0, 1.0) << s;
    EXPECT_GT(line.pass_time, line.own_time);
    EXPECT_EQ(line.times_tested, 0);
    for (int32_t k = 1; k < line.sample_count; k++) {
      EXPECT_NEAR(line.samples[k - 1].z - line.samples[k].z, 16.0f, 0.01f) << "32 ticks at half a foot";
      EXPECT_FLOAT_EQ(line.samples[k].speed, 64);
      EXPECT_FLOAT_EQ(line.samples[k].y, frame_y);
    }
  }
  EXPECT_EQ(first_line(1).own_time, 200) << "gate 0 to gate 1";
  EXPECT_EQ(first_line(0).unique_id, 1);
  EXPECT_EQ(first_line(2).unique_id, 3);
  EXPECT_EQ(used(3), 0);
  EXPECT_EQ(human->pass_sample_lists[1].count, 6u) << "segment 3 (gate 2 to 3) waits for gate 0";
  EXPECT_EQ(human->pass_sample_lists[0].count, 3u) << "segment 4 is under way";
}

TEST_F(PassRecording, AirborneSamplesAreNegative) {
  human->rear_contact.depth = 0;
  ride(human, -50, -90, 0);
  const growable_array& list = human->pass_sample_lists[0];
  ASSERT_GT(list.count, 0u);
  EXPECT_FLOAT_EQ(static_cast<const line_sample*>(list.data)[0].speed, -64);
}

TEST_F(PassRecording, TheSameLapTwiceIsADuplicate) {
  game_state.debug_level = 1;
  rider* twin = make(1);
  test_log_begin();
  int32_t t = 0;
  for (float z = -50; z > -250; z -= 0.5f, t++) {
    step(human, 0, z, t);
    step(twin, 0, z, t);
  }
  const std::string log = test_log_text();
  test_log_end();
  EXPECT_EQ(used(0), 1);
  EXPECT_NE(log.find("auto pilot: 0 rejected (duplicate)"), std::string::npos) << log;
  EXPECT_NE(log.find("auto pilot: evicting 0 (times: 7812.50 7812.50 tested (0 0): 0.00 0.00 repl:"), std::string::npos)
      << log;

  // 2 ft to the side it is a line of its own.
  rider* other = make(2);
  ride(other, -50, -250, 0, 2.0f);
  EXPECT_EQ(used(0), 2);
}

TEST_F(PassRecording, ASkippedGateOrACrashCancelsThePass) {
  game_state.debug_level = 1;
  test_log_begin();
  int32_t t = ride(human, -50, -150, 0);  // gate 0
  t = ride(human, -150, -250, t, 30);     // gate 1 missed: 30 ft wide of it
  t = ride(human, -250, -450, t);         // gates 2 and 3
  EXPECT_EQ(rider_timing_tick(human, 1), -1);
  EXPECT_EQ(used(0), 0) << "the skip at gate 2 threw the passes away";
  EXPECT_EQ(used(1), 0);
  EXPECT_EQ(used(2), 0) << "the pass between gates 1 and 2 missed a gate";

  // Lap 2. Segment 3 (gate 2 to gate 3) was ridden whole after the skip.
  t = ride(human, -50, -150, t);  // gate 0, crossing 4
  EXPECT_EQ(used(3), 1);
  human->down = 1;
  t = ride(human, -150, -250, t);  // gate 1 reached while down
  EXPECT_EQ(human->down, 0) << "a crossing stands the rider up";
  EXPECT_EQ(used(4), 1) << "segment 4 (gate 3 to gate 0) ended before the crash";
  t = ride(human, -250, -350, t);  // gate 2 judges segment 5 (gate 0 to gate 1)
  EXPECT_EQ(used(5), 0);
  const std::string log = test_log_text();
  test_log_end();
  EXPECT_NE(log.find("auto pilot: 5 canceled"), std::string::npos) << log;
  ride(human, -350, -450, t);
  EXPECT_EQ(used(6), 1) << "the next pass counts again";
}

// Passes judged straight from a timing list made by hand.
TEST_F(PassRecording, EmptySlotsTakePassesUnlessTooSlow) {
  struct {
    int32_t pass_ticks;
    int taken;
  } cases[] = {{1000, 1}, {1000000, 1}, {1000001, 0}};
  for (const auto& c : cases) {
    robot_fixture_route({0, 1, 2, 3}, {0, 1, 2, 3}, 4);
    human->timing_count = 0;
    human->timing_ticks.count = 0;
    rider_set_timing_tick(human, 0, c.pass_ticks / 2);
    rider_set_timing_tick(human, 1, c.pass_ticks);
    human->timing_count = 1;
    const line_sample s{0, 0, 0, 10, 0};
    human->pass_sample_lists[0].count = 0;
    growable_array_append(&human->pass_sample_lists[0], &s);
    pass_at_segment_start(human, 1, 0);
    EXPECT_EQ(used(0), c.taken) << c.pass_ticks;
  }
}

// Robots book tests and failures on the lines they picked.
struct RobotTests : PassRecording {
  void SetUp() override {
    PassRecording::SetUp();
    robot = make(3);
    robot->robot.personality = 1;
    // A picked line in every segment, straight down the course.
    for (int32_t s = 0; s < 8; s++) robot_fixture_line(&library_segment_slots(s)[0], line(-50, -500, 64), 4000);
    const std::vector<line_sample> followed = line(-50, -500, 64);
    for (const line_sample& v : followed) growable_array_append(&robot->followed_line, &v);
  }
  std::vector<line_sample> line(float z0, float z1, float speed) {
    std::vector<line_sample> out;
    for (float z = z0; z >= z1; z -= 10) out.push_back({0, frame_y, z, speed, 0});
    return out;
  }
  void pick(int32_t segment_number) {
    robot->robot.picked_line_ids[segment_number % 4] = library_segment_slots(library_segment(segment_number))[0].unique_id;
  }
  // The robot at z with its cursor on the sample just ahead.
  void at(float z, int32_t tick, float x = 0, float speed = 64) {
    robot->robot.cursor = (int32_t)std::ceil((-50 - z) / 10);
    step(robot, x, z, tick, speed);
  }
  const line_record& slot0(int32_t s) { return library_segment_slots(s)[0]; }
  rider* robot = nullptr;
};

TEST_F(RobotTests, ARunOnTheLineIsATest) {
  pick(0);
  pick(1);
  at(-101, 100);  // gate 0 (X = 0: nothing to book)
  at(-201, 300);  // gate 1: segment 0's run, start to gate 0 in 100 ticks
  EXPECT_EQ(slot0(0).times_tested, 1);
  EXPECT_EQ(slot0(0).own_time_sum, 100);
  EXPECT_EQ(slot0(0).pass_time_sum, 300);
  EXPECT_EQ(slot0(0).best_own_time, 100);
  EXPECT_EQ(slot0(0).failures, 0);
  EXPECT_EQ(used(0), 1) << "a robot's run is never a line";
  EXPECT_EQ(robot->pass_sample_lists[0].count + robot->pass_sample_lists[1].count, 0u);
}

TEST_F(RobotTests, OffTheLineOrTooSlowIsAFailure) {
  struct {
    float x, speed;
    int fails;
  } cases[] = {{3.9f, 64, 0}, {4.1f, 64, 1}, {0, 68, 0}, {0, 69, 1}};  // 64 / 0.9375 = 68.27
  for (const auto& c : cases) {
    robot->timing_count = 0;
    robot->timing_ticks.count = 0;
    library_segment_slots(1)[0].failures = 0;
    library_segment_slots(0)[0].times_tested = 0;
    pick(0);
    pick(1);
    at(-101, 100);
    at(-201, 300, c.x, c.speed);
    EXPECT_EQ(slot0(1).failures, c.fails) << c.x << " " << c.speed << ": the line picked for the segment begun";
    EXPECT_EQ(slot0(0).times_tested, 1 - c.fails) << c.x << " " << c.speed;
    if (c.fails) {
      EXPECT_EQ(robot->robot.picked_line_ids[0], 0) << "all picks are spent";
    }
  }
  // A still bike's copies of one sample, or a one-sample line, have no
  // direction: the robot is measured to the sample.
  struct {
    int copies;
    float z;
    int fails;
  } still[] = {{5, -201, 0}, {1, -201, 0}, {5, -206, 1}, {1, -206, 1}};
  for (const auto& c : still) {
    robot->timing_count = 0;
    robot->timing_ticks.count = 0;
    robot->followed_line.count = 0;
    const line_sample at_gate{0, frame_y, -201, 64, 0};
    for (int i = 0; i < c.copies; i++) growable_array_append(&robot->followed_line, &at_gate);
    library_segment_slots(1)[0].failures = 0;
    pick(1);
    robot->robot.cursor = c.copies;
    step(robot, 0, -101, 100);
    step(robot, 0, c.z, 300);
    EXPECT_EQ(slot0(1).failures, c.fails) << c.copies << " copies, robot at " << c.z;
  }
  // No followed line at all.
  robot->timing_count = 0;
  robot->timing_ticks.count = 0;
  robot->followed_line.count = 0;
  library_segment_slots(1)[0].failures = 0;
  pick(1);
  at(-101, 100);
  at(-201, 300);
  EXPECT_EQ(slot0(1).failures, 1);
}

TEST_F(RobotTests, ACrashWithinASecondOfASegmentStartFailsBothLines) {
  struct {
    int32_t after;
    int previous_fails;
  } cases[] = {{127, 1}, {128, 0}};
  for (const auto& c : cases) {
    robot->timing_count = 0;
    robot->timing_ticks.count = 0;
    for (int32_t s : {0, 1}) library_segment_slots(s)[0].failures = 0;
    pick(0);
    pick(1);
    at(-101, 100);  // gate 0 at tick 100: segment 1 now
    robot->down = 1;
    at(-110, 100 + c.after);
    EXPECT_EQ(robot->down, 2);
    EXPECT_EQ(slot0(1).failures, 1) << c.after;
    EXPECT_EQ(slot0(0).failures, c.previous_fails) << c.after;
    for (int32_t id : robot->robot.picked_line_ids) EXPECT_EQ(id, 0);
    at(-120, 100 + c.after + 1);
    EXPECT_EQ(slot0(1).failures, 1) << "booked once";
    robot->down = 0;
  }
}

TEST_F(RobotTests, AFinishingRobotSlowsItsRemainingLine) {
  race_clock.finish_lap = 1;
  const int32_t m = (int32_t)robot->followed_line.count;  // samples at z = -50 - 10 k
  at(-101, 100);
  at(-201, 200);
  at(-301, 300);
  at(-401, 400);  // crossing 3 ends lap 1
  EXPECT_EQ(robot->finished, 1);
  const line_sample* s = static_cast<const line_sample*>(robot->followed_line.data);
  const int32_t j = 36;  // first sample ahead of z = -401
  EXPECT_FLOAT_EQ(s[j - 1].speed, 64) << "behind: untouched";
  EXPECT_FLOAT_EQ(s[j].speed, 64) << "where it is: full speed";
  EXPECT_FLOAT_EQ(s[m - 1].speed, 64 * (0.25f + 0.75f / (m - j)));
  for (int32_t k = j + 1; k < m; k++) EXPECT_LT(s[k].speed, s[k - 1].speed);
}

}  // namespace
