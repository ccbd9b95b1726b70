#include "robot/auto_pilot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "bike/robot_hooks.h"
#include "bike/test_support_riders.h"
#include "core/growable_array.h"
#include "core/race_clock.h"
#include "core/random.h"
#include "core/running_order.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "robot/lines.h"
#include "robot/record_pass.h"
#include "robot/rider_assist.h"
#include "robot/test_support_robot.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

TEST(AutoPilot, RaisesTheFootWhileDownUpToOne) {
  rider r{};
  r.ramp = 0.5f;
  rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f) << "riding: the foot stays";
  r.down_counter = 10;
  rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f + 8.0f / 128);
  for (int i = 0; i < 20; i++) rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 1.0f);
}

TEST(AutoPilot, InstallsItsHooks) {
  rider_assist_step_hook = nullptr;
  const race_hooks_table saved = race_hooks;
  robot_install_hooks();
  EXPECT_EQ(rider_assist_step_hook, &rider_assist_step);
  EXPECT_EQ(race_hooks.auto_pilot_tick, &auto_pilot_tick);
  EXPECT_EQ(race_hooks.lines_write_and_clear, &line_library_clear);
  EXPECT_EQ(race_hooks.robot_personality, &rider_set_auto_pilot_personality);
  EXPECT_EQ(race_hooks.pass_before_gate_search, &record_pass_before_gate_search);
  EXPECT_EQ(race_hooks.pass_record_crossing, &record_pass_crossing);
  EXPECT_EQ(race_hooks.pass_rider_finished, &record_pass_finished);
  EXPECT_NE(race_hooks.lines_load, nullptr);
  EXPECT_NE(race_hooks.lines_prune_and_plan, nullptr);
  EXPECT_NE(race_hooks.lines_reset_pick_ticks, nullptr);
  rider_assist_step_hook = nullptr;
  race_hooks = saved;
}

// ---- splicing ----

struct Followed {
  growable_array a{};
  Followed() { growable_array_init(&a, sizeof(line_sample), 4); }
  ~Followed() { growable_array_free(&a); }
  void add(const std::vector<line_sample>& v) {
    for (const line_sample& s : v) growable_array_append(&a, &s);
  }
  const line_sample& operator[](size_t i) const { return ((const line_sample*)a.data)[i]; }
};

struct BlendPoint {
  int k;
  float x, y, z, speed, lean;
};

struct SpliceCase {
  const char* name;
  std::vector<line_sample> before;  // the followed line
  int32_t cursor;
  std::vector<line_sample> added;
  int32_t cursor_after;
  size_t count_after;
  std::vector<BlendPoint> expect;  // samples after the splice
};

std::vector<line_sample> along_x(int from, int count, float speed = 30, float z = 0) {
  std::vector<line_sample> v;
  for (int i = 0; i < count; i++) v.push_back({(float)(from + i) * 10, 0, z, speed, 0});
  return v;
}

