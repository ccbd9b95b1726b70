#include "race/race_reset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "assets/model.h"
#include "assets/texture.h"
#include "bike/bike_model.h"
#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "bike/rider_build.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/bike_setup.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/rider_look.h"
#include "race/test_support_race.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

class RaceReset : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    for (int& c : line_up) c = 0;
  }
  void TearDown() override { race_test_close(); }
  int reset(int length = 0, int laps = 3) { return reset_session(line_up, 0, 0, length, laps, 0); }
  int line_up[160];
};

// Cached models whose name begins with prefix.
int cached_models(const char* prefix) {
  int n = 0;
  for (size_t i = 0; i < model_cache.count; i++) {
    const model* m = ((model**)model_cache.data)[i];
    const char* name = m ? model_name(m) : nullptr;
    n += name && std::strncmp(name, prefix, std::strlen(prefix)) == 0;
  }
  return n;
}

int touches_ground(rider* r) {
  const int t = rider_collide_terrain(r);
  dJointGroupEmpty(contact_group);
  return t;
}

struct line_up_case {
  const char* what;
  std::vector<int> codes;  // from slot 0
  std::vector<int> kinds;  // expected kinds from slot 0 (-1: empty slot)
  int viewed;
};

TEST_F(RaceReset, LineUpCodesFillTheSlots) {
  const line_up_case cases[] = {
      {"all zero: one robot", {0, 0}, {2, -1}, 0},
      {"two locals: the first keeps it", {0, 1, 2, 1}, {-1, 0, 2, -1}, 1},
      {"robot then local: the local is viewed", {2, 0, 1}, {2, -1, 0}, 2},
      {"codes naming nobody are empty", {7, 999, -3, 5, 2}, {-1, -1, -1, -1, 2}, 4},
  };
  for (const line_up_case& c : cases) {
    for (int& v : line_up) v = 0;
    for (size_t i = 0; i < c.codes.size(); i++) line_up[i] = c.codes[i];
    ASSERT_EQ(reset(), 1) << c.what;
    for (size_t i = 0; i < c.kinds.size(); i++) {
      if (c.kinds[i] < 0) {
        EXPECT_EQ(rider_slots[i], nullptr) << c.what << " slot " << i;
      } else {
        ASSERT_NE(rider_slots[i], nullptr) << c.what << " slot " << i;
        EXPECT_EQ(rider_slot_kind[i], c.kinds[i]) << c.what << " slot " << i;
      }
    }
    EXPECT_EQ(viewed_slot, c.viewed) << c.what;
  }
}

TEST_F(RaceReset, RobotCodesPickTheirBikesAndNumbers) {
  line_up[0] = line_up_robot_125;
  line_up[1] = line_up_robot_250;
  line_up[2] = line_up_numbered + 42;
  line_up[3] = line_up_numbered + 7;  // no roster row has 7: the number stays
  line_up[4] = line_up_local;
  std::snprintf(bike_setup.number, sizeof bike_setup.number, "999");
  ASSERT_EQ(reset(), 1);
  EXPECT_NE(std::strstr(rider_bike_model_name(rider_slots[0]), "125"), nullptr);
  EXPECT_NE(std::strstr(rider_bike_model_name(rider_slots[1]), "250"), nullptr);
  EXPECT_STREQ(rider_number_text(rider_slots[2]), "42");
  EXPECT_STREQ(rider_number_text(rider_slots[3]), "7");
  EXPECT_STREQ(rider_names[2], "Roborider");
  EXPECT_STREQ(rider_number_text(rider_slots[4]), "999");
}

