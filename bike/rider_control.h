#pragma once
// The per-tick control step of a rider, and the physics tick that steps every
// rider in the slots with the world.
#include <ode/ode.h>

struct rider;

// The whole control step of one rider, after the world step of the tick.
void rider_physics_tick(rider* r);
// Throws the rider off on a too violent relative speed or acceleration; the
// thresholds drop by a third just after a long jump lands.
void rider_check_crash(rider* r);
// The ropes that pull a lying rider back onto the seat while the counter
// runs below 512, and the foot that reaches for its peg.
void rider_remount_pull(rider* r);
// One soft rope between point a of body a and point b of body b (each in its
// body's coordinates): pulls only when they are farther apart than length.
void rider_hold_contact(dBodyID a, const float pa[3], dBodyID b, const float pb[3], float length);
// Horizontal push of at most limit toward the target velocity.
void push_body_toward_velocity(dBodyID body, float limit, const float target[3]);
// Takes the joints' summed reaction off the frame, so numerical joint drift
// does not push the bike along.
void rider_cancel_joint_drift(rider* r);

// Whether two riders' frames are near enough for their parts to touch;
// pairs farther apart are not tested for contact.
int rider_pair_in_reach(const rider* a, const rider* b);

// Shares of the last physics_tick's wall time, for the benchmark.
struct physics_tick_timing {
  double contacts, world_step, control;  // seconds, accumulated
};
extern physics_tick_timing physics_timing;

// One tick of 1/128 s for every active rider in the slots: their contacts,
// the gyroscopic torques, the world step (which empties the contact group),
// then the control step of each. 0 when the world step failed.
int physics_tick();
