// Textures on a real driver (Mesa under Xvfb) in the game's own window.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/test_support_images.h"
#include "assets/texture.h"
#include "assets/texture_settings.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "platform/window.h"

namespace {

class TextureGl : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gl_window_open("Texture test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    asset_generation = 0;
    texture_bytes = 0;
    mark_ = message_ring.write_index;
  }
  void TearDown() override {
    texture_delete_stale(1);
    gl_window_close(window_);
  }
  std::vector<std::string> console() const {
    std::vector<std::string> lines;
    for (int i = mark_; i != message_ring.write_index; i = (i + 1) % message_ring_size)
      lines.push_back(message_ring.lines[i]);
    return lines;
  }
  window_state* window_ = nullptr;
  int mark_ = 0;
};

std::string write_png(const std::string& name, int width, int height, int channels,
                      const uint8_t* colour) {
  std::vector<uint8_t> pixels((size_t)width * height * channels);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = colour[i % channels];
  const std::string path = fixture_path(name);
  EXPECT_TRUE(image_write_png8(path.c_str(), pixels.data(), width, height, channels));
  return path;
}

GLint level_parameter(unsigned id, int level, GLenum what) {
  GLint value = -1;
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
  glBindTexture(GL_TEXTURE_2D, 0);
  return value;
}

GLint parameter(unsigned id, GLenum what) {
  GLint value = -1;
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
  glBindTexture(GL_TEXTURE_2D, 0);
  return value;
}

