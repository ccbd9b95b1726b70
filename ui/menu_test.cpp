#include "ui/menu.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/message_ring.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/demo_playback.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/menu_screen.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/startup_lists.h"
#include "ui/console.h"
#include "ui/game_settings.h"
#include "ui/race_setup_pages.h"

namespace {

// What the pages handed to the reset.
struct reset_call {
  bool has_line_up;
  std::vector<int> line_up;
  int play_demo, record, length, laps, skill;
  std::string pending;
};
std::vector<reset_call> resets;

int reset_double(const int* line_up, int play_demo, int record, int length, int laps, int skill) {
  reset_call c{line_up != nullptr, {}, play_demo, record, length, laps, skill, demo_playback_choice};
  if (line_up) c.line_up.assign(line_up, line_up + line_up_slots);
  resets.push_back(c);
  return 1;
}

int leaves;
void leave_double() { leaves++; }

const char* const option_names[45] = {
    "o0",  "o1",  "o2",  "o3",  "o4",  "o5",  "o6",  "o7",  "o8",  "o9",  "o10", "o11", "o12", "o13", "o14",
    "o15", "o16", "o17", "o18", "o19", "o20", "o21", "o22", "o23", "o24", "o25", "o26", "o27", "o28", "o29",
    "o30", "o31", "o32", "o33", "o34", "o35", "o36", "o37", "o38", "o39", "o40", "o41", "o42", "o43", "o44"};

void frame_key(int code, int value) { menu_key(code); (void)value; }

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    menu_pages_install();
    race_hooks = {};
    race_hooks.menu_key = frame_key;
    race_hooks.net_leave_server = leave_double;
    menu_reset_session = reset_double;
    resets.clear();
    binding_capture = nullptr;
    leaves = 0;
    game_state.quit_requested = 0;
    game_state.rotate_lineup = 0;
    game_state.track_dir = "quarrybend";
    std::memcpy(saved_gates_, line_up_choice, sizeof saved_gates_);
    saved_record_ = record_demos;
    saved_minutes_ = race_minutes;
    saved_laps_ = race_laps_choice;
    saved_mode_ = playback_mode;
    option_list_set_options(&game_settings.track, option_names, 3);
    new_frame();
    menu_page = 0;
    menu_selection = 0;
    new_frame();
  }
  void TearDown() override {
    std::memcpy(line_up_choice, saved_gates_, sizeof saved_gates_);
    record_demos = saved_record_;
    race_minutes = saved_minutes_;
    race_laps_choice = saved_laps_;
    playback_mode = saved_mode_;
    option_list_set_options(&game_settings.track, nullptr, 0);
    demo_list = {};
    game_state.track_dir = nullptr;
    menu_page = -1;
    race_hooks = {};
  }
  // What the frame loop does as a frame begins.
  static void new_frame() {
    frame_loop.menu_page_seen = menu_page;
    game_state.menu_page_changed = 0;
  }
  // A key as the frame loop delivers it: press only.
  static void press(int code) { frame_handle_event(code, 1); }
  static void key_in_new_frame(int code) {
    new_frame();
    press(code);
  }
  // Selects item `index` of the page with "down" presses, a frame each.
  static void select(int index) {
    while (menu_selection < index) key_in_new_frame(menu_keys.down);
  }

  int saved_gates_[line_up_gates];
  int saved_record_;
  double saved_minutes_, saved_laps_;
  int saved_mode_;
};

TEST_F(MenuTest, SelectionClampsAtBothEndsOfEveryPage) {
  struct page_case {
    int page, last;
  } cases[] = {{page_main, 8}, {page_new_race, 46}, {page_time_trial, 4}, {page_playback, 2}};
  for (const page_case& c : cases) {
    SCOPED_TRACE(c.page);
    menu_page = c.page;
    menu_selection = 0;
    key_in_new_frame(menu_keys.up);
    EXPECT_EQ(menu_selection, 0);
    for (int i = 0; i < 60; i++) key_in_new_frame(menu_keys.down);
    // With no demos the Playback page's rows are skipped down to
    // "Next Page".
    EXPECT_EQ(menu_selection, c.page == page_playback ? 23 : c.last);
  }
}

TEST_F(MenuTest, PageChangeResetsSelectionAndIgnoresTheRestOfTheFrame) {
  select(3);  // "Time Trial"
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(menu_page, page_time_trial);
  EXPECT_EQ(menu_selection, 0);
  press(menu_keys.down);  // same frame
  EXPECT_EQ(menu_selection, 0);
  key_in_new_frame(menu_keys.down);
  EXPECT_EQ(menu_selection, 1);
  // "Back to Main Menu".
  key_in_new_frame(menu_keys.up);
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(menu_page, page_main);
}

