// Riders past the height field's edge, on the sample track under the race's
// own reset and tick: the ground ends there, so they are held at the edge,
// or, when nowhere on the field, brought back to the gate they last
// crossed; their crossings stay and they race on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "bike/rider_build.h"
#include "bike/rider_timing.h"
#include "bike/wheel_contacts.h"
#include "core/race_clock.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

namespace {

class WorldEdge : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    net_values_reset();
    tick_install_hooks();
    int line_up[RIDER_SLOT_COUNT] = {};
    line_up[0] = line_up_local;
    line_up[1] = line_up_robot;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 1, 0), 1);
    race_clock.current_tick = race_clock.gate_drop_tick + 128;
  }
  void TearDown() override { race_test_close(); }
  static bool inside(const rider* r) {
    const dReal* p = dBodyGetPosition(rider_frame_body(const_cast<rider*>(r)));
    const double edge = (double)(track_field.size - 1) * track_field.spacing;
    return p[0] >= 0 && p[0] <= edge && p[2] >= 0 && p[2] <= edge;
  }
};

TEST_F(WorldEdge, ARiderIsHeldOnTheFieldOrBroughtBackToItsLastGate) {
  const float edge = (float)(track_field.size - 1) * track_field.spacing;
  const struct {
    const char* what;
    int slot;
    float x, z, heading;  // where it is put (on the ground there), facing (0: -z)
    float below;          // then this far down
    float throttle;       // held from there
    bool to_gate;         // brought back to its last gate, else held at the edge
  } cases[] = {
      {"standing 60 ft past the low x edge", 0, -60.0f, 500.0f, 0.0f, 0.0f, 0.0f, false},
      {"far past the high z edge", 0, 500.0f, edge + 600.0f, 0.0f, 0.0f, 0.0f, false},
      {"ridden into the high x edge", 0, edge - 30.0f, 500.0f, -1.5707963f, 0.0f, 1.0f, false},
      {"a robot past the low z edge", 1, 300.0f, -40.0f, 0.0f, 0.0f, 0.0f, false},
      {"fallen far under the ground", 0, 500.0f, 500.0f, 0.0f, 300.0f, 0.0f, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rider* r = rider_slots[c.slot];
    ASSERT_NE(r, nullptr);
    const int kind = rider_slot_kind[c.slot];
    const int personality = r->robot.personality;
    place_rider_clear(r, c.x, c.z, c.heading);
    rider_translate(r, 0, -c.below, 0);
    // Two gates behind it: its last is the second.
    const int32_t ticks[2] = {race_clock.current_tick - 64, race_clock.current_tick - 32};
    rider_set_timing_tick(r, 0, ticks[0]);
    rider_set_timing_tick(r, 1, ticks[1]);
    r->timing_count = 2;
    rider_set_clutch(r, 1);
    int grounded_at = -1;
    double nearest_edge = 1e9;
    for (int t = 0; t < 128 * 6; t++) {
      rider_set_throttle(r, c.throttle);
      simulation_tick();
      ASSERT_TRUE(inside(r)) << "tick " << t;
      const dReal* p = dBodyGetPosition(rider_frame_body(r));
      nearest_edge = std::min({nearest_edge, p[0], p[2], edge - p[0], edge - p[2]});
      if (grounded_at < 0 && (rider_front_contact_depth(r) > 0 || rider_rear_contact_depth(r) > 0)) grounded_at = t;
    }
    // On the ground within the rest a fall takes before the rider remounts.
    ASSERT_GE(grounded_at, 0) << "never back on the ground";
    EXPECT_LT(grounded_at, 512);
    int gate = route.entries[1];
    if (gate >= route_flagged) gate -= route_flagged;
    const checkpoint& g = checkpoints[gate];
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    if (c.to_gate) {
      EXPECT_LT(std::hypot(p[0] - g.x, p[2] - g.z), g.half_width);
    } else {
      EXPECT_LT(nearest_edge, 5.0) << "not at the edge";
    }
    EXPECT_EQ(rider_next_timing_index(r), 2);
    EXPECT_EQ(rider_timing_tick(r, 0), ticks[0]);
    EXPECT_EQ(rider_timing_tick(r, 1), ticks[1]);
    EXPECT_EQ(rider_slot_kind[c.slot], kind);
    EXPECT_EQ(r->robot.personality, personality);
  }
}

}  // namespace
