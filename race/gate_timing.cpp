// Timing-gate crossings, laps and finishes of every rider.
#include "race/gate_timing.h"

#include <algorithm>
#include <cstdint>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/race_hooks.h"
#include "race/results.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

int32_t laps_completed(int64_t crossings) {
  const int64_t f = route.first_lap_gates, n = route.normal_lap_gates;
  // N of 0 (or a damaged negative count) means no lap is ever counted.
  if (n <= 0 || crossings < f) return 0;
  return (int32_t)std::min<int64_t>((crossings - f) / n + 1, INT32_MAX);
}

int crossing_completes_lap(int64_t crossings) {
  return crossings >= 1 && laps_completed(crossings) > laps_completed(crossings - 1);
}

int32_t lap_end_crossing(int32_t lap) {
  if (lap <= 0) return 0;
  const int64_t end = (int64_t)route.first_lap_gates + (int64_t)(lap - 1) * route.normal_lap_gates - 1;
  return (int32_t)std::min<int64_t>(end, INT32_MAX);
}

track_lap_counts rider_track_lap_counts() {
  return {route.gate_count, route.first_lap_gates, route.normal_lap_gates};
}

namespace {

int32_t tick_at(const rider* r, int64_t n) {
  if (n < 0 || n > INT32_MAX) return -1;
  return rider_timing_tick(r, (int)n);
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

// Whether the rider, having just completed a lap with `crossings`, has
// finished: the leader is through the finishing crossing, or the rider has
// completed the finishing lap itself.
int finishes(int64_t crossings) {
  const int64_t f = route.first_lap_gates, n = route.normal_lap_gates;
  const int64_t laps = race_clock.finish_lap;
  const int64_t finishing = laps == 0 ? 0 : f + n * (laps - 1) - 1;
  const int64_t leader = running_order.count > 0 ? running_order.entries[0].crossings : 0;
  if (leader > finishing) return 1;
  return laps_completed(crossings) >= laps;
}

}  // namespace

rider_lap_position rider_lap_and_segment(const rider* r) {
  const track_lap_counts t = rider_track_lap_counts();
  const int64_t c = r->timing_count;
  if (!t.has_gates) return {0, 0};
  const int32_t laps = laps_completed(c);
  if (laps > 0) return {laps, (int32_t)((c - t.first_lap_gates) % t.normal_lap_gates)};
  return {0, (int32_t)c};
}

int32_t rider_lap_segment(const rider* r) {
  const track_lap_counts t = rider_track_lap_counts();
  const int64_t c = r->timing_count;
  if (!t.has_gates) return 0;
  if (laps_completed(c) > 0) return (int32_t)((c - t.first_lap_gates) % t.normal_lap_gates + 1);
  return (int32_t)c;
}

float rider_lap_time(const rider* r, int n) {
  if (!route.gate_count) return 0;
  const int64_t done = laps_completed(r->timing_count);
  const int64_t lap = n < 0 ? done : n;
  if (lap <= 0 || lap > done) return 0;
  const int32_t start = lap == 1 ? race_clock.gate_drop_tick : tick_at(r, lap_end_crossing((int32_t)lap - 1));
  const int32_t end = tick_at(r, lap_end_crossing((int32_t)lap));
  if (start == -1 || end == -1) return 0;
  return (float)(((int64_t)end - start) * tick_length);
}

crossing_list crossings_of(const rider* r) {
  crossing_list list = {nullptr, 0};
  if (!r || !r->timing_ticks.data) return list;
  list.ticks = (const int32_t*)r->timing_ticks.data;
  list.count = r->timing_count < (int32_t)r->timing_ticks.count ? r->timing_count : (int32_t)r->timing_ticks.count;
  return list;
}

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

void time_rider(rider* r) {
  if (!r || route.gate_count == 0 || r->finished) return;
  if (race_hooks.pass_before_gate_search) race_hooks.pass_before_gate_search(r);
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
    if (crossing_completes_lap(c + 1) && untimed) return;
  }
  if (accepted < 0) return;

  const int c = (int)accepted;
  rider_set_timing_tick(r, c, race_clock.current_tick);
  if (race_hooks.pass_record_crossing) race_hooks.pass_record_crossing(r, c, accepted_try);
  r->timing_count = c + 1;
  if (crossing_completes_lap(c + 1) && !r->finished && finishes(c + 1)) {
    r->finished = 1;
    if (race_hooks.pass_rider_finished) race_hooks.pass_rider_finished(r);
  }
  finish_results();
  r->down = 0;
}
