#pragma once
// Input devices attached to the game window: each has a name, a device id
// for its button codes, buttons and axes, and six operations.
#include "platform/array.h"

struct window_state;
struct input_device;

struct input_device_ops {
  int (*enable_events)(input_device* device);
  int (*open)(input_device* device);
  void (*close)(input_device* device);
  int (*read_axis)(input_device* device, int index);
  void (*poll)(input_device* device);
  void (*destroy)(input_device* device);
};

struct input_device {
  input_device* next;  // the window's list, newest first
  window_state* window;
  const char* name;
  unsigned id;  // nonzero 15-bit number << 16
  int open_axes;
  int events_enabled;
  int button_count;
  int axis_count;
  const input_device_ops* ops;
};

// Creates the window's devices, appending the interned name of every
// absolute axis to names (an array of const char*).
void input_devices_create(window_state* window, growable_array* names);
// Polls every device whose events are enabled.
void input_devices_poll(input_device* first);
// Closes and destroys every device of the window; the list becomes empty.
void input_devices_close(window_state* window);
// The window's device with exactly this name, or with this id; null if none.
input_device* input_device_by_name(window_state* window, const char* name);
input_device* input_device_by_id(window_state* window, unsigned id);
