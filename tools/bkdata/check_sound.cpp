// The engine-sound kinds of "check": ".braap" definitions, ".soundtable"
// files and ".raw" samples through the game's readers. "@" names inside
// them resolve against the data root the file lies in.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/file.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "race/engine_sound.h"
#include "tools/bkdata/commands.h"

namespace {

int ends_with(const char* s, const char* tail) {
  const size_t n = std::strlen(s), m = std::strlen(tail);
  return n >= m && std::strcmp(s + n - m, tail) == 0;
}

// The data root of a file: the folder above "sounds/" for the tables and
// cells, else the file's own folder.
void use_root_of(const char* path) {
  std::string dir = path;
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  const size_t at = dir.rfind("/sounds");
  if (dir == "sounds") dir = ".";
  else if (at != std::string::npos && at + 7 == dir.size()) dir = dir.substr(0, at);
  setenv("BK_HOME", dir.c_str(), 1);
  // The per-user folder must not answer for the data.
  setenv("XDG_DATA_HOME", "/nonexistent-bkdata-check", 1);
  search_roots_free();
}

// Prints the console lines since `first`; how many there were.
int print_console_since(int first, const char* path) {
  int lines = 0;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size, lines++) {
    std::string line = message_ring.lines[k];
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::printf("%s: %s\n", path, line.c_str());
  }
  return lines;
}

// A firing plays one period of a cell (count / periods samples): the mean
// of the period furthest from zero, which each firing of it adds to the note.
double largest_period_mean(const sound_table_cell* c) {
  const double q = (double)c->sample_count / c->period_count;
  double worst = 0;
  for (int e = 0; e < c->period_count; e++) {
    const int a = (int)(q * e), b = e + 1 < c->period_count ? (int)(q * (e + 1)) : c->sample_count;
    if (b <= a) continue;
    double sum = 0;
    for (int i = a; i < b; i++) sum += c->samples[i];
    if (std::fabs(sum / (b - a)) > std::fabs(worst)) worst = sum / (b - a);
  }
  return worst;
}

}  // namespace

int bkdata_is_sound_name(const char* path) {
  return ends_with(path, ".braap") || ends_with(path, ".soundtable") || ends_with(path, ".raw");
}

int bkdata_check_sound(const char* path) {
  use_root_of(path);
  const int first = message_ring.write_index;
  if (ends_with(path, ".raw")) {
    int count = 0;
    const float* data = sound_sample_load(path, &count);
    if (!data) {
      std::printf("%s: refused: can't open, holds no whole sample or over %d samples\n", path,
                  (int)sound_sample_max);
      return 0;
    }
    double peak = 0, sum = 0;
    for (int i = 0; i < count; i++) peak = std::fmax(peak, std::fabs(data[i])), sum += data[i];
    // The mean shows an offset that would add up when many voices play.
    std::printf("%s: raw sound, %d samples, %.3f s at 44100 Hz, peak %.3f, mean %+.4f\n", path, count,
                count / 44100.0, peak, sum / count);
    sound_samples_free();
    return 1;
  }
  stream s;
  if (!stream_open_name(&s, path, "rb")) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  int ok = 1;
  if (ends_with(path, ".soundtable")) {
    sound_table* t = sound_table_read(&s, path);
    print_console_since(first, path);
    if (t) {
      long samples = 0;
      int remaps = 0;
      double worst = 0;
      for (int i = 0; i < t->rows * t->columns; i++) {
        const sound_table_cell* c = &t->cells[i];
        samples += c->sample_count;
        remaps += c->remap_count > 0;
        worst = std::fmax(worst, std::fabs(largest_period_mean(c)));
      }
      std::printf("%s: sound table, %d rows (%.0f..%.0f rpm) x %d loads, %ld samples, %d remapped cells, "
                  "period mean up to %.4f\n",
                  path, t->rows, t->cells[0].row_value, t->cells[(t->rows - 1) * t->columns].row_value, t->columns,
                  samples, remaps, worst);
    } else {
      std::printf("%s: refused\n", path);
      ok = 0;
    }
    sound_table_free(t);
  } else {
    engine_sound d = *engine_sound_builtin(0);
    d.table = nullptr;
    set_pipe_bands(&d, 1, 1, 0, 0, 15);
    engine_sound_parse(&d, &s, path);
    // Every line the game would print about it counts as a fault here.
    if (print_console_since(first, path) > 0) {
      std::printf("%s: refused\n", path);
      ok = 0;
    } else {
      std::printf("%s: engine sound, table %s, minrpm %g, torque %g..%g, %d bias, %d scale, band 0 delay %d\n", path,
                  d.table ? d.table->name : "(built-in)", d.minrpm, d.lowtorque, d.hightorque, d.bias_count,
                  d.scale_count, d.band_delay[0]);
    }
  }
  stream_close_file(&s);
  sound_tables_free();
  sound_samples_free();
  return ok;
}
