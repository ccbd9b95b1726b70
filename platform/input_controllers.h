#pragma once
// Game controllers (and the mouse, when every device is asked for) as input
// devices: found at window open, polled in state mode, buttons pushed as
// events when they change.

struct window_state;
struct input_device;

// Device flags.
enum {
  CONTROLLER_NEEDS_POLL = 0x01,  // the device reads new values only when polled
  CONTROLLER_RELATIVE = 0x02,    // axes report motion, not position
};

// A growing list of interned axis names (malloc'd items).
struct axis_name_list {
  const char** items;
  int count;
  int capacity;
};
// Appends a name unless the list has it. 0 when out of memory.
int axis_name_list_add(axis_name_list* list, const char* name);

// Enumerates the attached controllers into the window's device list (option
// "dinput", default on; option "dinputsticksonly", default on, leaves out the
// mouse), adding each absolute axis name to axis_names. Returns 1 when the
// controller service started, so the controller aliases apply.
int controllers_init(window_state* window, axis_name_list* axis_names);
