#pragma once
// The game clock: seconds since the game started, advanced by the main loop.
// Held here so every library that measures time on it links on its own.

extern double game_clock;
