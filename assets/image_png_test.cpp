#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/test_support_images.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/scram.h"

namespace {

std::vector<uint8_t> noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

std::vector<uint8_t> take(uint8_t* p, size_t n) {
  std::vector<uint8_t> v(p, p + n);
  check_free(p);
  return v;
}

struct png_result {
  int ok = 0, w = 0, h = 0, ch = 0;
  std::vector<uint8_t> chain;
  std::string info;
  bool had_info = false;
};

png_result read_png(const std::string& path) {
  png_result r;
  uint8_t* p = nullptr;
  char* info = nullptr;
  r.ok = image_read_png(path.c_str(), &p, &r.w, &r.h, &r.ch, &info);
  if (r.ok) r.chain = take(p, image_chain_size(r.w, r.h, r.ch));
  EXPECT_EQ(r.ok != 0, p != nullptr);
  if (info) {
    r.had_info = true;
    r.info = info;
    check_free(info);
  }
  return r;
}

std::vector<uint8_t> chain_of(std::vector<uint8_t> base, int w, int h, int ch, int flags = 0) {
  base.resize(image_chain_size(w, h, ch));
  image_build_mips(base.data(), w, h, ch, flags);
  return base;
}

class ImagePng : public ::testing::Test {
 protected:
  void SetUp() override { log_to_fixture_file(); }
};

TEST_F(ImagePng, EightBitRoundTrips) {
  const int w = 9, h = 6;
  for (int ch : {3, 4}) {
    SCOPED_TRACE(ch);
    const auto px = noise(w * h * ch, ch);
    const std::string path = fixture_path("rt" + std::to_string(ch) + ".png");
    ASSERT_EQ(image_write_png8(path.c_str(), px.data(), w, h, ch), 1) << log_text();
    const png_result r = read_png(path);
    ASSERT_EQ(r.ok, 1) << log_text();
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
    EXPECT_EQ(r.ch, ch);
    EXPECT_FALSE(r.had_info);
    EXPECT_EQ(r.chain, chain_of(px, w, h, ch));
  }
}

TEST_F(ImagePng, SixteenBitGreyRoundTripsAndEightBitWidens) {
  const int w = 5, h = 4;
  std::vector<uint16_t> samples(w * h);
  for (size_t i = 0; i < samples.size(); i++) samples[i] = (uint16_t)(i * 3001 + 7);
  const std::string path = fixture_path("height.png");
  ASSERT_EQ(image_write_png(path.c_str(), samples.data(), w, h), 1) << log_text();
  uint16_t* got = nullptr;
  int gw, gh;
  ASSERT_EQ(image_load_png_gray(path.c_str(), &got, &gw, &gh), 1) << log_text();
  EXPECT_EQ(std::vector<uint16_t>(got, got + w * h), samples);
  check_free(got);

  const uint8_t grey[4] = {0, 1, 128, 255};
  const std::string path8 = fixture_path("grey8.png");
  ASSERT_EQ(image_write_png8(path8.c_str(), grey, 2, 2, 1), 1);
  ASSERT_EQ(image_load_png_gray(path8.c_str(), &got, &gw, &gh), 1) << log_text();
  EXPECT_EQ(std::vector<uint16_t>(got, got + 4), (std::vector<uint16_t>{0, 257, 128 * 257, 65535}));
  check_free(got);

  // The same file read as colour: grey becomes R = G = B.
  const png_result r = read_png(path8);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.ch, 3);
  EXPECT_EQ(std::vector<uint8_t>(r.chain.begin(), r.chain.begin() + 6),
            (std::vector<uint8_t>{0, 0, 0, 1, 1, 1}));
}

