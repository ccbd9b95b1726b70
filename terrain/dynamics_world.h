#pragma once
// The dynamics world and the contact joint group. The race code owns them:
// it opens them at start-up, steps the world once a tick and closes them at
// shut-down. Terrain, shapes and riders create their bodies and contact
// joints in them, so they are held here, in the lowest library that uses
// them.
#include <ode/ode.h>

extern dWorldID dynamics_world;
extern dJointGroupID contact_group;

// Starts the dynamics library, then creates the world with gravity
// (0, -32, 0) and the contact group. Returns 1, or 0 after a log line when
// they are open already.
int dynamics_open();

// Destroys the contact group and the world and closes the library; nothing
// when they are not open.
void dynamics_close();

// One world step of `step` seconds, then the contact group emptied so every
// contact joint acts in exactly one step. Returns 0 after a log line when
// the step fails (the group is emptied all the same) or nothing is open.
int dynamics_step(double step);