TEST(AutoPilotSplice, TrimsCopiesAndBlendsTheJunction) {
  const float frame[3] = {2, 0, 0}, forward[3] = {0, 0, 1};
  const std::vector<line_sample> up_z = {{0, 0, 20, 30, 0.2f}, {0, 0, 30, 30, 0.2f}, {0, 0, 40, 30, 0.2f},
                                         {0, 0, 50, 30, 0.2f}};
  const std::vector<line_sample> bend = {{80, 0, 5, 20, 0.5f}, {90, 0, 10, 20, 0.5f}, {100, 0, 15, 20, 0.5f}};
  std::vector<line_sample> airborne_end = along_x(0, 8);
  airborne_end[3].speed = -30;
  const SpliceCase cases[] = {
      // Five copies of the first sample, then a curve from the bike along
      // its heading into the line's second sample's direction.
      {"empty line", {}, 0, up_z, 0, 9,
       {{0, 0, 0, 20, 30, 0.2f}, {1, 1.792f, 0, 5.28f, 30, 0.2f}, {2, 1.296f, 0, 7.64f, 30, 0.2f},
        {3, 0.704f, 0, 9.36f, 30, 0.2f}, {4, 0.208f, 0, 12.72f, 30, 0.2f}, {5, 0, 0, 20, 30, 0.2f}}},
      // e = max(m - 5, cursor) = 3: sample 3 stays, 4..7 bend, speed and
      // lean ramp toward the new line.
      {"junction", along_x(0, 8), 2, bend, 2, 11,
       {{3, 30, 0, 0, 30, 0}, {4, 40, 0, -0.28f, 28, 0.1f}, {5, 50, 0, -0.64f, 26, 0.2f},
        {6, 60, 0, -0.36f, 24, 0.3f}, {7, 70, 0, 1.28f, 22, 0.4f}, {8, 80, 0, 5, 20, 0.5f}}},
      // The cursor holds the junction's start: nothing behind it moves.
      {"cursor near the end", along_x(0, 8), 6, bend, 6, 11,
       {{6, 60, 0, 0, 30, 0}, {7, 70, 0, 1.25f, 25, 0.25f}, {8, 80, 0, 5, 20, 0.5f}}},
      // 31 or more: all but 30 samples behind the cursor go.
      {"trim at 31", along_x(0, 40), 31, bend, 30, 42, {{0, 10, 0, 0, 30, 0}, {29, 300, 0, 0, 30, 0}}},
      {"trim at 35", along_x(0, 40), 35, bend, 30, 38, {{0, 50, 0, 0, 30, 0}, {29, 340, 0, 0, 30, 0}}},
      {"no trim at 30", along_x(0, 40), 30, bend, 30, 43, {{0, 0, 0, 0, 30, 0}}},
      // An airborne sample at the junction's start: positions stay.
      {"airborne", airborne_end, 2, bend, 2, 11, {{4, 40, 0, 0, 30, 0}, {7, 70, 0, 0, 30, 0}}},
      // A one-sample line has no second sample to aim the blend with.
      {"one new sample", along_x(0, 8), 2, {{80, 0, 5, 20, 0.5f}}, 2, 9,
       {{4, 40, 0, 0, 30, 0}, {7, 70, 0, 0, 30, 0}, {8, 80, 0, 5, 20, 0.5f}}},
      {"one sample into an empty line", {}, 0, {{80, 0, 5, 20, 0.5f}}, 0, 6,
       {{0, 80, 0, 5, 20, 0.5f}, {5, 80, 0, 5, 20, 0.5f}}},
  };
  for (const SpliceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Followed f;
    f.add(c.before);
    int32_t cursor = c.cursor;
    auto_pilot_splice(&f.a, &cursor, c.added.data(), (int32_t)c.added.size(), frame, forward);
    EXPECT_EQ(cursor, c.cursor_after);
    ASSERT_EQ(f.a.count, c.count_after);
    for (const BlendPoint& e : c.expect) {
      SCOPED_TRACE(e.k);
      EXPECT_NEAR(f[e.k].x, e.x, 1e-3);
      EXPECT_NEAR(f[e.k].y, e.y, 1e-3);
      EXPECT_NEAR(f[e.k].z, e.z, 1e-3);
      EXPECT_NEAR(f[e.k].speed, e.speed, 1e-3);
      EXPECT_NEAR(f[e.k].lean, e.lean, 1e-3);
    }
    // The new line's samples are appended unchanged.
    for (size_t k = 0; k < c.added.size(); k++) EXPECT_EQ(f[f.a.count - c.added.size() + k].x, c.added[k].x);
  }
}

// ---- picking ----

