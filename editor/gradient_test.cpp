#include "editor/gradient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/editor.h"
#include "editor/height_brush.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

namespace {

struct profile_point {
  float distance, height;
  int type;
};

class Gradient : public ::testing::Test {
 protected:
  void SetUp() override {
    growable_array_init(&editor.gradients, sizeof(gradient), 4);
    editor.selected_gradient = -1;
  }
  void TearDown() override {
    for (size_t i = 0; i < editor.gradients.count; i++) {
      gradient* g = static_cast<gradient*>(growable_array_at(&editor.gradients, i));
      growable_array_free(&g->points);
      growable_array_free(&g->types);
    }
    growable_array_free(&editor.gradients);
    editor.selected_gradient = -1;
  }
  void select(float length, const std::vector<profile_point>& points) {
    gradient g{};
    g.end_x = length;
    growable_array_init(&g.points, sizeof(gradient_point), 4);
    growable_array_init(&g.types, 1, 4);
    for (const profile_point& p : points) {
      const gradient_point q{p.distance, p.height};
      const uint8_t t = (uint8_t)p.type;
      growable_array_append(&g.points, &q);
      growable_array_append(&g.types, &t);
    }
    growable_array_append(&editor.gradients, &g);
    editor.selected_gradient = (int)editor.gradients.count - 1;
  }
};

TEST_F(Gradient, ProfileHeightsFollowLinesAndCurves) {
  select(20, {{0, 0, 0}, {20, 5, 0}});
  EXPECT_FLOAT_EQ(gradient_profile_height(10), 2.5f);
  EXPECT_FLOAT_EQ(gradient_profile_height(-3), 0.0f);
  EXPECT_FLOAT_EQ(gradient_profile_height(20), 5.0f);
  EXPECT_FLOAT_EQ(gradient_profile_height(1e6f), 5.0f);

  // A point between two Curves takes the mean slope; after a Line, the
  // backward difference.
  select(20, {{0, 0, 1}, {10, 5, 1}, {20, 0, 0}});
  EXPECT_FLOAT_EQ(gradient_point_slope(1), 0.0f);
  EXPECT_FLOAT_EQ(gradient_profile_height(5), 3.125f);
  select(20, {{0, 0, 0}, {10, 5, 1}, {20, 0, 0}});
  EXPECT_FLOAT_EQ(gradient_point_slope(1), 0.5f);
}

TEST_F(Gradient, DegenerateProfilesStayFinite) {
  editor.selected_gradient = 3;  // outside the list
  EXPECT_EQ(gradient_profile_height(1), 0.0f);
  EXPECT_EQ(gradient_point_slope(0), 0.0f);
  select(10, {{4, 2, 1}});
  EXPECT_EQ(gradient_point_slope(0), 0.0f);
  EXPECT_EQ(gradient_profile_height(1), 2.0f);
  select(10, {{0, 0, 1}, {5, 1, 1}, {5, 3, 1}, {10, 0, 1}});
  for (int i = 0; i < 4; i++) EXPECT_TRUE(std::isfinite(gradient_point_slope(i))) << i;
  for (float d = -1; d < 12; d += 0.5f) EXPECT_TRUE(std::isfinite(gradient_profile_height(d))) << d;
}

TEST_F(Gradient, ResetProfileSpansTheAxis) {
  height_field field{};
  editor.terrain = &field;
  select(0, {{0, 0, 1}, {3, 2, 1}, {9, 4, 1}});
  gradient* g = editor_selected_gradient();
  g->start_x = 1;
  g->start_z = 1;
  g->end_x = 4;
  g->end_z = 5;
  editor.selected_point = 2;
  gradient_reset_profile();
  ASSERT_EQ(g->points.count, 2u);
  ASSERT_EQ(g->types.count, 2u);
  EXPECT_FLOAT_EQ(static_cast<gradient_point*>(growable_array_at(&g->points, 1))->distance, 5.0f);
  EXPECT_EQ(*static_cast<uint8_t*>(growable_array_at(&g->types, 0)), 0);
  EXPECT_EQ(editor.selected_point, -1);
  EXPECT_EQ(field.change_flags, 7);
  editor.terrain = nullptr;
}

// At full resolution the coarse sampling is the terrain's own surface; a
// level down it is the plane through the coarse cell's corners.
TEST(CoarseHeight, MatchesTheTerrainsTriangles) {
  height_field field{};
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  const int r = field.size;
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) field.heights[i + r * j] = (float)((i * 7 + j * 13) % 11);
  editor.terrain = &field;
  editor.size = r;
  std::vector<float> base(field.heights, field.heights + (size_t)r * r);
  editor.stroke_base = base.data();
  for (float x = -3; x < field.extent + 3; x += 3.1f)
    for (float z = -3; z < field.extent + 3; z += 2.9f)
      ASSERT_NEAR(editor_coarse_height_at(field.n, x, z), terrain_height(&field, x, z), 1e-4) << x << "," << z;
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) ASSERT_EQ(editor_coarse_height_cell(field.n, i, j), field.heights[i + r * j]);

  // A plane is kept whole on every level.
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) base[i + r * j] = 0.5f * i - 0.25f * j;
  for (int level = 0; level <= field.n; level++)
    for (int j = 0; j < r - 1; j += 7)
      for (int i = 0; i < r - 1; i += 5)
        ASSERT_NEAR(editor_coarse_height_cell(level, i, j), 0.5f * i - 0.25f * j, 1e-4) << level;
  editor.stroke_base = nullptr;
  editor.terrain = nullptr;
  editor.size = 0;
  free_terrain(&field);
}

}  // namespace
