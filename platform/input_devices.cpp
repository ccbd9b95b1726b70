// Input devices: ids and names, the cursor device, opening and reading axes.
#include "platform/input_devices.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/input_controllers.h"
#include "platform/input_window_link.h"
#include "platform/log.h"
#include "platform/os/os_mouse.h"

namespace {

const char* const CURSOR_NAME = "cursor";

int cursor_accept(input_device*) { return 1; }
void cursor_nothing(input_device*) {}
void cursor_destroy(input_device* device) { std::free(device); }

// Client pixels: negative, or past the client size, while the pointer is
// outside the window.
int cursor_read_axis(input_device* device, int index) {
  int x = 0, y = 0, left = 0, top = 0;
  if (!os_mouse_global_position(&x, &y) || !input_window_client_origin(device->window, &left, &top)) return 0;
  return index == 0 ? x - left : y - top;
}

void add_cursor_device(window_state* window) {
  input_device** list = input_window_device_list(window);
  input_device* d = static_cast<input_device*>(std::calloc(1, sizeof(input_device)));
  if (!d) {
    log_printf("Out of memory\n");
    return;
  }
  d->window = window;
  d->name = CURSOR_NAME;
  d->id = input_device_id(*list, CURSOR_NAME);
  d->axis_count = 2;
  d->enable_events = cursor_accept;
  d->open = cursor_accept;
  d->close = cursor_nothing;
  d->read_axis = cursor_read_axis;
  d->poll = cursor_nothing;
  d->destroy = cursor_destroy;
  d->next = *list;
  *list = d;
}

struct alias_pair {
  const char* name;
  const char* target;
};

const alias_pair CURSOR_ALIASES[] = {
    {"cursor-x", "cursor.axis[0]"},
    {"cursor-y", "cursor.axis[1]"},
};

const alias_pair CONTROLLER_ALIASES[] = {
    {"mouse-x", "Mouse.axis[0]"},          {"mouse-y", "Mouse.axis[1]"},
    {"mouse-left", "Mouse.key[0]"},        {"mouse-right", "Mouse.key[1]"},
    {"mouse-middle", "Mouse.key[2]"},      {"joystick-a-x", "Joystick1.axis[0]"},
    {"joystick-a-y", "Joystick1.axis[1]"}, {"joystick-a-1", "Joystick1.key[0]"},
    {"joystick-a-2", "Joystick1.key[1]"},  {"joystick-b-x", "Joystick2.axis[0]"},
    {"joystick-b-y", "Joystick2.axis[1]"}, {"joystick-b-1", "Joystick2.key[0]"},
    {"joystick-b-2", "Joystick2.key[1]"},
};

}  // namespace

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

input_device* input_device_find(input_device* first, const char* name) {
  for (input_device* d = first; d; d = d->next)
    if (std::strcmp(d->name, name) == 0) return d;
  return nullptr;
}

input_device* input_device_find_id(input_device* first, unsigned id) {
  for (input_device* d = first; d; d = d->next)
    if (d->id == id) return d;
  return nullptr;
}

void input_device_make_name(const input_device* first, const char* instance_name, char* out) {
  // Names are read back by the axis and button parsers, which stop at a dot
  // or a space and take at most 63 characters: keep names within that.
  int n = 0;
  for (const char* p = instance_name; *p && n < DEVICE_NAME_MAX; ++p)
    if (*p != ' ' && *p != '.') out[n++] = *p;
  out[n] = '\0';
  input_device* list = const_cast<input_device*>(first);
  for (int suffix = 2; input_device_find(list, out); ++suffix) std::snprintf(out + n, 12, "#%d", suffix);
}

void input_devices_create(window_state* window) {
  axis_name_list names = {nullptr, 0, 0};
  const int controllers = controllers_init(window, &names);
  add_cursor_device(window);
  for (const alias_pair& a : CURSOR_ALIASES) input_window_alias_add(a.name, a.target);
  if (controllers)
    for (const alias_pair& a : CONTROLLER_ALIASES) input_window_alias_add(a.name, a.target);

  if (!axis_name_list_add(&names, nullptr)) {
    log_printf("Out of memory\n");
    std::free(names.items);
    return;
  }
  void* shrunk = std::realloc(names.items, static_cast<size_t>(names.count) * sizeof(const char*));
  input_window_set_axis_names(window, shrunk ? static_cast<const char**>(shrunk) : names.items);
}

void input_devices_close(window_state* window) {
  input_device** list = input_window_device_list(window);
  while (input_device* d = *list) {
    *list = d->next;
    if (d->open_axis_count > 0) {
      d->open_axis_count = 0;
      d->close(d);
    }
    d->destroy(d);
  }
}

void input_devices_poll(input_device* first) {
  for (input_device* d = first; d; d = d->next)
    if (d->events_enabled) d->poll(d);
}

axis_handle* axis_open(window_state* window, const char* name) {
  name = input_window_alias_lookup(name);
  char device_name[64];
  int index = -1;
  if (std::sscanf(name, "%63[^.].axis[%d]", device_name, &index) != 2 &&
      std::sscanf(name, "%63s axis %d", device_name, &index) != 2)
    return nullptr;
  if (index < 0) return nullptr;
  input_device* d = input_device_find(*input_window_device_list(window), device_name);
  if (!d || index >= d->axis_count) return nullptr;
  axis_handle* handle = static_cast<axis_handle*>(std::malloc(sizeof(axis_handle)));
  if (!handle) return nullptr;
  handle->device = d;
  handle->index = index;
  if (d->open_axis_count == 0 && !d->open(d)) {
    std::free(handle);
    return nullptr;
  }
  ++d->open_axis_count;
  return handle;
}

int axis_read(axis_handle* handle) { return handle->device->read_axis(handle->device, handle->index); }

void axis_close(axis_handle* handle) {
  input_device* d = handle->device;
  if (--d->open_axis_count <= 0) {
    d->close(d);
    d->open_axis_count = 0;
  }
}
