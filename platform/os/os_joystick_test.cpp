#include "platform/os/os_joystick.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(OsJoystick, VirtualDeviceReportsNameCountsAndValuesAfterUpdate) {
  ASSERT_EQ(os_joystick_init(), 1);
  const int index = os_joystick_add_virtual("Test Pad", 3, 4);
  ASSERT_GE(index, 0);
  ASSERT_LT(index, os_joystick_count());

  os_joystick_info info;
  ASSERT_EQ(os_joystick_describe(index, &info), 1);
  EXPECT_STREQ(info.instance_name, "Test Pad");
  EXPECT_EQ(std::strlen(info.product_name), 32u);  // the GUID as hex
  EXPECT_EQ(os_joystick_describe(os_joystick_count(), &info), 0);

  os_joystick* j = os_joystick_open(index);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(os_joystick_axis_count(j), 3);
  EXPECT_EQ(os_joystick_button_count(j), 4);

  EXPECT_EQ(os_joystick_set_virtual_axis(j, 1, -32768), 1);
  EXPECT_EQ(os_joystick_set_virtual_button(j, 2, 1), 1);
  // Nothing changes until the game polls.
  EXPECT_EQ(os_joystick_axis(j, 1), 0);
  EXPECT_EQ(os_joystick_button(j, 2), 0);
  os_joystick_update();
  EXPECT_EQ(os_joystick_axis(j, 1), -32768);
  EXPECT_EQ(os_joystick_button(j, 2), 1);
  EXPECT_EQ(os_joystick_button(j, 1), 0);

  os_joystick_close(j);
  EXPECT_EQ(os_joystick_remove_virtual(index), 1);
  os_joystick_quit();
}

}  // namespace
