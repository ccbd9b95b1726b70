#include "terrain/decals.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"
#include "tools/testing/test_env.h"

namespace {

// Textures "exist" unless their name holds "missing"; each gets its own id.
std::map<std::string, uint32_t> loaded;
uint32_t fake_texture(const char* name) {
  if (strstr(name, "missing")) return 0;
  auto it = loaded.find(name);
  if (it != loaded.end()) return it->second;
  const uint32_t id = (uint32_t)loaded.size() + 1;
  loaded[name] = id;
  return id;
}
uint8_t fake_pixels[4 * 4 * 4];
int fake_image(const char* name, uint8_t** pixels, int32_t* width, int32_t* height) {
  if (strstr(name, "missing")) return 0;
  *pixels = fake_pixels;
  *width = *height = 4;
  return 1;
}

std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = std::string(test_root()) + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return path;
}

class Decals : public ::testing::Test {
 protected:
  void SetUp() override {
    terrain_reset(&field);
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);  // extent 1024
    field.texture_mode = 2;
    saved = terrain_textures;
    terrain_textures.load_texture = fake_texture;
    terrain_textures.load_image = fake_image;
    loaded.clear();
  }
  void TearDown() override {
    terrain_textures = saved;
    free_terrain(&field);
  }
  void load(const std::string& text) {
    stream* s = stream_open(write_file("decals", text).c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(load_decals(&field, s), 1);
    stream_close(s);
  }
  std::vector<int32_t> bin(int bz, int bx) {
    const growable_array& b = field.decal_bins[bz][bx];
    return std::vector<int32_t>(static_cast<int32_t*>(b.data), static_cast<int32_t*>(b.data) + b.count);
  }
  height_field field;
  terrain_texture_hooks saved;
};

std::string last_console_line() {
  return message_ring.lines[(message_ring.write_index + message_ring_size - 1) % message_ring_size];
}

TEST_F(Decals, LoadsEntriesAndDropsMissingTextures) {
  load("[ 100 200 ] 0.5 10 20 @skid.png\n"
       "[ 300 300 ] 0 8 8 @missing.png\n"
       "[600 600] -1 4 2 @oil.ppm\n");
  ASSERT_EQ(field.decals.count, 2u);
  EXPECT_NE(last_console_line().find("Warning: can't load decal texture '@missing.png'"), std::string::npos);
  const decal* d = decal_at(&field, 0);
  EXPECT_FLOAT_EQ(d->x, 100);
  EXPECT_FLOAT_EQ(d->z, 200);
  EXPECT_FLOAT_EQ(d->extent_a, 10);
  EXPECT_FLOAT_EQ(d->extent_b, 20);
  EXPECT_FLOAT_EQ(d->sin_angle, sinf(0.5f));
  EXPECT_FLOAT_EQ(d->cos_angle, cosf(0.5f));
  EXPECT_EQ(d->texture, loaded["@skid.png"]);
  EXPECT_EQ(d->image, nullptr);
  EXPECT_EQ(d->tnorm_texture, 0u);  // without normal mapping
  EXPECT_STREQ(decal_at(&field, 1)->name, "@oil.ppm");
  EXPECT_EQ(field.decal_scratch[0].element_size, sizeof(int32_t));
}

TEST_F(Decals, ImageFormAndCompanionTextures) {
  field.texture_mode = 1;
  field.normal_mapped = 1;
  loaded["@skid_tnorm.png"] = 0;  // reserve no id: the ppm variant is taken
  terrain_textures.load_texture = [](const char* name) -> uint32_t {
    return strcmp(name, "@skid_tnorm.png") == 0 ? 0 : fake_texture(name);
  };
  load("[ 100 200 ] 0 10 20 @skid.png\n[ 100 200 ] 0 10 20 @missing.png\n");
  ASSERT_EQ(field.decals.count, 1u);
  const decal* d = decal_at(&field, 0);
  EXPECT_EQ(d->image, fake_pixels);
  EXPECT_EQ(d->image_width, 4);
  EXPECT_EQ(d->texture, 0u);
  EXPECT_EQ(d->tnorm_texture, loaded["@skid_tnorm.ppm"]);
  EXPECT_EQ(d->tspec_texture, loaded["@skid_tspec.png"]);
  EXPECT_NE(d->tnorm_texture, 0u);
}

