// Shared fixtures of the bike tests.
#include "bike/test_support_riders.h"

#include <gtest/gtest.h>

#include <cstring>

#include "bike/rider_build.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

void test_track_open() {
  ASSERT_EQ(dynamics_open(), 1);
  rider_table_init();
  terrain_reset(&track_field);
  ASSERT_EQ(terrain_create(&track_field, 7, 1.0f), 1);
  const int n = track_field.size * track_field.size;
  for (int i = 0; i < n; i++) track_field.heights[i] = test_ground;
  memcpy(track_field.base_heights, track_field.heights, sizeof(float) * n);
  for (int k = 0; k < tile_curve_points; k++) {
    track_field.friction_value[0][k] = 1.0f;
    track_field.friction_slip[0][k] = k == 0 ? 1.0f : tile_unused_slip;
    track_field.roll_resist_pair[0][k][0] = 0.0f;
    track_field.roll_resist_pair[0][k][1] = 0.0f;
    track_field.roll_resist_key[0][k] = k == 0 ? 1.0f : 0.0f;
  }
}

void test_track_close() {
  for (rider& r : rider_table) rider_destroy(&r);
  rider_table_init();
  free_terrain(&track_field);
  terrain_reset(&track_field);
  dynamics_close();
}

rider* test_rider_place(const char* bike, unsigned slot, float x, float z, float heading) {
  rider* r = rider_create(bike, slot, 1, "7", nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(r, nullptr);
  if (!r) return nullptr;
  rider_rotate(r, 0, 1, 0, heading);
  const bike_model* row = rider_model(r);
  const float bottom = row->front_wheel_position[1] - row->front_rim_radius - row->front_tyre_radius;
  rider_translate(r, x, test_ground - bottom, z);
  return r;
}

void test_rider_velocity(rider* r, float vx, float vy, float vz) {
  for (dBodyID b : r->bodies)
    if (b) dBodySetLinearVel(b, vx, vy, vz);
}
