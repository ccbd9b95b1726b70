// Input devices on a real window: virtual controllers stand in for pads, and
// the pointer is warped on the virtual display. The tests need the keyboard
// focus; each runs on an X server of its own (the test entry point's), so
// no other window can take it.
#include "platform/input_device.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/os/os.h"
#include "platform/os/os_joystick.h"
#include "platform/os/os_mouse.h"
#include "platform/window.h"
#include "tools/testing/test_env.h"

namespace {

bool eventually(window_state* window, const std::function<bool()>& done) {
  for (int i = 0; i < 6000; ++i) {  // a minute: only a hang gets there
    window_pump_messages(window);
    if (done()) return true;
    os_sleep_ms(10);
  }
  return false;
}

struct opened_axis {
  axis_handle* handle;
  explicit opened_axis(axis_handle* h) : handle(h) {}
  ~opened_axis() {
    if (!handle) return;
    axis_close(handle);
    std::free(handle);
  }
  int read() { return axis_read(handle); }
};

// Virtual controllers attached before the window opens (devices are found at
// open), with handles to drive them.
class InputDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_path_ = std::string(test_root()) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    setenv("PAVO_LOGFILE", log_path_.c_str(), 1);
    log_reset_for_tests();
    options_set_string("");
    window_reset_options_for_tests();
    ASSERT_EQ(os_joystick_init(), 1);
  }
  void TearDown() override {
    if (window_) gl_window_close(window_);
    for (os_joystick* j : pads_) os_joystick_close(j);
    for (auto it = pad_indices_.rbegin(); it != pad_indices_.rend(); ++it) os_joystick_remove_virtual(*it);
    os_joystick_quit();
    options_set_string(nullptr);
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
  }

  os_joystick* add_pad(const char* name, int axes, int buttons) {
    const int index = os_joystick_add_virtual(name, axes, buttons);
    EXPECT_GE(index, 0);
    pad_indices_.push_back(index);
    pads_.push_back(os_joystick_open(index));
    return pads_.back();
  }

  // Opens the window and waits until it has the keyboard focus.
  void open_window() {
    window_ = gl_window_open("Devices", 320, 240, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    focus(window_->handle);
  }
  // Asks again until it holds: a window that is not yet mapped cannot take
  // the focus.
  void focus(os_window* which) {
    ASSERT_TRUE(eventually(window_, [&] {
      if (os_window_has_focus(which)) return true;
      os_window_take_focus(which);
      return false;
    }));
  }

  input_device* device(const char* name) { return input_device_by_name(window_, name); }
  std::string logged() {
    log_close();
    return test_read_file(log_path_);
  }

  std::string log_path_;
  window_state* window_ = nullptr;
  std::vector<int> pad_indices_;
  std::vector<os_joystick*> pads_;
};