TEST_F(RaceReset, RosterAliasesAndOrder) {
  EXPECT_STREQ(bike_name_alias("crf250"), "crf250(2008)");
  EXPECT_STREQ(bike_name_alias("yz250f"), "yz250f(2008)");
  EXPECT_STREQ(bike_name_alias("kx125"), "kx125");
  int cobalt = 0, amber = 0, slate = 0;
  for (int i = 0; i < robot_roster_size; i++) {
    EXPECT_EQ(std::atoi(robot_roster[i].number), 20 + i);
    cobalt += std::strcmp(robot_roster[i].personality, "cobalt") == 0;
    amber += std::strcmp(robot_roster[i].personality, "amber") == 0;
    slate += std::strcmp(robot_roster[i].personality, "slate") == 0;
    EXPECT_NE(bike_model_find(bike_name_alias(robot_roster[i].bike)), nullptr) << robot_roster[i].bike;
  }
  EXPECT_EQ(cobalt, 40);
  EXPECT_EQ(amber, 20);
  EXPECT_EQ(slate, 20);
}

// Every skin the roster names is one of the sample data's variants for that
// row's bike (what the bike setup offers too): a name the data lacks would
// fall back to the bike's own look without a word, and a bike skin made for
// another bike would not fit the parts it is drawn on. And no two rows look
// the same.
TEST_F(RaceReset, RosterSkinsAreSampleVariantsOfTheirBikes) {
  std::vector<std::string> looks;
  for (int i = 0; i < robot_roster_size; i++) {
    const robot_roster_row& row = robot_roster[i];
    const bike_model* bike = bike_model_find(bike_name_alias(row.bike));
    ASSERT_NE(bike, nullptr) << row.bike;
    collect_rider_look(bike);
    const char* skins[rider_look_count] = {row.gear_skin, row.helmet_skin, row.bike_skin, row.wheels_skin};
    std::string look = row.bike;
    for (int which = 0; which < rider_look_count; which++) {
      look += std::string("|") + (skins[which] ? skins[which] : "");
      if (!skins[which]) continue;
      const texture_variant_list& list = rider_look_lists[which];
      const char* const* paths = static_cast<const char* const*>(list.paths.data);
      bool offered = false;
      for (size_t k = 0; k < list.paths.count; k++) offered |= paths[k] && std::strcmp(paths[k], skins[which]) == 0;
      EXPECT_TRUE(offered) << "roster " << row.number << " (" << row.bike << "): " << skins[which];
    }
    EXPECT_EQ(std::find(looks.begin(), looks.end(), look), looks.end()) << "roster " << row.number << " repeats a look";
    looks.push_back(look);
  }
  free_rider_look();
}

TEST_F(RaceReset, A160RobotFieldWrapsTheRosterAndEveryRiderStandsClear) {
  for (int& c : line_up) c = line_up_robot;
  ASSERT_EQ(reset(), 1);
  std::vector<int> uses(100, 0);
  for (int i = 0; i < 160; i++) {
    ASSERT_NE(rider_slots[i], nullptr) << i;
    EXPECT_EQ(rider_slot_kind[i], 2);
    uses[std::atoi(rider_number_text(rider_slots[i]))]++;
    EXPECT_FALSE(touches_ground(rider_slots[i])) << "slot " << i;
  }
  for (int n = 20; n < 100; n++) EXPECT_EQ(uses[n], 2) << "number " << n;
}

TEST_F(RaceReset, EachRiderStopsAtTheFirstQuarterStepClearOfTheGround) {
  line_up[0] = line_up_local;
  line_up[1] = line_up_robot;
  line_up[2] = line_up_robot;
  ASSERT_EQ(reset(), 1);
  for (int i = 0; i < 3; i++) {
    rider* r = rider_slots[i];
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(touches_ground(r)) << i;
    // A quarter lower it touches, unless it stands at the height it started
    // from (the grid height under it).
    const float y = (float)dBodyGetPosition(r->bodies[RIDER_FRAME])[1];
    rider_translate(r, 0, -0.25f, 0);
    const int lower_touches = touches_ground(r);
    rider_translate(r, 0, 0.25f, 0);
    if (!lower_touches) {
      rider_reset(r);
      const float rest_y = (float)dBodyGetPosition(r->bodies[RIDER_FRAME])[1];
      EXPECT_LT(y - rest_y, track_field.max_height + 0.01f) << i;
    }
  }
}

