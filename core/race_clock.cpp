#include "core/race_clock.h"

race_clock_state race_clock;
race_order_state race_order;
