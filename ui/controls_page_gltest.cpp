// Binding capture on a real window: virtual pads for the axes, SDL key
// events for the keys, the frame loop's event handling in between and an
// injected clock. Each test runs on an X server of its own, so the window
// keeps the keyboard focus the pads need.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "assets/game_window.h"
#include "assets/held_controls.h"
#include "core/game_clock.h"
#include "platform/input.h"
#include "platform/options.h"
#include "platform/os/os.h"
#include "platform/os/os_joystick.h"
#include "platform/os/os_window.h"
#include "platform/window.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/race_state.h"
#include "race/startup_input.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "race/race_reset.h"
#include "bike/rider.h"
#include "core/race_clock.h"
#include "race/race_hooks.h"
#include "ui/config.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui/test_support_pads.h"

namespace {

const double tick = 1.0 / 128.0;

class BindingCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    options_set_string("");
    window_reset_options_for_tests();
    ASSERT_EQ(os_joystick_init(), 1);
    pad_ = add_pad("Pad", 2, 2);
    pad2_ = add_pad("Pad", 2, 1);
    window_ = gl_window_open("Capture", 320, 240, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(eventually([&] {
      if (os_window_has_focus(window_->handle)) return true;
      os_window_take_focus(window_->handle);
      return false;
    }));
    game_window = window_;
    control_bindings_reset();
    menu_keys_name(window_);
    open_startup_input(window_);
    menu_pages_install();
    race_hooks = {};
    race_hooks.menu_key = [](int code, int) { menu_key(code); };
    menu_page = page_controls;
    frame_loop_start(0);
    menu_selection = 1;
    frame_loop.menu_page_seen = menu_page;
    game_state.menu_page_changed = 0;
    game_clock = 0;
  }
  void TearDown() override {
    watch_pots_cancel();
    close_startup_input();
    control_bindings_reset();
    menu_page = -1;
    race_hooks = {};
    game_window = nullptr;
    if (window_) gl_window_close(window_);
    for (os_joystick* j : pads_) os_joystick_close(j);
    for (auto it = pad_indices_.rbegin(); it != pad_indices_.rend(); ++it) os_joystick_remove_virtual(*it);
    os_joystick_quit();
    options_set_string(nullptr);
  }

  os_joystick* add_pad(const char* name, int axes, int buttons) {
    const int index = os_joystick_add_virtual(name, axes, buttons);
    EXPECT_GE(index, 0);
    pad_indices_.push_back(index);
    pads_.push_back(os_joystick_open(index));
    return pads_.back();
  }
  bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 300; ++i) {
      if (window_) window_pump_messages(window_);
      if (done()) return true;
      os_sleep_ms(10);
    }
    return false;
  }

  // One SDL key press and release, handled by the frame loop at time t.
  void press_key(SDL_Scancode scancode, SDL_Keycode sym, double t) {
    game_clock = t;
    const Uint32 id = SDL_GetWindowID(reinterpret_cast<SDL_Window*>(window_->handle));
    for (int down = 1; down >= 0; down--) {
      SDL_Event e;
      SDL_zero(e);
      e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
      e.key.windowID = id;
      e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.scancode = scancode;
      e.key.keysym.sym = sym;
      ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    take_events(2);
  }
  // A typed character (a code below 0x100), handled at t.
  void type_char(const char* text, double t) {
    game_clock = t;
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(reinterpret_cast<SDL_Window*>(window_->handle));
    std::snprintf(e.text.text, sizeof e.text.text, "%s", text);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    take_events(1);
  }
  void take_events(int want) {
    int got = 0;
    eventually([&] {
      int code, pressed;
      while (window_get_event(window_, &code, &pressed)) {
        frame_handle_event(code, pressed);
        got++;
      }
      return got >= want;
    });
  }
  // Steps the capture one tick at a time from t0 until it ends or t1;
  // `at` runs before each step. The time of the step that ended it, or -1.
  double run_until_bound(double t0, double t1, const std::function<void(double)>& at = nullptr) {
    for (double t = t0; t <= t1; t += tick) {
      if (at) at(t);
      game_clock = t;
      watch_pots_update(t);
      if (!binding_capture) return t;
    }
    return -1;
  }
  int open_axes(const char* device) { return pad_open_axes(window_, device); }
  int held_axes(const char* device) { return pad_axes_held_by_bindings(window_, device); }
  void expect_axes_match_bindings() {
    EXPECT_EQ(open_axes("Pad"), held_axes("Pad"));
    EXPECT_EQ(open_axes("Pad#2"), held_axes("Pad#2"));
  }
  float throttle_value() {
    for (control_map_entry* e = control_map; e && e->binding; e++)
      if (e->binding == &control_bindings[binding_throttle]) return e->value;
    return -1;
  }
  std::string row_text(int binding) {
    char text[1100];
    binding_row_text(&control_bindings[binding], text, sizeof text);
    return text;
  }

  window_state* window_ = nullptr;
  os_joystick* pad_ = nullptr;
  os_joystick* pad2_ = nullptr;
  std::vector<int> pad_indices_;
  std::vector<os_joystick*> pads_;
};

