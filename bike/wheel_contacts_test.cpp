#include "bike/wheel_contacts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "bike/test_support_riders.h"
#include "terrain/ruts.h"
#include "terrain/tiles.h"

namespace {

class WheelContacts : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    race_clock.current_tick = 100;
  }
  void TearDown() override {
    debug_markers = debug_marker_hooks{};
    debug_flags = 0;
    race_clock.current_tick = 0;
    test_track_close();
  }
};

void lift(rider* r, float dy) {
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] + dy, p[2]);
  }
}

TEST_F(WheelContacts, ShownRiderIsRefreshedOncePerTick) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  r->simulated = 0;
  lift(r, -0.05f);  // pressed into the ground a little
  const float depth = rider_front_contact_depth(r);
  EXPECT_GT(depth, 0.04f);
  EXPECT_GT(rider_rear_contact_depth(r), 0.04f);
  float p[3];
  ASSERT_EQ(rider_rear_contact_position(r, p), 1);
  EXPECT_NEAR(p[1], test_ground, 0.15);

  lift(r, 5);  // the same tick: the records stay as they were computed
  EXPECT_EQ(rider_front_contact_depth(r), depth);
  race_clock.current_tick++;
  EXPECT_EQ(rider_front_contact_depth(r), 0);
  float out[3] = {7, 7, 7};
  EXPECT_EQ(rider_front_contact_position(r, out), 0);
  EXPECT_EQ(rider_front_contact_slip(r, out), 0);
  EXPECT_EQ(rider_rear_contact_velocity(r, out), 0);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[2], 7);
}

TEST_F(WheelContacts, SimulatedRiderAnswersFromItsLastTerrainContact) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  lift(r, -0.05f);
  EXPECT_NE(rider_collide_terrain(r), 0);
  const float depth = r->front_contact.depth;
  ASSERT_GT(depth, 0);
  float before[3];
  ASSERT_EQ(rider_front_contact_position(r, before), 1);
  lift(r, 5);
  race_clock.current_tick++;
  float after[3];
  EXPECT_EQ(rider_front_contact_depth(r), depth);
  ASSERT_EQ(rider_front_contact_position(r, after), 1);
  for (int i = 0; i < 3; i++) EXPECT_EQ(after[i], before[i]);
}

TEST_F(WheelContacts, AxleVelocityLeavesOutTheSpin) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  r->simulated = 0;
  lift(r, -0.05f);
  dBodyID wheel = r->rear_contact.body;
  dBodySetLinearVel(wheel, 0, 0, -3);
  dBodySetAngularVel(wheel, 40, 0, 0);  // spinning on the spot about its axle
  float slip[3], v[3];
  ASSERT_EQ(rider_rear_contact_slip(r, slip), 1);
  ASSERT_EQ(rider_rear_contact_velocity(r, v), 1);
  EXPECT_NEAR(v[0], 0, 1e-4);
  EXPECT_NEAR(v[1], 0, 1e-4);
  EXPECT_NEAR(v[2], -3, 1e-4);
  EXPECT_LT(slip[2], -30);  // the tread moves backwards under the wheel

  // A turn about the vertical is not spin: it stays.
  dBodySetAngularVel(wheel, 0, 2, 0);
  wheel_axle_velocity(&r->rear_contact, v);
  const dReal* c = dBodyGetPosition(wheel);
  const float rz = r->rear_contact.point[2] - (float)c[2];
  const float rx = r->rear_contact.point[0] - (float)c[0];
  EXPECT_NEAR(v[0], 2 * rz, 1e-4);
  EXPECT_NEAR(v[2], -3 - 2 * rx, 1e-4);
}

float far_away(const float*) { return 20; }
float near_by(const float*) { return 5; }
std::string label;
void keep_label(const float*, const char* text) { label = text; }

// What the trail shows for a wheel that gave the producer nothing.
std::string idle_wheel_text() {
  tyre_debug = tyre_debug_values{};
  char text[512];
  format_tyre_debug(text, (int)sizeof text);
  return text;
}

TEST_F(WheelContacts, RutFeedFrontThenRearIntoTheRidersOwnStrokes) {
  rider* r = test_rider_place("cr125", 4, 64, 64);
  tile_params* p = &track_field.tile_params[0];
  p->erode_off_speed = 0;
  p->erode_on_speed = 1;
  p->erode_lower = 1;
  p->erode_upper = 100;
  p->erode_slip_base_scale = p->erode_slip_scale = 1;
  p->erode_project_to_ground = 1;
  p->erode_lateral_scale = p->erode_front_scale = 1;
  debug_markers.distance = far_away;
  debug_markers.add = keep_label;
  debug_flags = debug_flag_tyre_trail;
  lift(r, -0.05f);
  rider_collide_terrain(r);
  ASSERT_GT(r->front_contact.depth, 0);
  ASSERT_GT(r->rear_contact.depth, 0);
  r->rear_contact.feedback.f1[2] = -200;  // the rear tyre drives forward
  const std::string idle = "front:\n" + idle_wheel_text() + "rear:\n" + idle_wheel_text();

  // Standing still, and moving straight down: no horizontal direction, so
  // neither wheel reaches the producer.
  rider_update_ruts(r);
  EXPECT_EQ(label, idle);
  test_rider_velocity(r, 0, -2, 0);
  rider_update_ruts(r);
  EXPECT_EQ(label, idle);
  EXPECT_EQ(r->front_rut.sample_count + r->rear_rut.sample_count, 0);

  test_rider_velocity(r, 0, 0, -8);
  dBodySetLinearVel(r->bodies[RIDER_FRONT_WHEEL], 0, 0, -6);
  rider_update_ruts(r);
  EXPECT_EQ(label.rfind("front:\nspeed=6.00\n", 0), 0u) << label;
  EXPECT_NE(label.find("\nrear:\nspeed=8.00\n"), std::string::npos) << label;
  // Only the driven rear tyre pushes hard enough to leave a sample, and it
  // lands in the rear stroke of this rider.
  EXPECT_EQ(r->rear_rut.sample_count, 1);
  EXPECT_EQ(r->front_rut.sample_count, 0);
  EXPECT_FLOAT_EQ(r->rear_rut.last_sample[0], r->rear_contact.point[0]);
  EXPECT_GT(r->front_contact.depth, 0);  // the record itself is untouched
}

TEST_F(WheelContacts, TyreDebugTrailLabelsEveryFewFeet) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  debug_markers.distance = far_away;
  debug_markers.add = keep_label;
  label.clear();
  rider_update_ruts(r);  // trail off
  EXPECT_TRUE(label.empty());
  debug_flags = debug_flag_tyre_trail;
  rider_update_ruts(r);
  EXPECT_EQ(label, "front:\n" + idle_wheel_text() + "rear:\n" + idle_wheel_text());
  debug_markers.distance = near_by;
  label.clear();
  rider_update_ruts(r);
  EXPECT_TRUE(label.empty());
}

}  // namespace
