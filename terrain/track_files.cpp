// The text files of a track folder besides the terrain: timing gates,
// flaggers, lighting and cameras (read), and the billboards, statues and
// timing gates the editor saves.
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/loading.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/stream.h"
#include "platform/log.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"

char timing_gates_fault[timing_gates_fault_bytes];

namespace {

const char* const default_gate_model = "@startgate.jm";
const char* const default_gate_texture = "@startgate.ppm";
const char* const default_gate_shape = "@startgate.shp";

enum { name_bytes = 1024, line_bytes = 4096, token_bytes = 81 };

int all_finite(const float* v, int n) {
  for (int k = 0; k < n; k++)
    if (!std::isfinite(v[k])) return 0;
  return 1;
}

// "null" names nothing.
const char* name_or_none(const char* name) { return std::strcmp(name, "null") == 0 ? nullptr : name; }

uint32_t load_texture(const char* name) {
  return name && terrain_textures.load_texture ? terrain_textures.load_texture(name) : 0;
}

// Reads one line; 0 at the end of the file. A line longer than the buffer
// is refused (1 with *too_long set) rather than split into two.
int read_line(stream* s, char* line, int size, int* too_long) {
  *too_long = 0;
  if (!stream_gets(s, line, size)) return 0;
  const size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n') {
    line[n - 1] = 0;
    return 1;
  }
  if ((int)n == size - 1 && stream_peekc(s) != EOF) *too_long = 1;
  return 1;
}

int is_blank(const char* line) {
  for (; *line; line++)
    if (*line != ' ' && *line != '\t' && *line != '\r') return 0;
  return 1;
}

// The timing_gates file being read, so its warnings can name the line.
const char* gates_path;

// 1 + the line ends among the first `offset` bytes of the file.
int line_at(uint32_t offset) {
  stream* s = gates_path ? stream_open(gates_path, "rb") : nullptr;
  if (!s) return 0;
  int line = 1;
  for (uint32_t k = 0; k < offset; k++) {
    const int c = stream_getc(s);
    if (c == EOF) break;
    if (c == '\n') line++;
  }
  stream_close(s);
  return line;
}

// A warning about the entry that starts at `offset`; the first one is kept
// as the reason the gates may not take effect.
void gates_warning(uint32_t offset, const char* format, ...) __attribute__((format(printf, 2, 3)));
void gates_warning(uint32_t offset, const char* format, ...) {
  char text[timing_gates_fault_bytes - 64];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  char where[timing_gates_fault_bytes - 16];
  std::snprintf(where, sizeof where, "timing_gates line %d: %s", line_at(offset), text);
  console_printf("Warning: %s", where);
  if (!timing_gates_fault[0]) std::snprintf(timing_gates_fault, sizeof timing_gates_fault, "%s", where);
}

// Skips blank space and returns where the next entry starts.
uint32_t entry_start(stream* s) {
  stream_scanf(s, " ");
  return s->position;
}

// Where a reader stopped: a conversion that matched part of an entry, or
// anything left but white space, was an entry it could not read.
int stopped_early(stream* s, int got) {
  if (got > 0) return 1;
  int c;
  while ((c = stream_getc(s)) != EOF)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return 1;
  return 0;
}

float last_gate_index() { return (float)(checkpoints_read > 0 ? checkpoints_read - 1 : 0); }

int32_t normalise_entry(int32_t e) {
  const int32_t last = (int32_t)last_gate_index();
  if (e < 0) return 0;
  if (e >= route_flagged) {
    const int32_t gate = e % route_flagged;
    return route_flagged + (gate > last ? last : gate);
  }
  // A plain entry past the last gate stays as written (the readers of the
  // route find no gate for it); only a flagged entry's gate is clamped.
  return e;
}

// Reads the "%d" entries of one lap list into route.entries from `first`,
// keeping at most `room`; the rest is skipped with a warning. Returns the
// number kept.
int32_t read_lap_list(stream* s, int32_t first, int32_t room, const char* name) {
  int32_t kept = 0, dropped = 0;
  int32_t e;
  while (stream_scanf(s, " %d", &e) == 1) {
    if (kept < room)
      route.entries[first + kept++] = normalise_entry(e);
    else
      dropped++;
  }
  if (dropped)
    console_printf("Warning: timing_gates: %d %s entries past the %d the lap table holds are ignored", dropped, name,
                   route_entry_max);
  return kept;
}

// Plain (segment-starting) entries among n from first.
int32_t plain_entries(int32_t first, int32_t n) {
  int32_t count = 0;
  for (int32_t i = first; i < first + n; i++)
    if (route.entries[i] < route_flagged) count++;
  return count;
}

