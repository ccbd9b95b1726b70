// Robots on the sample track under the race's own reset and tick: held at
// the gate by the assist step, and driving a shipped line with the
// look-ahead driver and the careful follower.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/line_following.h"
#include "robot/lines.h"
#include "robot/look_ahead.h"
#include "terrain/track.h"

namespace {

int bodies_finite(const rider* r) {
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    const dReal* v = dBodyGetLinearVel(b);
    for (int k = 0; k < 3; k++)
      if (!std::isfinite(p[k]) || !std::isfinite(v[k])) return 0;
  }
  return 1;
}

void hold_posture(rider* r) {
  rider_set_dab(r, 1);
  rider_set_clutch(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
  rider_set_steer(r, 0);
  rider_set_throttle(r, 0);
  rider_set_auto_shift(r, 0);
}

// The launch here is shorter than a race start's: the test is about the
// drivers, and a second of blind full throttle is enough to get rolling.
float launch_seconds = 1;

// The cursor moves on as the bike passes its sample (the auto pilot's
// own advance, without the line picking).
void advance_and_drive(rider* r) {
  const line_sample* s = (const line_sample*)r->followed_line.data;
  const int32_t count = (int32_t)r->followed_line.count;
  rider_robot_state& robot = r->robot;
  const dReal* p = dBodyGetPosition(rider_frame_body(r));
  // The last sample stays the target: the line picking that would splice
  // on the next line is not part of this ride.
  if (robot.cursor < count - 1) {
    const double dx = s[robot.cursor].x - p[0], dz = s[robot.cursor].z - p[2];
    if (dx * dx + dz * dz < (robot.recovery_counter == 3 ? 900 : 3600)) {
      const double d = std::sqrt(dx * dx + dz * dz);
      int against = 0;
      if (d > 4 && robot.cursor > 0) {
        const dReal* m = dBodyGetRotation(rider_frame_body(r));
        const double wx = s[robot.cursor].x - s[robot.cursor - 1].x, wz = s[robot.cursor].z - s[robot.cursor - 1].z;
        against = wx * wx + wz * wz > 1 && wx * -m[2] + wz * -m[10] < 0;
      }
      if (!against) {
        robot.cursor++;
        robot.last_advance_tick = race_clock.current_tick;
        if (robot.recovery_counter > 0) robot.recovery_counter--;
      }
    }
  }
  if (robot.cursor >= count) {
    hold_posture(r);
    return;
  }
  // The launch off the gate: the clutch comes in and the foot comes up
  // over a quarter second, full throttle for two.
  const float since = (race_clock.current_tick - race_clock.gate_drop_tick) / 128.0f;
  if (since < launch_seconds) {
    const float x = std::fmin(1.0f, since * 4);
    rider_set_throttle(r, 1);
    rider_set_dab(r, 1 - x);
    rider_set_clutch(r, x);
    rider_set_front_brake(r, 0);
    rider_set_rear_brake(r, 0);
    rider_set_steer(r, 0);
    rider_set_auto_shift(r, x >= 0.75f);
    if (x < 0.75f) rider_set_gear(r, rider_model(r)->gear_ratios[1] > 0 ? 1 : 0);
    return;
  }
  if (robot.recovery_counter == 0) auto_pilot_steer_ahead(r);
  else auto_pilot_follow_line(r);
}

class RobotDriving : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(race_test_make_data());
    race_test_open();
    net_values_reset();
    tick_install_hooks();
    robot_install_hooks();
  }
  void TearDown() override {
    race_hooks = saved;
    race_test_close();
  }
  rider* start_robot() {
    int line_up[160] = {};
    line_up[0] = 1020;
    race_clock.current_tick = 1234;
    EXPECT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    return rider_slots[0];
  }
  race_hooks_table saved = race_hooks;
};

