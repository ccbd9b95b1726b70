#include "terrain/rut_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const float extent = 1024.0f;

struct stroke_case {
  const char* name;
  std::vector<rut_point> points;
};

// Step bounds of a list of points, as the producer keeps them.
void bounds_of(const std::vector<rut_point>& p, float low[2], float high[2]) {
  low[0] = low[1] = high[0] = high[1] = 0.0f;
  for (size_t i = 1; i < p.size(); i++) {
    const float step[2] = {p[i].x - p[i - 1].x, p[i].z - p[i - 1].z};
    for (int axis = 0; axis < 2; axis++) {
      if (i == 1 || step[axis] < low[axis]) low[axis] = step[axis];
      if (i == 1 || step[axis] > high[axis]) high[axis] = step[axis];
    }
  }
}

std::vector<rut_point> arc(int n, float x, float z, float radius) {
  std::vector<rut_point> p;
  for (int i = 0; i < n; i++) {
    const float angle = 0.05f * (float)i;
    p.push_back({x + radius * std::cos(angle), z + radius * std::sin(angle), std::cos(angle + 1.0f),
                 std::sin(angle + 1.0f) * 0.5f, 1 + i % 16});
  }
  return p;
}

TEST(RutMessage, RoundTripsStrokesWithinTheQuantisationStep) {
  std::vector<stroke_case> cases = {
      {"one point", {{512.3f, 100.7f, 0.5f, -0.25f, 5}}},
      {"64 points on an arc", arc(64, 500.0f, 500.0f, 40.0f)},
      {"world corners", {{0.0f, 0.0f, -1.0f, 1.0f, 15}, {0.0f, 0.0f, 1.0f, -1.0f, 3}}},
      {"far corner", {{extent, extent, 0.96875f, -1.0f, 1}, {extent - 3.0f, extent - 1.5f, 0.1f, 0.2f, 2}}},
      {"extreme steps",
       {{0.0f, extent, 0.7f, 0.7f, 1}, {1000.0f, extent - 1000.0f, 0.7f, 0.7f, 2},
        {2000.0f, extent - 2000.0f, 0.7f, 0.7f, 3}, {2960.0f, extent - 2960.0f, 0.7f, 0.7f, 4}}},
      {"steps of one unit", arc(30, 200.0f, 900.0f, 19.0f)},
  };
  for (const stroke_case& c : cases) {
    SCOPED_TRACE(c.name);
    float low[2], high[2];
    bounds_of(c.points, low, high);
    uint8_t message[rut_message_max_bytes];
    const int32_t length = rut_message_encode(c.points.data(), (int32_t)c.points.size(), low, high, extent, message);
    ASSERT_EQ(length, 17 + 4 * ((int32_t)c.points.size() - 1));
    erode_entry decoded[rut_stroke_points];
    ASSERT_EQ(rut_message_decode(message, length, extent, decoded), (int32_t)c.points.size());
    // The largest coding error of a position: half a step code across the
    // widened bounds (the first point is far finer).
    const float slack[2] = {(high[0] - low[0] + 0.2f) / 510.0f + 1e-3f, (high[1] - low[1] + 0.2f) / 510.0f + 1e-3f};
    for (size_t i = 0; i < c.points.size(); i++) {
      const rut_point& p = c.points[i];
      const erode_entry& e = decoded[i];
      EXPECT_NEAR(e.x, p.x, slack[0]) << i;
      EXPECT_NEAR(e.z, p.z, slack[1]) << i;
      EXPECT_LE(e.a, p.a) << i;
      EXPECT_LE(p.a - e.a, 1.0f / 32.0f) << i;
      EXPECT_LE(e.b, p.b) << i;
      EXPECT_LE(p.b - e.b, 1.0f / 32.0f) << i;
      EXPECT_EQ(e.k, p.k & 15) << i;
    }
  }
}

// Every direction value decodes to within one 1/32 step below itself: the
// six-bit code and the k bits never mix.
TEST(RutMessage, DirectionCodesDecodeToTheStepBelowForEveryValue) {
  for (int i = -1000; i <= 1000; i++) {
    const float v = (float)i / 1000.0f;
    if (std::fabs(v) < 0.04f) continue;  // (0, 0) is left out as having no strength
    for (int k = 0; k < 16; k += 5) {
      const rut_point p = {10.0f, 10.0f, v, v, k};
      const float zero[2] = {0, 0};
      uint8_t message[rut_message_max_bytes];
      ASSERT_EQ(rut_message_encode(&p, 1, zero, zero, extent, message), 17);
      erode_entry e;
      ASSERT_EQ(rut_message_decode(message, 17, extent, &e), 1);
      EXPECT_LE(e.a, v) << v;
      EXPECT_LE(v - e.a, 1.0f / 32.0f) << v;
      EXPECT_EQ(e.a, e.b);
      EXPECT_EQ(e.k, k);
    }
  }
}

