#include "editor/height_brush.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/gradient.h"
#include "race/menu_screen.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "ui/widget.h"

namespace {

height_field field;

// A generated n = 7 field (R = 257, spacing 4) taken over by the editor,
// viewed so that one window pixel is one world unit: "Radius" is then the
// brush radius in world units.
class Brush : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    r = field.size;
    menu_screen = {512, 512, 256, 256};
    editor_zoom = 1;  // E / 2^Z = 512 shown over 512 pixels
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_items_reset();
  }
  // Heights that vary at every cell, then the editor set up over them.
  void take_over(int varied) {
    for (int j = 0; j < r; j++)
      for (int i = 0; i < r; i++) field.heights[i + r * j] = varied ? (float)((i * 7 + j * 13) % 29) * 0.5f : 0.0f;
    editor_load_edinfo(&field);
    ASSERT_EQ(editor.terrain, &field);
    before.assign(field.heights, field.heights + (size_t)r * r);
  }
  // The mouse over world (x, z).
  static void mouse_at(float x, float z) {
    editor.centre_x = x;
    editor.centre_z = z;
  }
  // One application: the first call after a press acts.
  static void apply() {
    editor.call_counter = 0;
    brush_step();
  }
  float h(int j, int i) const { return field.heights[j + r * i]; }
  float was(int j, int i) const { return before[(size_t)(j + r * i)]; }
  int changed_cells() const {
    int n = 0;
    for (int k = 0; k < r * r; k++) n += field.heights[k] != before[(size_t)k];
    return n;
  }
  int r = 0;
  std::vector<float> before;
};

TEST_F(Brush, RaiseReachesItsProfileAndStaysThere) {
  take_over(1);
  editor.mode = mode_raise;
  editor_strength = 0;  // S = 1
  editor_radius = 32;   // w = 32, inner 16
  mouse_at(512, 512);
  const int count = field.edit_count;
  // The counter throttles: 32 calls make one application.
  for (int k = 0; k < 32; k++) brush_step();
  EXPECT_EQ(field.edit_count, count + 1);
  for (int k = 0; k < 99; k++) apply();
  EXPECT_EQ(field.edit_count, count + 100);
  EXPECT_EQ(editor.pending, 1);
  EXPECT_STREQ(editor.message, "Update needed!");
  EXPECT_EQ(field.change_flags, 7);
  for (int i = 0; i < r; i++)
    for (int j = 0; j < r; j++) {
      const float d = std::hypot(j * 4.0f - 512, i * 4.0f - 512);
      float want = was(j, i);
      if (d < 16) {
        want += 1;
      } else if (d < 32) {
        const float q = (d - 16) / 16;
        want += 2 * q * q * q - 3 * q * q + 1;
      }
      ASSERT_NEAR(h(j, i), want, 1e-5) << j << "," << i;
    }
  EXPECT_EQ(h(128, 128), was(128, 128) + 1);
}

TEST_F(Brush, SubModesAndTheEditLockKeepTheHeights) {
  take_over(1);
  editor_radius = 40;
  mouse_at(300, 700);
  editor.mode = mode_lower;
  editor_submode = 1;  // Raise Only
  apply();
  EXPECT_EQ(changed_cells(), 0);
  editor.mode = mode_raise;
  editor_submode = 2;  // Lower Only
  apply();
  EXPECT_EQ(changed_cells(), 0);

  editor_submode = 0;
  field.edit_lock = 1;
  for (int mode : {0, 1, 2, 3, 5, 6, 7, 8}) {
    editor.mode = mode;
    editor.smudge_anchor[0] = 290;
    editor.smudge_anchor[1] = 700;
    apply();
  }
  EXPECT_EQ(changed_cells(), 0);
}

TEST_F(Brush, SmudgeWaitsForTheMouseToLeaveItsAnchor) {
  take_over(1);
  editor.mode = mode_smudge;
  editor_radius = 24;
  mouse_at(500, 500);
  editor.smudge_anchor[0] = 500.6f;
  editor.smudge_anchor[1] = 500.6f;
  const int count = field.edit_count;
  apply();
  EXPECT_EQ(changed_cells(), 0);
  EXPECT_EQ(field.edit_count, count);
  EXPECT_EQ(editor.drag_anchor[0], -1);  // the stroke has not started

  // Five units away: the anchor trails at one, and every cell takes the
  // mean of the stroke base behind it along the drag, sampled every half
  // cell over S cells.
  editor.smudge_anchor[0] = 503;
  editor.smudge_anchor[1] = 504;
  apply();
  EXPECT_FLOAT_EQ(editor.smudge_anchor[0], 500.6f);
  EXPECT_FLOAT_EQ(editor.smudge_anchor[1], 500.8f);
  EXPECT_EQ(field.edit_count, count + 1);
  int inside = 0;
  for (int i = 110; i < 140; i++)
    for (int j = 110; j < 140; j++) {
      const float x = j * 4.0f, z = i * 4.0f;
      const float d = std::hypot(x - 500, z - 500);
      if (d >= 24) {
        ASSERT_EQ(h(j, i), was(j, i));
        continue;
      }
      double sum = 0;
      int n = 0;
      for (float s = 0; s < 4.0f * 8; s += 2.0f, n++) sum += editor_coarse_height_at(field.n, x + s * 0.6f, z + s * 0.8f);
      const float weight = d < 12 ? 1 : [&] {
        const float q = (d - 12) / 12;
        return 2 * q * q * q - 3 * q * q + 1;
      }();
      const float target = (float)(sum / n);
      const float want = was(j, i) + (target - was(j, i)) * weight;
      // Cells the smear leaves as they are keep their height exactly.
      if (std::fabs(want - was(j, i)) > 1e-6f) {
        ASSERT_NEAR(h(j, i), want, 1e-3) << j << "," << i;
        inside++;
      }
    }
  EXPECT_GT(inside, 80);
}