void clear_gates() {
  checkpoint_count = 0;
  checkpoints_read = 0;
  start_slot_count = 0;
  race_clock.start_gate_count = 0;
  lap_list_read[0] = lap_list_read[1] = 0;
  route.gate_count = 0;
  route.first_lap_gates = route.normal_lap_gates = 0;
  route.first_lap_segments = route.normal_lap_segments = 0;
  route.id_serial = 0;
}

// The starting grid, up to its "checkpoints:" line. 1 when that line ended
// it (the gates follow), 0 when the file ends here.
int read_start_slots(stream* s) {
  char* line = (char*)xmalloc(line_bytes);
  char* names = (char*)xmalloc(3 * name_bytes);
  int gates_follow = 0;
  for (;;) {
    int too_long;
    const uint32_t at = s->position;
    if (!read_line(s, line, line_bytes, &too_long)) break;
    if (too_long) {
      gates_warning(at, "starting gate line too long; the rest of the file is ignored");
      break;
    }
    // A blank line ends the grid as a malformed one does: the gates are
    // only read after the "checkpoints:" line.
    if (is_blank(line)) {
      gates_warning(at, "a blank line ends the starting gates; the rest of the file is ignored");
      break;
    }
    const char* text = line + std::strspn(line, " \t");
    if (std::strncmp(text, "checkpoints:", 12) == 0) {
      gates_follow = 1;
      break;
    }
    float v[4];
    char* model = names;
    char* texture = names + name_bytes;
    char* shape = names + 2 * name_bytes;
    model[0] = texture[0] = shape[0] = 0;
    const int got = std::sscanf(text, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3], model,
                                texture, shape);
    if (got < 4) {
      gates_warning(at, "bad starting gate line '%.200s'; the rest of the file is ignored", text);
      break;
    }
    if (!all_finite(v, 4)) {
      gates_warning(at, "a starting gate number is out of range; the rest of the file is ignored");
      break;
    }
    if (start_slot_count == start_slot_max) {
      gates_warning(at, "more than %d starting gates; the rest of the file is ignored", start_slot_max);
      break;
    }
    start_slot* slot = &start_slots[start_slot_count];
    slot->x = v[0];
    slot->y = v[1];
    slot->z = v[2];
    const float a = wrap_angle(v[3]);
    slot->angle = a;
    const char* m = got >= 5 ? name_or_none(model) : default_gate_model;
    const char* t = got >= 6 ? name_or_none(texture) : default_gate_texture;
    const char* p = got >= 7 ? name_or_none(shape) : default_gate_shape;
    slot->statue = load_track_object(v[0] - 3.0f * std::sin(a), v[1], v[2] - 3.0f * std::cos(a), a, m, t, p);
    race_clock.start_gate_statues[start_slot_count] = slot->statue;
    start_slot_count++;
    race_clock.start_gate_count = start_slot_count;
  }
  check_free(names);
  check_free(line);
  return gates_follow;
}

void read_checkpoints_and_laps(stream* s) {
  uint32_t at;
  for (;;) {
    at = entry_start(s);
    float v[7];
    const int got = stream_scanf(s, " %f [ %f %f %f ] [ %f %f %f ]", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
    if (got != 7) {
      // The scanner gives -1 for a gate cut short before a bracket: what it
      // consumed up to the end of the file was still part of a gate.
      if (got > 0 || (stream_peekc(s) == EOF && s->position > at)) {
        gates_warning(at, "gate %d is incomplete; the rest of the file is ignored", checkpoints_read);
        return;
      }
      break;
    }
    if (!all_finite(v, 7)) {
      gates_warning(at, "gate %d has a number out of range; the rest of the file is ignored", checkpoints_read);
      return;
    }
    if (checkpoints_read == checkpoint_max) {
      gates_warning(at, "more than %d gates; the rest of the file is ignored", checkpoint_max);
      return;
    }
    checkpoint* c = &checkpoints[checkpoints_read];
    std::memset(c, 0, sizeof *c);
    c->half_width = v[0];
    c->x = v[1];
    c->y = v[2];
    c->z = v[3];
    c->dx = v[4];
    c->dy = v[5];
    c->dz = v[6];
    if (c->dx == 0.0f && c->dz == 0.0f) gates_warning(at, "gate %d has no horizontal direction", checkpoints_read);
    checkpoints_read++;
  }
  char token[token_bytes];
  if (stream_scanf(s, " %80s", token) != 1) return;
  if (std::strcmp(token, "firstlap:") != 0) {
    gates_warning(at, "'%.80s' where 'firstlap:' was expected", token);
    return;
  }
  lap_list_read[0] = read_lap_list(s, 0, route_entry_max, "first-lap");
  at = entry_start(s);
  if (stream_scanf(s, " %80s", token) != 1) return;
  if (std::strcmp(token, "normallap:") != 0) {
    gates_warning(at, "'%.80s' where 'normallap:' was expected", token);
    return;
  }
  lap_list_read[1] = read_lap_list(s, lap_list_read[0], route_entry_max - lap_list_read[0], "normal-lap");
  at = entry_start(s);
  if (stream_getc(s) != EOF) gates_warning(at, "unreadable lap entry; the rest of the file is ignored");
}

// Makes the robot riders' line storage for the segments and empties it.
void make_line_library(int32_t segments) {
  route.line_library = (line_record*)xmalloc(sizeof(line_record) * (size_t)segments * line_slots_per_segment);
  for (int32_t k = 0; k < segments * line_slots_per_segment; k++) {
    line_record* r = &route.line_library[k];
    std::memset(r, 0, sizeof *r);
    line_record_empty(r);
  }
  route.best_paths = (int32_t*)xmalloc(sizeof(int32_t) * route_best_path_variants * (size_t)segments);
  std::memset(route.best_paths, 0, sizeof(int32_t) * route_best_path_variants * (size_t)segments);
  route.id_serial = 0;
}

}  // namespace

