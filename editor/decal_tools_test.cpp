#include "editor/decal_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "core/intern.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "race/menu_screen.h"
#include "terrain/decals.h"
#include "terrain/editor_hooks.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "ui/widget.h"

namespace {

height_field field;

enum { top = 0, under = 1, over = 2, bottom = 3 };
enum { copy = 0, random = 1, flow = 2, flow2 = 3, uphill = 4 };

class DecalTools : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_keys_name(nullptr);
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    decal_bins_init(&field);
    editor_track_loaded(&field);
    // Icons at their least size: the pick radius is 0.5.
    editor_zoom = 6;
    editor.mode = mode_decals;
    arrow = intern_string("arrow.png");
    tyre = intern_string("tyre.png");
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_hooks.active = 0;
    editor_items_reset();
  }
  int add(float x, float z, float angle, const char* name, float a = 2, float b = 4) {
    decal d = {};
    d.x = x;
    d.z = z;
    d.angle = angle;
    d.sin_angle = std::sin(angle);
    d.cos_angle = std::cos(angle);
    d.extent_a = a;
    d.extent_b = b;
    d.name = name;
    EXPECT_TRUE(growable_array_append(&field.decals, &d));
    const int index = (int)field.decals.count - 1;
    decal_bin_insert(&field, index);
    return index;
  }
  // The mouse over world point (x, z): the view is centred on it.
  static void mouse(float x, float z) {
    editor.centre_x = x;
    editor.centre_z = z;
    menu_screen.mouse_x = 320;
    menu_screen.mouse_y = 240;
  }
  static const decal& at(int i) { return *decal_at(&field, i); }
  static int count() { return (int)field.decals.count; }
  static std::vector<int> selection() {
    const int32_t* v = (const int32_t*)editor.decal_selection.data;
    return std::vector<int>(v, v + editor.decal_selection.count);
  }
  static void select(std::vector<int> list) {
    editor.decal_selection.count = 0;
    for (int i : list) growable_array_append(&editor.decal_selection, &i);
  }
  static std::vector<std::vector<int>> bins() {
    std::vector<std::vector<int>> out;
    for (auto& row : field.decal_bins)
      for (auto& bin : row) {
        const int32_t* v = (const int32_t*)bin.data;
        out.emplace_back(v, v + bin.count);
      }
    return out;
  }
  // The bins as they stand equal the bins built from scratch.
  static void expect_bins_right() {
    const auto now = bins();
    decal_bins_rebuild(&field);
    EXPECT_EQ(now, bins());
  }
  int key(int code) {
    const int used = editor_key(code, 1);
    editor_key(code, 0);
    return used;
  }
  const char* arrow = nullptr;
  const char* tyre = nullptr;
};

TEST_F(DecalTools, CopiesGoInByLevelAndTheIndicesFollow) {
  struct level_case {
    int level;
    int copy_at;
  } cases[] = {{top, 4}, {under, 0}, {over, 2}, {bottom, 0}};
  for (const level_case& c : cases) {
    field.decals.count = 0;
    add(100, 100, 0, arrow);
    add(120, 100, 0, arrow);
    add(140, 100, 0, tyre);
    add(160, 100, 0, arrow);
    decal_bins_rebuild(&field);
    editor_level = c.level;
    editor_orientation = copy;
    editor.current_decal = 1;
    select({});
    mouse(120, 140);  // straight down the z axis from decal 1
    EXPECT_EQ(key('d'), 1);
    ASSERT_EQ(count(), 5) << c.level;
    EXPECT_EQ(editor.current_decal, c.copy_at) << c.level;
    EXPECT_FLOAT_EQ(at(c.copy_at).x, 120);
    EXPECT_FLOAT_EQ(at(c.copy_at).z, 100 + 0.75f * 4);
    EXPECT_EQ(at(c.copy_at).name, arrow);
    expect_bins_right();
  }
  // A selected decal is copied too: at the bottom both copies go to the
  // front and every index moves up behind them.
  field.decals.count = 0;
  for (float x : {100.0f, 120.0f, 140.0f, 160.0f}) add(x, 100, 0, x == 140 ? tyre : arrow);
  decal_bins_rebuild(&field);
  editor_level = bottom;
  editor.current_decal = 1;
  select({3});
  mouse(120, 140);
  key('d');
  ASSERT_EQ(count(), 6);
  EXPECT_EQ(editor.current_decal, 1);
  EXPECT_FLOAT_EQ(at(1).z, 103);
  ASSERT_EQ(selection(), std::vector<int>{0});
  EXPECT_FLOAT_EQ(at(0).x, 160);
  EXPECT_FLOAT_EQ(at(0).z, 103);
  for (int i = 2; i < 6; i++) EXPECT_FLOAT_EQ(at(i).z, 100) << i;
  expect_bins_right();
}

