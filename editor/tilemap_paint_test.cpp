#include "editor/tilemap_paint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/editor_random.h"
#include "race/menu_screen.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"

namespace {

height_field field;

// Dirt, grass and hardpack, then dirt/grass transitions for every corner
// pattern but "1000" and "0111", then two more looks of dirt: the table
// the sample track carries.
const char* const tile_textures[] = {
    "dirt.png",           "grass.png",          "hardpack.png",       "dirt-grass-0001.png", "dirt-grass-0010.png",
    "dirt-grass-0011.png", "dirt-grass-0100.png", "dirt-grass-0101.png", "dirt-grass-0110.png", "dirt-grass-1001.png",
    "dirt-grass-1010.png", "dirt-grass-1011.png", "dirt-grass-1100.png", "dirt-grass-1101.png", "dirt-grass-1110.png",
    "dirt-alt1.png",      "dirt-alt2.png"};
const int tile_total = (int)(sizeof tile_textures / sizeof tile_textures[0]);
enum { dirt = 0, grass = 1, hardpack = 2, dirt_alt1 = 15, dirt_alt2 = 16 };

class Tilemap : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    field.tile_count = tile_total;
    for (int t = 0; t < tile_total; t++) {
      const int32_t code = match_tile_transitions(tile_textures[t], tile_textures, tile_total);
      field.transition_codes[t] = code == -1 ? (t << 16) | (t << 8) : code;
    }
    editor_load_edinfo(&field);
    ASSERT_EQ(editor.terrain, &field);
    q = 1 << field.n;
    menu_screen = {512, 512, 256, 256};
    editor_zoom = 1;
    editor_tile_item.maximum = 2;
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_items_reset();
  }
  uint8_t& tile(int a, int b) { return field.tilemap[a + q * b]; }
  // A stroke on the single tile cell (a, b): a dot at its centre vertex.
  static void dot(int a, int b, float radius = 0.5f) {
    const float x = (2 * a + 1) * field.spacing, z = (2 * b + 1) * field.spacing;
    tilemap_paint_stroke(x, z, x, z, radius);
  }
  std::vector<uint8_t> map() const { return std::vector<uint8_t>(field.tilemap, field.tilemap + (size_t)q * q); }
  int q = 0;
};

TEST_F(Tilemap, TheTableHasItsTransitionsAndLooks) {
  EXPECT_EQ(tilemap_plain_tile_count(), 3);
  EXPECT_EQ(field.transition_codes[8], (0 << 16) | (1 << 8) | 6);
  EXPECT_EQ(field.transition_codes[dirt_alt1], field.transition_codes[dirt]);
  EXPECT_EQ(field.transition_codes[dirt_alt2], field.transition_codes[dirt]);
}

TEST_F(Tilemap, DirtPicksAmongItsThreeLooks) {
  std::memset(field.tilemap, grass, (size_t)q * q);
  editor_tile = dirt;
  for (uint32_t seed : {1u, 77u, 20261211u}) {
    editor_random_seed(seed);
    std::set<int> seen;
    for (int k = 0; k < 30; k++) {
      dot(20, 30);
      seen.insert(tile(20, 30));
    }
    EXPECT_EQ(seen, (std::set<int>{dirt, dirt_alt1, dirt_alt2})) << seed;
  }
  // Grass has one look.
  editor_tile = grass;
  for (uint32_t seed = 1; seed <= 10; seed++) {
    editor_random_seed(seed);
    dot(20, 30);
    EXPECT_EQ(tile(20, 30), grass);
  }
}

// The materials at a tile's corners, bit order (+x +z), (-x +z), (+x -z),
// (-x -z).
std::vector<int> corners(int t) {
  const int32_t code = field.transition_codes[t];
  std::vector<int> out;
  for (int k = 0; k < 4; k++) out.push_back((code >> k) & 1 ? (code >> 8) & 255 : (code >> 16) & 255);
  return out;
}

