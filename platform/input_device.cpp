// Input devices attached to the game window.
#include "platform/input_device.h"

#include <cstring>

#include "platform/window.h"

void input_devices_create(window_state*, growable_array*) {
  // No device kinds yet: joysticks and the cursor device come later.
}

void input_devices_poll(input_device* first) {
  for (input_device* d = first; d; d = d->next)
    if (d->events_enabled) d->ops->poll(d);
}

void input_devices_close(window_state* window) {
  input_device* d = window->devices;
  window->devices = nullptr;
  while (d) {
    input_device* next = d->next;
    if (d->open_axes > 0) {
      d->open_axes = 0;
      d->ops->close(d);
    }
    d->ops->destroy(d);
    d = next;
  }
}

input_device* input_device_by_name(window_state* window, const char* name) {
  for (input_device* d = window->devices; d; d = d->next)
    if (std::strcmp(d->name, name) == 0) return d;
  return nullptr;
}

input_device* input_device_by_id(window_state* window, unsigned id) {
  for (input_device* d = window->devices; d; d = d->next)
    if (d->id == id) return d;
  return nullptr;
}