float wrap_angle(float a) {
  const double two_pi = 2.0 * M_PI;
  const double t = ((double)a + M_PI) / two_pi;
  return (float)((t - std::floor(t)) * two_pi - M_PI);
}

void checkpoint_far_end(const checkpoint* c, float out[3]) {
  out[0] = c->x;
  out[1] = c->y;
  out[2] = c->z;
  const double length = std::sqrt((double)c->dx * c->dx + (double)c->dy * c->dy + (double)c->dz * c->dz);
  if (c->dx == 0.0f && c->dz == 0.0f) return;
  if (!(length > 0.0) || !std::isfinite(length)) return;
  out[0] = (float)(c->x + c->dx / length * c->half_width);
  out[1] = (float)(c->y + c->dy / length * c->half_width);
  out[2] = (float)(c->z + c->dz / length * c->half_width);
}

int read_timing_gates(const char* path) {
  clear_gates();
  timing_gates_fault[0] = 0;
  stream* s = stream_open(path, "rb");
  if (!s) {
    std::snprintf(timing_gates_fault, sizeof timing_gates_fault, "there is no timing_gates file");
    return 0;
  }
  gates_path = path;
  char token[token_bytes];
  int gates = 0;
  const uint32_t at = entry_start(s);
  const int empty = stream_peekc(s) == EOF;
  if (stream_scanf(s, " %80s", token) == 1) {
    if (std::strcmp(token, "startinggate:") == 0) {
      // Blank space after the heading, blank lines too, comes before the
      // first slot.
      stream_scanf(s, " ");
      gates = read_start_slots(s);
    } else if (std::strcmp(token, "checkpoints:") == 0) {
      gates = 1;
    } else {
      gates_warning(at, "starts with '%.80s', not 'startinggate:' or 'checkpoints:'", token);
    }
  }
  if (gates) read_checkpoints_and_laps(s);
  stream_close(s);
  gates_path = nullptr;

  const int32_t f = lap_list_read[0], n = lap_list_read[1];
  const int32_t sf = plain_entries(0, f), sn = plain_entries(f, n);
  if (checkpoints_read >= 1 && f > 2 && n > 2 && sf > 2 && sn > 2) {
    make_line_library(sf + sn);
    checkpoint_count = checkpoints_read;
    route.gate_count = checkpoints_read;
    route.first_lap_gates = f;
    route.normal_lap_gates = n;
    route.first_lap_segments = sf;
    route.normal_lap_segments = sn;
    timing_gates_fault[0] = 0;
    if (verbose)
      log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", checkpoint_count, f, n);
    return 1;
  }
  // Without gates in effect no lap is timed: say why, unless a warning
  // above already named the line that ended the reading.
  if (timing_gates_fault[0]) {
    console_print("Warning: the track has no timing gates in effect: laps are not timed");
    return 1;
  }
  {
    char why[200];
    if (empty)
      std::snprintf(why, sizeof why, "the file is empty");
    else if (checkpoints_read == 0)
      std::snprintf(why, sizeof why, "it holds no gates");
    else if (f <= 2 || sf <= 2)
      std::snprintf(why, sizeof why, "the first lap lists %d crossings, %d of them starting a segment; a lap needs "
                    "more than 2 of each", f, sf);
    else
      std::snprintf(why, sizeof why, "the normal lap lists %d crossings, %d of them starting a segment; a lap needs "
                    "more than 2 of each", n, sn);
    std::snprintf(timing_gates_fault, sizeof timing_gates_fault, "timing_gates: %s", why);
  }
  console_printf("Warning: the track has no timing gates in effect (%.200s): laps are not timed", timing_gates_fault);
  return 1;
}

