#include "platform/input_devices.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/input_window_link.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/os/os_joystick.h"
#include "platform/test_support_fake_window.h"
#include "tools/testing/test_env.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Virtual controllers attached for one test, with handles to drive them.
struct virtual_pads {
  std::vector<int> indices;
  std::vector<os_joystick*> handles;

  os_joystick* add(const char* name, int axes, int buttons) {
    const int index = os_joystick_add_virtual(name, axes, buttons);
    EXPECT_GE(index, 0);
    indices.push_back(index);
    os_joystick* j = os_joystick_open(index);
    handles.push_back(j);
    return j;
  }
  ~virtual_pads() {
    for (os_joystick* j : handles) os_joystick_close(j);
    // Detach from the highest index so earlier indices stay valid.
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) os_joystick_remove_virtual(*it);
  }
};

class InputDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_path_ = std::string(test_root()) + "/devices.log";
    setenv("PAVO_LOGFILE", log_path_.c_str(), 1);
    log_reset_for_tests();
    fake_aliases_clear();
    ASSERT_EQ(os_joystick_init(), 1);  // keeps the virtual devices alive
  }
  void TearDown() override {
    input_devices_close(&window_);
    std::free(window_.axis_names);
    os_joystick_quit();
    options_set_string(nullptr);
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
  }
  std::string logged() {
    log_close();
    return read_file(log_path_);
  }
  input_device* find(const char* name) { return input_device_find(window_.devices, name); }

  std::string log_path_;
  window_state window_;
};

TEST(InputDeviceId, FromNameCharactersAndMovedPastTakenIds) {
  // "Pad": even positions 'P' + 'd' = 180, odd 'a' = 97.
  EXPECT_EQ(input_device_id(nullptr, "Pad"), ((180u + 256u * 97u) & 0x7FFF) << 16);
  // An empty name sums to 0, which no device may have.
  EXPECT_EQ(input_device_id(nullptr, ""), 0x10000u);

  input_device a{};
  a.id = input_device_id(nullptr, "Pad");
  input_device b{};
  b.id = a.id + 0x10000;
  b.next = &a;
  EXPECT_EQ(input_device_id(&b, "Pad"), a.id + 0x20000);
  // The top id wraps to the bottom of the range.
  input_device top{};
  top.id = 0x7FFF0000;
  // "\xFF\x7F" sums to 0x7FFF: the top id, taken, wraps past 0 to the bottom.
  EXPECT_EQ(input_device_id(nullptr, "\xFF\x7F"), 0x7FFF0000u);
  EXPECT_EQ(input_device_id(&top, "\xFF\x7F"), 0x10000u);
}

TEST(InputDeviceName, SpacesAndDotsGoLongNamesAreCutTwinsNumbered) {
  char out[DEVICE_NAME_MAX + 12];
  input_device_make_name(nullptr, "Game Pad v1.2", out);
  EXPECT_STREQ(out, "GamePadv12");

  input_device first{};
  first.name = "Pad";
  input_device second{};
  second.name = "Pad#2";
  second.next = &first;
  input_device_make_name(&first, "Pad", out);
  EXPECT_STREQ(out, "Pad#2");
  input_device_make_name(&second, "P a.d", out);
  EXPECT_STREQ(out, "Pad#3");

  const std::string longest(80, 'L');
  input_device_make_name(nullptr, longest.c_str(), out);
  EXPECT_EQ(std::string(out), std::string(DEVICE_NAME_MAX, 'L'));
  input_device twin{};
  twin.name = "x";
  std::string cut(DEVICE_NAME_MAX, 'L');
  twin.name = cut.c_str();
  input_device_make_name(&twin, longest.c_str(), out);
  EXPECT_EQ(std::string(out), cut + "#2");
}

