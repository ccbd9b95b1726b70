// Crossings, laps and lap times of a rider.
#include "bike/rider_timing.h"

#include <algorithm>

#include "bike/rider.h"
#include "core/message_ring.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

track_lap_counts rider_track_lap_counts() {
  return {route.gate_count, route.first_lap_gates, route.normal_lap_gates};
}

namespace {

// Laps completed with c crossings; N of 0 (or a damaged negative count)
// means no lap after the first is ever counted.
int64_t completed_laps(const track_lap_counts& t, int64_t c) {
  if (t.normal_lap_gates > 0 && c >= t.first_lap_gates) return (c - t.first_lap_gates) / t.normal_lap_gates + 1;
  return 0;
}

int32_t tick_at(const rider* r, int64_t n) {
  if (n < 0 || n > INT32_MAX) return -1;
  return rider_timing_tick(r, (int)n);
}

}  // namespace

int32_t rider_next_timing_index(const rider* r) { return r->timing_count; }

void rider_set_timing_tick(rider* r, int n, int32_t tick) {
  if (n < 0) return;
  if (n >= rider_timing_index_limit) {
    console_printf("Timing crossing %d is out of range", n);
    return;
  }
  growable_array* list = &r->timing_ticks;
  // A rider without its list (never created, or destroyed) records nothing.
  if (!list->data) return;
  const int32_t not_crossed = -1;
  while ((size_t)n >= list->count)
    if (!growable_array_append(list, &not_crossed)) break;
  if ((size_t)n < list->count) *static_cast<int32_t*>(growable_array_at(list, (size_t)n)) = tick;
}

void rider_truncate_timing(rider* r, int n) {
  if (n < 0) n = 0;
  if (n < r->timing_count) r->finished = 0;
  r->timing_ticks.count = std::min(r->timing_ticks.count, (size_t)n);
  r->timing_count = n;
  r->down = 0;
}

rider_lap_position rider_lap_and_segment(const rider* r) {
  const track_lap_counts t = rider_track_lap_counts();
  const int64_t c = r->timing_count;
  if (!t.has_gates) return {0, 0};
  if (t.normal_lap_gates > 0 && c >= t.first_lap_gates)
    return {(int32_t)completed_laps(t, c), (int32_t)((c - t.first_lap_gates) % t.normal_lap_gates)};
  return {0, (int32_t)c};
}

int32_t rider_lap_segment(const rider* r) {
  const track_lap_counts t = rider_track_lap_counts();
  const int64_t c = r->timing_count;
  if (!t.has_gates) return 0;
  if (t.normal_lap_gates <= 0) return (int32_t)c;
  if (c >= t.first_lap_gates) return (int32_t)((c - t.first_lap_gates) % t.normal_lap_gates + 1);
  return (int32_t)c;
}

float rider_lap_time(const rider* r, int n) {
  const track_lap_counts t = rider_track_lap_counts();
  if (!t.has_gates) return 0;
  const int64_t done = completed_laps(t, r->timing_count);
  const int64_t lap = n < 0 ? done : n;
  if (lap <= 0 || lap > done) return 0;
  const int64_t F = t.first_lap_gates, N = t.normal_lap_gates;
  const int32_t start = lap == 1 ? race_clock.gate_drop_tick : tick_at(r, F + N * (lap - 2) - 1);
  const int32_t end = tick_at(r, F + N * (lap - 1) - 1);
  if (start == -1 || end == -1) return 0;
  return (float)(((int64_t)end - start) * tick_length);
}
