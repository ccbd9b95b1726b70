#include "core/game_clock.h"

double game_clock = 0.0;