TEST_F(InputDevicesTest, TwinPadsEnumerateAndTheirAxesReadBack) {
  virtual_pads pads;
  os_joystick* first = pads.add("Pad", 2, 4);
  os_joystick* second = pads.add("Pad", 3, 2);
  input_devices_create(&window_);

  input_device* a = find("Pad");
  input_device* b = find("Pad#2");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->id, b->id);
  EXPECT_EQ(a->axis_count, 2);
  EXPECT_EQ(a->button_count, 4);
  EXPECT_EQ(b->axis_count, 3);
  ASSERT_NE(find("cursor"), nullptr);
  EXPECT_EQ(window_.devices, find("cursor"));  // newest first

  std::vector<std::string> names;
  for (const char** n = window_.axis_names; *n; ++n) names.push_back(*n);
  for (const char* want : {"Pad axis 0", "Pad axis 1", "Pad#2 axis 0", "Pad#2 axis 1", "Pad#2 axis 2"})
    EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;

  os_joystick_set_virtual_axis(first, 1, 12345);
  os_joystick_set_virtual_axis(second, 0, -32768);
  os_joystick_set_virtual_axis(second, 2, 32767);
  axis_handle* a1 = axis_open(&window_, "Pad.axis[1]");
  axis_handle* b0 = axis_open(&window_, "Pad#2 axis 0");
  axis_handle* b2 = axis_open(&window_, "Pad#2.axis[2]");
  ASSERT_TRUE(a1 && b0 && b2);
  EXPECT_EQ(axis_read(a1), 12345);
  EXPECT_EQ(axis_read(b0), -AXIS_RANGE);  // the one value outside the range is clamped
  EXPECT_EQ(axis_read(b2), AXIS_RANGE);
  EXPECT_EQ(b->open_axis_count, 2);
  for (axis_handle* h : {a1, b0, b2}) {
    axis_close(h);
    std::free(h);
  }
  EXPECT_EQ(b->open_axis_count, 0);

  const std::string log = logged();
  for (const char* line : {"DirectInput roll call...\n", "Pad (", "2 axes, 4 keys\n", "axis 1 is absolute\n",
                           "Adding axis \"Pad#2 axis 2\"\n", "End of DirectInput roll call\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(InputDevicesTest, AxisNamesThatDoNotResolveOpenNothing) {
  virtual_pads pads;
  pads.add("Pad", 2, 1);
  input_devices_create(&window_);
  for (const char* name : {"Pad.axis[2]", "Pad.axis[-1]", "Pad axis", "Nope.axis[0]", "pad.axis[0]", "Pad.key[0]",
                           "Pad", "", "cursor.axis[2]"})
    EXPECT_EQ(axis_open(&window_, name), nullptr) << name;
  input_window_alias_add("steer", "Pad axis 1");
  axis_handle* h = axis_open(&window_, "steer");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->index, 1);
  axis_close(h);
  std::free(h);
}

TEST_F(InputDevicesTest, ButtonChangesBecomeEventsWhenPolled) {
  virtual_pads pads;
  os_joystick* pad = pads.add("Pad", 1, 4);
  input_devices_create(&window_);
  input_device* d = find("Pad");
  ASSERT_NE(d, nullptr);
  d->events_enabled = d->enable_events(d);
  ASSERT_EQ(d->events_enabled, 1);

  os_joystick_set_virtual_button(pad, 3, 1);
  input_devices_poll(window_.devices);
  input_devices_poll(window_.devices);  // no change, no event
  os_joystick_set_virtual_button(pad, 3, 0);
  os_joystick_set_virtual_button(pad, 0, 1);
  input_devices_poll(window_.devices);

  const int code = static_cast<int>(d->id);
  ASSERT_EQ(window_.events.size(), 3u);
  EXPECT_EQ(window_.events[0].code, code | 3);
  EXPECT_EQ(window_.events[0].pressed, 1);
  EXPECT_EQ(window_.events[1].code, code | 0);
  EXPECT_EQ(window_.events[1].pressed, 1);
  EXPECT_EQ(window_.events[2].code, code | 3);
  EXPECT_EQ(window_.events[2].pressed, 0);
}

TEST_F(InputDevicesTest, NothingIsReadWhileTheWindowIsInTheBackground) {
  virtual_pads pads;
  os_joystick* pad = pads.add("Pad", 1, 1);
  input_devices_create(&window_);
  axis_handle* h = axis_open(&window_, "Pad.axis[0]");
  ASSERT_NE(h, nullptr);
  os_joystick_set_virtual_axis(pad, 0, 500);
  EXPECT_EQ(axis_read(h), 500);

  window_.focus = 0;
  os_joystick_set_virtual_axis(pad, 0, -900);
  os_joystick_set_virtual_button(pad, 0, 1);
  EXPECT_EQ(axis_read(h), 500);
  EXPECT_TRUE(window_.events.empty());

  window_.focus = 1;
  EXPECT_EQ(axis_read(h), -900);
  ASSERT_EQ(window_.events.size(), 1u);  // reading an axis polls the buttons too
  axis_close(h);
  std::free(h);
}