TEST_F(MenuTest, QuitThenAKeyQuitsOnlyInTheNextFrame) {
  select(8);
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(menu_page, page_exit);
  press('a');
  EXPECT_EQ(game_state.quit_requested, 0);
  key_in_new_frame('a');
  EXPECT_EQ(game_state.quit_requested, 1);
}

TEST_F(MenuTest, UnknownPagesDrawNothingAndTakeNoKeys) {
  for (int page : {-1, 14, 15, 17, 19, 1000}) {
    menu_page = page;
    menu_selection = 3;
    key_in_new_frame(menu_keys.down);
    draw_menu();
    EXPECT_EQ(menu_selection, 3) << page;
  }
}

// Opens the chooser on `count` options from New Race's Track item.
void open_chooser(int count) {
  option_list_set_options(&game_settings.track, option_names, count);
  menu_page = page_new_race;
  menu_selection = 2;
  frame_loop.menu_page_seen = menu_page;
  game_state.menu_page_changed = 0;
  frame_handle_event(menu_keys.enter, 1);
}

TEST_F(MenuTest, ChooserWithNoOptionsHidesRowsAndStaysOnPageZero) {
  open_chooser(0);
  ASSERT_EQ(menu_page, page_chooser);
  EXPECT_EQ(chooser_return_page, page_new_race);
  for (const menu_button& row : chooser_rows) EXPECT_EQ(row.label, nullptr);
  key_in_new_frame(menu_keys.down);
  EXPECT_EQ(menu_selection, 1);
  key_in_new_frame(menu_keys.down);
  EXPECT_EQ(menu_selection, 22);  // past the empty rows
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(chooser_page_index, 0);
  key_in_new_frame(menu_keys.up);
  EXPECT_EQ(menu_selection, 1);
}

TEST_F(MenuTest, ChooserPagesFortyFiveOptionsAndPicksTwentyPPlusI) {
  open_chooser(45);
  select(22);
  EXPECT_EQ(menu_selection, 22);
  key_in_new_frame(menu_keys.enter);
  key_in_new_frame(menu_keys.enter);
  key_in_new_frame(menu_keys.enter);  // clamped at the last page
  EXPECT_EQ(chooser_page_index, 2);
  EXPECT_STREQ(chooser_rows[4].label, "o44");
  EXPECT_EQ(chooser_rows[5].label, nullptr);
  // From the fifth row down reaches "Next Page", and up comes back.
  menu_selection = 6;
  key_in_new_frame(menu_keys.down);
  EXPECT_EQ(menu_selection, 22);
  key_in_new_frame(menu_keys.up);
  EXPECT_EQ(menu_selection, 6);
  // A row picks 20p + i and returns to the page that opened it.
  menu_selection = 1;
  key_in_new_frame(menu_keys.enter);  // back to page 1
  EXPECT_EQ(chooser_page_index, 1);
  menu_selection = 2 + 3;
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(menu_page, page_new_race);
  EXPECT_EQ(menu_selection, 0);
  EXPECT_EQ(*game_settings.track.selected, 23);
  // Cancel changes nothing.
  open_chooser(45);
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(menu_page, page_new_race);
  EXPECT_EQ(*game_settings.track.selected, 23);
}

TEST_F(MenuTest, RowsPastTheOptionsNeverAct) {
  open_chooser(3);
  list_row_item(3);
  list_row_item(-1);
  list_row_item(INT_MAX);
  EXPECT_LT(*game_settings.track.selected, 3);
  EXPECT_GE(*game_settings.track.selected, 0);
  const int before = *game_settings.track.selected;
  menu_selection = 2 + 5;  // hidden row, reached directly
  key_in_new_frame(' ');
  EXPECT_EQ(menu_page, page_chooser);
  EXPECT_EQ(*game_settings.track.selected, before);
}

TEST_F(MenuTest, SpaceOnTrackDoesNotOpenTheChooser) {
  menu_page = page_new_race;
  menu_selection = 2;
  key_in_new_frame(' ');
  EXPECT_EQ(menu_page, page_new_race);
  menu_page = page_time_trial;
  key_in_new_frame(menu_keys.click);  // any click opens it
  EXPECT_EQ(menu_page, page_chooser);
  EXPECT_EQ(chooser_return_page, page_time_trial);
}