TEST_F(BindingCapture, AxesBindWithTheirRangeOnceSettled) {
  struct axis_case {
    const char* name;
    int axis;
    int rest, moved;
    float minimum, maximum;
    const char* shown;
  } cases[] = {
      {"stick pushed left", 0, 0, -32768, -0.0625f, -0.9375f, "Pad axis 0 (Negative)"},
      {"trigger from -1 to +1", 1, -32768, 32767, -0.875f, 0.875f, "Pad axis 1 (Positive)"},
  };
  for (const axis_case& c : cases) {
    SCOPED_TRACE(c.name);
    os_joystick_set_virtual_axis(pad_, c.axis, c.rest);
    menu_selection = 1;
    press_key(SDL_SCANCODE_RETURN, SDLK_RETURN, 0);
    ASSERT_EQ(binding_capture, &control_bindings[binding_throttle]);
    EXPECT_EQ(row_text(binding_throttle), "<<PRESS A KEY>>");
    const double moved_at = 0.1;
    const double bound_at = run_until_bound(0, 2, [&](double t) {
      if (t >= moved_at) os_joystick_set_virtual_axis(pad_, c.axis, c.moved);
    });
    const double first_move = std::ceil(moved_at / tick) * tick;
    EXPECT_GT(bound_at, first_move + 0.25);
    EXPECT_LE(bound_at, first_move + 0.25 + tick);
    const menu_binding& b = control_bindings[binding_throttle];
    EXPECT_NEAR(b.axis_minimum, c.minimum, 1e-4);
    EXPECT_NEAR(b.axis_maximum, c.maximum, 1e-4);
    EXPECT_EQ(b.key_name, nullptr);
    EXPECT_EQ(b.key_code, 0);
    EXPECT_EQ(row_text(binding_throttle), c.shown);
    EXPECT_EQ(throttle_value(), 0.0f);
    expect_axes_match_bindings();
    os_joystick_set_virtual_axis(pad_, c.axis, 0);
  }
}

