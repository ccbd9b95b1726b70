#pragma once
// The game's window, opened by main and read by the screens that draw
// while the main loop is busy (the loading screen). Null when there is none.
struct window_state;
extern window_state* game_window;