TEST_F(InputDeviceTest, TwinPadsEnumerateAndTheirAxesReadBack) {
  os_joystick* first = add_pad("Pad", 2, 4);
  os_joystick* second = add_pad("Pad", 3, 2);
  open_window();

  input_device* a = device("Pad");
  input_device* b = device("Pad#2");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->id, b->id);
  EXPECT_EQ(a->axis_count, 2);
  EXPECT_EQ(a->button_count, 4);
  EXPECT_EQ(b->axis_count, 3);
  ASSERT_NE(device("cursor"), nullptr);
  EXPECT_EQ(window_->devices, device("cursor"));  // the newest first

  std::vector<std::string> names;
  for (const char** n = input_device_names(window_); *n; ++n) names.push_back(*n);
  for (const char* want : {"Pad axis 0", "Pad axis 1", "Pad#2 axis 0", "Pad#2 axis 1", "Pad#2 axis 2"})
    EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
  EXPECT_EQ(std::count(names.begin(), names.end(), "Pad axis 0"), 1);

  os_joystick_set_virtual_axis(first, 1, 12345);
  os_joystick_set_virtual_axis(second, 0, -32768);
  os_joystick_set_virtual_axis(second, 2, 32767);
  opened_axis a1(axis_open(window_, "Pad.axis[1]"));
  opened_axis b0(axis_open(window_, "Pad#2 axis 0"));
  opened_axis b2(axis_open(window_, "Pad#2.axis[2]"));
  ASSERT_TRUE(a1.handle && b0.handle && b2.handle);
  EXPECT_EQ(a1.read(), 12345);
  EXPECT_EQ(b0.read(), -axis_range);  // the one value beyond the range is clamped
  EXPECT_EQ(b2.read(), axis_range);
  EXPECT_EQ(b->open_axes, 2);

  const std::string log = logged();
  for (const char* line : {"DirectInput roll call...\n", "] Pad (", "2 axes, 4 keys\n", "3 axes, 2 keys\n",
                           "axis 1 is absolute\n", "Adding axis \"Pad#2 axis 2\"\n", "End of DirectInput roll call\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(InputDeviceTest, ThreadedWindowReadsAndClosesItsDevices) {
  os_joystick* pad = add_pad("Pad", 1, 1);
  options_set_string("[threaded:yes]");
  window_reset_options_for_tests();
  open_window();
  ASSERT_NE(window_->flags & window_threaded, 0);
  opened_axis axis(axis_open(window_, "Pad axis 0"));
  ASSERT_NE(axis.handle, nullptr);
  os_joystick_set_virtual_axis(pad, 0, 4321);
  EXPECT_EQ(axis.read(), 4321);
  axis_close(axis.handle);
  std::free(axis.handle);
  axis.handle = nullptr;
  gl_window_close(window_);
  window_ = nullptr;
  EXPECT_NE(logged().find("Killing Pad\n"), std::string::npos);
}

TEST_F(InputDeviceTest, AxisNamesThatDoNotResolveOpenNothing) {
  add_pad("Pad", 2, 1);
  open_window();
  for (const char* name : {"Pad.axis[2]", "Pad.axis[-1]", "Pad axis", "Nope.axis[0]", "pad.axis[0]", "Pad.key[0]",
                           "Pad", "", "cursor.axis[2]"})
    EXPECT_EQ(axis_open(window_, name), nullptr) << name;
  alias_add("test-steer", "Pad axis 1");  // aliases live as long as the process
  opened_axis steer(axis_open(window_, "test-steer"));
  ASSERT_NE(steer.handle, nullptr);
  EXPECT_EQ(steer.handle->index, 1);
}

TEST_F(InputDeviceTest, ButtonsArriveAsEventsWithTheirCodes) {
  add_pad("Joystick1", 1, 2);
  os_joystick* pad = add_pad("Joystick1", 1, 4);
  open_window();
  input_device* d = device("Joystick1#2");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->events_enabled, 0);

  int by_key = 0, by_button = 0;
  ASSERT_EQ(input_code_from_name(window_, &by_key, "Joystick1#2.key[3]"), 1);
  ASSERT_EQ(input_code_from_name(window_, &by_button, "Joystick1#2 button 3"), 1);
  EXPECT_EQ(by_key, by_button);
  EXPECT_EQ(static_cast<unsigned>(by_key), d->id | 3);
  EXPECT_STREQ(input_code_name(window_, by_key), "Joystick1#2 button 3");
  EXPECT_EQ(d->events_enabled, 1);
  EXPECT_EQ(input_code_from_name(window_, &by_key, "Joystick1#2.key[4]"), 0);

  int code = 0, pressed = 0;
  EXPECT_EQ(window_get_event(window_, &code, &pressed), 0);
  os_joystick_set_virtual_button(pad, 3, 1);
  ASSERT_EQ(window_get_event(window_, &code, &pressed), 1);
  EXPECT_EQ(code, by_key);
  EXPECT_EQ(pressed, 1);
  EXPECT_EQ(window_get_event(window_, &code, &pressed), 0);  // held: no new event
  os_joystick_set_virtual_button(pad, 3, 0);
  ASSERT_EQ(window_get_event(window_, &code, &pressed), 1);
  EXPECT_EQ(code, by_key);
  EXPECT_EQ(pressed, 0);
  // The first pad was never named, so its buttons raise nothing.
  os_joystick_set_virtual_button(pads_[0], 0, 1);
  EXPECT_EQ(window_get_event(window_, &code, &pressed), 0);
}

