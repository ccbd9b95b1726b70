// Support functions for the route planner: line costs, the hand-over test
// and the dynamic programme over the timing segments.
#include "robot/route_planner.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "robot/lines.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

int32_t route_slot_cost(const line_record* slot, int model) {
  const int64_t t = slot->times_tested, f = slot->failures < 0 ? 0 : slot->failures;
  const double p = line_crash_penalty_ticks();
  const double share = t + f > 0 ? (double)f / (double)(t + f) : 0.0;
  switch (model) {
    case 0:
      if (t < 5) return route_not_eligible;
      return (int32_t)(slot->own_time_sum / t + (int64_t)(std::min(1.0, share) * p));
    case 1:
      if (t < 5) return route_not_eligible;
      return (int32_t)(slot->own_time_sum / t + (int64_t)(std::min(1.0, share * 8 / 7) * p));
    case 2:
      if (t < 1) return route_not_eligible;
      return (int32_t)(slot->own_time_sum / t + (int64_t)(std::min(1.0, share * 4) * p));
    case 3: {
      if (t + f > 5 && f > 4 * t) return 100000;
      int bits = 0;
      for (uint64_t v = (uint64_t)(t + 4 * f); v; v >>= 1) bits++;
      return 1000 * (bits + 4);
    }
    default:
      return route_not_eligible;
  }
}

static double distance_xz(const float c[3], const line_sample& p) {
  const double dx = (double)p.x - c[0], dz = (double)p.z - c[2];
  return std::sqrt(dx * dx + dz * dz);
}

int route_hands_over(const line_record* from, const line_record* to) {
  if (!from->samples || !to->samples || from->sample_count <= 2 || to->sample_count <= 1) return 0;
  const int32_t n = from->sample_count;
  float c[3];
  circle_centre_xz(c, from->samples[n - 3], from->samples[n - 2], from->samples[n - 1]);
  const double r = distance_xz(c, from->samples[n - 1]);
  const double d1 = distance_xz(c, to->samples[0]);
  const double d2 = distance_xz(c, to->samples[1]);
  return std::fabs(from->samples[n - 1].speed) <= std::fabs(to->samples[0].speed) + 15.0f &&
         std::max(r - 2.5, 0.0) <= d1 && d1 <= r + 2.5 && std::fabs(d2 - d1) <= 2.0;
}

void circle_centre_xz(float out[3], const line_sample& p1, const line_sample& p2, const line_sample& p3) {
  const double d1x = (double)p2.x - p1.x, d1z = (double)p2.z - p1.z;
  const double d2x = (double)p3.x - p2.x, d2z = (double)p3.z - p2.z;
  const double m1x = ((double)p1.x + p2.x) / 2, m1z = ((double)p1.z + p2.z) / 2;
  const double m2x = ((double)p2.x + p3.x) / 2, m2z = ((double)p2.z + p3.z) / 2;
  const double det = d1x * d2z - d1z * d2x;
  out[1] = p1.y;
  if (std::fabs(det) > 1e-6) {
    const double b1 = d1x * m1x + d1z * m1z, b2 = d2x * m2x + d2z * m2z;
    out[0] = (float)((b1 * d2z - d1z * b2) / det);
    out[2] = (float)((d1x * b2 - b1 * d2x) / det);
    return;
  }
  // Still bikes record equal samples: the direction comes from the first
  // pair that differs, so the centre is far off and never NaN.
  double dx = d1x, dz = d1z, mx = m1x, mz = m1z;
  if (dx == 0 && dz == 0) dx = d2x, dz = d2z;
  double len = std::sqrt(dx * dx + dz * dz);
  if (len == 0) dx = 1, dz = 0, len = 1;
  out[0] = (float)(mx - dz / len * 1000000.0);
  out[2] = (float)(mz + dx / len * 1000000.0);
}

