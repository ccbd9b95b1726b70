#include "platform/display_mode.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(DisplayMode, PickTable) {
  const display_mode modes[] = {{1280, 1024, 32}, {1024, 768, 32}, {800, 600, 32}, {800, 600, 16},
                                {1024, 600, 32},  {640, 480, 32},  {0, 0, 0}};
  const display_mode desktop{1920, 1080, 32};
  struct row {
    int width, height;
    display_mode want;
  } rows[] = {
      {800, 600, {800, 600, 32}},      // exact; the 16-bit twin comes later
      {801, 600, {1024, 600, 32}},     // least extra width + height
      {1000, 700, {1024, 768, 32}},
      {1024, 600, {1024, 600, 32}},
      {640, 480, {640, 480, 32}},
      {1, 1, {640, 480, 32}},
      {1281, 1024, {1920, 1080, 32}},  // larger than every mode: the desktop
      {1280, 1025, {1920, 1080, 32}},
  };
  for (const row& r : rows) {
    const display_mode got = display_mode_pick(modes, r.width, r.height, desktop);
    EXPECT_EQ(got.width, r.want.width) << r.width << "x" << r.height;
    EXPECT_EQ(got.height, r.want.height) << r.width << "x" << r.height;
    EXPECT_EQ(got.bits, r.want.bits) << r.width << "x" << r.height;
  }
}

TEST(DisplayMode, TieKeepsTheEarlierMode) {
  const display_mode modes[] = {{900, 600, 32}, {800, 700, 32}, {0, 0, 0}};
  const display_mode got = display_mode_pick(modes, 800, 600, display_mode{1024, 768, 32});
  EXPECT_EQ(got.width, 900);
}

TEST(DisplayMode, NoListGivesTheDesktop) {
  const display_mode got = display_mode_pick(nullptr, 800, 600, display_mode{1024, 768, 24});
  EXPECT_EQ(got.width, 1024);
  EXPECT_EQ(got.bits, 24);
}

// A screen that takes only the sizes it lists, and remembers what it was
// asked.
struct fake_screen {
  std::vector<std::pair<int, int>> takes;
  std::vector<std::pair<int, int>> asked;
};

int fake_set_mode(void* context, int width, int height) {
  fake_screen* screen = static_cast<fake_screen*>(context);
  screen->asked.push_back({width, height});
  for (const auto& t : screen->takes)
    if (t.first == width && t.second == height) return 1;
  return 0;
}

TEST(DisplayMode, SwitchFallsBackToTheDesktopAndNeverClaimsAFailedSwitch) {
  const display_mode desktop{1920, 1080, 32};
  const display_mode pick{800, 600, 32};
  struct row {
    std::vector<std::pair<int, int>> takes;
    int result;
    int chosen_width;
    size_t tries;
  } rows[] = {
      {{{800, 600}, {1920, 1080}}, 1, 800, 1},  // the pick works
      {{{1920, 1080}}, 1, 1920, 2},             // the desktop mode instead
      {{}, 0, 1920, 2},                         // nothing works: failure
  };
  for (const row& r : rows) {
    fake_screen screen{r.takes, {}};
    display_mode chosen{};
    EXPECT_EQ(display_mode_switch(pick, desktop, fake_set_mode, &screen, &chosen), r.result);
    EXPECT_EQ(chosen.width, r.chosen_width);
    EXPECT_EQ(screen.asked.size(), r.tries);
  }
  fake_screen none{{}, {}};
  display_mode chosen{};
  EXPECT_EQ(display_mode_switch(desktop, desktop, fake_set_mode, &none, &chosen), 0);
  EXPECT_EQ(none.asked.size(), 1u);  // the desktop mode is not tried twice
}

}  // namespace
