// Support functions for the line library: segment numbering, ranking and
// giving up lines, the personality table, and reading, writing, pruning and
// clearing the lines files.
#include "robot/lines.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

int lines_skill = -1;

const auto_pilot_personality auto_pilot_personalities[auto_pilot_personality_count] = {
    {"empty", 0, 0, 0.0f, 0.0f, 0.0f},  {"amber", 0, 0, 1.0f, 0.2f, 0.4f},
    {"cobalt", 2, 1, 10.0f, 0.2f, 0.4f}, {"slate", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

int32_t line_crash_penalty_ticks() { return (int32_t)(5.0 / tick_length); }

int route_has_segments() {
  const route_block& r = route;
  return r.gate_count > 0 && r.first_lap_gates >= 0 && r.normal_lap_gates > 0 &&
         r.first_lap_gates + r.normal_lap_gates <= route_entry_max && r.first_lap_segments >= 0 &&
         r.normal_lap_segments > 0;
}

int32_t route_library_segments() {
  return route_has_segments() ? route.first_lap_segments + route.normal_lap_segments : 0;
}

int route_has_library() { return route_has_segments() && route.line_library != nullptr; }

int32_t route_entry_for_crossing(int64_t i) {
  if (!route_has_segments() || i < 0) return route_flagged;
  const int64_t f = route.first_lap_gates;
  if (i < f) return route.entries[i];
  return route.entries[f + (i - f) % route.normal_lap_gates];
}

int crossing_starts_segment(int64_t i) {
  return route_has_segments() && i >= 0 && route_entry_for_crossing(i) < route_flagged;
}

int32_t route_gate_for_crossing(int64_t i) {
  const int32_t e = route_entry_for_crossing(i);
  return e >= route_flagged ? e - route_flagged : e;
}

static int32_t starts_among(int32_t from, int32_t count) {
  int32_t n = 0;
  for (int32_t k = from; k < from + count; k++) n += route.entries[k] < route_flagged;
  return n;
}

int32_t segment_index_for_crossings(int64_t n) {
  if (!route_has_segments() || n <= 0) return 0;
  const int32_t f = route.first_lap_gates, laps_n = route.normal_lap_gates;
  if (n < f) return starts_among(0, (int32_t)n);
  const int64_t k = n - f;
  const int64_t s = route.first_lap_segments + (k / laps_n) * route.normal_lap_segments +
                    starts_among(f, (int32_t)(k % laps_n));
  return s > INT32_MAX ? INT32_MAX : (int32_t)s;
}

int32_t library_segment(int64_t s) {
  if (!route_has_segments() || s <= 0) return 0;
  const int32_t sf = route.first_lap_segments;
  if (s < sf) return (int32_t)s;
  return sf + (int32_t)((s - sf) % route.normal_lap_segments);
}

line_record* library_segment_slots(int32_t k) {
  if (!route_has_library() || k < 0 || k >= route_library_segments()) return nullptr;
  return route.line_library + (size_t)k * line_slots_per_segment;
}

int64_t line_slot_expected_time(const line_record* slot) {
  const int64_t p = line_crash_penalty_ticks();
  const int64_t t = slot->times_tested, f = slot->failures;
  if (t > 0) {
    const int64_t runs = t + (f > 0 ? f : 0);
    return slot->pass_time_sum / t + (p * f) / runs;
  }
  return (5 * (int64_t)slot->pass_time) / 4 + (f > 0 ? p : 0);
}

static int slot_used(const line_record& r) { return r.sample_count > 0 && r.samples; }

int line_slot_to_replace(const line_record slots[line_slots_per_segment]) {
  int64_t adjusted[line_slots_per_segment];
  int good = 0;
  for (int i = 0; i < line_slots_per_segment; i++) {
    adjusted[i] = line_slot_expected_time(&slots[i]);
    good += slots[i].times_tested > slots[i].failures;
  }
  for (int i = 0; i < line_slots_per_segment; i++) {
    if (!slot_used(slots[i])) continue;
    int shared = 0;
    const line_sample& a = slots[i].samples[0];
    for (int j = 0; j < line_slots_per_segment && !shared; j++) {
      if (j == i || !slot_used(slots[j])) continue;
      const line_sample& b = slots[j].samples[0];
      const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
      shared = dx * dx + dy * dy + dz * dz < 4.0;
    }
    // A line with a start of its own is the only way robots get there.
    if (!shared) adjusted[i] = adjusted[i] * 3 / 4;
  }
  int best = -1;
  for (int i = 0; i < line_slots_per_segment; i++) {
    if (!slot_used(slots[i])) continue;
    if (good <= 22 && slots[i].times_tested > slots[i].failures) continue;
    if (best < 0 || adjusted[i] > adjusted[best]) best = i;
  }
  return best;
}

int segment_side(const line_sample& a, const line_sample& b, const line_sample& p, const line_sample& q) {
  const double nx = (double)a.z - b.z, nz = (double)b.x - a.x;
  const double s1 = nx * ((double)p.x - a.x) + nz * ((double)p.z - a.z);
  const double s2 = nx * ((double)q.x - b.x) + nz * ((double)q.z - b.z);
  return (s1 < 0) != (s2 < 0);
}

void rider_set_auto_pilot_personality(rider* r, const char* name) {
  if (!r) return;
  for (int i = 1; i < auto_pilot_personality_count; i++) {
    if (name && std::strcmp(name, auto_pilot_personalities[i].name) == 0) {
      r->robot.personality = i;
      return;
    }
  }
  log_printf("auto pilot personality '%s' not found\n", name ? name : "");
  r->robot.personality = 1;
}

const char* lines_file_name(int skill) {
  static const char* const names[line_skill_count] = {"lines_novice", "lines_amateur", "lines_expert"};
  return skill >= 0 && skill < line_skill_count ? names[skill] : nullptr;
}

// Reads up to n samples; 1 when all n read, all finite, else 0. Samples go
// into out when it is given, else they are dropped. Reading stops at the
// first sample that does not read; a non-finite one is read past.
static int read_samples(stream* s, int64_t n, std::vector<line_sample>* out) {
  int sound = 1;
  for (int64_t i = 0; i < n; i++) {
    line_sample v;
    if (stream_scanf(s, " [ %f %f %f ] %f %f ", &v.x, &v.y, &v.z, &v.speed, &v.lean) != 5) return 0;
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || !std::isfinite(v.speed) ||
        !std::isfinite(v.lean)) {
      sound = 0;
      out = nullptr;
      continue;
    }
    if (out) out->push_back(v);
  }
  return sound;
}

int lines_read_record(stream* s, line_record* slot) {
  int32_t v[9];
  if (stream_scanf(s, " %d %d %d %d %d %d %d %d %d ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                   &v[8]) != 9)
    return lines_record_end;
  int sound = v[0] >= 1 && v[0] <= line_sample_count_max;
  for (int32_t x : v) sound &= x >= 0;
  if (!sound || !slot) {
    read_samples(s, v[0], nullptr);
    return sound ? lines_record_read : lines_record_malformed;
  }
  // The samples are gathered as they read, so a count the file does not
  // back allocates nothing.
  std::vector<line_sample> samples;
  if (!read_samples(s, v[0], &samples)) return lines_record_malformed;

  line_record_empty(slot);
  slot->samples = (line_sample*)xmalloc(sizeof(line_sample) * samples.size());
  std::memcpy(slot->samples, samples.data(), sizeof(line_sample) * samples.size());
  slot->sample_count = v[0];
  slot->own_time = v[1];
  slot->pass_time = v[2];
  slot->times_tested = v[3];
  slot->best_own_time = v[4];
  slot->best_pass_time = v[5];
  slot->own_time_sum = v[6];
  slot->pass_time_sum = v[7];
  slot->failures = v[8];
  slot->unique_id = ++route.id_serial;

  for (int k = 0; k < 17 && (slot->pass_time_sum > line_sum_max || slot->times_tested > line_count_max ||
                             slot->failures > line_count_max);
       k++) {
    const int32_t h = slot->times_tested / 2;
    if (h > 0) {
      slot->own_time_sum = (int32_t)((int64_t)(slot->own_time_sum / slot->times_tested) * h);
      slot->pass_time_sum = (int32_t)((int64_t)(slot->pass_time_sum / slot->times_tested) * h);
      slot->times_tested = h;
    }
    slot->failures /= 2;
  }
  if (slot->own_time_sum > line_sum_max) slot->own_time_sum = line_sum_max;
  if (slot->pass_time_sum > line_sum_max) slot->pass_time_sum = line_sum_max;
  if (slot->times_tested > line_count_max) slot->times_tested = line_count_max;
  if (slot->failures > line_count_max) slot->failures = line_count_max;
  return lines_record_read;
}

static std::string lines_path(const char* folder, const char* file_name) {
  return std::string(folder) + "/" + file_name;
}

int lines_load_file(int skill) {
  const char* name = lines_file_name(skill);
  lines_skill = name ? skill : -1;
  if (!name || !route_has_library()) return 0;
  return lines_load_from(lines_path(track_source, name).c_str(), nullptr);
}

// Keeps the first reason a file is damaged; the game goes on reading.
static void refuse(std::string* refusal, const char* format, ...) BK_PRINTF_LIKE(2, 3);
static void refuse(std::string* refusal, const char* format, ...) {
  if (!refusal || !refusal->empty()) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  *refusal = text;
}

int lines_load_from(const char* path, std::string* refusal) {
  if (!route_has_library()) {
    refuse(refusal, "the track has no line segments");
    return 0;
  }
  stream* s = stream_open(path, "rb");
  if (!s) {
    refuse(refusal, "can't open");
    return 0;
  }
  const int32_t segments = route_library_segments();
  int32_t header = -1;
  if (stream_scanf(s, "ct03 %d ", &header) != 1 || header != segments) {
    log_printf("Lines file '%s' is not for this track's %d segments\n", path, segments);
    refuse(refusal, "not a lines file for this track's %d segments", segments);
    stream_close(s);
    return 0;
  }
  int ended = 0;
  for (int32_t k = 0; k < segments && !ended; k++) {
    int32_t records = 0;
    if (stream_scanf(s, " %d ", &records) != 1) {
      refuse(refusal, "ends before segment %d", k);
      break;
    }
    if (records < 0) {
      log_printf("Lines file '%s': segment %d has %d records\n", path, k, records);
      refuse(refusal, "segment %d has %d records", k, records);
      break;
    }
    line_record* slots = library_segment_slots(k);
    for (int32_t i = 0; i < records; i++) {
      const int got = lines_read_record(s, i < line_slots_per_segment ? &slots[i] : nullptr);
      if (got == lines_record_malformed) {
        log_printf("Lines file '%s': segment %d record %d is malformed\n", path, k, i);
        refuse(refusal, "segment %d record %d is malformed", k, i);
      }
      if (got == lines_record_end) {
        // A file cut short is damage a player should hear of, at any debug level.
        log_printf("Lines file '%s' ends in segment %d at record %d\n", path, k, i);
        refuse(refusal, "ends in segment %d at record %d", k, i);
        ended = 1;
        break;
      }
    }
    if (game_state.debug_level > 0) log_printf("%d: %d\n", k, records);
  }
  if (!ended && stream_getc(s) >= 0) refuse(refusal, "more after the last segment");
  stream_close(s);
  return 1;
}

static int two_samples(const line_record& r) { return slot_used(r) && r.sample_count >= 2; }

static int polylines_cross(const line_record& m, const line_record& j) {
  for (int32_t a = 0; a + 1 < m.sample_count; a++)
    for (int32_t b = 0; b + 1 < j.sample_count; b++)
      if (segment_side(j.samples[b], j.samples[b + 1], m.samples[a], m.samples[a + 1]) &&
          segment_side(m.samples[a], m.samples[a + 1], j.samples[b], j.samples[b + 1]))
        return 1;
  return 0;
}

// On equal crossing counts, whether candidate should take the place of chosen.
static int prune_sooner(const line_record& candidate, const line_record& chosen) {
  const int32_t tc = candidate.times_tested, th = chosen.times_tested;
  if (tc > 0 && th > 0) return candidate.pass_time_sum / tc < chosen.pass_time_sum / th;
  if (tc > 0) return 1;
  if (th > 0) return 0;
  return candidate.pass_time < chosen.pass_time;
}

void line_library_prune() {
  if (!route_has_library()) return;
  for (int32_t k = 0; k < route.first_lap_segments; k++) {
    line_record* slots = library_segment_slots(k);
    int used = 0;
    for (int i = 0; i < line_slots_per_segment; i++) used += slot_used(slots[i]);
    for (; used >= line_slots_per_segment - 1; used -= 2) {
      int counts[line_slots_per_segment] = {};
      for (int m = 0; m < line_slots_per_segment; m++) {
        if (!two_samples(slots[m])) continue;
        for (int j = 0; j < line_slots_per_segment; j++)
          if (j != m && two_samples(slots[j])) counts[m] += polylines_cross(slots[m], slots[j]);
      }
      int chosen = -1;
      for (int m = 0; m < line_slots_per_segment; m++) {
        if (counts[m] <= 0) continue;
        if (chosen < 0 || counts[m] > counts[chosen] ||
            (counts[m] == counts[chosen] && prune_sooner(slots[m], slots[chosen])))
          chosen = m;
      }
      if (chosen >= 0) line_record_empty(&slots[chosen]);
      const int given_up = line_slot_to_replace(slots);
      if (given_up >= 0) line_record_empty(&slots[given_up]);
    }
  }
}

std::string lines_file_text() {
  std::string text;
  char line[256];
  const int32_t segments = route_has_library() ? route_library_segments() : 0;
  std::snprintf(line, sizeof line, "ct03 %d\n", segments);
  text += line;
  for (int32_t k = 0; k < segments; k++) {
    const line_record* slots = library_segment_slots(k);
    int used = 0;
    for (int i = 0; i < line_slots_per_segment; i++) used += slot_used(slots[i]);
    std::snprintf(line, sizeof line, "%d\n", used);
    text += line;
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& r = slots[i];
      if (!slot_used(r)) continue;
      std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d %d\n", r.sample_count, r.own_time, r.pass_time,
                    r.times_tested, r.best_own_time, r.best_pass_time, r.own_time_sum, r.pass_time_sum,
                    r.failures);
      text += line;
      for (int32_t n = 0; n < r.sample_count; n++) {
        const line_sample& v = r.samples[n];
        std::snprintf(line, sizeof line, "[%f %f %f] %f %f\n", v.x, v.y, v.z, v.speed, v.lean);
        text += line;
      }
    }
  }
  return text;
}

int lines_write_file(const char* file_name) {
  if (!game_state.learn_lines || !file_name || !route_has_library() || !track_folder[0]) return 0;
  const std::string path = lines_path((std::string("@") + track_folder).c_str(), file_name);
  const std::string text = lines_file_text();
  // Written beside the old file and renamed over it, so a full disk never
  // leaves a truncated library behind.
  if (!file_replace(path.c_str(), text.data(), text.size(), 0)) {
    console_printf("Can't write lines file '%s'", path.c_str());
    return 0;
  }
  return 1;
}

void line_library_clear() {
  if (lines_skill >= 0) lines_write_file(lines_file_name(lines_skill));
  if (!route_has_library()) return;
  const int32_t slots = route_library_segments() * line_slots_per_segment;
  for (int32_t i = 0; i < slots; i++) line_record_empty(&route.line_library[i]);
}
