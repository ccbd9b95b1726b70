#pragma once
// The dynamics world and the contact joint group. The race code owns them:
// it opens them at start-up, steps the world once a tick and closes them at
// shut-down. Terrain, shapes and riders create their bodies and contact
// joints in them, so they are held here, in the lowest library that uses
// them.
#include <ode/ode.h>

#include <cstdint>
#include <vector>

extern dWorldID dynamics_world;
extern dJointGroupID contact_group;

// Starts the dynamics library, then creates the world with gravity
// (0, -32, 0) and the contact group. Returns 1, or 0 after a log line when
// they are open already.
int dynamics_open();

// Destroys the contact group and the world and closes the library; nothing
// when they are not open.
void dynamics_close();

// Called just before each world step with the tick's joints in place; the
// benchmarks' island census. Null in the game.
extern void (*dynamics_step_watch)();

// One world step of `step` seconds, then the contact group emptied so every
// contact joint acts in exactly one step. Returns 0 after a log line when
// the step fails (the group is emptied all the same) or nothing is open.
int dynamics_step(double step);

// Contact generation may run per rider on worker threads. There the world
// is not touched: what a rider's contacts would do to it (contact joints,
// forces on its bodies, statues touched) goes to the rider's own batch, and
// the main thread plays the batches back in slot order, so the world sees
// the same joints and forces in the same order as from one thread.
struct contact_op {
  enum kind_t { add_joint, add_force, add_force_at } kind;
  dContact contact;         // joint
  dBodyID body1, body2;     // joint: attached in this order; force: body1
  dJointFeedback* feedback;  // joint: null for none
  dReal force[3], at[3];
};
struct contact_batch {
  std::vector<contact_op> ops;
  std::vector<int32_t> touched_statues;
};
// The calling thread's batch; null (the default) touches the world at once.
extern thread_local contact_batch* contact_recording;

// A contact joint in contact_group between body1 and body2 (either may be
// null for the static world), with its feedback record, or recorded.
void dynamics_add_contact(const dContact* c, dBodyID body1, dBodyID body2, dJointFeedback* feedback);
// dBodyAddForce and dBodyAddForceAtPos, or recorded.
void dynamics_add_force(dBodyID body, dReal fx, dReal fy, dReal fz);
void dynamics_add_force_at(dBodyID body, dReal fx, dReal fy, dReal fz, dReal px, dReal py, dReal pz);
// Applies the batch's joints and forces to the world in their order and
// empties it (its statues are left to the caller).
void contact_batch_replay(contact_batch* batch);
