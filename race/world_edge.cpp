// Support functions for bringing back riders that leave the height field.
#include "race/world_edge.h"

#include <cmath>

#include "bike/rider.h"
#include "platform/log.h"
#include "bike/rider_build.h"
#include "race/gate_timing.h"
#include "race/race_reset.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

namespace {

// How far under the field's lowest point a rider counts as fallen through.
const double fallen_through = 100.0;

}  // namespace

int keep_rider_on_field(rider* r) {
  dBodyID frame = r ? rider_frame_body(r) : nullptr;
  if (!frame || !track_field.heights || track_field.size < 2) return 0;
  const dReal* p = dBodyGetPosition(frame);
  // Far under the lowest ground there is nothing to come up through.
  if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]) ||
      p[1] < track_field.min_height - fallen_through) {
    bring_rider_back(r);
    return 1;
  }
  const double edge = (double)(track_field.size - 1) * track_field.spacing;
  // A hair inside, so the float move cannot leave it just beyond.
  const double hair = 1.0 / 64;
  const double dx = p[0] < 0 ? hair - p[0] : p[0] > edge ? edge - hair - p[0] : 0;
  const double dz = p[2] < 0 ? hair - p[2] : p[2] > edge ? edge - hair - p[2] : 0;
  if (dx == 0 && dz == 0) return 0;
  // Back onto the edge with every body, and no speed outward: the bike
  // stops there or slides along it, on the border's ground.
  rider_translate(r, (float)dx, 0, (float)dz);
  for (dBodyID b : r->bodies) {
    if (!b) continue;
    const dReal* v = dBodyGetLinearVel(b);
    dBodySetLinearVel(b, v[0] * dx < 0 ? 0 : v[0], v[1], v[2] * dz < 0 ? 0 : v[2]);
  }
  return 1;
}

void bring_rider_back(rider* r) {
  if (!r || !rider_frame_body(r)) return;
  const int32_t crossings = r->timing_count;
  int gate = route.gate_count > 0 ? crossing_gate(crossings > 0 ? (int)crossings - 1 : 0) : -1;
  float x, z, heading;
  if (gate >= 0) {
    const checkpoint& g = checkpoints[gate];
    x = g.x;
    z = g.z;
    heading = std::atan2(-g.dx, -g.dz);
  } else {
    // No gates: the middle of the field.
    x = z = track_field.extent * 0.5f;
    heading = 0.0f;
  }
  // The placement starts the bike afresh; what the race knows of the rider
  // stays.
  const size_t ticks = r->timing_ticks.count, line = r->followed_line.count;
  const rider_robot_state robot = r->robot;
  const int finished = r->finished;
  const int32_t crashes = r->crash_count;
  place_rider_clear(r, x, z, heading);
  r->timing_count = crossings;
  r->timing_ticks.count = ticks;
  r->followed_line.count = line;
  r->robot = robot;
  r->finished = finished;
  r->crash_count = crashes + 1;
  // A pass with this in it is no line anyone rode.
  r->down = 1;
  log_printf("Rider %s left the field; back at gate %d\n", rider_number_text(r), gate);
}
