#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/test_support_images.h"
#include "core/file.h"
#include "core/memory.h"

namespace {

std::vector<uint8_t> noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

// The chain a reader must give for these base pixels.
std::vector<uint8_t> expected_chain(const std::vector<uint8_t>& base, int w, int h, int ch) {
  std::vector<uint8_t> chain(image_chain_size(w, h, ch));
  std::memcpy(chain.data(), base.data(), base.size());
  image_build_mips(chain.data(), w, h, ch, 0);
  return chain;
}

std::vector<uint8_t> take(uint8_t* p, size_t n) {
  std::vector<uint8_t> v(p, p + n);
  check_free(p);
  return v;
}

// image_read over a file: the RGB chain of a PPM, J6 or J7.
int read_rgb(const std::string& path, std::vector<uint8_t>* out, int* w, int* h) {
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  uint8_t* p = nullptr;
  const int ok = image_read(s, &p, w, h, path.c_str());
  stream_close(s);
  if (ok) *out = take(p, image_chain_size(*w, *h, 3));
  EXPECT_EQ(ok != 0, p != nullptr);
  return ok;
}

int read_pgm(const std::string& path, std::vector<uint8_t>* out, int* w, int* h) {
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  uint8_t* p = nullptr;
  const int ok = image_read_pgm(s, &p, w, h, path.c_str());
  stream_close(s);
  if (ok) *out = take(p, (size_t)*w * *h);
  return ok;
}

class ImageFile : public ::testing::Test {
 protected:
  void SetUp() override { log_to_fixture_file(); }
};

TEST_F(ImageFile, WrittenFilesReadBackIdentical) {
  const int w = 7, h = 5;
  const auto rgb = noise(w * h * 3, 1);
  const auto grey = noise(w * h, 2);
  const auto rgba = noise(w * h * 4, 3);

  for (const char* magic : {"P6", "P3", "J6", "J7"}) {
    SCOPED_TRACE(magic);
    const std::string path = fixture_path(std::string("rt.") + magic);
    const bool j7 = !std::strcmp(magic, "J7");
    std::vector<uint8_t> rgb_of_rgba;
    if (j7)
      for (size_t i = 0; i < rgba.size(); i++)
        if (i % 4 != 3) rgb_of_rgba.push_back(rgba[i]);
    ASSERT_EQ(j7 ? image_write_raw(path.c_str(), magic, rgba.data(), w, h)
              : magic[0] == 'J' ? image_write_raw(path.c_str(), magic, rgb.data(), w, h)
                                : image_write_pnm(path.c_str(), magic, rgb.data(), w, h),
              1);
    std::vector<uint8_t> got;
    int gw = 0, gh = 0;
    ASSERT_EQ(read_rgb(path, &got, &gw, &gh), 1) << log_text();
    EXPECT_EQ(gw, w);
    EXPECT_EQ(gh, h);
    EXPECT_EQ(got, expected_chain(j7 ? rgb_of_rgba : rgb, w, h, 3));
  }

  for (const char* magic : {"P5", "P2"}) {
    SCOPED_TRACE(magic);
    const std::string path = fixture_path(std::string("rt.") + magic);
    ASSERT_EQ(image_write_pnm(path.c_str(), magic, grey.data(), w, h), 1);
    std::vector<uint8_t> got;
    int gw = 0, gh = 0;
    ASSERT_EQ(read_pgm(path, &got, &gw, &gh), 1) << log_text();
    EXPECT_EQ(gw, w);
    EXPECT_EQ(gh, h);
    EXPECT_EQ(got, grey);
  }
}

TEST_F(ImageFile, RgbaLoaderReadsJ7WithAlphaAndJ6Opaque) {
  const int w = 4, h = 3;
  const auto rgba = noise(w * h * 4, 4);
  const std::string j7 = fixture_path("a.j7"), j6 = fixture_path("a.j6");
  ASSERT_EQ(image_write_raw(j7.c_str(), "J7", rgba.data(), w, h), 1);
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < rgba.size(); i++)
    if (i % 4 != 3) rgb.push_back(rgba[i]);
  ASSERT_EQ(image_write_raw(j6.c_str(), "J6", rgb.data(), w, h), 1);

  uint8_t* p = nullptr;
  int gw, gh;
  ASSERT_EQ(image_load_rgba(j7.c_str(), &p, &gw, &gh), 1) << log_text();
  EXPECT_EQ(take(p, image_chain_size(w, h, 4)), expected_chain(rgba, w, h, 4));

