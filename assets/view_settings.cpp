#include "assets/view_settings.h"

double fov = 110.0;
