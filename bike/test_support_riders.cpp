// Shared fixtures of the bike tests.
#include "bike/test_support_riders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bike/rider_build.h"
#include "core/memory.h"
#include "terrain/dynamics_world.h"
#include "terrain/shape.h"
#include "tools/testing/test_env.h"
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

namespace {

shape* rider::*const part_shapes[] = {
    &rider::frame_shape,     &rider::fork_upper_shape,  &rider::fork_lower_shape,
    &rider::swingarm_shape,  &rider::front_wheel_shape, &rider::rear_wheel_shape,
    &rider::rider_shape,
};

struct sphere {
  float x, y, z, r;
};

// Spheres of radius r from a to b, n of them evenly.
void along(std::vector<sphere>* s, const float a[3], const float b[3], int n, float r) {
  for (int i = 0; i < n; i++) {
    const float t = n > 1 ? (float)i / (n - 1) : 0.5f;
    s->push_back({a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t, r});
  }
}

shape* load_shape(const char* file, const std::vector<sphere>& spheres) {
  const std::string path = std::string(test_root()) + "/" + file;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  fprintf(f, "%d\n", (int)spheres.size());
  for (const sphere& s : spheres) fprintf(f, "%f %f %f %f 0.6 2500 250\n", s.x, s.y, s.z, s.r);
  fclose(f);
  return shape_load_copy(path.c_str());
}

}  // namespace

void test_rider_give_shapes(rider* r) {
  const bike_model* row = rider_model(r);
  for (shape* rider::*field : part_shapes) {
    check_free(r->*field);
    r->*field = nullptr;
  }
  const float* fs = row->frame_size;
  float d[3];
  std::vector<sphere> s;
  const float zero[3] = {0, 0, 0};
  const float back[3] = {0, 0, -fs[2] / 2}, front[3] = {0, 0, fs[2] / 2};
  along(&s, back, front, 3, fs[0] / 2);
  r->frame_shape = load_shape("test_frame.shp", s);
  s.clear();
  for (int i = 0; i < 3; i++) d[i] = row->fork_lower_position[i] - row->fork_upper_position[i];
  along(&s, zero, d, 2, row->fork_leg_spacing / 2);
  r->fork_upper_shape = load_shape("test_fork_upper.shp", s);
  s.clear();
  for (int i = 0; i < 3; i++) d[i] = row->front_wheel_position[i] - row->fork_lower_position[i];
  along(&s, zero, d, 2, row->fork_leg_spacing / 2);
  r->fork_lower_shape = load_shape("test_fork_lower.shp", s);
  s.clear();
  float a[3], b[3];
  for (int i = 0; i < 3; i++) {
    a[i] = row->swingarm_pivot[i] - row->swingarm_position[i];
    b[i] = row->rear_wheel_position[i] - row->swingarm_position[i];
  }
  along(&s, a, b, 3, fs[0] / 3);
  r->swingarm_shape = load_shape("test_swingarm.shp", s);
  for (int w = 0; w < 2; w++) {
    const float rim = w == 0 ? row->front_rim_radius : row->rear_rim_radius;
    const float tyre = w == 0 ? row->front_tyre_radius : row->rear_tyre_radius;
    s.clear();
    for (int i = 0; i < 8; i++) {
      const float t = 2 * (float)M_PI * i / 8;
      s.push_back({0, rim * std::cos(t), rim * std::sin(t), tyre});
    }
    shape* made = load_shape(w == 0 ? "test_front_wheel.shp" : "test_rear_wheel.shp", s);
    (w == 0 ? r->front_wheel_shape : r->rear_wheel_shape) = made;
  }
  s.clear();
  const float* g = row->pose_geometry;
  s.push_back({g[0], g[1], g[2], 0.45f});
  s.push_back({0, 0, 0, 0.55f});
  s.push_back({0, (g[10] + g[13]) / 2, (g[11] + g[14]) / 2, 0.5f});
  r->rider_shape = load_shape("test_rider.shp", s);
}

void test_track_close() {
  for (rider& r : rider_table) {
    for (shape* rider::*field : part_shapes) {
      check_free(r.*field);
      r.*field = nullptr;
    }
    rider_destroy(&r);
  }
  shape_free_all();
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