  ASSERT_EQ(image_load_rgba(j6.c_str(), &p, &gw, &gh), 1) << log_text();
  auto opaque = rgba;
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  EXPECT_EQ(take(p, image_chain_size(w, h, 4)), expected_chain(opaque, w, h, 4));
  // Neither attempt at PNG left a message behind.
  EXPECT_EQ(log_text().find("a.j"), std::string::npos) << log_text();
}

TEST_F(ImageFile, HeaderCommentsAndScaledSamples) {
  const std::string path = fixture_path("scaled.ppm");
  fixture_put(path, "P3\n# made by hand\n2 # width\n# and\n1\n15\n15 0 7\n# between samples\n0 15 3\n");
  std::vector<uint8_t> got;
  int w, h;
  ASSERT_EQ(read_rgb(path, &got, &w, &h), 1) << log_text();
  ASSERT_EQ(w, 2);
  ASSERT_EQ(h, 1);
  const uint8_t base[] = {255, 0, 7 * 255 / 15, 0, 255, 3 * 255 / 15};
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 6), std::vector<uint8_t>(base, base + 6));

  const std::string pgm = fixture_path("scaled.pgm");
  fixture_put(pgm, std::string("P5 2 1 100\n") + char(100) + char(50));
  ASSERT_EQ(read_pgm(pgm, &got, &w, &h), 1) << log_text();
  EXPECT_EQ(got, (std::vector<uint8_t>{255, 127}));
}

TEST_F(ImageFile, MalformedFilesAreRefusedWithTheirName) {
  struct {
    const char* label;
    const char* reader;  // "rgb" = image_read, "pgm" = image_read_pgm
    std::string bytes;
  } cases[] = {
      {"empty", "rgb", ""},
      {"bad_magic", "rgb", "P4\n1 1\n1\n"},
      {"pgm_bad_magic", "pgm", "P6\n1 1\n255\n\n\x01\x02\x03"},
      {"zero_width", "rgb", "P6\n0 4\n255\n"},
      {"negative_height", "rgb", "P6\n4 -1\n255\n"},
      {"huge", "rgb", "P6\n16385 1\n255\n"},
      {"overflowing", "rgb", "J6\n99999999999 99999999999\n"},
      {"no_size", "rgb", "J6\n"},
      {"maximum_0", "rgb", "P6\n1 1\n0\n\x01\x02\x03"},
      {"maximum_256", "pgm", "P5\n1 1\n256\n\x01"},
      {"truncated_p6", "rgb", "P6\n2 2\n255\n\x01\x02\x03\x04\x05"},
      {"truncated_p5", "pgm", "P5\n2 2\n255\n\x01"},
      {"no_body_byte", "pgm", "P5\n1 1\n255"},
      {"bad_sample", "rgb", "P3\n1 1\n255\n1 2 x\n"},
      {"missing_sample", "pgm", "P2\n2 1\n255\n1\n"},
      {"sample_above_maximum", "rgb", "P3\n1 1\n10\n1 2 11\n"},
      {"byte_above_maximum", "rgb", "P6\n1 1\n10\n\x01\x02\x0b"},
      {"truncated_j7", "rgb", "J7\n2 2\n\x01\x02\x03"},
      {"zero_j6", "rgb", "J6\n0 0\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = fixture_path(std::string("bad_") + c.label);
    fixture_put(path, c.bytes);
    std::vector<uint8_t> got;
    int w = -7, h = -7;
    const int ok = !std::strcmp(c.reader, "pgm") ? read_pgm(path, &got, &w, &h)
                                                  : read_rgb(path, &got, &w, &h);
    EXPECT_EQ(ok, 0);
    EXPECT_NE(log_text().find("Can't read image '" + path + "': "), std::string::npos)
        << log_text();
  }
}

TEST_F(ImageFile, WritersRefuseWhatTheyCannotWrite) {
  const uint8_t px[3] = {1, 2, 3};
  EXPECT_EQ(image_write_pnm(fixture_path("x.p4").c_str(), "P4", px, 1, 1), 0);
  EXPECT_EQ(image_write_raw(fixture_path("x.j5").c_str(), "J5", px, 1, 1), 0);
  EXPECT_EQ(image_write_pnm(fixture_path("x.ppm").c_str(), "P6", px, 0, 1), 0);
  // A folder where the file should go.
  EXPECT_EQ(image_write_pnm(fixture_path("").c_str(), "P6", px, 1, 1), 0);
  EXPECT_NE(log_text().find("Can't write image"), std::string::npos);
}

}  // namespace