TEST_F(InputDeviceTest, LongNamesAreCutSoTheirAxesAndButtonsResolve) {
  const std::string instance(70, 'W');
  os_joystick* pad = add_pad(instance.c_str(), 1, 1);
  add_pad(instance.c_str(), 1, 1);
  open_window();
  const std::string name(device_name_max, 'W');
  ASSERT_NE(device(name.c_str()), nullptr);
  ASSERT_NE(device((name + "#2").c_str()), nullptr);
  os_joystick_set_virtual_axis(pad, 0, -200);
  opened_axis axis(axis_open(window_, (name + ".axis[0]").c_str()));
  ASSERT_NE(axis.handle, nullptr);
  EXPECT_EQ(axis.read(), -200);
  opened_axis twin(axis_open(window_, (name + "#2 axis 0").c_str()));
  EXPECT_NE(twin.handle, nullptr);
  int code = 0;
  EXPECT_EQ(input_code_from_name(window_, &code, (name + "#2.key[0]").c_str()), 1);
}

TEST_F(InputDeviceTest, NothingIsReadWhileTheWindowIsInTheBackground) {
  os_joystick* pad = add_pad("Pad", 1, 1);
  open_window();
  int code = 0, pressed = 0;
  ASSERT_EQ(input_code_from_name(window_, &code, "Pad.key[0]"), 1);
  opened_axis axis(axis_open(window_, "Pad.axis[0]"));
  ASSERT_NE(axis.handle, nullptr);
  os_joystick_set_virtual_axis(pad, 0, 500);
  EXPECT_EQ(axis.read(), 500);

  os_window* other = os_window_create("Other", 64, 64);
  ASSERT_NE(other, nullptr);
  os_window_show(other);
  focus(other);
  os_joystick_set_virtual_axis(pad, 0, -900);
  os_joystick_set_virtual_button(pad, 0, 1);
  EXPECT_EQ(axis.read(), 500);
  EXPECT_EQ(window_get_event(window_, &code, &pressed), 0);

  focus(window_->handle);
  EXPECT_EQ(axis.read(), -900);
  ASSERT_EQ(window_get_event(window_, &code, &pressed), 1);  // reading the axis polled the button
  EXPECT_EQ(pressed, 1);
  os_window_destroy(other);
}

void push_mouse_motion(int dx, int dy, int wheel_notches) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  SDL_PushEvent(&e);
  SDL_zero(e);
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = wheel_notches;
  SDL_PushEvent(&e);
}

TEST_F(InputDeviceTest, MouseDeviceReportsMotionOnceWithoutLosingAnyAxis) {
  options_set_string("[dinputsticksonly:no]");
  open_window();
  input_device* mouse = device("Mouse");
  ASSERT_NE(mouse, nullptr);
  EXPECT_EQ(mouse->axis_count, 3);
  EXPECT_EQ(mouse->button_count, 5);
  for (const char** n = input_device_names(window_); *n; ++n) EXPECT_NE(std::string(*n).rfind("Mouse", 0), 0u) << *n;

  {
    opened_axis x(axis_open(window_, "mouse-x"));
    opened_axis y(axis_open(window_, "mouse-y"));
    opened_axis wheel(axis_open(window_, "Mouse axis 2"));
    ASSERT_TRUE(x.handle && y.handle && wheel.handle);
    EXPECT_TRUE(SDL_GetRelativeMouseMode());
    x.read(), y.read(), wheel.read();  // whatever taking the pointer caused

    push_mouse_motion(7, -3, 1);
    push_mouse_motion(2, -1, 1);
    EXPECT_EQ(x.read(), 9);
    EXPECT_EQ(y.read(), -4);  // read after x, and still all there
    EXPECT_EQ(wheel.read(), 2 * os_mouse_wheel_step);
    EXPECT_EQ(x.read(), 0);
    EXPECT_EQ(y.read(), 0);
    EXPECT_EQ(wheel.read(), 0);
  }
  // With its last axis closed the mouse is let go.
  EXPECT_FALSE(SDL_GetRelativeMouseMode());

  // Its buttons are device buttons too, numbered left, right, middle.
  int right = 0;
  ASSERT_EQ(input_code_from_name(window_, &right, "mouse-right"), 1);
  EXPECT_EQ(static_cast<unsigned>(right), mouse->id | 1);
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_RIGHT;
  e.button.windowID = SDL_GetWindowID(SDL_GetKeyboardFocus());
  SDL_PushEvent(&e);
  std::vector<int> codes;
  int code = 0, pressed = 0;
  while (window_get_event(window_, &code, &pressed)) codes.push_back(code);
  EXPECT_NE(std::find(codes.begin(), codes.end(), right), codes.end());
  EXPECT_NE(logged().find("axis 2 is relative\n"), std::string::npos);
}