class AutoPilotPick : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two first-lap segments, two normal-lap ones.
    robot_fixture_route({0, 1}, {2, 3});
    game_state.debug_level = 0;
  }
  void TearDown() override {
    robot_fixture_route_free();
    game_state.debug_level = 0;
  }
  line_record* seg(int k) { return library_segment_slots(k); }
  // Lines of a segment that nothing hands over from: every chain is
  // unreachable, so every score is 1 and the match and pick times decide.
  void lines_at(int k, const std::vector<int>& slots, float x0 = 0) {
    for (int i : slots) robot_fixture_line(&seg(k)[i], robot_fixture_run(x0, (float)i * 10, x0 + 50, (float)i * 10, 6));
  }
  void never_picked(int k) {
    for (int i = 0; i < line_slots_per_segment; i++) seg(k)[i].last_picked_tick = -1000000;
  }
};

TEST_F(AutoPilotPick, EdgeCases) {
  const float far[3] = {5000, 0, 5000};
  const int32_t now = 128 * 100;
  struct Case {
    const char* name;
    std::vector<int> used;
    std::vector<std::pair<int, int32_t>> picked_ago;  // slot, ticks ago
    float frame[3];
    int winner;
  };
  std::vector<std::pair<int, int32_t>> every_slot_just_now;
  for (int j = 0; j < line_slots_per_segment; j++) every_slot_just_now.push_back({j, 0});
  const Case cases[] = {
      // Far from every line and nothing picked lately: equal values, the
      // lowest slot.
      {"equal values", {2, 5, 7}, {{0, 0}, {1, 0}}, {5000, 0, 5000}, 2},
      {"all 0", {0, 1, 2}, every_slot_just_now, {5000, 0, 5000}, 0},
      // Picked 1.5 s ago counts half; 3 s ago counts whole.
      {"picked under 3 s ago", {0, 1}, {{0, 192}}, {5000, 0, 5000}, 1},
      {"picked 3 s ago", {0, 1}, {{0, 384}}, {5000, 0, 5000}, 0},
      // Near the start of slot 3's line: its match wins.
      {"near a start", {0, 3}, {}, {0, 0, 31}, 3},
      // Empty slots compete too: with equal values the lowest slot wins,
      // and once picked it is out of the running for 3 s.
      {"empty slot 0 with equal values", {4}, {}, {5000, 0, 5000}, 0},
      {"empty slots picked just now", {4}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {5000, 0, 5000}, 4},
  };
  (void)far;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    robot_fixture_route({0, 1}, {2, 3});
    lines_at(1, c.used);
    never_picked(1);
    for (auto [slot, ago] : c.picked_ago) seg(1)[slot].last_picked_tick = now - ago;
    const auto_pilot_pick p = auto_pilot_pick_line(1, 0, now, c.frame, nullptr, 0);
    EXPECT_EQ(p.slot, c.winner);
    EXPECT_EQ(seg(1)[c.winner].last_picked_tick, now);
  }
}

TEST_F(AutoPilotPick, EmptySegmentPicksNothingAndStampsNothing) {
  lines_at(2, {0});
  never_picked(1);
  const float frame[3] = {0, 0, 0};
  EXPECT_EQ(auto_pilot_pick_line(1, 0, 500, frame, nullptr, 0).slot, -1);
  for (int i = 0; i < line_slots_per_segment; i++) EXPECT_EQ(seg(1)[i].last_picked_tick, -1000000);
}

TEST_F(AutoPilotPick, LinesEndingWithin3FeetShareThePickTick) {
  // 0 and 1 end 2.9 ft apart, 2 ends 3.1 ft away, 3 far off.
  robot_fixture_line(&seg(1)[0], robot_fixture_run(0, 0, 50, 0, 6));
  robot_fixture_line(&seg(1)[1], robot_fixture_run(0, 5, 50, 2.9f, 6));
  robot_fixture_line(&seg(1)[2], robot_fixture_run(0, 9, 50, -3.1f, 6));
  robot_fixture_line(&seg(1)[3], robot_fixture_run(0, 20, 50, 40, 6));
  never_picked(1);
  const float frame[3] = {0, 0, -1};
  ASSERT_EQ(auto_pilot_pick_line(1, 0, 777, frame, nullptr, 0).slot, 0);
  EXPECT_EQ(seg(1)[0].last_picked_tick, 777);
  EXPECT_EQ(seg(1)[1].last_picked_tick, 777);
  EXPECT_EQ(seg(1)[2].last_picked_tick, -1000000);
  EXPECT_EQ(seg(1)[3].last_picked_tick, -1000000);
}

