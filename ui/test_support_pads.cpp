#include "ui/test_support_pads.h"

#include "platform/input_device.h"
#include "race/control_bindings.h"

int pad_open_axes(window_state* window, const char* device) {
  const input_device* d = input_device_by_name(window, device);
  return d ? d->open_axes : -1;
}

int pad_axes_held_by_bindings(window_state* window, const char* device) {
  const input_device* d = input_device_by_name(window, device);
  int n = 0;
  for (const menu_binding& b : control_bindings)
    if (b.axis && b.axis->device == d) n++;
  return n;
}

int binding_axis_index(int binding) {
  const axis_handle* a = control_bindings[binding].axis;
  return a ? a->index : -1;
}