TEST_F(TextureGl, LoadsOnceUploadsAndDraws) {
  // Orange on the left, blue on the right: a sharp edge no smaller level
  // reproduces, so every level stays.
  std::vector<uint8_t> picture(48 * 32 * 3);
  for (int i = 0; i < 48 * 32; i++) {
    const bool left = i % 48 < 24;
    picture[i * 3 + 0] = left ? 250 : 0;
    picture[i * 3 + 1] = left ? 120 : 0;
    picture[i * 3 + 2] = left ? 10 : 255;
  }
  const std::string path = fixture_path("tex/orange.png");
  ASSERT_TRUE(image_write_png8(path.c_str(), picture.data(), 48, 32, 3));
  const unsigned id = texture_load(path.c_str());
  ASSERT_NE(id, 0u);
  EXPECT_EQ(texture_load(path.c_str()), id);
  EXPECT_EQ(texture_table.count, 1u);
  EXPECT_STREQ(texture_name(id), path.c_str());
  EXPECT_EQ(console(), std::vector<std::string>{"Warning: Non power of 2 texture '" + path + "'"});
  // 32 x 32 after fitting: the whole chain counted once.
  EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_WIDTH), 32);
  EXPECT_EQ(texture_bytes, (unsigned)image_chain_size(32, 32, 3));
  EXPECT_EQ(parameter(id, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(parameter(id, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);

  glViewport(0, 0, 64, 64);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, id);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-1, -1);
  glTexCoord2f(1, 0);
  glVertex2f(1, -1);
  glTexCoord2f(1, 1);
  glVertex2f(1, 1);
  glTexCoord2f(0, 1);
  glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  uint8_t pixel[4];
  glReadPixels(16, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_NEAR(pixel[0], 250, 2);
  EXPECT_NEAR(pixel[1], 120, 2);
  EXPECT_NEAR(pixel[2], 10, 2);
}

TEST_F(TextureGl, FullDetailPrefixSharesTheRecordAndRepeatNamesRepeat) {
  const uint8_t grey[4] = {90, 90, 90, 255};
  const std::string path = write_png("tex/fence-repeat.png", 16, 16, 4, grey);
  const unsigned id = texture_load(("!" + path).c_str());
  ASSERT_NE(id, 0u);
  EXPECT_EQ(texture_load(path.c_str()), id);
  EXPECT_EQ(parameter(id, GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(parameter(id, GL_TEXTURE_WRAP_T), GL_REPEAT);
}

TEST_F(TextureGl, CompressedUploadsCountWhatTheDriverStores) {
  ASSERT_GT(gl_caps.major, 1);
  std::vector<uint8_t> picture(64 * 64 * 3);
  for (size_t i = 0; i < picture.size(); i++) picture[i] = (uint8_t)(i * 2654435761u >> 24);
  const std::string path = fixture_path("tex/noise.png");
  ASSERT_TRUE(image_write_png8(path.c_str(), picture.data(), 64, 64, 3));
  fixture_put(path + ".info", "[compress]\n");
  const unsigned id = texture_load(path.c_str());
  ASSERT_NE(id, 0u);
  unsigned expected = 0;
  glBindTexture(GL_TEXTURE_2D, id);
  for (int level = 0, side = 64; side >= 1; level++, side /= 2) {
    GLint compressed = 0, size = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_ARB, &compressed);
    if (compressed)
      glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
    else
      size = side * side * 3;
    expected += (unsigned)size;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(texture_bytes, expected);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(TextureGl, FlatImageDropsLevelsItDoesNotNeed) {
  const uint8_t green[3] = {20, 200, 20};
  const std::string path = write_png("tex/flat.png", 256, 256, 3, green);
  const unsigned id = texture_load(path.c_str());
  ASSERT_NE(id, 0u);
  EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_WIDTH), 16);
  EXPECT_EQ(console(), std::vector<std::string>{path.substr(0, 64) + " reduced to 16x16 (originally 256x256)"});
}

TEST_F(TextureGl, LinkLoadsItsTargetAndRemembersIt) {
  const uint8_t blue[3] = {0, 0, 255};
  const std::string target = write_png("tex/blue.png", 8, 8, 3, blue);
  const std::string link = fixture_path("tex/sky.png");
  fixture_put(link, "LINK\n" + target + "\n");
  const unsigned id = texture_load(link.c_str());
  ASSERT_NE(id, 0u);
  EXPECT_STREQ(texture_link_target(link.c_str()), target.c_str());
  EXPECT_STREQ(texture_name(id), target.c_str());
  EXPECT_EQ(texture_table.count, 1u);  // no record for the link's own name
  EXPECT_EQ(texture_load(link.c_str()), id);
}

TEST_F(TextureGl, NewGenerationFreesWhatTheTrackDidNotAskForAgain) {
  const uint8_t c[3] = {1, 2, 3};
  const std::string hud = write_png("tex/hud.png", 4, 4, 3, c);
  const std::string old_track = write_png("tex/old.png", 4, 4, 3, c);
  const std::string shared = write_png("tex/shared.png", 4, 4, 3, c);
  const unsigned hud_id = texture_load(hud.c_str());
  asset_generation = 1;
  const unsigned old_id = texture_load(old_track.c_str());
  const unsigned shared_id = texture_load(shared.c_str());

  asset_generation = 2;
  texture_bytes = 0;
  EXPECT_EQ(texture_load(shared.c_str()), shared_id);
  EXPECT_EQ(texture_bytes, (unsigned)image_chain_size(4, 4, 3));
  texture_delete_stale(0);
  EXPECT_TRUE(glIsTexture(hud_id));
  EXPECT_TRUE(glIsTexture(shared_id));
  EXPECT_FALSE(glIsTexture(old_id));
  EXPECT_EQ(texture_name(old_id), nullptr);
  texture_delete_stale(1);
  EXPECT_FALSE(glIsTexture(hud_id));
}

TEST_F(TextureGl, TintedPlateColoursTheDigitsAndClearsItsEdges) {
  // Digits 4 pixels wide, opaque white ink below the separator row.
  font_reset(&font_numbers);
  const int fw = 41, fh = 6;
  uint8_t* pixels = static_cast<uint8_t*>(check_malloc((size_t)fw * fh * 4));
  std::memset(pixels, 255, (size_t)fw * fh * 4);
  const uint8_t sep[4] = {255, 0, 255, 255};
  for (int x = 0; x <= 40; x += 4) std::memcpy(pixels + x * 4, sep, 4);
  font_scan_cells(&font_numbers, pixels, fw, fh, "0123456789");
  font_numbers.pixels = pixels;
  font_numbers.width = fw;
  font_numbers.height = fh;

  const uint8_t full[3] = {255, 0, 0}, zero[3] = {0, 0, 255};
  const unsigned id = texture_make_tinted("12", 16, 16, full, zero);
  ASSERT_NE(id, 0u);
  std::vector<uint8_t> level(16 * 16 * 4);
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  // Ink (mask 255) is the full colour, opaque; the edge ring is clear.
  const uint8_t* ink = &level[(8 * 16 + 5) * 4];
  EXPECT_EQ(ink[0], 255);
  EXPECT_EQ(ink[2], 0);
  EXPECT_EQ(ink[3], 255);
  for (int i = 0; i < 16; i++) {
    EXPECT_EQ(level[i * 4 + 3], 0);
    EXPECT_EQ(level[(15 * 16 + i) * 4 + 3], 0);
  }
  glDeleteTextures(1, &id);
  check_free(font_numbers.pixels);
  font_reset(&font_numbers);
}

}  // namespace
