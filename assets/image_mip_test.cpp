#include <gtest/gtest.h>

#include <vector>

#include "assets/image.h"

TEST(ImageChain, SizeCoversEveryLevelDownToOnePixel) {
  struct {
    int w, h, ch;
    size_t bytes;
  } cases[] = {
      {1, 1, 4, 4},          {2, 2, 3, 15},       {4, 1, 1, 7},
      {3, 5, 1, 15 + 2 + 1},  // 3x5, 1x2, 1x1
      {64, 64, 4, 4 * 5461}, {0, 4, 3, 0},       {4, -1, 3, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(image_chain_size(c.w, c.h, c.ch), c.bytes) << c.w << "x" << c.h;
  // Big sides stay in size_t.
  EXPECT_GT(image_chain_size(16384, 16384, 4), (size_t)16384 * 16384 * 4);
}

TEST(ImageDownsample, RgbaBlockWeightsColourByAlpha) {
  // Red opaque, the other three transparent: the colour stays pure red.
  std::vector<uint8_t> px = {255, 0, 0, 255, 0, 0, 255, 0,  //
                             0, 255, 0, 0,   0, 0, 0, 0,    //
                             0, 0, 0, 0};
  image_downsample(px.data(), 2, 2, 4, 0);
  EXPECT_EQ(px[16], 255);
  EXPECT_EQ(px[17], 0);
  EXPECT_EQ(px[18], 0);
  EXPECT_EQ(px[19], 255 >> 2);
  image_downsample(px.data(), 2, 2, 4, image_flag_max_alpha);
  EXPECT_EQ(px[19], 255);
}

TEST(ImageDownsample, RgbaAllTransparentOrAllOpaqueAveragesPlainly) {
  for (uint8_t alpha : {0, 255}) {
    std::vector<uint8_t> px = {10, 20, 30, alpha, 20, 30, 40, alpha,  //
                               30, 40, 50, alpha, 41, 50, 60, alpha,  //
                               0, 0, 0, 0};
    image_downsample(px.data(), 2, 2, 4, 0);
    EXPECT_EQ(px[16], (10 + 20 + 30 + 41) >> 2);
    EXPECT_EQ(px[17], (20 + 30 + 40 + 50) >> 2);
    EXPECT_EQ(px[18], (30 + 40 + 50 + 60) >> 2);
    EXPECT_EQ(px[19], alpha);
  }
}

TEST(ImageDownsample, SingleLinePairsAndOddEdgeDropped) {
  // A 1 x 4 RGBA column: pairs (0,1) and (2,3).
  std::vector<uint8_t> col = {200, 0, 0, 255, 0, 0, 0, 0,  //
                              10, 0, 0, 100, 30, 0, 0, 100, //
                              0, 0, 0, 0, 0, 0, 0, 0};
  image_downsample(col.data(), 1, 4, 4, 0);
  EXPECT_EQ(col[16], 200);  // weighted: the transparent pixel adds nothing
  EXPECT_EQ(col[19], 127);
  EXPECT_EQ(col[20], 20);
  EXPECT_EQ(col[23], 100);
  image_downsample(col.data(), 1, 4, 4, image_flag_max_alpha);
  EXPECT_EQ(col[19], 255);

  // 3 x 3 grey: one output pixel from the top-left block; the last row and
  // column are ignored.
  std::vector<uint8_t> g = {1, 2, 100, 3, 6, 100, 100, 100, 100, 0};
  image_downsample(g.data(), 3, 3, 1, 0);
  EXPECT_EQ(g[9], (1 + 2 + 3 + 6) >> 2);
}

TEST(ImageDownsample, BuildMipsFillsWholeChain) {
  const int w = 4, h = 2;
  std::vector<uint8_t> px(image_chain_size(w, h, 3) + 1, 0xEE);
  for (int i = 0; i < w * h * 3; i++) px[i] = (uint8_t)(i * 8);
  image_build_mips_rgb(px.data(), w, h);
  // Level 1 is 2 x 1, level 2 is 1 x 1; the byte after the chain is untouched.
  const uint8_t* l1 = px.data() + w * h * 3;
  EXPECT_EQ(l1[0], (0 + 24 + 96 + 120) >> 2);
  const uint8_t* l2 = l1 + 2 * 3;
  EXPECT_EQ(l2[0], (l1[0] + l1[3]) >> 1);
  EXPECT_EQ(px.back(), 0xEE);
}
