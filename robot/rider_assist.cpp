// The rider assist step.
#include "robot/rider_assist.h"

#include "bike/rider.h"

void rider_assist_step(rider* r) {
  if (!r || r->down_counter <= 0) return;
  r->ramp += 8.0f / 128;
  if (r->ramp > 1) r->ramp = 1;
}
