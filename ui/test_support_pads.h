#pragma once
// What the capture tests ask of the pads, kept apart because the
// platform's device header and the core's growable array share a name.
struct window_state;

// The device's count of open axes.
int pad_open_axes(window_state* window, const char* device);
// How many control bindings hold an open axis of the device.
int pad_axes_held_by_bindings(window_state* window, const char* device);
// The index within its device of the axis a binding holds, or -1.
int binding_axis_index(int binding);
