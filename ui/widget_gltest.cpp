// The toolkit's drawers on a real GL window: the rectangles they store
// must be where their boxes show, at 4:3 and at 16:9.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "core/file.h"
#include "platform/os/os.h"
#include "platform/window.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "race/screen_draw.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

// "@font.png": 94 cells 8 x 12 pixels, each glyph a white block in rows
// 3..9, so a row near an item's top never crosses its text.
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

const float background[3] = {0.196078f, 0.6f, 0.8f};

struct size_case {
  int width, height;
};

class WidgetGl : public ::testing::TestWithParam<size_case> {
 protected:
  void SetUp() override {
    w_ = GetParam().width;
    h_ = GetParam().height;
    window_ = gl_window_open("Widget test", w_, h_, 0, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    game_window = window_;
    gl_load_extensions();
    write_font(std::string(search_root(0)) + "font.png");
    fonts_load();
    menu_keys_name(window_);
  }
  void TearDown() override {
    fonts_free();
    texture_delete_stale(1);
    gl_window_close(window_);
    game_window = nullptr;
  }
  int begin() {
    for (int i = 0; i < 6000; i++) {  // a minute: only a hang gets there
      window_pump_messages(window_);
      if (window_frame* f = window_begin_frame(window_)) {
        if (f->width == w_ && f->height == h_) return 1;
        window_end_frame(window_);
      }
      os_sleep_ms(10);
    }
    return 0;
  }
  void read_back() {
    pixels_.assign((size_t)w_ * h_ * 4, 0);
    glReadPixels(0, 0, w_, h_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    std::vector<uint8_t> flipped(pixels_.size());
    for (int y = 0; y < h_; y++)
      std::memcpy(&flipped[(size_t)y * w_ * 4], &pixels_[(size_t)(h_ - 1 - y) * w_ * 4], (size_t)w_ * 4);
    pixels_ = flipped;
    char name[64];
    std::snprintf(name, sizeof(name), "/widgets_%dx%d.png", w_, h_);
    image_write_png8((std::string(test_root()) + name).c_str(), pixels_.data(), w_, h_, 4);
  }
  const uint8_t* at(int x, int y) const { return &pixels_[((size_t)y * w_ + x) * 4]; }
  // The pixel shows one layer of the fill over the background.
  bool one_layer(int x, int y, const menu_color& fill) const {
    const float bg[3] = {background[0], background[1], background[2]};
    const float f[3] = {fill.r, fill.g, fill.b};
    for (int c = 0; c < 3; c++) {
      const float want = 255.0f * (fill.a * f[c] + (1 - fill.a) * bg[c]);
      if (std::fabs(at(x, y)[c] - want) > 4.0f) return false;
    }
    return true;
  }
  // The first and last x of a one-layer run on row y that starts at or
  // after x_from.
  void run_on_row(int y, int x_from, const menu_color& fill, int* first, int* last) const {
    int x = x_from;
    while (x < w_ && !one_layer(x, y, fill)) x++;
    *first = x;
    while (x + 1 < w_ && one_layer(x + 1, y, fill)) x++;
    *last = x;
  }
  void column_run(int x, int y_from, const menu_color& fill, int* first, int* last) const {
    int y = y_from;
    while (y < h_ && !one_layer(x, y, fill)) y++;
    *first = y;
    while (y + 1 < h_ && one_layer(x, y + 1, fill)) y++;
    *last = y;
  }
  int w_ = 0, h_ = 0;
  window_state* window_ = nullptr;
  std::vector<uint8_t> pixels_;
};

TEST_P(WidgetGl, RectanglesMatchWhereTheBoxesShow) {
  ASSERT_TRUE(begin());
  set_projection(w_, h_, 90.0);
  menu_screen = {w_, h_, -1, -1};
  glEnable(GL_CULL_FACE);  // as the game draws
  glClearColor(background[0], background[1], background[2], 1);
  glClear(GL_COLOR_BUFFER_BIT);

  menu_button button = {"", {0, 0, 0, 0}};
  double value = 0.0;
  menu_slider slider = {"Volume", &value, 1, 0, 10, {0, 0, 0, 0}, 0, 0};
  const char* const skills[] = {"Novice", "Amateur", "Expert"};
  int skill = 0;
  menu_option_list list = {"Skill", skills, 3, &skill, {0, 0, 0, 0}};

  float origin[2], scale[2];
  menu_begin_screen(30, 0, 0, origin, scale);
  float pen[2] = {origin[0], origin[1]};
  menu_translate(pen, 2, -5);
  draw_button(&button, 0, pen, scale, 10, 0);
  menu_translate(pen, 0, -3);
  draw_slider(&slider, 0, pen, scale, 36, 0, 0.5f);
  menu_translate(pen, 0, -3);
  draw_option_list(&list, 1, pen, scale, 20, 0, 0.5f);
  menu_pop_transform();
  glFinish();
  read_back();
  window_end_frame(window_);

  // The button's face, one layer of the normal fill, inside its frame.
  const int* r = button.rect;
  int first, last;
  run_on_row((r[1] + r[3]) / 2, 0, menu_colors.normal.fill, &first, &last);
  EXPECT_NEAR(first, r[0], 1);
  EXPECT_NEAR(last + 1, r[2], 1);
  column_run((r[0] + r[2]) / 2, 0, menu_colors.normal.fill, &first, &last);
  EXPECT_NEAR(first, r[1], 1);
  EXPECT_NEAR(last + 1, r[3], 1);

  // The slider's label starts at its rectangle's left; its bar (empty at
  // the minimum) ends at its right.
  r = slider.rect;
  const int top_row = r[1] + (r[3] - r[1]) / 8;
  run_on_row(top_row, 0, menu_colors.item_label.fill, &first, &last);
  EXPECT_NEAR(first, r[0], 1);
  run_on_row(top_row, slider.bar_x0 - 1, menu_colors.normal.fill, &first, &last);
  EXPECT_NEAR(first, slider.bar_x0, 1);
  EXPECT_NEAR(last + 1, r[2], 1);
  EXPECT_NEAR(slider.bar_x1, r[2], 1);
  column_run(slider.bar_x0 + 5, 0, menu_colors.normal.fill, &first, &last);
  EXPECT_NEAR(first, r[1], 1);
  EXPECT_NEAR(last + 1, r[3], 1);

  // The selected list's value box in inverse video: the selected fill,
  // ending at the rectangle's right, with dark text inside.
  r = list.rect;
  run_on_row(r[1] + (r[3] - r[1]) / 8, (r[0] + r[2]) / 2, menu_colors.selected.fill, &first, &last);
  EXPECT_NEAR(last + 1, r[2], 1);
  const int mid_row = (r[1] + r[3]) / 2;
  int dark = 0;
  for (int x = first; x <= last; x++) dark += at(x, mid_row)[0] < 40;
  EXPECT_GT(dark, 10);
  run_on_row(r[1] + (r[3] - r[1]) / 8, 0, menu_colors.item_label.fill, &first, &last);
  EXPECT_NEAR(first, r[0], 1);

  // A click mid-bar gives the mid value.
  menu_screen.mouse_x = (slider.bar_x0 + slider.bar_x1) / 2;
  menu_screen.mouse_y = (slider.rect[1] + slider.rect[3]) / 2;
  slider_key(&slider, menu_keys.click);
  EXPECT_DOUBLE_EQ(value, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WidgetGl, ::testing::Values(size_case{640, 480}, size_case{1280, 720}),
                         [](const ::testing::TestParamInfo<size_case>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
