#include "race/version.h"

const char* const game_version = "2020-07-23-1524 snapshot";
