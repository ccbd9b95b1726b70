#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "assets/image.h"

TEST(ImageRaw, PredictsFromLeftInFirstRowAndFromAboveInFirstColumn) {
  // One-channel view of a 3 x 2 J6 body (only red varies).
  const uint8_t residuals[] = {10, 0, 0, 5, 0, 0, 5, 0, 0,  //
                               1, 0, 0, 0, 0, 0, 3, 0, 0};
  uint8_t out[3 * 2 * 3];
  image_raw_decode(residuals, 3, 2, 3, out, 3);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[3], 15);
  EXPECT_EQ(out[6], 20);
  EXPECT_EQ(out[9], 11);       // above
  EXPECT_EQ(out[12], 11 + 15 - 10);  // left + up - upper-left
  EXPECT_EQ(out[15], 16 + 20 - 15 + 3);
}

TEST(ImageRaw, PredictionClampsAndValuesWrap) {
  // Red only. Left 255 + up 255 - upper-left 0 clamps to 255; the residual 3
  // then wraps to 2. Left 0 + up 0 - upper-left 255 clamps to 0.
  const uint8_t high[] = {0, 0, 0, 255, 0, 0,  //
                          255, 0, 0, 3, 0, 0};
  const uint8_t low[] = {255, 0, 0, 1, 0, 0,  //
                         1, 0, 0, 7, 0, 0};
  uint8_t o[2 * 2 * 3];
  image_raw_decode(high, 2, 2, 3, o, 3);
  EXPECT_EQ(o[3], 255);
  EXPECT_EQ(o[6], 255);
  EXPECT_EQ(o[9], 2);
  image_raw_decode(low, 2, 2, 3, o, 3);
  EXPECT_EQ(o[3], 0);
  EXPECT_EQ(o[6], 0);
  EXPECT_EQ(o[9], 7);
}

TEST(ImageRaw, EncodeDecodeRoundTrips) {
  std::mt19937 rng(7);
  const int sizes[][2] = {{1, 1}, {3, 1}, {1, 3}, {3, 2}, {17, 9}};
  for (int ch : {3, 4}) {
    for (const auto& s : sizes) {
      const int w = s[0], h = s[1];
      std::vector<uint8_t> px((size_t)w * h * ch), res(px.size()), back(px.size());
      for (auto& b : px) b = (uint8_t)rng();
      image_raw_encode(px.data(), w, h, ch, res.data());
      image_raw_decode(res.data(), w, h, ch, back.data(), ch);
      EXPECT_EQ(back, px) << ch << " channels " << w << "x" << h;
    }
  }
}

TEST(ImageRaw, ChannelCountConversions) {
  const int w = 2, h = 2;
  const uint8_t rgba[] = {1, 2, 3, 40, 5, 6, 7, 80, 9, 10, 11, 120, 13, 14, 15, 160};
  uint8_t res[16];
  image_raw_encode(rgba, w, h, 4, res);
  uint8_t rgb[12];
  image_raw_decode(res, w, h, 4, rgb, 3);  // J7 read as RGB drops alpha
  for (int i = 0; i < 4; i++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(rgb[i * 3 + c], rgba[i * 4 + c]);

  uint8_t res6[12];
  image_raw_encode(rgb, w, h, 3, res6);
  uint8_t four[16];
  image_raw_decode(res6, w, h, 3, four, 4);  // J6 read as RGBA is opaque
  for (int i = 0; i < 4; i++) {
    for (int c = 0; c < 3; c++) EXPECT_EQ(four[i * 4 + c], rgba[i * 4 + c]);
    EXPECT_EQ(four[i * 4 + 3], 255);
  }
}
