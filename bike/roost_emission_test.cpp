#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/test_support_riders.h"
#include "bike/wheel_contacts.h"
#include "core/random.h"
#include "terrain/height_field.h"
#include "terrain/roost.h"

namespace {

class Roost : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    roost_particles_reset();
    random_seed(5489);
    race_clock.current_tick = 50;
    roost_density = 300;  // exactly 3 bursts a tick
  }
  void TearDown() override {
    roost_density = 250;
    race_clock.current_tick = 0;
    roost_particles_reset();
    test_track_close();
  }
};

int live_count() {
  int n = 0;
  for (roost_particle* p = roost_live; p; p = p->next) n++;
  return n;
}

roost_type thrown(float count, float slip_threshold) {
  roost_type t{};
  t.mode = 1;
  t.count = count;
  t.slip_threshold = slip_threshold;
  t.slow_angle = 0.1f;
  t.fast_angle = 1.0f;
  t.slow_speed = 5;
  t.fast_speed = 50;
  t.vscale = 1;
  t.randomize = 0.5f;
  return t;
}

// A rider shown from its records, wheels pressed into the ground, moving
// forward at 1 ft/s with the rear wheel spinning hard against it.
rider* spinning_rider() {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  r->simulated = 0;
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] - 0.05, p[2]);
  }
  test_rider_velocity(r, 0, 0, -1);
  dBodySetAngularVel(r->rear_contact.body, -40, 0, 0);
  return r;
}

TEST_F(Roost, SpinningRearWheelThrowsOnARoostTileOnly) {
  rider* r = spinning_rider();
  rider_emit_roost(r);  // one tile, no roost
  EXPECT_EQ(live_count(), 0);
  EXPECT_EQ(r->roost_tick, 50);  // the records were refreshed all the same

  track_field.roost_types[0][0] = thrown(3, 4);
  race_clock.current_tick++;
  rider_emit_roost(r);
  // The rear wheel throws its three; the front rolls slower than the slip
  // threshold and throws nothing.
  EXPECT_EQ(live_count(), 3);
  const dReal* c = dBodyGetPosition(r->rear_contact.body);
  for (roost_particle* p = roost_live; p; p = p->next) {
    // Thrown backwards off the tread, from within the type's angle of the
    // contact point round the axle (the later ones of the tick already a
    // little along their way back).
    EXPECT_GT(p->velocity[2], 0);
    const float dy = p->position[1] - (float)c[1], dz = p->position[2] - (float)c[2];
    const float angle = std::atan2(-dz, -dy);
    EXPECT_GE(angle, -0.3f);
    EXPECT_LE(angle, 0.1f + 0.9f * (1600.0f - 25) / (2500 - 25) + 0.05f);
    EXPECT_EQ(p->type, &track_field.roost_types[0][0]);
  }

  // A tile whose first type is unused throws nothing, whatever follows.
  roost_particles_reset();
  track_field.roost_types[0][1] = track_field.roost_types[0][0];
  track_field.roost_types[0][0].mode = 0;
  race_clock.current_tick++;
  rider_emit_roost(r);
  EXPECT_EQ(live_count(), 0);
}

TEST_F(Roost, DensityGivesWholeBurstsAndTheRemainderOnSomeTicks) {
  rider* r = spinning_rider();
  track_field.roost_types[0][0] = thrown(100, 0);  // as many as the bursts allow
  roost_density = 250;
  int counts[5] = {0};
  for (int t = 0; t < 400; t++) {
    roost_particles_reset();
    race_clock.current_tick++;
    rider_emit_roost(r);
    const int n = live_count();
    // Both wheels slip past a threshold of 0 and throw the same number.
    ASSERT_EQ(n % 2, 0);
    ASSERT_LT(n / 2, 5);
    counts[n / 2]++;
  }
  EXPECT_EQ(counts[0] + counts[1] + counts[4], 0);
  EXPECT_NEAR(counts[2], 200, 40);
  EXPECT_NEAR(counts[3], 200, 40);

  roost_density = 0;
  roost_particles_reset();
  const int before = r->roost_tick;
  race_clock.current_tick++;
  rider_emit_roost(r);
  EXPECT_EQ(live_count(), 0);
  EXPECT_EQ(r->roost_tick, before);  // not even refreshed
}

TEST_F(Roost, RollingWheelThrowsNearTheContactPoint) {
  rider* r = spinning_rider();
  const dReal* front = dBodyGetPosition(r->front_contact.body);
  const dReal* rear = dBodyGetPosition(r->rear_contact.body);
  const float radius = r->rear_contact.rim_radius + r->rear_contact.tyre_radius;
  dBodySetAngularVel(r->rear_contact.body, -1 / radius, 0, 0);  // rolling, no slip
  track_field.roost_types[0][0] = thrown(3, 0);
  rider_emit_roost(r);
  int seen = 0;
  for (roost_particle* p = roost_live; p; p = p->next) {
    const dReal* c = std::fabs(p->position[2] - front[2]) < 1 ? front : rear;
    const float dy = p->position[1] - (float)c[1], dz = p->position[2] - (float)c[2];
    if (std::fabs(std::atan2(dz, -dy)) <= (float)M_PI / 64 + 0.01f) seen++;
  }
  EXPECT_EQ(seen, live_count());
  EXPECT_EQ(seen, 6);
}

TEST_F(Roost, SplashNeedsTheWheelToMove) {
  rider* r = spinning_rider();
  roost_type splash{};
  splash.mode = 2;
  splash.count = 2;
  splash.vscale = 1;
  splash.randomize = 0.25f;
  track_field.roost_types[0][0] = splash;
  test_rider_velocity(r, 0, 0, 0);
  rider_emit_roost(r);
  EXPECT_EQ(live_count(), 0);

  test_rider_velocity(r, 0, 0, -12);
  race_clock.current_tick++;
  rider_emit_roost(r);
  EXPECT_EQ(live_count(), 4);
  for (roost_particle* p = roost_live; p; p = p->next) {
    for (int i = 0; i < 3; i++) {
      EXPECT_TRUE(std::isfinite(p->position[i]));
      EXPECT_TRUE(std::isfinite(p->velocity[i]));
    }
    EXPECT_GE(p->velocity[1], 0);  // up and to either side
  }
}

}  // namespace

namespace {

TEST_F(Roost, CountsFromTheTileFileAreCappedByTheBursts) {
  rider* r = spinning_rider();
  track_field.roost_types[0][0] = thrown(1e30f, 0);
  track_field.roost_types[0][1] = thrown(NAN, 0);
  track_field.roost_types[0][2] = thrown(2, 0);
  track_field.roost_types[0][2].slow_speed = track_field.roost_types[0][2].fast_speed = 5;
  rider_emit_roost(r);
  // 3 bursts from the huge count, none from the one that is not a number,
  // 2 from the type whose two speeds are equal; on each wheel.
  EXPECT_EQ(live_count(), 10);
  for (roost_particle* p = roost_live; p; p = p->next)
    for (int i = 0; i < 3; i++) EXPECT_TRUE(std::isfinite(p->velocity[i]));
}

}  // namespace
