#include "bike/robot_hooks.h"

void (*auto_pilot_physics_step_hook)(rider* r) = nullptr;
