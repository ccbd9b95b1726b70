#include "assets/texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/test_support_images.h"
#include "assets/texture_settings.h"
#include "assets/verbose.h"
#include "core/memory.h"
#include "core/message_ring.h"

namespace {

// A chain of width x height whose base level is `fill(x, y, channel)`.
template <typename Fill>
uint8_t* make_chain(int width, int height, int channels, Fill fill) {
  uint8_t* p = static_cast<uint8_t*>(check_malloc(image_chain_size(width, height, channels)));
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      for (int c = 0; c < channels; c++) p[((size_t)y * width + x) * channels + c] = fill(x, y, c);
  image_build_mips(p, width, height, channels, 0);
  return p;
}

uint8_t noise(int x, int y, int c) { return (uint8_t)((x * 7919 + y * 104729 + c * 31) * 2654435761u >> 24); }
uint8_t flat(int, int, int c) { return (uint8_t)(40 + c); }

// Lines of the message ring newer than `mark` (its write index earlier).
std::vector<std::string> console_since(int mark) {
  std::vector<std::string> lines;
  for (int i = mark; i != message_ring.write_index; i = (i + 1) % message_ring_size)
    lines.push_back(message_ring.lines[i]);
  return lines;
}

TEST(TextureNames, WrapFlagsAndTheFullDetailPrefix) {
  struct row {
    const char* name;
    int flags;
  };
  const row rows[] = {
      {"@ground/mud.png", 0},
      {"@fence-hrepeat.png", texture_flag_repeat_s},
      {"@fence-vrepeat.png", texture_flag_repeat_t},
      {"@fence-repeat.png", texture_flag_repeat_s | texture_flag_repeat_t},
      {"@fence-repeat-x.png", 0},  // the word must end at a dot
      {"@fence-hrepeat.jpg.png", texture_flag_repeat_s},
  };
  for (const row& r : rows) EXPECT_EQ(texture_wrap_flags(r.name), r.flags) << r.name;

  const int saved = texture_reduction;
  texture_reduction = 3;
  int reduction = -1;
  EXPECT_STREQ(texture_strip_detail("!@title.png", &reduction), "@title.png");
  EXPECT_EQ(reduction, 0);
  EXPECT_STREQ(texture_strip_detail("@title.png", &reduction), "@title.png");
  EXPECT_EQ(reduction, 3);
  texture_reduction = saved;
}

TEST(TextureNames, CompressionFromTheInfoTextAndTheSetting) {
  struct row {
    int setting;
    const char* info;
    int flags;
  };
  const int c = texture_flag_compress, r = texture_flag_repeat_s;
  const row rows[] = {
      {texture_compress_asked, nullptr, r},
      {texture_compress_asked, "[mip_max_alpha][compress]", r | c},
      {texture_compress_never, "[compress]", r},
      {texture_compress_always, nullptr, r | c},
      {texture_compress_always, "", r | c},
  };
  const int saved = texture_compress;
  for (const row& x : rows) {
    texture_compress = x.setting;
    EXPECT_EQ(texture_png_flags(r, x.info), x.flags) << x.setting << " " << (x.info ? x.info : "null");
  }
  texture_compress = saved;
}

TEST(TextureFit, PowerOfTwoFittingDetailReductionAndAutomaticDropping) {
  struct row {
    int width, height, reduction;
    bool flat;
    int entry_width, entry_height, final_width, final_height, dropped;
  };
  const row rows[] = {
      {640, 480, 0, false, 512, 256, 512, 256, 0},
      {256, 128, 3, false, 256, 128, 256, 128, 0},  // 128 is not above 128
      {512, 512, 2, false, 512, 512, 128, 128, 0},
      {512, 512, 9, false, 512, 512, 128, 128, 0},
      {1024, 1024, 0, true, 1024, 1024, 16, 16, 6},
      {1024, 1024, 2, true, 1024, 1024, 16, 16, 4},  // dropping starts at 256 x 256
      {1, 64, 0, true, 1, 64, 1, 16, 2},             // a side of 1 stays inside the level
      {3, 3, 0, false, 2, 2, 2, 2, 0},
      {7, 100, 0, true, 4, 64, 1, 16, 2},
  };
  for (const row& r : rows) {
    uint8_t* chain = make_chain(r.width, r.height, 3, r.flat ? flat : noise);
    texture_fit fit;
    ASSERT_TRUE(texture_fit_chain(chain, r.width, r.height, 3, r.reduction, &fit));
    EXPECT_EQ(fit.entry_width, r.entry_width) << r.width << "x" << r.height;
    EXPECT_EQ(fit.entry_height, r.entry_height) << r.width << "x" << r.height;
    EXPECT_EQ(fit.width, r.final_width) << r.width << "x" << r.height;
    EXPECT_EQ(fit.height, r.final_height) << r.width << "x" << r.height;
    EXPECT_EQ(fit.auto_dropped, r.dropped) << r.width << "x" << r.height;
    EXPECT_EQ(fit.buffer != nullptr, r.entry_width != r.width || r.entry_height != r.height);
    check_free(fit.buffer);
    check_free(chain);
  }
}

TEST(TextureFit, NearestNeighbourResamplingPicksSourcePixels) {
  uint8_t* chain = make_chain(6, 3, 3, [](int x, int y, int c) { return (uint8_t)(x * 10 + y + c * 100); });
  int w = 0, h = 0;
  uint8_t* out = texture_resample_pow2(chain, 6, 3, 3, &w, &h);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 2);
  // Destination (x, y) takes source (x * 6 / 4, y * 3 / 2).
  const int source_x[4] = {0, 1, 3, 4};
  const int source_y[2] = {0, 1};
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(out[(y * 4 + x) * 3], source_x[x] * 10 + source_y[y]);
  check_free(out);
  check_free(chain);
}