int read_flaggers(const char* path) {
  std::memset(&flaggers, 0, sizeof flaggers);
  flaggers.start_billboard = -1;
  flaggers.lap_billboard = -1;
  flaggers.start_walk_time = 1.0f;
  if (!course_flaggers.data && !growable_array_init(&course_flaggers, sizeof(course_flagger), 16)) return 0;
  stream* s = stream_open(path, "rb");
  if (!s) return 0;
  char* name = (char*)xmalloc(name_bytes);
  char* second = (char*)xmalloc(name_bytes);
  const int32_t last_gate = checkpoint_count - 1;
  // The reading stops at the first piece that does not match; `got` is what
  // that piece matched, `bad` a number out of range (already reported).
  int got = 0, bad = 0;
  do {
    float v[9];
    if ((got = stream_scanf(s, " [ %f %f %f ] [ %f %f %f ] %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                            &v[6], &v[7], &v[8])) != 9)
      break;
    if ((bad = !all_finite(v, 9))) {
      console_print("Warning: flaggers: the start flagger has a number out of range; the rest is ignored");
      break;
    }
    std::memcpy(flaggers.start_from, v, sizeof flaggers.start_from);
    std::memcpy(flaggers.start_to, v + 3, sizeof flaggers.start_to);
    flaggers.start_size = v[6];
    flaggers.start_aspect = v[7];
    flaggers.start_walk_time = v[8];
    if ((got = stream_scanf(s, " %1023s", name)) != 1) {
      got = 1;  // the start flagger was half read
      break;
    }
    flaggers.start_billboard = add_billboard(v[0], v[1], v[2], v[6], v[7], name);
    flaggers.start_textures[0] = billboard_at(flaggers.start_billboard)->texture;
    int k = 1;
    for (; k < flagger_start_textures && stream_scanf(s, " %1023s", name) == 1; k++)
      flaggers.start_textures[k] = load_texture(name);
    if (k < flagger_start_textures) {
      got = 1;
      break;
    }

    float w[5];
    if ((got = stream_scanf(s, " [ %f %f %f ] %f %f", &w[0], &w[1], &w[2], &w[3], &w[4])) != 5) break;
    if ((bad = !all_finite(w, 5))) {
      console_print("Warning: flaggers: the lap flagger has a number out of range; the rest is ignored");
      break;
    }
    if (stream_scanf(s, " %1023s", name) != 1) {
      got = 1;
      break;
    }
    flaggers.lap_billboard = add_billboard(w[0], w[1], w[2], w[3], w[4], name);
    flaggers.lap_textures[0] = billboard_at(flaggers.lap_billboard)->texture;
    for (k = 1; k < flagger_lap_textures && stream_scanf(s, " %1023s", name) == 1; k++)
      flaggers.lap_textures[k] = load_texture(name);
    if (k < flagger_lap_textures) {
      got = 1;
      break;
    }

    for (;;) {
      int32_t g[flagger_course_gates];
      if ((got = stream_scanf(s, " [ %f %f %f ] %f %f %d %d %d %d", &w[0], &w[1], &w[2], &w[3], &w[4], &g[0], &g[1],
                              &g[2], &g[3])) != 9)
        break;
      if ((bad = !all_finite(w, 5))) {
        console_print("Warning: flaggers: a course flagger has a number out of range; the rest is ignored");
        break;
      }
      if (stream_scanf(s, " %1023s %1023s", name, second) != 2) {
        got = 1;
        break;
      }
      course_flagger c;
      std::memset(&c, 0, sizeof c);
      c.billboard = add_billboard(w[0], w[1], w[2], w[3], w[4], name);
      c.texture_idle = billboard_at(c.billboard)->texture;
      c.texture_waving = load_texture(second);
      for (int j = 0; j < flagger_course_gates; j++) c.gates[j] = g[j] < -1 ? -1 : g[j] > last_gate ? last_gate : g[j];
      growable_array_append(&course_flaggers, &c);
    }
  } while (0);
  if (!bad && stopped_early(s, got)) console_print("Warning: flaggers: a malformed entry; the rest is ignored");
  check_free(second);
  check_free(name);
  stream_close(s);
  return 1;
}

int read_billboards(const char* path) {
  const char* stage = "Loading billboards";
  loading_show_logged(stage);
  stream* s = stream_open(path, "rb");
  if (!s) {
    loading_progress_done(stage);
    return 0;
  }
  char* name = (char*)xmalloc(name_bytes);
  float v[5];
  int got, entry = 0, bad = 0;
  while ((got = stream_scanf(s, " [ %f %f %f ] %f %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4], name)) == 6) {
    if ((bad = !all_finite(v, 5))) {
      console_printf("Warning: billboards: entry %d has a number out of range; the rest is ignored", entry);
      break;
    }
    add_billboard(v[0], v[1], v[2], v[3], v[4], name);
    entry++;
    loading_progress(stage);
  }
  if (!bad && stopped_early(s, got)) console_printf("Warning: billboards: entry %d is malformed; the rest is ignored", entry);
  check_free(name);
  stream_close(s);
  loading_progress_done(stage);
  return 1;
}

int read_statues(const char* path) {
  const char* stage = "Loading statues";
  loading_show_logged(stage);
  stream* s = stream_open(path, "rb");
  if (!s) {
    loading_progress_done(stage);
    return 0;
  }
  char* names = (char*)xmalloc(3 * name_bytes);
  char* model = names;
  char* texture = model + name_bytes;
  char* shape = texture + name_bytes;
  float v[4];
  int got, entry = 0, bad = 0;
  while ((got = stream_scanf(s, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3], model, texture,
                             shape)) == 7) {
    if ((bad = !all_finite(v, 4))) {
      console_printf("Warning: statues: entry %d has a number out of range; the rest is ignored", entry);
      break;
    }
    load_track_object(v[0], v[1], v[2], v[3], name_or_none(model), name_or_none(texture), name_or_none(shape));
    entry++;
    loading_progress(stage);
  }
  if (!bad && stopped_early(s, got)) console_printf("Warning: statues: entry %d is malformed; the rest is ignored", entry);
  check_free(names);
  stream_close(s);
  loading_progress_done(stage);
  return 1;
}

namespace {

struct lighting_reader {
  flare current;
  int stop;
};

void new_flare(flare* f) {
  std::memset(f, 0, sizeof *f);
  for (int k = 0; k < flare_max_elements; k++) {
    f->element_colour[k][0] = f->element_colour[k][1] = f->element_colour[k][2] = 1.0f;
    f->element_size[k] = 1.0f;
  }
}

void out_of_range(lighting_reader* r, const char* keyword) {
  console_printf("Error reading lighting: a number of '%.100s' is out of range", keyword);
  r->stop = 1;
}

// Reads a " [ %f %f %f ] " value into out; 1 when it held three finite
// numbers. An incomplete vector changes nothing.
int vector_value(lighting_reader* r, const char* keyword, const char* value, float out[3]) {
  float v[3];
  if (std::sscanf(value, " [ %f %f %f ]", &v[0], &v[1], &v[2]) != 3) return 0;
  if (!all_finite(v, 3)) {
    out_of_range(r, keyword);
    return 0;
  }
  std::memcpy(out, v, sizeof v);
  return 1;
}

int number_value(lighting_reader* r, const char* keyword, const char* value, float* out) {
  float v;
  if (std::sscanf(value, "%f", &v) != 1) return 0;
  if (!std::isfinite(v)) {
    out_of_range(r, keyword);
    return 0;
  }
  *out = v;
  return 1;
}

void lighting_line(lighting_reader* r, const char* keyword, const char* value) {
  static const char* const sky_keys[sky_texture_count] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
  for (int k = 0; k < sky_texture_count; k++)
    if (std::strcmp(keyword, sky_keys[k]) == 0) {
      lighting.sky_textures[k] = load_texture(value);
      return;
    }
  if (std::strcmp(keyword, "sun_vector") == 0) {
    vector_value(r, keyword, value, lighting.sun_vector);
  } else if (std::strcmp(keyword, "sun_color") == 0) {
    vector_value(r, keyword, value, lighting.sun_color);
  } else if (std::strcmp(keyword, "ambient") == 0) {
    vector_value(r, keyword, value, lighting.ambient);
  } else if (std::strcmp(keyword, "global_ambient") == 0) {
    vector_value(r, keyword, value, lighting.global_ambient);
  } else if (std::strcmp(keyword, "sky_env") == 0) {
    lighting.sky_env_texture = load_texture(value);
  } else if (std::strcmp(keyword, "flare_element") == 0) {
    float v[6];
    char name[name_bytes];
    if (std::sscanf(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], name) != 7)
      return;
    if (!all_finite(v, 6)) return out_of_range(r, keyword);
    flare* f = &r->current;
    if (f->element_count >= flare_max_elements) return;
    const int k = f->element_count++;
    f->element_offset[k][0] = v[0];
    f->element_offset[k][1] = v[1];
    std::memcpy(f->element_colour[k], v + 2, 3 * sizeof(float));
    f->element_size[k] = v[5];
    f->element_texture[k] = load_texture(name);
  } else if (std::strcmp(keyword, "flare_point") == 0 || std::strcmp(keyword, "flare_vector") == 0) {
    if (!vector_value(r, keyword, value, r->current.vector)) return;
    r->current.is_direction = keyword[6] == 'v';
    if (flares.data) growable_array_append(&flares, &r->current);
    new_flare(&r->current);
  } else if (std::strcmp(keyword, "fog") == 0) {
    float v[4];
    if (std::sscanf(value, " [ %f %f %f ] %f", &v[0], &v[1], &v[2], &v[3]) != 4) return;
    if (!all_finite(v, 4)) return out_of_range(r, keyword);
    std::memcpy(lighting.fog_colour, v, 3 * sizeof(float));
    lighting.fog_density = v[3];
  } else if (std::strcmp(keyword, "dynamic_lighting") == 0) {
    lighting.dynamic_lighting = std::atoi(value) > 0;
  } else if (std::strcmp(keyword, "near_plane") == 0) {
    number_value(r, keyword, value, &lighting.near_plane);
  } else if (std::strcmp(keyword, "far_plane") == 0) {
    number_value(r, keyword, value, &lighting.far_plane);
  } else {
    console_printf("Error reading lighting: Unknown identifier '%.950s'\n", keyword);
    r->stop = 1;
  }
}

}  // namespace

int read_lighting(const char* path) {
  track_lighting_reset(&lighting);
  if (!flares.data) growable_array_init(&flares, sizeof(flare), 16);
  stream* s = stream_open(path, "rb");
  if (!s) return 0;
  lighting_reader r;
  new_flare(&r.current);
  r.stop = 0;
  char* line = (char*)xmalloc(line_bytes);
  int too_long;
  while (!r.stop && read_line(s, line, line_bytes, &too_long)) {
    if (too_long) {
      console_print("Error reading lighting: line too long");
      break;
    }
    char* keyword = line + std::strspn(line, " \t");
    char* value = keyword + std::strcspn(keyword, " \t\r");
    if (*value) *value++ = 0;
    size_t n = std::strlen(value);
    while (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t' || value[n - 1] == '\r' || value[n - 1] == '\n'))
      value[--n] = 0;
    value += std::strspn(value, " \t");
    if (!*keyword) continue;
    lighting_line(&r, keyword, value);
  }
  check_free(line);
  stream_close(s);

  // Values no view can be drawn with keep their defaults, as the sun does:
  // a far plane at or before the near one, or fog that hides everything,
  // would leave the player a screen of one colour.
  track_lighting defaults;
  track_lighting_reset(&defaults);
  if (!(lighting.near_plane > 0.0f)) {
    console_printf("Warning: lighting: near_plane %g is not above 0; the default %g is kept\n",
                   (double)lighting.near_plane, (double)defaults.near_plane);
    lighting.near_plane = defaults.near_plane;
  }
  lighting.near_plane = std::fmin(std::fmax(lighting.near_plane, 1.0f / 1024.0f), 0.875f);
  if (!(lighting.far_plane > lighting.near_plane)) {
    console_printf("Warning: lighting: far_plane %g is not beyond near_plane %g; the default %g is kept\n",
                   (double)lighting.far_plane, (double)lighting.near_plane, (double)defaults.far_plane);
    lighting.far_plane = defaults.far_plane;
  }
  lighting.far_plane = std::fmin(lighting.far_plane, 1048576.0f);
  if (!(lighting.fog_density >= 0.0f && lighting.fog_density <= 1.0f)) {
    console_printf("Warning: lighting: fog density %g is outside 0 to 1; the default %g is kept\n",
                   (double)lighting.fog_density, (double)defaults.fog_density);
    lighting.fog_density = defaults.fog_density;
  }
  float* sun = lighting.sun_vector;
  const double length = std::sqrt((double)sun[0] * sun[0] + (double)sun[1] * sun[1] + (double)sun[2] * sun[2]);
  if (length > 0.0 && std::isfinite(length)) {
    for (int c = 0; c < 3; c++) sun[c] = (float)(sun[c] / length);
  } else {
    console_print("Warning: lighting: the sun vector has no length; the default is kept");
    std::memcpy(sun, defaults.sun_vector, sizeof defaults.sun_vector);
  }
  static const char* const sky_files[sky_texture_count] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm",
                                                           "@sky-u.ppm"};
  for (int k = 0; k < sky_texture_count; k++)
    if (!lighting.sky_textures[k]) lighting.sky_textures[k] = load_texture(sky_files[k]);
  if (!lighting.sky_env_texture) lighting.sky_env_texture = load_texture("@sky-env.ppm");
  lighting.fog_on = 1;
  return 1;
}

int read_cameras(const char* path) {
  if (!track_cameras.data && !growable_array_init(&track_cameras, sizeof(track_camera), 16)) return 0;
  for (int32_t& g : gate_cameras) g = -1;
  stream* s = stream_open(path, "rb");
  if (!s) return 0;
  track_camera next;
  auto fresh = [&next]() {
    std::memset(&next, 0, sizeof next);
    next.fov = 90.0f;
  };
  fresh();
  char* line = (char*)xmalloc(line_bytes);
  int too_long;
  while (read_line(s, line, line_bytes, &too_long)) {
    if (too_long) {
      console_print("Warning: cameras: line too long; the rest is ignored");
      break;
    }
    const char* text = line + std::strspn(line, " \t");
    const size_t word = std::strcspn(text, " \t\r");
    float v[3];
    if (word == 9 && std::strncmp(text, "addcamera", 9) == 0) {
      if (std::sscanf(text + 9, "%f %f %f", &v[0], &v[1], &v[2]) != 3) continue;
      if (!all_finite(v, 3)) {
        console_print("Warning: cameras: a camera position is out of range; the rest is ignored");
        break;
      }
      next.x = v[0];
      next.y = (track_field.heights ? terrain_height(&track_field, v[0], v[2]) : 0.0f) + v[1];
      next.z = v[2];
      growable_array_append(&track_cameras, &next);
      fresh();
    } else if (word == 3 && std::strncmp(text, "fov", 3) == 0) {
      if (std::sscanf(text + 3, "%f", &v[0]) != 1) continue;
      const float fov = std::fabs(v[0]);
      if (!(fov > 0.0f && fov < 180.0f)) {
        console_printf("Warning: cameras: field of view %.30s kept at 90", text + 3 + std::strspn(text + 3, " \t"));
        next.fov = 90.0f;
      } else {
        next.fov = fov;
      }
    } else if (word == 11 && std::strncmp(text, "autofovsize", 11) == 0) {
      if (std::sscanf(text + 11, "%f", &v[0]) != 1) continue;
      if (!std::isfinite(v[0])) {
        console_print("Warning: cameras: a frame size is out of range; the rest is ignored");
        break;
      }
      next.autofovsize = std::fabs(v[0]);
    } else if (word == 4 && std::strncmp(text, "gate", 4) == 0) {
      const char* p = text + 4;
      for (;;) {
        char* end;
        const long g = std::strtol(p, &end, 10);
        if (end == p || (*end && *end != ' ' && *end != '\t' && *end != '\r') || g < 0 || g >= checkpoint_max) break;
        gate_cameras[g] = (int32_t)track_cameras.count;
        p = end;
      }
    }
  }
  check_free(line);
  stream_close(s);
  if (verbose) log_printf("%d cameras found\n", (int)track_cameras.count);
  return 1;
}

namespace {

stream* open_for_writing(const char* file) {
  const size_t n = std::strlen(track_source) + std::strlen(file) + 2;
  char* path = (char*)xmalloc(n);
  std::snprintf(path, n, "%s/%s", track_source, file);
  stream* s = stream_open(path, "wb");
  const int why = errno;
  check_free(path);
  if (!s) console_printf("Can't open '%s': %s\n", file, std::strerror(why));
  return s;
}

// Closes the file and names the reason of a failed write: a full disk
// often shows only when the last buffer goes out at the close.
int finish_writing(stream* s, const char* file, int ok) {
  int why = ok ? 0 : errno;
  if (stream_close_file(s) != 0 && ok) {
    why = errno;
    ok = 0;
  }
  check_free(s);
  if (!ok) console_printf("Error writing '%s': %s", file, why ? std::strerror(why) : "write failed");
  return ok;
}

const char* name_or_null(const char* name) { return name ? name : "null"; }

}  // namespace

int write_billboards() {
  stream* s = open_for_writing("billboards");
  if (!s) return 0;
  int ok = 1;
  const int32_t count = billboards.data ? (int32_t)billboards.count : 0;
  for (int32_t i = first_file_billboard; i < count && ok; i++) {
    const billboard* b = billboard_at(i);
    if (!b->texture_name) continue;
    // As made in the file or the editor, not as a track script shows it.
    const script_changes* c = &b->script;
    uint8_t colour[4];
    authored_colour(c, b->colour, colour);
    ok = stream_printf(s, "[%f %f %f] %f %f ", authored_value(c, script_slot_billboard_x, b->x), b->height_offset,
                       authored_value(c, script_slot_billboard_z, b->z),
                       authored_value(c, script_slot_billboard_size, b->size), b->aspect) > 0;
    if (colour[0] == 255 && colour[1] == 255 && colour[2] == 255)
      ok = ok && stream_printf(s, "%s\n", b->texture_name) > 0;
    else
      ok = ok && stream_printf(s, "#%02x%02x%02x#%s\n", colour[0], colour[1], colour[2], b->texture_name) > 0;
  }
  return finish_writing(s, "billboards", ok);
}

int write_statues() {
  stream* s = open_for_writing("statues");
  if (!s) return 0;
  int ok = 1;
  const int32_t count = statues.data ? (int32_t)statues.count : 0;
  for (int32_t i = first_file_statue; i < count && ok; i++) {
    const statue* t = statue_at(i);
    const script_changes* c = &t->script;
    ok = stream_printf(s, "[%f %f %f] %f %s %s %s\n", authored_value(c, script_slot_statue_x, t->x),
                       authored_value(c, script_slot_statue_height_offset, t->height_offset),
                       authored_value(c, script_slot_statue_z, t->z),
                       authored_value(c, script_slot_statue_angle, t->angle),
                       name_or_null(t->model_name), name_or_null(t->texture_name), name_or_null(t->shape_name)) > 0;
  }
  return finish_writing(s, "statues", ok);
}

namespace {

int is_default_gate(const statue* t) {
  return t->model_name && t->texture_name && t->shape_name && std::strcmp(t->model_name, default_gate_model) == 0 &&
         std::strcmp(t->texture_name, default_gate_texture) == 0 && std::strcmp(t->shape_name, default_gate_shape) == 0;
}

}  // namespace

int write_timing_gates() {
  stream* s = open_for_writing("timing_gates");
  if (!s) return 0;
  int ok = 1;
  if (start_slot_count > 0) {
    ok = stream_printf(s, "startinggate:\n") > 0;
    for (int32_t i = 0; i < start_slot_count && ok; i++) {
      const start_slot* slot = &start_slots[i];
      ok = stream_printf(s, "[%f %f %f] %f", slot->x, slot->y, slot->z, slot->angle) > 0;
      const statue* t = statues.data && slot->statue >= 0 && (size_t)slot->statue < statues.count
                            ? statue_at(slot->statue)
                            : nullptr;
      if (!t || is_default_gate(t))
        ok = ok && stream_printf(s, "\n") > 0;
      else
        ok = ok && stream_printf(s, " %s %s %s\n", name_or_null(t->model_name), name_or_null(t->texture_name),
                                 name_or_null(t->shape_name)) > 0;
    }
  }
  if (ok && (checkpoints_read > 0 || lap_list_read[0] > 0 || lap_list_read[1] > 0)) {
    ok = stream_printf(s, "checkpoints:\n") > 0;
    for (int32_t i = 0; i < checkpoints_read && ok; i++) {
      const checkpoint* c = &checkpoints[i];
      ok = stream_printf(s, "%f [%f %f %f] [%f %f %f]\n", c->half_width, c->x, c->y, c->z, c->dx, c->dy, c->dz) > 0;
    }
    const char* const heads[2] = {"firstlap:\n", "normallap:\n"};
    int32_t from = 0;
    for (int list = 0; list < 2 && ok; list++) {
      // The first-lap head stays even for an empty list: the reader needs it
      // before the normal lap.
      if (lap_list_read[list] > 0 || (list == 0 && lap_list_read[1] > 0)) {
        ok = stream_printf(s, "%s", heads[list]) > 0;
        for (int32_t k = 0; k < lap_list_read[list] && ok; k++)
          ok = stream_printf(s, "%d ", route.entries[from + k]) > 0;
        ok = ok && stream_printf(s, "\n") > 0;
      }
      from += lap_list_read[list];
    }
  }
  return finish_writing(s, "timing_gates", ok);
}
