#pragma once
// Input devices attached to the game window: the cursor, game controllers
// and (when asked for) the mouse as a device of its own. Each has a name, a
// device id for its button codes, buttons and axes, and six operations.
// Axes are opened by name and read as integers; device buttons become
// events in the window's queue with codes (device id | button).
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

// An opened axis. The caller frees it (free) after axis_close.
struct axis_handle {
  input_device* device;
  int index;
};

// Absolute axes read -axis_range..axis_range.
const int axis_range = 0x7FFF;

// Longest device name before a "#n" twin suffix: the axis and button name
// parsers read at most 63 characters of a device name.
const int device_name_max = 60;

// Creates the window's devices: the controllers (option "dinput") and then
// the cursor device, and the default aliases; appends the interned name of
// every absolute axis to names (an array of const char*).
void input_devices_create(window_state* window, growable_array* names);
// Polls every device whose events are enabled.
void input_devices_poll(input_device* first);
// Closes and destroys every device of the window; the list becomes empty.
void input_devices_close(window_state* window);
// The window's device with exactly this name, or with this id; null if none.
input_device* input_device_by_name(window_state* window, const char* name);
input_device* input_device_by_id(window_state* window, unsigned id);

// The id for a new device called name, given the list it joins: from the
// name's characters, moved on past 0 and past the ids already taken. 0 when
// no id is free.
unsigned input_device_id(const input_device* first, const char* name);

// The name a device gets in the list: the instance name without spaces and
// dots, cut to device_name_max characters, with "#2", "#3" ... added until
// no device of the list has it. out must hold device_name_max + 12 bytes.
void input_device_make_name(const input_device* first, const char* instance_name, char* out);

// Opens an axis by name ("Pad.axis[1]", "Pad axis 1" or an alias of one).
// Null when the name does not resolve, the index is out of range or the
// device cannot be acquired.
axis_handle* axis_open(window_state* window, const char* name);
int axis_read(axis_handle* handle);
// The handle stays the caller's to free.
void axis_close(axis_handle* handle);