// Scores come from the live chain costs over the next eight segments: the
// cheapest chain's start scores 1, a dearer one B / X; the stored best path
// gains toward 1 after 40 s of race; the first segment's scores are
// squeezed into 0.8..1.
TEST_F(AutoPilotPick, ScoresFollowTheChainCostsAndTheRouteBonus) {
  // Every segment: slot 0 a tested line of 100 ticks, slot 1 one of 200,
  // all on one straight so every line hands over to every next one.
  for (int k = 0; k < 4; k++) {
    robot_fixture_line(&seg(k)[0], robot_fixture_run(0, 0, 90, 0, 10), 200, 10, 10 * 100);
    robot_fixture_line(&seg(k)[1], robot_fixture_run(0, 0.5f, 90, 0.5f, 10), 400, 10, 10 * 200);
  }
  const float frame[3] = {5000, 0, 5000};  // far: no match
  struct Case {
    const char* name;
    int32_t segment, now;
    int32_t best_path_slot;  // -1: none stored
    float score1;            // slot 1's score; slot 0's is 1 (0.8 + 0.2 on segment 0)
  };
  // From segment 1 the chains cost 100 + 7 x 100 and 200 + 7 x 100.
  const float ratio = 800.0f / 900.0f;
  const Case cases[] = {
      {"costs", 1, 128 * 30, -1, ratio},
      {"best path before 40 s", 1, 128 * 40, 1, ratio},
      {"best path at 50 s", 1, 128 * 50, 1, ratio + 0.5f * (1 - ratio)},
      {"best path from 60 s", 1, 128 * 70, 1, 1},
      {"first segment", 0, 128 * 30, -1, 0.8f + 0.2f * ratio},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int k = 0; k < 4; k++) never_picked(k);
    std::memset(route.best_paths, 0, sizeof(int32_t) * 3 * 4);
    if (c.best_path_slot >= 0) route.best_paths[2 * 4 + c.segment] = seg(c.segment)[c.best_path_slot].unique_id;
    // Slot 0 picked a moment ago counts for nothing: slot 1 wins and shows
    // its score.
    seg(c.segment)[0].last_picked_tick = c.now;
    const auto_pilot_pick p = auto_pilot_pick_line(c.segment, 2, c.now, frame, nullptr, 0);
    ASSERT_EQ(p.slot, 1);
    EXPECT_NEAR(p.score, c.score1, 1e-5);
    EXPECT_EQ(p.match, 0);
  }
}

