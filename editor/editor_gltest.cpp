// The editor's top-down view of the sample track drawn by a real driver
// (Mesa under Xvfb) at 640 x 480, read back and checked where the view's
// transform puts the overlays.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/view_extent.h"
#include "core/file_index.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "platform/window.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "race/scene.h"
#include "terrain/editor_hooks.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/gl_frame.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

const int width = 640, height = 480;

using frame = gl_frame;

bool white(const frame& f, int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const unsigned char* p = f.at(x, y);
  return p[0] > 240 && p[1] > 240 && p[2] > 240;
}

bool make_sample_data() {
  static int made = -1;
  const std::string root = std::getenv("BK_HOME");
  if (made < 0) made = test_run_bkdata("shapes " + root) && test_run_bkdata("track quarrybend " + root);
  return made == 1;
}

class EditorGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(make_sample_data()) << "bkdata failed";
    window_ = gl_window_open("Editor test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ASSERT_TRUE(gl_caps.framebuffer_object);
    ground_gl_install();
    asset_generation = 0;
    file_index_build();
    fonts_load();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    editor_items_reset();
    menu_keys_name(nullptr);
    editor_install_hooks();
    editor_hooks.active = 1;
    std::snprintf(track_folder, sizeof track_folder, "quarrybend");
    ASSERT_EQ(load_track(), 1);
    ASSERT_EQ(editor.terrain, &track_field);
    menu_screen = {width, height, width / 2, height / 2};

    target_.create(width, height, true);
  }
  void TearDown() override {
    target_.release();
    editor_free();
    editor_hooks.active = 0;
    editor_items_reset();
    free_track_data();
    free_terrain(&track_field);
    shape_free_all();
    model_delete_stale(1);
    texture_delete_stale(1);
    fonts_free();
    shader_delete_all();
    shaders_active = 0;
    free_file_index();
    gl_window_close(window_);
  }

  // A few frames as the game draws them (the ground textures fill in over
  // frames); the last one read back.
  frame draw(int frames = 3) {
    for (int k = 0; k < frames; k++) {
      target_.bind();
      set_projection(width, height, 60);
      editor_draw();
      target_.bind();
    }
    glFinish();
    return gl_frame_read(width, height);
  }

  // The window pixel of world (x, z).
  static void to_screen(float x, float z, float* px, float* py) {
    const float p = editor_pixel_size();
    *px = (x - editor.centre_x) / p + (float)(width / 2);
    *py = (z - editor.centre_z) / p + (float)(height / 2);
  }

  // White pixels along a row within `slack` of a column.
  static bool white_near(const frame& f, int x, int y, int slack = 1) {
    for (int dy = -slack; dy <= slack; dy++)
      for (int dx = -slack; dx <= slack; dx++)
        if (white(f, x + dx, y + dy)) return true;
    return false;
  }

  window_state* window_ = nullptr;
  gl_target target_;
};

TEST_F(EditorGl, TheBrushOutlineIsDrawnAtItsRadius) {
  // Zoomed in so that the ground fills the view around the mouse.
  editor_zoom = 2;
  editor.mode = mode_raise;
  const frame f = draw();
  gl_frame_keep(f, "editor_brush");
  const int cx = width / 2, cy = height / 2;
  // Radius 64 px, Focus 0.5: circles of 64 and 32 px round the mouse.
  for (int r : {64, 32}) {
    EXPECT_TRUE(white_near(f, cx + r, cy)) << r;
    EXPECT_TRUE(white_near(f, cx - r, cy)) << r;
    EXPECT_TRUE(white_near(f, cx, cy + r)) << r;
    EXPECT_TRUE(white_near(f, cx, cy - r)) << r;
  }
  // Nothing white between the circles or beyond them on the row.
  for (int x : {cx + 48, cx + 80, cx + 100, cx + 16}) EXPECT_FALSE(white_near(f, x, cy, 0)) << x;

  // "l" anchors the brush at the mouse; moved 100 px right the outline is
  // a capsule: straight sides above and below the segment.
  editor_key('l', 1);
  editor_key('l', 0);
  menu_screen.mouse_x = cx + 100;
  const frame g = draw(1);
  gl_frame_keep(g, "editor_capsule");
  EXPECT_TRUE(white_near(g, cx + 50, cy - 64));
  EXPECT_TRUE(white_near(g, cx + 50, cy + 64));
  EXPECT_TRUE(white_near(g, cx + 50, cy - 32));
  EXPECT_TRUE(white_near(g, cx + 164, cy));  // the cap round the mouse
  EXPECT_TRUE(white_near(g, cx - 64, cy));   // the cap round the anchor
  EXPECT_FALSE(white_near(g, cx + 50, cy - 48, 0));
}

