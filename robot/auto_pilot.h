#pragma once
// The auto pilot's part of the rider physics step.
struct rider;

// Per active rider and tick: while the rider lies down after a fall, its
// foot-down amount rises by 8/128 a tick up to 1.
void auto_pilot_physics_step(rider* r);

// Every line slot's last-picked tick to -1000000 (race reset).
void line_library_reset_pick_ticks();

// Points the rider code's and the race's hooks at the robot code; main
// calls it once.
void robot_install_hooks();
