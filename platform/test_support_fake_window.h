#pragma once
#include <vector>

struct input_device;
struct fake_event {
  int code;
  int pressed;
};
struct window_state {
  input_device* devices = nullptr;
  const char** axis_names = nullptr;
  int focus = 1;
  int left = 0, top = 0;
  std::vector<fake_event> events;
};
void fake_aliases_clear();