TEST_F(DecalTools, UphillFollowsTheSlopeAndIsRandomOnTheFlat) {
  add(200, 200, 0, arrow);
  editor_orientation = uphill;
  editor_level = top;
  std::set<float> angles;
  for (int k = 0; k < 6; k++) {
    editor.current_decal = 0;
    mouse(200 + 10 * (float)k, 260);
    key('d');
    const float a = at(count() - 1).angle;
    EXPECT_GE(a, -3.1416f);
    EXPECT_LT(a, 3.1416f);
    angles.insert(a);
  }
  EXPECT_GE(angles.size(), 5u);
  // A ramp rising along +x: the copy heads up it, (-sin, -cos) = (1, 0).
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++) field.heights[i + field.size * j] = i * field.spacing * 0.5f;
  editor.current_decal = 0;
  key('d');
  EXPECT_NEAR(at(count() - 1).angle, -M_PI / 2, 1e-4);
}

TEST_F(DecalTools, GroupKeysSpreadOnlyTheSelection) {
  add(200, 200, 0.5f, arrow);
  add(210, 200, 0.5f, arrow);
  editor.current_decal = 0;
  // Nothing selected: only the change flags.
  const std::vector<uint8_t> before((uint8_t*)field.decals.data, (uint8_t*)field.decals.data + 2 * sizeof(decal));
  field.change_flags = 0;
  EXPECT_EQ(key('{'), 1);
  EXPECT_EQ(field.change_flags, 7);
  EXPECT_EQ(std::memcmp(before.data(), field.decals.data, before.size()), 0);
  // With decal 1 selected it moves in by 15/16 and out by 16/15, turned
  // not at all.
  select({1});
  key('{');
  EXPECT_NEAR(at(1).x, 200 + 10 * 0.9375, 1e-4);
  key('}');
  EXPECT_NEAR(at(1).x, 200 + 10 * 0.9375 * 1.0666667, 1e-4);
  EXPECT_NEAR(at(1).z, 200, 1e-4);
  EXPECT_FLOAT_EQ(at(1).angle, 0.5f);
  EXPECT_FLOAT_EQ(at(0).x, 200);
  expect_bins_right();
}

TEST_F(DecalTools, DeletingTheCurrentDecalMakesTheLastAlikeOneCurrent) {
  add(100, 100, 0, arrow);
  add(120, 100, 0, tyre);
  add(140, 100, 0, arrow);
  add(160, 100, 0, tyre);
  editor.current_decal = 2;
  select({1, 3});
  mouse(140, 100);
  EXPECT_EQ(key('x'), 1);
  ASSERT_EQ(count(), 3);
  EXPECT_EQ(editor.current_decal, 0);
  EXPECT_TRUE(selection().empty());
  EXPECT_FLOAT_EQ(at(2).x, 160);
  expect_bins_right();
  // A deletion below the current one moves it down with the selection;
  // the Delete key does the same as "x".
  editor.current_decal = 2;
  select({1});
  mouse(100, 100);
  EXPECT_EQ(key(127), 1);
  EXPECT_EQ(editor.current_decal, 1);
  EXPECT_EQ(selection(), std::vector<int>{0});
  expect_bins_right();
  // "X" takes the brush radius; with "Hide different" only the decals like
  // the current one go.
  field.decals.count = 0;
  for (float x : {100.0f, 101.0f, 102.0f, 103.0f}) add(x, 100, 0, x == 101 ? tyre : arrow);
  decal_bins_rebuild(&field);
  editor.current_decal = 3;
  select({});
  editor_hide_different = 1;
  editor_radius = 10 / editor_pixel_size();
  mouse(100, 100);
  key('X');
  ASSERT_EQ(count(), 1);
  EXPECT_EQ(at(0).name, tyre);
  EXPECT_EQ(editor.current_decal, -1);
  expect_bins_right();
}

