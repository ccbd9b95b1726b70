// A brush stroke and a tile stroke made through the editor's own steps on
// the sample track, followed by the frames the editor's view runs (the LOD
// refresh and eight ground-texture updates a frame): the mesh, the LOD data
// and the ground textures all catch up with the edit, and nothing else
// changes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/texture.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/height_brush.h"
#include "editor/tilemap_paint.h"
#include "platform/window.h"
#include "race/menu_screen.h"
#include "terrain/bitmap.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"
#include "tools/testing/test_env.h"

namespace {

height_field field;

// The stroke's centre: vertex (129, 129), an odd vertex that only the
// finest mesh level has as a fan centre.
const int centre_vertex = 129;
const float centre = 129 * 4.0f;

bool make_sample_track() {
  static int made = -1;
  if (made < 0) made = test_run_bkdata(std::string("track quarrybend ") + std::getenv("BK_HOME"));
  return made == 1;
}

class EditorStrokeGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(make_sample_track()) << "bkdata failed";
    window_ = gl_window_open("Editor stroke test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ground_gl_install();
    asset_generation = 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
  }
  void TearDown() override {
    editor_free();
    editor_items_reset();
    free_terrain(&field);
    texture_delete_stale(1);
    gl_window_close(window_);
  }

  // The sample terrain in compositor mode `mode`, taken over by the editor
  // with the mouse over the stroke's centre, and settled.
  bool open(int mode) {
    if (load_terrain(&field, "@quarrybend", mode) != 1 || field.texture_mode != mode) return false;
    editor_items_reset();
    menu_screen = {640, 480, 320, 240};
    editor_load_edinfo(&field);
    editor_zoom = 2;
    editor.centre_x = editor.centre_z = centre;
    // The generated shading file is baked differently from the game's own
    // vertex shading: shade every vertex the game's way first, so that a
    // fresh composition and the edited one start from the same ground.
    const size_t cells = (size_t)field.size * field.size;
    std::memset(field.vertex_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)cells));
    refresh_terrain_normals(&field);
    ground_mark_dirty(&field, 0, 0, field.size - 1, field.size - 1);
    frames(40);
    return true;
  }

  // The editor view's frames: the viewer at the mouse point, the LOD
  // refresh, eight compositor updates.
  static void frames(int count) {
    for (int k = 0; k < count; k++) {
      field.camera_position[0] = centre;
      field.camera_position[1] = 0;
      field.camera_position[2] = centre;
      update_terrain_lod(&field);
      for (int u = 0; u < 8; u++) update_ground_textures(&field);
    }
  }
  // Frames until the LOD pass has caught up with the last edit, then
  // enough for the stale low-detail textures to be uploaded and their
  // regions composed.
  static void frames_until_refreshed() {
    for (int k = 0; k < 4000 && field.lod_pass_target != field.edit_count; k++) frames(1);
    frames((int)upload_interval + 4);
    for (int k = 0; k < 400 && any_stale(); k++) frames(1);
  }
  static bool any_stale() {
    const int blocks = terrain_block_count(&field);
    for (int b = 0; b < blocks * blocks; b++)
      if (field.block_stamps[b] > 0) return true;
    for (int level = 0; level < lod_texture_levels; level++)
      for (int j = 0; j < lod_texture_window; j++)
        for (int k = 0; k < lod_texture_window; k++)
          if (field.lod_texture_stamps[level][j][k] > 0) return true;
    return false;
  }

  // Raise (S = 8) once at the mouse, as the held button does.
  static void raise() {
    editor.mode = mode_raise;
    editor_strength = 3;
    editor.drag_anchor[0] = -1;
    editor.call_counter = 0;
    brush_step();
  }
  // One tile's worth of the other plain material at the mouse; returns it.
  static int paint_tile() {
    const int q = 1 << field.n;
    const int under = field.tilemap[(centre_vertex / 2) + q * (centre_vertex / 2)];
    editor.mode = mode_tilemap;
    editor_tile = under == 1 ? 0 : 1;
    editor_radius = 4;
    editor.drag_anchor[0] = -1;
    editor.call_counter = 0;
    tilemap_paint_step();
    return (int)editor_tile;
  }

  std::vector<uint8_t> block_pixels(int block) const {
    std::vector<uint8_t> pixels((size_t)field.block_size * field.block_size * 3);
    glBindTexture(GL_TEXTURE_2D, field.block_textures[0][block]);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
  }

  window_state* window_ = nullptr;
};

