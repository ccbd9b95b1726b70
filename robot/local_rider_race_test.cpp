// A player's race on the sample track: the local rider, on the scripted
// pilot's hands through apply_controls, rides with robots from the grid
// under the race's own reset, tick and crossing search. Its gates, its lap
// and its place in the results must count as the robots' do.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "bike/rider_timing.h"
#include "core/file.h"
#include "core/race_clock.h"
#include "race/gate_timing.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/series.h"
#include "race/test_support_pilot.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "robot/route_planner.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

class LocalRiderRace : public ::testing::Test {
 protected:
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
    lines_skill = -1;
  }
  void TearDown() override {
    fs::remove(home + "results.txt");
    free_series_table();
    race_test_close();
    lines_skill = -1;
  }
  std::string home;
};

TEST_F(LocalRiderRace, EveryGateAndTheLapCountAndTheResultsListTheRider) {
  // The player on the second row behind three robots, as New Race lines
  // them up; one lap.
  int line_up[RIDER_SLOT_COUNT] = {};
  const int own = 9;
  for (int slot = 0; slot < 3; slot++) line_up[slot] = line_up_robot;
  line_up[own] = line_up_local;
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 1, 0), 1);
  ASSERT_GT(route.gate_count, 0);
  // The build's shipped novice lines for the robots, as the reset would
  // have read them from the data root.
  ASSERT_TRUE(route_has_library());
  line_library_clear();
  std::string refusal;
  ASSERT_EQ(lines_load_from(BK_GAMEDATA_DIR "/quarrybend/lines_novice", &refusal), 1) << refusal;
  line_library_prune();
  plan_auto_pilot_routes();
  line_library_reset_pick_ticks();
  pilot_reset();
  rider* r = rider_slots[own];
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(rider_slot_kind[own], RIDER_LOCAL);
  // The aids the menus' default bike setup gives a player's bike.
  rider_set_arcade(r, 1);
  rider_set_auto_shift(r, 1);
  rider_set_auto_dab(r, 1);
  rider_set_auto_align(r, 1);
  rider_set_front_antilock(r, 1);
  rider_set_stop_wheelies(r, 3);
  const int32_t laps_gates = route.first_lap_gates;
  for (int32_t t = 0; t < 128 * 240 && !results_finished; t++) {
    float in[9];
    pilot_input(r, in);
    apply_controls(r, in);
    simulation_tick();
  }
  EXPECT_GE(pilot_route_position(own), laps_gates) << "the pilot did not ride the whole lap";
  EXPECT_EQ(r->crash_count, 0);
  ASSERT_EQ(rider_next_timing_index(r), laps_gates);
  for (int32_t c = 0; c < laps_gates; c++) EXPECT_GE(rider_timing_tick(r, c), race_clock.gate_drop_tick) << "crossing " << c;
  EXPECT_EQ(r->finished, 1);
  EXPECT_GT(rider_lap_time(r, 1), 0.0f);
  ASSERT_EQ(results_finished, 1);
  const std::string written = test_read_file(home + "results.txt");
  char head[16];
  std::snprintf(head, sizeof head, "\n%4s | ", rider_number_text(r));
  const size_t at = written.find(head);
  ASSERT_NE(at, std::string::npos) << written;
  EXPECT_NE(written.find(" |    1 | ", at), std::string::npos) << written;
}

}  // namespace