// In Gradient Edit the profile graph follows a Curve segment's Hermite
// heights, not the chord between its points.
TEST_F(EditorGl, TheProfileGraphDrawsCurves) {
  editor_zoom = 5;  // 32 world units of window height: 15 px a unit
  editor.mode = mode_gradient_edit;
  gradient g{};
  g.start_x = 500;
  g.start_z = 500;
  g.end_x = 520;
  g.end_z = 500;
  growable_array_init(&g.points, sizeof(gradient_point), 4);
  growable_array_init(&g.types, 1, 4);
  const gradient_point points[3] = {{0, 0}, {10, 4}, {20, 0}};
  const uint8_t types[3] = {1, 1, 0};
  for (int k = 0; k < 3; k++) {
    growable_array_append(&g.points, &points[k]);
    growable_array_append(&g.types, &types[k]);
  }
  growable_array_append(&editor.gradients, &g);
  editor.selected_gradient = (int)editor.gradients.count - 1;
  editor.centre_x = 510;
  editor.centre_z = 497;
  menu_screen.mouse_x = 600;
  menu_screen.mouse_y = 60;
  const frame f = draw();
  gl_frame_keep(f, "editor_profile");
  // At d = 6 the curve stands at 2.976 (the chord at 2.4).
  auto dark = [&](float d, float h) {
    float px, py;
    to_screen(500 + d, 500 - h, &px, &py);
    for (int dy = -1; dy <= 1; dy++) {
      const unsigned char* p = f.at((int)std::lround(px), (int)std::lround(py) + dy);
      if (p[0] + p[1] + p[2] < 120) return true;
    }
    return false;
  };
  EXPECT_TRUE(dark(6, 2.976f));
  EXPECT_FALSE(dark(6, 2.4f));
  EXPECT_TRUE(dark(14, 2.976f));
  EXPECT_TRUE(dark(3, 0));  // the closing line along zero
}

TEST_F(EditorGl, TheSnapSquareOutlinesTheCellUnderTheMouse) {
  editor_zoom = 4;  // 32 world units of window height... the cell well visible
  editor_strength = 3;
  editor.mode = mode_snap;
  menu_screen.mouse_x = 333;
  menu_screen.mouse_y = 250;
  const frame f = draw();
  gl_frame_keep(f, "editor_snap");
  float m[2];
  editor_mouse_world(m);
  float c = track_field.spacing;
  while (c < 8) c *= 2;
  const float x0 = std::floor(m[0] / c) * c, z0 = std::floor(m[1] / c) * c;
  float px0, py0, px1, py1;
  to_screen(x0, z0, &px0, &py0);
  to_screen(x0 + c, z0 + c, &px1, &py1);
  const int mid_x = (int)((px0 + px1) / 2), mid_y = (int)((py0 + py1) / 2);
  EXPECT_TRUE(white_near(f, (int)px0, mid_y));
  EXPECT_TRUE(white_near(f, (int)px1, mid_y));
  EXPECT_TRUE(white_near(f, mid_x, (int)py0));
  EXPECT_TRUE(white_near(f, mid_x, (int)py1));
  EXPECT_FALSE(white_near(f, mid_x, mid_y, 2));
}

TEST_F(EditorGl, ObjectIconsStandWhereTheTransformPutsThem) {
  editor_zoom = 0;  // the whole track
  menu_screen.mouse_x = -5000;  // no brush in view
  menu_screen.mouse_y = -5000;
  editor.mode = mode_raise;
  const frame plain = draw();
  gl_frame_keep(plain, "editor_plain");

  struct place {
    float x, z;
  };
  auto expect_marks = [&](const frame& f, const std::vector<place>& places, const char* what) {
    ASSERT_FALSE(places.empty()) << what;
    for (const place& p : places) {
      float px, py;
      to_screen(p.x, p.z, &px, &py);
      if (px < 4 || py < 4 || px > width - 4 || py > height - 4) continue;
      EXPECT_GT(gl_frame_differing(f, plain, (int)px - 4, (int)py - 4, (int)px + 5, (int)py + 5), 0)
          << what << " at " << px << " " << py;
    }
  };

  editor.mode = mode_timing_gate;
  const frame gates = draw(1);
  gl_frame_keep(gates, "editor_gates");
  std::vector<place> gate_places;
  for (int i = 0; i < checkpoints_read; i++) gate_places.push_back({checkpoints[i].x, checkpoints[i].z});
  expect_marks(gates, gate_places, "gate");

  editor.mode = mode_billboards;
  const frame boards = draw(1);
  gl_frame_keep(boards, "editor_billboards");
  std::vector<place> board_places;
  for (size_t i = 0; i < billboards.count; i++) board_places.push_back({billboard_at((int32_t)i)->x, billboard_at((int32_t)i)->z});
  expect_marks(boards, board_places, "billboard");

  editor.mode = mode_statues;
  const frame statue_frame = draw(1);
  gl_frame_keep(statue_frame, "editor_statues");
  std::vector<place> statue_places;
  for (size_t i = 0; i < statues.count; i++) statue_places.push_back({statue_at((int32_t)i)->x, statue_at((int32_t)i)->z});
  expect_marks(statue_frame, statue_places, "statue");

  // The other tools without an overlay in view draw the same plain view
  // (the panel beside it shows which tool is chosen).
  editor.mode = mode_smooth;
  const frame smooth = draw(1);
  const int panel_edge = (int)std::ceil(21.25f * height / 64);
  EXPECT_EQ(gl_frame_differing(smooth, plain, panel_edge, 0, width, height), 0);
}

}  // namespace