// Every ground texture over cells x0..x1, z0..z1 (inclusive) in mode 1:
// blocks of 128 cells and the LOD window slots of 2^(level+1) cells.
template <typename Visit>
void textures_over(int x0, int z0, int x1, int z1, Visit visit) {
  const int blocks = terrain_block_count(&field);
  for (int bz = z0 >> 7; bz <= z1 >> 7; bz++)
    for (int bx = x0 >> 7; bx <= x1 >> 7; bx++) visit(field.block_stamps[bx + blocks * bz], "block");
  for (int level = ground_texture_level0; level < lod_texture_levels; level++) {
    const int ox = lod_window_origin(field.lod_centre[0], level, field.n);
    const int oz = lod_window_origin(field.lod_centre[1], level, field.n);
    for (int j = 0; j < lod_texture_window; j++)
      for (int k = 0; k < lod_texture_window; k++) {
        const int a = (ox + k) << (level + 1), b = (ox + k + 1) << (level + 1);
        const int c = (oz + j) << (level + 1), d = (oz + j + 1) << (level + 1);
        if (x1 < a || x0 > b || z1 < c || z0 > d) continue;
        visit(field.lod_texture_stamps[level][j][k], "slot");
      }
  }
}

TEST_F(EditorStrokeGl, TheStrokeReachesTheLodMeshAndTheGround) {
  ASSERT_TRUE(open(1));
  const int q = 1 << field.n;

  // The sample's tile table: three plain tiles, dirt/grass transitions
  // matched from their texture names, two more looks of dirt.
  EXPECT_EQ(tilemap_plain_tile_count(), 3);
  ASSERT_EQ(field.tile_count, 17);
  EXPECT_STREQ(field.tile_names[8], "dirt_grass_0110");
  EXPECT_EQ(field.transition_codes[8], (0 << 16) | (1 << 8) | 6);
  EXPECT_STREQ(field.tile_names[16], "dirt_alt2");
  EXPECT_EQ(field.transition_codes[15], field.transition_codes[0]);
  EXPECT_EQ(field.transition_codes[16], field.transition_codes[0]);

  // The tile stroke: tile (64, 64) and the neighbours fitted round it,
  // which reach cells 126..131. Everything over them is due a rebuild,
  // including the block left of cell 128 that only the neighbours touch.
  const int material = paint_tile();
  EXPECT_EQ(field.transition_codes[field.tilemap[64 + q * 64]], field.transition_codes[material]);
  int due = 0;
  textures_over(126, 126, 131, 131, [&](int32_t stamp, const char* what) {
    EXPECT_NE(stamp, 0) << what;
    due++;
  });
  EXPECT_GE(due, 5);
  frames(12);
  textures_over(126, 126, 131, 131, [&](int32_t stamp, const char* what) { EXPECT_EQ(stamp, 0) << what; });

  // The brush stroke.
  const float before = field.heights[centre_vertex * (field.size + 1)];
  const int count = field.edit_count;
  raise();
  EXPECT_EQ(field.edit_count, count + 1);
  const float raised = field.heights[centre_vertex * (field.size + 1)];
  EXPECT_FLOAT_EQ(raised, before + 8);
  frames_until_refreshed();
  EXPECT_EQ(field.lod_pass_target, field.edit_count);

  // No texture over the brush's box (+ 2 cells) is left stale, and the
  // block under the stroke is what a whole fresh composition gives.
  const float w = (float)editor_radius * editor_pixel_size();
  const int lo = (int)std::floor((centre - w) / field.spacing) - 2, hi = (int)std::ceil((centre + w) / field.spacing) + 2;
  textures_over(lo, lo, hi, hi, [&](int32_t stamp, const char* what) { EXPECT_EQ(stamp, 0) << what; });
  const int blocks = terrain_block_count(&field);
  const int block = (centre_vertex >> 7) + blocks * (centre_vertex >> 7);
  const std::vector<uint8_t> shown = block_pixels(block);
  const size_t cells = (size_t)field.size * field.size;
  std::vector<uint8_t> fresh((size_t)field.block_size * field.block_size * 3);
  std::memset(field.vertex_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)cells));
  ground_compose_region(&field, 64 * (centre_vertex >> 7), 64 * (centre_vertex >> 7), 64, fresh.data());
  EXPECT_TRUE(shown == fresh) << "the block under the stroke differs from a fresh composition";

  // The mesh seen from 50 ft above, off to the side of the stroke, is
  // refined down to the raised vertex by the refreshed LOD data.
  field.camera_position[0] = centre + 40;
  field.camera_position[1] = raised + 50;
  field.camera_position[2] = centre;
  field.camera_direction[0] = -0.6f;
  field.camera_direction[1] = -0.8f;
  field.camera_direction[2] = 0;
  terrain_refine(&field);
  struct found {
    int seen = 0;
    float height = 0;
  } at_centre;
  const terrain_fan_sink sink = {&at_centre, [](void* context, const terrain_fan* fan) {
                                   found* f = static_cast<found*>(context);
                                   for (int v = 0; v < fan->count; v++)
                                     if (fan->position[v][0] == centre && fan->position[v][2] == centre) {
                                       f->seen++;
                                       f->height = fan->position[v][1];
                                     }
                                 }};
  terrain_emit_fans(&field, &sink);
  EXPECT_GT(at_centre.seen, 0);
  EXPECT_FLOAT_EQ(at_centre.height, raised);

  // The LOD data is what a full rebuild makes of the heights now (the
  // rebuild is made to run by a count of its own).
  const int64_t nodes = terrain_lod_node_count(&field);
  const std::vector<float> refreshed(field.lod_node_data_a, field.lod_node_data_a + nodes);
  field.edit_count++;
  rebuild_terrain_lod(&field);
  EXPECT_TRUE(std::vector<float>(field.lod_node_data_a, field.lod_node_data_a + nodes) == refreshed);
}

