#include "core/race_clock.h"

race_clock_state race_clock;
