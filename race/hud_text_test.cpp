#include "race/hud_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/model_settings.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/bike_setup.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/test_support_results.h"

namespace {

// Three crossings make lap 1 and two each later lap.
struct HudText : ::testing::Test {
  void SetUp() override {
    results_test_open(3, 2);
    time_trial = 0;
  }
  void TearDown() override {
    time_trial = 0;
    results_test_close();
  }
  static void add_crossings(rider* r, std::initializer_list<int32_t> ticks) {
    for (int32_t t : ticks) rider_set_timing_tick(r, r->timing_count++, t);
  }
  static pit_board_text board(int slot) {
    finish_results();
    pit_board_text t;
    pit_board_fill(slot, &t);
    return t;
  }
};

TEST_F(HudText, PitBoardLapsAndBestFromLapTwo) {
  rider* r = results_test_rider(0, RIDER_ROBOT, "7", {128, 256, 384});
  pit_board_text t = board(0);
  EXPECT_STREQ(t.number, "7");
  EXPECT_STREQ(t.place, "L2 P1");
  EXPECT_STREQ(t.gap, "+0.0 ") << "one rider";
  EXPECT_STREQ(t.last, "") << "lap 1 is never shown";
  EXPECT_STREQ(t.best, "");

  add_crossings(r, {640, 832});  // lap 2: 3.5 s
  t = board(0);
  EXPECT_STREQ(t.place, "L3 P1");
  EXPECT_STREQ(t.last, "Last - 0:03.5 ");
  EXPECT_STREQ(t.best, "Best - 0:03.5");

  add_crossings(r, {1200, 1600});  // lap 3: 6 s, slower
  t = board(0);
  EXPECT_STREQ(t.last, "Last - 0:06.0 ");
  EXPECT_STREQ(t.best, "Best - 0:03.5");

  // Over a minute: minutes, seconds and tenths.
  add_crossings(r, {5000, 1600 + 128 * 65 + 64});
  t = board(0);
  EXPECT_STREQ(t.last, "Last - 1:05.5 ");

  time_trial = 1;
  last_lap_ticks = 128 * 61 + 13;
  best_lap_ticks = 0;
  t = board(0);
  EXPECT_STREQ(t.place, "P1");
  EXPECT_STREQ(t.last, "Last - 1:01.1 ");
  EXPECT_STREQ(t.best, "") << "no best lap yet";

  pit_board_fill(5, &t);
  EXPECT_STREQ(t.number, "") << "an empty slot shows nothing";
}

TEST_F(HudText, PitBoardGapLeaderPositiveOthersNegative) {
  results_test_rider(0, RIDER_ROBOT, "1", {100, 200, 300});
  results_test_rider(1, RIDER_ROBOT, "2", {110, 220, 364});
  results_test_rider(2, RIDER_ROBOT, "3", {120, 250});
  results_test_rider(3, RIDER_ROBOT, "4", {});
  EXPECT_STREQ(board(0).gap, "+0.5 ") << "leader: ahead of the second";
  EXPECT_STREQ(board(1).gap, "-0.5 ") << "second: behind the leader";
  EXPECT_STREQ(board(2).gap, "-0.2 ") << "third, at their common crossing";
  EXPECT_STREQ(board(3).gap, "+0.0 ") << "no crossing: no gap";
  EXPECT_STREQ(board(2).place, "L1 P3");
}

TEST_F(HudText, InfoBoardUnofficialThenFinalRows) {
  info_board_text b;
  results_test_rider(0, RIDER_ROBOT, "7", {128, 256, 384, 640, 896});
  results_test_rider(1, RIDER_ROBOT, "12", {130, 260, 390, 660, 920});
  finish_results();
  info_board_fill(&b);
  EXPECT_EQ(b.shown, 0) << "nobody has finished";

  // Lap 3 (crossing 7) finishes the race.
  add_crossings(rider_slots[0], {1152, 1408});
  finish_results();
  info_board_fill(&b);
  ASSERT_EQ(b.shown, 1);
  EXPECT_EQ(b.final, 0) << "the second robot still races";
  ASSERT_EQ(b.row_count, 1) << "only finished riders until final";
  EXPECT_STREQ(b.rows[0].number, "  7");
  EXPECT_STREQ(b.total, "");

  add_crossings(rider_slots[1], {1180, 1536});
  finish_results();
  info_board_fill(&b);
  ASSERT_EQ(b.final, 1);
  ASSERT_EQ(b.row_count, 2);
  const info_board_row& first = b.rows[0];
  const info_board_row& second = b.rows[1];
  EXPECT_EQ(first.slot, 0);
  EXPECT_STREQ(first.place, "1");
  EXPECT_STREQ(first.laps, "L3");
  EXPECT_STREQ(first.gap, "  0.000");
  EXPECT_STREQ(first.best, "0:04.000");
  EXPECT_STREQ(first.best_lap, "(2)");
  EXPECT_STREQ(second.place, "2");
  EXPECT_STREQ(second.number, " 12");
  EXPECT_STREQ(second.gap, "  1.000");
  EXPECT_STREQ(second.best, "0:04.140");  // 530 ticks, cut to the millisecond as results.txt does
  EXPECT_STREQ(b.total, "Total Race Time: 0:11.000");
  EXPECT_EQ(b.penalty_count, 0);
}

// A lapped rider can finish before the rider ahead of it in the order
// does: its gap is taken at the crossing both made, never negative.
TEST_F(HudText, InfoBoardGapOfALappedRider) {
  results_test_rider(0, RIDER_ROBOT, "7", {128, 256, 384, 512, 640, 768, 896})->finished = 1;
  results_test_rider(1, RIDER_ROBOT, "12", {150, 300, 450, 600, 750, 900, 1100})->finished = 1;
  results_test_rider(2, RIDER_ROBOT, "33", {190, 380, 570, 760, 950})->finished = 1;
  finish_results();
  info_board_text b;
  info_board_fill(&b);
  ASSERT_EQ(b.row_count, 3);
  EXPECT_STREQ(b.rows[1].gap, "  1.594") << "same laps: last crossings, 1100 against 896";
  EXPECT_STREQ(b.rows[2].number, " 33");
  EXPECT_STREQ(b.rows[2].gap, "  1.562") << "crossing 5: 950 against 750, not 950 against 1100";
}

TEST_F(HudText, InfoBoardPenaltyLine) {
  // The cutter loses two laps and half a best lap (400 ticks) of time.
  rider* field = results_test_rider(0, RIDER_ROBOT, "1", {1000, 2000, 3000, 4000, 5000, 6000, 7000});
  rider* cutter = results_test_rider(1, RIDER_ROBOT, "2", {1000, -1, 1128, 1528, 1928, 2400, 2800});
  field->finished = cutter->finished = 1;
  finish_results();
  info_board_text b;
  info_board_fill(&b);
  ASSERT_EQ(b.final, 1);
  ASSERT_EQ(b.penalty_count, 1);
  EXPECT_STREQ(b.penalties[0], "  2 penalized 2 laps 3.12 seconds for cutting track");
  EXPECT_STREQ(b.rows[1].laps, "L1");
}

TEST_F(HudText, StatusColumn) {
  const int saved[4] = {draw_fps, draw_time, draw_ping, draw_speed};
  draw_fps = draw_time = 1;
  draw_ping = draw_speed = 0;
  game_state.draw_render_stats = 0;
  bike_setup.sticky_dab = 0;
  char lines[info_board_status_max][hud_line_bytes];

  frame_loop.last_frame_seconds = 1.0 / 32;
  race_clock.gate_drop_tick = 640;
  race_clock.current_tick = 640 + 128 * 75 + 64;
  ASSERT_EQ(info_board_status(0, lines), 2);
  EXPECT_STREQ(lines[0], "FPS - 32");
  EXPECT_STREQ(lines[1], "Time - 1:15.5 ");
  EXPECT_EQ(frame_loop.last_frame_seconds, 0) << "read, then reset";
  race_clock.current_tick = 100;  // before the drop
  info_board_status(0, lines);
  EXPECT_STREQ(lines[0], "FPS - 0");
  EXPECT_STREQ(lines[1], "Time - 0:00.0 ");

  // Render statistics: this frame's counts and the maxima since the reset.
  draw_fps = draw_time = 0;
  render_stats_reset();
  draw_stats.triangles = 50;
  ASSERT_EQ(info_board_status(0, lines), 9);
  EXPECT_STREQ(lines[1], "Model polygons - 50 max=50");
  EXPECT_STREQ(lines[8], "Erode buffered - 0");
  draw_stats.triangles = 20;
  info_board_status(0, lines);
  EXPECT_STREQ(lines[1], "Model polygons - 20 max=50");
  render_stats_reset();
  info_board_status(0, lines);
  EXPECT_STREQ(lines[1], "Model polygons - 0 max=0");
  game_state.draw_render_stats = 0;

  // "Dabbing!" only with the sticky dab on and held.
  rider* r = results_test_rider(0, RIDER_LOCAL, "1", {});
  float input[9] = {};
  input[input_dab] = 1;
  apply_controls_reset();
  apply_controls(r, input);
  EXPECT_EQ(info_board_status(0, lines), 0) << "sticky dab off";
  bike_setup.sticky_dab = 1;
  apply_controls_reset();
  apply_controls(r, input);
  ASSERT_EQ(info_board_status(0, lines), 1);
  EXPECT_STREQ(lines[0], "Dabbing!");
  input[input_dab] = 0;
  apply_controls(r, input);
  input[input_dab] = 1;
  apply_controls(r, input);  // the second press lets go
  EXPECT_EQ(info_board_status(0, lines), 0);
  bike_setup.sticky_dab = 0;
  apply_controls_reset();

  draw_fps = saved[0], draw_time = saved[1], draw_ping = saved[2], draw_speed = saved[3];
}

}  // namespace