TEST_F(BindingCapture, SmallMovementsNeverBindButAKeyDoesWhenAllIsStill) {
  struct key_case {
    const char* name;
    double key_at;
    std::vector<std::pair<double, int>> moves;  // time, raw value of Pad axis 0
    double settles_at;                          // the later of key and last extreme
  } cases[] = {
      {"key after the movement", 0.3, {{0.1, 13107}}, 0.3},
      {"movement after the key", 0.1, {{0.05, 6000}, {0.2, 13107}}, 0.2},
      {"further movement delays", 0.1, {{0.05, 6000}, {0.2, 10000}, {0.4, 14000}}, 0.4},
  };
  for (const key_case& c : cases) {
    SCOPED_TRACE(c.name);
    os_joystick_set_virtual_axis(pad_, 0, 0);
    menu_selection = 1;
    press_key(SDL_SCANCODE_RETURN, SDLK_RETURN, 0);
    ASSERT_NE(binding_capture, nullptr);
    bool pressed = false;
    const double bound_at = run_until_bound(tick, 3, [&](double t) {
      for (const auto& m : c.moves)
        if (t >= m.first) os_joystick_set_virtual_axis(pad_, 0, m.first <= t ? m.second : 0);
      if (!pressed && t >= c.key_at) {
        press_key(SDL_SCANCODE_K, SDLK_k, t);
        pressed = true;
      }
    });
    const double settled = std::ceil(c.settles_at / tick) * tick;
    EXPECT_GT(bound_at, settled + 0.25 - 1e-9);
    EXPECT_LE(bound_at, settled + 0.25 + tick + 1e-9);
    EXPECT_STREQ(control_bindings[binding_throttle].key_name, "K");
    EXPECT_EQ(control_bindings[binding_throttle].axis, nullptr);
    expect_axes_match_bindings();
  }
}

TEST_F(BindingCapture, EscKeepsTheBindingAndCharactersAndSecondKeysAreIgnored) {
  menu_selection = 1;
  press_key(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0);
  ASSERT_NE(binding_capture, nullptr);
  press_key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0.1);
  EXPECT_EQ(binding_capture, nullptr);
  EXPECT_EQ(menu_page, page_controls);
  EXPECT_STREQ(control_bindings[binding_throttle].key_name, "x");
  expect_axes_match_bindings();

  game_state.menu_page_changed = 0;
  press_key(SDL_SCANCODE_RETURN, SDLK_RETURN, 1);
  ASSERT_NE(binding_capture, nullptr);
  type_char("q", 1.0);
  press_key(SDL_SCANCODE_J, SDLK_j, 1.1);
  press_key(SDL_SCANCODE_L, SDLK_l, 1.2);
  EXPECT_EQ(run_until_bound(1.1, 1.3), -1);  // the second key did not delay it...
  EXPECT_GT(run_until_bound(1.3, 2), 0);
  EXPECT_STREQ(control_bindings[binding_throttle].key_name, "J");  // ...nor replace it
  EXPECT_EQ(menu_page, page_controls);
}

TEST_F(BindingCapture, SpaceStartsNoCaptureAndTheMouseIsIgnoredMeanwhile) {
  menu_selection = 1;
  press_key(SDL_SCANCODE_SPACE, SDLK_SPACE, 0);
  type_char(" ", 0);
  EXPECT_EQ(binding_capture, nullptr);
}

TEST_F(BindingCapture, ARebindReleasesTheHeldControl) {
  // "x" is held when the throttle is bound to "k": it must not stay on.
  int x = 0;
  ASSERT_TRUE(input_code_from_name(window_, &x, "x"));
  frame_handle_event(x, 1);
  ASSERT_EQ(throttle_value(), 1.0f);
  watch_pots_start(&control_bindings[binding_throttle], 0);
  press_key(SDL_SCANCODE_K, SDLK_k, 0.1);
  ASSERT_GT(run_until_bound(0.1, 1), 0);
  EXPECT_EQ(throttle_value(), 0.0f);
  frame_handle_event(x, 0);
  EXPECT_EQ(throttle_value(), 0.0f);
}

