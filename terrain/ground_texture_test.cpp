#include "terrain/ground_texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/image.h"
#include "terrain/bitmap.h"
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_mesh.h"

namespace {

height_field field;

struct GroundTexture : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(terrain_create(&field, 7, 1.0f), 1);
    std::memset(field.vertex_dirty, 0, (size_t)bitmap_bytes((int64_t)field.size * field.size));
    decal_bins_init(&field);
    saved_level0 = ground_texture_level0;
    ground_gl = {};
  }
  void TearDown() override {
    free_terrain(&field);
    ground_gl = {};
    ground_texture_level0 = saved_level0;
  }
  static int add_decal(float x, float z, float angle, float a, float b, uint8_t* image = nullptr, int side = 0) {
    decal d = {};
    d.image = image;
    d.image_width = d.image_height = side;
    d.x = x;
    d.z = z;
    d.angle = angle;
    d.extent_a = a;
    d.extent_b = b;
    d.sin_angle = std::sin(angle);
    d.cos_angle = std::cos(angle);
    EXPECT_TRUE(growable_array_append(&field.decals, &d));
    const int index = (int)field.decals.count - 1;
    decal_mark_dirty(&field, index);
    decal_bin_insert(&field, index);
    return index;
  }
  static std::vector<int> query(float x0, float z0, float x1, float z1) {
    size_t count = 0;
    const int32_t* list = decal_bins_query(&field, x0, z0, x1, z1, &count);
    return std::vector<int>(list, list + count);
  }
  int saved_level0 = 1;
};

// ---------------------------------------------------------------------------
// Decal bins.

