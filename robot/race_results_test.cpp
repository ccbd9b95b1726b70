// Whole races on the sample track through race reset, the tick, the
// crossing search, the results and their writers, with riders carried
// from gate to gate at a steady pace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "core/file.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/gate_timing.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/series.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "bike/rider_build.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

// Four minutes of race time: far more than the races here need.
constexpr int32_t tick_budget = 128 * 240;

struct RaceResults : ::testing::Test {
  void SetUp() override {
    race_test_open();
    net_values_reset();
    results_clear();
    results_install_hooks();
    tick_install_hooks();
    robot_install_hooks();
    search_roots_free();
    home = search_root(0);
    fs::create_directories(home);
    fs::remove(home + "results.txt");
    for (int& c : line_up) c = line_up_empty;
  }
  void TearDown() override {
    fs::remove(home + "results.txt");
    free_series_table();
    race_test_close();
  }
  void start(int riders, int minutes, int laps) {
    for (int i = 0; i < riders; i++) line_up[i] = line_up_robot;
    ASSERT_EQ(reset_session(line_up, 0, 0, minutes * 60 * 128, laps, 0), 1);
    ASSERT_GT(route.gate_count, 0);
  }
  // One tick. After the drop each rider is carried to just past the centre
  // of its next gate every `period` + slot x `spread` ticks, standing clear
  // of the ground: the race's riders keep a steady pace and order, and the
  // crossing search finds them at their gates.
  void tick() {
    const int32_t since = race_clock.current_tick - race_clock.gate_drop_tick;
    for (int slot = 0; since > 0 && slot < RIDER_SLOT_COUNT; slot++) {
      rider* r = rider_slots[slot];
      if (!r || r->finished || since % (period + slot * spread)) continue;
      const int gate = crossing_gate(rider_next_timing_index(r));
      ASSERT_GE(gate, 0);
      const checkpoint& g = checkpoints[gate];
      const double length = std::hypot(g.dx, g.dz);
      const float x = (float)(g.x + g.dx / length * 2), z = (float)(g.z + g.dz / length * 2);
      const float y = terrain_height(&track_field, x, z) + 3;
      const dReal* p = dBodyGetPosition(rider_frame_body(r));
      rider_translate(r, x - (float)p[0], y - (float)p[1], z - (float)p[2]);
    }
    simulation_tick();
  }
  int period = 128;
  int spread = 4;
  // Ticks until the results are final; the file must not appear before.
  void race_to_the_end() {
    for (int32_t t = 0; t < tick_budget && !results_finished; t++) {
      tick();
      if (!results_finished) {
        ASSERT_FALSE(fs::exists(home + "results.txt")) << "tick " << race_clock.current_tick;
      }
    }
    ASSERT_EQ(results_finished, 1) << "no final results in " << tick_budget << " ticks";
  }
  int32_t lap_end_tick(int slot, int32_t lap) {
    return rider_timing_tick(rider_slots[slot], lap_end_crossing(lap));
  }
  std::vector<std::string> file_lines() {
    std::vector<std::string> lines;
    std::istringstream in(test_read_file(home + "results.txt"));
    std::string line;
    while (std::getline(in, line)) {
      EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR: " << line;
      if (!line.empty()) line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  int line_up[RIDER_SLOT_COUNT];
  std::string home;
};

TEST_F(RaceResults, FourRidersTwoLaps) {
  start(4, 0, 2);
  const int32_t f = route.first_lap_gates, n = route.normal_lap_gates;
  race_to_the_end();
  // Final on the tick the last rider crossed the line (the clock has since
  // moved on by one).
  int32_t last = -1;
  for (int slot = 0; slot < 4; slot++) {
    const rider* r = rider_slots[slot];
    last = std::max(last, rider_timing_tick(r, rider_next_timing_index(r) - 1));
  }
  EXPECT_EQ(last, race_clock.current_tick - 1);
  for (int slot = 0; slot < 4; slot++) {
    EXPECT_EQ(rider_slots[slot]->finished, 1) << slot;
    EXPECT_EQ(rider_next_timing_index(rider_slots[slot]), f + n) << "nobody lapped, nobody cut: slot " << slot;
  }
  const std::string written = test_read_file(home + "results.txt");
  // Written once: the results are final and stay so.
  for (int t = 0; t < 256; t++) tick();
  EXPECT_EQ(test_read_file(home + "results.txt"), written);

  const std::vector<std::string> lines = file_lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0].rfind("Time=0.00|Laps=2|Track=quarrybend|Date=", 0), 0u) << lines[0];
  ASSERT_EQ(results_list.count, 4);
  for (int i = 0; i < 4; i++) {
    const rider* r = rider_slots[results_list.entries[i].slot];
    char head[16];
    std::snprintf(head, sizeof head, "%4s | ", rider_number_text(r));
    EXPECT_EQ(lines[2 + i].rfind(head, 0), 0u) << "place " << i << ": " << lines[2 + i];
    EXPECT_NE(lines[2 + i].find(" |    2 | "), std::string::npos) << lines[2 + i];
    if (i > 0) {
      EXPECT_LE(results_list.entries[i - 1].last_tick, results_list.entries[i].last_tick);
    }
  }
  // Each block: an empty line, the count, the first crossing alone (the
  // end of lap 0), then one line per lap.
  ASSERT_GT(f, 1);
  size_t at = 6;
  for (int i = 0; i < 4; i++) {
    ASSERT_LT(at + 4, lines.size() + 1);
    EXPECT_EQ(lines[at], "");
    EXPECT_EQ(lines[at + 1], std::to_string(f + n));
    EXPECT_EQ(lines[at + 2].size(), 8u) << "one crossing: " << lines[at + 2];
    at += 5;
  }
  EXPECT_EQ(at, lines.size());
}

