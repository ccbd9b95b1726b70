// Support functions for pass recording: sampling, crash booking, human
// passes into the library and robot tests on picked lines.
#include "robot/pass_recording.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "bike/rider.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "robot/line_following.h"
#include "robot/lines.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

int rider_is_robot(const rider* r) { return r->robot.personality != 0; }

static growable_array* pass_list(rider* r, int64_t segment_number) {
  return &r->pass_sample_lists[segment_number % 2];
}

static void empty_pass_list(rider* r, int which) {
  r->pass_sample_lists[which].count = 0;
  r->pass_void_bits &= ~(1 << which);
}

void pass_take_sample(rider* r) {
  if (rider_is_robot(r) || race_clock.current_tick % line_sample_interval != 0) return;
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!frame) return;
  growable_array* list = pass_list(r, segment_index_for_crossings(r->timing_count));
  if (!list->data) return;
  const dReal* p = dBodyGetPosition(frame);
  const dReal* v = dBodyGetLinearVel(frame);
  line_sample s;
  s.x = (float)p[0];
  s.y = (float)p[1];
  s.z = (float)p[2];
  s.speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (r->front_contact.depth <= 0 && r->rear_contact.depth <= 0) s.speed = -s.speed;
  s.lean = body_pitch_angle(frame);
  growable_array_append(list, &s);  // a list that cannot grow drops the sample
}

static line_record* picked_line(int64_t segment_number, int32_t id) {
  if (id == 0) return nullptr;
  line_record* slots = library_segment_slots(library_segment(segment_number));
  if (!slots) return nullptr;
  for (int i = 0; i < line_slots_per_segment; i++)
    if (slots[i].unique_id == id && slots[i].sample_count > 0) return &slots[i];
  return nullptr;
}

// The robot's line for a segment number failed: one more failure, and the
// id is spent.
static void book_failure(rider* r, int64_t segment_number) {
  int32_t& id = r->robot.picked_line_ids[segment_number % 4];
  if (line_record* line = picked_line(segment_number, id))
    if (line->failures < INT32_MAX) line->failures++;
  id = 0;
}

static void clear_picked(rider* r) { std::memset(r->robot.picked_line_ids, 0, sizeof r->robot.picked_line_ids); }

void pass_book_crash(rider* r) {
  if (r->down != 1) return;
  r->down = 2;
  if (!rider_is_robot(r)) return;
  const int64_t n = r->timing_count;
  book_failure(r, segment_index_for_crossings(n));
  // A crash right after a segment start is the previous line's doing too.
  const int32_t t = rider_timing_tick(r, (int)std::min<int64_t>(n - 1, INT_MAX));
  if (((int64_t)race_clock.current_tick - t) * tick_length < 1.0) book_failure(r, segment_index_for_crossings(n - 1));
  clear_picked(r);
}

void pass_mark_void(rider* r) {
  if (r->down != 0) r->pass_void_bits |= 1 << (segment_index_for_crossings(r->timing_count) % 2);
}

static int32_t tick_of(const rider* r, int64_t k) {
  if (k < 0) return 0;  // the race start
  return k > INT_MAX ? -1 : rider_timing_tick(r, (int)k);
}

// 1 when a crossing from `from` (at least 0) to `to` has no tick.
static int missing_between(const rider* r, int64_t from, int64_t to) {
  for (int64_t k = std::max<int64_t>(from, 0); k <= to; k++)
    if (rider_timing_tick(r, (int)std::min<int64_t>(k, INT_MAX)) == -1) return 1;
  return 0;
}

// The segment starts f0 < f1 < f2 = c: the last three at or before c, -1
// standing for the race start.
struct pass_span {
  int64_t f0, f1, f2;
  int32_t own_time, pass_time;
};

static pass_span span_before(const rider* r, int64_t c) {
  pass_span s{-1, -1, c, 0, 0};
  int64_t k = c - 1;
  for (; k >= 0 && !crossing_starts_segment(k); k--) {
  }
  s.f1 = k < 0 ? -1 : k;
  for (k = s.f1 - 1; k >= 0 && !crossing_starts_segment(k); k--) {
  }
  s.f0 = s.f1 < 0 || k < 0 ? -1 : k;
  s.own_time = tick_of(r, s.f1) - tick_of(r, s.f0);
  s.pass_time = tick_of(r, s.f2) - tick_of(r, s.f0);
  return s;
}

static int same_samples(const line_record& line, const line_sample* pass, int32_t count) {
  if (line.sample_count != count || !line.samples) return 0;
  for (int32_t k = 0; k < count; k++) {
    const line_sample &a = line.samples[k], &b = pass[k];
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    if (std::fabs(a.speed - b.speed) > 0.0625 || dx * dx + dy * dy + dz * dz > 0.00390625) return 0;
  }
  return 1;
}

