// The editor's side panel drawn by a real driver over the sample track at
// two window sizes: where each tool's items land and what a click finds.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "core/file_index.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "platform/window.h"
#include "race/menu_screen.h"
#include "race/projection.h"
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

struct size {
  int w, h;
};

using frame = gl_frame;

float brightness(const frame& f, int x, int y) {
  const unsigned char* p = f.at(x, y);
  return (p[0] + p[1] + p[2]) / 3.0f;
}
// Mean brightness over [x0, x1) x [y0, y1).
float mean(const frame& f, int x0, int y0, int x1, int y1) {
  float sum = 0;
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++)
      if (x >= 0 && y >= 0 && x < f.w && y < f.h) sum += brightness(f, x, y), n++;
  return n ? sum / (float)n : 0;
}

// Each tool's own items, in the order they are drawn, and the number of
// lines (items, text lines, gaps) that come before each.
struct placed {
  int item;
  int line;  // 1 for the first tool button
};

std::vector<placed> layout(int mode) {
  std::vector<placed> out;
  for (int i = 0; i <= panel_radius; i++) out.push_back({i, i + 1});
  int line = panel_radius + 1 + 2;  // the two "Actual" lines
  auto next = [&](int item) { out.push_back({item, ++line}); };
  switch (mode) {
    case mode_billboards:
      next(panel_billboard_spacing);
      next(panel_billboard_height);
      break;
    case mode_gradient_placement:
      next(panel_new_gradient);
      next(panel_copy_gradient);
      break;
    case mode_gradient_edit:
      next(panel_segment_type);
      next(panel_granularity);
      line++;  // the gap
      next(panel_set_from_terrain);
      next(panel_flatten);
      break;
    case mode_timing_gate:
      line++;  // the switch-point line
      next(panel_set_switch_point);
      next(panel_clear_switch_point);
      break;
    case mode_tilemap: next(panel_tile); break;
    case mode_statues:
      next(panel_show_collidable);
      next(panel_snap_to_gradient);
      break;
    case mode_decals:
      next(panel_decal_spacing);
      next(panel_orientation);
      next(panel_hide_different);
      next(panel_level);
      break;
    default: break;
  }
  return out;
}

// The rectangle the layout rule gives the item on line k: the pen 1.5
// units down a line from (0.5, 0), 20 units wide, one unit tall.
void expected_rect(int line, int h, int out[4]) {
  const float s = (float)h / 64, y = -1.5f * (float)line;
  out[0] = (int)(0.5f * s);
  out[1] = (int)((y + 1) * -s);
  out[2] = (int)(20.5f * s);
  out[3] = (int)(y * -s);
}

class PanelGl : public ::testing::TestWithParam<size> {
 protected:
  void SetUp() override {
    const std::string root = std::getenv("BK_HOME");
    static int made = -1;
    if (made < 0) made = test_run_bkdata("shapes " + root) && test_run_bkdata("track quarrybend " + root);
    ASSERT_EQ(made, 1) << "bkdata failed";
    window_ = gl_window_open("Panel test", 64, 64, 24, 0, 16, 0, 0);
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
    w_ = GetParam().w;
    h_ = GetParam().h;
    menu_screen = {w_, h_, w_ / 2, h_ / 2};

    target_.create(w_, h_, true);
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
  frame draw() {
    target_.bind();
    set_projection(w_, h_, 60);
    editor_draw();
    glFinish();
    return gl_frame_read(w_, h_);
  }
  void click_at(int x, int y) {
    menu_screen.mouse_x = x;
    menu_screen.mouse_y = y;
    editor_key(menu_keys.click, 1);
    editor_key(menu_keys.click, 0);
  }
  window_state* window_ = nullptr;
  gl_target target_;
  int w_ = 0, h_ = 0;
};

TEST_P(PanelGl, EachToolsItemsFollowTheLayoutAndShow) {
  // The mouse off the panel, so no item is drawn selected by it.
  menu_screen.mouse_x = w_ - 10;
  menu_screen.mouse_y = h_ - 10;
  editor.panel_item = -1;
  const float s = (float)h_ / 64;
  for (int mode = 0; mode < editor_mode_count; mode++) {
    editor.mode = mode;
    const frame f = draw();
    gl_frame_keep(f, "panel_" + std::to_string(w_) + "_mode" + std::to_string(mode));
    std::vector<int> shown(panel_item_count, 0);
    for (const placed& p : layout(mode)) {
      shown[(size_t)p.item] = 1;
      int want[4];
      expected_rect(p.line, h_, want);
      const int* got = editor_panel_rects[p.item];
      for (int k = 0; k < 4; k++) EXPECT_NEAR(got[k], want[k], 1) << "mode " << mode << " item " << p.item << " " << k;
      // The item's boxes are lighter than the gap above it, over the right
      // part where every kind of item has its value or button box.
      const int x0 = got[0] + (got[2] - got[0]) * 6 / 10, x1 = got[2] - 2;
      const float inside = mean(f, x0, got[1] + 1, x1, got[3] - 1);
      const int gap = (int)((float)got[1] - 0.25f * s);
      const float between = mean(f, x0, gap, x1, gap + 1);
      EXPECT_GT(inside, between + 8) << "mode " << mode << " item " << p.item;
    }
    for (int item = panel_billboard_spacing; item < panel_dummy; item++) {
      if (shown[(size_t)item]) continue;
      for (int k = 0; k < 4; k++) EXPECT_EQ(editor_panel_rects[item][k], -1) << "mode " << mode << " item " << item;
    }
    const int* whole = editor_panel_rects[panel_dummy];
    EXPECT_EQ(whole[0], 0);
    EXPECT_EQ(whole[1], 0);
    EXPECT_EQ(whole[2], (int)(20 * s));
    EXPECT_EQ(whole[3], h_);
    // The current tool's button is drawn selected: bright.
    const int* button = editor_panel_rects[mode];
    EXPECT_GT(mean(f, button[0] + 2, button[1] + 1, button[2] - 2, button[3] - 1), 120) << mode;
  }
}

TEST_P(PanelGl, AClickReachesTheItemDrawnThereNow) {
  editor.mode = mode_billboards;
  menu_screen.mouse_x = w_ - 10;
  menu_screen.mouse_y = h_ - 10;
  draw();
  const int* spacing = editor_panel_rects[panel_billboard_spacing];
  const int x = (spacing[0] + spacing[2]) / 2, y = (spacing[1] + spacing[3]) / 2;
  // "7" chooses Gradient Placement with the mouse off the panel.
  editor_key('7', 1);
  editor_key('7', 0);
  ASSERT_EQ(editor.mode, mode_gradient_placement);
  draw();
  click_at(x, y);
  EXPECT_EQ(editor.panel_item, panel_new_gradient);
  EXPECT_EQ(editor.gradients.count, 1u);
  EXPECT_DOUBLE_EQ(editor_billboard_spacing, 1);

  // Below the last line the panel's own rectangle catches the click.
  const size_t before = editor.gradients.count;
  click_at(5, h_ - 3);
  EXPECT_EQ(editor.panel_item, panel_dummy);
  EXPECT_EQ(editor.gradients.count, before);
  EXPECT_EQ(editor.mode, mode_gradient_placement);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PanelGl, ::testing::Values(size{640, 480}, size{1280, 720}),
                         [](const ::testing::TestParamInfo<size>& info) {
                           return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

}  // namespace
