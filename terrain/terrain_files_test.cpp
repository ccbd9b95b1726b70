#include "terrain/terrain_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/verbose.h"
#include "core/rmd160.h"
#include "core/scram.h"
#include "platform/log.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "terrain/height_field.h"
#include "tools/testing/test_env.h"

namespace {

height_field field;
const int n7_size = 257, n7_map = 128;

std::string folder_path(const std::string& name) { return std::string(test_root()) + "/" + name; }

void put(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string get(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
  std::fclose(f);
  return bytes;
}

std::string binary_heights(const std::string& header, int size, uint16_t (*sample)(int i, int j)) {
  std::string bytes = header + ":";
  for (int j = 0; j < size; j++)
    for (int i = 0; i < size; i++) {
      const uint16_t v = sample(i, j);
      bytes += (char)(v & 255);
      bytes += (char)(v >> 8);
    }
  return bytes;
}

std::string pnm(const char* magic, int width, int height, int channels, uint8_t value) {
  return std::string(magic) + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string((size_t)width * height * channels, (char)value);
}

uint16_t ramp_sample(int i, int j) { return (uint16_t)((i * 251 + j * 65) % 65536); }

// A good track folder: binary heights 0..65535 over 0..100 ft at 2 ft,
// shadingx2.ppm, four tiles, a tile map counting up.
std::string make_track(const std::string& name) {
  const std::string dir = folder_path(name);
  mkdir(dir.c_str(), 0755);
  put(dir + "/terrain.hf", binary_heights("7 2 0 100\n", n7_size, ramp_sample));
  put(dir + "/shadingx2.ppm", pnm("P6", n7_size, n7_size, 3, 90));
  put(dir + "/tileinfo", "name a\naddtile\nname b\naddtile\nname c\naddtile\nname d\naddtile\n");
  std::string map;
  for (int k = 0; k < n7_map * n7_map; k++) map += (char)(k % 4);
  put(dir + "/tilemap", map);
  return dir;
}

// Loads and returns the console lines the load printed.
std::vector<std::string> load(const std::string& dir, int* result) {
  const int first = message_ring.write_index;
  *result = load_terrain(&field, dir.c_str(), 1);
  std::vector<std::string> lines;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    lines.push_back(message_ring.lines[k]);
  return lines;
}

struct TerrainFiles : ::testing::Test {
  void TearDown() override { free_terrain(&field); }
};

TEST_F(TerrainFiles, BinaryHeightsShadingTilesAndTilemapLoad) {
  const std::string dir = make_track("good");
  std::string map = get(dir + "/tilemap");
  map[5] = 9;  // above the last tile
  put(dir + "/tilemap", map);
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.n, 7);
  EXPECT_EQ(field.size, n7_size);
  EXPECT_FLOAT_EQ(field.spacing, 2.0f);
  EXPECT_FLOAT_EQ(field.double_spacing, 4.0f);
  EXPECT_FLOAT_EQ(field.extent, 512.0f);
  EXPECT_EQ(field.texture_mode, 1);
  EXPECT_EQ(field.edit_count, 1);
  for (int j : {0, 1, 100, 256})
    for (int i : {0, 3, 200, 256})
      EXPECT_NEAR(field.heights[i + n7_size * j], ramp_sample(i, j) * 100.0 / 65535.0, 1e-4) << i << "," << j;
  EXPECT_EQ(std::memcmp(field.heights, field.base_heights, sizeof(float) * n7_size * n7_size), 0);
  EXPECT_EQ(field.shading[0], 90);
  EXPECT_EQ(field.shadows[1234], 0);  // no shadows.pgm
  EXPECT_EQ(field.tile_count, 4);
  EXPECT_EQ(field.tilemap[5], 3);
  EXPECT_EQ(field.tilemap[6], 2);
  EXPECT_EQ(field.block_stamps[0], -1);
  EXPECT_EQ(field.triangle_dirty[0], 0xFF);
  EXPECT_EQ(field.vertex_dirty[0], 0);
}

TEST_F(TerrainFiles, ExtremeSamplesGiveTheEndsOfTheRange) {
  const std::string dir = make_track("extremes");
  put(dir + "/terrain.hf", binary_heights("7 1 -5 10 ", n7_size, [](int i, int) -> uint16_t { return i ? 65535 : 0; }));
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_FLOAT_EQ(field.heights[0], -5.0f);
  EXPECT_FLOAT_EQ(field.heights[1], 10.0f);
}

TEST_F(TerrainFiles, HeightsFromTerrainPngOrTheMinimum) {
  const std::string dir = make_track("png");
  put(dir + "/terrain.hf", "7 4 10 20\n");
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);  // no terrain.png: flat at the minimum
  for (int k : {0, 999, n7_size * n7_size - 1}) EXPECT_FLOAT_EQ(field.heights[k], 10.0f);