TEST_F(Decals, ReadingStopsAtABadEntry) {
  struct {
    const char* text;
    size_t count;
    bool complaint;
  } cases[] = {
      {"", 0, false},
      {"  \n\n", 0, false},
      {"[ 1 2 ] 0 1 1 @a.png", 1, false},
      {"[ 1 2 ] 0 1 1 @a.png\n[ 1 2 ] 0 x 1 @b.png\n[ 1 2 ] 0 1 1 @c.png\n", 1, true},
      {"[ 1 2 ] 0 1 1 @a.png\n( 1 2 ) 0 1 1 @b.png\n", 1, true},
      {"[ 1 2 ] 0 1 1 @a.png\n[ 1 2 ] 0 1", 1, true},
      {"[ 1 2 ] 0 1e39 1 @a.png\n", 0, true},
  };
  for (const auto& c : cases) {
    free_terrain(&field);
    terrain_reset(&field);
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    field.texture_mode = 2;
    const int line = message_ring.write_index;
    load(c.text);
    EXPECT_EQ(field.decals.count, c.count) << c.text;
    EXPECT_EQ(message_ring.write_index != line, c.complaint) << c.text;
    if (c.complaint) {
      EXPECT_NE(last_console_line().find("Error reading decals"), std::string::npos) << c.text;
    }
  }
}

TEST_F(Decals, BinsAreAscendingAndClampedAtTheEdge) {
  load("[ 500 500 ] 0 300 10 @long.png\n"   // 350..650 along x: bins 2..5 of row 3
       "[ 400 500 ] 1.5707964 300 10 @turned.png\n"  // turned: 350..650 along z, column 3
       "[ 1020 5 ] 0 40 40 @edge.png\n"     // over the edge: bin 7 and 0
       "[ 450 450 ] 0 2 2 @dot.png\n");
  ASSERT_EQ(field.decals.count, 4u);
  EXPECT_EQ(bin(3, 2), (std::vector<int32_t>{0}));
  EXPECT_EQ(bin(3, 5), (std::vector<int32_t>{0}));
  EXPECT_EQ(bin(3, 3), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(bin(5, 3), (std::vector<int32_t>{1}));
  EXPECT_EQ(bin(3, 6), (std::vector<int32_t>{}));
  EXPECT_EQ(bin(0, 7), (std::vector<int32_t>{2}));
  // Inserted again, out of order, a bin stays ascending without repeats.
  field.decal_bins[3][3].count = 1;  // only 0 left
  decal_bin_insert(&field, 3);
  decal_bin_insert(&field, 1);
  decal_bin_insert(&field, 0);
  EXPECT_EQ(bin(3, 3), (std::vector<int32_t>{0, 1, 3}));
}

TEST_F(Decals, SaveAndLoadAgain) {
  load("[ 100.5 200.25 ] 0.5 10 20 @skid.png\n[ 7 8 ] -1 4 2 @oil.ppm\n");
  const std::string path = std::string(test_root()) + "/decals.out";
  stream* out = stream_open(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(save_decals(&field, out), 1);
  stream_close(out);
  EXPECT_EQ(test_read_file(path),
            "[100.500000 200.250000] 0.500000 10.000000 20.000000 @skid.png\n"
            "[7.000000 8.000000] -1.000000 4.000000 2.000000 @oil.ppm\n");
  free_terrain(&field);
  terrain_reset(&field);
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  field.texture_mode = 2;
  load(test_read_file(path));
  ASSERT_EQ(field.decals.count, 2u);
  EXPECT_FLOAT_EQ(decal_at(&field, 0)->z, 200.25f);
  // No list: nothing to write.
  height_field empty;
  terrain_reset(&empty);
  EXPECT_EQ(save_decals(&empty, nullptr), 0);
}

TEST_F(Decals, TheTerrainSaverAndLoaderCarryTheFile) {
  load("[ 100 200 ] 0.5 10 20 @skid.png\n");
  const std::string dir = std::string(test_root()) + "/decal_track";
  field.tile_count = 1;
  ASSERT_EQ(save_terrain(&field, dir.c_str()), 1);
  EXPECT_EQ(test_read_file(dir + "/decals"), "[100.000000 200.000000] 0.500000 10.000000 20.000000 @skid.png\n");
  write_file("decal_track/tileinfo", "name a\naddtile\n");
  ASSERT_EQ(load_terrain(&field, dir.c_str(), 1), 1);
  ASSERT_EQ(field.decals.count, 1u);
  EXPECT_FLOAT_EQ(decal_at(&field, 0)->extent_b, 20.0f);
  EXPECT_EQ(bin(1, 0), (std::vector<int32_t>{0}));

  // A terrain without a decal list leaves the file as it is.
  free_terrain(&field);
  terrain_reset(&field);
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  ASSERT_EQ(save_terrain(&field, dir.c_str()), 1);
  EXPECT_EQ(test_read_file(dir + "/decals"), "[100.000000 200.000000] 0.500000 10.000000 20.000000 @skid.png\n");
}

}  // namespace
