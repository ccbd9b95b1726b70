#include "editor/gradient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/height_brush.h"
#include "race/menu_screen.h"
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

TEST_F(Gradient, LinearAndRadialRules) {
  select(20, {{0, 0, 0}, {20, 20, 0}});
  gradient* g = editor_selected_gradient();
  g->start_x = 100;
  g->start_z = 100;
  g->end_x = 120;
  g->end_z = 100;
  // Linear: the signed distance along the axis, whatever the offset across.
  EXPECT_FLOAT_EQ(gradient_linear_height(110, 130), 10);
  EXPECT_FLOAT_EQ(gradient_linear_height(90, 100), 0);
  EXPECT_FLOAT_EQ(gradient_linear_height(150, 90), 20);
  // Radial: a round cap ahead of the start...
  EXPECT_FLOAT_EQ(gradient_radial_height(100, 110), 10);
  EXPECT_FLOAT_EQ(gradient_radial_height(106, 108), 10);
  // ...and the distance from the axis line behind it.
  EXPECT_FLOAT_EQ(gradient_radial_height(95, 104), 4);
  EXPECT_FLOAT_EQ(gradient_radial_height(40, 93), 7);
  EXPECT_FLOAT_EQ(gradient_radial_height(97, 100), gradient_radial_height(100, 100));

  // An axis of no length: the linear rule reads the start, the radial one
  // the distance from it.
  g->end_x = 100.004f;
  EXPECT_FLOAT_EQ(gradient_linear_height(130, 140), 0);
  EXPECT_FLOAT_EQ(gradient_radial_height(94, 92), 10);
  g->end_x = 100;
  for (float x : {90.0f, 100.0f, 113.0f}) {
    EXPECT_TRUE(std::isfinite(gradient_linear_height(x, 97))) << x;
    EXPECT_TRUE(std::isfinite(gradient_radial_height(x, 97))) << x;
  }
  editor.selected_gradient = -1;
  EXPECT_EQ(gradient_linear_height(110, 100), 0);
  EXPECT_EQ(gradient_radial_height(110, 100), 0);
}

TEST_F(Gradient, GraphSamplesCountFromTheSegmentStart) {
  select(0, {{0, 0, 1}, {10, 5, 1}, {10, 7, 1}, {2e7f, 0, 1}});
  const gradient_point* p = static_cast<const gradient_point*>(editor_selected_gradient()->points.data);
  static float out[gradient_segment_max_samples][3];
  ASSERT_EQ(draw_gradient_segment(p, 0, 4, out), 40);
  EXPECT_FLOAT_EQ(out[39][0], 9.75f);
  EXPECT_FLOAT_EQ(out[20][2], -gradient_segment_height(0, 0.5f));
  EXPECT_EQ(draw_gradient_segment(p, 1, 4, out), 0);  // no length
  // A far point: the sampling ends at its cap instead of spinning.
  EXPECT_EQ(draw_gradient_segment(p, 2, 4, out), (int)gradient_segment_max_samples);
  EXPECT_FLOAT_EQ(out[4095][0], 10 + 0.25f * 4095);
  ASSERT_EQ(draw_gradient_segment(p, 3, 4, out), 1);
  EXPECT_FLOAT_EQ(out[0][0], 2e7f);
  EXPECT_FLOAT_EQ(out[0][2], 0);
}

// The gradient tools with the mouse over known world points: a 100-unit
// world at Zoom 1 picks handles within 0.5.
class GradientTool : public Gradient {
 protected:
  void SetUp() override {
    Gradient::SetUp();
    editor_items_reset();
    field_.extent = 100;
    editor.terrain = &field_;
    menu_screen = {512, 512, 256, 256};
  }
  void TearDown() override {
    editor.terrain = nullptr;
    editor.drag_state = 0;
    editor.selected_point = -1;
    editor_items_reset();
    Gradient::TearDown();
  }
  static void mouse_at(float x, float z) {
    editor.centre_x = x;
    editor.centre_z = z;
  }
  gradient* placed(float sx, float sz, float ex, float ez, const std::vector<profile_point>& points) {
    select(0, points);
    gradient* g = editor_selected_gradient();
    g->start_x = sx;
    g->start_z = sz;
    g->end_x = ex;
    g->end_z = ez;
    return g;
  }
  static gradient_point point(const gradient* g, int i) {
    return *static_cast<const gradient_point*>(growable_array_at(&g->points, (size_t)i));
  }
  static int type(const gradient* g, int i) { return *static_cast<const uint8_t*>(growable_array_at(&g->types, (size_t)i)); }
  height_field field_{};
};