void route_dynamic_program(route_back_pointers* back, int32_t cost[route_no_slot][route_no_slot], int32_t a,
                           int32_t count, int model) {
  for (int s = 0; s < route_no_slot; s++)
    for (int i = 0; i < route_no_slot; i++) cost[s][i] = route_unreachable;
  if (!route_has_library() || count <= 0) return;
  uint8_t hands[route_no_slot][route_no_slot];
  int32_t slot_cost[route_no_slot];
  int32_t next[route_no_slot][route_no_slot];
  for (int32_t step = 0; step < count; step++) {
    const line_record* here = library_segment_slots(library_segment((int64_t)a + step));
    const line_record* there = library_segment_slots(library_segment((int64_t)a + step + 1));
    for (int j = 0; j < route_no_slot; j++) {
      slot_cost[j] = route_slot_cost(&here[j], model);
      for (int i = 0; i < route_no_slot; i++) hands[j][i] = (uint8_t)route_hands_over(&here[j], &there[i]);
    }
    const int keep = back && step < back->block_count;
    if (step == 0) {
      for (int s = 0; s < route_no_slot; s++)
        for (int i = 0; i < route_no_slot; i++) {
          next[s][i] = hands[s][i] ? std::min(slot_cost[s], (int32_t)route_unreachable) : route_unreachable;
          if (keep) route_back(back, 0, s, i) = next[s][i] < route_unreachable ? (uint8_t)s : (uint8_t)route_no_slot;
        }
    } else {
      for (int s = 0; s < route_no_slot; s++)
        for (int i = 0; i < route_no_slot; i++) {
          int64_t best = route_unreachable;
          int from = route_no_slot;
          for (int j = 0; j < route_no_slot; j++) {
            if (!hands[j][i]) continue;
            const int64_t sum = (int64_t)cost[s][j] + slot_cost[j];
            if (sum < best) best = sum, from = j;
          }
          next[s][i] = (int32_t)best;
          if (keep) route_back(back, step, s, i) = (uint8_t)from;
        }
    }
    std::memcpy(cost, next, sizeof next);
  }
}

static int32_t tested_id(int32_t segment, int slot) {
  if (slot < 0 || slot >= line_slots_per_segment) return 0;
  const line_record& r = library_segment_slots(segment)[slot];
  return r.times_tested >= 5 ? r.unique_id : 0;
}

// Follows the back-pointers of a range of count steps from (start, end slot),
// filling the entries of the range's segments after its first, then the
// first from start.
static void follow_back(route_back_pointers* back, int32_t* out, int32_t a, int32_t count, int start, int end) {
  int cur = end;
  for (int32_t step = count - 1; step >= 1; step--) {
    const int prev = cur < route_no_slot ? (int)route_back(back, step, start, cur) : (int)route_no_slot;
    const int32_t segment = library_segment((int64_t)a + step);
    out[segment] = tested_id(segment, prev);
    cur = prev;
  }
  out[library_segment(a)] = tested_id(library_segment(a), start);
}

void plan_route_variant(int32_t* out, int model) {
  const int32_t sf = route.first_lap_segments, sn = route.normal_lap_segments;
  const int32_t segments = route_library_segments();
  if (!out || !route_has_library()) return;
  std::memset(out, 0, sizeof(int32_t) * (size_t)segments);
  route_back_pointers back;
  back.block_count = std::max(sf, sn);
  back.blocks = (uint8_t*)xmalloc((size_t)back.block_count * route_no_slot * route_no_slot);
  static int32_t cost[route_no_slot][route_no_slot];

  route_dynamic_program(&back, cost, sf, sn, model);
  int f = 0;
  for (int s = 1; s < route_no_slot; s++)
    if (cost[s][s] < cost[f][f]) f = s;
  const int32_t normal_cost = cost[f][f];
  follow_back(&back, out, sf, sn, f, f);

  int32_t first_cost = 0;
  if (sf > 0) {
    route_dynamic_program(&back, cost, 0, sf, model);
    int q = 0;
    for (int s = 1; s < route_no_slot; s++)
      if (cost[s][f] < cost[q][f]) q = s;
    first_cost = cost[q][f];
    follow_back(&back, out, 0, sf, q, f);
  }
  if (game_state.debug_level > 0) {
    log_printf("First lap: %f\n", first_cost * tick_length);
    log_printf("Normal lap: %f\n", normal_cost * tick_length);
  }
  check_free(back.blocks);
}

void plan_auto_pilot_routes() {
  if (!route_has_library() || !route.best_paths) return;
  const int32_t segments = route_library_segments();
  for (int v = 0; v < route_best_path_variants; v++) plan_route_variant(route.best_paths + v * segments, v);
}
