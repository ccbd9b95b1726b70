#pragma once
// What the rider code calls of the robot riders, which live in a higher
// library: robot_install_hooks() fills this in at start-up. Unset, the
// physics step carries on without it.
struct rider;

// Called by the rider physics step for every active rider, after the joint
// drift correction: the auto pilot for robot riders and the dab foot of
// every rider.
extern void (*auto_pilot_physics_step_hook)(rider* r);