TEST_F(RaceReset, LiftingARiderStopsAboveTheHighestGround) {
  line_up[0] = line_up_robot;
  ASSERT_EQ(reset(), 1);
  rider* r = rider_slots[0];
  rider_translate(r, 0, -40.0f, 0);  // buried: every probe touches
  ASSERT_TRUE(touches_ground(r));
  const float saved = track_field.max_height;
  const float y = (float)dBodyGetPosition(r->bodies[RIDER_FRAME])[1];
  track_field.max_height = y - 18.0f;  // the search may rise 2 ft
  test_log_begin();
  lift_rider_clear(r);
  const std::string log = test_log_text();
  test_log_end();
  track_field.max_height = saved;
  const float lifted = (float)dBodyGetPosition(r->bodies[RIDER_FRAME])[1] - y;
  EXPECT_GE(lifted, 1.5f);
  EXPECT_LE(lifted, 2.5f);
  EXPECT_NE(log.find("still touches the ground"), std::string::npos) << log;
}

TEST_F(RaceReset, GateDropsBetween13And15SecondsAndRepeatsForTheSameTick) {
  line_up[0] = line_up_robot;
  std::vector<int> drops;
  for (int seed = 0; seed < 40; seed++) {
    race_clock.current_tick = seed * 977;
    ASSERT_EQ(reset(), 1);
    EXPECT_GE(race_clock.gate_drop_tick, 1664) << seed;
    EXPECT_LT(race_clock.gate_drop_tick, 1920) << seed;
    EXPECT_EQ(race_clock.current_tick, 0);
    EXPECT_EQ(race_clock.five_second_ticks, 640);
    drops.push_back(race_clock.gate_drop_tick);
  }
  race_clock.current_tick = 5 * 977;
  ASSERT_EQ(reset(), 1);
  EXPECT_EQ(race_clock.gate_drop_tick, drops[5]);
  int distinct = 0;
  for (size_t i = 1; i < drops.size(); i++) distinct += drops[i] != drops[0];
  EXPECT_GT(distinct, 0);
}

TEST_F(RaceReset, LapsAndLengthSetTheFinish) {
  line_up[0] = line_up_robot;
  struct {
    int length, laps, half, finish;
  } const cases[] = {{0, 3, 2, 3}, {0, 4, 2, 4}, {0, 1, 1, 1}, {128 * 600, 2, 1000000, 1000000}};
  for (const auto& c : cases) {
    ASSERT_EQ(reset(c.length, c.laps), 1);
    EXPECT_EQ(race_clock.half_way_lap, c.half) << c.laps;
    EXPECT_EQ(race_clock.finish_lap, c.finish) << c.laps;
    EXPECT_EQ(race_clock.race_length_ticks, c.length);
    EXPECT_EQ(race_clock.race_laps, c.laps);
  }
}

TEST_F(RaceReset, TimeTrialStartsLateAloneAtTheRoutesGate) {
  ASSERT_EQ(reset_session(nullptr, 0, 0, 0, 1000, 0), 1);
  ASSERT_GT(route.gate_count, 0);
  EXPECT_EQ(time_trial, 1);
  EXPECT_EQ(race_clock.current_tick, 38400);
  ASSERT_NE(rider_slots[0], nullptr);
  EXPECT_EQ(rider_slot_kind[0], 0);
  for (int i = 1; i < 160; i++) EXPECT_EQ(rider_slots[i], nullptr);
  const int g = route.first_lap_gates - 3 > 0 ? route.first_lap_gates - 3 : 0;
  int gate = route.entries[route.normal_lap_gates == 0 ? 0 : g];
  if (gate >= route_flagged) gate -= route_flagged;
  const dReal* p = dBodyGetPosition(rider_slots[0]->bodies[RIDER_FRAME]);
  EXPECT_NEAR(p[0], checkpoints[gate].x, 4.0);
  EXPECT_NEAR(p[2], checkpoints[gate].z, 4.0);
  EXPECT_FALSE(touches_ground(rider_slots[0]));
}

