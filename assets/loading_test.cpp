#include "assets/loading.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/game_window.h"
#include "assets/held_controls.h"

namespace {

class LoadingTest : public ::testing::Test {
 protected:
  void SetUp() override { loading = loading_state{}; }
  void TearDown() override { loading = loading_state{}; }
};

TEST_F(LoadingTest, LongestGapNamesTheStepBeforeIt) {
  loading.last_frame = 9.9;
  loading_note_frame("Reading terrain", 10.0);
  loading_note_frame("Building textures", 10.5);  // 0.5 s after "Reading terrain"
  loading_note_frame("Loading lines", 12.5);      // 2 s spent on "Building textures"
  loading_note_frame("Done", 13.0);
  EXPECT_DOUBLE_EQ(loading.longest_gap, 2.0);
  EXPECT_STREQ(loading.slowest, "Building textures");
  EXPECT_STREQ(loading.previous, "Done");

  // Messages are kept to 79 characters.
  const std::string long_message(200, 'x');
  loading_note_frame(long_message.c_str(), 20.0);
  EXPECT_EQ(std::string(loading.previous), std::string(79, 'x'));
}

TEST_F(LoadingTest, ResettingTheGapForgetsTheTimeBeforeTheLoad) {
  loading_note_frame("Last step of the previous load", 1.0);
  loading_reset_gap();
  EXPECT_EQ(loading.longest_gap, 0.0);
  EXPECT_STREQ(loading.slowest, "");
  // The first frame of the new load measures from the reset, not from the
  // previous load's last frame.
  loading_note_frame("Resetting...", loading_now() + 0.01);
  EXPECT_LT(loading.longest_gap, 1.0);
}

TEST_F(LoadingTest, ProgressIsRateLimitedAndCyclesItsSuffix) {
  std::vector<std::string> shown;
  char text[loading_message_bytes];
  double t = 100.0;
  for (int i = 0; i < 5; i++) {
    ASSERT_TRUE(loading_progress_text("Scanning tracks", t, text));
    shown.push_back(text);
    // A call 0.1 s later shows nothing and does not move the spinner.
    const int spinner = loading.spinner;
    EXPECT_FALSE(loading_progress_text("Scanning tracks", t + 0.1, text));
    EXPECT_EQ(loading.spinner, spinner);
    t += 0.2;
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Scanning tracks", "Scanning tracks.", "Scanning tracks..",
                                             "Scanning tracks...", "Scanning tracks"}));
  // The message is cut to 64 characters before the suffix.
  const std::string long_message(100, 'y');
  ASSERT_TRUE(loading_progress_text(long_message.c_str(), t, text));
  EXPECT_EQ(std::string(text), std::string(64, 'y') + ".");
}

TEST_F(LoadingTest, RefreshCountsEveryCallAndDrawsAtMostSixteenTimesASecond) {
  EXPECT_TRUE(loading_refresh_due(50.0));
  EXPECT_FALSE(loading_refresh_due(50.03));
  EXPECT_TRUE(loading_refresh_due(50.0625));
  EXPECT_EQ(loading.refresh_count, 3u);
}

TEST_F(LoadingTest, PictureCoversTheViewAtTwoToOne) {
  struct row {
    float xe, ye;
    float rect[4];
  };
  // 16:9: full height, cropped at the sides; 21:9: full width, cropped above
  // and below.
  const row rows[] = {
      {16.0f / 9.0f * 0.75f, 0.75f, {-1.5f, 0.75f, 1.5f, -0.75f}},
      {21.0f / 9.0f * 0.75f, 0.75f, {-1.75f, 0.875f, 1.75f, -0.875f}},
  };
  for (const row& r : rows) {
    float rect[4];
    loading_picture_rect(r.xe, r.ye, rect);
    for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(rect[i], r.rect[i]) << r.xe << " " << i;
  }
}

TEST_F(LoadingTest, WithoutAFrameNothingIsRecordedButControlsAreReleased) {
  menu_binding some_bindings[1] = {};
  const menu_binding* some_binding = some_bindings;
  control_map_entry map[3] = {{some_binding, 0, 1, 0.5f}, {some_binding, 3, -1, -1.0f}, {nullptr, 0, 0, 7.0f}};
  control_map = map;
  held_key_flag = 1;
  game_window = nullptr;
  loading_show("Loading track");
  EXPECT_EQ(map[0].value, 0.0f);
  EXPECT_EQ(map[1].value, 0.0f);
  EXPECT_EQ(map[2].value, 7.0f);  // past the end of the table
  EXPECT_EQ(held_key_flag, 0);
  EXPECT_EQ(loading.last_frame, 0.0);
  EXPECT_STREQ(loading.previous, "");
  control_map = nullptr;
}

}  // namespace
