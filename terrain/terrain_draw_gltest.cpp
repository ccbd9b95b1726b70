// The terrain drawn by a real driver (Mesa under Xvfb): the sample track
// from a camera above it, in each ground-texture mode the driver offers.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "core/message_ring.h"
#include "platform/window.h"
#include "terrain/decals.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_edit.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"
#include "terrain/tiles.h"
#include "terrain/track_lighting.h"
#include "tools/testing/test_env.h"

namespace {

const int view = 256;
height_field field;

// The sample track, made once by the data generator beside this test.
bool make_sample_track() {
  static int made = -1;
  if (made < 0) made = test_run_bkdata(std::string("track quarrybend ") + std::getenv("BK_HOME"));
  return made == 1;
}

struct TerrainDrawGl : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(make_sample_track()) << "bkdata track quarrybend failed";
    window_ = gl_window_open("Terrain test", view, view, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ground_gl_install();
    asset_generation = 0;
  }
  void TearDown() override {
    free_terrain(&field);
    texture_delete_stale(1);
    no_vertex_arrays = 0;
    ground_mipmaps = 0;
    gl_window_close(window_);
  }
  window_state* window_ = nullptr;
};

// A camera south of the field, high up, looking north and down, with a
// 90-degree view.
void place_camera() {
  const float eye[3] = {512.0f, 120.0f, -60.0f};
  const float target[3] = {512.0f, 0.0f, 400.0f};
  float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
  const float length = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (float& c : f) c /= length;
  for (int c = 0; c < 3; c++) {
    field.camera_position[c] = eye[c];
    field.camera_direction[c] = f[c];
  }
  // side = f x up, up' = side x f
  float s[3] = {f[1] * 0 - f[2] * 1, f[2] * 0 - f[0] * 0, f[0] * 1 - f[1] * 0};
  const float sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  for (float& c : s) c /= sl;
  const float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
  const GLfloat m[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1};
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1.0, 1.0, -1.0, 1.0, 1.0, 4000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(m);
  glTranslatef(-eye[0], -eye[1], -eye[2]);
}

// Runs a few frames of the game's order (compose, then draw) and reads the
// last one, rows bottom first.
std::vector<uint8_t> draw_frames(int frames, bool compose = true) {
  std::vector<uint8_t> pixels((size_t)view * view * 3);
  for (int frame = 0; frame < frames; frame++) {
    update_terrain_lod(&field);
    place_camera();
    if (compose) update_ground_textures(&field);
    glViewport(0, 0, view, view);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    place_camera();
    draw_terrain(&field);
  }
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, view, view, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

bool is_sky(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 255; }
// The sample ground is dirt, grass and hardpack: blue well below red or
// green. The placeholder textures are grey.
bool is_ground(const uint8_t* p) { return !is_sky(p) && p[2] + 8 < (p[0] > p[1] ? p[0] : p[1]); }

void expect_track_drawn(const std::vector<uint8_t>& pixels, const char* what) {
  SCOPED_TRACE(what);
  int sky = 0, ground = 0, top = 0, bottom = 0;
  std::set<int> colours;
  for (int row = 0; row < view; row++)
    for (int col = 0; col < view; col++) {
      const uint8_t* p = &pixels[3 * ((size_t)view * row + col)];
      if (row >= view * 3 / 4) {  // top quarter: beyond the far edge of the field
        top++;
        sky += is_sky(p);
      }
      if (row < view * 2 / 5) {  // bottom two fifths: the field in front of the camera
        bottom++;
        ground += is_ground(p);
        colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
      }
    }
  EXPECT_EQ(sky, top);
  EXPECT_GT(ground, bottom * 95 / 100);
  EXPECT_GT(colours.size(), 50u);  // textured and shaded, not flat
}

TEST_F(TerrainDrawGl, SampleTrackDrawsInEveryCompositorMode) {
  const struct {
    int mode;
    const char* name;
  } modes[] = {{1, "TexSubImage"}, {2, "CopyTexSubImage"}, {3, "framebuffer objects"}};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.name);
    ASSERT_EQ(load_terrain(&field, "@quarrybend", m.mode), 1);
    if (field.texture_mode != m.mode) {
      EXPECT_EQ(m.mode, 3);  // only framebuffer objects may be missing
      EXPECT_FALSE(gl_caps.framebuffer_object);
      continue;
    }
    EXPECT_EQ(field.tile_count, 17);
    const std::vector<uint8_t> pixels = draw_frames(6);
    expect_track_drawn(pixels, m.name);
    EXPECT_GT(field.drawn_vertex_count, 1000);
    if (getenv("BK_TERRAIN_SHOTS"))
      image_write_screenshot(("/tmp/a18/terrain_mode" + std::to_string(m.mode) + ".png").c_str(), pixels.data(), view, view);
    if (m.mode == 1) {
      // Immediate mode draws the same picture.
      const std::vector<uint8_t> arrays = draw_frames(1, false);
      no_vertex_arrays = 1;
      EXPECT_TRUE(draw_frames(1, false) == arrays);
      no_vertex_arrays = 0;
      image_write_screenshot((std::string(test_root()) + "/terrain_mode1.png").c_str(), pixels.data(), view, view);
    }
    free_terrain(&field);
  }
}