  // A 64 x 64 map repeats its last row and column over the rest.
  std::vector<uint16_t> samples(64 * 64);
  for (int j = 0; j < 64; j++)
    for (int i = 0; i < 64; i++) samples[i + 64 * j] = (uint16_t)(i * 1000 + j);
  ASSERT_EQ(image_write_png((dir + "/terrain.png").c_str(), samples.data(), 64, 64), 1);
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  auto want = [](int i, int j) { return 10.0f + (float)(i * 1000 + j) * 10.0f / 65535.0f; };
  EXPECT_NEAR(field.heights[5 + n7_size * 7], want(5, 7), 1e-4f);
  EXPECT_NEAR(field.heights[200 + n7_size * 7], want(63, 7), 1e-4f);
  EXPECT_NEAR(field.heights[3 + n7_size * 256], want(3, 63), 1e-4f);
  EXPECT_NEAR(field.heights[256 + n7_size * 256], want(63, 63), 1e-4f);
}

// Heights read from a scrambled file lock the terrain against saving; the
// plain file does not, and freeing the terrain lifts the lock.
TEST_F(TerrainFiles, ScrambledHeightsSetTheSaveLock) {
  const std::string dir = make_track("locked");
  auto scramble = [&dir](const std::string& name) {
    const std::string plain = get(dir + "/" + name);
    FILE* f = std::fopen((dir + "/" + name + ".scram").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(scram_write(f, plain.data(), plain.size()), 1);
    std::fclose(f);
    std::remove((dir + "/" + name).c_str());
  };
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.save_lock, 0);
  scramble("terrain.hf");  // a binary body, scrambled
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.save_lock, 1);
  free_terrain(&field);
  EXPECT_EQ(field.save_lock, 0);

  // A plain header with its heights in a scrambled terrain.png.
  std::remove((dir + "/terrain.hf.scram").c_str());
  put(dir + "/terrain.hf", "7 4 10 20\n");
  std::vector<uint16_t> samples(64 * 64, 300);
  ASSERT_EQ(image_write_png((dir + "/terrain.png").c_str(), samples.data(), 64, 64), 1);
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.save_lock, 0);
  scramble("terrain.png");
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.save_lock, 1);
  EXPECT_NEAR(field.heights[0], 10.0f + 300 * 10.0f / 65535.0f, 1e-4f);
}

TEST_F(TerrainFiles, ShadingShadowsAndTexturelistVariants) {
  const std::string dir = make_track("variants");
  std::remove((dir + "/shadingx2.ppm").c_str());
  put(dir + "/shading.ppm", pnm("P6", n7_size, n7_size, 3, 200));
  put(dir + "/shadows.pgm", pnm("P5", n7_size, n7_size, 1, 55));
  std::remove((dir + "/tileinfo").c_str());
  put(dir + "/texturelist", "0.9 5 15 a.png\n1 2 3 b.png\n");
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(field.shading[77], 100);  // shading.ppm holds twice the light
  EXPECT_EQ(field.shadows[77], 200);  // held inverted
  EXPECT_EQ(field.tile_count, 2);
  EXPECT_EQ(field.tilemap[2], 1);  // 2 and 3 read as the last tile
  EXPECT_EQ(field.tilemap[3], 1);

  const std::string saved = folder_path("variants_saved");
  ASSERT_EQ(save_terrain(&field, saved.c_str()), 1);
  const std::string header = "P6\n257 257\n255\n";
  const std::string doubled = get(saved + "/shading.ppm"), held = get(saved + "/shadingx2.ppm");
  ASSERT_EQ(doubled.size(), header.size() + 3 * n7_size * n7_size);
  EXPECT_EQ(doubled.substr(0, header.size()), header);
  EXPECT_EQ((uint8_t)doubled[header.size() + 77], 200);
  EXPECT_EQ((uint8_t)held[header.size() + 77], 100);
  std::string map = get(dir + "/tilemap");
  for (char& c : map) c = c > 1 ? 1 : c;
  EXPECT_TRUE(get(saved + "/tilemap") == map);
}

