// Game controllers and the mouse as input devices. Every device is read in
// state mode: a poll takes the whole state, copies the axes and pushes an
// event for each button whose state changed since the last poll.
#include "platform/input_controllers.h"

#include <cstdio>
#include <cstdlib>

#include "platform/array.h"
#include "platform/input.h"
#include "platform/input_device.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/os/os_joystick.h"
#include "platform/os/os_mouse.h"
#include "platform/window.h"

namespace {

const int max_axes = 100;
const int max_buttons = 500;
const int mouse_axes = 3;  // x, y, wheel
const int mouse_buttons = 5;

struct controller {
  input_device base;  // first: a device pointer is a controller pointer
  os_joystick* joystick;  // null for the mouse
  int* axis_values;
  unsigned char* button_states;  // last reported: 0x80 pressed, 0 released
  // The state a poll reads: one int per axis, then one byte per button.
  int* state_axes;
  unsigned char* state_buttons;
  unsigned char flags;
  int acquired;
  char name_text[device_name_max + 12];
};

controller* as_controller(input_device* device) { return reinterpret_cast<controller*>(device); }

int acquire(input_device* device) {
  controller* c = as_controller(device);
  if (!c->joystick && !c->acquired) {
    // Motion from before the mouse was taken belongs to the desktop.
    os_mouse_take_motion(nullptr, nullptr, nullptr);
    os_mouse_set_relative(1);
  }
  c->acquired = 1;
  return 1;
}

void unacquire(controller* c) {
  if (!c->acquired) return;
  if (!c->joystick) os_mouse_set_relative(0);
  c->acquired = 0;
}

void controller_close(input_device* device) {
  if (!device->events_enabled) unacquire(as_controller(device));
}

// Fills the state buffer. 0 while the window is in the background: devices
// belong to the game only while it has the focus.
int read_state(controller* c) {
  if (!c->acquired || !os_window_has_focus(c->base.window->handle)) {
    if (!c->joystick) os_mouse_take_motion(nullptr, nullptr, nullptr);
    return 0;
  }
  if (c->joystick) {
    for (int i = 0; i < c->base.axis_count; ++i) {
      int v = os_joystick_axis(c->joystick, i);
      if (v < -axis_range) v = -axis_range;
      if (v > axis_range) v = axis_range;
      c->state_axes[i] = v;
    }
    for (int i = 0; i < c->base.button_count; ++i)
      c->state_buttons[i] = os_joystick_button(c->joystick, i) ? 0x80 : 0;
  } else {
    os_mouse_take_motion(&c->state_axes[0], &c->state_axes[1], &c->state_axes[2]);
    const unsigned held = os_mouse_buttons();
    for (int i = 0; i < c->base.button_count; ++i) c->state_buttons[i] = (held >> i) & 1 ? 0x80 : 0;
  }
  return 1;
}

void controller_poll(input_device* device) {
  controller* c = as_controller(device);
  if (c->flags & controller_needs_poll) os_joystick_update();
  if (!read_state(c)) {
    acquire(device);
    if (!read_state(c)) return;
  }
  for (int i = 0; i < device->axis_count; ++i) {
    // Relative motion adds up until an axis is read, so reading one axis
    // never drops motion another axis has not yet reported.
    if (c->flags & controller_relative)
      c->axis_values[i] += c->state_axes[i];
    else
      c->axis_values[i] = c->state_axes[i];
  }
  // A button code keeps its number in the low byte: buttons past 255 have
  // no code, and pushing one would name (and bind) a different button.
  const int coded_buttons = device->button_count < 256 ? device->button_count : 256;
  for (int i = 0; i < coded_buttons; ++i) {
    if (c->state_buttons[i] == c->button_states[i]) continue;
    c->button_states[i] = c->state_buttons[i];
    window_push_event_now(device->window, static_cast<int>(device->id | static_cast<unsigned>(i)),
                          c->state_buttons[i] != 0);
  }
}

int controller_read_axis(input_device* device, int index) {
  controller* c = as_controller(device);
  controller_poll(device);
  const int v = c->axis_values[index];
  if (c->flags & controller_relative) c->axis_values[index] = 0;
  return v;
}

void controller_destroy(input_device* device) {
  controller* c = as_controller(device);
  log_printf("Killing %s\n", device->name);
  std::free(c->axis_values);
  std::free(c->button_states);
  std::free(c->state_axes);
  unacquire(c);
  if (c->joystick) {
    os_joystick_close(c->joystick);
    os_joystick_quit();
  } else {
    os_mouse_watch_stop();
  }
  std::free(c);
}

const input_device_ops controller_ops = {acquire,         acquire,      controller_close, controller_read_axis,
                                         controller_poll, controller_destroy};

void add_axis_name(growable_array* names, const char* name) {
  if (!name) return;
  const char* const* items = static_cast<const char* const*>(names->items);
  for (int i = 0; i < names->count; ++i)
    if (items[i] == name) return;
  array_append(names, &name);
}

// Caps the enumerated count of one kind of object and reports a count that
// differs from what the device claimed.
int enumerate_objects(int claimed, int limit, const char* kind, const char* object, const char* count_name) {
  int n = claimed;
  if (n > limit) {
    log_printf("Wow! This thing has a lot of %s!\nThe first ignored %s is called \"%s %d\"\n", kind, object,
               count_name, limit);
    n = limit;
  }
  if (n != claimed)
    log_printf("%s count (%d) doesn't match actual number of %s (%d)\n", count_name, claimed, kind, n);
  return n;
}

// One device of the roll call: joystick index >= 0, or -1 for the mouse.
// Returns 0 only when out of memory, which ends the roll call.
int add_device(window_state* window, growable_array* axis_names, int joystick_index, const os_joystick_info* info) {
  log_printf("%s (%s)\n", info->instance_name, info->product_name);
  controller* c = static_cast<controller*>(std::calloc(1, sizeof(controller)));
  if (!c) {
    log_printf("Out of memory\n");
    return 0;
  }
  input_device** list = &window->devices;
  input_device* d = &c->base;
  d->window = window;
  input_device_make_name(*list, info->instance_name, c->name_text);
  d->name = c->name_text;
  d->id = input_device_id(*list, d->name);
  d->ops = &controller_ops;

  int claimed_axes = mouse_axes;
  int claimed_buttons = mouse_buttons;
  if (joystick_index >= 0) {
    if (!os_joystick_init()) {
      log_printf("Can't create \"%s\"\n", info->instance_name);
      std::free(c);
      return 1;
    }
    c->joystick = os_joystick_open(joystick_index);
    if (!c->joystick) {
      log_printf("Can't create \"%s\"\n", info->instance_name);
      os_joystick_quit();
      std::free(c);
      return 1;
    }
    claimed_axes = os_joystick_axis_count(c->joystick);
    claimed_buttons = os_joystick_button_count(c->joystick);
    c->flags |= controller_needs_poll;
  } else {
    if (!os_mouse_watch_start()) {
      log_printf("Can't create \"%s\"\n", info->instance_name);
      std::free(c);
      return 1;
    }
    c->flags |= controller_relative;
  }
  if (claimed_axes == 0 && claimed_buttons == 0) {
    log_printf("Ignoring Dunsel device\n");
    controller_destroy(d);
    return 1;
  }
  if (d->id == 0) {
    log_printf("No free device id for \"%s\"\n", d->name);
    controller_destroy(d);
    return 1;
  }
  log_printf("%d axes, %d keys\n", claimed_axes, claimed_buttons);
  d->axis_count = enumerate_objects(claimed_axes, max_axes, "axes", "axis", "Axis");
  d->button_count = enumerate_objects(claimed_buttons, max_buttons, "buttons", "button", "Button");
  const int relative = c->flags & controller_relative;
  for (int i = 0; i < d->axis_count; ++i) log_printf("axis %d is %s\n", i, relative ? "relative" : "absolute");

  const size_t axes = static_cast<size_t>(d->axis_count);
  const size_t buttons = static_cast<size_t>(d->button_count);
  c->axis_values = static_cast<int*>(std::calloc(axes + 1, sizeof(int)));
  c->button_states = static_cast<unsigned char*>(std::calloc(buttons + 1, 1));
  // One block: the axes, then the button bytes (the +1s keep empty kinds
  // from asking for nothing).
  c->state_axes = static_cast<int*>(std::calloc(axes + 1 + (buttons + sizeof(int)) / sizeof(int), sizeof(int)));
  if (!c->axis_values || !c->button_states || !c->state_axes) {
    log_printf("Out of memory\n");
    controller_destroy(d);
    return 0;
  }
  c->state_buttons = reinterpret_cast<unsigned char*>(c->state_axes + axes + 1);

  if (!relative) {
    for (int i = 0; i < d->axis_count; ++i) {
      char axis_name[256];
      std::snprintf(axis_name, sizeof axis_name, "%.200s axis %d", d->name, i);
      log_printf("Adding axis \"%s\"\n", axis_name);
      add_axis_name(axis_names, input_name_intern(axis_name));
    }
  }
  d->next = *list;
  *list = d;
  return 1;
}

}  // namespace

int controllers_init(window_state* window, growable_array* axis_names) {
  if (!option_bool("dinput", 1)) {
    log_printf("DirectInput disabled\n");
    return 0;
  }
  if (!os_joystick_init()) {
    log_printf("Can't open direct input library\n");
    return 0;
  }
  log_printf("Creating DirectInput object\n");
  log_printf("DirectInput roll call...\n");
  int going = 1;
  if (!option_bool("dinputsticksonly", 1)) {
    os_joystick_info mouse;
    std::snprintf(mouse.instance_name, sizeof mouse.instance_name, "Mouse");
    std::snprintf(mouse.product_name, sizeof mouse.product_name, "Mouse");
    going = add_device(window, axis_names, -1, &mouse);
  }
  const int count = os_joystick_count();
  for (int i = 0; going && i < count; ++i) {
    os_joystick_info info;
    if (os_joystick_describe(i, &info)) going = add_device(window, axis_names, i, &info);
  }
  log_printf("End of DirectInput roll call\n");
  os_joystick_quit();
  return 1;
}
