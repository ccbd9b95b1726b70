#pragma once
// The 20 control bindings: twelve that drive the bike, eight commands. The
// frame loop matches their codes, the config file saves them and the
// controls page binds them.
#include "assets/held_controls.h"

enum {
  binding_throttle,
  binding_front_brake,
  binding_rear_brake,
  binding_left,
  binding_right,
  binding_clutch,
  binding_upshift,
  binding_downshift,
  binding_dab,
  binding_back_up,
  binding_lean_forward,
  binding_lean_backward,
  binding_pause,
  binding_step,
  binding_rewind,
  binding_skip,
  binding_prev,
  binding_next,
  binding_console,
  binding_screenshot,
  control_binding_count
};

// In the order above, which is the config file's order.
extern menu_binding control_bindings[control_binding_count];

// Each binding's config key ("throttle_key", ...) and default key name.
extern const char* const control_binding_keys[control_binding_count];
extern const char* const control_binding_defaults[control_binding_count];

// Which of the 9 rider inputs a bike binding drives (0 steer, 1 throttle,
// 2 front brake, 3 rear brake, 4 shift, 5 clutch, 6 sit/dab, 7 back up,
// 8 lean) and with which sign. The command bindings have none. The frame
// loop builds its control map from this.
struct control_binding_input {
  int binding;
  int control;
  int sign;
};
enum { control_binding_input_count = 12 };
extern const control_binding_input control_binding_inputs[control_binding_input_count];

// Puts every binding back to its default key (the names interned), with
// no axis and no resolved code.
void control_bindings_reset();