// The match with the followed line's end: a line that carries on the
// followed line's curve at its speed beats a nearer one that does not.
TEST_F(AutoPilotPick, TheMatchPrefersALineCarryingOnTheCurve) {
  // Followed: an arc of radius 50 about the origin from 0 to 40 degrees.
  const std::vector<line_sample> followed = robot_fixture_arc(50, 0, 40, 5, 30);
  // Slot 0 leaves the circle (radius 60), slot 1 carries on along it, slot
  // 2 carries on at a speed 20 ft/s slower than the end's (a = 0), slot 3
  // has one sample.
  robot_fixture_line(&seg(1)[0], robot_fixture_arc(60, 45, 90, 6, 30));
  robot_fixture_line(&seg(1)[1], robot_fixture_arc(50, 45, 90, 6, 30));
  robot_fixture_line(&seg(1)[2], robot_fixture_arc(50, 45, 90, 6, 10));
  robot_fixture_line(&seg(1)[3], {{(float)(50 * std::cos(M_PI / 4)), 0, (float)(50 * std::sin(M_PI / 4)), 30, 0}});
  for (int j = 0; j < line_slots_per_segment; j++) seg(1)[j].last_picked_tick = 1000;  // score counts 0
  const float frame[3] = {0, 0, 0};
  const auto_pilot_pick p = auto_pilot_pick_line(1, 0, 1000, frame, followed.data(), (int32_t)followed.size());
  EXPECT_EQ(p.slot, 1);
  EXPECT_NEAR(p.match, 1.0f, 1e-3);
  // With a two-sample followed line the match is by distance from the bike.
  const float near_start[3] = {(float)(50 * std::cos(M_PI / 4)) + 4, 0, (float)(50 * std::sin(M_PI / 4))};
  for (int j = 0; j < line_slots_per_segment; j++) seg(1)[j].last_picked_tick = 2000;
  const auto_pilot_pick q = auto_pilot_pick_line(1, 0, 2000, near_start, followed.data(), 2);
  EXPECT_EQ(q.slot, 1);
  EXPECT_NEAR(q.match, 10.0f, 1e-3) << "4 ft from the start: full match";
}

TEST_F(AutoPilotPick, TheDebugLineNamesThePick) {
  test_log_begin();
  game_state.debug_level = 1;
  lines_at(1, {0, 1});
  never_picked(1);
  seg(1)[0].last_picked_tick = 128 * 10 - 192;
  seg(1)[1].last_picked_tick = 0;
  const float frame[3] = {5000, 0, 5000};
  ASSERT_EQ(auto_pilot_pick_line(1, 0, 128 * 10, frame, nullptr, 0).slot, 1);
  const std::string text = test_log_text();
  test_log_end();
  EXPECT_NE(text.find("auto pilot: picking 1 score = 1.000000 match = 0.000000 last_picked = 10"),
            std::string::npos)
      << text;
}

// ---- the route variant ----