TEST_F(TerrainDrawGl, ADigShowsInTheGroundTextureAfterItsRegionIsRebuilt) {
  ASSERT_EQ(load_terrain(&field, "@quarrybend", 1), 1);
  draw_frames(8);
  const uint32_t block = field.block_textures[0][0];
  std::vector<uint8_t> before((size_t)field.block_size * field.block_size * 3), after(before.size());
  glBindTexture(GL_TEXTURE_2D, block);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, before.data());
  // A pit at cell (40, 40) changes the shading round it.
  for (int j = 36; j <= 44; j++)
    for (int i = 36; i <= 44; i++) ASSERT_EQ(terrain_set_height(&field, i, j, field.heights[i + field.size * j] - 6.0f), 1);
  field.edit_count++;
  ground_mark_dirty(&field, 35, 35, 45, 45);
  EXPECT_GT(field.block_stamps[0], 0);
  draw_frames(8);
  glBindTexture(GL_TEXTURE_2D, block);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, after.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(field.block_stamps[0], 0);
  EXPECT_FALSE(before == after);
}

}  // namespace

namespace {

// Mean colour of block 0's texture.
void block_mean(double mean[3]) {
  const int bs = field.block_size;
  std::vector<uint8_t> pixels((size_t)bs * bs * 3);
  glBindTexture(GL_TEXTURE_2D, field.block_textures[0][0]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  for (int c = 0; c < 3; c++) mean[c] = 0;
  for (size_t k = 0; k < pixels.size(); k++) mean[k % 3] += pixels[k];
  for (int c = 0; c < 3; c++) mean[c] /= (double)bs * bs;
}

// The driver composes the same ground as the processor: the mean colour of
// a block agrees (filtering differs, so single texels may not), and a decal
// lands where it lies.
TEST_F(TerrainDrawGl, RenderedBlocksMatchTheProcessorsAndShowTheirDecals) {
  ASSERT_EQ(load_terrain(&field, "@quarrybend", 1), 1);
  draw_frames(1);
  double cpu[3];
  block_mean(cpu);
  free_terrain(&field);
  const int mode = gl_caps.framebuffer_object ? 3 : 2;
  ASSERT_EQ(load_terrain(&field, "@quarrybend", mode), 1);
  ASSERT_EQ(field.texture_mode, mode);
  draw_frames(1);
  double gpu[3];
  block_mean(gpu);
  for (int c = 0; c < 3; c++) EXPECT_NEAR(gpu[c], cpu[c], 6.0) << "channel " << c;

  // An opaque red decal over cells 20..60 of block 0.
  std::vector<uint8_t> red(8 * 8 * 4);
  for (size_t k = 0; k < red.size(); k += 4) {
    red[k] = 250;
    red[k + 1] = red[k + 2] = 0;
    red[k + 3] = 255;
  }
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, red.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
  decal_bins_init(&field);
  decal d = {};
  d.texture = texture;
  d.x = d.z = 160.0f;  // 4 ft cells: cells 20..60
  d.extent_a = d.extent_b = 160.0f;
  d.cos_angle = 1.0f;
  ASSERT_TRUE(growable_array_append(&field.decals, &d));
  field.generation = 5;
  decal_mark_dirty(&field, (int)field.decals.count - 1);
  decal_bin_insert(&field, (int)field.decals.count - 1);
  EXPECT_EQ(field.block_stamps[0], 5);
  draw_frames(12);
  EXPECT_EQ(field.block_stamps[0], 0);
  const int bs = field.block_size;
  std::vector<uint8_t> pixels((size_t)bs * bs * 3);
  glBindTexture(GL_TEXTURE_2D, field.block_textures[0][0]);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  // Cell 40 is texel 40 of the 128-cell block (one texel a cell here).
  const uint8_t* centre = &pixels[3 * ((size_t)bs * 40 * bs / 128 + 40 * bs / 128)];
  EXPECT_GT(centre[0], 2 * centre[1]) << (int)centre[0] << "," << (int)centre[1] << "," << (int)centre[2];
  const uint8_t* outside = &pixels[3 * ((size_t)bs * 100 * bs / 128 + 100 * bs / 128)];
  EXPECT_LT(outside[0], 2 * outside[1]);
  glDeleteTextures(1, &texture);
}

}  // namespace

namespace {

// With the terrain shader: three texture sets (colour, packed normals,
// specular) composed per region and the terrain program while drawing.
TEST_F(TerrainDrawGl, NormalMappedGroundDrawsWithTheTerrainProgram) {
  if (!shaders_activate(1)) GTEST_SKIP() << "the driver builds no shader programs";
  terrain_shaders = 1;
  lighting.dynamic_lighting = 1;
  const int mode = gl_caps.framebuffer_object ? 3 : 2;
  const int loaded = load_terrain(&field, "@quarrybend", mode);
  terrain_shaders = 0;
  lighting.dynamic_lighting = 0;
  ASSERT_EQ(loaded, 1);
  ASSERT_EQ(field.normal_mapped, 1);
  ASSERT_NE(field.normal_bytes, nullptr);
  for (int set = 0; set < 3; set++) {
    EXPECT_NE(field.lod_textures[set][1][0][0], 0u);
    EXPECT_NE(field.block_textures[set][0], 0u);
  }
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const std::vector<uint8_t> pixels = draw_frames(4);
  glDisable(GL_LIGHTING);
  EXPECT_EQ(shader_programs.current, shader_fixed);
  int ground = 0;
  for (int row = 0; row < view * 2 / 5; row++)
    for (int col = 0; col < view; col++) ground += !is_sky(&pixels[3 * ((size_t)view * row + col)]);
  EXPECT_EQ(ground, view * (view * 2 / 5));
  // The specular texture of a block: no shine (0, 1, 1) where no decal lies.
  const int bs = field.block_size;
  std::vector<uint8_t> spec((size_t)bs * bs * 3);
  glBindTexture(GL_TEXTURE_2D, field.block_textures[2][0]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, spec.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(spec[0], 0);
  EXPECT_EQ(spec[1], 255);
  EXPECT_EQ(spec[2], 255);
  shader_use(shader_fixed);
  shader_delete_all();
  shaders_active = 0;
}

}  // namespace