TEST_F(GroundTexture, BinQueriesGiveAscendingListsWithoutRepeats) {
  const float e = field.extent;  // 256: a bin is 32 wide
  add_decal(40, 40, 0, 4, 4);            // 0: bin (1, 1)
  add_decal(60, 60, 0, 12, 4);           // 1: columns 1..2, row 1
  add_decal(0.5f, 255.5f, 0.3f, 8, 8);   // 2: on the world's edge
  add_decal(50, 35, 0.7f, 40, 10);       // 3: several bins
  add_decal(-30, 300, 0, 2, 2);          // 4: outside the world: edge bin
  const growable_array& one = field.decal_bins[1][1];
  const std::vector<int> inside = query(33, 33, 62, 62);
  ASSERT_EQ(inside.size(), one.count);
  EXPECT_EQ(inside, (std::vector<int>{0, 1, 3}));
  size_t count = 0;
  EXPECT_EQ(decal_bins_query(&field, 33, 33, 62, 62, &count), (const int32_t*)one.data);
  EXPECT_EQ(query(0, 0, e, e), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(query(0, 200, 31, e), (std::vector<int>{2, 4}));
  int c0, r0, c1, r1;
  decal_bin_range(&field, decal_at(&field, 2), &c0, &r0, &c1, &r1);
  EXPECT_EQ(c0, 0);
  EXPECT_EQ(r1, 7);
  decal_bin_range(&field, decal_at(&field, 4), &c0, &r0, &c1, &r1);
  EXPECT_EQ(c0, 0);
  EXPECT_EQ(c1, 0);
  EXPECT_EQ(r0, 7);
  EXPECT_EQ(r1, 7);

  // Deleting decal 1 and renumbering the rest, as the editor does.
  decal_bin_remove(&field, 1);
  decal_bins_renumber(&field, 2, -1);
  EXPECT_EQ(query(33, 33, 62, 62), (std::vector<int>{0, 2}));
  EXPECT_EQ(query(0, 0, e, e), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(GroundTexture, DecalEditsStampTheRegionsUnderThem) {
  ground_texture_level0 = 0;
  for (int b = 0; b < 4; b++) field.block_stamps[b] = 0;
  field.generation = 9;
  add_decal(200, 20, 0, 10, 10);
  EXPECT_EQ(field.block_stamps[1], 9);   // block (1, 0) holds cells 128..255
  EXPECT_EQ(field.block_stamps[0], 0);
  EXPECT_EQ(field.block_stamps[2], 0);
  // Before the first frame the generation is 0, which would read as
  // current: the stamp is 1 instead.
  field.generation = 0;
  field.block_stamps[0] = 0;
  ground_mark_dirty(&field, 3, 3, 4, 4);
  EXPECT_EQ(field.block_stamps[0], 1);
}

// ---------------------------------------------------------------------------
// Span painters.

TEST_F(GroundTexture, SpanPaintersBlendByAlpha) {
  // A 2 x 1 image: opaque red, then transparent green.
  const uint8_t image[8] = {200, 10, 20, 255, 0, 250, 0, 0};
  uint8_t row[6] = {1, 2, 3, 4, 5, 6};
  ground_span_nearest(row, 2, image, 2, 1, 0, 0, 65536, 0);
  EXPECT_EQ(row[0], 200);
  EXPECT_EQ(row[1], 10);
  EXPECT_EQ(row[2], 20);
  EXPECT_EQ(row[3], 4);  // alpha 0 leaves the pixel
  EXPECT_EQ(row[4], 5);
  EXPECT_EQ(row[5], 6);
  // Half alpha is about the mean.
  EXPECT_NEAR(ground_blend(200, 128, 100), 150, 1);
  EXPECT_EQ(ground_blend(17, 0, 99), 99);
  EXPECT_EQ(ground_blend(17, 255, 99), 17);
  // Bright and nearly opaque: the full-range products stay exact.
  EXPECT_NEAR(ground_blend(245, 230, 0), 245 * 230 / 255, 1);
  EXPECT_NEAR(ground_blend(250, 1, 255), 255, 1);
  // Bilinear between the two texels: colour and alpha both interpolate, and
  // a uniform image comes back exactly.
  uint8_t mid[3] = {0, 0, 0};
  ground_span_bilinear(mid, 1, image, 2, 1, 65536, 0, 0, 0);  // halfway between the texel centres
  EXPECT_NEAR(mid[0], 50, 2);
  const uint8_t flat[16] = {90, 80, 70, 255, 90, 80, 70, 255, 90, 80, 70, 255, 90, 80, 70, 255};
  uint8_t out[9] = {};
  ground_span_bilinear(out, 3, flat, 2, 2, 12345, 54321, 20000, 7000);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(out[3 * k], 90);
    EXPECT_EQ(out[3 * k + 2], 70);
  }
}

// ---------------------------------------------------------------------------
// Compositing on the processor, against a reference worked out here from
// the tile images, the decals and the shading.

std::vector<uint8_t> tile_chain(int side, int seed) {
  std::vector<uint8_t> chain(image_chain_size(side, side, 4));
  for (int k = 0; k < side * side; k++) {
    chain[4 * k + 0] = (uint8_t)(40 + seed * 60 + (k * 7) % 50);
    chain[4 * k + 1] = (uint8_t)(30 + (k * 13) % 90);
    chain[4 * k + 2] = (uint8_t)(seed * 100 + (k % side) * 3);
    chain[4 * k + 3] = 255;
  }
  image_build_mips_rgba(chain.data(), side, side);
  return chain;
}

TEST_F(GroundTexture, SoftwareCompositorMatchesTheReference) {
  field.block_size = 32;
  field.tile_count = 2;
  std::vector<uint8_t> tiles[2] = {tile_chain(16, 0), tile_chain(16, 1)};
  for (int t = 0; t < 2; t++) {
    field.tile_image_pixels[t] = tiles[t].data();
    field.tile_image_width[t] = field.tile_image_height[t] = 16;
  }
  const int q = 1 << field.n, r = field.size;
  for (int k = 0; k < q * q; k++) field.tilemap[k] = (uint8_t)((k / 3 + k / q) % 2);
  for (int k = 0; k < r * r * 3; k++) field.shading[k] = (uint8_t)(60 + (k * 37) % 160);
  // A uniform half-transparent decal with its edges between pixel centres,
  // and a turned opaque one.
  std::vector<uint8_t> blue(image_chain_size(8, 8, 4)), white(image_chain_size(4, 4, 4));
  for (size_t k = 0; k < blue.size() / 4; k++) {
    const uint8_t b[4] = {20, 40, 230, 128};
    std::memcpy(&blue[4 * k], b, 4);
  }
  for (size_t k = 0; k < white.size() / 4; k++) std::memset(&white[4 * k], 255, 4);
  // Region: tiles (8, 12) .. (11, 15), cells 16..24 and 24..32; a pixel is
  // a quarter of a cell.
  const decal* d0 = decal_at(&field, add_decal(19, 27, 0, 4, 2, blue.data(), 8));
  const decal* d1 = decal_at(&field, add_decal(22, 30, 0.6f, 2.5f, 1.5f, white.data(), 4));
  const int x = 8, z = 12, size = 4, bs = 32;
  std::vector<uint8_t> out((size_t)bs * bs * 3);
  EXPECT_EQ(ground_compose_region(&field, x, z, size, out.data()), 16);

  int checked = 0;
  for (int py = 0; py < bs; py++)
    for (int px = 0; px < bs; px++) {
      const double wx = 2.0 * x + (px + 0.5) / 4.0, wz = 2.0 * z + (py + 0.5) / 4.0;  // spacing 1
      const int tx = (int)(wx / 2), tz = (int)(wz / 2);
      const int tile = field.tilemap[tx + q * tz];
      // 8 pixels a tile: the 8 x 8 level of the 16 x 16 image.
      const uint8_t* level = tiles[tile].data() + 16 * 16 * 4;
      const double fx = wx / 2 - tx, fz = wz / 2 - tz;
      const int sx = (int)((0.0625 + 0.875 * fx) * 8), sy = (int)((0.0625 + 0.875 * fz) * 8);
      double c[3];
      for (int k = 0; k < 3; k++) c[k] = level[4 * (sx + 8 * sy) + k];
      bool edge = false;
      auto inside = [&](const decal* d, bool* near) {
        const double dx = wx - d->x, dz = wz - d->z;
        const double s = (dx * d->cos_angle - dz * d->sin_angle) / d->extent_a + 0.5;
        const double t = (dx * d->sin_angle + dz * d->cos_angle) / d->extent_b + 0.5;
        const double margin = std::fmin(std::fmin(std::fabs(s), std::fabs(1 - s)), std::fmin(std::fabs(t), std::fabs(1 - t)));
        if (margin < 0.05) *near = true;
        return s >= 0 && s < 1 && t >= 0 && t < 1;
      };
      if (inside(d0, &edge))
        for (int k = 0; k < 3; k++) c[k] = (blue[k] * 128.0 + c[k] * 127.0) / 255.0;
      if (inside(d1, &edge))
        for (int k = 0; k < 3; k++) c[k] = 255.0;
      if (edge) continue;
      for (int k = 0; k < 3; k++) {
        // Shading, bilinear over the vertices, at half scale.
        const int i0 = (int)std::floor(wx), j0 = (int)std::floor(wz);
        const double u = wx - i0, v = wz - j0;
        auto s = [&](int i, int j) { return (double)field.shading[3 * (i + r * j) + k]; };
        const double shade = (s(i0, j0) * (1 - u) + s(i0 + 1, j0) * u) * (1 - v) + (s(i0, j0 + 1) * (1 - u) + s(i0 + 1, j0 + 1) * u) * v;
        const double want = std::fmin(255.0, c[k] * shade / 128.0);
        ASSERT_NEAR(out[3 * (px + bs * py) + k], want, 2.0) << "pixel " << px << "," << py << " channel " << k;
      }
      checked++;
    }
  EXPECT_GT(checked, bs * bs * 3 / 4);
  // Hidden decals leave the tiles alone.
  field.hide_decals = 1;
  std::vector<uint8_t> plain((size_t)bs * bs * 3);
  ground_compose_region(&field, x, z, size, plain.data());
  const size_t inside_d0 = 3 * (12 + bs * 12);  // world (19.125, 27.125)
  EXPECT_NE(plain[inside_d0 + 2], out[inside_d0 + 2]);
}

// Turned a right angle in floats the cosine is a few 1e-8, not 0: the span
// limits land far outside the row and must not be taken as pixels.
TEST_F(GroundTexture, ADecalAtARightAnglePaintsItsStrip) {
  field.block_size = 32;
  std::vector<uint8_t> white(image_chain_size(4, 4, 4));
  std::memset(white.data(), 255, white.size());
  for (float angle : {(float)(-M_PI / 2), (float)(M_PI / 2)}) {
    field.decals.count = 0;
    const decal* d = decal_at(&field, add_decal(20, 28, angle, 2, 6, white.data(), 4));
    std::vector<uint8_t> out(32 * 32 * 3, 0);
    ground_paint_decal_cpu(&field, d, 8, 12, 4, out.data());
    // Pixels are a quarter unit from (16, 24): extent_b (6) runs along x,
    // extent_a (2) along z.
    auto lit = [&](int px, int py) { return out[3 * (px + 32 * py)] == 255; };
    EXPECT_TRUE(lit(23, 16)) << angle;
    EXPECT_TRUE(lit(4, 16)) << angle;
    EXPECT_FALSE(lit(2, 16)) << angle;
    EXPECT_FALSE(lit(8, 22)) << angle;
    // Over rows 22 to 30 units away the limits pass 2^31 pixels: nothing
    // is painted, and at once.
    field.decals.count = 0;
    const decal* far = decal_at(&field, add_decal(20, 2, angle, 2, 6, white.data(), 4));
    std::vector<uint8_t> clear(32 * 32 * 3, 0);
    ground_paint_decal_cpu(&field, far, 8, 12, 4, clear.data());
    EXPECT_EQ(std::count(clear.begin(), clear.end(), 255), 0) << angle;
  }
}

TEST_F(GroundTexture, ATileWithoutAnImageIsBlackAndDirtyVerticesAreShadedFirst) {
  field.block_size = 16;
  std::memset(field.vertex_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)field.size * field.size));
  std::vector<uint8_t> out(16 * 16 * 3, 77);
  ground_compose_region(&field, 0, 0, 2, out.data());
  for (uint8_t v : out) ASSERT_EQ(v, 0);
  // The region's vertices (cells 0..4) were shaded; others still wait.
  EXPECT_FALSE(bitmap_test(field.vertex_dirty, 2 + field.size * 3));
  EXPECT_TRUE(bitmap_test(field.vertex_dirty, 9 + field.size * 9));
  EXPECT_GT(field.shading[3 * (2 + field.size * 3)], 0);
}

