#include "ui/widget.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "race/menu_screen.h"

namespace {

class WidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    option_list_last_keyed = nullptr;
    option_list_typed[0] = 0;
    menu_screen = {640, 480, -1, -1};
  }
};

const char* const levels[] = {"Top", "Under Current", "Over Current", "Bottom"};

std::string shown(const menu_option_list* list) {
  char out[1024];
  option_list_display_text(list, out, sizeof(out));
  return out;
}

TEST_F(WidgetTest, TypeAheadFindsTheOptionAndHighlightsTheMatch) {
  for (int start = 0; start < 4; ++start) {
    int selected = start;
    menu_option_list level = {"Level", levels, 4, &selected, {0, 0, 0, 0}};
    option_list_key(&level, 'o');
    option_list_key(&level, 'v');
    EXPECT_EQ(selected, 2) << start;
    EXPECT_EQ(shown(&level), "\x1b[31mOv\x1b[0mer Current");
    option_list_key(&level, 'q');  // no option holds "ovq"
    EXPECT_EQ(selected, 2);
    EXPECT_STREQ(option_list_typed, "ov");
    option_list_key(&level, 8);  // Backspace empties the buffer
    EXPECT_STREQ(option_list_typed, "");
    EXPECT_EQ(shown(&level), "Over Current");
  }
}

TEST_F(WidgetTest, OptionListKeysStepAndWrap) {
  int selected = 0;
  menu_option_list level = {"Level", levels, 4, &selected, {10, 10, 100, 30}};
  struct step {
    int key;
    int mouse_x;
    int expect;
  };
  const step steps[] = {
      {menu_keys.left, 0, 3},          // first to last
      {menu_keys.right, 0, 0},         // last to first
      {menu_keys.enter, 0, 1},         {menu_keys.keypad_enter, 0, 2},
      {menu_keys.click, 50, 3},        // inside: next
      {menu_keys.click, 150, 3},       // outside: nothing
      {menu_keys.up, 50, 3},           // other keys: nothing
      {' ', 0, 1},                     // Space is type-ahead: "Under Current" holds a blank
      {9, 0, 2},                       // Tab: next option holding " "
      {9, 0, 1},
  };
  for (const step& s : steps) {
    menu_screen.mouse_x = s.mouse_x;
    menu_screen.mouse_y = 20;
    option_list_key(&level, s.key);
    EXPECT_EQ(selected, s.expect) << "key " << s.key;
  }
  // Another list taking a key empties the buffer.
  int other_selected = 0;
  menu_option_list other = {"Other", levels, 4, &other_selected, {0, 0, 0, 0}};
  option_list_key(&other, menu_keys.up);
  EXPECT_STREQ(option_list_typed, "");
  EXPECT_EQ(shown(&level), "Under Current");
}

TEST_F(WidgetTest, EmptyOptionListShowsNothingAndIgnoresKeys) {
  int selected = 0;
  menu_option_list empty = {"Chooser", nullptr, 0, &selected, {0, 0, 0, 0}};
  for (int key : {menu_keys.right, menu_keys.left, 9, int('a'), menu_keys.enter}) option_list_key(&empty, key);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(shown(&empty), "");
  EXPECT_EQ(option_list_select(&empty, "Top"), 0);
  // Options given at run time keep the selection in range.
  selected = 7;
  option_list_set_options(&empty, levels, 4);
  EXPECT_EQ(selected, 3);
  option_list_set_options(&empty, levels, 2);
  EXPECT_EQ(selected, 1);
  option_list_set_options(&empty, nullptr, 0);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(option_list_text(&empty), std::string());
}

TEST_F(WidgetTest, SetterSelectsExactTextOnly) {
  int selected = 0;
  menu_option_list level = {"Level", levels, 4, &selected, {0, 0, 0, 0}};
  EXPECT_EQ(option_list_select(&level, "Bottom"), 1);
  EXPECT_EQ(selected, 3);
  for (const char* text : {"bottom", "Bottom ", "", "Over"}) {
    EXPECT_EQ(option_list_select(&level, text), 0) << text;
    EXPECT_EQ(selected, 3);
  }
}

