// Support functions for the race standing: running order, timed-race laps,
// off-course test, cut penalty, final results and "results.txt".
#include "race/results.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <string>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/file_replace.h"
#include "core/heap_sort.h"
#include "core/race_clock.h"
#include "race/gate_timing.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/series_event.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

running_order_state results_list;
int results_finished;
int results_file_written;

namespace {

int32_t first_gates() { return route.first_lap_gates; }
int32_t normal_gates() { return route.normal_lap_gates; }

rider* rider_at(int slot) {
  if (slot < 0 || slot >= RIDER_SLOT_COUNT) return nullptr;
  return rider_slots[slot];
}

int32_t tick_of(const rider* r, int64_t n) {
  if (n < 0 || n > INT32_MAX) return -1;
  return rider_timing_tick(r, (int)n);
}

// Every occupied slot as an entry, sorted.
void build_order(running_order_state* order) {
  order->count = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    const rider* r = rider_slots[slot];
    if (!r) continue;
    const int32_t n = rider_next_timing_index(r);
    const int32_t last = n > 0 ? tick_of(r, n - 1) : -1;
    order->entries[order->count++] = {slot, n, last == -1 ? 0 : last};
  }
  heap_sort(order->entries, (size_t)order->count, sizeof(running_order_entry), compare_results);
}

// A local rider counts for the field's times offline, or online while it
// races; recorded riders and robots always do.
int rider_counts(int slot) {
  if (rider_slot_kind[slot] != RIDER_LOCAL) return 1;
  return !net_online || own_start_position != RIDER_NO_SLOT;
}

// Ticks from crossing a to crossing b when both and every crossing between
// them are timed (a below 0: from tick 0); -1 otherwise.
int64_t stretch_time(const rider* r, int64_t a, int64_t b) {
  for (int64_t i = a < 0 ? 0 : a; i <= b; i++)
    if (tick_of(r, i) == -1) return -1;
  const int64_t from = a < 0 ? 0 : tick_of(r, a);
  return (int64_t)tick_of(r, b) - from;
}

// The newest tick in a slot's state history, -1 when it holds none.
int32_t newest_state_tick(int slot) {
  const state_history* h = &state_histories[slot];
  int32_t newest = -1;
  for (int i = 0; i < state_history_size; i++)
    if (h->ticks[i] > newest) newest = h->ticks[i];
  return newest;
}

int32_t oldest_state_tick(int slot) {
  const state_history* h = &state_histories[slot];
  int32_t oldest = -1;
  for (int i = 0; i < state_history_size; i++)
    if (h->ticks[i] >= 0 && (oldest < 0 || h->ticks[i] < oldest)) oldest = h->ticks[i];
  return oldest;
}

// The settled race's ghost rule for a peer, seen from the local rider.
int off_course_peer(const rider* r) {
  const rider* own = rider_at(net_own_slot);
  if (!own || !race_settled()) return 0;
  if (rider_has_finished(const_cast<rider*>(own)) || rider_next_timing_index(own) == 0 || rider_off_course_recently(own))
    return 0;
  return rider_has_finished(const_cast<rider*>(r)) || rider_next_timing_index(r) == 0 || rider_off_course_recently(r);
}