// The disc mean over the stroke base, every index clamped, computed the
// slow way.
float disc_mean(const std::vector<float>& base, int r, int radius, int j, int i) {
  double sum = 0;
  int count = 0;
  auto clamp = [&](int v) { return v < 0 ? 0 : v >= r ? r - 1 : v; };
  for (int q = -(radius - 1); q <= radius - 1; q++) {
    const int hw = (int)std::sqrt((double)radius * radius - (double)q * q);
    for (int x = j - hw; x <= j + hw; x++) {
      sum += base[(size_t)(clamp(x) + r * clamp(i + q))];
      count++;
    }
  }
  return (float)(sum / count);
}

TEST_F(Brush, SmoothIsTheDiscMean) {
  take_over(1);
  editor.mode = mode_smooth;
  editor_focus = 0.25;
  editor_radius = 60;
  // A stroke along a slant, near the corner so that clamped samples count.
  editor.drag_anchor[0] = 10;
  editor.drag_anchor[1] = 30;
  mouse_at(70, 50);
  struct {
    double strength;
    int radius;
  } cases[] = {{2.5, 5}, {-5, 1}};
  for (const auto& c : cases) {
    std::memcpy(field.heights, before.data(), before.size() * sizeof(float));
    editor.drag_anchor[0] = 10;
    editor.drag_anchor[1] = 30;
    editor_strength = c.strength;
    apply();
    int inside = 0;
    for (int i = 0; i < 40; i++)
      for (int j = 0; j < 40; j++) {
        const float d = brush_segment_distance(10, 30, 70, 50, j * 4.0f, i * 4.0f);
        if (d >= 60) {
          ASSERT_EQ(h(j, i), was(j, i));
          continue;
        }
        const float weight = d < 15 ? 1 : [&] {
          const float q = (d - 15) / 45;
          return 2 * q * q * q - 3 * q * q + 1;
        }();
        const float want = was(j, i) + (disc_mean(before, r, c.radius, j, i) - was(j, i)) * weight;
        ASSERT_NEAR(h(j, i), want, 1e-3) << c.radius << ": " << j << "," << i;
        inside++;
      }
    EXPECT_GT(inside, 200);
  }
  // Radius 1 is the cell and its row neighbours.
  EXPECT_NEAR(disc_mean(before, r, 1, 5, 9), (was(4, 9) + was(5, 9) + was(6, 9)) / 3, 1e-5);
}

TEST_F(Brush, GradientPaintEasesToTheProfile) {
  take_over(0);
  gradient g{};
  g.start_x = 400;
  g.start_z = 512;
  g.end_x = 700;
  g.end_z = 512;
  growable_array_init(&g.points, sizeof(gradient_point), 4);
  growable_array_init(&g.types, 1, 4);
  const gradient_point ends[2] = {{0, 10}, {300, 10}};
  const uint8_t line = 0;
  for (const gradient_point& p : ends) {
    growable_array_append(&g.points, &p);
    growable_array_append(&g.types, &line);
  }
  growable_array_append(&editor.gradients, &g);
  editor.selected_gradient = 0;
  editor.mode = mode_gradient_linear_paint;
  editor_strength = -1;  // f = 0.5
  mouse_at(512, 512);
  apply();
  EXPECT_FLOAT_EQ(h(128, 128), 5);
  apply();
  EXPECT_FLOAT_EQ(h(128, 128), 10);
  apply();
  EXPECT_FLOAT_EQ(h(128, 128), 10);
  // Beyond the brush nothing moved.
  EXPECT_EQ(h(100, 128), 0);

  // No selected gradient paints 0 and adds nothing.
  editor.selected_gradient = -1;
  editor.mode = mode_gradient_linear_add;
  apply();
  EXPECT_FLOAT_EQ(h(128, 128), 10);
}

// The height on the planar triangles of a coarse cell of side b at
// (c0, r0), split the terrain's way, from its corners alone.
float planar(const std::vector<float>& base, int r, int c0, int r0, int b, int j, int i) {
  const float h00 = base[(size_t)(c0 + r * r0)], h10 = base[(size_t)(c0 + b + r * r0)];
  const float h01 = base[(size_t)(c0 + r * (r0 + b))], h11 = base[(size_t)(c0 + b + r * (r0 + b))];
  const float fx = (float)(j - c0) / b, fz = (float)(i - r0) / b;
  if (((c0 / b + r0 / b) & 1) == 0) {
    if (fx >= fz) return h00 + fx * (h10 - h00) + fz * (h11 - h10);
    return h00 + fz * (h01 - h00) + fx * (h11 - h01);
  }
  if (fx + fz <= 1) return h00 + fx * (h10 - h00) + fz * (h01 - h00);
  return h11 + (1 - fx) * (h01 - h11) + (1 - fz) * (h10 - h11);
}