TEST_F(TerrainFiles, SaveThenLoadKeepsHeightsWithinHalfAQuantisationStep) {
  ASSERT_EQ(terrain_create(&field, 7, 3.0f), 1);
  for (int j = 0; j < n7_size; j++)
    for (int i = 0; i < n7_size; i++)
      field.heights[i + n7_size * j] = (float)(40.0 * std::sin(i * 0.05) * std::cos(j * 0.031) + 0.37 * j - 12.5);
  std::vector<float> before(field.heights, field.heights + n7_size * n7_size);
  field.tile_count = 2;
  field.tilemap[9] = 1;
  const std::string dir = folder_path("saved");
  ASSERT_EQ(save_terrain(&field, dir.c_str()), 1);
  put(dir + "/tileinfo", "name a\naddtile\nname b\naddtile\n");
  const float step = (field.max_height - field.min_height) / 65535.0f;
  int ok;
  load(dir, &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_FLOAT_EQ(field.spacing, 3.0f);
  float worst = 0;
  for (size_t k = 0; k < before.size(); k++) worst = std::fmax(worst, std::fabs(field.heights[k] - before[k]));
  EXPECT_LE(worst, step * 0.5f + 1e-5f);
  EXPECT_EQ(field.tilemap[9], 1);
}

TEST_F(TerrainFiles, AFlatFieldSavesZeroSamples) {
  ASSERT_EQ(terrain_create(&field, 7, 1.0f), 1);
  for (int k = 0; k < n7_size * n7_size; k++) field.heights[k] = 7.5f;
  const std::string dir = folder_path("flat");
  ASSERT_EQ(save_terrain(&field, dir.c_str()), 1);
  EXPECT_EQ(get(dir + "/terrain.hf"), "7 1.000000 7.500000 7.500000\n");
  uint16_t* samples = nullptr;
  int width = 0, height = 0;
  ASSERT_NE(image_load_png_gray((dir + "/terrain.png").c_str(), &samples, &width, &height), 0);
  ASSERT_EQ(width, n7_size);
  int nonzero = 0;
  for (int k = 0; k < width * height; k++) nonzero += samples[k] != 0;
  EXPECT_EQ(nonzero, 0);
  check_free(samples);
}

TEST_F(TerrainFiles, TheHeightDigestAndBadShadowsGoToTheLog) {
  const std::string dir = make_track("logged");
  put(dir + "/shadows.pgm", pnm("P5", 5, 4, 1, 1));
  const std::string log_path = folder_path("terrain_log.txt");
  log_reset_for_tests();
  setenv("PAVO_LOGFILE", log_path.c_str(), 1);
  verbose = 2;
  int ok;
  load(dir, &ok);
  EXPECT_EQ(ok, 0);
  std::remove((dir + "/shadows.pgm").c_str());
  load(dir, &ok);
  EXPECT_EQ(ok, 1);
  verbose = 0;
  log_close();
  log_reset_for_tests();
  unsetenv("PAVO_LOGFILE");

  const std::string body = get(dir + "/terrain.hf");
  const size_t colon = body.find(':');
  rmd160_context digest;
  rmd160_init(&digest);
  rmd160_update(&digest, body.data() + colon + 1, body.size() - colon - 1);
  rmd160_final(&digest);
  char hex[digest_hex_chars + 1];
  digest_to_hex(digest.digest, hex);
  const std::string log = get(log_path);
  EXPECT_NE(log.find("Bad shadow dimensions (5x4)\n"), std::string::npos) << log;
  EXPECT_NE(log.find(std::string("] ") + hex + "\n"), std::string::npos) << log;
}

// A header that takes its heights from terrain.png, and the picture cut to
// the given share of its bytes.
void png_heights(const std::string& dir, double share) {
  put(dir + "/terrain.hf", "7 4 10 20\n");
  std::vector<uint16_t> samples(64 * 64);
  for (size_t k = 0; k < samples.size(); k++) samples[k] = (uint16_t)(k * 2654435761u >> 16);
  const std::string path = dir + "/terrain.png";
  image_write_png(path.c_str(), samples.data(), 64, 64);
  const std::string bytes = test_read_file(path);
  put(path, bytes.substr(0, (size_t)((double)bytes.size() * share)));
}

TEST_F(TerrainFiles, MalformedTracksAreRefusedAndAGoodOneStillLoadsAfter) {
  using edit = std::function<void(const std::string&)>;
  auto hf = [](const std::string& text) { return [text](const std::string& d) { put(d + "/terrain.hf", text); }; };
  auto file = [](const char* name, std::string bytes) {
    return [name, bytes](const std::string& d) { put(d + "/" + name, bytes); };
  };
  auto remove = [](const char* name) { return [name](const std::string& d) { std::remove((d + "/" + name).c_str()); }; };
  const std::string short_heights = binary_heights("7 1 0 1 ", n7_size, ramp_sample).substr(0, 5000);
  const struct {
    const char* what;
    edit change;
    const char* message;  // the last console line, with "@" for the folder
  } cases[] = {
      {"no terrain.hf", remove("terrain.hf"), "Can't open '@/terrain.hf'"},
      {"three header values", hf("7 1 0\n"), "Error reading heights"},
      {"n 6", hf("6 1 0 10\n"), "Error reading heights"},
      {"n 13", hf("13 1 0 10\n"), "Error reading heights"},
      {"spacing 0", hf("7 0 0 10\n"), "Error reading heights"},
      {"negative spacing", hf("7 -2 0 10\n"), "Error reading heights"},
      {"max below min", hf("7 1 10 0\n"), "Error reading heights"},
      {"short heights", hf(short_heights), "Error reading heights"},
      {"no shading", remove("shadingx2.ppm"), "Can't open '@/shading.ppm'"},
      {"small shading", file("shadingx2.ppm", pnm("P6", 3, 3, 3, 1)), "Bad shading dimensions (3x3)"},
      {"short shading", file("shadingx2.ppm", pnm("P6", n7_size, n7_size, 3, 1).substr(0, 1000)),
       "Error reading shading"},
      {"not a picture", file("shadingx2.ppm", "hello"), "Error reading shading"},
      {"short shadows", file("shadows.pgm", pnm("P5", n7_size, n7_size, 1, 1).substr(0, 900)),
       "Error reading shadows"},
      {"small shadows", file("shadows.pgm", pnm("P5", 2, 2, 1, 1)), nullptr},  // a log line only
      {"no tile files",
       [](const std::string& d) { std::remove((d + "/tileinfo").c_str()); },
       "Can't open '@/texturelist'"},
      {"no tiles in tileinfo", file("tileinfo", "name lonely\n"), "No tiles in 'tileinfo'"},
      {"no tiles in texturelist",
       [](const std::string& d) {
         std::remove((d + "/tileinfo").c_str());
         put(d + "/texturelist", "\n\n");
       },
       "No tiles in 'texturelist'"},
      // Heights from a terrain.png that is there but damaged: refused, not
      // a flat track (only a missing one means flat).
      {"short terrain.png", [](const std::string& d) { png_heights(d, 0.5); }, "Error reading heights"},
      {"terrain.png not a picture",
       [](const std::string& d) {
         png_heights(d, 1.0);
         put(d + "/terrain.png", "hello");
       },
       "Error reading heights"},
      {"no tilemap", remove("tilemap"), "Can't open '@/tilemap'"},
      {"short tilemap", file("tilemap", std::string(n7_map * n7_map - 1, '\0')), "Error reading tilemap"},
  };
  const std::string good = make_track("good_after");
  for (const auto& c : cases) {
    const std::string dir = make_track("bad");
    c.change(dir);
    int ok = -1;
    const std::vector<std::string> lines = load(dir, &ok);
    EXPECT_EQ(ok, 0) << c.what;
    EXPECT_EQ(field.heights, nullptr) << c.what;
    EXPECT_EQ(field.tilemap, nullptr) << c.what;
    if (c.message) {
      std::string want = c.message;
      const size_t at = want.find('@');
      if (at != std::string::npos) want.replace(at, 1, dir);
      ASSERT_FALSE(lines.empty()) << c.what;
      EXPECT_EQ(lines.back(), want) << c.what;
    }
    load(good, &ok);
    EXPECT_EQ(ok, 1) << "after " << c.what;
    std::remove((dir + "/texturelist").c_str());
    std::remove((dir + "/shadows.pgm").c_str());
  }
}

}  // namespace