TEST(TextureFit, LevelPredictionToleratesFourAndNoMore) {
  // A flat level predicts itself; one channel of one pixel off by 4 still
  // passes, by 5 fails.
  for (int delta : {4, 5}) {
    uint8_t* chain = make_chain(32, 32, 4, flat);
    chain[(5 * 32 + 7) * 4 + 2] = (uint8_t)(flat(0, 0, 2) + delta);
    EXPECT_EQ(texture_level_predicted(chain, 32, 32, 4), delta == 4) << delta;
    check_free(chain);
  }
}

TEST(ImageReduceLevels, LevelsBudgetAndTheSmallestKeptLevel) {
  struct row {
    int width, height;
    long budget;
    int levels;
    int final_width, final_height;
  };
  const row rows[] = {
      {256, 256, 0, 1, 128, 128},
      {512, 512, 0, 5, 128, 128},       // 128 x 128 holds 16384 pixels: kept
      {1024, 512, 65536, 0, 256, 128},  // the animation budget
      {300, 200, 0, 0, 256, 128},       // only made power-of-two
      {64, 64, 0, 3, 64, 64},
  };
  for (const row& r : rows) {
    uint8_t* chain = make_chain(r.width, r.height, 4, noise);
    // The expected level, cut from a power-of-two copy of the same image.
    int pw = r.width, ph = r.height;
    uint8_t* reference = texture_resample_pow2(chain, r.width, r.height, 4, &pw, &ph);
    size_t offset = 0;
    while (pw != r.final_width) {
      offset += (size_t)pw * ph * 4;
      pw /= 2;
      ph /= 2;
    }
    int w = r.width, h = r.height;
    ASSERT_TRUE(image_reduce_levels(&chain, &w, &h, 4, r.budget, r.levels));
    EXPECT_EQ(w, r.final_width) << r.width << "x" << r.height;
    EXPECT_EQ(h, r.final_height) << r.width << "x" << r.height;
    EXPECT_EQ(std::memcmp(chain, reference + offset, image_chain_size(w, h, 4)), 0);
    check_free(reference);
    check_free(chain);
  }
}

