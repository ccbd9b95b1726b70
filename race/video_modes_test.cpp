#include "race/video_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/display_mode.h"
#include "race/race_settings.h"

namespace {

std::vector<std::string> names() {
  std::vector<std::string> out;
  EXPECT_EQ(video_mode_count, video_mode_list.count);
  for (int i = 0; i < video_mode_count; i++) out.push_back(video_mode_names[i]);
  return out;
}

TEST(list_video_modes, the_desktops_depth_only) {
  const display_mode modes[] = {{1920, 1080, 32}, {800, 600, 16}, {1280, 1024, 32}, {640, 480, 32}, {0, 0, 0}};
  list_video_modes_from(modes);
  EXPECT_EQ(names(), (std::vector<std::string>{"Default Fullscreen", "Windowed", "1920x1080", "1280x1024", "640x480"}));
  EXPECT_EQ(video_mode_list.size[0][0], 0);
  EXPECT_EQ(video_mode_list.size[1][1], 0);
  EXPECT_EQ(video_mode_list.size[3][0], 1280);
  EXPECT_EQ(video_mode_list.size[3][1], 1024);
  free_video_modes();
  EXPECT_EQ(video_mode_list.count, 0);
  EXPECT_EQ(video_mode_count, 2);
  EXPECT_STREQ(video_mode_names[1], "Windowed");
}

TEST(list_video_modes, more_modes_than_the_setting_holds) {
  std::vector<display_mode> modes;
  for (int i = 0; i < 300; i++) modes.push_back({100 + i, 100, 32});
  modes.push_back({0, 0, 0});
  list_video_modes_from(modes.data());
  ASSERT_EQ(video_mode_count, static_cast<int>(video_mode_max));
  EXPECT_STREQ(video_mode_names[video_mode_max - 1], "353x100");
  EXPECT_EQ(video_mode_list.size[video_mode_max - 1][0], 353);
  free_video_modes();
}

TEST(list_video_modes, other_depths_leave_the_first_mode) {
  const display_mode modes[] = {{1024, 768, 24}, {800, 600, 16}, {640, 480, 32}, {0, 0, 0}};
  list_video_modes_from(modes);
  EXPECT_EQ(names(), (std::vector<std::string>{"Default Fullscreen", "Windowed", "1024x768"}));
  free_video_modes();
}

TEST(list_video_modes, no_modes) {
  const display_mode none[] = {{0, 0, 0}};
  list_video_modes_from(none);
  EXPECT_EQ(names(), (std::vector<std::string>{"Default Fullscreen", "Windowed"}));
  list_video_modes_from(nullptr);
  EXPECT_EQ(names(), (std::vector<std::string>{"Default Fullscreen", "Windowed"}));
  free_video_modes();
}

}  // namespace
