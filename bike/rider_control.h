#pragma once
// The per-tick control step of a rider (bike/riders_step.h runs it for
// every rider in the slots after the world step).
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
