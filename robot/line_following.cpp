// Support functions for line following: the robot's place along its line.
#include "robot/line_following.h"

#include <algorithm>

#include "bike/rider.h"
#include "bike/rider_setters.h"

float line_cursor_position_at(const line_sample* samples, int32_t count, int32_t cursor, const float pos[3],
                              const float forward[3]) {
  if (!samples || count <= 0) return 0;
  cursor = std::min(cursor, count);
  int32_t behind = -1;
  double here = 0, before = -1;
  int computed = 0;
  for (int32_t i = cursor - 1; i >= 0; i--) {
    const line_sample& v = samples[i];
    const double f = ((double)v.x - pos[0]) * forward[0] + ((double)v.y - pos[1]) * forward[1] +
                     ((double)v.z - pos[2]) * forward[2];
    before = computed ? here : -1;
    here = f;
    computed = 1;
    if (f < 0) {
      behind = i;
      break;
    }
  }
  if (!computed || before <= 0) return (float)(behind + 1 > 0 ? behind + 1 : 0);
  // Two samples equally far ahead (a still bike records copies) give no
  // crossing between them: no fraction.
  const double span = before - here;
  const double fraction = span == 0 ? 0 : std::clamp(-here / span, 0.0, 1.0);
  return (float)(behind + 1 + fraction);
}

float line_cursor_position(const rider* r) {
  dBodyID frame = r ? r->bodies[RIDER_FRAME] : nullptr;
  if (!frame) return 0;
  const dReal* p = dBodyGetPosition(frame);
  const dReal* m = dBodyGetRotation(frame);
  const float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float forward[3] = {(float)-m[2], (float)-m[6], (float)-m[10]};
  return line_cursor_position_at((const line_sample*)r->followed_line.data, (int32_t)r->followed_line.count,
                                 r->robot.cursor, pos, forward);
}

void auto_pilot_follow_line(rider* r) {
  // Not driven yet: hold the bike still.
  if (!r) return;
  rider_set_throttle(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
}
