#pragma once
// The input start-up opens and shut-down closes: the cursor axes, the
// codes and axes of the control bindings and the codes of the menu keys. (Kept apart from main because the platform's
// device header and the core's growable array share a name.)
struct window_state;

// Opens "cursor-x" and "cursor-y", gives every control binding the code of
// its key name and opens its axis, and looks up the 13 menu key codes. A
// name that names no input gets no code (0 for a binding, -1 for a menu
// key, matching no event) and one log line.
void open_startup_input(window_state* window);
// Closes every axis opened above.
void close_startup_input();
