// Input devices: ids and names, the cursor device, opening and reading axes.
#include "platform/input_device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/input.h"
#include "platform/input_controllers.h"
#include "platform/log.h"
#include "platform/os/os_mouse.h"
#include "platform/window.h"

namespace {

const char* const cursor_name = "cursor";

int cursor_accept(input_device*) { return 1; }
void cursor_nothing(input_device*) {}
void cursor_destroy(input_device* device) { std::free(device); }

// Client pixels: negative, or past the client size, while the pointer is
// outside the window.
int cursor_read_axis(input_device* device, int index) {
  int x = 0, y = 0, left = 0, top = 0;
  if (!device->window->handle || !os_mouse_global_position(&x, &y)) return 0;
  os_window_client_origin(device->window->handle, &left, &top);
  return index == 0 ? x - left : y - top;
}

const input_device_ops cursor_ops = {cursor_accept,    cursor_accept,  cursor_nothing,
                                     cursor_read_axis, cursor_nothing, cursor_destroy};

void add_cursor_device(window_state* window) {
  input_device* d = static_cast<input_device*>(std::calloc(1, sizeof(input_device)));
  if (!d) {
    log_printf("Out of memory\n");
    return;
  }
  d->window = window;
  d->name = cursor_name;
  d->id = input_device_id(window->devices, cursor_name);
  d->axis_count = 2;
  d->ops = &cursor_ops;
  d->next = window->devices;
  window->devices = d;
}

struct alias_pair {
  const char* name;
  const char* target;
};

const alias_pair cursor_aliases[] = {
    {"cursor-x", "cursor.axis[0]"},
    {"cursor-y", "cursor.axis[1]"},
};

const alias_pair controller_aliases[] = {
    {"mouse-x", "Mouse.axis[0]"},          {"mouse-y", "Mouse.axis[1]"},
    {"mouse-left", "Mouse.key[0]"},        {"mouse-right", "Mouse.key[1]"},
    {"mouse-middle", "Mouse.key[2]"},      {"joystick-a-x", "Joystick1.axis[0]"},
    {"joystick-a-y", "Joystick1.axis[1]"}, {"joystick-a-1", "Joystick1.key[0]"},
    {"joystick-a-2", "Joystick1.key[1]"},  {"joystick-b-x", "Joystick2.axis[0]"},
    {"joystick-b-y", "Joystick2.axis[1]"}, {"joystick-b-1", "Joystick2.key[0]"},
    {"joystick-b-2", "Joystick2.key[1]"},
};

input_device* find_in(const input_device* first, const char* name) {
  for (const input_device* d = first; d; d = d->next)
    if (std::strcmp(d->name, name) == 0) return const_cast<input_device*>(d);
  return nullptr;
}

}  // namespace

void input_devices_create(window_state* window, growable_array* names) {
  const int controllers = controllers_init(window, names);
  add_cursor_device(window);
  for (const alias_pair& a : cursor_aliases) alias_add(a.name, a.target);
  if (controllers)
    for (const alias_pair& a : controller_aliases) alias_add(a.name, a.target);
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

input_device* input_device_by_name(window_state* window, const char* name) { return find_in(window->devices, name); }

input_device* input_device_by_id(window_state* window, unsigned id) {
  for (input_device* d = window->devices; d; d = d->next)
    if (d->id == id) return d;
  return nullptr;
}

unsigned input_device_id(const input_device* first, const char* name) {
  unsigned s0 = 0, s1 = 0;
  for (size_t i = 0; name[i]; ++i) {
    const unsigned char ch = static_cast<unsigned char>(name[i]);
    if (i % 2 == 0)
      s0 = (s0 + ch) & 0xFFFF;
    else
      s1 = (s1 + ch) & 0xFF;
  }
  unsigned id = ((s0 + 256 * s1) & 0x7FFF) << 16;
  for (int tries = 0; tries < 65535; ++tries) {
    bool taken = id == 0;
    for (const input_device* d = first; d && !taken; d = d->next) taken = d->id == id;
    if (!taken) return id;
    id = (id + 0x10000) & 0x7FFF0000;
  }
  return 0;
}

void input_device_make_name(const input_device* first, const char* instance_name, char* out) {
  // Names are read back by the axis and button parsers, which stop at a dot
  // or a space and take at most 63 characters: keep names within that.
  int n = 0;
  for (const char* p = instance_name; *p && n < device_name_max; ++p)
    if (*p != ' ' && *p != '.') out[n++] = *p;
  out[n] = '\0';
  for (int suffix = 2; find_in(first, out); ++suffix) std::snprintf(out + n, 12, "#%d", suffix);
}

axis_handle* axis_open(window_state* window, const char* name) {
  name = alias_lookup(name);
  char device_name[64];
  int index = -1;
  if (std::sscanf(name, "%63[^.].axis[%d]", device_name, &index) != 2 &&
      std::sscanf(name, "%63s axis %d", device_name, &index) != 2)
    return nullptr;
  if (index < 0) return nullptr;
  input_device* d = input_device_by_name(window, device_name);
  if (!d || index >= d->axis_count) return nullptr;
  axis_handle* handle = static_cast<axis_handle*>(std::malloc(sizeof(axis_handle)));
  if (!handle) return nullptr;
  handle->device = d;
  handle->index = index;
  if (d->open_axes == 0 && !d->ops->open(d)) {
    std::free(handle);
    return nullptr;
  }
  ++d->open_axes;
  return handle;
}

int axis_read(axis_handle* handle) { return handle->device->ops->read_axis(handle->device, handle->index); }

void axis_close(axis_handle* handle) {
  input_device* d = handle->device;
  if (--d->open_axes <= 0) {
    d->ops->close(d);
    d->open_axes = 0;
  }
}