// In a timed race, the half-way lap once half the time has run, and the
// finish lap once all of it has: the first lap completed after the time
// ran out, plus the race's extra laps.
void settle_timed_laps() {
  if (race_clock.race_length_ticks <= 0) return;
  const int32_t leader_laps = running_order.count > 0 ? laps_completed(running_order.entries[0].crossings) : 0;
  const int64_t drop = race_clock.gate_drop_tick;
  const int64_t now = race_clock.current_tick;
  if (race_clock.half_way_lap == race_clock_unknown && now >= drop + race_clock.race_length_ticks / 2)
    race_clock.half_way_lap = leader_laps + 1;
  const int64_t time_up = drop + race_clock.race_length_ticks;
  if (now < time_up) return;
  int64_t g = leader_laps - 1 < 1 ? 1 : std::min<int64_t>(race_clock.finish_lap, leader_laps - 1);
  if (g < 1) g = 1;
  for (;; g++) {
    const int64_t h = (int64_t)first_gates() + (g - 1) * normal_gates() - 1;
    int64_t earliest = -1;
    for (int i = 0; i < running_order.count; i++) {
      const rider* r = rider_at(running_order.entries[i].slot);
      const int32_t t = r ? tick_of(r, h) : -1;
      if (t != -1 && (earliest < 0 || t < earliest)) earliest = t;
    }
    if (earliest < 0) break;
    if (earliest >= time_up) {
      race_clock.finish_lap = (int32_t)std::min<int64_t>(race_clock.finish_lap, g + race_clock.race_laps);
      break;
    }
    race_clock.finish_lap = (int32_t)std::max<int64_t>(race_clock.finish_lap, g + race_clock.race_laps + 1);
    // Without later laps there is only the first to try.
    if (normal_gates() <= 0) break;
  }
}

int rider_done(const running_order_entry* e) {
  rider* r = rider_at(e->slot);
  if (!r || rider_has_finished(r)) return 1;
  const int kind = rider_slot_kind[e->slot];
  if (!net_online) {
    if (kind != RIDER_REMOTE) return 0;
    const int32_t newest = newest_state_tick(e->slot);
    return newest < 0 || (int64_t)newest + results_stale_ticks < race_clock.current_tick;
  }
  if (kind == RIDER_LOCAL && own_start_position == RIDER_NO_SLOT) return 1;
  if (e->slot == net_own_slot) return 0;
  return net_state_stale(e->slot, race_clock.current_tick);
}

// The best of laps 2 .. the rider's last completed lap: the shortest timed
// one (the earlier on a tie), the last when none is timed; 0 when the rider
// has not completed two laps.
int32_t best_lap(const rider* r) {
  const int32_t laps = rider_lap_and_segment(r).lap;
  if (laps < 2) return 0;
  int32_t best = 0;
  float best_time = 0;
  for (int32_t lap = 2; lap <= laps; lap++) {
    const float t = rider_lap_time(r, lap);
    if (t != 0 && (best_time == 0 || t < best_time)) {
      best = lap;
      best_time = t;
    }
  }
  return best ? best : laps;
}

// A penalty longer than the best lap costs whole laps, each worth that lap's
// time off the penalty, while more than the first lap's crossings remain;
// the rest is added as time.
void apply_penalty(running_order_entry* e, const rider* r) {
  int64_t penalty = rider_cut_penalty(r);
  const int32_t b = best_lap(r);
  const int32_t n = normal_gates();
  if (b >= 2 && n > 0) {
    const int32_t end = tick_of(r, lap_end_crossing(b)), start = tick_of(r, lap_end_crossing(b - 1));
    // A lap with a gate missing at either end has no duration to trade.
    const int64_t w = (int64_t)end - start;
    if (end != -1 && start != -1 && w < penalty) {
      do {
        if (e->crossings <= first_gates()) break;
        e->crossings -= n;
        penalty -= w;
      } while (w < penalty && e->crossings > first_gates());
    }
  }
  e->last_tick = (int32_t)std::min<int64_t>(INT32_MAX, e->last_tick + penalty);
}

// m:ss.mmm of a time in milliseconds, as "%3d:%02d.%03d".
void append_time(std::string* out, int32_t m) {
  char text[64];
  const int32_t minutes = m / 60000;
  std::snprintf(text, sizeof text, "%3d:%02d.%03d", minutes, m / 1000 - minutes * 60, m % 1000);
  *out += text;
}

}  // namespace

void results_clear() {
  results_finished = 0;
  results_file_written = 0;
  results_list.count = 0;
}

int compare_results(const void* a, const void* b) {
  const running_order_entry* x = static_cast<const running_order_entry*>(a);
  const running_order_entry* y = static_cast<const running_order_entry*>(b);
  if (x->crossings != y->crossings) return x->crossings > y->crossings ? -1 : 1;
  if (x->last_tick != y->last_tick) return x->last_tick < y->last_tick ? -1 : 1;
  if (x->slot != y->slot) return x->slot < y->slot ? -1 : 1;
  return 0;
}