TEST_F(DecalTools, MovesAndTurnsCarryTheSelection) {
  add(200, 200, 0.3f, arrow);
  add(205, 190, 1.0f, tyre);
  editor.current_decal = 0;
  select({1});
  auto offset = [] {
    // The selected decal in the current one's frame.
    const decal& c = at(0);
    const decal& s = at(1);
    const float rx = s.x - c.x, rz = s.z - c.z;
    const float ca = std::cos(-c.angle), sa = std::sin(-c.angle);
    return std::vector<float>{ca * rx + sa * rz, ca * rz - sa * rx, std::remainder(s.angle - c.angle, 2 * (float)M_PI)};
  };
  const std::vector<float> start = offset();
  mouse(200, 200);
  EXPECT_EQ(editor_key(menu_keys.click, 1), 1);
  EXPECT_EQ(editor.drag_state, 1);
  EXPECT_EQ(selection(), std::vector<int>{1});
  // Under 0.001 in both axes nothing moves, nothing is flagged.
  field.change_flags = 0;
  mouse(200.0005f, 199.9995f);
  editor_update();
  EXPECT_FLOAT_EQ(at(0).x, 200);
  EXPECT_EQ(field.change_flags, 0);
  mouse(230, 180);
  editor_update();
  EXPECT_FLOAT_EQ(at(0).x, 230);
  EXPECT_FLOAT_EQ(at(0).z, 180);
  EXPECT_EQ(field.change_flags, 7);
  editor_key(menu_keys.click, 0);
  // Now turn it by its handle.
  float handle[2] = {230 - 4 * std::sin(0.3f), 180 - 4 * std::cos(0.3f)};
  mouse(handle[0], handle[1]);
  editor_key(menu_keys.click, 1);
  EXPECT_EQ(editor.drag_state, 2);
  mouse(250, 180);
  editor_update();
  editor_key(menu_keys.click, 0);
  EXPECT_NEAR(at(0).angle, std::atan2(230.0 - 250.0, 0.0), 1e-5);
  const std::vector<float> end = offset();
  for (int k = 0; k < 3; k++) EXPECT_NEAR(end[k], start[k], 1e-4) << k;
  expect_bins_right();
  // A press on another decal starts a new group.
  mouse(at(1).x, at(1).z);
  editor_key(menu_keys.click, 1);
  editor_key(menu_keys.click, 0);
  EXPECT_EQ(editor.current_decal, 1);
  EXPECT_TRUE(selection().empty());
}

TEST_F(DecalTools, Flow2CopiesJoinEndToEnd) {
  add(200, 200, 0, arrow);
  editor_orientation = flow2;
  editor_level = top;
  editor.current_decal = 0;
  const float half = 0.75f * 4 * 0.5f;
  const float targets[][2] = {{200, 150}, {230, 170}, {260, 200}, {240, 260}, {150, 240}};
  for (const auto& t : targets) {
    const decal before = at(editor.current_decal);
    mouse(t[0], t[1]);
    key('d');
    const decal& made = at(editor.current_decal);
    // The copy's back end sits on the previous one's front end.
    EXPECT_NEAR(made.x + half * std::sin(made.angle), before.x - half * std::sin(before.angle), 1e-4);
    EXPECT_NEAR(made.z + half * std::cos(made.angle), before.z - half * std::cos(before.angle), 1e-4);
  }
  expect_bins_right();
}

