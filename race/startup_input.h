#pragma once
// The input start-up opens and shut-down closes: the cursor axes and the
// codes of the menu keys. (Kept apart from main because the platform's
// device header and the core's growable array share a name.)
struct window_state;

// Opens "cursor-x" and "cursor-y" and looks up the 13 menu key codes. A
// name that names no input gets the code -1, which matches no event, and
// one log line.
void open_startup_input(window_state* window);
// Closes the axes opened above.
void close_startup_input();