// A standing bike with the foot down stays on its wheels at the gate.
TEST_F(RobotDriving, HeldAtTheGateItStaysUpright) {
  rider* r = start_robot();
  ASSERT_NE(r, nullptr);
  race_hooks.auto_pilot_tick = hold_posture;
  race_clock.gate_drop_tick = race_clock.current_tick + 1000000;
  float most = 0;
  for (int t = 0; t < 12 * 128; t++) {
    simulation_tick();
    ASSERT_TRUE(bodies_finite(r)) << "tick " << t;
    most = std::fmax(most, std::fabs(body_pitch_angle(rider_frame_body(r))));
  }
  EXPECT_EQ(r->down_counter, 0);
  EXPECT_EQ(r->crash_count, 0);
  EXPECT_LT(most, 0.5f) << "the bike fell over at the gate";
}

// The fastest shipped line of the first segment, followed from the gate.
TEST_F(RobotDriving, DrivesAShippedLineWithoutFalling) {
  const int32_t segments = 3;
  rider* r = start_robot();
  ASSERT_NE(r, nullptr);
  const std::string path = std::string(BK_GAMEDATA_DIR) + "/quarrybend/" + lines_file_name(0);
  line_library_clear();
  std::string refusal;
  ASSERT_EQ(lines_load_from(path.c_str(), &refusal), 1) << refusal;
  // The line that leaves nearest to this bike's grid place.
  const dReal* p = dBodyGetPosition(rider_frame_body(r));
  const line_record* slots = library_segment_slots(0);
  ASSERT_NE(slots, nullptr);
  const line_record* line = nullptr;
  double best = 1e18;
  for (int i = 0; i < line_slots_per_segment; i++) {
    if (slots[i].sample_count < 20) continue;
    const double dx = slots[i].samples[0].x - p[0], dz = slots[i].samples[0].z - p[2];
    if (dx * dx + dz * dz < best) best = dx * dx + dz * dz, line = &slots[i];
  }
  ASSERT_NE(line, nullptr);
  ASSERT_LT(best, 100) << "no shipped line leaves from this grid place";
  // Then the fastest line of each following segment that leaves where the
  // last one ended, so the ride runs on past the gate wait the first line
  // recorded.
  for (int32_t n = 0; n < line->sample_count; n++) growable_array_append(&r->followed_line, &line->samples[n]);
  for (int32_t segment = 1; segment < segments; segment++) {
    const line_sample last = ((const line_sample*)r->followed_line.data)[r->followed_line.count - 1];
    const line_record* next_slots = library_segment_slots(library_segment(segment));
    const line_record* next = nullptr;
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& c = next_slots[i];
      if (c.sample_count < 2) continue;
      const double dx = c.samples[0].x - last.x, dz = c.samples[0].z - last.z;
      if (dx * dx + dz * dz > 100) continue;
      if (!next || c.own_time < next->own_time) next = &c;
    }
    ASSERT_NE(next, nullptr) << "no line of segment " << segment << " leaves where the last ended";
    for (int32_t n = 1; n < next->sample_count; n++) growable_array_append(&r->followed_line, &next->samples[n]);
  }
  const int32_t samples = (int32_t)r->followed_line.count;
  const line_sample* all = (const line_sample*)r->followed_line.data;
  // As at a race's first pick: the cursor past the line's first 10 feet.
  r->robot.cursor = samples;
  for (int32_t n = 1; n < samples; n++) {
    const double dx = all[n].x - all[0].x, dy = all[n].y - all[0].y,
                 dz = all[n].z - all[0].z;
    if (dx * dx + dy * dy + dz * dz > 100) {
      r->robot.cursor = n;
      break;
    }
  }
  race_clock.gate_drop_tick = race_clock.current_tick;
  r->robot.last_advance_tick = race_clock.current_tick;
  race_hooks.auto_pilot_tick = advance_and_drive;
  rider_set_clutch(r, 1);
  const int32_t start = race_clock.current_tick;
  float lean_most = 0;
  double travelled = 0;
  dVector3 last;
  std::memcpy(last, dBodyGetPosition(rider_frame_body(r)), sizeof last);
  const float start_place = line_cursor_position(r);
  // Seven seconds from the drop: the launch, a straight and the first turns.
  while (race_clock.current_tick - start < 128 * 7) {
    simulation_tick();
    ASSERT_TRUE(bodies_finite(r)) << "tick " << race_clock.current_tick - start;
    const dReal* q = dBodyGetPosition(rider_frame_body(r));
    travelled += std::sqrt((q[0] - last[0]) * (q[0] - last[0]) + (q[2] - last[2]) * (q[2] - last[2]));
    std::memcpy(last, q, sizeof last);
    lean_most = std::fmax(lean_most, std::fabs(body_pitch_angle(rider_frame_body(r))));
    if (r->down_counter > 0) break;
  }
  const float seconds = (race_clock.current_tick - start) / 128.0f;
  const float place = line_cursor_position(r);
  EXPECT_EQ(r->crash_count, 0) << "fell after " << seconds << " s at line place " << place;
  EXPECT_EQ(r->robot.recovery_counter, 0) << "lost the line";
  // The recorded line runs at about 25 ft/s here: 7 s cover some 20 samples.
  EXPECT_GT(place - start_place, 15) << "from " << start_place << " to " << place;
  EXPECT_GT(travelled / seconds, 15) << "too slow";
  EXPECT_LT(travelled / seconds, 45) << "too fast";
  EXPECT_LT(lean_most, 0.8f);
}

}  // namespace

