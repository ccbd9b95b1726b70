#include "ui/controls_page.h"

#include <gtest/gtest.h>

#include <string>

#include "assets/held_controls.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/game_state.h"
#include "race/menu_screen.h"
#include "race/race_state.h"
#include "ui/menu.h"

namespace {

class ControlsPage : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    menu_pages_install();
    control_bindings_reset();
  }
  void TearDown() override {
    watch_pots_cancel();
    control_bindings_reset();
    menu_page = -1;
  }
  static std::string text_of(const menu_binding& b) {
    char text[1100];
    binding_row_text(&b, text, sizeof text);
    return text;
  }
};

TEST_F(ControlsPage, RowTextShowsKeyAxisOrNone) {
  menu_binding b = control_bindings[binding_throttle];
  EXPECT_EQ(text_of(b), "x");
  b.key_name = nullptr;
  b.axis_name = "Pad axis 1";
  b.axis_minimum = -0.0625f;
  b.axis_maximum = -0.9375f;
  EXPECT_EQ(text_of(b), "Pad axis 1 (Negative)");
  b.axis_maximum = 0.0f;  // a range ending at 0 counts as positive
  EXPECT_EQ(text_of(b), "Pad axis 1 (Positive)");
  b.axis_name = "";
  EXPECT_EQ(text_of(b), "None");
  b.key_name = "";
  b.axis_name = nullptr;
  EXPECT_EQ(text_of(b), "None");
  const std::string long_name(3000, 'n');
  b.key_name = long_name.c_str();
  EXPECT_EQ(text_of(b), long_name.substr(0, 1023));
  watch_pots_start(&control_bindings[binding_step], 0);
  EXPECT_EQ(text_of(control_bindings[binding_step]), "<<PRESS A KEY>>");
  EXPECT_EQ(text_of(control_bindings[binding_pause]), "pause");
}

TEST_F(ControlsPage, RowsStartACaptureOnEnterOrAClickInside) {
  menu_binding& row = control_bindings[binding_lean_forward];
  row.rect[0] = 100;
  row.rect[1] = 100;
  row.rect[2] = 400;
  row.rect[3] = 120;
  struct key_case {
    const char* name;
    int code;
    int mouse_x, mouse_y;
    int starts;
  } cases[] = {
      {"enter", menu_keys.enter, 0, 0, 1},
      {"keypad enter", menu_keys.keypad_enter, 0, 0, 1},
      {"click inside", menu_keys.click, 200, 110, 1},
      {"click outside", menu_keys.click, 200, 130, 0},
      {"space", ' ', 200, 110, 0},
      {"right", menu_keys.right, 200, 110, 0},
  };
  for (const key_case& c : cases) {
    SCOPED_TRACE(c.name);
    menu_page = page_controls;
    menu_selection = 1 + binding_lean_forward;
    game_state.menu_page_changed = 0;
    menu_screen.mouse_x = c.mouse_x;
    menu_screen.mouse_y = c.mouse_y;
    menu_key(c.code);
    EXPECT_EQ(binding_capture, c.starts ? &row : nullptr);
    EXPECT_EQ(menu_page, page_controls);
    watch_pots_cancel();
  }
  menu_selection = 0;
  menu_key(menu_keys.enter);
  EXPECT_EQ(menu_page, page_main);
}

TEST_F(ControlsPage, SelectionRunsOverTwentyRows) {
  menu_page = page_controls;
  menu_selection = 0;
  for (int i = 0; i < 30; i++) {
    game_state.menu_page_changed = 0;
    menu_key(menu_keys.down);
  }
  EXPECT_EQ(menu_selection, 20);
}

}  // namespace
