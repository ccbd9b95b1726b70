// Engine-sound definitions: readers for ".braap" and "SOUNDTABLE" files, the
// sample cache, the built-in tables and definitions, voice set-up.
#include "race/engine_sound.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bike/rider.h"
#include "core/file.h"
#include "core/growable_array.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "platform/audio.h"
#include "race/game_state.h"

engine_voice engine_voices[160];

namespace {

const float speed_of_sound = 1140.63f;

struct cached_sample {
  const char* name;  // interned
  float* data;
  int count;
};

sound_table* table_list;
growable_array sample_cache;

int builtins_ready;
float four_stroke_wave[2][1024];
float two_stroke_wave[2][1024];
sound_table_cell four_stroke_cells[2];
sound_table_cell two_stroke_cells[2];
sound_table four_stroke_table = {nullptr, "default_four_stroke", 1, 2, four_stroke_cells};
sound_table two_stroke_table = {nullptr, "default_two_stroke", 1, 2, two_stroke_cells};
engine_sound builtin_definitions[3];

void fill_builtin_cells(sound_table_cell* cells, float (*wave)[1024]) {
  for (int c = 0; c < 2; c++) {
    cells[c] = {};
    cells[c].samples = wave[c];
    cells[c].sample_count = 1024;
    cells[c].period_count = 1;
    cells[c].row_value = 0;
    cells[c].column_value = (float)c;
  }
}

void build_builtins() {
  if (builtins_ready) return;
  builtins_ready = 1;
  const double pi = 3.14159265358979323846;
  for (int k = 0; k < 1024; k++) {
    const double x = k / 1023.0;
    double four = (std::fabs(std::sin(3 * pi * x + 0.5246)) - 0.5) * 0.5;
    double two = 0;
    if (x < 0.25) {
      four += std::sin(16 * pi * x) * (1 - 4 * x);
      two = std::sin(8 * pi * x) * (1 - 4 * x);
    }
    four_stroke_wave[1][k] = (float)four;
    four_stroke_wave[0][k] = (float)(0.25 * four);
    two_stroke_wave[1][k] = (float)two;
    two_stroke_wave[0][k] = (float)(0.25 * two);
  }
  fill_builtin_cells(four_stroke_cells, four_stroke_wave);
  fill_builtin_cells(two_stroke_cells, two_stroke_wave);
  struct row {
    const sound_table* table;
    float firings, low, high, length, spread, feedback;
  } const rows[3] = {
      {&four_stroke_table, 0.5f, -2.5f, 2.5f, 5.0f, 0.9182072f, -0.85f},
      {&two_stroke_table, 1.0f, -3.5f, 3.5f, 1.75f, 0.3f, -0.75f},
      {&two_stroke_table, 1.0f, -3.5f, 1.5f, 1.75f, 0.3f, -0.75f},
  };
  for (int i = 0; i < 3; i++) {
    engine_sound* d = &builtin_definitions[i];
    *d = {};
    d->table = rows[i].table;
    d->firings_per_rev = rows[i].firings;
    d->lowtorque = rows[i].low;
    d->hightorque = rows[i].high;
    d->minrpm = 1000;
    set_pipe_bands(d, rows[i].length, rows[i].spread, rows[i].feedback, 0, 15);
    d->bias[0] = 0;
    d->bias_count = 1;
    d->scale[0] = 1;
    d->scale_count = 1;
  }
}

// Whole-token number parsing: the token must be all number.
int parse_int_token(const char* t, long long* out) {
  char* end;
  errno = 0;
  const long long v = std::strtoll(t, &end, 10);
  if (end == t || *end || errno == ERANGE) return 0;
  *out = v;
  return 1;
}

int parse_float_token(const char* t, double* out) {
  char* end;
  const double v = std::strtod(t, &end);
  if (end == t || *end) return 0;
  *out = v;
  return 1;
}

// The next white-space-separated token of at most cap-1 characters. 0 at
// the end; -1 when the token is longer (it is skipped whole).
int next_token(stream* s, char* buf, int cap) {
  int c;
  do c = stream_getc(s);
  while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v');
  if (c < 0) return 0;
  int n = 0, overlong = 0;
  while (c >= 0 && !(c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v')) {
    if (n < cap - 1)
      buf[n++] = (char)c;
    else
      overlong = 1;
    c = stream_getc(s);
  }
  buf[n] = 0;
  return overlong ? -1 : 1;
}

// Reads a list of strictly rising finite values; 0 with a reason printed.
int read_axis(stream* s, float* values, int count, const char* what, const char* name) {
  char tok[64];
  for (int i = 0; i < count; i++) {
    double v;
    if (next_token(s, tok, sizeof tok) != 1 || !parse_float_token(tok, &v)) {
      console_printf("%.512s: %s value %d missing\n", name, what, i);
      return 0;
    }
    if (!std::isfinite(v) || std::fabs(v) > 3.0e38) {
      console_printf("%.512s: %s value %d is not a finite number\n", name, what, i);
      return 0;
    }
    values[i] = (float)v;
    if (i > 0 && !(values[i] > values[i - 1])) {
      console_printf("%.512s: %s values must rise strictly\n", name, what);
      return 0;
    }
  }
  return 1;
}

cached_sample* find_cached_sample(const char* name) {
  if (!sample_cache.data) return nullptr;
  for (size_t i = 0; i < sample_cache.count; i++) {
    cached_sample* c = static_cast<cached_sample*>(growable_array_at(&sample_cache, i));
    if (std::strcmp(c->name, name) == 0) return c;
  }
  return nullptr;
}

}  // namespace

const float* sound_sample_load(const char* name, int* count) {
  *count = 0;
  if (cached_sample* c = find_cached_sample(name)) {
    *count = c->count;
    return c->data;
  }
  stream s;
  if (!stream_open_name(&s, name, "rb")) return nullptr;
  // Read in chunks: the size of a compressed stream is only known at its end.
  float* data = nullptr;
  size_t count_read = 0, capacity = 0;
  uint8_t chunk[8192];
  int held = -1;  // the low byte of a sample split across chunks
  int ok = 1;
  for (;;) {
    const uint32_t got = stream_read(&s, chunk, sizeof chunk);
    if (got == 0) break;
    for (uint32_t i = 0; i < got && ok; i++) {
      if (held < 0) {
        held = chunk[i];
        continue;
      }
      if (count_read >= (size_t)sound_sample_max) {
        ok = 0;
        break;
      }
      if (count_read == capacity) {
        const size_t grown = capacity ? capacity * 2 : 4096;
        float* more = static_cast<float*>(check_realloc(data, grown * sizeof(float)));
        if (!more) {
          ok = 0;
          break;
        }
        data = more;
        capacity = grown;
      }
      const int16_t v = (int16_t)(uint16_t)(held | (chunk[i] << 8));
      data[count_read++] = v / 32768.0f;
      held = -1;
    }
    if (!ok) break;
  }
  stream_close_file(&s);
  if (!ok || count_read == 0) {
    check_free(data);
    return nullptr;
  }
  if (!sample_cache.data && !growable_array_init(&sample_cache, sizeof(cached_sample), 16)) {
    check_free(data);
    return nullptr;
  }
  cached_sample entry = {intern_string(name), data, (int)count_read};
  if (!growable_array_append(&sample_cache, &entry)) {
    check_free(data);
    return nullptr;
  }
  *count = entry.count;
  return data;
}

void sound_table_free(sound_table* table) {
  if (!table) return;
  if (table->cells)
    for (int i = 0; i < table->rows * table->columns; i++) check_free(table->cells[i].remap);
  check_free(table->cells);
  check_free(const_cast<char*>(table->name));
  check_free(table);
}

sound_table* sound_table_read(stream* s, const char* name) {
  char tok[1024];
  long long rows = 0, columns = 0;
  if (next_token(s, tok, sizeof tok) != 1 || std::strcmp(tok, "SOUNDTABLE") != 0 ||
      next_token(s, tok, sizeof tok) != 1 || !parse_int_token(tok, &rows) ||
      next_token(s, tok, sizeof tok) != 1 || !parse_int_token(tok, &columns)) {
    console_printf("%.512s: no \"SOUNDTABLE rows columns\" header\n", name);
    console_printf("Error reading '%.512s'\n", name);
    return nullptr;
  }
  if (rows < 1 || rows > sound_table_max_side || columns < 1 || columns > sound_table_max_side ||
      rows * columns > sound_table_max_cells) {
    console_printf("%.512s: %lld x %lld cells: each side must be 1..%d, at most %d cells\n", name, rows, columns,
                   (int)sound_table_max_side, (int)sound_table_max_cells);
    console_printf("Error reading '%.512s'\n", name);
    return nullptr;
  }
  sound_table* t = static_cast<sound_table*>(xmalloc(sizeof(sound_table)));
  *t = {};
  const size_t name_length = std::strlen(name);
  char* copy = static_cast<char*>(xmalloc(name_length + 1));
  std::memcpy(copy, name, name_length + 1);
  t->name = copy;
  t->rows = (int)rows;
  t->columns = (int)columns;
  t->cells = static_cast<sound_table_cell*>(xmalloc(sizeof(sound_table_cell) * t->rows * t->columns));
  std::memset(t->cells, 0, sizeof(sound_table_cell) * t->rows * t->columns);
  float row_values[sound_table_max_side], column_values[sound_table_max_side];
  if (!read_axis(s, row_values, t->rows, "row", name) || !read_axis(s, column_values, t->columns, "column", name)) {
    console_printf("Error reading '%.512s'\n", name);
    sound_table_free(t);
    return nullptr;
  }
  for (int r = 0; r < t->rows; r++) {
    for (int c = 0; c < t->columns; c++) {
      sound_table_cell* cell = &t->cells[r * t->columns + c];
      cell->row_value = row_values[r];
      cell->column_value = column_values[c];
      int capacity = 0, ok = 1;
      const char* why = nullptr;
      for (;;) {
        const int got = next_token(s, tok, sizeof tok);
        long long v;
        if (got != 1) {
          ok = 0;
          break;
        }
        if (!parse_int_token(tok, &v)) {
          console_printf("(%d, %d) Bad remap entry\n", r, c);
          console_printf("Error reading '%.512s'\n", name);
          sound_table_free(t);
          return nullptr;
        }
        if (v == -1) break;
        if (v < INT_MIN || v > INT_MAX) {
          console_printf("(%d, %d) Bad remap entry\n", r, c);
          console_printf("Error reading '%.512s'\n", name);
          sound_table_free(t);
          return nullptr;
        }
        if (cell->remap_count == capacity) {
          capacity = capacity ? capacity * 2 : 8;
          int* more = static_cast<int*>(check_realloc(cell->remap, sizeof(int) * capacity));
          if (!more) {
            ok = 0;
            break;
          }
          cell->remap = more;
        }
        cell->remap[cell->remap_count++] = (int)v;
      }
      double periods = 0;
      const char* sample_name = "";
      if (ok) {
        ok = next_token(s, tok, sizeof tok) == 1 && parse_float_token(tok, &periods);
        if (ok && !(std::isfinite(periods) && periods >= 1 && periods < 2147483648.0)) {
          ok = 0;
          why = "period count must be 1 or more";
        }
      }
      char sample_file[1024] = "";
      if (ok) {
        const int got = next_token(s, tok, sizeof tok);
        if (got == 1) {
          std::memcpy(sample_file, tok, std::strlen(tok) + 1);
          sample_name = sample_file;
        } else {
          ok = 0;
          if (got < 0) why = "sample name over 1023 characters";
        }
      }
      if (ok) {
        cell->period_count = (int)periods;
        cell->samples = sound_sample_load(sample_file, &cell->sample_count);
        if (!cell->samples) ok = 0;
      }
      if (!ok) {
        if (why) console_printf("%.512s: (%d, %d) %s\n", name, r, c, why);
        console_printf("(%d, %d) Error reading '%.512s'\n", r, c, sample_name);
        console_printf("Error reading '%.512s'\n", name);
        sound_table_free(t);
        return nullptr;
      }
      // Non-negative modulo: a negative entry must still name a period.
      for (int i = 0; i < cell->remap_count; i++) {
        const int m = cell->remap[i] % cell->period_count;
        cell->remap[i] = m < 0 ? m + cell->period_count : m;
      }
    }
  }
  return t;
}

const sound_table* sound_table_find_or_load(const char* name) {
  for (sound_table* t = table_list; t; t = t->next)
    if (std::strcmp(t->name, name) == 0) return t;
  stream s;
  if (!stream_open_name(&s, name, "rb")) {
    console_printf("Error reading '%.512s'\n", name);
    return nullptr;
  }
  sound_table* t = sound_table_read(&s, name);
  stream_close_file(&s);
  if (!t) return nullptr;
  t->next = table_list;
  table_list = t;
  return t;
}

void set_pipe_bands(engine_sound* d, float length, float spread, float feedback, int first_band, int last_band) {
  const int first = first_band < 0 ? 0 : first_band > 15 ? 15 : first_band;
  const int last = last_band < first ? first : last_band > 15 ? 15 : last_band;
  const int n = last - first + 1;
  const double m = length < spread ? length : spread;
  for (int k = first; k <= last; k++) {
    const int u = k - first;
    double gain = (double)feedback / n;
    double delay;
    if (n == 1)
      delay = 2.0 * engine_sound_rate * length / speed_of_sound;
    else {
      const double f = (double)u / (last - first);
      delay = 2.0 * engine_sound_rate * (length - (u + f * f) * m / n) / speed_of_sound;
    }
    // A delay off the ring would read outside the history; NaN goes to 0.
    if (!(delay >= 0)) delay = 0;
    if (delay > engine_voice_ring - 1) delay = engine_voice_ring - 1;
    if (!std::isfinite(gain)) gain = 0;
    d->band_delay[k] = (int)delay;
    d->band_gain[k] = (float)gain;
  }
}

namespace {

// Skips white space; the rest of the line after the keyword when the line
// (after leading white space when loose) starts with it and it is followed
// by white space or the end; else null.
const char* keyword(const char* line, const char* word, int loose) {
  if (loose)
    while (*line == ' ' || *line == '\t') line++;
  const size_t n = std::strlen(word);
  if (std::strncmp(line, word, n) != 0) return nullptr;
  if (!loose) return line + n;
  const char c = line[n];
  if (c && c != ' ' && c != '\t' && c != '\r' && c != '\n') return nullptr;
  return line + n;
}

// Up to max numbers from text; stops at the first that does not read.
int read_numbers(const char* text, double* out, int max) {
  int n = 0;
  while (n < max) {
    char* end;
    const double v = std::strtod(text, &end);
    if (end == text) break;
    out[n++] = v;
    text = end;
  }
  return n;
}

int all_finite(const double* v, int n) {
  for (int i = 0; i < n; i++)
    if (!std::isfinite(v[i]) || std::fabs(v[i]) > 3.0e38) return 0;
  return 1;
}

int clamp_int(double v) { return v < -1e9 ? -1000000000 : v > 1e9 ? 1000000000 : (int)v; }

}  // namespace

void engine_sound_parse(engine_sound* d, stream* s, const char* name) {
  char line[1024];
  int number = 0;
  while (stream_gets(s, line, sizeof line)) {
    number++;
    const size_t length = std::strlen(line);
    if (length == sizeof line - 1 && line[length - 1] != '\n' && stream_peekc(s) >= 0) {
      // The rest of an over-long line must not be read as a line of its
      // own: a comment's tail would become a setting.
      int c;
      do c = stream_getc(s);
      while (c >= 0 && c != '\n');
      console_printf("%.512s:%d: line longer than %d characters ignored\n", name, number, (int)sizeof line - 1);
      continue;
    }
    if (char* hash = std::strchr(line, '#')) *hash = 0;
    const char* rest;
    double v[engine_list_max];
    if ((rest = keyword(line, "pipe", 0))) {
      int n = read_numbers(rest, v, 5);
      if (n >= 1) {
        if (!all_finite(v, n)) {
          console_printf("%.512s:%d: a number is not finite; line ignored\n", name, number);
          continue;
        }
        const double defaults[5] = {5.0, 0.9182072, -0.85, 0, 15};
        for (; n < 5; n++) v[n] = defaults[n];
        set_pipe_bands(d, (float)v[0], (float)v[1], (float)v[2], clamp_int(v[3]), clamp_int(v[4]));
        continue;
      }
    }
    float* field = nullptr;
    if ((rest = keyword(line, "minrpm", 0)))
      field = &d->minrpm;
    else if ((rest = keyword(line, "lowtorque", 0)))
      field = &d->lowtorque;
    else if ((rest = keyword(line, "hightorque", 0)))
      field = &d->hightorque;
    if (field && read_numbers(rest, v, 1) == 1) {
      if (!all_finite(v, 1))
        console_printf("%.512s:%d: a number is not finite; line ignored\n", name, number);
      else
        *field = (float)v[0];
      continue;
    }
    float* list = nullptr;
    int* count = nullptr;
    if ((rest = keyword(line, "bias", 1))) {
      list = d->bias;
      count = &d->bias_count;
    } else if ((rest = keyword(line, "scale", 1))) {
      list = d->scale;
      count = &d->scale_count;
    }
    if (list) {
      const int n = read_numbers(rest, v, engine_list_max);
      if (!all_finite(v, n)) {
        console_printf("%.512s:%d: a number is not finite; line ignored\n", name, number);
        continue;
      }
      for (int i = 0; i < n; i++) list[i] = (float)v[i];
      *count = n;
      continue;
    }
    if ((rest = keyword(line, "soundtable", 1))) {
      while (*rest == ' ' || *rest == '\t') rest++;
      char file[1024];
      std::snprintf(file, sizeof file, "%s", rest);
      size_t n = std::strlen(file);
      while (n > 0 && (file[n - 1] == ' ' || file[n - 1] == '\t' || file[n - 1] == '\r' || file[n - 1] == '\n'))
        file[--n] = 0;
      if (const sound_table* t = sound_table_find_or_load(file)) d->table = t;
    }
  }
}

const engine_sound* engine_sound_builtin(int which) {
  build_builtins();
  return &builtin_definitions[which < 0 || which > 2 ? 0 : which];
}

stream* default_engine_sound_file(const rider* r) {
  const char* c = r ? rider_bike_class(r) : nullptr;
  if (!c) return nullptr;
  static const char* const names[5][2] = {{"50", "@default50.braap"},
                                          {"125", "@default125.braap"},
                                          {"250f", "@default250f.braap"},
                                          {"250", "@default250.braap"},
                                          {"450f", "@default450f.braap"}};
  for (const auto& n : names)
    if (std::strcmp(c, n[0]) == 0) return stream_open(n[1], "rb");
  return nullptr;
}

// The definition file for a skin: the skin name with ".braap" in place of
// its extension, then of each "-" part from the right; then the class file.
static stream* open_definition_file(const rider* r, const char* skin) {
  if (!skin) return default_engine_sound_file(r);
  char name[1024];
  std::snprintf(name, sizeof name, "%s", skin);
  const char* slash = std::strrchr(name, '/');
  char* start = slash ? const_cast<char*>(slash) : name;
  char* cut = std::strrchr(start, '.');
  while (cut) {
    const size_t at = (size_t)(cut - name);
    if (at + sizeof ".braap" > sizeof name) break;
    std::memcpy(cut, ".braap", sizeof ".braap");
    if (stream* s = stream_open(name, "rb")) return s;
    *cut = 0;
    cut = std::strrchr(start, '-');
  }
  return default_engine_sound_file(r);
}

void load_engine_sound(engine_voice* v, const rider* r, const char* skin_name) {
  build_builtins();
  v->sound = nullptr;
  if (game_state.audio) {
    static uint8_t silence[engine_voice_ring];
    std::memset(silence, 128, sizeof silence);
    v->sound = sound_create(game_state.audio, engine_voice_ring, silence, 0);
    if (v->sound) {
      sound_set_loop(v->sound, 1);
      sound_set_volume(v->sound, 0);
      sound_play(v->sound);
    }
  }
  std::memset(v->history, 0, sizeof v->history);
  v->firing_frequency = 10;
  v->presence_gain = 1;
  v->previous_rpm = 1000;
  v->write_position = 11025;
  v->firing_phase = 0;
  v->cycle_counter = 0;
  const char* cls = r ? rider_bike_class(r) : nullptr;
  int which = 0;
  if (cls && std::strcmp(cls, "50") == 0)
    which = 2;
  else if (cls && !(cls[0] && cls[std::strlen(cls) - 1] == 'f'))
    which = 1;
  v->definition = builtin_definitions[which];
  const char* skin = skin_name ? skin_name : r ? rider_bike_skin_name(r) : nullptr;
  stream* s = open_definition_file(r, skin);
  if (s) {
    set_pipe_bands(&v->definition, 1, 1, 0, 0, 15);
    engine_sound_parse(&v->definition, s, s->name[0] ? s->name : "engine sound");
    stream_close(s);
  }
  if (v->definition.bias_count < 1) {
    v->definition.bias[0] = 0;
    v->definition.bias_count = 1;
  }
  if (v->definition.scale_count < 1) {
    v->definition.scale[0] = 1;
    v->definition.scale_count = 1;
  }
  const sound_table_cell* first = &v->definition.table->cells[0];
  for (engine_sample_player& p : v->players) p = {first->samples, (uint32_t)first->sample_count, 0, 0, 0};
}

void engine_voice_load_slot(int slot, const char* bike_skin) {
  if (slot < 0 || slot >= 160) return;
  load_engine_sound(&engine_voices[slot], rider_slots[slot], bike_skin);
}

void engine_voice_free_slot(int slot) {
  if (slot < 0 || slot >= 160) return;
  if (engine_voices[slot].sound) sound_free(engine_voices[slot].sound);
  engine_voices[slot].sound = nullptr;
}

void engine_voices_clear() {
  for (engine_voice& v : engine_voices) v.sound = nullptr;
}

void sound_tables_free() {
  while (table_list) {
    sound_table* next = table_list->next;
    sound_table_free(table_list);
    table_list = next;
  }
}

void sound_samples_free() {
  if (!sample_cache.data) return;
  for (size_t i = 0; i < sample_cache.count; i++)
    check_free(static_cast<cached_sample*>(growable_array_at(&sample_cache, i))->data);
  growable_array_free(&sample_cache);
  sample_cache = {};
}
