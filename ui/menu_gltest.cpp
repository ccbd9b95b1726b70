// The main menu on a real GL window, at 4:3 and at 16:9: its rectangles
// are stored in hit-list order down the column, and a hover then a click
// at each one's centre opens that item's page.
#include <GL/gl.h>
#include <gtest/gtest.h>

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
#include "race/game_state.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "race/race_state.h"
#include "tools/testing/test_env.h"
#include "ui/menu.h"
#include "ui/widget.h"

namespace {

void write_font(const std::string& path) {
  const int width = 94 * 8 + 1, height = 12;
  std::vector<uint8_t> pixels((size_t)width * height * 4, 255);
  const uint8_t separator[4] = {255, 0, 255, 255};
  for (int g = 0; g <= 94; g++) std::memcpy(&pixels[(size_t)g * 8 * 4], separator, 4);
  ASSERT_TRUE(image_write_png8(path.c_str(), pixels.data(), width, height, 4));
}

struct size_case {
  int width, height;
};

class MenuGl : public ::testing::TestWithParam<size_case> {
 protected:
  void SetUp() override {
    w_ = GetParam().width;
    h_ = GetParam().height;
    window_ = gl_window_open("Menu test", w_, h_, 0, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    game_window = window_;
    gl_load_extensions();
    write_font(std::string(search_root(0)) + "font.png");
    fonts_load();
    menu_keys_name(window_);
    menu_pages_install();
  }
  void TearDown() override {
    fonts_free();
    texture_delete_stale(1);
    gl_window_close(window_);
    game_window = nullptr;
    menu_page = -1;
    game_state.menu_page_changed = 0;
  }
  int begin() {
    for (int i = 0; i < 500; i++) {
      window_pump_messages(window_);
      if (window_frame* f = window_begin_frame(window_)) {
        if (f->width == w_ && f->height == h_) return 1;
        window_end_frame(window_);
      }
      os_sleep_ms(10);
    }
    return 0;
  }
  void draw_page() {
    ASSERT_TRUE(begin());
    set_projection(w_, h_, 90.0);
    menu_screen = {w_, h_, -1, -1};
    glEnable(GL_CULL_FACE);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_menu();
    glFinish();
    window_end_frame(window_);
  }
  int w_ = 0, h_ = 0;
  window_state* window_ = nullptr;
};

TEST_P(MenuGl, MainMenuItemsDownTheColumnTakeAHoverAndAClick) {
  menu_page = page_main;
  menu_selection = 0;
  draw_page();
  const int* const* hits = menu_pages[page_main].hits;
  const double line = h_ / 32.0;
  int count = 0;
  for (; hits[count]; count++) {
    const int* r = hits[count];
    ASSERT_LT(r[0], r[2]) << count;
    ASSERT_LT(r[1], r[3]) << count;
    if (count == 0) EXPECT_NEAR(r[1], 4.5 * line, 1.5);
    else EXPECT_NEAR(r[1] - hits[count - 1][1], 1.375 * line, 1.5) << count;
  }
  ASSERT_EQ(count, 9);
  const int targets[] = {page_new_race, page_playback, page_series,   page_time_trial, page_multiplayer,
                         page_bike_setup, page_graphics, page_controls, page_exit};
  game_state.screen_width = w_;
  game_state.screen_height = h_;
  for (int i = 0; i < count; i++) {
    menu_page = page_main;
    menu_selection = i == 0 ? 1 : 0;  // the hover, not the key, picks the item
    game_state.menu_page_changed = 0;
    game_state.cursor_x = (hits[i][0] + hits[i][2]) / 2;
    game_state.cursor_y = (hits[i][1] + hits[i][3]) / 2;
    menu_hover_select();
    EXPECT_EQ(menu_selection, i);
    menu_key(menu_keys.click);
    EXPECT_EQ(menu_page, targets[i]) << i;
  }
  // A click beside the items acts on nothing.
  menu_page = page_main;
  menu_selection = 0;
  game_state.menu_page_changed = 0;
  game_state.cursor_x = w_ - 2;
  game_state.cursor_y = h_ - 2;
  menu_hover_select();
  menu_key(menu_keys.click);
  EXPECT_EQ(menu_page, page_main);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MenuGl, ::testing::Values(size_case{640, 480}, size_case{1280, 720}),
                         [](const ::testing::TestParamInfo<size_case>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
