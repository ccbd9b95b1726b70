#include "robot/auto_pilot.h"

#include "bike/rider.h"
#include "bike/robot_hooks.h"
#include "race/race_hooks.h"
#include "robot/lines.h"
#include "robot/record_pass.h"
#include "robot/rider_assist.h"
#include "robot/route_planner.h"
#include "terrain/track.h"

void line_library_reset_pick_ticks() {
  const int32_t slots = route_has_library() ? route_library_segments() * line_slots_per_segment : 0;
  for (int32_t i = 0; i < slots; i++) route.line_library[i].last_picked_tick = -1000000;
}

void robot_install_hooks() {
  rider_assist_step_hook = rider_assist_step;
  race_hooks.lines_write_and_clear = line_library_clear;
  race_hooks.lines_load = [](int skill) { lines_load_file(skill); };
  race_hooks.lines_prune_and_plan = [] {
    line_library_prune();
    plan_auto_pilot_routes();
  };
  race_hooks.robot_personality = rider_set_auto_pilot_personality;
  race_hooks.lines_reset_pick_ticks = line_library_reset_pick_ticks;
  race_hooks.line_library_record_pass = line_library_record_pass;
}