TEST_F(RaceReset, SameTrackKeepsItsGenerationAnotherFreesTheOld) {
  line_up[0] = line_up_robot;
  ASSERT_EQ(reset(), 1);
  const int generation = asset_generation;
  EXPECT_STREQ(game_state.track_dir, "quarrybend");
  ASSERT_GT(cached_models("@quarrybend/rock"), 0);
  ASSERT_EQ(reset(), 1);
  EXPECT_EQ(asset_generation, generation);

  // The copy's objects are all bales: the rock is no longer asked for.
  race_test_copy_track("quarrycopy", 0);
  const std::string statues = std::string(std::getenv("BK_HOME")) + "/quarrycopy/statues";
  std::string text = test_read_file(statues);
  for (size_t at; (at = text.find("rock")) != std::string::npos;) text.replace(at, 4, "bale");
  FILE* f = std::fopen(statues.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrycopy");
  free_file_index();  // the copy joins the index
  ASSERT_EQ(reset(), 1);
  EXPECT_EQ(asset_generation, generation + 1);
  EXPECT_STREQ(game_state.track_dir, "quarrycopy");
  EXPECT_EQ(cached_models("@quarrybend/rock"), 0);
  EXPECT_GT(cached_models("@quarrybend/bale"), 0);
}

TEST_F(RaceReset, TheErodeQueueStartsEmpty) {
  line_up[0] = line_up_robot;
  ASSERT_EQ(reset(), 1);
  erode_queue.count = 5;
  ASSERT_EQ(reset(), 1);
  EXPECT_EQ(erode_queue.count, 0);
}

TEST_F(RaceReset, ABrokenTrackLeavesNoneLoadedAndSaysWhich) {
  line_up[0] = line_up_robot;
  ASSERT_EQ(reset(), 1);
  race_test_copy_track("broken", 12);
  std::snprintf(race_track_choice, sizeof race_track_choice, "broken");
  free_file_index();
  const int first = message_ring.write_index;
  EXPECT_EQ(reset(), 0);
  EXPECT_EQ(game_state.track_dir, nullptr);
  EXPECT_NE(race_test_console_since(first).find("broken"), std::string::npos);
  for (int i = 0; i < 160; i++) EXPECT_EQ(rider_slots[i], nullptr);
}

// A track whose timing gates are damaged still starts, its riders apart on
// the open ground, and every start tells the player why no lap counts.
TEST_F(RaceReset, ATrackWithoutGatesStartsAndSaysWhyNoLapCounts) {
  race_test_copy_track("gateless", 0);
  {
    std::FILE* f = std::fopen((std::string(std::getenv("BK_HOME")) + "/gateless/timing_gates").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("\ngarbage [1 2 3]\n", f);
    std::fclose(f);
  }
  std::snprintf(race_track_choice, sizeof race_track_choice, "gateless");
  free_file_index();
  for (int i = 0; i < 4; i++) line_up[i] = line_up_robot;
  for (int round = 0; round < 2; round++) {
    const int first = message_ring.write_index;
    ASSERT_EQ(reset(), 1) << round;
    EXPECT_EQ(checkpoint_count, 0);
    EXPECT_NE(race_test_console_since(first).find("Track \"gateless\" has no timing gates (timing_gates line 2: starts "
                                                  "with 'garbage'"),
              std::string::npos)
        << round << "\n" << race_test_console_since(first);
    for (int i = 0; i < 4; i++) {
      ASSERT_NE(rider_slots[i], nullptr);
      EXPECT_FALSE(touches_ground(rider_slots[i])) << i;
      for (int j = 0; j < i; j++) {
        const dReal* a = dBodyGetPosition(rider_slots[i]->bodies[RIDER_FRAME]);
        const dReal* b = dBodyGetPosition(rider_slots[j]->bodies[RIDER_FRAME]);
        EXPECT_GE(std::hypot(a[0] - b[0], a[2] - b[2]), 4.9) << i << " and " << j;
      }
    }
  }
}

TEST_F(RaceReset, HooksRunInTheirPlaces) {
  static std::vector<std::string> calls;
  calls.clear();
  race_hooks.record_series_event = [] { calls.push_back("series"); };
  race_hooks.load_track_script = [](const char* path) { calls.push_back(std::string("script ") + path); };
  race_hooks.lines_load = [](int skill) { calls.push_back("lines " + std::to_string(skill)); };
  race_hooks.robot_personality = [](rider*, const char* p) { calls.push_back(std::string("robot ") + p); };
  race_hooks.finish_results = [] { calls.push_back("results"); };
  line_up[0] = line_up_numbered + 20;
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 2), 1);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0], "series");
  EXPECT_EQ(calls[1], "script @quarrybend/frills.js");
  EXPECT_EQ(calls[2], "lines 2");
  EXPECT_NE(calls[3], "robot tester");
  EXPECT_EQ(calls[3].rfind("robot ", 0), 0u);
  EXPECT_EQ(calls[4], "results");
  calls.clear();
  game_state.practice = 1;
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 2), 1);
  game_state.practice = 0;
  EXPECT_EQ(calls[3], "robot tester");
}

