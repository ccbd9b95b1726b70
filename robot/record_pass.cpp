// Support functions for detecting timing-gate crossings.
#include "robot/record_pass.h"

#include <cstdint>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/results.h"
#include "robot/pass_recording.h"
#include "terrain/track.h"

namespace {

// c + 1 crossings make a whole number of laps.
int completes_lap(int64_t c) {
  const int64_t f = route.first_lap_gates, n = route.normal_lap_gates;
  const int64_t past = c + 1 - f;
  if (past < 0) return 0;
  return n > 0 ? past % n == 0 : past == 0;
}

// The rider's frame within the gate's disc, on the half ahead of its
// centre.
int at_gate(const rider* r, int gate) {
  const checkpoint* g = &checkpoints[gate];
  const dReal* p = dBodyGetPosition(rider_frame_body(r));
  const double dx = p[0] - g->x, dz = p[2] - g->z;
  if (dx * dx + dz * dz > (double)g->half_width * g->half_width) return 0;
  return dx * g->dx + dz * g->dz >= 0;
}

// Whether the rider, having just completed a lap at crossing c, has
// finished: the leader is through the finishing crossing, or the rider has
// completed the finishing lap itself.
int finishes(int64_t c) {
  const int64_t f = route.first_lap_gates, n = route.normal_lap_gates;
  const int64_t laps = race_clock.finish_lap;
  const int64_t finishing = laps == 0 ? 0 : f + n * (laps - 1) - 1;
  const int64_t leader = running_order.count > 0 ? running_order.entries[0].crossings : 0;
  if (leader > finishing) return 1;
  if (n <= 0) return 0;
  return (c + 1 - f) / n + 1 >= laps;
}

}  // namespace

int crossing_gate(int c) {
  const int32_t f = route.first_lap_gates, n = route.normal_lap_gates;
  if (c < 0) return -1;
  int64_t k = c;
  if (c >= f) {
    if (n <= 0) return -1;
    k = f + (c - f) % n;
  }
  if (k >= route_entry_max) return -1;
  int32_t gate = route.entries[k];
  if (gate >= route_flagged) gate -= route_flagged;
  return gate >= 0 && gate < checkpoint_count ? gate : -1;
}

void line_library_record_pass(rider* r) {
  if (!r || route.gate_count == 0 || r->finished) return;
  pass_take_sample(r);
  pass_book_crash(r);
  const int32_t n = rider_next_timing_index(r);
  static const int tries[] = {-3, -2, 0, 1, 2};
  int missing = 0;
  int64_t accepted = -1;
  int accepted_try = 0;
  for (int i : tries) {
    const int64_t c = (int64_t)n + i;
    if (c < 0) continue;
    if (c >= rider_timing_index_limit) return;
    const int untimed = rider_timing_tick(r, (int)c) == -1;
    if (untimed) missing = 1;
    const int gate = crossing_gate((int)c);
    if (gate >= 0 && at_gate(r, gate)) {
      // Back through an earlier gate only to make up one that was missed.
      if (i < 0 && !missing) continue;
      accepted = c;
      accepted_try = i;
      break;
    }
    if (completes_lap(c) && untimed) return;
  }
  if (accepted < 0) return;

  const int c = (int)accepted;
  pass_mark_void(r);
  r->timing_count = c;
  rider_set_timing_tick(r, c, race_clock.current_tick);
  pass_at_segment_start(r, c, accepted_try);
  r->timing_count = c + 1;
  if (completes_lap(c) && !r->finished && finishes(c)) {
    r->finished = 1;
    if (rider_is_robot(r)) pass_slow_followed_line(r);
  }
  finish_results();
  r->down = 0;
}
