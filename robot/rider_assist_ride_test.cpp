// The assist step in the rider's own control step on generated flat
// ground: a slow bike tipped sideways with the foot down comes back up.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "bike/riders_step.h"
#include "bike/robot_hooks.h"
#include "bike/test_support_riders.h"
#include "robot/rider_assist.h"

namespace {

// Lean after `seconds` of a bike let go at `lean` with the dab held and
// the brakes on; NaN when a body stopped being finite.
float lean_after(float lean, float seconds, int assisted) {
  test_track_open();
  race_clock = {};
  rider* r = rider_create("cr125", 0, 1, "7", nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(r, nullptr);
  if (!r) return NAN;
  rider_rotate(r, 0, 0, 1, lean);
  const bike_model* row = rider_model(r);
  const float bottom = row->front_wheel_position[1] - row->front_rim_radius - row->front_tyre_radius;
  rider_translate(r, 128, test_ground - bottom * std::cos(lean) + 0.05f, 128);
  test_rider_give_shapes(r);
  rider_slots[0] = r;
  rider_slot_kind[0] = RIDER_LOCAL;
  rider_activate(r);
  rider_assist_step_hook = assisted ? rider_assist_step : nullptr;
  float result = NAN;
  for (int t = 0; t < (int)(seconds * 128); t++) {
    rider_set_dab(r, 1);
    rider_set_front_brake(r, 1);
    rider_set_rear_brake(r, 1);
    rider_set_throttle(r, 0);
    rider_set_clutch(r, 0);
    race_clock.current_tick += 1;
    EXPECT_NE(riders_step(nullptr), 0);
    const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) break;
    result = body_pitch_angle(r->bodies[RIDER_FRAME]);
  }
  rider_assist_step_hook = nullptr;
  for (rider*& s : rider_slots) s = nullptr;
  race_clock = {};
  test_track_close();
  return result;
}

TEST(RiderAssistRide, ASlowTippedBikeIsRighted) {
  for (float lean : {0.35f, -0.35f}) {
    const float assisted = lean_after(lean, 3, 1);
    EXPECT_LT(std::fabs(assisted), 0.12f) << "tipped " << lean << ", with the assist";
    const float alone = lean_after(lean, 3, 0);
    EXPECT_GT(std::fabs(alone), std::fabs(lean)) << "tipped " << lean << ", without it the bike goes on over";
  }
}

}  // namespace