TEST(TextureBorder, MostCommonEdgeColour) {
  // Blue edges except the top row, which is red: blue wins; the inside does
  // not count.
  uint8_t* chain = make_chain(8, 8, 3, [](int x, int y, int c) -> uint8_t {
    if (x > 0 && x < 7 && y > 0 && y < 7) return c == 1 ? 255 : 0;
    if (y == 0) return c == 0 ? 255 : 0;
    return c == 2 ? 200 : 0;
  });
  float colour[4];
  texture_border_colour(chain, 8, 8, colour);
  EXPECT_FLOAT_EQ(colour[0], 0.0f);
  EXPECT_FLOAT_EQ(colour[1], 0.0f);
  EXPECT_FLOAT_EQ(colour[2], 5.0f / 7.0f);  // 200 x 7 / 255 = 5
  EXPECT_FLOAT_EQ(colour[3], 0.0f);
  check_free(chain);
}

TEST(TextureVariants, PrefixedPngsWithoutNormalAndSpecularMaps) {
  const char* names[] = {"bikes/rider_body-red.png",
                         "bikes/rider_body-blue.png.scram",
                         "bikes/rider_body-red_norm.png",
                         "bikes/rider_body-red_spec.png.scram",
                         "bikes/rider_head-red.png",
                         "rider_body-green.png",
                         "rider_body-old.jpg",
                         "other/xrider_body-grey.png",
                         nullptr};
  growable_array paths{}, variants{};
  collect_texture_variants_from(names, &paths, &variants, "rider_body-");
  ASSERT_EQ(paths.count, 4u);
  ASSERT_EQ(variants.count, 4u);
  auto path = [&](size_t i) { return *static_cast<const char**>(growable_array_at(&paths, i)); };
  auto variant = [&](size_t i) { return *static_cast<const char**>(growable_array_at(&variants, i)); };
  EXPECT_EQ(path(0), nullptr);
  EXPECT_STREQ(variant(0), "default");
  EXPECT_STREQ(path(1), "@bikes/rider_body-red.png");
  EXPECT_STREQ(variant(1), "red");
  EXPECT_STREQ(path(2), "@bikes/rider_body-blue.png");
  EXPECT_STREQ(variant(2), "blue");
  EXPECT_STREQ(path(3), "@rider_body-green.png");
  EXPECT_STREQ(variant(3), "green");

  // A second collection starts again from "default".
  collect_texture_variants_from(names, &paths, &variants, "rider_head-");
  ASSERT_EQ(variants.count, 2u);
  EXPECT_STREQ(variant(1), "red");
  growable_array_free(&paths);
  growable_array_free(&variants);
}

// Writes an RGB PPM of width x height in one colour under the test root.
void write_ppm(const std::string& name, int width, int height, uint8_t value) {
  std::vector<uint8_t> pixels((size_t)width * height * 3, value);
  ASSERT_TRUE(image_write_pnm(fixture_path(name).c_str(), "P6", pixels.data(), width, height));
}

