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

// The reader takes the file a line at a time, as the writer lays it out: a
// count line per segment, a line of nine integers per record, a line per
// sample. Damage costs only what it touches: a bad record leaves its slot
// empty, a count that does not match the records behind it or a line that
// is none of the three is named, and reading picks up again at the next
// record or segment. A segment read whole is flagged so a second file can
// fill in only what this one could not give.

enum {
  lines_line_max = 4096,   // longer is no line the writer makes
  lines_faults_logged = 8, // a ruined file says why, not once per line
};

namespace {

enum line_kind { line_blank, line_count, line_record_head, line_sample_row, line_junk };

struct lines_reader {
  stream* s = nullptr;
  const char* path = nullptr;
  std::string* refusal = nullptr;
  std::string text;  // the current line, without its end
  int64_t line = 0;  // its number from 1
  int too_long = 0, has_nul = 0;
  int faults = 0;
  // Where the current line sits in the library.
  int32_t segments = 0, segment = -1, count = -1, index = 0;
  int count_sound = 0;
  std::vector<char>* whole = nullptr;       // per segment, set when read whole
  const std::vector<char>* wanted = nullptr;  // null: every segment, records into slot = index
  // The record being read.
  int in_record = 0, skipping = 0;
  int64_t head[9] = {};
  int64_t samples_left = 0;
  int64_t record_line = 0, bad_line = 0;  // where it began, its first bad sample
  int samples_bad = 0;
  std::vector<line_sample> samples;
};

// Reads the next line; 0 at the end of the data.
int next_line(lines_reader* r) {
  r->text.clear();
  r->too_long = r->has_nul = 0;
  int c = stream_getc(r->s);
  if (c < 0) return 0;
  for (; c >= 0 && c != '\n'; c = stream_getc(r->s)) {
    if (c == 0) r->has_nul = 1;
    if (r->text.size() < lines_line_max) r->text += (char)c;
    else r->too_long = 1;
  }
  if (!r->text.empty() && r->text.back() == '\r') r->text.pop_back();
  r->line++;
  return 1;
}

int is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Whitespace-separated whole numbers filling the line; -1 when anything else
// is on it, else how many (at most max are kept).
int line_integers(const char* p, int64_t* out, int max) {
  int n = 0;
  for (;;) {
    while (is_space(*p)) p++;
    if (!*p) return n;
    const char* start = p;
    if (*p == '+' || *p == '-') p++;
    if (*p < '0' || *p > '9') return -1;
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++) v = v < INT64_MAX / 20 ? v * 10 + (*p - '0') : v;
    if (*p && !is_space(*p)) return -1;
    if (n < max) out[n] = *start == '-' ? -v : v;
    n++;
  }
}

int read_float(const char** p, float* out) {
  char* end = nullptr;
  *out = std::strtof(*p, &end);
  if (end == *p) return 0;
  *p = end;
  return 1;
}

// "[x y z] speed lean"; 1 when the line is that and nothing more.
int line_sample_values(const char* p, line_sample* v) {
  while (is_space(*p)) p++;
  if (*p++ != '[') return 0;
  if (!read_float(&p, &v->x) || !read_float(&p, &v->y) || !read_float(&p, &v->z)) return 0;
  while (is_space(*p)) p++;
  if (*p++ != ']') return 0;
  if (!read_float(&p, &v->speed) || !read_float(&p, &v->lean)) return 0;
  while (is_space(*p)) p++;
  return *p == 0;
}

line_kind classify(const lines_reader* r, int64_t* numbers, int* numbers_read) {
  if (r->too_long || r->has_nul) return line_junk;
  const char* p = r->text.c_str();
  while (is_space(*p)) p++;
  if (!*p) return line_blank;
  if (*p == '[') return line_sample_row;
  *numbers_read = line_integers(p, numbers, 9);
  if (*numbers_read == 1) return line_count;
  if (*numbers_read == 9) return line_record_head;
  return line_junk;
}