TEST_F(Brush, SnapMakesTheCoarseCellPlanar) {
  take_over(1);
  editor.mode = mode_snap;
  // S no larger than the spacing: the cell's own heights again.
  editor_strength = -5;
  mouse_at(201, 303);
  editor.call_counter = 0;
  snap_step();
  EXPECT_EQ(changed_cells(), 0);
  EXPECT_EQ(field.change_flags, 7);

  // S = 16 at spacing 4: the 4-cell square under the mouse, both parities.
  for (float x : {201.0f, 217.0f}) {
    std::memcpy(field.heights, before.data(), before.size() * sizeof(float));
    editor_strength = 4;
    mouse_at(x, 303);
    editor.call_counter = 0;
    snap_step();
    const int c0 = (int)(x / 4) / 4 * 4, r0 = 303 / 4 / 4 * 4;
    for (int i = r0; i <= r0 + 4; i++)
      for (int j = c0; j <= c0 + 4; j++)
        EXPECT_NEAR(h(j, i), planar(before, r, c0, r0, 4, j, i), 1e-4) << x << ": " << j << "," << i;
    for (int i = 0; i < r; i++)
      for (int j = 0; j < r; j++)
        if (j < c0 || j > c0 + 4 || i < r0 || i > r0 + 4) {
          ASSERT_EQ(h(j, i), was(j, i));
        }
  }
}

// Strokes over the corners and off the map stay inside the grid (the
// sanitizer watches) and change only cells within reach.
TEST_F(Brush, StrokesAtTheEdgesStayOnTheGrid) {
  take_over(1);
  editor_strength = 5;
  editor_radius = 128;
  const float far = field.extent;
  const float points[][2] = {{0, 0}, {far, far}, {-300, far + 50}, {far + 200, -10}, {1e30f, -1e30f}};
  for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
    editor.mode = mode;
    for (const auto& p : points) {
      editor.drag_anchor[0] = -1;
      editor.smudge_anchor[0] = p[0] + 5;
      editor.smudge_anchor[1] = p[1];
      mouse_at(p[0], p[1]);
      editor.call_counter = 0;
      if (mode == mode_snap)
        snap_step();
      else
        brush_step();
    }
  }
  for (int k = 0; k < r * r; k++) ASSERT_TRUE(std::isfinite(field.heights[k]));
  // The middle of the map is beyond every brush.
  EXPECT_EQ(h(128, 128), was(128, 128));
}

// The editor's keys and tick drive the tools: a held Raise sculpts and its
// release commits; a Gradient Placement drag turns a blank gradient and
// the release fits its profile; "f" resets a shaped one.
TEST_F(Brush, TheEditorsTickRunsTheTools) {
  take_over(1);
  menu_keys_name(nullptr);
  editor.panel_item = -1;
  menu_screen.mouse_x = 300;  // off the panel
  editor.last_mouse[0] = 300;
  editor.last_mouse[1] = 256;
  editor.panel_item = -1;
  editor.mode = mode_raise;
  ASSERT_EQ(editor_key(menu_keys.click, 1), 1);
  for (int k = 0; k < 64; k++) editor_update();
  EXPECT_GT(changed_cells(), 0);
  EXPECT_EQ(editor.pending, 1);
  editor_key(menu_keys.click, 0);
  EXPECT_EQ(editor.pending, 0);
  EXPECT_EQ(editor.drag_anchor[0], -1);

  gradient g{};
  growable_array_init(&g.points, sizeof(gradient_point), 2);
  growable_array_init(&g.types, 1, 2);
  float m[2];
  editor_mouse_world(m);
  g.start_x = m[0] - 100;
  g.start_z = m[1];
  g.end_x = m[0];
  g.end_z = m[1];
  growable_array_append(&editor.gradients, &g);
  editor.selected_gradient = 0;
  editor.mode = mode_gradient_placement;
  editor_key(menu_keys.click, 1);
  ASSERT_EQ(editor.drag_state, 2);
  menu_screen.mouse_y = 256 + 60;
  editor_update();
  editor_key(menu_keys.click, 0);
  const gradient* placed = editor_selected_gradient();
  ASSERT_EQ(placed->points.count, 2u);
  const float length = std::hypot(100.0f, 60.0f * editor_pixel_size());
  EXPECT_NEAR(static_cast<const gradient_point*>(growable_array_at(&placed->points, 1))->distance, length, 1e-3);

  static_cast<gradient_point*>(growable_array_at(&placed->points, 1))->height = 5;
  editor_key('f', 1);
  editor_key('f', 0);
  EXPECT_EQ(static_cast<const gradient_point*>(growable_array_at(&placed->points, 1))->height, 0);
}

}  // namespace