class Controls : public RaceReset {
 protected:
  void SetUp() override {
    RaceReset::SetUp();
    line_up[0] = line_up_local;
    ASSERT_EQ(reset(), 1);
    r = rider_slots[0];
    ASSERT_NE(r, nullptr);
    saved = bike_setup;
    bike_setup.reverse_steering = 0;
    bike_setup.sticky_dab = 0;
  }
  void TearDown() override {
    bike_setup = saved;
    RaceReset::TearDown();
  }
  void apply(float steer, float clutch, float dab, float shift) {
    float in[9] = {steer, 0, 0, 0, shift, clutch, dab, 0, 0};
    apply_controls(r, in);
  }
  rider* r = nullptr;
  bike_setup_record saved;
};

TEST_F(Controls, ClutchLetsOutGraduallyAndPullsInAtOnce) {
  apply(0, 1, 0, 0);
  EXPECT_FLOAT_EQ(r->clutch, 0.0f);
  apply(0, 0, 0, 0);
  EXPECT_FLOAT_EQ(r->clutch, 4.0f / 128.0f);
  apply(0, 0, 0, 0);
  EXPECT_FLOAT_EQ(r->clutch, 8.0f / 128.0f);
  apply(0, 0.5f, 0, 0);  // target 1 - 4/7: above, so it grows again
  EXPECT_FLOAT_EQ(r->clutch, 12.0f / 128.0f);
  apply(0, 7.0f / 8.0f, 0, 0);  // target 0: at once
  EXPECT_FLOAT_EQ(r->clutch, 0.0f);
}

TEST_F(Controls, StickyDabTogglesOnEachPress) {
  bike_setup.sticky_dab = 1;
  const float presses[] = {0, 1, 1, 0, 0.6f, 0.4f, 0};
  const float held[] = {0, 1, 1, 1, 0, 0, 0};
  for (size_t i = 0; i < sizeof presses / sizeof presses[0]; i++) {
    apply(0, 0, presses[i], 0);
    EXPECT_FLOAT_EQ(r->dab, held[i]) << i;
  }
  bike_setup.sticky_dab = 0;
  apply(0, 0, 0.4f, 0);
  EXPECT_FLOAT_EQ(r->dab, 0.4f);
}

TEST_F(Controls, ShiftThresholdsAndReverseSteering) {
  const struct {
    float shift;
    int request;
  } cases[] = {{0.6f, 1}, {0.5f, 0}, {-0.5f, 0}, {-0.6f, -1}, {0.0f, 0}};
  for (const auto& c : cases) {
    apply(0, 0, 0, c.shift);
    EXPECT_EQ(r->last_shift_request, c.request) << c.shift;
  }
  apply(0.5f, 0, 0, 0);
  EXPECT_FLOAT_EQ(r->steer, 0.5f);
  bike_setup.reverse_steering = 1;
  apply(0.5f, 0, 0, 0);
  EXPECT_FLOAT_EQ(r->steer, -0.5f);
}

TEST(SlotAccessor, NoRiderOutsideTheSlots) {
  EXPECT_EQ(slot_rider(160), nullptr);
  EXPECT_EQ(slot_rider(-1), nullptr);
  EXPECT_EQ(slot_kind(160), -1);
}

}  // namespace