TEST_F(BindingCapture, RebindingAnAxisClosesTheOldOneAndShutDownClosesAll) {
  os_joystick_set_virtual_axis(pad2_, 1, 0);
  watch_pots_start(&control_bindings[binding_left], 0);
  EXPECT_GT(open_axes("Pad"), 0);
  ASSERT_GT(run_until_bound(tick, 1, [&](double) { os_joystick_set_virtual_axis(pad2_, 1, -32768); }), 0);
  EXPECT_STREQ(control_bindings[binding_left].axis_name, "Pad#2 axis 1");
  expect_axes_match_bindings();
  EXPECT_EQ(open_axes("Pad#2"), 1);
  // Bound to a key instead: the axis is closed.
  watch_pots_start(&control_bindings[binding_left], 2);
  press_key(SDL_SCANCODE_A, SDLK_a, 2);
  ASSERT_GT(run_until_bound(2, 3), 0);
  EXPECT_EQ(control_bindings[binding_left].axis, nullptr);
  expect_axes_match_bindings();
  // Quitting mid-capture.
  watch_pots_start(&control_bindings[binding_right], 4);
  EXPECT_GT(open_axes("Pad"), 0);
  watch_pots_cancel();
  expect_axes_match_bindings();
  EXPECT_EQ(open_axes("Pad"), 0);
}

TEST_F(BindingCapture, CapturedInputsSurviveTheConfigFile) {
  struct key_case {
    int binding;
    const char* name;  // how the input is found for the test
  } keys[] = {{binding_dab, "right ctrl"},      {binding_rewind, "\\"}, {binding_front_brake, "keypad enter"},
              {binding_prev, "["},              {binding_clutch, "Mouse Right"}};
  std::vector<int> codes;
  double t = 0;
  for (const key_case& k : keys) {
    int code = 0;
    ASSERT_TRUE(input_code_from_name(window_, &code, k.name)) << k.name;
    codes.push_back(code);
    watch_pots_start(&control_bindings[k.binding], t);
    watch_pots_key(code, t);
    ASSERT_GT(run_until_bound(t, t + 1), 0) << k.name;
    EXPECT_EQ(control_bindings[k.binding].key_code, code) << k.name;
    t += 2;
  }
  watch_pots_start(&control_bindings[binding_throttle], t);
  ASSERT_GT(run_until_bound(t + tick, t + 1, [&](double) { os_joystick_set_virtual_axis(pad2_, 1, 32767); }), 0);
  const menu_binding axis_bound = control_bindings[binding_throttle];

  const std::string text = config_text();
  close_startup_input();
  control_bindings_reset();
  EXPECT_EQ(read_config_text(text.data(), text.size(), "config"), 0);
  open_startup_input(window_);
  for (size_t i = 0; i < codes.size(); i++)
    EXPECT_EQ(control_bindings[keys[i].binding].key_code, codes[i]) << keys[i].name;
  const menu_binding& b = control_bindings[binding_throttle];
  EXPECT_STREQ(b.axis_name, "Pad#2 axis 1");
  ASSERT_NE(b.axis, nullptr);
  EXPECT_NEAR(b.axis_minimum, axis_bound.axis_minimum, 1e-5);
  EXPECT_NEAR(b.axis_maximum, axis_bound.axis_maximum, 1e-5);
  EXPECT_EQ(binding_axis_index(binding_throttle), 1);
}

// The frame loop on the injected clock, drawing nothing, with the window's
// events and the pads' axes.
double ride_now;

class RideWithAPad : public BindingCapture {
 protected:
  void SetUp() override {
    BindingCapture::SetUp();
    if (HasFatalFailure()) return;
    race_test_open();
    tick_install_hooks();
    race_hooks.menu_key = [](int code, int) { menu_key(code); };
    saved_io_ = frame_io;
    frame_io_use_platform();
    frame_io.now = [] { return ride_now; };
    frame_io.sleep = [](double s) { ride_now += s; };
    frame_io.begin_frame = [](int*, int*) { return 0; };
    ride_now = 0;
    menu_page = page_main;
    menu_selection = 0;
    frame_loop_start(0);
  }
  void TearDown() override {
    frame_io = saved_io_;
    race_test_close();
    BindingCapture::TearDown();
  }
  // Frames of 4 ticks for `seconds` of the injected clock.
  void ride(double seconds) {
    for (double t = 0; t < seconds; t += 4 * tick) {
      ride_now += 4 * tick;
      frame_loop_pass();
    }
  }
  // A menu key in a frame of its own, as a player presses them.
  void menu_press(int code, int times = 1) {
    for (int i = 0; i < times; i++) {
      frame_handle_event(code, 1);
      ride(tick);
    }
  }
  // Starts a capture on the selected row and moves Pad's axis to raw.
  void calibrate(int axis, int raw) {
    menu_press(menu_keys.enter);
    ASSERT_NE(binding_capture, nullptr);
    os_joystick_set_virtual_axis(pad_, axis, raw);
    ride(0.5);
    ASSERT_EQ(binding_capture, nullptr);
  }
  static float heading(const rider* r) {
    const dReal* m = dBodyGetRotation(rider_frame_body(r));
    // The frame's forward is its -z; the angle grows as the bike turns
    // to the rider's right (+x when facing -z).
    return static_cast<float>(std::atan2(-m[2], m[10]));
  }
  frame_loop_io saved_io_;
};