TEST_F(DecalTools, RepeatedStepsWalkTheGroup) {
  add(200, 200, 0, arrow);
  add(200, 210, 0, tyre);
  editor_orientation = copy;
  editor_level = top;
  editor.current_decal = 0;
  select({1});
  mouse(200, 100);
  for (int k = 1; k <= 3; k++) {
    key('d');
    ASSERT_EQ(count(), 2 + 2 * k);
    const decal& c = at(editor.current_decal);
    ASSERT_EQ(selection().size(), 1u);
    const decal& s = at(selection()[0]);
    EXPECT_NEAR(c.z, 200 - 3.0f * k, 1e-4);
    EXPECT_NEAR(s.z - c.z, 10, 1e-4);
    EXPECT_NEAR(s.x, 200, 1e-4);
    EXPECT_EQ(s.name, tyre);
  }
  expect_bins_right();
}

TEST_F(DecalTools, PaintingLaysAChainAlongTheDrag) {
  add(200, 200, 0, arrow);
  editor_orientation = flow;
  editor_level = top;
  editor.current_decal = 0;
  mouse(300, 300);  // empty ground: a copy at once
  editor_key(menu_keys.click, 1);
  ASSERT_EQ(count(), 2);
  EXPECT_EQ(editor.drag_state, 0);
  for (int step = 1; step <= 40; step++) {
    mouse(300 + 0.5f * step, 300);
    editor_update();
  }
  editor_key(menu_keys.click, 0);
  // Past 3 apart (0.75 x length 4), at the half-unit steps of the drag:
  // 3.5 apart over 20 units.
  EXPECT_EQ(count(), 2 + 5);
  for (int i = 2; i < count(); i++) {
    EXPECT_GT(at(i).x - at(i - 1).x, 3);
    EXPECT_LT(at(i).x - at(i - 1).x, 3.6f);
    // Each heads on along the drag: ahead (-sin, -cos) is +x.
    EXPECT_NEAR(at(i).angle, -M_PI / 2, 1e-4);
  }
  expect_bins_right();
  // A decal of length 0 paints nothing, however far the drag goes.
  add(100, 100, 0, tyre, 2, 0);
  editor.current_decal = count() - 1;
  editor.held_key = editor_held_tool;
  editor.drag_state = 0;
  const int n = count();
  for (int step = 1; step <= 10; step++) {
    mouse(100 + step, 100);
    editor_update();
  }
  EXPECT_EQ(count(), n);
  editor.held_key = 0;
}

TEST_F(DecalTools, WithoutAValidCurrentDecalTheKeysDoNothing) {
  for (int current : {-1, 0, 5}) {
    field.decals.count = current == 0 ? 0 : 1;
    if (current != 0) add(100, 100, 0, arrow), field.decals.count = 1;
    decal_bins_rebuild(&field);
    editor.current_decal = current;
    select({});
    const int n = count();
    mouse(110, 100);
    for (int code : {'d', '{', '}'}) EXPECT_EQ(key(code), 1);
    editor.held_key = editor_held_tool;
    for (int state = 0; state < 3; state++) {
      editor.drag_state = state;
      editor_update();
    }
    editor.held_key = 0;
    EXPECT_EQ(count(), n) << current;
  }
  // "d" on the current decal's own place has no way to go.
  field.decals.count = 0;
  add(100, 100, 0, arrow);
  editor.current_decal = 0;
  mouse(100, 100);
  key('d');
  EXPECT_EQ(count(), 1);
}

TEST_F(DecalTools, SelectionKeysAddAndToggle) {
  add(100, 100, 0, arrow);
  add(110, 100, 0, arrow);
  add(111, 100, 0, tyre);
  editor.current_decal = 0;
  mouse(110, 100);
  key('m');
  EXPECT_EQ(selection(), std::vector<int>{1});
  key('m');
  EXPECT_TRUE(selection().empty());
  // "M" adds everything within the brush, never the current decal, and
  // never takes away.
  editor_radius = 20 / editor_pixel_size();
  key('M');
  EXPECT_EQ(selection(), (std::vector<int>{1, 2}));
  key('M');
  EXPECT_EQ(selection(), (std::vector<int>{1, 2}));
  // "Hide different": only decals like the current one.
  select({});
  editor_hide_different = 1;
  key('M');
  EXPECT_EQ(selection(), std::vector<int>{1});
}

}  // namespace
