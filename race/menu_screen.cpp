#include "race/menu_screen.h"

menu_screen_metrics menu_screen = {640, 480, -1, -1};
