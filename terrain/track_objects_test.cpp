#include "terrain/track_objects.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>

#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "tools/testing/test_env.h"

namespace {

std::string write_ball_shape(float radius) {
  const std::string path = std::string(test_root()) + "/ball" + std::to_string(radius) + ".shp";
  FILE* f = fopen(path.c_str(), "wb");
  fprintf(f, "1\n0 0 0 %g 1 2500 250\n", radius);
  fclose(f);
  return path;
}

// A field of extent 1024 (257 x 257 at 4 ft) in track_field, and statues.
class TrackObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    terrain_reset(&track_field);
    ASSERT_EQ(terrain_create(&track_field, 7, 4.0f), 1);
    ASSERT_EQ(growable_array_init(&statues, sizeof(statue), 16), 1);
  }
  void TearDown() override {
    track_objects_free();
    free_terrain(&track_field);
    shape_free_all();
  }
  int32_t add_statue(float x, float z, float radius) {
    statue s;
    memset(&s, 0, sizeof s);
    s.x = x;
    s.z = z;
    s.shape = radius > 0 ? shape_load_copy(write_ball_shape(radius).c_str()) : nullptr;
    EXPECT_EQ(growable_array_append(&statues, &s), 1);
    return (int32_t)statues.count - 1;
  }
  std::set<int> cells_of(int32_t index) {
    std::set<int> cells;
    for (int row = 0; row < statue_grid_side; row++)
      for (int column = 0; column < statue_grid_side; column++) {
        const growable_array& cell = statue_grid[row][column];
        for (size_t k = 0; cell.data && k < cell.count; k++)
          if (static_cast<int32_t*>(cell.data)[k] == index) cells.insert(10 * column + row);
      }
    return cells;
  }
};

TEST_F(TrackObjects, StatueGridCells) {
  EXPECT_EQ(track_field.extent, 1024.0f);
  struct {
    float x, z, radius;
    std::set<int> cells;  // 10 x column + row
  } cases[] = {
      {600, 600, 1, {44}},                   // inside cell (4, 4)
      {512, 512, 1, {33, 34, 43, 44}},       // 512 is the line between cells 3 and 4
      {50, 600, 1, {4}},                     // left of the grid: column 0
      {1000, 20, 1, {70}},                   // right of and above the grid
      {300, 560, 30, {14, 24}},              // a wide statue spans two columns
      {600, 600, 0, {}},                     // no shape: not in the grid
  };
  for (const auto& c : cases) add_statue(c.x, c.z, c.radius);
  statue_grid_rebuild();
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
    EXPECT_EQ(cells_of((int32_t)i), cases[i].cells) << "statue " << i;
  // A rebuild does not list anything twice.
  statue_grid_rebuild();
  EXPECT_EQ(statue_grid[4][4].count, 2u);
}

TEST_F(TrackObjects, StatuesNearAPoint) {
  add_statue(600, 600, 1);  // 0: cell (4, 4)
  add_statue(512, 512, 1);  // 1: cells 3..4 x 3..4
  add_statue(650, 500, 1);  // 2: cell (5, 3)
  add_statue(100, 100, 1);  // 3: cell (0, 0)
  add_statue(610, 610, 0);  // 4: no shape
  add_statue(700, 700, 1);  // 5: cell (5, 5)
  statue_grid_rebuild();
  struct {
    float x, z;
    std::vector<int32_t> near;
  } cases[] = {
      {600, 600, {0, 1}},        // one cell: its own list
      {512, 512, {0, 1}},        // four cells meet: statue 1 once
      {514, 514, {0, 1}},        // the window reaches back over the line
      {608, 500, {1, 2}},        // columns 4 and 5 of row 3
      {20, 20, {3}},             // below the grid
      {704, 704, {5}},           // 704 is the line between cells 5 and 6
      {1020, 1020, {}},          // an empty corner
  };
  for (const auto& c : cases) {
    const growable_array* list = statue_grid_near(c.x, c.z, 6.0f);
    ASSERT_NE(list, nullptr);
    std::vector<int32_t> got(static_cast<int32_t*>(list->data), static_cast<int32_t*>(list->data) + list->count);
    EXPECT_EQ(got, c.near) << c.x << ", " << c.z;
  }
}

TEST_F(TrackObjects, TerrainAlignedBasis) {
  float b[9];
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  terrain_aligned_basis(b, 100, 100, 4.0f);
  for (int k = 0; k < 9; k++) EXPECT_FLOAT_EQ(b[k], identity[k]);
  terrain_aligned_basis(b, 100, 100, 0.0f);
  for (int k = 0; k < 9; k++) EXPECT_NEAR(b[k], identity[k], 1e-6);
  // A quarter turn: the object's x axis points along -z.
  terrain_aligned_basis(b, 100, 100, (float)M_PI / 2);
  const float quarter[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
  for (int k = 0; k < 9; k++) EXPECT_NEAR(b[k], quarter[k], 1e-6);

  // Ground rising 0.5 per foot along x: the up column tilts back.
  const int r = track_field.size;
  for (int k = 0; k < r; k++)
    for (int i = 0; i < r; i++) track_field.heights[i + r * k] = 0.5f * 4.0f * i;
  terrain_aligned_basis(b, 100, 100, 0.0f);
  const float l = sqrtf(1.25f);
  EXPECT_NEAR(b[1], -0.5f / l, 1e-5);
  EXPECT_NEAR(b[4], 1.0f / l, 1e-5);
  EXPECT_NEAR(b[7], 0.0f, 1e-5);
  EXPECT_NEAR(b[0], 1.0f / l, 1e-5);  // forward runs up the slope
  EXPECT_NEAR(b[3], 0.5f / l, 1e-5);
  // Below -2 pi the object is turned but kept upright.
  terrain_aligned_basis(b, 100, 100, -7.0f);
  EXPECT_NEAR(b[4], 1.0f, 1e-6);
  EXPECT_NEAR(b[1], 0.0f, 1e-6);
  EXPECT_NEAR(b[0], cosf(-7.0f), 1e-6);
  EXPECT_NEAR(b[6], -sinf(-7.0f), 1e-6);
}

TEST_F(TrackObjects, BillboardColourPrefix) {
  struct {
    const char* name;
    uint8_t r, g, b;
  } cases[] = {
      {"#ff8000#tree.png", 255, 128, 0},
      {"#ff000#tree.png", 255, 255, 255},  // five digits: the whole string is the name
      {"#zz0000#x.png", 255, 255, 255},
      {"plain.png", 255, 255, 255},
      {nullptr, 255, 255, 255},
  };
  track_field.heights[3 + track_field.size * 2] = 0.0f;
  for (const auto& c : cases) {
    const int32_t i = add_billboard(8, 1.5f, 8, 2, 1, c.name);
    const billboard* b = billboard_at(i);
    EXPECT_EQ(b->colour[0], c.r) << (c.name ? c.name : "null");
    EXPECT_EQ(b->colour[1], c.g);
    EXPECT_EQ(b->colour[2], c.b);
    EXPECT_EQ(b->colour[3], 255);
    EXPECT_FLOAT_EQ(b->y, 1.5f);
  }
  EXPECT_EQ(billboards.count, 5u);
  EXPECT_EQ(billboard_extras.count, 5u);
}

}  // namespace
