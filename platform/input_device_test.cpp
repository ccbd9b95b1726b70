#include "platform/input_device.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

  // "\xFF\x7F" sums to 0x7FFF: the top id; when taken, it wraps past 0.
  EXPECT_EQ(input_device_id(nullptr, "\xFF\x7F"), 0x7FFF0000u);
  input_device top{};
  top.id = 0x7FFF0000;
  EXPECT_EQ(input_device_id(&top, "\xFF\x7F"), 0x10000u);
}

TEST(InputDeviceName, SpacesAndDotsGoLongNamesAreCutTwinsNumbered) {
  char out[device_name_max + 12];
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

  // Long names are cut before the suffix, so every name stays readable by
  // the axis and button parsers (63 characters).
  const std::string longest(80, 'L');
  const std::string cut(device_name_max, 'L');
  input_device_make_name(nullptr, longest.c_str(), out);
  EXPECT_EQ(std::string(out), cut);
  input_device twin{};
  twin.name = cut.c_str();
  input_device_make_name(&twin, longest.c_str(), out);
  EXPECT_EQ(std::string(out), cut + "#2");
}

}  // namespace