TEST_F(RideWithAPad, CalibratedAxesSteerTheBike) {
  menu_press(menu_keys.down, 7);
  menu_press(menu_keys.enter);
  ASSERT_EQ(menu_page, page_controls);
  menu_press(menu_keys.down);
  calibrate(1, 32767);  // Throttle
  os_joystick_set_virtual_axis(pad_, 1, 0);
  menu_press(menu_keys.down, 3);
  calibrate(0, -32768);  // Left
  os_joystick_set_virtual_axis(pad_, 0, 0);
  ride(0.1);
  menu_press(menu_keys.down);
  calibrate(0, 32767);  // Right
  os_joystick_set_virtual_axis(pad_, 0, 0);
  EXPECT_EQ(row_text(binding_throttle), "Pad axis 1 (Positive)");
  EXPECT_EQ(row_text(binding_left), "Pad axis 0 (Negative)");
  EXPECT_EQ(row_text(binding_right), "Pad axis 0 (Positive)");

  menu_press(menu_keys.up, 5);
  menu_press(menu_keys.enter);
  ASSERT_EQ(menu_page, page_main);
  menu_press(menu_keys.down, 3);
  menu_press(menu_keys.enter);
  ASSERT_EQ(menu_page, page_time_trial);
  menu_press(menu_keys.down);
  menu_press(menu_keys.enter);
  ASSERT_EQ(menu_page, -1);
  ASSERT_TRUE(time_trial);
  rider* r = slot_rider(viewed_slot);
  ASSERT_NE(r, nullptr);

  os_joystick_set_virtual_axis(pad_, 1, 32767);
  ride(3);
  EXPECT_GT(rider_forward_speed_mph(r), 5.0f);
  struct steer_case {
    int raw;
    float steer;
  } cases[] = {{0, 0}, {-16384, 0.5f}, {-32768, 1}, {32767, -1}};  // left is positive
  for (const steer_case& c : cases) {
    SCOPED_TRACE(c.raw);
    os_joystick_set_virtual_axis(pad_, 0, c.raw);
    ride(tick);
    EXPECT_NEAR(frame_loop.rider_input[0], c.steer, 1e-3);
    EXPECT_NEAR(frame_loop.rider_input[1], 1.0f, 1e-6);
  }
  // From the same restart, half left and half right at full throttle:
  // the heading follows.
  const int steer_raw[2] = {-16384, 16384};
  float turn[2];
  for (int i = 0; i < 2; i++) {
    restart_alone_at_gate();
    r = slot_rider(viewed_slot);
    ASSERT_NE(r, nullptr);
    os_joystick_set_virtual_axis(pad_, 0, 0);
    ride(1.5);
    const float before = heading(r);
    os_joystick_set_virtual_axis(pad_, 0, steer_raw[i]);
    ride(1.5);
    turn[i] = static_cast<float>(std::remainder(heading(r) - before, 2 * M_PI));
  }
  EXPECT_LT(turn[0], -0.1f);  // left
  EXPECT_GT(turn[1], 0.1f);   // right
}

}  // namespace
