#include "race/hud_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/race_clock.h"

namespace {

TEST(DrawRaceLength, LapsMinutesAndBoth) {
  const race_clock_state saved = race_clock;
  struct {
    int32_t ticks, laps;
    const char* text;
  } cases[] = {
      {0, 5, "5 laps"},
      {-10, 3, "3 laps"},
      {150 * 128, 2, "3 minutes + 2 laps"},  // 2.5 minutes go up to 3
      {10 * 60 * 128, 0, "10 minutes"},
      {89 * 128, 0, "1 minutes"},
  };
  for (const auto& c : cases) {
    race_clock.race_length_ticks = c.ticks;
    race_clock.race_laps = c.laps;
    char text[64];
    draw_race_length(text, sizeof text);
    EXPECT_EQ(std::string(text), c.text) << c.ticks << " " << c.laps;
  }
  race_clock.race_length_ticks = 150 * 128;
  race_clock.race_laps = 2;
  char small[6];
  draw_race_length(small, sizeof small);
  EXPECT_EQ(std::string(small), "3 min") << "cut to the buffer, ended";
  race_clock = saved;
}

TEST(HudMath, NeedleGearCellCaptionAndArc) {
  EXPECT_NEAR(tach_needle_degrees(0), -135, 1e-3);
  EXPECT_NEAR(tach_needle_degrees(8000), 0, 1e-3);
  EXPECT_NEAR(tach_needle_degrees(16000), 135, 1e-3);

  struct {
    int gear;
    float u0, v0;
  } cells[] = {{0, 0, 0}, {1, 1 / 3.0f, 0}, {2, 2 / 3.0f, 0}, {3, 0, 1 / 3.0f}, {5, 2 / 3.0f, 1 / 3.0f},
               {8, 2 / 3.0f, 2 / 3.0f}, {9, 0, 0}};
  for (const auto& c : cells) {
    float cell[4];
    gear_cell(c.gear, cell);
    EXPECT_FLOAT_EQ(cell[0], c.u0) << c.gear;
    EXPECT_FLOAT_EQ(cell[1], c.v0) << c.gear;
    EXPECT_FLOAT_EQ(cell[2] - cell[0], 1 / 3.0f) << c.gear;
  }
  float cell[4];
  gear_cell(-1, cell);
  EXPECT_GE(cell[0], 0);
  EXPECT_LE(cell[2], 1.0f);

  EXPECT_FLOAT_EQ(start_caption_alpha(0), 1);
  EXPECT_FLOAT_EQ(start_caption_alpha(256), 1);
  EXPECT_FLOAT_EQ(start_caption_alpha(320), 0.5f);
  EXPECT_FLOAT_EQ(start_caption_alpha(384), 0);
  EXPECT_FLOAT_EQ(start_caption_alpha(10000), 0);

  EXPECT_EQ(gauge_arc_steps(0, 3.14159265f / 2), 17);  // trunc(15.5) + 2
  EXPECT_EQ(gauge_arc_steps(1, -1), 21);              // trunc(19.7) + 2
  EXPECT_EQ(gauge_arc_steps(0.5f, 0.5f), 2);
  EXPECT_EQ(gauge_arc_steps(NAN, 1), 0);
  EXPECT_EQ(gauge_arc_steps(0, INFINITY), 0);
  EXPECT_EQ(gauge_arc_steps(0, 1e30f), 4098);
}

TEST(PitBoardGap, LeaderPositiveOthersNegativeMissingZero) {
  const int32_t leader[] = {100, 228, 356};
  const int32_t second[] = {120, 250};
  const int32_t none[] = {0};
  const int32_t missing[] = {-1, -1};
  EXPECT_NEAR(pit_board_gap({leader, 3}, {second, 2}), 22 / 128.0, 1e-9) << "at their common crossing";
  EXPECT_NEAR(pit_board_gap({second, 2}, {leader, 3}), -22 / 128.0, 1e-9);
  EXPECT_EQ(pit_board_gap({leader, 3}, {none, 0}), 0) << "no crossings: common index -1";
  EXPECT_EQ(pit_board_gap({leader, 3}, {missing, 2}), 0);
  EXPECT_EQ(pit_board_gap({nullptr, 0}, {nullptr, 0}), 0);
  char text[16];
  std::snprintf(text, sizeof text, "%+.1f ", pit_board_gap({leader, 3}, {nullptr, 0}));
  EXPECT_EQ(std::string(text), "+0.0 ") << "one rider";
}

TEST(LappingStrip, ListedTooLateTooFarAheadAndNoLapGates) {
  // First lap 3 crossings, then 2 a lap. The viewed rider has made 5
  // crossings; the other 7 (one lap ahead) and passed the viewed rider's
  // last gate (index 4) at tick 1000, just after it did at 900.
  const int32_t viewed[] = {100, 300, 500, 700, 900};
  int32_t other[] = {50, 150, 250, 350, 450, 800, 1000};
  EXPECT_TRUE(lapping_listed({viewed, 5}, {other, 7}, 2, 3, 2));
  EXPECT_FALSE(lapping_listed({viewed, 5}, {other, 7}, 1, 3, 2)) << "alone";
  EXPECT_FALSE(lapping_listed({viewed, 5}, {other, 7}, 2, 3, 0)) << "no normal-lap gates";
  EXPECT_FALSE(lapping_listed({viewed, 2}, {other, 7}, 2, 3, 2)) << "still on the first lap";
  EXPECT_FALSE(lapping_listed({viewed, 5}, {other, 5}, 2, 3, 2)) << "not ahead";
  other[6] = 900 + 3 * 128 + 1;
  EXPECT_FALSE(lapping_listed({viewed, 5}, {other, 7}, 2, 3, 2)) << "passed more than 3 s later";
  other[6] = 899;
  EXPECT_FALSE(lapping_listed({viewed, 5}, {other, 7}, 2, 3, 2)) << "before the viewed rider";
  // Two laps ahead: the gate is the viewed rider's crossing 4, and its own
  // last crossing may come at most 15 s after it.
  int32_t slow[] = {100, 300, 500, 700, 900, 900 + 15 * 128};
  const int32_t ahead[] = {50, 150, 250, 350, 450, 600, 700, 800, 1000};
  EXPECT_TRUE(lapping_listed({slow, 6}, {ahead, 9}, 2, 3, 2));
  slow[5]++;
  EXPECT_FALSE(lapping_listed({slow, 6}, {ahead, 9}, 2, 3, 2)) << "too late";
  // A large count gap with a small first lap gives an index below 0.
  int32_t far[40];
  for (int i = 0; i < 40; i++) far[i] = 10 * (i + 1);
  const int32_t early[] = {5};
  EXPECT_FALSE(lapping_listed({early, 1}, {far, 40}, 2, 0, 50));
}

}  // namespace
