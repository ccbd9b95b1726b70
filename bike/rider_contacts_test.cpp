#include "bike/rider_contacts.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/test_support_riders.h"
#include "terrain/dynamics_world.h"

namespace {

class RiderContacts : public ::testing::Test {
 protected:
  void SetUp() override { test_track_open(); }
  void TearDown() override {
    race_clock.current_tick = 0;
    test_track_close();
  }
};

TEST_F(RiderContacts, TyresOnTheGroundDoNotPutTheRiderDown) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  EXPECT_EQ(rider_collision_noop(), 0);
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] + 3, p[2]);
  }
  EXPECT_EQ(rider_collide_terrain(r), 0);  // in the air
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] - 3.05, p[2]);
  }
  EXPECT_NE(rider_collide_terrain(r), 0);
  EXPECT_GT(r->front_contact.depth, 0);
  EXPECT_GT(r->rear_contact.depth, 0);
  EXPECT_EQ(r->down, 0);
  EXPECT_EQ(r->down_counter, 0);
}

TEST_F(RiderContacts, ShockLinkageCurveThroughItsPoints) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  const float* l = rider_model(r)->shock_linkage;
  struct point {
    float f, value, slope;
  };
  const point points[] = {{0, 0, l[4]}, {l[3], l[0], l[5]}, {1, l[1], l[6]}, {1.5f, l[1], l[6]}};
  for (const point& p : points) {
    float value, slope;
    bike_model_shock_linkage(r, &value, &slope, p.f);
    EXPECT_NEAR(value, p.value, 1e-5) << p.f;
    EXPECT_NEAR(slope, p.slope, 1e-4) << p.f;
  }
  // Between the points the slope is the value's derivative.
  float a, b, s;
  bike_model_shock_linkage(r, &a, &s, 0.3f);
  bike_model_shock_linkage(r, &b, &s, 0.3001f);
  float mid;
  bike_model_shock_linkage(r, &mid, &s, 0.30005f);
  EXPECT_NEAR((b - a) / 0.0001f, s, 2e-3);
}

TEST_F(RiderContacts, TelemetryFromTheSuspensionJoints) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  const bike_model* row = rider_model(r);
  float travel, rate, damping;
  rider_fork_telemetry(r, &travel, &rate, &damping);
  EXPECT_NEAR(travel, 0, 1e-6);
  EXPECT_NEAR(damping, 1, 1e-6);  // at rest only the slow circuit acts

  // The fork lower pushed 0.25 ft up the fork and still moving up at 2 ft/s.
  float axis[3];
  for (int i = 0; i < 3; i++) axis[i] = row->fork_upper_position[i] - row->fork_lower_position[i];
  const float len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  dBodyID lower = r->bodies[RIDER_FORK_LOWER];
  const dReal* p = dBodyGetPosition(lower);
  dBodySetPosition(lower, p[0], p[1] + 0.25 * axis[1] / len, p[2] + 0.25 * axis[2] / len);
  dBodySetLinearVel(lower, 0, 2 * axis[1] / len, 2 * axis[2] / len);
  rider_fork_telemetry(r, &travel, &rate, &damping);
  EXPECT_NEAR(travel, 0.25f / row->fork_travel, 1e-5);
  EXPECT_NEAR(rate, -2, 1e-5);
  EXPECT_NEAR(damping, row->fork_slow_compression_damping /
                           (2 * row->fork_compression_damping + row->fork_slow_compression_damping),
              1e-6);

  rider_shock_telemetry(r, &travel, &rate, &damping);
  EXPECT_NEAR(travel, 0, 1e-6);
  EXPECT_NEAR(damping, 1, 1e-6);

  telemetry_rings.write_index = telemetry_ring_size - 1;
  telemetry_record(r);
  EXPECT_EQ(telemetry_rings.write_index, 0);
  EXPECT_NEAR(telemetry_rings.fork_travel[telemetry_ring_size - 1], 0.25f / row->fork_travel, 1e-5);
  EXPECT_NEAR(telemetry_rings.fork_rate[telemetry_ring_size - 1], -2, 1e-5);
}

}  // namespace
