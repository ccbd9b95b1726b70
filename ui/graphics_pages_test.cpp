#include "ui/graphics_pages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/model_settings.h"
#include "assets/texture_settings.h"
#include "bike/wheel_contacts.h"
#include "platform/display_mode.h"
#include "platform/window.h"
#include "race/detail_settings.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/video_modes.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"
#include "ui/game_settings.h"
#include "ui/menu.h"

namespace {

struct mode_request {
  int width, height, flags;
};
std::vector<mode_request> requests;
int record_request(window_state*, int w, int h, int flags) {
  requests.push_back({w, h, flags});
  return 1;
}

class GraphicsPages : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = front_end_values;
    saved_lens_ = lens_flare;
    saved_mode_ = video_mode;
    menu_keys_name(nullptr);
    menu_pages_install();
    graphics_request_mode = record_request;
    requests.clear();
    apply_detail_preset(preset_compatibility);
  }
  void TearDown() override {
    front_end_values = saved_;
    lens_flare = saved_lens_;
    video_mode = saved_mode_;
    graphics_request_mode = window_request_mode;
    free_video_modes();
    option_list_set_options(&game_settings.video_mode, video_mode_names, video_mode_count);
    menu_page = -1;
  }
  // A pressed key on an item of a page, as the frame loop hands it on.
  static void key_on(int page, int item, int code) {
    menu_page = page;
    menu_selection = item;
    game_state.menu_page_changed = 0;
    menu_key(code);
  }
  front_end_settings saved_;
  int saved_lens_, saved_mode_;
};

TEST_F(GraphicsPages, EachPresetButtonNamesAndAppliesItsPreset) {
  EXPECT_STREQ(current_settings_text(), "Current Settings: Compatibility");
  for (int k = detail_preset_count - 1; k >= 0; k--) {
    SCOPED_TRACE(k);
    EXPECT_NE(std::strstr(graphics_preset_buttons[k].label, detail_preset_names[k]), nullptr);
    key_on(page_graphics, 2 + k, menu_keys.enter);
    EXPECT_EQ(menu_page, page_graphics);
    EXPECT_EQ(current_settings_text(), std::string("Current Settings: ") + detail_preset_names[k]);
  }
}

TEST_F(GraphicsPages, ChangingOneSettingReadsCustomUntilItIsBack) {
  key_on(page_graphics, 4, menu_keys.enter);  // "Use Normal Settings"
  ASSERT_STREQ(current_settings_text(), "Current Settings: Normal");
  key_on(page_advanced_graphics, 11, menu_keys.right);  // Reshade Delay 8 -> 9
  EXPECT_EQ(front_end_values.reshade_delay, 9);
  EXPECT_STREQ(current_settings_text(), "Current Settings: Custom");
  key_on(page_advanced_graphics, 11, menu_keys.left);
  EXPECT_STREQ(current_settings_text(), "Current Settings: Normal");
  // A list item counts by its option index.
  key_on(page_advanced_graphics, 3, menu_keys.right);  // 128x128 -> 256x256
  EXPECT_STREQ(current_settings_text(), "Current Settings: Custom");
}

TEST_F(GraphicsPages, HighFpsDerivesItsDetailValues) {
  apply_detail_preset(preset_high_fps);
  derive_graphics_settings();
  // Computed from the preset's column: detail 50, levels 7, 64x64, model
  // detail 25, model texture detail 7, compression "Yes".
  EXPECT_FLOAT_EQ(lod_error_scale, 0.125f / 50);
  EXPECT_EQ(ground_texture_level0, 10 - 7);
  EXPECT_EQ(texture_reduction, 10 - 7);
  EXPECT_EQ(ground_texture_dim, 64);
  const float s = 0.02f * (100 - 25);
  EXPECT_FLOAT_EQ(model_lod_scale, s * s * s);  // 3.375
  EXPECT_FLOAT_EQ(model_lod_offset, 50 - 50 * (25 - 10) * 0.05f);  // 12.5
  EXPECT_EQ(texture_compress, 1);
  EXPECT_EQ(roost_density, 0);
  EXPECT_EQ(model_reflections, 0);
  char line[512];
  detail_settings_line(line, sizeof line);
  EXPECT_STREQ(line,
               "Detail settings: terrain 0.002500, ground skip 3, ground size 64, model LOD 3.375000 12.500000, "
               "texture skip 3, compress 1, roost 0, reflections 0");
}

