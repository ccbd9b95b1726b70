#include "race/race_hooks.h"

race_hooks_table race_hooks;