// A bike held where it stands (as by another bike it is tangled with)
// under the careful follower gets no unstick push until 19 s have gone by
// without a cursor advance; then it is pushed, and let go, the bike rides
// off. A push any sooner
// drove bikes that had stopped behind a fallen one into it and kept the
// pair wedged together.
TEST_F(RobotDriving, AHeldFollowerIsPushedAfterNineteenSecondsWithoutAnAdvance) {
  rider* r = start_robot();
  ASSERT_NE(r, nullptr);
  dBodyID frame = rider_frame_body(r);
  const dReal* p = dBodyGetPosition(frame);
  const dReal* m = dBodyGetRotation(frame);
  const float fx = (float)-m[2], fz = (float)-m[10];
  const float len = std::sqrt(fx * fx + fz * fz);
  // A straight line ahead, beyond the 30 ft the cursor runs ahead of the
  // bike while it recovers.
  for (int i = 0; i < 40; i++) {
    const float d = 40 + 5.0f * i;
    const line_sample s{(float)p[0] + fx / len * d, (float)p[1], (float)p[2] + fz / len * d, 15, 0};
    growable_array_append(&r->followed_line, &s);
  }
  race_clock.gate_drop_tick = race_clock.current_tick - 10 * 128;
  r->robot.cursor = 0;
  r->robot.recovery_counter = 3;
  r->robot.last_advance_tick = race_clock.current_tick;
  race_hooks.auto_pilot_tick = advance_and_drive;
  dJointID hold = dJointCreateFixed(dBodyGetWorld(frame), nullptr);
  dJointAttach(hold, frame, nullptr);
  dJointSetFixed(hold);

  // The hold's vertical force on the frame shows the push's lift of 16
  // times the total mass.
  dJointFeedback feedback{};
  dJointSetFeedback(hold, &feedback);
  double lift[22] = {};
  for (int t = 0; t < 22 * 128; t++) {
    simulation_tick();
    ASSERT_TRUE(bodies_finite(r)) << "tick " << t;
    lift[t / 128] += feedback.f1[1] / 128;
  }
  const double weight = 16 * r->total_mass;
  for (int second = 1; second < 18; second++)
    EXPECT_NEAR(lift[second], lift[1], weight / 4) << "pushed in second " << second;
  for (int second = 20; second < 22; second++)
    EXPECT_NEAR(lift[second], lift[1] - weight, weight / 4) << "not pushed in second " << second;

  dJointDestroy(hold);
  const dVector3 from = {p[0], p[1], p[2]};
  for (int t = 0; t < 12 * 128; t++) {
    simulation_tick();
    ASSERT_TRUE(bodies_finite(r)) << "tick " << t;
  }
  const dReal* q = dBodyGetPosition(frame);
  EXPECT_GT(std::hypot(q[0] - from[0], q[2] - from[2]), 20) << "let go, the bike stayed";
  EXPECT_EQ(r->crash_count, 0);
}
