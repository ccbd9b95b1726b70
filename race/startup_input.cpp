#include "race/startup_input.h"

#include <cstdlib>

#include "platform/input.h"
#include "platform/input_device.h"
#include "platform/log.h"
#include "race/game_state.h"

void open_startup_input(window_state* window) {
  game_state.cursor_axes[0] = axis_open(window, "cursor-x");
  game_state.cursor_axes[1] = axis_open(window, "cursor-y");
  for (int i = 0; i < menu_key_count; i++)
    if (!input_code_from_name(window, &game_state.menu_key_codes[i], menu_key_names[i])) {
      game_state.menu_key_codes[i] = -1;
      log_printf("No input named '%s'\n", menu_key_names[i]);
    }
}

void close_startup_input() {
  for (axis_handle*& axis : game_state.cursor_axes) {
    if (!axis) continue;
    axis_close(axis);
    std::free(axis);
    axis = nullptr;
  }
}