TEST_F(MenuTest, HoverSelectsOnlyVisibleItemsWhenTheMouseMoves) {
  // Rectangles as a drawer stores them: main menu items 10 px apart.
  menu_page = page_main;
  const int* const* hits = menu_pages[page_main].hits;
  for (int i = 0; hits[i]; i++) {
    int* r = const_cast<int*>(hits[i]);
    r[0] = 100, r[1] = 10 * i, r[2] = 200, r[3] = 10 * i + 9;
  }
  game_state.screen_width = 640, game_state.screen_height = 480;
  game_state.cursor_x = 150, game_state.cursor_y = 34;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 3);
  // An unchanged mouse leaves a key's choice.
  menu_selection = 5;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 5);
  // While a binding is captured nothing moves.
  binding_capture = &control_bindings[0];
  game_state.cursor_y = 74;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 5);
  binding_capture = nullptr;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 7);
  // Hidden rectangles never match.
  widget_hide(const_cast<int*>(hits[2]));
  game_state.cursor_y = 24;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 7);
  for (int i = 0; hits[i]; i++) std::memset(const_cast<int*>(hits[i]), 0, 4 * sizeof(int));
}

TEST_F(MenuTest, HoverOnTheConsoleSelectsItsInputLine) {
  menu_page = page_console;
  int* r = console.input.rect;
  r[0] = 20, r[1] = 400, r[2] = 600, r[3] = 420;
  game_state.screen_width = 640, game_state.screen_height = 480;
  menu_selection = 3;
  game_state.cursor_x = 300, game_state.cursor_y = 100;  // over the lines
  menu_hover_select();
  EXPECT_EQ(menu_selection, 3);
  game_state.cursor_y = 410;
  menu_hover_select();
  EXPECT_EQ(menu_selection, 0);
  std::memset(r, 0, 4 * sizeof(int));
}

TEST_F(MenuTest, DisclaimerFadesOverTheTenthSecond) {
  EXPECT_FLOAT_EQ(disclaimer_alpha(0), 1.0f);
  EXPECT_FLOAT_EQ(disclaimer_alpha(9), 1.0f);
  EXPECT_FLOAT_EQ(disclaimer_alpha(9.5), 0.5f);
  EXPECT_FLOAT_EQ(disclaimer_alpha(10), 0.0f);
  EXPECT_FLOAT_EQ(disclaimer_alpha(100), 0.0f);
}

TEST_F(MenuTest, NewRaceDefaultsAndRaceLength) {
  menu_page = page_new_race;
  menu_selection = 1;
  key_in_new_frame(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(menu_page, -1);
  EXPECT_EQ(leaves, 1);
  const reset_call& c = resets[0];
  ASSERT_TRUE(c.has_line_up);
  for (int i = 0; i < line_up_slots; i++) {
    const int want = i == 19 ? 1 : (i == 17 || i == 18 || (i >= 20 && i <= 22)) ? 2 : 0;
    EXPECT_EQ(c.line_up[i], want) << i;
  }
  EXPECT_EQ(c.play_demo, 0);
  EXPECT_EQ(c.length, 0);
  EXPECT_EQ(c.laps, 5);

  struct length_case {
    double minutes, laps;
    int ticks, laps_passed;
  } cases[] = {{0, 5, 0, 5}, {2, 5, 15360, 5}, {1.9, 2.7, 14592, 2}};
  for (const length_case& l : cases) {
    race_minutes = l.minutes;
    race_laps_choice = l.laps;
    menu_page = page_new_race;
    menu_selection = 1;
    key_in_new_frame(menu_keys.enter);
    EXPECT_EQ(resets.back().length, l.ticks);
    EXPECT_EQ(resets.back().laps, l.laps_passed);
  }
}

TEST_F(MenuTest, AllGatesEmptyPassZeros) {
  for (int& g : line_up_choice) g = 0;
  menu_page = page_new_race;
  menu_selection = 1;
  key_in_new_frame(' ');
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].line_up, std::vector<int>(line_up_slots, 0));
}

TEST_F(MenuTest, RotationMovesTheGatesNotTheResetsLineUp) {
  for (int r : {0, 1, -1, 160, -161, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(r);
    for (int i = 0; i < line_up_gates; i++) line_up_choice[i] = i % 5;
    line_up_choice[19] = 1;
    line_up_choice[20] = 1;  // two humans stay two
    std::vector<int> built(line_up_slots, 0);
    for (int i = 0; i < line_up_gates; i++) built[i] = line_up_choice[i];
    game_state.rotate_lineup = r;
    resets.clear();
    menu_page = page_new_race;
    menu_selection = 1;
    key_in_new_frame(menu_keys.enter);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0].line_up, built);
    long long k = r % 160;
    if (k < 0) k += 160;
    for (int i = 0; i < line_up_gates; i++) EXPECT_EQ(line_up_choice[i], built[(i - k + 160) % 160]) << i;
  }
  // r = 1 with Gate 20 Human: Human at Gate 21, Gate 1 Empty.
  for (int& g : line_up_choice) g = 2;
  line_up_choice[19] = 1;
  game_state.rotate_lineup = 1;
  menu_page = page_new_race;
  menu_selection = 1;
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(line_up_choice[20], 1);
  EXPECT_EQ(line_up_choice[0], 0);
}