TEST_F(WidgetTest, SliderClicksAndSteps) {
  double value = 50;
  menu_slider s = {"Detail", &value, 1, 0, 100, {0, 0, 400, 20}, 100, 300};
  menu_screen.mouse_y = 10;
  struct click {
    int x;
    double expect;
  };
  const click clicks[] = {{200, 50}, {90, 0}, {250, 75}, {80, 75}, {310, 100}, {320, 100}, {150, 25}, {330, 25}};
  for (const click& c : clicks) {
    menu_screen.mouse_x = c.x;
    slider_key(&s, menu_keys.click);
    EXPECT_DOUBLE_EQ(value, c.expect) << c.x;
  }
  menu_screen.mouse_x = 200;
  slider_key(&s, menu_key_mouse_moved);
  EXPECT_DOUBLE_EQ(value, 50);
  menu_screen.mouse_y = 30;  // outside the rectangle
  menu_screen.mouse_x = 100;
  slider_key(&s, menu_keys.click);
  EXPECT_DOUBLE_EQ(value, 50);

  // An uneven step reaches the maximum and the minimum.
  double v2 = 9;
  menu_slider uneven = {"Uneven", &v2, 3, 0, 10, {0, 0, 0, 0}, 0, 0};
  slider_key(&uneven, menu_keys.right);
  EXPECT_DOUBLE_EQ(v2, 10);
  v2 = 2;
  slider_key(&uneven, menu_keys.left);
  EXPECT_DOUBLE_EQ(v2, 0);

  // A bar drawn with no width takes no clicks.
  double v3 = 5;
  menu_slider flat = {"Flat", &v3, 1, 0, 10, {0, 0, 400, 20}, 100, 100};
  menu_screen.mouse_y = 10;
  menu_screen.mouse_x = 100;
  slider_key(&flat, menu_keys.click);
  EXPECT_DOUBLE_EQ(v3, 5);
}

TEST_F(WidgetTest, SliderParseClampsAndRefusesNonNumbers) {
  double value = 110;
  menu_slider fov = {"Field of View", &value, 1, 10, 170, {0, 0, 0, 0}, 0, 0};
  EXPECT_EQ(slider_parse_value(&fov, "500"), 1);
  EXPECT_DOUBLE_EQ(value, 170);
  EXPECT_EQ(slider_parse_value(&fov, "-3"), 1);
  EXPECT_DOUBLE_EQ(value, 10);
  for (const char* bad : {"nan", "inf", "-inf", "", "abc"}) {
    value = 95;
    EXPECT_EQ(slider_parse_value(&fov, bad), 0) << bad;
    EXPECT_DOUBLE_EQ(value, 95);
  }
}

TEST_F(WidgetTest, TextFieldKeysInBothModes) {
  char text[4] = "abc";
  menu_text_field f = {"Number", 3, text, 1, 1, {0, 0, 0, 0}};
  text_field_key(&f, 'x');  // insert: the last character falls off
  EXPECT_STREQ(text, "axb");
  EXPECT_EQ(f.cursor, 2);
  f.cursor = 3;
  text_field_key(&f, 'y');  // at max_length: refused
  EXPECT_STREQ(text, "axb");
  f.insert = 0;
  text_field_key(&f, 'y');
  EXPECT_STREQ(text, "axb");
  f.cursor = 0;
  text_field_key(&f, '1');
  EXPECT_STREQ(text, "1xb");
  EXPECT_EQ(f.cursor, 1);
  text_field_key(&f, 127);  // Delete at the cursor
  EXPECT_STREQ(text, "1b");
  f.cursor = 2;
  text_field_key(&f, 127);  // Delete at the end: nothing
  EXPECT_STREQ(text, "1b");
  text_field_key(&f, 'z');  // overwrite at the end extends
  EXPECT_STREQ(text, "1bz");
  f.cursor = 0;
  text_field_key(&f, 8);  // Backspace at 0: nothing
  EXPECT_STREQ(text, "1bz");
  f.cursor = 2;
  text_field_key(&f, 8);
  EXPECT_STREQ(text, "1z");
  EXPECT_EQ(f.cursor, 1);
  text_field_key(&f, menu_keys.left);
  text_field_key(&f, menu_keys.left);
  EXPECT_EQ(f.cursor, 0);
  text_field_key(&f, 0x1234);  // not a character
  EXPECT_STREQ(text, "1z");

  // A cursor left past a shorter text is brought back before the key.
  char name[8] = "";
  menu_text_field g = {"Name", 7, name, 6, 1, {0, 0, 0, 0}};
  EXPECT_EQ(text_field_set(&g, "ab"), 1);
  text_field_key(&g, 127);
  text_field_key(&g, 'c');
  EXPECT_STREQ(name, "abc");
  EXPECT_EQ(text_field_set(&g, "12345678"), 0);  // never cut
  EXPECT_STREQ(name, "abc");
  EXPECT_EQ(text_field_set(&g, "1234567"), 1);
  EXPECT_STREQ(name, "1234567");
}

