// The main menu on a real GL window, at 4:3 and at 16:9: its rectangles
// are stored in hit-list order down the column, and a hover then a click
// at each one's centre opens that item's page.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "core/file.h"
#include "core/game_clock.h"
#include "platform/os/os.h"
#include "platform/window.h"
#include "race/game_state.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "race/race_state.h"
#include "terrain/height_field.h"
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
  // With `over_depth`, the page is drawn the way the frame loop leaves it:
  // depth testing on after the info board, against a depth buffer that
  // holds something nearer than the page everywhere.
  void draw_page(bool over_depth = false) {
    ASSERT_TRUE(begin());
    set_projection(w_, h_, 90.0);
    menu_screen = {w_, h_, -1, -1};
    glEnable(GL_CULL_FACE);
    glClearDepth(over_depth ? 0.0 : 1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (over_depth) glEnable(GL_DEPTH_TEST);
    draw_menu();
    depth_test_after_ = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glClearDepth(1.0);
    glFinish();
    pixels_.assign((size_t)w_ * h_ * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w_, h_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    window_end_frame(window_);
  }
  // The pixel at window coordinates (x, y), y counted down from the top
  // like the stored rectangles.
  const uint8_t* pixel(int x, int y) const { return &pixels_[((size_t)(h_ - 1 - y) * w_ + x) * 4]; }
  // Pixels in the band of rows y0..y1 that differ from the backdrop, taken
  // at the band's left edge.
  int marked_in_band(int x0, int x1, int y0, int y1) const {
    const uint8_t* ground = pixel(0, (y0 + y1) / 2);
    int n = 0;
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) n += std::memcmp(pixel(x, y), ground, 3) != 0;
    return n;
  }
  int red_pixels() const {
    int n = 0;
    for (size_t i = 0; i + 3 < pixels_.size(); i += 4)
      n += pixels_[i] > 200 && pixels_[i + 1] < 60 && pixels_[i + 2] < 60;
    return n;
  }
  // Hovers over a spot no item covers first, so the next hover sees the
  // mouse move even onto the place it was last.
  void point_at(const int* r) {
    game_state.screen_width = w_;
    game_state.screen_height = h_;
    const int kept = menu_selection;
    game_state.cursor_x = 0;
    game_state.cursor_y = 0;
    menu_hover_select();
    EXPECT_EQ(menu_selection, kept);
    game_state.cursor_x = (r[0] + r[2]) / 2;
    game_state.cursor_y = (r[1] + r[3]) / 2;
  }
  int w_ = 0, h_ = 0;
  GLboolean depth_test_after_ = GL_FALSE;
  std::vector<uint8_t> pixels_;
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

// The page covers the screen in translucent grey and shows its items even
// where the depth buffer holds nearer things, and leaves the caller's
// switches as they were.
TEST_P(MenuGl, PageGreysTheScreenAndShowsOverTheDepthBuffer) {
  const double clock = game_clock;
  game_clock = 20;  // the disclaimer has faded
  menu_page = page_main;
  menu_selection = 0;
  draw_page(true);
  EXPECT_TRUE(depth_test_after_);
  // Right of the column and above the version string: backdrop alone, a
  // half-opaque 0.2 grey over black.
  const int spots[][2] = {{w_ - 3, 3}, {w_ * 3 / 4, h_ / 2}, {3, h_ - 3}};
  for (const auto& at : spots) {
    const uint8_t* p = pixel(at[0], at[1]);
    for (int c = 0; c < 3; c++) EXPECT_NEAR(p[c], 26, 8) << at[0] << "," << at[1] << " channel " << c;
  }
  const int* first = menu_pages[page_main].hits[0];
  EXPECT_GT(marked_in_band(first[0] + 2, first[2] - 2, first[1] + 2, first[3] - 2), 20);
  game_clock = clock;
}

const char* const few_options[] = {"alpha", "beta", "gamma"};

TEST_P(MenuGl, ChooserStacksItsItemsInHitOrderAndHidesEmptyRows) {
  int picked = -1;
  menu_option_list list = {"Pick", few_options, 3, &picked, {0, 0, 0, 0}};
  chooser_open(&list, "Pick", list_row_item, page_new_race);
  draw_page();
  const int* const* hits = menu_pages[page_chooser].hits;
  const double line = h_ / 32.0;
  int count = 0;
  while (hits[count]) count++;
  ASSERT_EQ(count, 23);
  // Cancel 2 lines under the title, Prev Page an item step lower, rows a
  // gap-and-a-line apart, Next Page an item step under the last row slot
  // whether that row shows or not.
  EXPECT_NEAR(hits[1][1] - hits[0][1], 1.375 * line, 1.5);
  EXPECT_NEAR(hits[2][1] - hits[1][1], 1.25 * line, 1.5);
  for (int i = 3; i <= 4; i++) EXPECT_NEAR(hits[i][1] - hits[i - 1][1], 1.25 * line, 1.5) << i;
  EXPECT_NEAR(hits[22][1] - hits[4][1], (17 * 1.25 + 1.375) * line, 2.0);
  for (int i : {0, 1, 2, 3, 4, 22}) {
    EXPECT_LT(hits[i][0], hits[i][2]) << i;
    EXPECT_LT(hits[i][1], hits[i][3]) << i;
  }
  for (int i = 5; i < 22; i++) {
    const int hidden[4] = {-1, -1, -1, -1};
    EXPECT_EQ(std::memcmp(hits[i], hidden, sizeof hidden), 0) << i;
  }

  // Nothing is drawn where an empty row would sit; a shown row is drawn.
  const int row_h = hits[2][3] - hits[2][1];
  const int step = hits[3][1] - hits[2][1];
  const int right = std::min(hits[2][2], w_ - 1);
  EXPECT_GT(marked_in_band(hits[2][0], right, hits[2][1] + 1, hits[2][3] - 1), 0);
  for (int k : {3, 10, 19}) {
    const int y0 = hits[2][1] + (int)std::lround(k * 1.25 * line);
    EXPECT_EQ(marked_in_band(hits[2][0], right, y0 + 1, y0 + row_h - 1), 0) << "row " << k;
  }

  // A hover on an empty row's place picks nothing.
  menu_selection = 0;
  game_state.menu_page_changed = 0;
  point_at(hits[2]);
  game_state.cursor_y += 8 * step;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 0);

  // A hover then a click at each shown item's centre acts on that item.
  struct expect {
    int item, page, picked;
  };
  const expect cases[] = {{0, page_new_race, -1}, {1, page_chooser, -1}, {2, page_new_race, 0},
                          {3, page_new_race, 1},  {4, page_new_race, 2}, {22, page_chooser, -1}};
  for (const expect& c : cases) {
    picked = -1;
    chooser_open(&list, "Pick", list_row_item, page_new_race);
    draw_page();
    menu_selection = c.item == 0 ? 1 : 0;
    game_state.menu_page_changed = 0;
    point_at(hits[c.item]);
    menu_hover_select();
    EXPECT_EQ(menu_selection, c.item);
    menu_key(menu_keys.click);
    EXPECT_EQ(menu_page, c.page) << c.item;
    EXPECT_EQ(picked, c.picked) << c.item;
    EXPECT_EQ(chooser_page_index, 0) << c.item;
  }
  chooser_list = nullptr;
}

