#include "robot/auto_pilot.h"

#include "bike/rider.h"
#include "bike/robot_hooks.h"
#include "race/race_hooks.h"
#include "robot/record_pass.h"

void auto_pilot_physics_step(rider* r) {
  if (!r || r->down_counter <= 0) return;
  r->ramp += 8.0f / 128;
  if (r->ramp > 1) r->ramp = 1;
}

void robot_install_hooks() {
  auto_pilot_physics_step_hook = auto_pilot_physics_step;
  race_hooks.line_library_record_pass = line_library_record_pass;
}