TEST(ImageCache, LoadsOnceStampsGenerationsAndFreesWhatIsStale) {
  write_ppm("cache/start.ppm", 8, 8, 10);
  write_ppm("cache/track1.ppm", 300, 200, 20);
  write_ppm("cache/both.ppm", 4, 2, 30);
  write_ppm("cache/Mixed.ppm", 2, 2, 40);

  asset_generation = 0;
  uint8_t* start = nullptr;
  int w = 0, h = 0;
  ASSERT_TRUE(image_load_cached(fixture_path("cache/start.ppm").c_str(), &start, &w, &h));
  EXPECT_EQ(start[3], 255);  // widened to RGBA

  asset_generation = 1;
  uint8_t *track1 = nullptr, *both = nullptr;
  ASSERT_TRUE(image_load_cached(fixture_path("cache/track1.ppm").c_str(), &track1, &w, &h));
  EXPECT_EQ(w, 128);  // made 256 x 128, then one level off by default
  EXPECT_EQ(h, 64);
  ASSERT_TRUE(image_load_cached(("!" + fixture_path("cache/both.ppm")).c_str(), &both, &w, &h));
  EXPECT_STREQ(image_name(both), fixture_path("cache/both.ppm").c_str());

  // The second track asks for "both" again (a different case: found, with
  // a warning) but not for "track1".
  asset_generation = 2;
  const int mark = message_ring.write_index;
  uint8_t* again = nullptr;
  std::string upper = fixture_path("cache/BOTH.ppm");
  ASSERT_TRUE(image_load_cached(upper.c_str(), &again, &w, &h));
  EXPECT_EQ(again, both);
  ASSERT_EQ(console_since(mark).size(), 1u);
  EXPECT_EQ(console_since(mark)[0], "Warning: case mismatch on '" + upper + "'");

  verbose = 1;
  const int before_delete = message_ring.write_index;
  texture_delete_stale(0);
  verbose = 0;
  EXPECT_EQ(console_since(before_delete),
            std::vector<std::string>{"deleting image " + fixture_path("cache/track1.ppm")});
  EXPECT_EQ(image_name(track1), nullptr);
  EXPECT_NE(image_name(start), nullptr);
  EXPECT_NE(image_name(both), nullptr);

  // A missing file is no entry.
  EXPECT_FALSE(image_load_cached(fixture_path("cache/none.ppm").c_str(), &again, &w, &h));
  texture_delete_stale(1);
  EXPECT_EQ(image_table.count, 0u);
  EXPECT_EQ(image_table.capacity, 0u);
  asset_generation = 0;
}

TEST(TextureRecords, GenerationStampingCountsBytesAgainButNotForGenerationZero) {
  asset_generation = 0;
  texture_add_record(0, 100, nullptr, "@start.png");
  asset_generation = 1;
  char* info = static_cast<char*>(check_malloc(12));
  std::memcpy(info, "[compress]", 11);
  texture_add_record(0, 300, info, "@track.png");

  asset_generation = 2;
  texture_bytes = 0;
  ASSERT_NE(texture_find("@start.png"), nullptr);
  EXPECT_EQ(texture_find("@start.png")->generation, 0);
  EXPECT_EQ(texture_bytes, 0u);
  ASSERT_NE(texture_find("@track.png"), nullptr);
  EXPECT_EQ(texture_find("@track.png")->generation, 2);
  EXPECT_EQ(texture_bytes, 300u);  // once: the second find is already current

  asset_generation = 3;
  texture_delete_stale(0);
  EXPECT_EQ(texture_table.count, 1u);
  EXPECT_NE(texture_find("@start.png"), nullptr);
  EXPECT_EQ(texture_find("@track.png"), nullptr);
  texture_delete_stale(1);
  EXPECT_EQ(texture_table.count, 0u);
  asset_generation = 0;
  texture_bytes = 0;
}

TEST(TextureLinks, LinkToAMissingTargetFallsBackToWhiteAndLoopsEnd) {
  fixture_put(fixture_path("links/a.png"), "LINK " + fixture_path("links/missing.png") + "\n");
  fixture_put(fixture_path("links/loop1.png"), "LINK\n  " + fixture_path("links/loop2.png") + "  \n");
  fixture_put(fixture_path("links/loop2.png"), "LINK " + fixture_path("links/loop1.png"));

  const std::string a = fixture_path("links/a.png");
  EXPECT_EQ(texture_load(a.c_str()), 0u);
  EXPECT_STREQ(texture_link_target(a.c_str()), "@colors/white.png");
  // Later requests go to the fallback, which the test root does not hold.
  EXPECT_EQ(texture_load(("!" + a).c_str()), 0u);
  EXPECT_EQ(texture_table.count, 0u);

  const std::string loop1 = fixture_path("links/loop1.png");
  EXPECT_EQ(texture_load(loop1.c_str()), 0u);
  EXPECT_STREQ(texture_link_target(loop1.c_str()), "@colors/white.png");
  EXPECT_STREQ(texture_link_target(fixture_path("links/loop2.png").c_str()), "@colors/white.png");
  texture_delete_stale(1);
}

}  // namespace
