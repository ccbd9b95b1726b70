#include "assets/view_extent.h"

float view_xe = 1.0f;
float view_ye = 0.75f;