TEST_F(ImagePng, GreyReaderConvertsColourAndTellsScrambledFiles) {
  const uint8_t rgba[8] = {255, 255, 255, 0, 0, 0, 0, 255};
  const std::string path = fixture_path("colour.png");
  ASSERT_EQ(image_write_png8(path.c_str(), rgba, 2, 1, 4), 1);
  uint16_t* got = nullptr;
  int w, h;
  ASSERT_EQ(image_load_png_gray(path.c_str(), &got, &w, &h), 1) << log_text();
  EXPECT_EQ(got[0], 65535);  // alpha dropped, white stays white
  EXPECT_EQ(got[1], 0);
  check_free(got);

  // Only the ".scram" variant exists under this name.
  const std::string bytes = fixture_bytes(path);
  FILE* f = std::fopen(fixture_path("hidden.png.scram").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(scram_write(f, bytes.data(), bytes.size()), 1);
  std::fclose(f);
  ASSERT_EQ(image_load_png_gray(fixture_path("hidden.png").c_str(), &got, &w, &h), 2) << log_text();
  EXPECT_EQ(got[0], 65535);
  check_free(got);
}

TEST_F(ImagePng, PaletteTransparencyAndSmallGrey) {
  png_fixture pal;
  pal.width = 2;
  pal.height = 1;
  pal.colour_type = PNG_COLOR_TYPE_PALETTE;
  pal.palette = {10, 20, 30, 40, 50, 60};
  pal.trns = {128};  // entry 0 half transparent, entry 1 opaque
  pal.rows = {1, 0};
  const std::string path = fixture_path("palette.png");
  fixture_png(path, pal);
  png_result r = read_png(path);
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.ch, 4);
  EXPECT_EQ(std::vector<uint8_t>(r.chain.begin(), r.chain.begin() + 8),
            (std::vector<uint8_t>{40, 50, 60, 255, 10, 20, 30, 128}));

  // The grey reader refuses a palette image, naming it.
  uint16_t* got = nullptr;
  int w, h;
  EXPECT_EQ(image_load_png_gray(path.c_str(), &got, &w, &h), 0);
  EXPECT_EQ(got, nullptr);
  EXPECT_NE(log_text().find("Can't read image '" + path + "': a palette image is not grey"),
            std::string::npos);

  // 1-bit grey, interlaced, 16-bit colour.
  png_fixture bits;
  bits.width = 8;
  bits.height = 1;
  bits.bit_depth = 1;
  bits.colour_type = PNG_COLOR_TYPE_GRAY;
  bits.interlace = PNG_INTERLACE_ADAM7;
  bits.rows = {0xA0};
  fixture_png(fixture_path("bits.png"), bits);
  r = read_png(fixture_path("bits.png"));
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.ch, 3);
  EXPECT_EQ(r.chain[0], 255);
  EXPECT_EQ(r.chain[3], 0);
  EXPECT_EQ(r.chain[6], 255);

  png_fixture deep;
  deep.width = 1;
  deep.bit_depth = 16;
  deep.rows = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00};
  fixture_png(fixture_path("deep.png"), deep);
  r = read_png(fixture_path("deep.png"));
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.chain, (std::vector<uint8_t>{0x12, 0xAB, 0xFF}));
}

TEST_F(ImagePng, InfoTextJoinsChunksAndSideFileAndSetsMaxAlpha) {
  png_fixture f;
  f.width = 2;
  f.height = 2;
  f.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  f.rows = {9, 9, 9, 255, 9, 9, 9, 0, 9, 9, 9, 0, 9, 9, 9, 0};
  f.text_before = "[mip_max_alpha]";
  f.text_after = "<after>";
  const std::string path = fixture_path("info.png");
  fixture_png(path, f);
  fixture_put(path + ".info", "[compress]\n");
  const png_result r = read_png(path);
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.info, "[mip_max_alpha]<after>[compress]\n");
  EXPECT_EQ(r.chain[16 + 3], 255);  // the largest alpha, not the mean
}

// Fills a w x h RGBA image with one grey value per level rectangle of the
// custom layout, 0 elsewhere.
std::vector<uint8_t> custom_layout(int W, int A, int H, std::vector<int>* level_values) {
  std::vector<uint8_t> px((size_t)W * H * 4, 0);
  int x = 0, y = 0, lw = W, lh = A, level = 0;
  for (;;) {
    const uint8_t v = (uint8_t)(10 + level * 20);
    level_values->push_back(v);
    for (int r = 0; r < lh; r++)
      for (int c = 0; c < lw; c++)
        for (int k = 0; k < 4; k++) px[((size_t)(y + r) * W + x + c) * 4 + k] = v;
    if (lw == 1 && lh == 1) break;
    if (y + lh < H)
      y += lh;
    else
      x += lw;
    lw = lw > 1 ? lw / 2 : 1;
    lh = lh > 1 ? lh / 2 : 1;
    level++;
  }
  return px;
}

TEST_F(ImagePng, CustomMipLevelsAreCutFromTheImage) {
  std::vector<int> values;
  const auto px = custom_layout(64, 64, 96, &values);
  const std::string path = fixture_path("custom.png");
  ASSERT_EQ(image_write_png8(path.c_str(), px.data(), 64, 96, 4), 1);
  fixture_put(path + ".info", "[mip_custom]");
  const png_result r = read_png(path);
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.w, 64);
  EXPECT_EQ(r.h, 64);
  // Every level of the chain holds its own rectangle's value throughout.
  size_t at = 0;
  int w = 64, h = 64;
  for (size_t level = 0; level < values.size(); level++) {
    const size_t n = (size_t)w * h * 4;
    ASSERT_LE(at + n, r.chain.size());
    for (size_t i = 0; i < n; i++) ASSERT_EQ(r.chain[at + i], values[level]) << "level " << level;
    at += n;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  EXPECT_EQ(at, r.chain.size());
}

TEST_F(ImagePng, CustomMipWithBadHeightWarnsAndKeepsTheImage) {
  const auto px = noise(64 * 100 * 3, 9);
  const std::string path = fixture_path("custom100.png");
  ASSERT_EQ(image_write_png8(path.c_str(), px.data(), 64, 100, 3), 1);
  fixture_put(path + ".info", "[mip_custom]");
  const png_result r = read_png(path);
  ASSERT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.h, 100);
  EXPECT_EQ(r.chain, chain_of(px, 64, 100, 3));
  EXPECT_EQ(std::string(message_ring_line(1)),
            "Warning: Invalid height for custom MIP map in '" + path + "'");
}

