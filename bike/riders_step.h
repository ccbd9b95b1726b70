#pragma once
// One physics tick of 1/128 s for the riders in the slots: their contacts,
// the gyroscopic torques, the world step (which empties the contact group),
// then the control step of each in slot order. The race's tick runs it with
// what only the race knows put in through hooks, at the points where the
// race needs it; tests and benchmarks run the same step bare.

struct rider;

// Wall time of the step's parts, accumulated, in seconds. The control part
// includes the per-rider hooks around each control step; the hooks between
// the parts are in none of them.
struct riders_step_timing {
  double contacts, world_step, control;
};

struct riders_step_hooks {
  // Threads that make the contacts of the riders stepped here, the calling
  // one included; the world sees the same joints in the same order at any
  // count. Below 2, every contact is made on the calling thread.
  int threads;
  // In place of the contacts below, when set: every contact of the tick.
  void (*contacts)();
  // The contacts of a rider of kind RIDER_REMOTE (posed from elsewhere, so
  // it has no terrain or statue contacts of its own), each in its slot's
  // turn among the others' terrain and statue contacts.
  void (*remote_contacts)(rider* r);
  // Between the contacts and the world step.
  void (*before_world_step)();
  // Between the world step and the first control step.
  void (*after_world_step)();
  // Just before and just after the control step of the rider of a slot.
  void (*before_control)(int slot, rider* r);
  void (*after_control)(int slot, rider* r);
  // Where the step adds its parts' wall time, when set.
  riders_step_timing* timing;
};

// The tick. Without hooks (null), contacts are made on the calling thread:
// every rider not of kind RIDER_REMOTE against the terrain and the statues
// near it, in slot order, then each pair of those riders within reach,
// fastest first. 0 when the world step failed.
int riders_step(const riders_step_hooks* hooks);

// The order of the rider-rider contacts: faster first (speed of the frame
// body), so the faster rider's first contact of the tick gets the contact
// joints.
int compare_rider_speed(const void* a, const void* b);

// Whether two riders' frames are near enough for their parts to touch;
// pairs farther apart are not tested for contact.
int rider_pair_in_reach(const rider* a, const rider* b);