// A message written byte by byte decodes by the rules of the format.
TEST(RutMessage, HandWrittenBytesDecodeToTheirValues) {
  const uint8_t message[] = {
      1,
      0x00, 0x00,        // x step from -1024
      0xFF, 0x7F,        // z step from 32767 / 65535 * 2048 - 1024, about -1/64
      0xFF, 0xFF,        // x step to +1024
      0x00, 0x80,        // z step to 32768 / 65535 * 2048 - 1024, about +1/64
      0xFF, 0xFF, 0xFF,  // x0 = the extent
      0x00, 0x00, 0x80,  // z0 = 8388608 / 16777215 of it
      0xFF,              // a = 63 / 64 * 2 - 1 = 0.96875, k bits 0-1 = 3
      0x02,              // b = -1, k bits 2-3 = 2: k = 11
      0xFF, 0x00, 0xC1, 0x80,  // point 1: x + 1024, z + the low step, a = 0.5 with k 1, b = 0
      0x00, 0xFF, 0x40, 0xFC,  // point 2: x - 1024, z + the high step, a = -0.5, b = 0.96875, k 0
      0x7F, 0x00,              // a last group cut short: not read
  };
  erode_entry e[rut_stroke_points];
  ASSERT_EQ(rut_message_decode(message, (int32_t)sizeof message, extent, e), 3);
  const double z_low = 32767.0 / 65535.0 * 2048.0 - 1024.0, z_high = 32768.0 / 65535.0 * 2048.0 - 1024.0;
  const double z0 = 8388608.0 / 16777215.0 * extent;
  EXPECT_FLOAT_EQ(e[0].x, extent);
  EXPECT_FLOAT_EQ(e[0].z, (float)z0);
  EXPECT_FLOAT_EQ(e[0].a, 0.96875f);
  EXPECT_FLOAT_EQ(e[0].b, -1.0f);
  EXPECT_EQ(e[0].k, 11);
  EXPECT_FLOAT_EQ(e[1].x, extent + 1024.0f);
  EXPECT_FLOAT_EQ(e[1].z, (float)(z0 + z_low));
  EXPECT_FLOAT_EQ(e[1].a, 0.5f);
  EXPECT_FLOAT_EQ(e[1].b, 0.0f);
  EXPECT_EQ(e[1].k, 1);
  EXPECT_FLOAT_EQ(e[2].x, extent);
  EXPECT_FLOAT_EQ(e[2].z, (float)(z0 + z_low + z_high));
  EXPECT_FLOAT_EQ(e[2].a, -0.5f);
  EXPECT_FLOAT_EQ(e[2].b, 0.96875f);
  EXPECT_EQ(e[2].k, 0);
}

TEST(RutMessage, EncodesTheFirstBytesAsWritten) {
  // +1 reads 63 in the top six bits; a 16-sample point travels with k 0.
  const rut_point p = {extent, 0.0f, 1.0f, -1.0f, 16};
  const float low[2] = {-2000.0f, 0.0f}, high[2] = {2000.0f, 0.0f};
  uint8_t m[rut_message_max_bytes];
  ASSERT_EQ(rut_message_encode(&p, 1, low, high, extent, m), 17);
  const uint8_t expected[17] = {1, 0x00, 0x00, 0xFE, 0x7F, 0xFF, 0xFF, 0x01, 0x80,
                                0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFC, 0x00};
  for (int i = 0; i < 17; i++) EXPECT_EQ(m[i], expected[i]) << i;
}

TEST(RutMessage, SixtyFourPointsMakeTheLongestMessage) {
  const std::vector<rut_point> p = arc(64, 300.0f, 300.0f, 10.0f);
  float low[2], high[2];
  bounds_of(p, low, high);
  uint8_t m[rut_message_max_bytes];
  EXPECT_EQ(rut_message_encode(p.data(), 64, low, high, extent, m), 269);
  EXPECT_EQ(rut_message_encode(p.data(), 0, low, high, extent, m), 0);
}

TEST(RutMessage, MalformedMessagesDecodeToNothingOrAtMostSixtyFourPoints) {
  std::vector<uint8_t> good(17 + 4 * 80, 0x80);  // every point at strength 0
  good[0] = 1;
  for (size_t i = 15; i < good.size(); i += 1) good[i] = 0xA1;  // a, b = 0.25; k = 5
  erode_entry e[rut_stroke_points];
  EXPECT_EQ(rut_message_decode(good.data(), 16, extent, e), 0);
  EXPECT_EQ(rut_message_decode(nullptr, 17, extent, e), 0);
  EXPECT_EQ(rut_message_decode(good.data(), -5, extent, e), 0);
  for (uint8_t format : {0, 2, 255}) {
    std::vector<uint8_t> m = good;
    m[0] = format;
    EXPECT_EQ(rut_message_decode(m.data(), (int32_t)m.size(), extent, e), 0) << (int)format;
  }
  EXPECT_EQ(rut_message_decode(good.data(), 17, extent, e), 1);
  EXPECT_EQ(rut_message_decode(good.data(), 20, extent, e), 1);
  EXPECT_EQ(rut_message_decode(good.data(), 21, extent, e), 2);
  EXPECT_EQ(rut_message_decode(good.data(), 269, extent, e), 64);
  EXPECT_EQ(rut_message_decode(good.data(), (int32_t)good.size(), extent, e), 64);

  // Points without strength are left out, the others kept in order.
  std::vector<uint8_t> m = good;
  m[15] = m[16] = 0x80;
  m[17 + 2] = 0x81;
  m[17 + 3] = 0x82;  // a = b = 0 with k 9: still no strength
  EXPECT_EQ(rut_message_decode(m.data(), 25, extent, e), 1);
  EXPECT_EQ(e[0].k, 5);
}

}  // namespace