// ---------------------------------------------------------------------------
// The per-frame schedule.

struct upload_log {
  std::vector<uint32_t> textures;
};
upload_log uploads;
void record_upload(height_field*, uint32_t texture, const uint8_t*, int) { uploads.textures.push_back(texture); }

TEST_F(GroundTexture, FrameDriverBuildsNewSlotsThenTheOldestStaleTexture) {
  ground_texture_level0 = 1;
  ground_gl.upload_region = record_upload;
  uploads = {};
  // Distinct texture ids so the uploads say what was built.
  uint32_t id = 1;
  for (int l = 0; l < lod_texture_levels; l++)
    for (int j = 0; j < 4; j++)
      for (int k = 0; k < 4; k++) field.lod_textures[0][l][j][k] = id++;
  for (int b = 0; b < 4; b++) field.block_textures[0][b] = 1000 + b;
  field.camera_position[0] = field.camera_position[2] = 100.0f;

  // First frame: the four never-built blocks, then one new slot per level.
  update_ground_textures(&field);
  ASSERT_EQ(uploads.textures.size(), 4u + 5u);
  EXPECT_EQ(uploads.textures[0], 1000u);
  for (int b = 0; b < 4; b++) EXPECT_EQ(field.block_stamps[b], 0);
  EXPECT_EQ(field.lod_ready[5][0][0], 1);
  EXPECT_EQ(field.lod_ready[5][0][1], 0);
  EXPECT_EQ(field.lod_ready[0][0][0], 0);  // below the lowest level in use
  // After 16 frames every slot of levels 1..5 is ready and nothing is built.
  for (int frame = 1; frame < 16; frame++) update_ground_textures(&field);
  uploads = {};
  update_ground_textures(&field);
  EXPECT_TRUE(uploads.textures.empty());
  EXPECT_EQ(ground_texture_stats(&field), 0);

  // Two edits: the older is rebuilt first, one a frame; on a tie the LOD
  // slot wins over the block.
  field.generation = 20;
  ground_mark_dirty(&field, 200, 200, 201, 201);  // block 3 and the level-5 slot (3, 3)
  field.generation = 25;
  ground_mark_dirty(&field, 100, 100, 100, 100);
  field.generation = 30;
  EXPECT_EQ(ground_texture_stats(&field), 10);
  const uint32_t level5_slot33 = field.lod_textures[0][5][3][3];
  const uint32_t order[] = {level5_slot33, 1003u};
  for (uint32_t want : order) {
    uploads = {};
    update_ground_textures(&field);
    ASSERT_EQ(uploads.textures.size(), 1u);
    EXPECT_EQ(uploads.textures[0], want);
  }
  auto stale = [] {
    int count = 0;
    for (int b = 0; b < 4; b++) count += field.block_stamps[b] != 0;
    for (int l = 1; l < lod_texture_levels; l++)
      for (int j = 0; j < 4; j++)
        for (int k = 0; k < 4; k++) count += field.lod_texture_stamps[l][j][k] != 0;
    return count;
  };
  const int waiting = stale();
  EXPECT_GE(waiting, 6);  // block 0 and a slot of every level over cell 100
  for (int frame = 0; frame < waiting - 1; frame++) {
    uploads = {};
    update_ground_textures(&field);
    ASSERT_EQ(uploads.textures.size(), 1u);
    EXPECT_LT(uploads.textures[0], 1000u);  // every LOD slot before the block
  }
  update_ground_textures(&field);
  EXPECT_EQ(stale(), 0);
  EXPECT_EQ(ground_texture_stats(&field), 0);
}

