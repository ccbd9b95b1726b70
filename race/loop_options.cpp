#include "race/loop_options.h"

loop_options_record loop_options = {1, 1, 0, 0.0, 0, 0, 0, {0, 0, 0}, nullptr, nullptr, -1};