TEST_F(GradientTool, EditPointsOnTheGraph) {
  ASSERT_FLOAT_EQ(editor_pick_radius(), 0.5f);
  gradient* g = placed(10, 50, 30, 50, {{0, 0, 0}, {2, 1, 0}, {10, 2, 0}, {20, 0, 0}});
  // Granularity 0.5: (3.3, 1.76) lands on (3.5, 2.0).
  editor_granularity = 0.5;
  mouse_at(10 + 2.2f, 50 - 1.1f);
  profile_point_pick_or_insert();
  EXPECT_EQ(editor.selected_point, 1);
  EXPECT_EQ(editor.drag_state, 1);
  mouse_at(10 + 3.3f, 50 - 1.76f);
  gradient_edit_drag();
  EXPECT_FLOAT_EQ(point(g, 1).distance, 3.5f);
  EXPECT_FLOAT_EQ(point(g, 1).height, 2.0f);
  EXPECT_EQ(field_.change_flags, 7);

  // Past the right neighbour the point goes and the drag ends.
  editor_granularity = 0;
  mouse_at(10 + 12, 50);
  gradient_edit_drag();
  ASSERT_EQ(g->points.count, 3u);
  EXPECT_EQ(g->types.count, 3u);
  EXPECT_EQ(editor.drag_state, 0);
  EXPECT_EQ(editor.selected_point, -1);
  EXPECT_FLOAT_EQ(point(g, 1).distance, 10);
  gradient_edit_drag();  // nothing held any more
  EXPECT_EQ(g->points.count, 3u);

  // The ends move only up and down.
  mouse_at(10 + 20, 50);
  profile_point_pick_or_insert();
  ASSERT_EQ(editor.selected_point, 2);
  mouse_at(10 + 27, 50 - 4);
  gradient_edit_drag();
  EXPECT_FLOAT_EQ(point(g, 2).distance, 20);
  EXPECT_FLOAT_EQ(point(g, 2).height, 4);
}

TEST_F(GradientTool, AnInsertKeepsTheSplitSegmentsType) {
  gradient* g = placed(10, 50, 30, 50, {{0, 0, 1}, {20, 0, 0}});
  editor_segment_type = 0;
  mouse_at(10 + 8, 50 - 3);
  profile_point_pick_or_insert();
  ASSERT_EQ(g->points.count, 3u);
  ASSERT_EQ(g->types.count, 3u);
  EXPECT_FLOAT_EQ(point(g, 1).distance, 8);
  EXPECT_FLOAT_EQ(point(g, 1).height, 3);
  EXPECT_EQ(type(g, 1), 1);
  EXPECT_EQ(type(g, 0), 1);
  EXPECT_EQ(editor.selected_point, 1);
  EXPECT_EQ(editor.drag_state, 1);
  EXPECT_EQ(editor_segment_type, 1);
  // Off the profile's span nothing is inserted.
  mouse_at(10 + 25, 50 - 3);
  profile_point_pick_or_insert();
  EXPECT_EQ(g->points.count, 3u);
  EXPECT_EQ(editor.drag_state, 0);
}

TEST_F(GradientTool, AimingKeepsAShapedProfilesLength) {
  gradient* g = placed(10, 50, 50, 50, {{0, 0, 0}, {40, 3, 0}});
  mouse_at(50.2f, 50.1f);
  gradient_placement_press();
  ASSERT_EQ(editor.drag_state, 2);
  mouse_at(10, 80);
  gradient_placement_drag();
  EXPECT_NEAR(g->end_x, 10, 1e-4);
  EXPECT_NEAR(g->end_z, 90, 1e-4);
  // Onto the start there is no direction: the end stays.
  mouse_at(10.004f, 50);
  gradient_placement_drag();
  EXPECT_NEAR(g->end_z, 90, 1e-4);
  gradient_placement_release();
  EXPECT_FLOAT_EQ(point(g, 1).height, 3);

  // A blank profile lets the end follow; the release fits the profile.
  g = placed(10, 20, 50, 20, {{0, 0, 0}, {40, 0, 0}});
  mouse_at(50, 20);
  gradient_placement_press();
  ASSERT_EQ(editor.drag_state, 2);
  mouse_at(10, 50);
  gradient_placement_drag();
  EXPECT_FLOAT_EQ(g->end_x, 10);
  EXPECT_FLOAT_EQ(g->end_z, 50);
  mouse_at(10, 20);
  gradient_placement_drag();  // onto the start: ignored
  EXPECT_FLOAT_EQ(g->end_z, 50);
  gradient_placement_release();
  ASSERT_EQ(g->points.count, 2u);
  EXPECT_FLOAT_EQ(point(g, 1).distance, 30);

  // Moving a blank start onto its end is ignored too; a shaped one moves
  // whole.
  mouse_at(10, 20);
  gradient_placement_press();
  ASSERT_EQ(editor.drag_state, 1);
  mouse_at(10, 50);
  gradient_placement_drag();
  EXPECT_FLOAT_EQ(g->start_z, 20);
  mouse_at(10, 30);
  gradient_placement_drag();
  EXPECT_FLOAT_EQ(g->start_z, 30);
  EXPECT_FLOAT_EQ(g->end_z, 50);
}

TEST_F(GradientTool, ThePressPicksTheLastGradientUnderTheMouse) {
  placed(10, 10, 30, 10, {{0, 0, 0}, {20, 0, 0}});
  placed(30, 10, 30, 40, {{0, 0, 0}, {30, 0, 0}});
  placed(70, 70, 90, 70, {{0, 0, 0}, {20, 0, 0}});
  editor.selected_point = 1;
  mouse_at(30.2f, 10);
  gradient_placement_press();
  EXPECT_EQ(editor.drag_state, 0);
  EXPECT_EQ(editor.selected_gradient, 1);
  EXPECT_EQ(editor.selected_point, -1);
  mouse_at(60, 60);
  gradient_pick();
  EXPECT_EQ(editor.selected_gradient, 1);
}

}  // namespace