TEST_P(MenuGl, ExitWarningBlinksRedOnlyWithAnUnsavedTrackInTheEditor) {
  const int editor = game_state.editor_enabled;
  const int32_t flags = track_field.change_flags;
  const double clock = game_clock;
  struct blink {
    int editor, flags;
    double t;
    int red;
  };
  const blink cases[] = {{1, 2, 0.3, 1}, {1, 2, 0.1, 0}, {1, 2, 0.8, 1}, {1, 7, 0.3, 1},
                         {1, 5, 0.3, 0}, {0, 2, 0.3, 0}};
  for (const blink& c : cases) {
    game_state.editor_enabled = c.editor;
    track_field.change_flags = c.flags;
    game_clock = c.t;
    menu_page = page_exit;
    draw_page();
    if (c.red)
      EXPECT_GT(red_pixels(), 100) << c.editor << " " << c.flags << " " << c.t;
    else
      EXPECT_EQ(red_pixels(), 0) << c.editor << " " << c.flags << " " << c.t;
    // The page itself is drawn either way: its white lines.
    int white = 0;
    for (size_t i = 0; i + 3 < pixels_.size(); i += 4)
      white += pixels_[i] > 200 && pixels_[i + 1] > 200 && pixels_[i + 2] > 200;
    EXPECT_GT(white, 100);
  }
  game_state.editor_enabled = editor;
  track_field.change_flags = flags;
  game_clock = clock;
}

// Every race set-up page: the item drawn selected for selection i lights up
// inside hits[i], so each rectangle sits in its item's slot of the hit list,
// and a hover at that rectangle's centre selects i.
TEST_P(MenuGl, SetupPagesStoreRectanglesInHitListOrder) {
  // With no demos, the playback page shows its four fixed items.
  const int shown_items[][2] = {{page_new_race, 7 + 40}, {page_time_trial, 5}, {page_playback, 4}};
  for (const auto& p : shown_items) {
    const int page = p[0];
    menu_page = page;
    menu_selection = -1;  // nothing drawn selected
    draw_page();
    const std::vector<uint8_t> plain = pixels_;
    const int* const* hits = menu_pages[page].hits;
    int shown = 0;
    for (int i = 0; hits[i]; i++) {
      if (hits[i][0] < 0) continue;
      shown++;
      ASSERT_LT(hits[i][0], hits[i][2]) << page << " " << i;
      ASSERT_LT(hits[i][1], hits[i][3]) << page << " " << i;
      // The widest rows run a few pixels past a 4:3 screen's edge and the
      // playback page's Next Page past its foot: the centre must show.
      EXPECT_GE(hits[i][0], 0);
      EXPECT_LT((hits[i][0] + hits[i][2]) / 2, w_) << page << " " << i;
      EXPECT_LT((hits[i][1] + hits[i][3]) / 2, h_) << page << " " << i;
      menu_selection = i;
      draw_page();
      int lit = 0;
      for (int y = std::max(hits[i][1], 0); y < std::min(hits[i][3], h_); y++)
        for (int x = std::max(hits[i][0], 0); x < std::min(hits[i][2], w_); x++) {
          const size_t at = ((size_t)(h_ - 1 - y) * w_ + x) * 4;
          lit += std::memcmp(&pixels_[at], &plain[at], 3) != 0;
        }
      EXPECT_GT(lit, 0) << "page " << page << " item " << i;
      menu_selection = i == 0 ? 1 : 0;
      point_at(hits[i]);
      menu_hover_select();
      EXPECT_EQ(menu_selection, i) << page;
    }
    EXPECT_EQ(shown, p[1]) << page;
    // Back to Main Menu answers a click.
    menu_selection = 1;
    game_state.menu_page_changed = 0;
    point_at(hits[0]);
    menu_hover_select();
    menu_key(menu_keys.click);
    EXPECT_EQ(menu_page, page_main) << page;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MenuGl, ::testing::Values(size_case{640, 480}, size_case{1280, 720}),
                         [](const ::testing::TestParamInfo<size_case>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