int32_t average_gate_time(int32_t start, int32_t end) {
  const int32_t f = first_gates(), n = normal_gates();
  int64_t sum = 0, riders = 0;
  for (int i = 0; i < running_order.count; i++) {
    const int slot = running_order.entries[i].slot;
    const rider* r = rider_at(slot);
    if (!r || !rider_counts(slot)) continue;
    if (start < f) {
      const int64_t t = stretch_time(r, start, end);
      if (t >= 0) {
        sum += t;
        riders++;
      }
      continue;
    }
    // The same stretch in every lap the rider has timed.
    const int64_t first = n > 0 ? f + (start - f) % n : 0;
    const int64_t count = rider_next_timing_index(r);
    int64_t lap_sum = 0, laps = 0;
    for (int64_t c = first; (int64_t)end + c - start < count; c += n) {
      const int64_t t = stretch_time(r, c, (int64_t)end + c - start);
      if (t != -1) {
        lap_sum += t;
        laps++;
      }
      // Without a lap step there is no other lap to try.
      if (n <= 0) break;
    }
    if (laps) {
      sum += lap_sum / laps;
      riders++;
    }
  }
  return riders ? (int32_t)(sum / riders) : results_no_gate_time;
}

int rider_off_course_at_gate(const rider* r, int32_t n) {
  int64_t before = race_clock.gate_drop_tick;
  for (int32_t k = n - 1; k >= n - 3 && k >= 0; k--) {
    const int32_t t = tick_of(r, k);
    if (t != -1) {
      before = t;
      break;
    }
  }
  int64_t reached = race_clock.current_tick;
  for (int32_t k = n < 0 ? 0 : n; k < rider_next_timing_index(r); k++) {
    const int32_t t = tick_of(r, k);
    if (t != -1) {
      reached = t;
      break;
    }
  }
  for (int i = 0; i < running_order.count; i++) {
    const rider* other = rider_at(running_order.entries[i].slot);
    if (!other) continue;
    if (rider_next_timing_index(other) <= n) return 0;
    const int32_t a = tick_of(other, (int64_t)n - 1), b = tick_of(other, n);
    if (a == -1 || b == -1) continue;
    const double allowed = before * tick_length + (double)(b - a) * tick_length * off_course_scale + off_course_bias;
    return reached * tick_length >= allowed;
  }
  return 0;
}

int rider_off_course_recently(const rider* r) {
  const int32_t n = rider_next_timing_index(r);
  for (int32_t k = n - 3 < 1 ? 1 : n - 3; k <= n; k++)
    if (rider_off_course_at_gate(r, k)) return 1;
  return 0;
}

int race_settled() {
  return running_order.count > 1 &&
         ((int64_t)race_clock.current_tick - race_clock.gate_drop_tick) * tick_length >= off_course_bias;
}

int rider_hidden(int slot) {
  rider* r = rider_at(slot);
  if (!r) return 1;
  const int kind = rider_slot_kind[slot];
  if (net_online && own_start_position == RIDER_NO_SLOT && kind == RIDER_LOCAL && slot != viewed_slot) return 1;
  if (kind != RIDER_REMOTE) return 0;
  const int32_t newest = newest_state_tick(slot);
  if (newest < 0) return 1;
  const int64_t now = race_clock.current_tick;
  if (now + 128 < oldest_state_tick(slot) || now - 128 > newest) return 1;
  if (!rider_at(net_own_slot)) return 0;
  if (slot != net_own_slot && net_state_stale(slot, race_clock.current_tick)) return 1;
  return off_course_peer(r);
}

int32_t rider_cut_penalty(const rider* r) {
  int64_t penalty = 0, last = 0;
  int32_t missed = 0;
  const int32_t count = rider_next_timing_index(r);
  for (int32_t t = 0; t < count; t++) {
    const int32_t tick = tick_of(r, t);
    if (tick == -1) {
      missed++;
      continue;
    }
    if (missed >= 1) {
      const int64_t expected = (int64_t)average_gate_time(t - missed - 1, t) + 128;
      if (tick - last < expected) penalty += expected - (tick - last);
    }
    missed = 0;
    last = tick;
  }
  return (int32_t)std::min<int64_t>(penalty, INT32_MAX);
}

