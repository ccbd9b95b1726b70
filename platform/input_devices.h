#pragma once
// Input devices attached to the game window: the cursor, game controllers
// and (when asked for) the mouse as a device of its own. Axes are opened by
// name and read as integers; device buttons become events in the window's
// queue with codes (device id | button).

struct window_state;

struct input_device {
  input_device* next;
  window_state* window;
  const char* name;
  unsigned id;  // a nonzero 15-bit number shifted left 16
  int open_axis_count;
  int events_enabled;
  int button_count;
  int axis_count;

  int (*enable_events)(input_device* device);
  int (*open)(input_device* device);
  void (*close)(input_device* device);
  int (*read_axis)(input_device* device, int index);
  void (*poll)(input_device* device);
  void (*destroy)(input_device* device);
};

// An opened axis. The caller frees it (free) after axis_close.
struct axis_handle {
  input_device* device;
  int index;
};

// Absolute axes read -AXIS_RANGE..AXIS_RANGE.
const int AXIS_RANGE = 0x7FFF;

// Longest device name before a "#n" twin suffix: the axis and button name
// parsers read at most 63 characters of a device name.
const int DEVICE_NAME_MAX = 60;

// Creates the window's devices: the controllers (option "dinput") and then
// the cursor device, the default aliases, and the window's list of absolute
// axis names. Called once while the window opens.
void input_devices_create(window_state* window);

// Closes any open axes of every device and destroys it; the list is empty
// afterwards.
void input_devices_close(window_state* window);

// Polls every device of the list whose events are enabled.
void input_devices_poll(input_device* first);

// The id for a new device called name: from the name's characters, moved on
// past 0 and past the ids already in the list. 0 when no id is free.
unsigned input_device_id(const input_device* first, const char* name);

// The device called name (exact match) or with the given id; null if none.
input_device* input_device_find(input_device* first, const char* name);
input_device* input_device_find_id(input_device* first, unsigned id);

// The name a device gets in the list: the instance name without spaces and
// dots, cut to DEVICE_NAME_MAX characters, with "#2", "#3" ... added until
// no device of the list has it. out must hold DEVICE_NAME_MAX + 12 bytes.
void input_device_make_name(const input_device* first, const char* instance_name, char* out);

// Opens an axis by name ("Pad.axis[1]", "Pad axis 1" or an alias of one).
// Null when the name does not resolve, the index is out of range or the
// device cannot be acquired.
axis_handle* axis_open(window_state* window, const char* name);
int axis_read(axis_handle* handle);
void axis_close(axis_handle* handle);
