#include "race/binding_capture.h"

#include <cmath>
#include <cstdlib>

#include "assets/game_window.h"
#include "assets/held_controls.h"
#include "core/memory.h"
#include "platform/input.h"
#include "platform/input_device.h"
#include "platform/log.h"
#include "platform/window.h"
#include "race/game_state.h"

menu_binding* binding_capture;
binding_capture_state binding_capture_info;

static const double settle_seconds = 0.25;

static void close_axis(axis_handle* axis) {
  if (!axis) return;
  axis_close(axis);
  std::free(axis);
}

// Closes what the watch list still owns and ends the capture.
static void finish_capture() {
  binding_capture_state& c = binding_capture_info;
  for (int i = 0; i < c.watch_count; i++) close_axis(c.watches[i].axis);
  std::free(c.watches);
  c.watches = nullptr;
  c.watch_count = 0;
  c.names = nullptr;
  c.pending_name = nullptr;
  c.pending_code = 0;
  binding_capture = nullptr;
  if (game_state.debug_level > 0) log_printf("Done watching pots\n");
}

// A control that was held when it was rebound would otherwise stay on
// until its new input moves.
static void release_rebound(const menu_binding* binding) {
  for (control_map_entry* e = control_map; e && e->binding; e++)
    if (e->binding == binding) e->value = 0.0f;
}

static float read_pot(axis_handle* axis) { return static_cast<float>(axis_read(axis) / 32768.0); }

void watch_pots_start(menu_binding* binding, double now) {
  if (binding_capture) watch_pots_cancel();
  binding_capture_state& c = binding_capture_info;
  binding_capture = binding;
  c.pending_name = nullptr;
  c.pending_code = 0;
  c.last_change = now;
  c.names = game_window ? input_device_names(game_window) : nullptr;
  if (game_state.debug_level > 0) log_printf("Watching pots\n");
  int count = 0;
  while (c.names && c.names[count]) count++;
  c.watch_count = 0;
  c.watches = nullptr;
  if (count == 0) return;
  c.watches = static_cast<pot_watch*>(std::calloc(count, sizeof(pot_watch)));
  if (!c.watches) out_of_memory();
  c.watch_count = count;
  for (int i = 0; i < count; i++) {
    pot_watch& w = c.watches[i];
    w.axis = axis_open(game_window, c.names[i]);
    w.rest = w.far = w.axis ? read_pot(w.axis) : 0.0f;
    if (game_state.debug_level > 0) log_printf("\t%s %s\n", c.names[i], w.axis ? "Ok" : "Failed");
  }
}

void watch_pots_update(double now) {
  if (!binding_capture) return;
  binding_capture_state& c = binding_capture_info;
  menu_binding* b = binding_capture;
  for (int i = 0; i < c.watch_count; i++) {
    pot_watch& w = c.watches[i];
    if (!w.axis) continue;
    const float v = read_pot(w.axis);
    const float d = std::fabs(w.rest - w.far);
    if (std::fabs(w.rest - v) > d) {
      w.far = v;
      c.last_change = now;
    } else if (now > c.last_change + settle_seconds && d > 0.5f) {
      b->key_name = nullptr;
      b->key_code = 0;
      b->axis_name = c.names[i];
      close_axis(b->axis);
      b->axis = w.axis;
      w.axis = nullptr;
      b->axis_minimum = w.rest + (w.far - w.rest) * 0.0625f;
      b->axis_maximum = w.rest + (w.far - w.rest) * 0.9375f;
      release_rebound(b);
      finish_capture();
      return;
    }
  }
  if (c.pending_code != 0 && now > c.last_change + settle_seconds) {
    b->key_name = c.pending_name;
    b->key_code = c.pending_code;
    b->axis_name = nullptr;
    close_axis(b->axis);
    b->axis = nullptr;
    release_rebound(b);
    finish_capture();
  }
}

// The display name of a pressed code. Device buttons need the window;
// without one only keys and mouse buttons have names.
static const char* code_name(int code) {
  if (game_window) return input_code_name(game_window, code);
  const int key = code >= input_code_key && code <= input_code_key + 0x1FF;
  const int mouse = code >= input_code_mouse_left && code <= input_code_mouse_right;
  if (key || mouse) return input_code_name(nullptr, code);
  return nullptr;
}

void watch_pots_key(int code, double now) {
  if (!binding_capture) return;
  const int esc = game_state.menu_key_codes[menu_key_esc];
  if (esc != 0 && code == esc) {
    watch_pots_cancel();
    return;
  }
  binding_capture_state& c = binding_capture_info;
  if (c.pending_code != 0) return;
  const char* name = code_name(code);
  if (!name) return;
  c.pending_name = name;
  c.pending_code = code;
  c.last_change = now;
}

void watch_pots_cancel() {
  if (!binding_capture) return;
  finish_capture();
}
