#include "race/hud_math.h"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
