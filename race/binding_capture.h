#pragma once
// Binding a control by pressing an input or moving an analogue axis
// ("pot"). While a capture runs every axis of the game window is watched:
// an axis binds once it has moved far from where it rested and has found no
// new extreme for a quarter second, its range calibrated from that
// movement; otherwise a pressed input binds a quarter second after the last
// change. The frame loop hands it the presses and calls the update.
struct menu_binding;
struct axis_handle;

// One watched axis: its handle (null when it did not open), where it
// rested at the start and the farthest reading since (raw / 32768).
struct pot_watch {
  axis_handle* axis;
  float rest;
  float far;
};

struct binding_capture_state {
  const char* pending_name;  // the pressed input waiting to bind, or null
  int pending_code;          // 0 with no pending input
  double last_change;        // seconds of frame_clock
  const char** names;        // the window's axis names, null-terminated
  pot_watch* watches;        // one per name, or null
  int watch_count;
};

// The binding being captured; null while no capture runs.
extern menu_binding* binding_capture;
extern binding_capture_state binding_capture_info;

// Begins a capture of binding at now (frame_clock) on game_window's axes.
void watch_pots_start(menu_binding* binding, double now);
// Once per step or frame while a capture runs: binds an axis that moved
// far and settled, else a pending input that has settled.
void watch_pots_update(double now);
// A pressed input during the capture: "esc" cancels; the first input with
// a name becomes the pending one; later ones are ignored.
void watch_pots_key(int code, double now);
// Ends the capture with the binding as it was, closing every watched axis.
// Nothing happens when no capture runs.
void watch_pots_cancel();