TEST_F(WidgetTest, HitTestsNeverFindHiddenOrUndrawnItems) {
  int drawn[4] = {10, 10, 50, 30};
  int undrawn[4] = {0, 0, 0, 0};
  int hidden[4] = {10, 10, 50, 30};
  widget_hide(hidden);
  const int* list[] = {undrawn, hidden, drawn, nullptr};
  struct probe {
    int x, y, expect;
  };
  const probe probes[] = {{20, 20, 2}, {10, 20, -1}, {50, 20, -1}, {20, 10, -1}, {0, 0, -1}, {-1, -1, -1}};
  for (const probe& p : probes) {
    menu_screen.mouse_x = p.x;
    menu_screen.mouse_y = p.y;
    EXPECT_EQ(widget_list_under_mouse(list), p.expect) << p.x << "," << p.y;
  }
  const int* none[] = {nullptr};
  EXPECT_EQ(widget_list_under_mouse(none), -1);
  menu_screen.mouse_x = 20;
  menu_screen.mouse_y = 20;
  EXPECT_EQ(widget_activated(drawn, menu_keys.click), 1);
  EXPECT_EQ(widget_activated(hidden, menu_keys.click), 0);
  EXPECT_EQ(widget_activated(hidden, menu_keys.enter), 1);
  EXPECT_EQ(widget_activated(hidden, ' '), 1);
  EXPECT_EQ(widget_activated(drawn, menu_keys.right), 0);
}

TEST_F(WidgetTest, ScreenColumnAtFourByThreeAndSixteenByNine) {
  // Exactly 4:3 takes the narrow branch and fills the window.
  menu_screen_layout l = menu_layout_screen(30, 0, 0, 4.0f / 3.0f, 1.0f, 640, 480);
  EXPECT_FLOAT_EQ(l.translate[0], -4.0f / 3.0f);
  EXPECT_FLOAT_EQ(l.translate[1], 1.0f);
  EXPECT_FLOAT_EQ(l.scale, 2.0f / 30.0f);
  EXPECT_FLOAT_EQ(l.origin[0], 0.0f);
  EXPECT_NEAR(l.origin[1], 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(l.pixel_scale[0], 16.0f);
  EXPECT_FLOAT_EQ(l.pixel_scale[1], -16.0f);
  // 16:9: the column is centred with a margin of (W - 4/3 H) each side:
  // 160 pixels of 1280.
  l = menu_layout_screen(30, 2, -3, 16.0f / 9.0f, 1.0f, 1280, 720);
  EXPECT_FLOAT_EQ(l.scale, 2.0f / 30.0f);
  EXPECT_FLOAT_EQ(l.pixel_scale[0], 24.0f);
  EXPECT_NEAR((l.origin[0] - 2) * l.pixel_scale[0], 160.0f, 1e-3);
  EXPECT_FLOAT_EQ(l.origin[1], -3.0f);
  // Taller than 4:3 (5:4): centred vertically.
  l = menu_layout_screen(30, 0, 0, 1.25f, 1.0f, 1280, 1024);
  EXPECT_FLOAT_EQ(l.pixel_scale[0], 32.0f);
  EXPECT_NEAR(l.origin[1] * l.pixel_scale[1], (1024 - 960) / 2.0f, 1e-3);

  int rect[4];
  const float pen[2] = {2.0f, -5.0f}, scale[2] = {16.0f, -16.0f};
  widget_store_rect(rect, pen, scale, 10.0f);
  EXPECT_EQ(rect[0], 32);
  EXPECT_EQ(rect[1], 64);
  EXPECT_EQ(rect[2], 192);
  EXPECT_EQ(rect[3], 80);
}

}  // namespace
