#pragma once
// Game controllers (and the mouse, when every device is asked for) as input
// devices: found at window open, polled in state mode, buttons pushed as
// events when they change.

struct window_state;
struct input_device;
struct growable_array;

// Device flags.
enum {
  controller_needs_poll = 0x01,  // the device reads new values only when polled
  controller_relative = 0x02,    // axes report motion, not position
};

// Enumerates the attached controllers into the window's device list (option
// "dinput", default on; option "dinputsticksonly", default on, leaves out the
// mouse), appending each absolute axis name (interned) to axis_names.
// Returns 1 when the controller service started, so the controller aliases
// apply.
int controllers_init(window_state* window, growable_array* axis_names);
