// Falling off: the rider body comes free of the frame and the feet become
// point masses of their own.
#include "bike/rider_fall.h"

#include "bike/rider.h"
#include "bike/rider_limbs.h"

int32_t knockout_extra[knockout_extra_count];

void rider_fall_off(rider* r) {
  if (r->down_counter > 0 || r->hit_timer < 0) return;
  if (r->joints[RIDER_PERSON_JOINT]) dJointAttach(r->joints[RIDER_PERSON_JOINT], nullptr, nullptr);
  rider_limb_pose(r, r->point_a_pos, nullptr, r->point_b_pos, nullptr);
  dBodyID person = r->bodies[RIDER_PERSON];
  if (person) {
    dVector3 v;
    dBodyGetPointVel(person, r->point_a_pos[0], r->point_a_pos[1], r->point_a_pos[2], v);
    for (int i = 0; i < 3; i++) r->point_a_vel[i] = (float)v[i];
    dBodyGetPointVel(person, r->point_b_pos[0], r->point_b_pos[1], r->point_b_pos[2], v);
    for (int i = 0; i < 3; i++) r->point_b_vel[i] = (float)v[i];
  }
  const int k = r->crash_count < 0 ? 0 : r->crash_count > 15 ? 15 : r->crash_count;
  r->down_counter = 512 + knockout_extra[k];
  r->crash_count += 1;
}
