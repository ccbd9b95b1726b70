// The scene's work that needs no GL on the sample track after a race reset
// (textures are fake ids): the flaggers over a race, and the debug labels.
#include "race/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "bike/wheel_contacts.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/game_state.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "race/views.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

namespace {

class SceneTrack : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    ASSERT_EQ(scene_arrays_create(), 1);
    int line_up[160] = {};
    line_up[0] = line_up_local;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    viewed_slot = 0;
  }
  void TearDown() override {
    scene_arrays_free();
    race_test_close();
  }
};

TEST_F(SceneTrack, TheStartFlaggerWalksOffAfterTheCount) {
  ASSERT_GE(flaggers.start_billboard, 0);
  const billboard* b = billboard_at(flaggers.start_billboard);
  struct {
    int tick;
    float along;
    int texture;
  } const cases[] = {
      {0, 0, 0}, {5 * 128 + 20, 0, 1}, {5 * 128 + 100, 0, 2}, {6 * 128 + 64, 0.5f / 2.5f, 3}, {9 * 128, 1, 4},
  };
  for (const auto& c : cases) {
    race_clock.current_tick = c.tick;
    animate_flaggers();
    const float x = flaggers.start_from[0] + c.along * (flaggers.start_to[0] - flaggers.start_from[0]);
    const float z = flaggers.start_from[2] + c.along * (flaggers.start_to[2] - flaggers.start_from[2]);
    EXPECT_NEAR(b->x, x, 1e-3) << "tick " << c.tick;
    EXPECT_NEAR(b->z, z, 1e-3) << "tick " << c.tick;
    EXPECT_NEAR(b->y, terrain_height(&track_field, x, z) + b->height_offset, 1e-3);
    EXPECT_EQ(b->texture, flaggers.start_textures[c.texture]) << "tick " << c.tick;
  }
}

TEST_F(SceneTrack, TheFinishFlagFollowsTheViewedRidersLaps) {
  ASSERT_GE(flaggers.lap_billboard, 0);
  rider* r = rider_slots[0];
  const int first = route.first_lap_gates, normal = route.normal_lap_gates;
  ASSERT_GT(first, 0);
  race_clock.finish_lap = 3;
  race_clock.half_way_lap = 1;
  struct {
    int crossings, flag;
  } const cases[] = {
      {0, 0}, {first, 1}, {first + normal, 2}, {first + 2 * normal, 3},
  };
  for (const auto& c : cases) {
    rider_truncate_timing(r, 0);
    for (int i = 0; i < c.crossings; i++) rider_set_timing_tick(r, i, 100 + i);
    r->timing_count = c.crossings;
    animate_flaggers();
    EXPECT_EQ(billboard_at(flaggers.lap_billboard)->texture, flaggers.lap_textures[c.flag]) << c.crossings;
  }
}

TEST_F(SceneTrack, CourseFlaggersWaveBeforeADownedRider) {
  ASSERT_GT(course_flaggers.count, 0u);
  const course_flagger* c = static_cast<const course_flagger*>(growable_array_at(&course_flaggers, 0));
  ASSERT_GE(c->gates[0], 0);
  // The rider has made crossings up to just before the flagger's gate.
  rider* r = rider_slots[0];
  int crossings = -1;
  for (int i = 0; i < route.first_lap_gates; i++) {
    const int gate = route.entries[i] >= route_flagged ? route.entries[i] - route_flagged : route.entries[i];
    if (gate == c->gates[0]) {
      crossings = i;
      break;
    }
  }
  ASSERT_GE(crossings, 0);
  for (int i = 0; i < crossings; i++) rider_set_timing_tick(r, i, 100 + i);
  r->timing_count = crossings;
  running_order.count = 1;
  running_order.entries[0] = {0, crossings, 100};
  animate_flaggers();
  EXPECT_EQ(billboard_at(c->billboard)->texture, c->texture_idle);
  r->down = 1;
  animate_flaggers();
  EXPECT_EQ(gate_approach_flags[c->gates[0]], 1);
  EXPECT_EQ(billboard_at(c->billboard)->texture, c->texture_waving);
  r->down = 0;
  animate_flaggers();
  EXPECT_EQ(billboard_at(c->billboard)->texture, c->texture_idle);

  // Online, a network rider counts only while its last state is under a
  // second old.
  game_state.connect_target = "localhost";
  rider_slot_kind[0] = RIDER_REMOTE;
  r->down = 1;
  packed_pose pose = {};
  add_state_to_history(0, &pose, 1000);
  for (int tick : {1000, 1127, 1128, 5000}) {
    race_clock.current_tick = tick;
    animate_flaggers();
    EXPECT_EQ(billboard_at(c->billboard)->texture, tick < 1128 ? c->texture_waving : c->texture_idle) << tick;
  }
  game_state.connect_target = nullptr;
  rider_slot_kind[0] = RIDER_LOCAL;
}

TEST_F(SceneTrack, TheTickerTimesTheGapAtTheLastCommonCrossing) {
  rider* b = rider_create("cr125", 1, 0, "9", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(b, nullptr);
  rider_slots[1] = b;
  rider* a = rider_slots[0];
  // A crossed at 1000, 2000, 3000; B at 1064, 2128 so far.
  for (int i = 0; i < 3; i++) rider_set_timing_tick(a, i, 1000 * (i + 1));
  rider_set_timing_tick(b, 0, 1064);
  rider_set_timing_tick(b, 1, 2128);
  const running_order_entry first = {0, 3, 3000}, second = {1, 2, 2128};
  EXPECT_DOUBLE_EQ(ticker_time_behind(first, second), 1.0);
  // Level on crossings: their last ones.
  rider_set_timing_tick(b, 2, 3256);
  EXPECT_DOUBLE_EQ(ticker_time_behind(first, {1, 3, 3256}), 2.0);
  // Not behind, a missing tick, no crossings: nothing shown.
  EXPECT_LT(ticker_time_behind({1, 3, 3256}, first), 0);
  rider_set_timing_tick(b, 0, 0);
  EXPECT_LT(ticker_time_behind(first, {1, 1, 0}), 0);
  EXPECT_LT(ticker_time_behind({0, 0, 0}, {1, 0, 0}), 0);
  rider_destroy(b);
  rider_slots[1] = nullptr;
}

TEST_F(SceneTrack, LabelsKeepTheirTextAndSkipBrokenPositions) {
  scene_install_hooks();
  const float a[3] = {10, 0, -50}, b[3] = {10, 0, -20};
  EXPECT_EQ(debug_markers.distance(a), 1000000.0f);
  const std::string long_text(3000, 'x');
  debug_markers.add(a, long_text.c_str());
  debug_markers.add(b, "near");
  EXPECT_FLOAT_EQ(debug_markers.distance(a), 30);
  const float broken[3] = {std::nanf(""), 0, -30};
  add_debug_marker(broken, "nowhere");
  EXPECT_EQ(debug_marker_count(), 3u);
  // Camera at the origin looking along -z: both good labels are in front.
  const float camera[3] = {0, 0, 0};
  const float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(draw_debug_markers(camera, orientation), 2u);
  // One only 1 ft in front is too near.
  const float close[3] = {0, 0, -1};
  add_debug_marker(close, "close");
  EXPECT_EQ(draw_debug_markers(camera, orientation), 2u);
  clear_debug_markers();
  EXPECT_EQ(draw_debug_markers(camera, orientation), 0u);
}

}  // namespace
