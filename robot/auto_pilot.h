#pragma once
// The robot riders' per-tick driving and the hooks that plug the robot
// code into the rider code and the race.
struct rider;

// Every line slot's last-picked tick to -1000000 (race reset).
void line_library_reset_pick_ticks();

// Points the rider code's and the race's hooks at the robot code; main
// calls it once.
void robot_install_hooks();