void push_mouse_motion(int dx, int dy) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  SDL_PushEvent(&e);
}

TEST_F(InputDevicesTest, MouseAxesReportMotionOnceAndKeepEachOthersMotion) {
  options_set_string("[dinputsticksonly:no]");
  input_devices_create(&window_);
  input_device* mouse = find("Mouse");
  ASSERT_NE(mouse, nullptr);
  EXPECT_EQ(mouse->axis_count, 3);
  EXPECT_EQ(mouse->button_count, 5);
  for (const char** n = window_.axis_names; *n; ++n) EXPECT_NE(std::string(*n).find("Mouse"), 0u) << *n;

  axis_handle* x = axis_open(&window_, "mouse-x");
  axis_handle* y = axis_open(&window_, "mouse-y");
  ASSERT_TRUE(x && y);
  push_mouse_motion(7, -3);
  push_mouse_motion(2, -1);
  EXPECT_EQ(axis_read(x), 9);
  EXPECT_EQ(axis_read(y), -4);  // read after x: its motion is still there
  EXPECT_EQ(axis_read(x), 0);
  EXPECT_EQ(axis_read(y), 0);
  axis_close(x);
  axis_close(y);
  std::free(x);
  std::free(y);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

  EXPECT_NE(logged().find("axis 2 is relative\n"), std::string::npos);
}

TEST_F(InputDevicesTest, WithDinputOffOnlyTheCursorExists) {
  virtual_pads pads;
  pads.add("Joystick1", 2, 2);
  options_set_string("[dinput:no][dinputsticksonly:no]");
  input_devices_create(&window_);
  ASSERT_NE(window_.devices, nullptr);
  EXPECT_STREQ(window_.devices->name, "cursor");
  EXPECT_EQ(window_.devices->next, nullptr);
  EXPECT_EQ(window_.axis_names[0], nullptr);
  EXPECT_EQ(axis_open(&window_, "mouse-x"), nullptr);
  EXPECT_EQ(axis_open(&window_, "joystick-a-x"), nullptr);
  const std::string log = logged();
  EXPECT_NE(log.find("DirectInput disabled\n"), std::string::npos);
  EXPECT_EQ(log.find("roll call"), std::string::npos);
}

TEST_F(InputDevicesTest, DeviceWithNeitherAxesNorButtonsIsIgnored) {
  virtual_pads pads;
  pads.add("Empty", 0, 0);
  input_devices_create(&window_);
  EXPECT_EQ(find("Empty"), nullptr);
  EXPECT_NE(logged().find("Ignoring Dunsel device\n"), std::string::npos);
}

TEST_F(InputDevicesTest, HugeDevicesKeepTheFirstHundredAxesAndFiveHundredButtons) {
  virtual_pads pads;
  pads.add("Cockpit", 101, 501);
  input_devices_create(&window_);
  input_device* d = find("Cockpit");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->axis_count, 100);
  EXPECT_EQ(d->button_count, 500);
  EXPECT_EQ(axis_open(&window_, "Cockpit axis 100"), nullptr);
  const std::string log = logged();
  for (const char* line : {"101 axes, 501 keys\n",
                           "Wow! This thing has a lot of axes!\nThe first ignored axis is called \"Axis 100\"\n",
                           "Axis count (101) doesn't match actual number of axes (100)\n",
                           "Button count (501) doesn't match actual number of buttons (500)\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(InputDevicesTest, CursorAxesAreClientPixelsEvenOutsideTheWindow) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display";
  input_devices_create(&window_);
  window_.left = 100;
  window_.top = 50;
  axis_handle* x = axis_open(&window_, "cursor-x");
  axis_handle* y = axis_open(&window_, "cursor.axis[1]");
  ASSERT_TRUE(x && y);
  SDL_WarpMouseGlobal(130, 40);
  EXPECT_EQ(axis_read(x), 30);
  EXPECT_EQ(axis_read(y), -10);
  SDL_WarpMouseGlobal(140, 75);
  EXPECT_EQ(axis_read(x), 40);
  EXPECT_EQ(axis_read(y), 25);
  axis_close(x);
  axis_close(y);
  std::free(x);
  std::free(y);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