TEST_F(InputDeviceTest, DeviceStaysAcquiredUntilItsLastAxisCloses) {
  options_set_string("[dinputsticksonly:no]");
  open_window();
  axis_handle* x = axis_open(window_, "mouse-x");
  axis_handle* y = axis_open(window_, "mouse-y");
  ASSERT_TRUE(x && y);
  axis_close(x);
  EXPECT_TRUE(SDL_GetRelativeMouseMode());
  axis_close(y);
  EXPECT_FALSE(SDL_GetRelativeMouseMode());
  // Naming a button keeps the mouse taken even with no axis open.
  int code = 0;
  ASSERT_EQ(input_code_from_name(window_, &code, "mouse-left"), 1);
  EXPECT_TRUE(SDL_GetRelativeMouseMode());
  axis_handle* again = axis_open(window_, "mouse-y");
  ASSERT_NE(again, nullptr);
  axis_close(again);
  EXPECT_TRUE(SDL_GetRelativeMouseMode());
  std::free(x);
  std::free(y);
  std::free(again);
}

TEST_F(InputDeviceTest, CursorAxesFollowTheWarpedPointerInClientPixels) {
  open_window();
  int left = 0, top = 0;
  os_window_client_origin(window_->handle, &left, &top);
  opened_axis x(axis_open(window_, "cursor-x"));
  opened_axis y(axis_open(window_, "cursor.axis[1]"));
  ASSERT_TRUE(x.handle && y.handle);
  struct point {
    int x, y;
  };
  // Inside, left of and above the window, and past its far corner.
  for (const point p : {point{30, 40}, point{-10, 5}, point{12, -7}, point{330, 250}}) {
    os_mouse_warp_global(left + p.x, top + p.y);
    EXPECT_EQ(x.read(), p.x);
    EXPECT_EQ(y.read(), p.y);
  }
}

TEST_F(InputDeviceTest, WithDinputOffOnlyTheCursorExists) {
  add_pad("Joystick1", 2, 2);
  options_set_string("[dinput:no][dinputsticksonly:no]");
  open_window();
  ASSERT_NE(window_->devices, nullptr);
  EXPECT_STREQ(window_->devices->name, "cursor");
  EXPECT_EQ(window_->devices->next, nullptr);
  EXPECT_EQ(input_device_names(window_)[0], nullptr);
  EXPECT_EQ(axis_open(window_, "mouse-x"), nullptr);
  EXPECT_EQ(axis_open(window_, "joystick-a-x"), nullptr);
  int code = 0;
  EXPECT_EQ(input_code_from_name(window_, &code, "joystick-a-1"), 0);
  const std::string log = logged();
  EXPECT_NE(log.find("DirectInput disabled\n"), std::string::npos);
  EXPECT_EQ(log.find("roll call"), std::string::npos);
}

TEST_F(InputDeviceTest, OddDevicesAreIgnoredOrCapped) {
  add_pad("Empty", 0, 0);
  os_joystick* cockpit = add_pad("Cockpit", 101, 501);
  open_window();
  EXPECT_EQ(device("Empty"), nullptr);
  input_device* d = device("Cockpit");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->axis_count, 100);
  EXPECT_EQ(d->button_count, 500);
  EXPECT_EQ(axis_open(window_, "Cockpit axis 100"), nullptr);
  int code = 0, pressed = 0;
  ASSERT_EQ(input_code_from_name(window_, &code, "Cockpit button 255"), 1);
  os_joystick_set_virtual_button(cockpit, 255, 1);
  ASSERT_EQ(window_get_event(window_, &code, &pressed), 1);
  EXPECT_EQ(static_cast<unsigned>(code), d->id | 255);
  gl_window_close(window_);
  window_ = nullptr;
  const std::string log = logged();
  for (const char* line : {"Ignoring Dunsel device\n", "101 axes, 501 keys\n",
                           "Wow! This thing has a lot of axes!\nThe first ignored axis is called \"Axis 100\"\n",
                           "Axis count (101) doesn't match actual number of axes (100)\n",
                           "Button count (501) doesn't match actual number of buttons (500)\n",
                           "Closing input devices\n", "Killing Cockpit\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

}  // namespace