void finish_results() {
  if (results_finished) return;
  build_order(&running_order);
  settle_timed_laps();
  for (int i = 0; i < running_order.count; i++)
    if (!rider_done(&running_order.entries[i])) return;

  build_order(&results_list);
  for (int i = 0; i < results_list.count; i++)
    apply_penalty(&results_list.entries[i], rider_slots[results_list.entries[i].slot]);
  heap_sort(results_list.entries, (size_t)results_list.count, sizeof(running_order_entry), compare_results);
  if (results_list.count > 0 && rider_has_finished(rider_slots[results_list.entries[0].slot]))
    results_file_written = write_results_file();
  results_finished = 1;
  record_series_event();
}

int32_t results_best_lap(const rider* r) { return r ? best_lap(r) : 0; }

int write_results_file() {
  std::string text;
  char line[512];
  std::snprintf(line, sizeof line, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n",
                race_clock.race_length_ticks * tick_length, race_clock.race_laps, track_folder, (long)std::time(nullptr));
  text += line;
  // The bike column is 12 wide, wider when a bike's name is longer, so the
  // columns stay in line.
  int bike_width = 12;
  for (int i = 0; i < results_list.count; i++) {
    rider* r = rider_slots[results_list.entries[i].slot];
    if (r && rider_has_finished(r)) bike_width = std::max(bike_width, (int)std::strlen(rider_bike_model_name(r)));
  }
  bike_width = std::min(bike_width, 64);
  std::snprintf(line, sizeof line, "%4s | %*s | %4s | %10s | %4s | %10s\r\n", "No.", bike_width, "Bike", "Laps",
                "Total Time", "BLap", "Best Time");
  text += line;
  for (int i = 0; i < results_list.count; i++) {
    const running_order_entry* e = &results_list.entries[i];
    rider* r = rider_slots[e->slot];
    if (!r || !rider_has_finished(r)) continue;
    std::snprintf(line, sizeof line, "%4s | %*s | %4d | ", rider_number_text(r), bike_width, rider_bike_model_name(r),
                  laps_completed(e->crossings));
    text += line;
    append_time(&text, (int32_t)((float)((int64_t)e->last_tick - race_clock.gate_drop_tick) * (float)tick_length * 1000.0f));
    const int32_t b = best_lap(r);
    std::snprintf(line, sizeof line, " | %4d | ", b);
    text += line;
    append_time(&text, b ? (int32_t)(rider_lap_time(r, b) * 1000.0f) : 0);
    text += "\r\n";
  }
  for (int i = 0; i < results_list.count; i++) {
    rider* r = rider_slots[results_list.entries[i].slot];
    if (!r || !rider_has_finished(r)) continue;
    const int32_t count = rider_next_timing_index(r);
    std::snprintf(line, sizeof line, "\r\n%d\r\n", count);
    text += line;
    for (int32_t t = 0; t < count; t++) {
      const int32_t tick = tick_of(r, t);
      if (tick == -1)
        std::snprintf(line, sizeof line, "%8d", -1);
      else
        std::snprintf(line, sizeof line, "%8.3f", ((int64_t)tick - race_clock.gate_drop_tick) * tick_length);
      text += line;
      // One lap a line: lap 0 ends at the first crossing, so each later
      // line holds exactly the crossings its lap time spans.
      text += t == 0 || crossing_completes_lap(t + 1) || t + 1 == count ? "\r\n" : " ";
    }
  }
  return file_replace("@results.txt", text.data(), text.size(), 0);
}

void results_install_hooks() {
  race_hooks.finish_results = finish_results;
  race_hooks.record_series_event = record_series_event;
  race_hooks.rider_off_course_at_gate = [](rider* r, int n) { return rider_off_course_at_gate(r, n); };
}