TEST_F(EditorStrokeGl, RenderedGroundChangesOnlyUnderTheStroke) {
  if (!gl_caps.framebuffer_object) GTEST_SKIP() << "no framebuffer objects";
  ASSERT_TRUE(open(3));
  const int blocks = terrain_block_count(&field);
  const int block = (centre_vertex >> 7) + blocks * (centre_vertex >> 7);
  const int q = 1 << field.n;
  for (int stroke = 0; stroke < 2; stroke++) {
    SCOPED_TRACE(stroke == 0 ? "raise" : "tile");
    const std::vector<uint8_t> before = block_pixels(block);
    const std::vector<float> heights(field.heights, field.heights + (size_t)field.size * field.size);
    const std::vector<uint8_t> tiles(field.tilemap, field.tilemap + (size_t)q * q);
    if (stroke == 0)
      raise();
    else
      paint_tile();
    frames_until_refreshed();
    const std::vector<uint8_t> after = block_pixels(block);

    // The footprint: every cell whose height or tile changed.
    int x0 = field.size, z0 = field.size, x1 = -1, z1 = -1;
    auto grow = [&](int x, int z) {
      x0 = std::min(x0, x);
      z0 = std::min(z0, z);
      x1 = std::max(x1, x);
      z1 = std::max(z1, z);
    };
    for (int z = 0; z < field.size; z++)
      for (int x = 0; x < field.size; x++)
        if (field.heights[x + field.size * z] != heights[(size_t)(x + field.size * z)]) grow(x, z);
    for (int b = 0; b < q; b++)
      for (int a = 0; a < q; a++)
        if (field.tilemap[a + q * b] != tiles[(size_t)(a + q * b)]) {
          grow(2 * a, 2 * b);
          grow(2 * a + 2, 2 * b + 2);
        }
    ASSERT_GE(x1, x0);

    // Texels of the 128-cell block, rows by z.
    const int bs = field.block_size;
    const float per_cell = (float)bs / 128.0f;
    const int origin = 128 * (centre_vertex >> 7);
    int changed = 0, outside = 0;
    for (int t = 0; t < bs; t++)
      for (int s = 0; s < bs; s++) {
        const size_t k = 3 * ((size_t)t * bs + s);
        if (before[k] == after[k] && before[k + 1] == after[k + 1] && before[k + 2] == after[k + 2]) continue;
        changed++;
        const float x = origin + s / per_cell, z = origin + t / per_cell;
        if (x < x0 - 2 || x > x1 + 3 || z < z0 - 2 || z > z1 + 3) outside++;
      }
    EXPECT_GT(changed, 3);
    EXPECT_EQ(outside, 0) << "footprint cells " << x0 << ".." << x1 << " x " << z0 << ".." << z1;
  }
}

}  // namespace