// Names a fault in the log (the first few of a file) and keeps the first
// as the refusal. A fault inside a segment costs it its whole flag.
void fault_at(lines_reader* r, int64_t line, const char* format, ...) BK_PRINTF_LIKE(3, 4);
void fault_at(lines_reader* r, int64_t line, const char* format, ...) {
  char text[384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (r->segment >= 0 && r->segment < r->segments && r->whole) (*r->whole)[r->segment] = 0;
  if (r->faults++ < lines_faults_logged) log_printf("Lines file '%s' line %lld: %s\n", r->path, (long long)line, text);
  if (r->refusal && r->refusal->empty()) *r->refusal = "line " + std::to_string(line) + ": " + text;
}

int segment_taken(const lines_reader* r) {
  return r->segment >= 0 && r->segment < r->segments && (!r->wanted || (*r->wanted)[r->segment]);
}

// The slot a sound record goes into, or null when it is read past.
line_record* record_slot(const lines_reader* r) {
  if (!segment_taken(r)) return nullptr;
  line_record* slots = library_segment_slots(r->segment);
  if (!r->wanted) return r->index < line_slots_per_segment ? &slots[r->index] : nullptr;
  for (int i = 0; i < line_slots_per_segment; i++)
    if (!slot_used(slots[i])) return &slots[i];
  return nullptr;
}

void store_record(line_record* slot, const int64_t v[9], const std::vector<line_sample>& samples) {
  line_record_empty(slot);
  slot->samples = (line_sample*)xmalloc(sizeof(line_sample) * samples.size());
  std::memcpy(slot->samples, samples.data(), sizeof(line_sample) * samples.size());
  slot->sample_count = (int32_t)v[0];
  slot->own_time = (int32_t)v[1];
  slot->pass_time = (int32_t)v[2];
  slot->times_tested = (int32_t)v[3];
  slot->best_own_time = (int32_t)v[4];
  slot->best_pass_time = (int32_t)v[5];
  slot->own_time_sum = (int32_t)v[6];
  slot->pass_time_sum = (int32_t)v[7];
  slot->failures = (int32_t)v[8];
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
}

void finish_record(lines_reader* r) {
  r->in_record = 0;
  if (r->samples_left > 0) {
    fault_at(r, r->record_line, "segment %d record %d is malformed: cut short after %zu of %lld samples", r->segment, r->index,
          r->samples.size(), (long long)r->head[0]);
  } else if (r->samples_bad) {
    fault_at(r, r->bad_line, "segment %d record %d is malformed: a sample is not five finite numbers", r->segment,
             r->index);
  } else if (line_record* slot = record_slot(r)) {
    store_record(slot, r->head, r->samples);
  }
  r->samples.clear();
  r->index++;
}

void start_record(lines_reader* r, const int64_t v[9]) {
  if (r->segment < 0) {
    fault_at(r, r->line, "a record before segment 0's count");
    r->segment = 0;
    r->count_sound = 0;
  }
  if (r->count_sound && r->index == r->count)
    fault_at(r, r->line, "segment %d has more records than its count of %d", r->segment, r->count);
  const char* reason = nullptr;
  for (int i = 0; i < 9 && !reason; i++)
    if (v[i] < 0 || v[i] > INT32_MAX) reason = v[i] < 0 ? "a negative number" : "a number too large";
  if (!reason && v[0] < 1) reason = "no samples";
  if (!reason && v[0] > line_sample_count_max) reason = "more than 65536 samples";
  if (reason) {
    fault_at(r, r->line, "segment %d record %d is malformed: %s", r->segment, r->index, reason);
    r->index++;
    r->skipping = 1;
    return;
  }
  std::memcpy(r->head, v, sizeof r->head);
  r->in_record = 1;
  r->samples_left = v[0];
  r->samples_bad = 0;
  r->record_line = r->line;
  r->samples.clear();
}

void end_segment(lines_reader* r) {
  if (r->segment < 0 || r->segment >= r->segments) return;
  if (r->count_sound && r->index < r->count)
    fault_at(r, r->line, "segment %d has %d records where its count says %d", r->segment, r->index, r->count);
}

// A count line; 0 when the file holds more segments than the track.
int start_segment(lines_reader* r, int64_t records) {
  end_segment(r);
  r->segment++;
  r->index = 0;
  if (r->segment >= r->segments) {
    fault_at(r, r->line, "more after the last segment");
    return 0;
  }
  if (r->whole) (*r->whole)[r->segment] = 1;
  r->count_sound = records >= 0 && records <= INT32_MAX;
  r->count = r->count_sound ? (int32_t)records : -1;
  if (!r->count_sound) fault_at(r, r->line, "segment %d has %lld records", r->segment, (long long)records);
  if (game_state.debug_level > 0) log_printf("%d: %lld\n", r->segment, (long long)records);
  return 1;
}

// Reads the file's segments into the library. With wanted, only those
// segments are read, into their empty slots. Returns 1 when the header
// names this track's segments.
int read_lines(stream* s, const char* path, std::string* refusal, std::vector<char>* whole,
               const std::vector<char>* wanted) {
  lines_reader r;
  r.s = s;
  r.path = path;
  r.refusal = refusal;
  r.segments = route_library_segments();
  r.whole = whole;
  r.wanted = wanted;
  whole->assign((size_t)r.segments, 0);

  int64_t numbers[9];
  int numbers_read = 0;
  // The header: "ct03" and the segment count, alone on the first line.
  int header_sound = next_line(&r) && !r.too_long && !r.has_nul && r.text.compare(0, 4, "ct03") == 0 &&
                     line_integers(r.text.c_str() + 4, numbers, 1) == 1 && numbers[0] == r.segments;
  if (!header_sound) {
    log_printf("Lines file '%s' is not for this track's %d segments\n", path, r.segments);
    if (refusal && refusal->empty()) *refusal = "not a lines file for this track's " + std::to_string(r.segments) + " segments";
    return 0;
  }
  int more = 1;
  while (more && next_line(&r)) {
    const line_kind kind = classify(&r, numbers, &numbers_read);
    if (kind == line_blank) continue;
    if (kind == line_sample_row) {
      line_sample v;
      if (r.in_record) {
        const int sound = line_sample_values(r.text.c_str(), &v) && std::isfinite(v.x) && std::isfinite(v.y) &&
                          std::isfinite(v.z) && std::isfinite(v.speed) && std::isfinite(v.lean);
        if (!sound && !r.samples_bad) {
          r.samples_bad = 1;
          r.bad_line = r.line;
        }
        if (sound && !r.samples_bad) r.samples.push_back(v);
        if (--r.samples_left == 0) finish_record(&r);
      } else if (!r.skipping) {
        fault_at(&r, r.line, "a sample outside any record");
        r.skipping = 1;
      }
      continue;
    }
    if (r.in_record) finish_record(&r);  // cut short: this line begins something else
    r.skipping = 0;
    if (kind == line_count) more = start_segment(&r, numbers[0]);
    else if (kind == line_record_head) start_record(&r, numbers);
    else if (r.too_long) fault_at(&r, r.line, "a line of more than %d bytes", (int)lines_line_max);
    else if (r.has_nul) fault_at(&r, r.line, "a NUL byte");
    else fault_at(&r, r.line, "not a count, a record or a sample");
  }
  if (more) {
    if (r.in_record) finish_record(&r);
    if (r.segment >= 0 && r.count_sound && r.index < r.count) {
      fault_at(&r, r.line, "ends in segment %d at record %d", r.segment, r.index);
    } else if (r.segment < r.segments - 1) {
      const int32_t next = r.segment + 1;
      r.segment = -1;  // the fault is the file's: the segments read stay whole
      fault_at(&r, r.line, "ends before segment %d", next);
    }
  }
  if (r.faults > lines_faults_logged)
    log_printf("Lines file '%s': %d faults in all\n", path, r.faults);
  if (refusal && r.faults > 1) *refusal += " (" + std::to_string(r.faults) + " faults in all)";
  return 1;
}

}  // namespace

