#pragma once
// Game controllers over SDL joysticks. Only the game thread calls these:
// SDL is told not to update joysticks while it pumps window events, so the
// state read here changes only in os_joystick_update.

struct os_joystick;

// What the roll call needs to know about an attached device before opening it.
struct os_joystick_info {
  char instance_name[260];  // the name the device reports
  char product_name[260];   // SDL's GUID text: the best product identity it has
};

// Start and stop the joystick service (counted: every successful init needs
// one quit). 0 when SDL cannot offer joysticks.
int os_joystick_init();
void os_joystick_quit();

// Devices attached now, indexed 0..count-1 until the next init or hot-plug.
int os_joystick_count();
int os_joystick_describe(int index, os_joystick_info* info);

os_joystick* os_joystick_open(int index);
void os_joystick_close(os_joystick* joystick);
int os_joystick_axis_count(os_joystick* joystick);
int os_joystick_button_count(os_joystick* joystick);

// Reads every open device once; the values below change only here.
void os_joystick_update();
// -32768..32767 as the device reports it.
int os_joystick_axis(os_joystick* joystick, int axis);
// 1 pressed, 0 released.
int os_joystick_button(os_joystick* joystick, int button);

// Software devices that behave like real ones, for tests and tools. Returns
// the device index, or -1. The values set show after the next update.
int os_joystick_add_virtual(const char* name, int axes, int buttons);
int os_joystick_remove_virtual(int index);
int os_joystick_set_virtual_axis(os_joystick* joystick, int axis, int value);
int os_joystick_set_virtual_button(os_joystick* joystick, int button, int pressed);