TEST_F(MenuTest, TimeTrialStartsWithNoLineUp) {
  menu_page = page_time_trial;
  menu_selection = 1;
  key_in_new_frame(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_FALSE(resets[0].has_line_up);
  EXPECT_EQ(resets[0].play_demo, 0);
  EXPECT_EQ(resets[0].record, 0);
  EXPECT_EQ(resets[0].length, 0);
  EXPECT_EQ(resets[0].laps, 1000);
  EXPECT_EQ(resets[0].skill, race_skill);
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(menu_page, -1);
}

class PlaybackTest : public MenuTest {
 protected:
  void SetUp() override {
    MenuTest::SetUp();
    for (int i = 0; i < 45; i++) {
      names_[i] = "demos/d" + std::to_string(i) + ".bkdemo";
      shown_[i] = "d" + std::to_string(i);
    }
    names_[7] = "demos/default.bkdemo";
    shown_[7] = "default";
    for (int i = 0; i < 45; i++) {
      name_ptrs_[i] = &names_[i][0];
      shown_ptrs_[i] = &shown_[i][0];
    }
    demo_list = {name_ptrs_, shown_ptrs_, 45};
    demo_page_index = 0;
    fill_list_page(shown_ptrs_, 45, 0, demo_page_rows);
    menu_page = page_playback;
    menu_selection = 0;
    new_frame();
  }
  std::string names_[45], shown_[45];
  char* name_ptrs_[45];
  char* shown_ptrs_[45];
};

TEST_F(PlaybackTest, PagesLikeTheChooser) {
  menu_selection = 23;
  key_in_new_frame(menu_keys.enter);
  key_in_new_frame(menu_keys.enter);
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(demo_page_index, 2);
  EXPECT_STREQ(demo_page_rows[4], "d44");
  menu_selection = 7;
  key_in_new_frame(menu_keys.down);
  EXPECT_EQ(menu_selection, 23);
  key_in_new_frame(menu_keys.up);
  EXPECT_EQ(menu_selection, 7);
  menu_selection = 2;
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(demo_page_index, 1);
  menu_selection = 3 + 2;
  key_in_new_frame(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].pending, "@demos/d22.bkdemo");
  EXPECT_EQ(demo_playback_choice[0], 0);
  EXPECT_EQ(resets[0].play_demo, 1);
  EXPECT_EQ(resets[0].length, 0);
  EXPECT_EQ(resets[0].laps, 10);
  EXPECT_EQ(resets[0].line_up, std::vector<int>(line_up_slots, 0));
  EXPECT_EQ(menu_page, -1);
}

TEST_F(PlaybackTest, RaceAgainstPlacesTheHumanAndGuardsTheDefaultDemo) {
  playback_mode = 1;
  record_demos = 1;
  for (int& g : line_up_choice) g = 2;
  menu_selection = 3;
  key_in_new_frame(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].line_up[0], 1);
  EXPECT_EQ(resets[0].record, 1);

  line_up_choice[19] = 1;
  menu_page = page_playback;
  menu_selection = 3;
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(resets[1].line_up[19], 1);
  EXPECT_EQ(resets[1].line_up[0], 0);

  const int first = message_ring.write_index;
  menu_page = page_playback;
  menu_selection = 3 + 7;
  key_in_new_frame(menu_keys.enter);
  EXPECT_EQ(resets[2].pending, "@demos/default.bkdemo");
  EXPECT_EQ(resets[2].record, 0);
  ASSERT_NE(message_ring.write_index, first);
  EXPECT_NE(std::strstr(message_ring.lines[first], "Can't record and play from same file - recording disabled"),
            nullptr);
}

TEST_F(PlaybackTest, PendingNameIsClearedWhenTheResetFails) {
  menu_reset_session = [](const int*, int, int, int, int, int) {
    resets.push_back({});
    resets.back().pending = demo_playback_choice;
    return 0;
  };
  menu_selection = 4;
  key_in_new_frame(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].pending, "@demos/d1.bkdemo");
  EXPECT_EQ(demo_playback_choice[0], 0);
}

}  // namespace
