#include "race/control_bindings.h"

#include "core/intern.h"

const char* const control_binding_keys[control_binding_count] = {
    "throttle_key", "front_brake_key",   "rear_brake_key", "left_key",     "right_key",
    "clutch_key",   "upshift_key",       "downshift_key",  "dab_key",      "back_up_key",
    "lean_forward_key", "lean_backward_key", "pause_key",  "step_key",     "rewind_key",
    "skip_key",     "prev_key",          "next_key",       "console_key",  "screenshot_key"};

const char* const control_binding_defaults[control_binding_count] = {
    "x", "c", "v", "left", "right", "z", "up", "down", "right ctrl", "b",
    "n", "m", "pause", ".", "\\", "/", "[", "]", "t", "s"};

static const char* const labels[control_binding_count] = {
    "Throttle", "Front Brake", "Rear Brake", "Left",   "Right",    "Clutch",   "Upshift",
    "Downshift", "Sit/Dab",    "Back up",    "Lean Forward", "Lean Backward", "Pause",
    "Step",      "Rewind",     "Skip",       "Previous Bike", "Next Bike",     "Chat",     "Screenshot"};

// The steer input is positive to the left: the rider's steer is positive to
// the right, and the default bike setup's Reversed Steering (on) negates
// the input on its way there, so that the keys turn the natural way.
const control_binding_input control_binding_inputs[control_binding_input_count] = {
    {binding_throttle, 1, 1},      {binding_front_brake, 2, 1},   {binding_rear_brake, 3, 1},
    {binding_upshift, 4, 1},       {binding_downshift, 4, -1},    {binding_clutch, 5, 1},
    {binding_dab, 6, 1},           {binding_back_up, 7, 1},       {binding_lean_forward, 8, 1},
    {binding_lean_backward, 8, -1}, {binding_left, 0, 1},         {binding_right, 0, -1}};

menu_binding control_bindings[control_binding_count] = {
    {labels[0], "x", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[1], "c", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[2], "v", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[3], "left", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[4], "right", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[5], "z", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[6], "up", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[7], "down", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[8], "right ctrl", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[9], "b", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[10], "n", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[11], "m", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[12], "pause", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[13], ".", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[14], "\\", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[15], "/", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[16], "[", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[17], "]", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[18], "t", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
    {labels[19], "s", 0, nullptr, nullptr, 0.0f, 1.0f, {0, 0, 0, 0}},
};

void control_bindings_reset() {
  for (int i = 0; i < control_binding_count; ++i) {
    menu_binding& b = control_bindings[i];
    b.key_name = intern_string(control_binding_defaults[i]);
    b.key_code = 0;
    b.axis_name = nullptr;
    b.axis = nullptr;
    b.axis_minimum = 0.0f;
    b.axis_maximum = 1.0f;
  }
}
