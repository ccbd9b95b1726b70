#pragma once
// The mouse as a device of its own: motion and wheel gathered from SDL's
// event stream (whichever thread pumps it), the global pointer position and
// relative mode.

// Button bits of os_mouse_buttons, in the order games number mouse buttons.
enum {
  os_mouse_left = 1 << 0,
  os_mouse_right = 1 << 1,
  os_mouse_middle = 1 << 2,
  os_mouse_x1 = 1 << 3,
  os_mouse_x2 = 1 << 4,
};

// One wheel notch, as the wheel axis counts it.
const int os_mouse_wheel_step = 120;

// Start and stop gathering motion (counted). 0 when SDL's event service
// cannot start.
int os_mouse_watch_start();
void os_mouse_watch_stop();

// Motion gathered since the last take (pixels, wheel in os_mouse_wheel_step
// units per notch, positive away from the user), then cleared. Any pointer
// may be null to take only the others.
void os_mouse_take_motion(int* dx, int* dy, int* wheel);
// The buttons held, as of the last event pump.
unsigned os_mouse_buttons();

// The pointer position on the desktop. 1 when known.
int os_mouse_global_position(int* x, int* y);
// Moves the pointer to a desktop position.
void os_mouse_warp_global(int x, int y);

// Relative mode: the pointer is hidden and held, and only motion is reported.
int os_mouse_set_relative(int on);
