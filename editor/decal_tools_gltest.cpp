// The ground under the decal tool, composed on the processor and uploaded
// through a real driver (Mesa under Xvfb): what the block textures hold
// after the editor's frames against the same blocks composed afresh.
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
#include "core/intern.h"
#include "editor/decal_tools.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "platform/window.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "terrain/decals.h"
#include "terrain/editor_hooks.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

const int width = 640, height = 480;

// A 4 x 4 opaque red picture: the decals below are painted flat red.
uint8_t red[4 * 4 * 4];

class DecalGround : public ::testing::Test {
 protected:
  void SetUp() override {
    static int made = -1;
    if (made < 0) made = test_run_bkdata(std::string("track quarrybend ") + std::getenv("BK_HOME"));
    ASSERT_EQ(made, 1);
    window_ = gl_window_open("Decal test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ground_gl_install();
    asset_generation = 0;
    file_index_build();
    fonts_load();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    editor_items_reset();
    menu_keys_name(nullptr);
    editor_install_hooks();
    editor_hooks.active = 1;
    saved_mode_ = render_texture_mode;
    render_texture_mode = 1;
    std::snprintf(track_folder, sizeof track_folder, "quarrybend");
    ASSERT_EQ(load_track(), 1);
    ASSERT_EQ(track_field.texture_mode, 1);
    menu_screen = {width, height, width / 2, height / 2};
    for (size_t k = 0; k < sizeof red; k += 4) {
      red[k] = 250;
      red[k + 1] = red[k + 2] = 0;
      red[k + 3] = 255;
    }
    // Only the decals of this test.
    decal_bins_init(&track_field);
    track_field.decals.count = 0;
    decal_bins_rebuild(&track_field);
    editor.mode = mode_decals;
    editor_zoom = 2;
  }
  void TearDown() override {
    render_texture_mode = saved_mode_;
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
  static int add(float x, float z, float angle, float a, float b) {
    decal d = {};
    d.image = red;
    d.image_width = d.image_height = 4;
    d.x = x;
    d.z = z;
    set(&d, angle);
    d.extent_a = a;
    d.extent_b = b;
    d.name = intern_string("red");
    EXPECT_TRUE(growable_array_append(&track_field.decals, &d));
    const int i = (int)track_field.decals.count - 1;
    decal_bin_insert(&track_field, i);
    decal_mark_dirty(&track_field, i);
    return i;
  }
  static void set(decal* d, float angle) {
    d->angle = angle;
    d->sin_angle = std::sin(angle);
    d->cos_angle = std::cos(angle);
  }
  static void mouse_at(float x, float z) {
    editor.centre_x = x;
    editor.centre_z = z;
    menu_screen.mouse_x = width / 2;
    menu_screen.mouse_y = height / 2;
  }
  // The editor's frames (8 compositor updates each) until no block is stale.
  static void settle() {
    const int blocks = terrain_block_count(&track_field);
    for (int frame = 0; frame < 200; frame++) {
      set_projection(width, height, 60);
      editor_draw();
      bool stale = false;
      for (int b = 0; b < blocks * blocks; b++) stale |= track_field.block_stamps[b] != 0;
      if (!stale) break;
    }
    glFinish();
  }
  // Block (bx, bz) as its texture holds it.
  static std::vector<uint8_t> uploaded(int bx, int bz) {
    const int bs = track_field.block_size, blocks = terrain_block_count(&track_field);
    std::vector<uint8_t> pixels((size_t)bs * bs * 3);
    glBindTexture(GL_TEXTURE_2D, track_field.block_textures[0][bx + blocks * bz]);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
  }
  // The same block composed from scratch.
  static std::vector<uint8_t> composed(int bx, int bz) {
    const int bs = track_field.block_size;
    std::vector<uint8_t> pixels((size_t)bs * bs * 3);
    ground_compose_region(&track_field, 64 * bx, 64 * bz, 64, pixels.data());
    return pixels;
  }
  // Whether world (x, z) is painted red in its block's texture.
  static bool red_at(const std::vector<uint8_t>& block, int bx, int bz, float x, float z) {
    const float s = track_field.spacing, side = 128 * s;
    const int px = (int)((x - bx * side) / s), py = (int)((z - bz * side) / s);
    const uint8_t* p = &block[3 * ((size_t)px + track_field.block_size * py)];
    return p[0] > 200 && p[1] < 60 && p[2] < 60;
  }
  window_state* window_ = nullptr;
  int saved_mode_ = 1;
};

TEST_F(DecalGround, AMovedDecalIsRepaintedAtBothPlaces) {
  ASSERT_GE(terrain_block_count(&track_field), 2);
  const float side = 128 * track_field.spacing;  // a block's world size
  const int i = add(0.5f * side, 0.5f * side, 0.3f, 12 * track_field.spacing, 12 * track_field.spacing);
  settle();
  ASSERT_EQ(uploaded(0, 0), composed(0, 0));
  ASSERT_TRUE(red_at(uploaded(0, 0), 0, 0, 0.5f * side, 0.5f * side));
  // Dragged into the next block along x.
  editor.current_decal = i;
  mouse_at(0.5f * side, 0.5f * side);
  editor_key(menu_keys.click, 1);
  ASSERT_EQ(editor.drag_state, 1);
  mouse_at(1.5f * side, 0.5f * side);
  editor_update();
  editor_key(menu_keys.click, 0);
  ASSERT_FLOAT_EQ(decal_at(&track_field, i)->x, 1.5f * side);
  settle();
  for (int bx : {0, 1}) EXPECT_EQ(uploaded(bx, 0), composed(bx, 0)) << "block " << bx;
  EXPECT_FALSE(red_at(uploaded(0, 0), 0, 0, 0.5f * side, 0.5f * side));
  EXPECT_TRUE(red_at(uploaded(1, 0), 1, 0, 1.5f * side, 0.5f * side));
  // A copy laid with "d" shows as well.
  mouse_at(1.5f * side, 0.8f * side);
  editor_key('d', 1);
  editor_key('d', 0);
  ASSERT_EQ(track_field.decals.count, 2u);
  settle();
  EXPECT_EQ(uploaded(1, 0), composed(1, 0));
}

TEST_F(DecalGround, AThinStripLiesAlongItsHeading) {
  const float s = track_field.spacing, side = 128 * s;
  const float cx = 0.5f * side, cz = 0.5f * side, angle = (float)M_PI / 4;
  add(cx, cz, angle, 3 * s, 60 * s);
  settle();
  const std::vector<uint8_t> block = uploaded(0, 0);
  EXPECT_EQ(block, composed(0, 0));
  // Ahead is (-sin, -cos): the strip runs that way from its centre both
  // ways, and is bare across it.
  const float ahead[2] = {-std::sin(angle), -std::cos(angle)};
  for (float t : {-25.0f, -12.0f, 0.0f, 12.0f, 25.0f})
    EXPECT_TRUE(red_at(block, 0, 0, cx + t * s * ahead[0], cz + t * s * ahead[1])) << t;
  for (float t : {-20.0f, -8.0f, 8.0f, 20.0f})
    EXPECT_FALSE(red_at(block, 0, 0, cx + t * s * ahead[1], cz - t * s * ahead[0])) << t;
}

}  // namespace