TEST_F(RaceResults, TimedRaceFinishesOnTheLapAfterTheTime) {
  spread = 2;
  start(4, 1, 1);
  race_to_the_end();
  const int32_t time_up = race_clock.gate_drop_tick + 128 * 60;
  // The first lap any rider completed at or after the time.
  int32_t g = 1;
  for (;; g++) {
    int32_t earliest = -1;
    for (int slot = 0; slot < 4; slot++) {
      const int32_t t = lap_end_tick(slot, g);
      if (t != -1 && (earliest < 0 || t < earliest)) earliest = t;
    }
    ASSERT_NE(earliest, -1) << "no rider completed lap " << g;
    if (earliest >= time_up) break;
  }
  EXPECT_EQ(race_clock.finish_lap, g + 1);
  // The leader's finish, and everyone else's at its next lap line after it.
  const int leader = results_list.entries[0].slot;
  const int32_t leader_finish = lap_end_tick(leader, race_clock.finish_lap);
  ASSERT_NE(leader_finish, -1);
  for (int slot = 0; slot < 4; slot++) {
    const rider* r = rider_slots[slot];
    const int32_t laps = laps_completed(rider_next_timing_index(r));
    EXPECT_EQ(r->finished, 1) << slot;
    EXPECT_GE(lap_end_tick(slot, laps), leader_finish) << slot;
    if (slot != leader) {
      EXPECT_LT(lap_end_tick(slot, laps - 1), leader_finish) << "slot " << slot << " rode a lap too many";
    }
  }
}

TEST_F(RaceResults, SeriesEventAddsAStandingsLine) {
  if (!track_folders) scan_tracks();
  build_series_table();
  ASSERT_GE(series_table.count, 1);
  int which = -1;
  for (int i = 0; i < series_table.count; i++)
    if (!std::strcmp(series_table.records[i].file_name, "quarrybend_cup.series")) which = i;
  ASSERT_GE(which, 0);
  series_record* s = &series_table.records[which];
  const std::string standings = home + s->file_name + "_standings";
  fs::remove(standings);
  s->events_done = 0;
  const int p = s->rider_count;
  // The first event's line-up: the robots by race number, then the player.
  for (int k = 0; k < p; k++) line_up[k] = line_up_numbered + s->riders[k];
  line_up[p] = line_up_local;
  const series_event* ev = &s->events[0];
  ASSERT_EQ(reset_session(line_up, 0, 0, ev->params[0] * 60 * 128, ev->params[1], s->skill), 1);
  series_table.current_series = which;
  series_table.current_event = 0;
  race_to_the_end();
  EXPECT_EQ(s->events_done, 1);
  EXPECT_EQ(series_table.current_series, -1);
  const std::string text = test_read_file(standings);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_EQ(std::count(text.begin(), text.end(), ' '), p + 1) << text;
  std::vector<int> positions(s->events[0].positions, s->events[0].positions + p + 1);
  std::vector<int> ranks(s->events[0].ranks, s->events[0].ranks + p + 1);
  std::vector<int> sorted = positions;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i <= p; i++) EXPECT_EQ(sorted[i], i) << "every rider raced and has its own place";

  // A restart reads it back: one event done, the same places and ranks.
  free_series_table();
  build_series_table();
  s = &series_table.records[which];
  EXPECT_EQ(s->events_done, 1);
  EXPECT_EQ(std::vector<int>(s->events[0].positions, s->events[0].positions + p + 1), positions);
  EXPECT_EQ(std::vector<int>(s->events[0].ranks, s->events[0].ranks + p + 1), ranks);
  fs::remove(standings);
}

}  // namespace