TEST_F(Tilemap, NeighboursTakeTheirSharedCorners) {
  editor_tile = grass;
  const int a = 40, b = 50;
  dot(a, b);
  EXPECT_EQ(tile(a, b), grass);
  EXPECT_EQ(field.change_flags, 7);
  // Each neighbour shows grass on the corners it shares with the painted
  // tile and dirt elsewhere; the one whose pattern has no tile is left.
  const struct {
    int da, db, shared;
  } around[] = {{-1, -1, 1}, {0, -1, 3}, {1, -1, 2}, {-1, 0, 5}, {1, 0, 10}, {-1, 1, 4}, {0, 1, 12}, {1, 1, 8}};
  for (const auto& n : around) {
    const int t = tile(a + n.da, b + n.db);
    if (n.shared == 8) {
      EXPECT_EQ(t, dirt) << "no tile has grass at the (-x, -z) corner alone";
      continue;
    }
    std::vector<int> want;
    for (int k = 0; k < 4; k++) want.push_back((n.shared >> k) & 1 ? grass : dirt);
    EXPECT_EQ(corners(t), want) << n.da << "," << n.db;
  }
  int touched = 0;
  for (int i = 0; i < q * q; i++) touched += field.tilemap[i] != dirt;
  EXPECT_EQ(touched, 8);

  // Dirt painted back over the grass restores plain dirt around.
  editor_tile = dirt;
  editor_random_seed(3);
  dot(a, b);
  for (int db = -1; db <= 1; db++)
    for (int da = -1; da <= 1; da++) {
      const int32_t code = field.transition_codes[tile(a + da, b + db)];
      EXPECT_EQ(code, field.transition_codes[dirt]) << da << "," << db;
    }
}

TEST_F(Tilemap, EdgesLockAndTileValues) {
  editor_tile = grass;
  // The corners of the map: the last row and column paint too, and the
  // neighbours off the map are never written (the sanitizer watches).
  dot(0, 0, 6);
  dot(q - 1, q - 1, 6);
  dot(q - 1, 0, 6);
  tilemap_paint_stroke(-500, -500, -400, -400, 200);
  tilemap_paint_stroke(1e30f, 1e30f, 1e30f, 1e30f, 1e30f);
  EXPECT_EQ(tile(0, 0), grass);
  EXPECT_EQ(tile(q - 1, q - 1), grass);
  EXPECT_EQ(tile(q - 1, 0), grass);
  EXPECT_NE(tile(q - 2, q - 2), dirt);

  // A locked terrain takes nothing.
  const std::vector<uint8_t> before = map();
  field.edit_lock = 1;
  field.change_flags = 0;
  editor_tile = dirt;
  tilemap_paint_stroke(0, 0, field.extent, field.extent, 50);
  EXPECT_EQ(map(), before);
  EXPECT_EQ(field.change_flags, 0);
  field.edit_lock = 0;

  // A "Tile" value past this track's plain tiles paints its last one.
  std::memset(field.tilemap, dirt, (size_t)q * q);
  editor_tile = 200;
  dot(60, 60);
  EXPECT_EQ(tile(60, 60), hardpack);

  // Without a plain tile nothing is painted.
  field.transition_codes[0] = (1 << 16) | (1 << 8);
  editor_tile = 0;
  dot(70, 70);
  EXPECT_EQ(tile(70, 70), dirt);
}

TEST_F(Tilemap, TheStepFollowsTheMouse) {
  editor.mode = mode_tilemap;
  editor_tile = grass;
  editor_radius = 10;
  editor.centre_x = 300;
  editor.centre_z = 300;
  editor.call_counter = 0;
  tilemap_paint_step();
  EXPECT_EQ(tile(300 / 8, 300 / 8), grass);
  EXPECT_EQ(editor.drag_anchor[0], 300);
  // The next 31 calls wait; the 32nd paints the segment from the anchor.
  editor.centre_x = 400;
  for (int k = 0; k < 31; k++) tilemap_paint_step();
  EXPECT_EQ(tile(350 / 8, 300 / 8), dirt);
  tilemap_paint_step();
  EXPECT_EQ(tile(350 / 8, 300 / 8), grass);
  EXPECT_EQ(tile(400 / 8, 300 / 8), grass);
}

}  // namespace