TEST_F(ImagePng, CustomMipLevelsOutsideTheImageAreRefused) {
  // 1 x 6: level 0 is 1 x 4, level 1 below it, level 2 would lie right of
  // the one-pixel-wide image.
  const auto px = noise(6 * 3, 10);
  const std::string path = fixture_path("narrow.png");
  ASSERT_EQ(image_write_png8(path.c_str(), px.data(), 1, 6, 3), 1);
  fixture_put(path + ".info", "[mip_custom]");
  EXPECT_EQ(read_png(path).ok, 0);
  EXPECT_NE(log_text().find("Can't read image '" + path + "': custom MIP level"),
            std::string::npos)
      << log_text();
}

TEST_F(ImagePng, ScreenshotRowsAreFlipped) {
  const uint8_t bottom_first[2 * 2 * 3] = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  const std::string path = fixture_path("shot.png");
  ASSERT_EQ(image_write_screenshot(path.c_str(), bottom_first, 2, 2), 1);
  const png_result r = read_png(path);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(std::vector<uint8_t>(r.chain.begin(), r.chain.begin() + 12),
            (std::vector<uint8_t>{3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}));
}

// A copy of a PNG with its header's width and height replaced (and the
// chunk's CRC fixed, so libpng reads that far).
std::string with_size(std::string png, uint32_t w, uint32_t h) {
  for (int i = 0; i < 4; i++) {
    png[16 + i] = (char)(w >> (24 - 8 * i));
    png[20 + i] = (char)(h >> (24 - 8 * i));
  }
  const uint32_t crc = (uint32_t)crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  for (int i = 0; i < 4; i++) png[29 + i] = (char)(crc >> (24 - 8 * i));
  return png;
}

TEST_F(ImagePng, MalformedFilesAreRefusedWithTheirName) {
  const auto px = noise(16 * 16 * 3, 11);
  const std::string good = fixture_path("good.png");
  ASSERT_EQ(image_write_png8(good.c_str(), px.data(), 16, 16, 3), 1);
  const std::string bytes = fixture_bytes(good);
  struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not_png", "P6\n1 1\n255\n\x01\x02\x03"},
      {"signature_only", bytes.substr(0, 8)},
      {"truncated_header", bytes.substr(0, 20)},
      {"truncated_data", bytes.substr(0, bytes.size() / 2)},
      {"zero_width", with_size(bytes, 0, 16)},
      {"huge", with_size(bytes, 16385, 16)},
      {"larger_than_data", with_size(bytes, 16, 4000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = fixture_path(std::string("bad_") + c.label + ".png");
    fixture_put(path, c.bytes);
    EXPECT_EQ(read_png(path).ok, 0);
    uint16_t* got = nullptr;
    int w, h;
    EXPECT_EQ(image_load_png_gray(path.c_str(), &got, &w, &h), 0);
    EXPECT_EQ(got, nullptr);
    uint8_t* rgba = nullptr;
    EXPECT_EQ(image_load_rgba(path.c_str(), &rgba, &w, &h), 0);
    EXPECT_EQ(rgba, nullptr);
    EXPECT_NE(log_text().find("Can't read image '" + path + "': "), std::string::npos)
        << log_text();
  }
  uint8_t* p = nullptr;
  int w, h, ch;
  EXPECT_EQ(image_read_png(fixture_path("missing.png").c_str(), &p, &w, &h, &ch, nullptr), 0);
  EXPECT_NE(log_text().find("Can't read image '" + fixture_path("missing.png") +
                            "': can't open the file"),
            std::string::npos);
  EXPECT_STREQ(image_last_refusal(), "can't open the file");
}

// The size check against the data still to come must not refuse what
// deflate really packs tightly: a large flat picture.
TEST_F(ImagePng, FlatPicturesPackedTightlyStillRead) {
  const int side = 2048;
  const std::vector<uint8_t> flat((size_t)side * side * 4, 0);
  const std::string path = fixture_path("flat.png");
  ASSERT_EQ(image_write_png8(path.c_str(), flat.data(), side, side, 4), 1);
  ASSERT_LT(fixture_bytes(path).size(), (size_t)side * side / 100);
  png_result r = read_png(path);
  EXPECT_EQ(r.ok, 1) << log_text();
  EXPECT_EQ(r.w, side);
  EXPECT_EQ(r.ch, 4);
}

TEST_F(ImagePng, RgbaLoaderWidensRgbBaseLevel) {
  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  const std::string path = fixture_path("rgb.png");
  ASSERT_EQ(image_write_png8(path.c_str(), rgb, 2, 1, 3), 1);
  uint8_t* p = nullptr;
  int w, h;
  ASSERT_EQ(image_load_rgba(path.c_str(), &p, &w, &h), 1);
  EXPECT_EQ(take(p, 8), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
}

}  // namespace
