// The side panel's actions, headless: on a created field and on the sample
// track.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/message_ring.h"
#include "editor/editor.h"
#include "editor/editor_files.h"
#include "editor/editor_items.h"
#include "editor/editor_panel.h"
#include "editor/gradient.h"
#include "editor/test_support_sample_track.h"
#include "race/menu_screen.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

height_field field;

std::vector<gradient_point> points_of(const gradient* g) {
  const gradient_point* p = (const gradient_point*)g->points.data;
  return std::vector<gradient_point>(p, p + g->points.count);
}

std::vector<int> types_of(const gradient* g) {
  std::vector<int> out;
  for (size_t i = 0; i < g->types.count; i++) out.push_back(((const uint8_t*)g->types.data)[i]);
  return out;
}

gradient* gradient_number(int i) { return (gradient*)growable_array_at(&editor.gradients, (size_t)i); }

class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_keys_name(nullptr);
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
    std::snprintf(track_source, sizeof track_source, "%s/panel_track", test_root());
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_hooks.active = 0;
    editor_items_reset();
    track_source[0] = 0;
  }
  // A created field, flat, or rising 0.1 a unit along x.
  void make_field(int ramp) {
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    const int r = field.size;
    for (int j = 0; j < r; j++)
      for (int i = 0; i < r; i++) field.heights[i + r * j] = ramp ? 0.1f * (float)i * field.spacing : 0.0f;
    field.max_height = ramp ? 0.1f * field.extent : 0;
    editor_track_loaded(&field);
    ASSERT_EQ(editor.terrain, &field);
  }
  // Offers the key to panel item `item` as the key handler would.
  void act(int item, int key = ' ') {
    editor.panel_item = item;
    editor_panel_action(key);
    editor.panel_item = -1;
  }
  gradient* add_gradient(float x0, float z0, float x1, float z1) {
    if (!editor_new_gradient()) return nullptr;
    gradient* g = editor_selected_gradient();
    g->start_x = x0;
    g->start_z = z0;
    g->end_x = x1;
    g->end_z = z1;
    gradient_reset_profile();
    return g;
  }
};

TEST_F(Panel, ABackgroundClickChangesNothingAndStartsNoStroke) {
  make_field(0);
  int* whole = editor_dummy_item.rect;
  whole[0] = 0, whole[1] = 0, whole[2] = 150, whole[3] = 480;
  menu_screen.mouse_x = 100;
  menu_screen.mouse_y = 470;
  field.change_flags = 0;
  editor_set_message("before");
  EXPECT_EQ(editor_key(menu_keys.click, 1), 0);
  EXPECT_EQ(editor.panel_item, panel_dummy);
  EXPECT_NE(editor.held_key, (int)editor_held_tool);
  editor_update();
  editor_key(menu_keys.click, 0);
  EXPECT_EQ(editor.mode, mode_raise);
  EXPECT_EQ(editor.gradients.count, 0u);
  EXPECT_EQ(field.change_flags, 0);
  EXPECT_EQ(editor.undo_count, 1);
  EXPECT_STREQ(editor.message, "before");
}

TEST_F(Panel, ChoosingAToolCommitsOnlyOnAChange) {
  make_field(0);
  editor_set_height(&field, 10, 10, 3);
  editor.pending = 1;
  editor_set_message("before");
  act(mode_raise);
  EXPECT_EQ(editor.undo_count, 1);
  EXPECT_STREQ(editor.message, "before");
  act(mode_gradient_placement);
  EXPECT_EQ(editor.mode, mode_gradient_placement);
  EXPECT_EQ(editor.undo_count, 2);
  EXPECT_EQ(editor.pending, 0);
  EXPECT_STREQ(editor.message, "OK");
}

