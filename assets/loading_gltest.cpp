// Text and the loading screen on a real driver (Mesa under Xvfb) in the
// game's own window, with fonts and a title picture written by the test.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/loading.h"
#include "assets/screen_hooks.h"
#include "assets/texture.h"
#include "assets/view_extent.h"
#include "core/file.h"
#include "core/message_ring.h"
#include "platform/input.h"
#include "platform/os/os.h"
#include "platform/window.h"

namespace {

// The projection and the menus' drawing helpers as the race code and the
// front end provide them.
void projection(int width, int height, double field_of_view) {
  glViewport(0, 0, width, height);
  const double h = std::tan(field_of_view * M_PI / 360.0);
  double xe, ye;
  if ((double)width / height > 4.0 / 3.0) {
    ye = 0.75 * h;
    xe = ye * width / height;
  } else {
    xe = h;
    ye = xe * height / width;
  }
  view_xe = (float)xe;
  view_ye = (float)ye;
  const double near_plane = 0.5;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-xe * near_plane, xe * near_plane, -ye * near_plane, ye * near_plane, near_plane, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void filled_quad(float r, float g, float b, float a, float x0, float y0, float x1, float y1) {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(r, g, b, a);
  glBegin(GL_QUADS);
  glVertex3f(x0, y0, 0);
  glVertex3f(x0, y1, 0);
  glVertex3f(x1, y1, 0);
  glVertex3f(x1, y0, 0);
  glEnd();
  glDisable(GL_BLEND);
}

void begin_text_scale(float lines) {
  glPushMatrix();
  glLoadIdentity();
  const float s = 2 * view_ye / lines;
  glTranslatef(-view_xe, view_ye - s, -1);
  glScalef(s, s, s);
}

void pop_transform() { glPopMatrix(); }

// "@font.png": one band of 94 cells 8 x 12 pixels with a separator at the
// top left of each and one after the last; each glyph a white block.
void write_font(const std::string& path) {
  const int width = 94 * 8 + 1, height = 12;
  std::vector<uint8_t> pixels((size_t)width * height * 4, 0);
  for (int g = 0; g < 94; g++)
    for (int y = 3; y < 10; y++)
      for (int x = 2; x < 6; x++) std::memset(&pixels[((size_t)y * width + g * 8 + x) * 4], 255, 4);
  const uint8_t separator[4] = {255, 0, 255, 255};
  for (int g = 0; g <= 94; g++) std::memcpy(&pixels[(size_t)g * 8 * 4], separator, 4);
  ASSERT_TRUE(image_write_png8(path.c_str(), pixels.data(), width, height, 4));
}

void write_title(const std::string& path) {
  std::vector<uint8_t> pixels(64 * 32 * 3);
  for (size_t i = 0; i < pixels.size(); i += 3) {
    pixels[i] = 200;
    pixels[i + 1] = 0;
    pixels[i + 2] = 0;
  }
  // A sharp edge, so the picture keeps its size.
  for (int y = 0; y < 32; y++) pixels[(size_t)(y * 64) * 3 + 1] = 255;
  ASSERT_TRUE(image_write_png8(path.c_str(), pixels.data(), 64, 32, 3));
}

class LoadingGl : public ::testing::Test {
 protected:
  void SetUp() override {
    game_window = gl_window_open("Loading test", width_, height_, 24, 0, 16, 0, 0);
    ASSERT_NE(game_window, nullptr);
    gl_load_extensions();
    screen_hooks = screen_hooks_table{projection, filled_quad, begin_text_scale, pop_transform};
    loading = loading_state{};
    ASSERT_NE(search_root(0), nullptr);
    write_font(std::string(search_root(0)) + "font.png");
    write_title(std::string(search_root(0)) + "title.png");
    mark_ = message_ring.write_index;
    fonts_load();
  }
  void TearDown() override {
    fonts_free();
    texture_delete_stale(1);
    screen_hooks = screen_hooks_table{};
    gl_window_close(game_window);
    game_window = nullptr;
  }
  // Waits for the window to give a frame, as loading_show would get it.
  window_frame* frame() {
    for (int i = 0; i < 6000; i++) {  // a minute: only a hang gets there
      window_pump_messages(game_window);
      if (window_frame* f = window_begin_frame(game_window)) return f;
      os_sleep_ms(10);
    }
    return nullptr;
  }
  std::vector<uint8_t> read_back() {
    std::vector<uint8_t> pixels((size_t)width_ * height_ * 4);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }
  // Pixel (x, y) counted from the top left.
  const uint8_t* at(const std::vector<uint8_t>& p, int x, int y) const {
    return &p[((size_t)(height_ - 1 - y) * width_ + x) * 4];
  }
  int white_in(const std::vector<uint8_t>& p, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) {
        const uint8_t* q = at(p, x, y);
        n += q[0] > 200 && q[1] > 200 && q[2] > 200;
      }
    return n;
  }
  const int width_ = 400, height_ = 300;
  int mark_ = 0;
};

TEST_F(LoadingGl, FontsLoadAndALineOfTextInksWhereItsGlyphsAre) {
  ASSERT_NE(font_main.texture, 0u);
  EXPECT_EQ(font_main.pixels, nullptr);
  EXPECT_FLOAT_EQ(font_main.advances[(unsigned char)'A'], 8.0f / 12.0f);
  std::vector<std::string> lines;
  for (int i = mark_; i != message_ring.write_index; i = (i + 1) % message_ring_size)
    lines.push_back(message_ring.lines[i]);
  EXPECT_EQ(lines, (std::vector<std::string>{"Can't open font '@numbers.png'",
                                             "Can't open font '@numbers-condensed.png'"}));
  // Loading again replaces the fonts without leaking the first ones.
  fonts_load();
  ASSERT_NE(font_main.texture, 0u);

  ASSERT_NE(frame(), nullptr);
  projection(width_, height_, 110);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  // Four lines per screen: a line is 75 pixels high and a glyph 50 wide.
  begin_text_scale(4);
  draw_text_white("ABC");
  pop_transform();
  const std::vector<uint8_t> pixels = read_back();
  window_end_frame(game_window);

  for (int g = 0; g < 3; g++) {
    // Each glyph's block covers x 2..6 of 8 and y 3..10 of 12 of its cell.
    EXPECT_GT(white_in(pixels, g * 50 + 16, 22, g * 50 + 34, 60), 18 * 36) << g;
    EXPECT_EQ(white_in(pixels, g * 50 + 42, 0, g * 50 + 50, 75), 0) << g;
  }
  EXPECT_EQ(white_in(pixels, 155, 0, width_, height_), 0);
  EXPECT_EQ(white_in(pixels, 0, 80, width_, height_), 0);
}

TEST_F(LoadingGl, AFrameShowsThePictureTheMessageAndTheBuildAndIsRecorded) {
  loading.picture = texture_load("!@title.png");
  ASSERT_NE(loading.picture, 0u);
  loading.build_text = "test build";

  ASSERT_NE(frame(), nullptr);
  projection(width_, height_, 110);
  loading_draw_screen("Loading quarrybend");
  const std::vector<uint8_t> pixels = read_back();
  window_end_frame(game_window);

  // 4:3 view: the picture fills the height and is cropped at the sides.
  const uint8_t* centre = at(pixels, 200, 150);
  EXPECT_NEAR(centre[0], 200, 3);
  EXPECT_LT(centre[1], 10);
  // The message: white ink in the top line (12 pixels high), from the left.
  EXPECT_GT(white_in(pixels, 0, 0, 120, 12), 20);
  EXPECT_EQ(white_in(pixels, 0, 14, width_, height_ - 20), 0);
  // The build, grey, at the bottom right.
  int grey = 0;
  for (int y = height_ - 20; y < height_; y++)
    for (int x = width_ - 100; x < width_; x++) {
      const uint8_t* q = at(pixels, x, y);
      grey += q[0] > 150 && q[0] < 220 && q[1] > 150 && q[1] == q[2];
    }
  EXPECT_GT(grey, 10);

  // The whole step through the window: recorded and logged.
  loading_show_logged("Reading timing gates");
  EXPECT_STREQ(loading.previous, "Reading timing gates");
  EXPECT_GT(loading.last_frame, 0.0);
}

TEST_F(LoadingGl, SpinnerFrameShadesTheView) {
  ASSERT_NE(frame(), nullptr);
  projection(width_, height_, 110);
  loading_draw_spinner(0xFFFFFFFFu);
  const std::vector<uint8_t> pixels = read_back();
  window_end_frame(game_window);
  // Lighter in the middle, the fill colour in the corner; the squares are
  // still fading in.
  const int centre = at(pixels, 200, 150)[0], corner = at(pixels, 2, 2)[0];
  EXPECT_NEAR(centre, 128, 6);
  EXPECT_GE(corner, 62);
  EXPECT_LT(corner, centre - 30);
  EXPECT_NE(loading.animation_start, 0.0);

  loading_refresh();
  EXPECT_EQ(loading.refresh_count, 1u);
}

TEST_F(LoadingGl, LoadingFramesKeepTheRequestToClose) {
  for (int i = 0; i < 3; i++) window_push_event_now(game_window, input_code_key + 0x1E, 1);
  window_push_event_now(game_window, input_code_close, 1);
  window_push_event_now(game_window, input_code_key + 0x1E, 0);
  loading_refresh();
  loading_show("still loading");
  int code = 0, pressed = 0, closes = 0, others = 0;
  while (window_get_event(game_window, &code, &pressed)) (code == input_code_close ? closes : others)++;
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(others, 0);
}

}  // namespace
