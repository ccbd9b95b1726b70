#include "assets/game_window.h"

window_state* game_window;