TEST(AutoPilotVariant, LeadOverTheSecondPicksTheSecondVariant) {
  rider_table_init();
  rider* me = &rider_table[3];
  me->slot = 3;
  growable_array_init(&me->timing_ticks, sizeof(int32_t), 8);
  const int32_t ticks[] = {100, 900, 2000};
  for (int32_t t : ticks) growable_array_append(&me->timing_ticks, &t);
  me->timing_count = 3;
  me->robot.personality = 2;  // variants 2 and 1, threshold 10 s
  struct Case {
    const char* name;
    int32_t count;
    int32_t first_slot, second_crossings, second_tick;
    int variant;
  };
  const Case cases[] = {
      {"empty running order", 0, 3, 0, 0, 2},
      {"alone", 1, 3, 0, 0, 2},
      {"second", 2, 7, 2, 950, 2},
      {"lead of 5 s", 2, 3, 2, 900 + 640, 2},
      {"lead of 10 s", 2, 3, 2, 900 + 1280, 2},
      {"lead of 10 s and a tick", 2, 3, 2, 900 + 1281, 1},
      {"the second has not crossed", 2, 3, 0, 0, 2},
      {"behind at that crossing", 2, 3, 2, 800, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    running_order_clear();
    running_order.count = c.count;
    running_order.entries[0] = {c.first_slot, 3, 2000};
    running_order.entries[1] = {c.first_slot == 3 ? 7 : 3, c.second_crossings, c.second_tick};
    EXPECT_EQ(auto_pilot_route_variant(me), c.variant);
  }
  running_order_clear();
  growable_array_free(&me->timing_ticks);
}

// ---- the start ----

// Walks the start tick by tick: before the 5-second mark the robot waits
// then revs in turns, holds at 0.125..0.5 s past it, revs from then to the
// drop plus its reaction time, launches over 2 s and then drives.
TEST(AutoPilotStart, StatesUnderASeededGenerator) {
  const float dt = 1.0f / 128, g = 14.0f, five = 5.0f, w1 = 0.2f, w2 = 0.4f;
  for (uint32_t seed : {1u, 77u, 5489u}) {
    SCOPED_TRACE(seed);
    random_seed(seed);
    float launch = 0;
    struct Run {
      int phase;
      float throttle, from, to;
    };
    std::vector<Run> runs;
    for (int tick = 0; tick < 128 * 20; tick++) {
      const float t = tick * dt;
      const auto_pilot_start_step s = auto_pilot_start_state(t, g, five, &launch, w1, w2);
      if (tick == 0) {
        EXPECT_TRUE(launch > 0 && launch < 2) << launch;
      }
      if (runs.empty() || runs.back().phase != s.phase || runs.back().throttle != s.throttle)
        runs.push_back({s.phase, s.throttle, t, t});
      runs.back().to = t;
      if (s.phase == auto_pilot_start_launch) {
        EXPECT_NEAR(s.x, (t - launch) * 4, 1e-4);
      }
    }
    ASSERT_GE(runs.size(), 5u);
    size_t i = 0;
    // Before 5 s: waiting (throttle 0) and revving (throttle 1) in turns,
    // revving 0.25..0.75 s, waiting 2..2.5 s after the first.
    for (; runs[i].to < five; i++) {
      ASSERT_EQ(runs[i].phase, auto_pilot_start_hold);
      EXPECT_EQ(runs[i].throttle, (float)(i % 2)) << i;
      const float span = runs[i].to - runs[i].from + dt;
      if (runs[i].throttle == 1) {
        EXPECT_TRUE(span >= 0.25f && span <= 0.75f + 2 * dt) << span;
      }
      if (i > 0 && runs[i].throttle == 0 && runs[i + 1].from < five) {
        EXPECT_TRUE(span >= 2 && span <= 2.5f + 2 * dt) << span;
      }
    }
    // The 5-second mark falls in a throttle-0 hold that lasts to 5.125..5.5.
    const Run& settle = runs[i];
    EXPECT_EQ(settle.throttle, 0);
    EXPECT_GE(settle.to + dt, five + 0.125f);
    EXPECT_LE(settle.to, five + 0.5f + dt);
    const Run& rev = runs[i + 1];
    EXPECT_EQ(rev.phase, auto_pilot_start_hold);
    EXPECT_EQ(rev.throttle, 1);
    const Run& go = runs[i + 2];
    EXPECT_EQ(go.phase, auto_pilot_start_launch);
    EXPECT_GE(go.from, g + w1 - dt);
    EXPECT_LE(go.from, g + w2 + dt);
    EXPECT_NEAR(go.to - go.from, 2, 2 * dt);
    EXPECT_EQ(runs[i + 3].phase, auto_pilot_start_drive);
    EXPECT_EQ(runs.size(), i + 4);
  }
  // The same seed gives the same launch time.
  float a = 0, b = 0;
  random_seed(9);
  for (int tick = 0; tick < 128 * 15; tick++) auto_pilot_start_state(tick / 128.0f, g, five, &a, w1, w2);
  random_seed(9);
  for (int tick = 0; tick < 128 * 15; tick++) auto_pilot_start_state(tick / 128.0f, g, five, &b, w1, w2);
  EXPECT_EQ(a, b);
}

TEST(AutoPilotStart, EdgeStates) {
  struct Case {
    const char* name;
    float t, g, launch;
    int phase;
    float throttle;
  };
  const Case cases[] = {
      // Five seconds after the drop the robot drives, whatever its launch.
      {"drop + 5", 19, 14, 18.9f, auto_pilot_start_drive, 0},
      // A drop within the settle time: the hold time is the launch time.
      {"drop at once", 5.2f, 5.1f, 5.3f, auto_pilot_start_hold, 1},
      {"launch under way", 15, 14, 14.5f, auto_pilot_start_launch, 1},
      {"launch over", 16.6f, 14, 14.5f, auto_pilot_start_drive, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    float launch = c.launch;
    const auto_pilot_start_step s = auto_pilot_start_state(c.t, c.g, 5, &launch, 0.2f, 0.4f);
    EXPECT_EQ(s.phase, c.phase);
    EXPECT_EQ(s.throttle, c.throttle);
    EXPECT_EQ(launch, c.launch) << "no redraw";
  }
}

// ---- the tick on a rider ----

class AutoPilotTick : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    robot_fixture_route({0, 1}, {2, 3});
    std::memset(&race_clock, 0, sizeof race_clock);
    race_clock.five_second_ticks = 640;
    race_clock.gate_drop_tick = 128 * 14;
    running_order_clear();
    r = test_rider_place("cr125", 0, 128, 60);
    ASSERT_NE(r, nullptr);
    rider_slots[0] = r;
    rider_slot_kind[0] = RIDER_ROBOT;
    r->robot.personality = 1;
    random_seed(3);
  }
  void TearDown() override {
    rider_slots[0] = nullptr;
    robot_fixture_route_free();
    test_track_close();
  }
  rider* r = nullptr;
};

