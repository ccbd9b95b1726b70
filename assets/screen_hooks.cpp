#include "assets/screen_hooks.h"

screen_hooks_table screen_hooks;
