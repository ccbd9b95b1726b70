#include "bike/robot_hooks.h"

void (*rider_assist_step_hook)(rider* r) = nullptr;
