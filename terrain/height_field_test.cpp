#include "terrain/height_field.h"

#include <gtest/gtest.h>

#include <cmath>

#include "terrain/bitmap.h"
#include "terrain/terrain_files.h"
#include "terrain/track_lighting.h"

namespace {

height_field field;

struct HeightField : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(terrain_create(&field, 7, 2.0f), 1);
    track_lighting_reset(&lighting);
  }
  void TearDown() override { free_terrain(&field); }
  static void set(int i, int j, float h) { field.heights[i + field.size * j] = h; }
};

TEST_F(HeightField, HeightAtVerticesBetweenThemAndBeyondTheEdges) {
  // Two cells, (0, 0) even and (1, 0) odd, with heights that tell the two
  // diagonals apart.
  set(0, 0, 0);
  set(1, 0, 4);
  set(2, 0, 6);
  set(0, 1, 8);
  set(1, 1, 2);
  set(2, 1, 10);
  const int last = field.size - 1;
  set(last, last, 5);
  const float e = field.extent;
  const struct {
    float x, z, want;
  } cases[] = {
      {0, 0, 0},   {2, 0, 4},     {2, 2, 2},     {4, 2, 10},   // vertices
      {1, 0.5f, 1.5f}, {0.5f, 1, 2.5f},                       // both halves of the even cell
      {0.6f, 0.6f, 0.6f},                                      // on its diagonal
      {2.5f, 0.5f, 4}, {3.5f, 1.5f, 7},                        // both halves of the odd cell
      {-5, -5, 0}, {-2, 1, 4},                                 // beyond the low edges
      {e, e, 5},   {e + 100, e, 5}, {e, e + 1e6f, 5},          // at and beyond the far corner
  };
  for (const auto& c : cases) EXPECT_NEAR(terrain_height(&field, c.x, c.z), c.want, 1e-5f) << c.x << ", " << c.z;
  EXPECT_TRUE(std::isfinite(terrain_height(&field, NAN, 1e30f)));
}

TEST_F(HeightField, NormalsOfATiltedPlaneAndASymmetricBump) {
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++) set(i, j, 0.25f * (float)i * field.spacing);
  const float length = std::sqrt(0.25f * 0.25f + 1.0f);
  for (int v : {0, 1, 64, field.size - 1}) {
    float n[3];
    terrain_vertex_normal(&field, v, v == 1 ? 0 : v, n);
    EXPECT_NEAR(n[0], -0.25f / length, 1e-5f);
    EXPECT_NEAR(n[1], 1.0f / length, 1e-5f);
    EXPECT_NEAR(n[2], 0.0f, 1e-5f);
  }
  free_terrain(&field);
  ASSERT_EQ(terrain_create(&field, 7, 2.0f), 1);
  // Eight triangles meet at an even vertex, symmetrically: the normal of a
  // raised one points straight up; its odd neighbour leans away from it.
  set(10, 10, 3);
  float n[3];
  terrain_vertex_normal(&field, 10, 10, n);
  EXPECT_NEAR(n[0], 0, 1e-6f);
  EXPECT_NEAR(n[1], 1, 1e-6f);
  EXPECT_NEAR(n[2], 0, 1e-6f);
  terrain_vertex_normal(&field, 11, 10, n);
  EXPECT_GT(n[0], 0.1f);
  EXPECT_NEAR(n[2], 0, 1e-6f);
}

TEST_F(HeightField, TriangleNormalsAreKeptUntilTheirDirtyBitIsSet) {
  float before[3], after[3];
  terrain_triangle_normal(&field, 5, 5, 0, before);
  EXPECT_FLOAT_EQ(before[1], 1.0f);
  const int64_t k = 2 * 5 + 0 + (int64_t)(2 * field.size - 2) * 5;
  EXPECT_FALSE(bitmap_test(field.triangle_dirty, k));
  set(5, 6, 4);  // a corner of half 0 of cell (5, 5)
  terrain_triangle_normal(&field, 5, 5, 0, after);
  EXPECT_FLOAT_EQ(after[1], 1.0f);
  bitmap_set(field.triangle_dirty, k);
  terrain_triangle_normal(&field, 5, 5, 0, after);
  EXPECT_LT(after[1], 0.9f);
  EXPECT_GT(after[1], 0.0f);
}

TEST_F(HeightField, ShadingRefreshesOnlyDirtyVerticesUnderTheTrackLight) {
  // terrain_create leaves every vertex due.
  refresh_terrain_normals(&field);
  // Sun (1, 1, 1) / sqrt(3) on flat ground, white light, ambient 0.5.
  EXPECT_EQ(field.shading[0], 137);
  EXPECT_EQ(field.shading[3 * 500 + 2], 137);
  for (int64_t k = 0; k < (int64_t)field.size * field.size; k++) ASSERT_FALSE(bitmap_test(field.vertex_dirty, k));

  const int v = 3 + field.size * 4;
  field.shadows[v] = 255;  // fully shadowed
  field.shadows[v + 1] = 255;
  bitmap_set(field.vertex_dirty, v);
  refresh_terrain_normals(&field);
  EXPECT_EQ(field.shading[3 * v], 63);       // ambient only
  EXPECT_EQ(field.shading[3 * (v + 1)], 137);  // not due, so untouched
}

TEST(HeightFieldRecord, CreateRefusesGridsOutsideTheRangeAndFreeIsSafeTwice) {
  for (int n : {6, 13}) EXPECT_EQ(terrain_create(&field, n, 4.0f), 0) << n;
  EXPECT_EQ(terrain_create(&field, 7, 0.0f), 0);
  EXPECT_EQ(field.heights, nullptr);
  ASSERT_EQ(terrain_create(&field, 8, 1.0f), 1);
  EXPECT_EQ(field.size, 513);
  EXPECT_EQ(terrain_triangle_count(&field), 1024 * 512);
  EXPECT_EQ(terrain_lod_node_count(&field), (1 << 18) / 3);
  free_terrain(&field);
  free_terrain(&field);
  EXPECT_EQ(field.heights, nullptr);
  EXPECT_EQ(field.block_size, 128);
  EXPECT_EQ(field.lod_centre[0], -1000000);
}

}  // namespace