TEST_F(GroundTexture, MovingTheCameraKeepsTheTexturesStillInsideTheWindow) {
  ground_texture_level0 = 0;
  field.camera_position[0] = field.camera_position[2] = 60.0f;
  uint32_t id = 1;
  for (int j = 0; j < 4; j++)
    for (int k = 0; k < 4; k++) field.lod_textures[0][0][j][k] = id++;
  for (int frame = 0; frame < 20; frame++) update_ground_textures(&field);
  const int ox = lod_window_origin(field.lod_centre[0], 0, field.n);
  const uint32_t kept = field.lod_textures[0][0][1][2];  // the texture of level-0 column ox + 2
  field.camera_position[0] += 2.0f;                       // one level-0 texture to the right
  update_ground_textures(&field);
  ASSERT_EQ(lod_window_origin(field.lod_centre[0], 0, field.n), ox + 1);
  EXPECT_EQ(field.lod_textures[0][0][1][1], kept);
  EXPECT_EQ(field.lod_ready[0][1][1], 1);
  // The column that entered reuses the id that left, and waits to be built
  // (one slot a level a frame, so one of its four is done already).
  int waiting = 0;
  for (int j = 0; j < 4; j++) waiting += field.lod_ready[0][j][3] == 0;
  EXPECT_EQ(waiting, 3);
  std::vector<uint32_t> ids;
  for (int j = 0; j < 4; j++)
    for (int k = 0; k < 4; k++) ids.push_back(field.lod_textures[0][0][j][k]);
  std::sort(ids.begin(), ids.end());
  for (int k = 0; k < 16; k++) EXPECT_EQ(ids[k], (uint32_t)k + 1);
}