TEST_F(Panel, NewAndCopyGradient) {
  make_field(0);
  act(panel_copy_gradient);
  EXPECT_STREQ(editor.message, "No gradient selected");
  EXPECT_EQ(editor.gradients.count, 0u);
  act(panel_new_gradient);
  ASSERT_EQ(editor.gradients.count, 1u);
  const gradient* g = gradient_number(0);
  // The world point under the window's centre.
  EXPECT_FLOAT_EQ(g->start_x, field.extent / 2);
  EXPECT_FLOAT_EQ(g->end_x, field.extent / 2 + 50);
  EXPECT_FLOAT_EQ(g->end_z, field.extent / 2);
  EXPECT_EQ(points_of(g).size(), 2u);

  gradient* source = add_gradient(0, 0, 50, 0);
  gradient_point* p = (gradient_point*)source->points.data;
  p[1].height = 4;
  ((uint8_t*)source->types.data)[0] = 1;
  act(panel_copy_gradient);
  ASSERT_EQ(editor.gradients.count, 3u);
  EXPECT_EQ(editor.selected_gradient, 2);
  const gradient* copy = gradient_number(2);
  EXPECT_FLOAT_EQ(copy->start_x, 0);
  EXPECT_FLOAT_EQ(copy->start_z, -10);
  EXPECT_FLOAT_EQ(copy->end_x, 50);
  EXPECT_FLOAT_EQ(copy->end_z, -10);
  ASSERT_EQ(points_of(copy).size(), 2u);
  EXPECT_FLOAT_EQ(points_of(copy)[1].distance, 50);
  EXPECT_FLOAT_EQ(points_of(copy)[1].height, 4);
  EXPECT_EQ(types_of(copy), (std::vector<int>{1, 0}));
  // Copies made until the list grows still copy the right source.
  for (int k = 0; k < 20; k++) act(panel_copy_gradient);
  const gradient* last = gradient_number((int)editor.gradients.count - 1);
  EXPECT_FLOAT_EQ(last->start_z, -10.0f * 21);
  EXPECT_FLOAT_EQ(points_of(last)[1].height, 4);
}

TEST_F(Panel, ZeroLengthAxesAreLeftAlone) {
  make_field(1);
  gradient* g = add_gradient(100, 100, 100.005f, 100);
  const size_t before = editor.gradients.count;
  act(panel_copy_gradient);
  EXPECT_STREQ(editor.message, "Gradient has no length");
  EXPECT_EQ(editor.gradients.count, before);
  g = editor_selected_gradient();
  const auto points = points_of(g);
  field.change_flags = 0;
  act(panel_set_from_terrain);
  EXPECT_EQ(points_of(editor_selected_gradient()).size(), points.size());
  EXPECT_EQ(field.change_flags, 0);
}

TEST_F(Panel, HeightWithoutABillboardOnlyMovesTheSlider) {
  make_field(0);
  editor.mode = mode_billboards;
  field.change_flags = 0;
  for (int current : {0, -1, 5}) {
    editor.current_billboard = current;
    editor_billboard_height = 0;
    act(panel_billboard_height, menu_keys.right);
    EXPECT_DOUBLE_EQ(editor_billboard_height, 0.25);
    EXPECT_EQ(field.change_flags, 0);
  }
}

TEST_F(Panel, SegmentTypeSetsTheSelectedPoint) {
  make_field(0);
  add_gradient(0, 0, 50, 0);
  editor.selected_point = 0;
  act(panel_segment_type, menu_keys.right);
  EXPECT_EQ(types_of(editor_selected_gradient()), (std::vector<int>{1, 0}));
  EXPECT_EQ(field.change_flags, 7);
  // A point outside the profile is no point.
  editor.selected_point = 7;
  act(panel_segment_type, menu_keys.right);
  EXPECT_EQ(types_of(editor_selected_gradient()), (std::vector<int>{1, 0}));
}

TEST_F(Panel, FlattenGivesAFlatProfileOverTheAxis) {
  make_field(0);
  gradient* g = add_gradient(10, 10, 40, 50);
  const gradient_point middle = {20, 6};
  const uint8_t curve = 1;
  growable_array_insert(&g->points, 1, &middle);
  growable_array_insert(&g->types, 1, &curve);
  editor.selected_point = 1;
  field.change_flags = 0;
  act(panel_flatten);
  const auto points = points_of(editor_selected_gradient());
  ASSERT_EQ(points.size(), 2u);
  EXPECT_FLOAT_EQ(points[0].distance, 0);
  EXPECT_FLOAT_EQ(points[1].distance, 50);
  EXPECT_FLOAT_EQ(points[0].height + points[1].height, 0);
  EXPECT_EQ(types_of(editor_selected_gradient()), (std::vector<int>{0, 0}));
  EXPECT_EQ(editor.selected_point, -1);
  EXPECT_EQ(field.change_flags, 7);
}

TEST_F(Panel, TheSlopeLineNeedsASegment) {
  make_field(0);
  gradient* g = add_gradient(0, 0, 40, 0);
  gradient_point* p = (gradient_point*)g->points.data;
  p[1].height = 8;
  const gradient_point middle = {20, 2};
  const uint8_t curve = 1;
  growable_array_insert(&g->points, 1, &middle);
  growable_array_insert(&g->types, 1, &curve);
  // (0, 0) Line (20, 2) Curve (40, 8).
  char line[64];
  struct row {
    int point;
    const char* want;
  };
  const row rows[] = {{0, "Slope: 0.100"}, {1, "Slope: 0.100"}, {2, "Slope: 0.300"}};
  for (const row& r : rows) {
    editor.selected_point = r.point;
    ASSERT_EQ(editor_slope_line(line, sizeof line), 1) << r.point;
    EXPECT_STREQ(line, r.want) << r.point;
  }
  editor.selected_point = 3;
  EXPECT_EQ(editor_slope_line(line, sizeof line), 0);
  editor.selected_point = 0;
  g->points.count = g->types.count = 1;
  EXPECT_EQ(editor_slope_line(line, sizeof line), 0);
}