static void record_human_pass(rider* r, int64_t c) {
  const int32_t x = segment_index_for_crossings(c);
  if (x <= 0 || !route_has_library()) return;
  const pass_span span = span_before(r, c);
  if (missing_between(r, span.f0, span.f2)) return;
  const int32_t s = library_segment(x - 1);
  line_record* slots = library_segment_slots(s);
  const int which = (x - 1) % 2;
  const growable_array* list = &r->pass_sample_lists[which];
  const int debug = game_state.debug_level > 0;
  if (list->count == 0 || (r->pass_void_bits & (1 << which))) {
    if (debug) log_printf("auto pilot: %d canceled\n", s);
    return;
  }
  const line_sample* pass = static_cast<const line_sample*>(list->data);
  const int32_t count = (int32_t)std::min<size_t>(list->count, INT32_MAX);
  for (int i = 0; i < line_slots_per_segment; i++) {
    if (same_samples(slots[i], pass, count)) {
      if (debug) log_printf("auto pilot: %d rejected (duplicate)\n", s);
      return;
    }
  }
  int target = -1;
  for (int i = 0; i < line_slots_per_segment && target < 0; i++)
    if (slots[i].sample_count == 0) target = i;
  if (target < 0) target = line_slot_to_replace(slots);
  if (target < 0 || (5 * (int64_t)span.pass_time) / 4 > line_slot_expected_time(&slots[target])) {
    if (debug) log_printf("auto pilot: %d rejected (too slow)\n", s);
    return;
  }
  line_record& t = slots[target];
  if (debug) {
    const int32_t tested = t.times_tested;
    log_printf("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n", s,
               t.own_time * tick_length, t.pass_time * tick_length, tested, t.failures,
               tested > 0 ? (double)t.own_time_sum / tested * tick_length : 0.0,
               tested > 0 ? (double)t.pass_time_sum / tested * tick_length : 0.0, span.own_time * tick_length,
               span.pass_time * tick_length);
  }
  line_sample* copy = (line_sample*)xmalloc(sizeof(line_sample) * (size_t)count);
  std::memcpy(copy, pass, sizeof(line_sample) * (size_t)count);
  line_record_empty(&t);
  t.samples = copy;
  t.sample_count = count;
  t.own_time = span.own_time;
  t.pass_time = span.pass_time;
  t.unique_id = ++route.id_serial;
}

static int32_t add_saturated(int32_t a, int32_t b) {
  const int64_t s = (int64_t)a + b;
  return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : (int32_t)s;
}

// Whether the robot is on its line where the segment starts: near it
// (within 4 ft square to it) and not much faster than the line went.
static int robot_on_line(const rider* r) {
  const growable_array& line = r->followed_line;
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!line.data || line.count == 0 || !frame) return 0;
  const line_sample* samples = static_cast<const line_sample*>(line.data);
  const int64_t last = (int64_t)line.count - 1;
  const int64_t j = (int64_t)std::floor(line_cursor_position(r));
  const line_sample& a = samples[std::clamp<int64_t>(j - 1, 0, last)];
  const line_sample& b = samples[std::clamp<int64_t>(j, 0, last)];
  const dReal* p = dBodyGetPosition(frame);
  const double d[3] = {(double)b.x - a.x, (double)b.y - a.y, (double)b.z - a.z};
  double o[3] = {p[0] - a.x, p[1] - a.y, p[2] - a.z};
  const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  // Equal samples (a still bike, a one-sample line) have no direction: the
  // offset is to the sample.
  if (dd > 0) {
    const double u = (o[0] * d[0] + o[1] * d[1] + o[2] * d[2]) / dd;
    for (int k = 0; k < 3; k++) o[k] -= u * d[k];
  }
  if (o[0] * o[0] + o[1] * o[1] + o[2] * o[2] > 16) return 0;
  const dReal* v = dBodyGetLinearVel(frame);
  const double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return !(std::fabs(a.speed) < 0.9375 * speed && std::fabs(b.speed) < 0.9375 * speed);
}

static void book_robot_test(rider* r, int64_t c) {
  const int32_t x = segment_index_for_crossings(c);
  if (x <= 0 || !route_has_library()) return;
  const pass_span span = span_before(r, c);
  if (!robot_on_line(r)) {
    book_failure(r, x);
    clear_picked(r);
    return;
  }
  for (int64_t k = span.f0 + 1; k <= span.f1; k++) {
    if (k >= 0 && rider_timing_tick(r, (int)std::min<int64_t>(k, INT_MAX)) == -1) {
      book_failure(r, segment_index_for_crossings(k));
      clear_picked(r);
      return;
    }
  }
  if (missing_between(r, span.f0, span.f2)) return;
  line_record* line = picked_line(x - 1, r->robot.picked_line_ids[(x - 1) % 4]);
  if (!line) return;
  if (line->times_tested < INT32_MAX) line->times_tested++;
  line->best_own_time = std::min(line->best_own_time, span.own_time);
  line->best_pass_time = std::min(line->best_pass_time, span.pass_time);
  line->own_time_sum = add_saturated(line->own_time_sum, span.own_time);
  line->pass_time_sum = add_saturated(line->pass_time_sum, span.pass_time);
}

void pass_at_segment_start(rider* r, int64_t c, int tried) {
  if (!crossing_starts_segment(c)) return;
  if (rider_is_robot(r)) {
    book_robot_test(r, c);
    empty_pass_list(r, 0);
    empty_pass_list(r, 1);
  } else if (tried == 0) {
    record_human_pass(r, c);
    empty_pass_list(r, segment_index_for_crossings(c + 1) % 2);
  } else {
    // A skipped gate: the passes around it are not laps anyone rode.
    empty_pass_list(r, 0);
    empty_pass_list(r, 1);
  }
}

void pass_slow_followed_line(rider* r) {
  growable_array& line = r->followed_line;
  if (!line.data || line.count == 0) return;
  line_sample* samples = static_cast<line_sample*>(line.data);
  const int64_t m = (int64_t)line.count;
  const int64_t j = std::max<int64_t>(0, (int64_t)std::floor(line_cursor_position(r)));
  for (int64_t k = j; k < m; k++) samples[k].speed *= (float)(0.25 + 0.75 * (double)(m - k) / (double)(m - j));
}
