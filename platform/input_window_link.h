#pragma once
// What the input devices need of the window and of the input-code module.
struct window_state;
struct input_device;

// The head of the window's device list.
input_device** input_window_device_list(window_state* window);
// Stores the window's null-terminated list of absolute axis names.
void input_window_set_axis_names(window_state* window, const char** names);
// 1 while the window has the input focus.
int input_window_has_focus(window_state* window);
// The desktop position of the window's client area. 1 when known.
int input_window_client_origin(window_state* window, int* x, int* y);
void input_window_push_event_now(window_state* window, int code, int pressed);
const char* input_window_intern(const char* text);
const char* input_window_alias_lookup(const char* name);
int input_window_alias_add(const char* name, const char* target);