TEST_F(Panel, SwitchPointLineAndButtons) {
  make_field(0);
  const int saved_read = checkpoints_read;
  const int32_t saved_lists[2] = {lap_list_read[0], lap_list_read[1]};
  checkpoints_read = 4;
  lap_list_read[0] = 3;
  lap_list_read[1] = 3;
  const int32_t entries[6] = {0, 1, route_flagged + 1, route_flagged + 2, 0, 0};
  std::memcpy(route.entries, entries, sizeof entries);
  struct row {
    int gate;
    const char* line;
  };
  const row rows[] = {{0, "Switch Point: Yes"},    {1, "Switch Point: Mixed"}, {2, "Switch Point: No"},
                      {3, "Gate not referenced"},  {-1, "Gate not referenced"}, {9, "Gate not referenced"}};
  for (const row& r : rows) {
    editor.current_gate = r.gate;
    EXPECT_STREQ(editor_switch_point_text(), r.line) << r.gate;
  }
  editor.current_gate = 1;
  act(panel_set_switch_point);
  EXPECT_STREQ(editor_switch_point_text(), "Switch Point: Yes");
  EXPECT_EQ(route.entries[2], 1);
  EXPECT_EQ(field.change_flags, 7);
  act(panel_clear_switch_point);
  EXPECT_STREQ(editor_switch_point_text(), "Switch Point: No");
  EXPECT_EQ(route.entries[1], route_flagged + 1);
  EXPECT_EQ(route.entries[2], route_flagged + 1);
  EXPECT_EQ(route.entries[3], route_flagged + 2);
  // A stale gate touches nothing.
  editor.current_gate = 9;
  field.change_flags = 0;
  act(panel_clear_switch_point);
  EXPECT_EQ(field.change_flags, 0);
  EXPECT_EQ(route.entries[0], 0);
  checkpoints_read = saved_read;
  lap_list_read[0] = saved_lists[0];
  lap_list_read[1] = saved_lists[1];
  std::memset(route.entries, 0, sizeof entries);
}

TEST_F(Panel, SetFromTerrainOnFlatGroundAndARamp) {
  for (int ramp = 0; ramp < 2; ramp++) {
    make_field(ramp);
    add_gradient(0, 30, 100, 30);
    act(panel_set_from_terrain);
    const gradient* g = editor_selected_gradient();
    const auto p = points_of(g);
    ASSERT_EQ(p.size(), 2u) << ramp;
    EXPECT_FLOAT_EQ(p[0].distance, 0);
    EXPECT_FLOAT_EQ(p[1].distance, 100);
    EXPECT_NEAR(p[0].height, 0.0f, 1e-4);
    EXPECT_NEAR(p[1].height, ramp ? 10.0f : 0.0f, 1e-4);
    EXPECT_EQ(types_of(g)[0], 0);
    EXPECT_EQ(editor.selected_point, -1);
    EXPECT_EQ(field.change_flags, 7);
    editor_free();
    free_terrain(&field);
  }
}

// The end of an axis a whisker past a whole number of cells does not give
// a point next to it.
TEST_F(Panel, SetFromTerrainDistancesStrictlyIncrease) {
  make_field(0);
  const int r = field.size;
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) field.heights[i + r * j] = std::sin((float)i * 0.7f) * 3;
  std::memcpy(editor.stroke_base, field.heights, sizeof(float) * (size_t)r * r);
  add_gradient(0, 8, 40.001f, 8);
  act(panel_set_from_terrain);
  const auto p = points_of(editor_selected_gradient());
  ASSERT_GE(p.size(), 3u);
  for (size_t i = 1; i < p.size(); i++) EXPECT_GT(p[i].distance, p[i - 1].distance) << i;
  EXPECT_FLOAT_EQ(p.back().distance, 40.001f);
}

class SampleTrack : public Panel {
 protected:
  void SetUp() override {
    Panel::SetUp();
    ASSERT_NO_FATAL_FAILURE(track_.load());
    ASSERT_EQ(editor.terrain, &track_field);
  }
  void TearDown() override {
    track_.unload();
    Panel::TearDown();
  }
  sample_track track_;
};

