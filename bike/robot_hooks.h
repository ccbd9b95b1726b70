#pragma once
// What the rider code calls of the robot riders, which live in a higher
// library: robot_install_hooks() fills this in at start-up. Unset, the
// physics step carries on without it.
struct rider;

// Called by the rider physics step for every active rider, after the joint
// drift correction and before the controls are restored: the balance
// assist of every rider (the dab foot, the roll assist, the realign).
extern void (*rider_assist_step_hook)(rider* r);