static std::string lines_path(const char* folder, const char* file_name) {
  return std::string(folder) + "/" + file_name;
}

static int load_lines_stream(stream* s, const char* path, std::string* refusal, std::vector<char>* whole,
                             const std::vector<char>* wanted) {
  const int header = read_lines(s, path, refusal, whole, wanted);
  stream_close(s);
  return header;
}

int lines_load_from(const char* path, std::string* refusal) {
  if (!route_has_library()) {
    if (refusal && refusal->empty()) *refusal = "the track has no line segments";
    return 0;
  }
  stream* s = stream_open(path, "rb");
  if (!s) {
    if (refusal && refusal->empty()) *refusal = "can't open";
    return 0;
  }
  std::vector<char> whole;
  return load_lines_stream(s, path, refusal, &whole, nullptr);
}

int lines_load_file(int skill) {
  const char* name = lines_file_name(skill);
  lines_skill = name ? skill : -1;
  if (!name || !route_has_library()) return 0;
  const std::string path = lines_path(track_source, name);
  if (track_source[0] != '@') return lines_load_from(path.c_str(), nullptr);

  // The per-user copy comes first; the shipped one gives every segment the
  // per-user copy could not, so a damaged copy never leaves robots without
  // lines the track came with.
  std::vector<char> whole, from_user;
  int header = 0, user_read = 0;
  char* user_path = home_file_path(path.c_str());
  stream* s = user_path ? stream_open(user_path, "rb") : nullptr;
  if (s) {
    user_read = 1;
    header = load_lines_stream(s, user_path, nullptr, &from_user, nullptr);
  }
  check_free(user_path);
  int missing = !user_read;
  for (char w : from_user) missing |= !w;
  if (!missing) return header;
  std::vector<char> wanted((size_t)route_library_segments(), 1);
  if (user_read)
    for (size_t k = 0; k < wanted.size() && k < from_user.size(); k++) wanted[k] = !from_user[k];
  s = stream_open_shadowed(path.c_str());
  if (!s) return header;
  if (user_read) log_printf("Lines file '%s': the segments it could not give come from the track's own\n", path.c_str());
  header |= load_lines_stream(s, path.c_str(), nullptr, &whole, &wanted);
  return header;
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