TEST_F(AutoPilotTick, WithAnEmptyLibraryTheRobotHoldsOnTheBrakes) {
  for (int t = 0; t < 128 * 20; t += 64) {
    race_clock.current_tick = t;
    auto_pilot_tick(r);
    EXPECT_EQ(r->followed_line.count, 0u);
    EXPECT_EQ(r->front_brake, 1);
    EXPECT_EQ(r->rear_brake, 1);
    EXPECT_EQ(r->throttle, 0);
    EXPECT_EQ(r->steer, 0);
  }
}

TEST_F(AutoPilotTick, TheFirstPickStartsPastTheFirstTenFeet) {
  // The bike faces -z (its forward); the line leaves from just ahead of it.
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const float x = (float)p[0], z = (float)p[2];
  std::vector<line_sample> run = robot_fixture_run(x, z - 2, x, z - 2 - 8 * 4, 9, 30);
  for (line_sample& s : run) s.y = (float)p[1];
  robot_fixture_line(&library_segment_slots(0)[0], run);
  race_clock.current_tick = 0;
  auto_pilot_tick(r);
  ASSERT_EQ(r->followed_line.count, 5u + 9u);
  EXPECT_EQ(r->robot.pick_segment, 1);
  EXPECT_EQ(r->robot.picked_line_ids[0], library_segment_slots(0)[0].unique_id);
  // Samples 5.. are 4 ft apart from sample 0: the first beyond 10 ft is 8.
  EXPECT_EQ(r->robot.cursor, 8);
  EXPECT_EQ(r->robot.last_advance_tick, 3840);
  EXPECT_EQ(library_segment_slots(0)[0].last_picked_tick, 0);
  // Holding at the line with the assists on and automatic shifting off.
  EXPECT_EQ(r->front_brake, 1);
  EXPECT_EQ(r->clutch, 0);
  EXPECT_EQ(rider_get_stop_wheelies(r), 3);
  EXPECT_EQ(rider_get_front_antilock(r), 1);
  EXPECT_EQ(rider_get_rear_antilock(r), 1);
  EXPECT_EQ(rider_get_auto_shift(r), 0);
}

TEST_F(AutoPilotTick, NoPersonalityNoAutoPilot) {
  r->robot.personality = 0;
  const int wheelies = rider_get_stop_wheelies(r);
  robot_fixture_line(&library_segment_slots(0)[0], robot_fixture_run(128, 58, 128, 20, 9, 30));
  auto_pilot_tick(r);
  EXPECT_EQ(r->followed_line.count, 0u);
  EXPECT_EQ(rider_get_stop_wheelies(r), wheelies);
}

}  // namespace