TEST_F(SampleTrack, SetFromTerrainFollowsTheStrokeBase) {
  add_gradient(300, 700, 800, 640);
  act(panel_set_from_terrain);
  const gradient* g = editor_selected_gradient();
  const auto p = points_of(g);
  ASSERT_GE(p.size(), 3u);
  const float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z, L = std::hypot(dx, dz);
  EXPECT_FLOAT_EQ(p.back().distance, L);
  for (size_t i = 0; i < p.size(); i++) {
    if (i > 0) {
      EXPECT_GT(p[i].distance, p[i - 1].distance) << i;
    }
    const float t = p[i].distance / L;
    const float base = editor_height_at(&track_field, g->start_x + t * dx, g->start_z + t * dz);
    EXPECT_NEAR(p[i].height, base, 1e-4) << i;
  }
}

TEST_F(SampleTrack, SnapToGradientRadialAndAxial) {
  ASSERT_GE(statues.count, 1u);
  editor.current_statue = 0;
  statue* t = statue_at(0);
  // The axis along +x from (500, 500); profile points at 0, 30 and 60.
  gradient* g = add_gradient(500, 500, 560, 500);
  const gradient_point middle = {30, 2};
  const uint8_t line = 0;
  growable_array_insert(&g->points, 1, &middle);
  growable_array_insert(&g->types, 1, &line);
  struct row {
    float x, z, angle;
    float want_x, want_z, want_angle;
  };
  const float pi = (float)M_PI;
  // Radial: 25 from the start, 15 off the axis: onto the circle of 30.
  // Axial: 45 along, 2 off: onto the axis, facing back along it.
  const float rx = 500 + 20 * 30.0f / 25, rz = 500 + 15 * 30.0f / 25;
  const float radial = std::atan2(-15.0f, 20.0f);
  const float axial = std::atan2(-45.0f, -0.0f);
  const row rows[] = {
      {520, 515, 1, rx, rz, radial},
      {520, 515, 3.25f, rx, rz, 3.25f},
      {520, 515, -7, rx, rz, radial - 4 * pi},
      {545, 502, 1, 545, 500, axial},
      {545, 502, 3.25f, 545, 500, 3.25f},
      {545, 502, -7, 545, 500, axial - 4 * pi},
  };
  for (const row& r : rows) {
    t->x = r.x;
    t->z = r.z;
    t->angle = r.angle;
    t->height_offset = 3;
    track_field.change_flags = 0;
    act(panel_snap_to_gradient);
    EXPECT_NEAR(t->x, r.want_x, 1e-3) << r.x << " " << r.angle;
    EXPECT_NEAR(t->z, r.want_z, 1e-3) << r.x << " " << r.angle;
    EXPECT_NEAR(t->angle, r.want_angle, 1e-5) << r.x << " " << r.angle;
    EXPECT_FLOAT_EQ(t->height_offset, 0);
    EXPECT_NEAR(t->y, editor_height_at(&track_field, t->x, t->z), 1e-4);
    EXPECT_EQ(track_field.change_flags, 7);
  }
  // At the start, on a zero-length axis, with a stale statue or under the
  // edit lock, nothing moves.
  t->x = 500.005f;
  t->z = 500;
  track_field.change_flags = 0;
  act(panel_snap_to_gradient);
  EXPECT_FLOAT_EQ(t->x, 500.005f);
  t->x = 520;
  t->z = 515;
  g = editor_selected_gradient();
  g->end_x = 500.001f;
  act(panel_snap_to_gradient);
  g->end_x = 560;
  editor.current_statue = (int)statues.count;
  act(panel_snap_to_gradient);
  editor.current_statue = 0;
  track_field.edit_lock = 1;
  act(panel_snap_to_gradient);
  track_field.edit_lock = 0;
  EXPECT_FLOAT_EQ(t->x, 520);
  EXPECT_FLOAT_EQ(t->z, 515);
  EXPECT_EQ(track_field.change_flags, 0);
}

TEST_F(SampleTrack, HeightMovesTheCurrentBillboard) {
  ASSERT_GT(billboards.count, (size_t)first_file_billboard);
  editor.current_billboard = first_file_billboard;
  billboard* b = billboard_at(first_file_billboard);
  editor_billboard_height = 1;
  track_field.change_flags = 0;
  act(panel_billboard_height, menu_keys.right);
  EXPECT_FLOAT_EQ(b->height_offset, 1.25f);
  EXPECT_NEAR(b->y, editor_height_at(&track_field, b->x, b->z) + 1.25f, 1e-4);
  EXPECT_EQ(track_field.change_flags, 7);
}

TEST_F(SampleTrack, SaveUnderTheLockSaysSoAndKeepsTheModifiedValue) {
  track_field.save_lock = 1;
  track_field.change_flags = 7;
  act(panel_save);
  EXPECT_STRNE(editor.message, "Saved!");
  EXPECT_EQ(track_field.change_flags, 7);
  track_field.save_lock = 0;
}

}  // namespace
