#include "race/startup_input.h"

#include <cstdlib>

#include "platform/input.h"
#include "platform/input_device.h"
#include "platform/log.h"
#include "race/control_bindings.h"
#include "race/game_state.h"

void open_startup_input(window_state* window) {
  game_state.cursor_axes[0] = axis_open(window, "cursor-x");
  game_state.cursor_axes[1] = axis_open(window, "cursor-y");
  for (int i = 0; i < control_binding_count; i++) {
    menu_binding& b = control_bindings[i];
    b.key_code = 0;
    if (b.key_name && b.key_name[0] && !input_code_from_name(window, &b.key_code, b.key_name)) {
      b.key_code = 0;
      log_printf("%s: no input named '%s'\n", control_binding_keys[i], b.key_name);
    }
    if (b.axis_name && b.axis_name[0] && !b.axis) {
      b.axis = axis_open(window, b.axis_name);
      if (!b.axis) log_printf("%s: no axis named '%s'\n", control_binding_keys[i], b.axis_name);
    }
  }
  for (int i = 0; i < menu_key_count; i++)
    if (!input_code_from_name(window, &game_state.menu_key_codes[i], menu_key_names[i])) {
      game_state.menu_key_codes[i] = -1;
      log_printf("No input named '%s'\n", menu_key_names[i]);
    }
}

static void close_axis(axis_handle*& axis) {
  if (!axis) return;
  axis_close(axis);
  std::free(axis);
  axis = nullptr;
}

void close_startup_input() {
  for (axis_handle*& axis : game_state.cursor_axes) close_axis(axis);
  for (menu_binding& b : control_bindings) close_axis(b.axis);
}