TEST_F(GroundTexture, LowDetailTexturesFollowTheirDirtyBitsRoundRobin) {
  // Mode 2 on a field of 1024 cells a side: three low-detail textures a side.
  free_terrain(&field);
  ASSERT_EQ(terrain_create(&field, 9, 1.0f), 1);
  field.texture_mode = 2;
  std::memset(field.vertex_dirty, 0, (size_t)bitmap_bytes((int64_t)field.size * field.size));
  field.low_detail_count = 3;
  field.low_detail_dirty = (uint8_t*)calloc(2, 1);
  ground_mark_dirty(&field, 400, 10, 410, 12);  // texture (1, 0); the border of (0, 0) reaches 447
  EXPECT_EQ(ground_count_dirty(&field), 2);
  ground_mark_dirty(&field, 1000, 1000, 1023, 1023);  // texture (2, 2) only
  EXPECT_EQ(ground_count_dirty(&field), 3);
  for (int b = 0; b < 16; b++) field.block_stamps[b] = 0;
  field.generation = 3;
  ground_upload_stale_lod(&field, 1);
  EXPECT_EQ(ground_count_dirty(&field), 2);
  EXPECT_EQ(field.block_stamps[0], 3);  // its 384-cell square's blocks go stale
  EXPECT_EQ(field.block_stamps[3], 0);
  ground_upload_stale_lod(&field, 0);
  EXPECT_EQ(ground_count_dirty(&field), 0);
  // The copy clamps to the grid and refreshes dirty shading first.
  std::vector<uint8_t> out(4 * 4 * 3);
  field.shading[0] = 9;
  bitmap_clear(field.vertex_dirty, 0);
  build_low_detail_textures(&field, out.data(), -2, -2, 4, 4);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[3 * 5], 9);
}

}  // namespace