TEST_F(GraphicsPages, OnlyItemsTenAndThirteenMoveTheRunTimeCopies) {
  roost_density = 1000;
  model_reflections = 1;
  key_on(page_graphics, 3, menu_keys.enter);  // High FPS: roost 0, reflections No
  EXPECT_EQ(front_end_values.roost_density, 0);
  EXPECT_EQ(roost_density, 1000);
  EXPECT_EQ(model_reflections, 1);
  key_on(page_advanced_graphics, 9, menu_keys.right);  // another slider
  EXPECT_EQ(roost_density, 1000);
  key_on(page_advanced_graphics, 10, menu_keys.right);
  EXPECT_EQ(front_end_values.roost_density, 10);
  EXPECT_EQ(roost_density, 10);
  key_on(page_advanced_graphics, 13, menu_keys.right);
  EXPECT_EQ(model_reflections, 1);  // "No" -> "Yes"
  key_on(page_advanced_graphics, 13, menu_keys.left);
  EXPECT_EQ(model_reflections, 0);
}

TEST_F(GraphicsPages, AvailabilityTags) {
  struct tag_case {
    int fbo, fragment, units, choice;
    int render_ok, shaders_ok;
  } cases[] = {
      {0, 0, 0, 2, 0, 0},  // Hardware/Direct needs framebuffer objects
      {1, 0, 0, 2, 1, 0},  {0, 1, 4, 0, 1, 1}, {0, 1, 3, 4, 1, 0},  // more than 3 units
      {0, 0, 8, 3, 1, 0},  {1, 1, 8, 2, 1, 1},
  };
  for (const tag_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fbo << c.fragment << c.units << c.choice);
    gl_capabilities caps = {};
    caps.framebuffer_object = c.fbo;
    caps.fragment_shader = c.fragment;
    caps.texture_units = c.units;
    EXPECT_EQ(render_method_available(c.choice, caps), c.render_ok);
    EXPECT_EQ(shader_programs_available(caps), c.shaders_ok);
  }
}

TEST_F(GraphicsPages, SwitchAsksForTheChosenMode) {
  const display_mode modes[] = {{1024, 768, 32}, {800, 600, 32}, {0, 0, 0}};
  list_video_modes_from(modes);
  option_list_set_options(&game_settings.video_mode, video_mode_names, video_mode_count);
  const int saved_x = xres, saved_y = yres;
  xres = 640;
  yres = 480;
  int mode_800 = -1;
  for (int i = 0; i < video_mode_count; i++)
    if (std::strcmp(video_mode_names[i], "800x600") == 0) mode_800 = i;
  ASSERT_GE(mode_800, 2);
  struct switch_case {
    int mode;
    mode_request want;
  } cases[] = {{video_mode_windowed, {640, 480, 0}},
               {mode_800, {800, 600, window_open_fullscreen}},
               {video_mode_default_fullscreen, {0, 0, window_open_fullscreen}}};
  for (const switch_case& c : cases) {
    SCOPED_TRACE(c.mode);
    requests.clear();
    video_mode = c.mode;
    key_on(page_graphics, 7, menu_keys.enter);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].width, c.want.width);
    EXPECT_EQ(requests[0].height, c.want.height);
    EXPECT_EQ(requests[0].flags, c.want.flags);
    EXPECT_EQ(game_state.window_video_mode, c.mode);
  }
  xres = saved_x;
  yres = saved_y;
}

TEST_F(GraphicsPages, PagesLinkBothWays) {
  key_on(page_graphics, 1, menu_keys.enter);
  EXPECT_EQ(menu_page, page_advanced_graphics);
  key_on(page_advanced_graphics, 0, menu_keys.enter);
  EXPECT_EQ(menu_page, page_graphics);
  key_on(page_graphics, 0, menu_keys.enter);
  EXPECT_EQ(menu_page, page_main);
  key_on(page_graphics, 0, menu_keys.down);
  key_on(page_graphics, 30, menu_keys.down);
  EXPECT_EQ(menu_selection, 17);
  key_on(page_advanced_graphics, 30, menu_keys.down);
  EXPECT_EQ(menu_selection, 13);
}

}  // namespace
