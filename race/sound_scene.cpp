// The sound scene: per-frame engine synthesis and 3-D placement of the
// engine voices and the script sounds.
#include "race/sound_scene.h"

#include <ode/ode.h>

#include <cmath>
#include <cstring>

#include "bike/rider.h"
#include "bike/rider_engine.h"
#include "core/file.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "platform/audio.h"
#include "race/engine_sound.h"
#include "race/game_state.h"
#include "race/listener.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"

script_sound script_sounds[script_sound_max];
int script_sound_count;

namespace {

const double speed_of_sound = 1140.63;
const uint32_t phase_one = 1u << 24;
// A script sound's samples: about six minutes at 44100 Hz.
const uint32_t script_sound_max_bytes = 16u * 1024 * 1024;

float finite_or(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

// Clamps with NaN sent to lo.
double clamp(double v, double lo, double hi) { return v >= lo ? (v <= hi ? v : hi) : lo; }

uint32_t phase_increment(float hz) { return (uint32_t)std::lround(hz / (double)engine_sound_rate * phase_one); }

// The lower and upper index of value among rising axis values (stride
// apart in cells) and the weight of the upper one.
void bracket(const sound_table_cell* cells, int count, int stride, int column, float value, int* lower, int* upper,
             float* weight) {
  int i = 0;
  while (i < count && !(cells[i * stride].row_value * (1 - column) + cells[i * stride].column_value * column > value))
    i++;
  int lo = i - 1 < 0 ? 0 : i - 1;
  int hi = i > count - 1 ? count - 1 : i;
  *lower = lo;
  *upper = hi;
  if (lo == hi) {
    *weight = 1;
    return;
  }
  const float a = column ? cells[lo * stride].column_value : cells[lo * stride].row_value;
  const float b = column ? cells[hi * stride].column_value : cells[hi * stride].row_value;
  *weight = (float)clamp((value - a) / (b - a), 0, 1);
}

void start_player(engine_sample_player* p, const sound_table_cell* cell, float gain, uint32_t cycle,
                  float frequency) {
  uint32_t e = cycle + 1;
  if (cell->remap_count > 0) e = (uint32_t)cell->remap[e % (uint32_t)cell->remap_count];
  const double q = (double)cell->sample_count / cell->period_count;
  const double start = std::trunc(q * (e % (uint32_t)cell->period_count));
  const double step = std::trunc(frequency / (double)engine_sound_rate * q * 1024.0);
  p->gain = gain;
  p->length = (uint32_t)cell->sample_count;
  p->data = start < cell->sample_count ? cell->samples : nullptr;
  p->position = p->data ? (uint32_t)start * 1024u : 0;
  p->step = (uint32_t)clamp(step, 0, 4294967295.0);
}

void fire(engine_voice* v, float rpm_then, float load) {
  const engine_sound* d = &v->definition;
  const uint32_t c = v->cycle_counter;
  double rpm = (rpm_then + d->bias[c % (uint32_t)d->bias_count]) * d->scale[c % (uint32_t)d->scale_count];
  if (!(rpm >= d->minrpm)) rpm = d->minrpm;
  const sound_table* t = d->table;
  int r0, r1, c0, c1;
  float l, g;
  bracket(t->cells, t->rows, t->columns, 0, (float)rpm, &r0, &r1, &l);
  bracket(t->cells, t->columns, 1, 1, load, &c0, &c1, &g);
  v->cycle_counter = c + 1;
  v->firing_frequency = (float)clamp(rpm * d->firings_per_rev / 60.0, 5, engine_sound_rate / 2);
  const int k = t->columns;
  start_player(&v->players[0], &t->cells[r0 * k + c0], (1 - l) * (1 - g), c, v->firing_frequency);
  start_player(&v->players[1], &t->cells[r1 * k + c0], l * (1 - g), c, v->firing_frequency);
  start_player(&v->players[2], &t->cells[r0 * k + c1], (1 - l) * g, c, v->firing_frequency);
  start_player(&v->players[3], &t->cells[r1 * k + c1], l * g, c, v->firing_frequency);
}

}  // namespace

int engine_voice_samples_due(int write_position, int play_position) {
  const int n = (play_position + engine_voice_ahead - write_position) & (engine_voice_ring - 1);
  return n > engine_voice_frame_cap ? engine_voice_frame_cap : n;
}

int engine_voice_synthesize(engine_voice* v, int n, float rpm, float torque) {
  const engine_sound* d = &v->definition;
  rpm = finite_or(rpm, d->minrpm);
  const double span = (double)d->hightorque - d->lowtorque;
  const float load = span != 0 && std::isfinite(span) ? (float)clamp((torque - d->lowtorque) / span, 0, 1) : 0.0f;
  v->firing_frequency = (float)clamp(v->firing_frequency, 5, engine_sound_rate / 2);
  uint32_t inc = phase_increment(v->firing_frequency);
  int t = v->write_position & (engine_voice_ring - 1);
  const float previous = finite_or(v->previous_rpm, d->minrpm);
  for (int j = 0; j < n; j++) {
    float s = 0;
    for (int k = 0; k < engine_band_count; k++)
      s += d->band_gain[k] * v->history[(t - d->band_delay[k]) & (engine_voice_ring - 1)];
    for (engine_sample_player& p : v->players) {
      if (!p.data) continue;
      s += p.gain * p.data[p.position >> 10];
      const uint64_t next = (uint64_t)p.position + p.step;
      if (next >= (uint64_t)p.length * 1024u)
        p.data = nullptr;  // off the cell's end: silent until the next firing
      else
        p.position = (uint32_t)next;
    }
    v->history[t] = (float)clamp(s, -16, 16);
    v->firing_phase += inc;
    if (v->firing_phase >= phase_one) {
      v->firing_phase -= phase_one;
      fire(v, previous + (float)j / n * (rpm - previous), load);
      inc = phase_increment(v->firing_frequency);
    }
    t = (t + 1) & (engine_voice_ring - 1);
    v->write_position = t;
  }
  if (n > 0) v->previous_rpm = rpm;
  return v->write_position;
}

void engine_voice_bytes(const engine_voice* v, int n, uint8_t* out) {
  const int start = v->write_position - n;
  for (int i = 0; i < n; i++) {
    const float s = v->history[(start + i) & (engine_voice_ring - 1)];
    out[i] = (uint8_t)clamp(std::lround(s * 127.0f + 127.0f), 0, 255);
  }
}

float doppler_factor(const float* lp, const float* lv, const float* sp, const float* sv) {
  double n[3], d2 = 0;
  for (int i = 0; i < 3; i++) {
    n[i] = (double)lp[i] - sp[i];
    d2 += n[i] * n[i];
  }
  if (!std::isfinite(d2)) return 1;
  if (!(d2 > 1.0 / 1024)) return 1;
  const double d = std::sqrt(d2);
  double ln = 0, sn = 0;
  for (int i = 0; i < 3; i++) {
    ln += lv[i] * n[i] / d;
    sn += sv[i] * n[i] / d;
  }
  if (!std::isfinite(ln) || !std::isfinite(sn)) return 1;
  const double num = 1 - ln / speed_of_sound, den = 1 - sn / speed_of_sound;
  // Closing at or past the speed of sound: a fixed ceiling, continuous with
  // the ratio where it reaches 8.
  if (den <= 0 || num > 8 * den) return 8;
  return (float)(num / den);
}

sound_placement place_sound(const float* position, const float* velocity, float pre_gain, float post_gain,
                            float base_rate) {
  double to[3], d2 = 0;
  for (int i = 0; i < 3; i++) {
    to[i] = (double)position[i] - listener.position[i];
    d2 += to[i] * to[i];
  }
  const double d = std::sqrt(d2);
  const double den = (d - 1) / 48 + 1;
  const double a = den > 1 ? 1 / den : 1;
  sound_placement out;
  const double level = clamp(pre_gain * a, 0, 1) * post_gain * 32767.0;
  out.volume = (int)clamp(std::trunc(level), 0, 32767);
  out.rate = (int)clamp(std::trunc(doppler_factor(listener.position, listener.velocity, position, velocity) *
                                   (double)base_rate),
                        100, 1000000);
  double p = 0;
  if (d2 >= 1.0 / 1024 && std::isfinite(d2)) {
    const float* o = listener.orientation;
    p = (to[0] * o[0] + to[1] * o[3] + to[2] * o[6]) / d;
  }
  out.pan = (int)std::trunc(clamp(p, -1, 1) * 32767);
  return out;
}

float engine_slot_gain(int slot, float master, int hidden) {
  const double g = master * volume * 0.1;
  if (hidden) return 0;
  return (float)(slot == viewed_slot ? g : g * comp_volume * 0.1);
}

void update_sound_scene(float master) {
  static uint8_t bytes[engine_voice_ring];
  for (int i = 0; i < 160; i++) {
    const rider* r = rider_slots[i];
    engine_voice* v = &engine_voices[i];
    if (!r || !v->sound) continue;
    const float gain = engine_slot_gain(i, master, rider_hidden(i));
    const int n = engine_voice_samples_due(v->write_position, sound_get_position(v->sound));
    if (n > 0) {
      engine_voice_synthesize(v, n, rider_engine_rpm(r), rider_engine_torque(r));
      engine_voice_bytes(v, n, bytes);
      sound_write(v->sound, n, bytes, (v->write_position - n) & (engine_voice_ring - 1));
    }
    float position[3] = {0, 0, 0}, velocity[3] = {0, 0, 0};
    if (dBodyID body = rider_frame_body(r)) {
      const dReal* p = dBodyGetPosition(body);
      const dReal* u = dBodyGetLinearVel(body);
      for (int k = 0; k < 3; k++) position[k] = (float)p[k], velocity[k] = (float)u[k];
    }
    const sound_placement pl = place_sound(position, velocity, v->presence_gain, gain, engine_sound_rate);
    sound_set_rate(v->sound, pl.rate);
    sound_set_volume(v->sound, pl.volume);
    sound_set_pan(v->sound, pl.pan);
  }
  const float g = (float)(master * volume * 0.1 * comp_volume * 0.1);
  for (int i = 0; i < script_sound_count; i++) {
    script_sound* s = &script_sounds[i];
    if (!s->sound) continue;
    const sound_placement pl = place_sound(s->position, s->velocity, s->volume, g, s->frequency);
    sound_set_rate(s->sound, pl.rate);
    sound_set_volume(s->sound, pl.volume);
    sound_set_pan(s->sound, pl.pan);
  }
}

int script_sound_load(const char* name) {
  if (script_sound_count >= script_sound_max || !name) return -1;
  audio_sound* sound = nullptr;
  for (int i = 0; i < script_sound_count; i++)
    if (std::strcmp(script_sounds[i].name, name) == 0) {
      sound = sound_clone(script_sounds[i].sound);
      break;
    }
  if (!sound) {
    stream s;
    if (!stream_open_name(&s, name, "rb")) {
      console_printf("Can't open sound '%.512s'\n", name);
      return -1;
    }
    uint8_t* bytes = nullptr;
    uint32_t count = 0, capacity = 0;
    uint8_t chunk[8192];
    int held = -1, ok = 1;
    for (uint32_t got; ok && (got = stream_read(&s, chunk, sizeof chunk)) > 0;) {
      for (uint32_t i = 0; i < got; i++) {
        if (held < 0) {
          held = 1;
          continue;
        }
        held = -1;
        if (count >= script_sound_max_bytes) {
          console_printf("Sound '%.512s' is longer than %u samples\n", name, script_sound_max_bytes);
          ok = 0;
          break;
        }
        if (count == capacity) {
          capacity = capacity ? capacity * 2 : 16384;
          uint8_t* more = static_cast<uint8_t*>(check_realloc(bytes, capacity));
          if (!more) {
            ok = 0;
            break;
          }
          bytes = more;
        }
        // The high byte of a signed 16-bit sample, top bit flipped: 8-bit unsigned.
        bytes[count++] = (uint8_t)(chunk[i] ^ 0x80);
      }
    }
    stream_close_file(&s);
    if (ok && count == 0) console_printf("Sound '%.512s' holds no sample\n", name);
    if (ok && count > 0 && game_state.audio) sound = sound_create(game_state.audio, (int)count, bytes, 0);
    check_free(bytes);
  }
  if (!sound) return -1;
  script_sound* e = &script_sounds[script_sound_count];
  *e = {};
  e->sound = sound;
  e->name = intern_string(name);
  sound_set_loop(sound, 0);
  sound_set_volume(sound, 0);
  return script_sound_count++;
}

static script_sound* script_sound_at(int index) {
  return index >= 0 && index < script_sound_count ? &script_sounds[index] : nullptr;
}

int script_sound_start(int index) {
  script_sound* s = script_sound_at(index);
  return s ? sound_play(s->sound) : 0;
}

int script_sound_stop(int index) {
  script_sound* s = script_sound_at(index);
  return s ? sound_stop(s->sound) : 0;
}

int script_sound_set_loop(int index, int flag) {
  script_sound* s = script_sound_at(index);
  return s ? sound_set_loop(s->sound, flag != 0) : 0;
}

int script_sound_set_freq(int index, float hz) {
  script_sound* s = script_sound_at(index);
  if (!s || !std::isfinite(hz)) return 0;
  s->frequency = hz;
  return 1;
}

int script_sound_set_volume(int index, float v) {
  script_sound* s = script_sound_at(index);
  if (!s || !std::isfinite(v)) return 0;
  s->volume = v;
  return 1;
}

static int finite3(const float* xyz) {
  return xyz && std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

int script_sound_set_position(int index, const float* xyz) {
  script_sound* s = script_sound_at(index);
  if (!s || !finite3(xyz)) return 0;
  std::memcpy(s->position, xyz, sizeof s->position);
  return 1;
}

int script_sound_set_velocity(int index, const float* xyz) {
  script_sound* s = script_sound_at(index);
  if (!s || !finite3(xyz)) return 0;
  std::memcpy(s->velocity, xyz, sizeof s->velocity);
  return 1;
}

void script_sounds_free() {
  for (int i = 0; i < script_sound_count; i++) {
    if (script_sounds[i].sound) sound_free(script_sounds[i].sound);
    script_sounds[i] = {};
  }
  script_sound_count = 0;
}

void sound_scene_install_hooks() {
  race_hooks.update_sound_scene = update_sound_scene;
  race_hooks.load_engine_sound = engine_voice_load_slot;
  race_hooks.free_engine_voice = engine_voice_free_slot;
  race_hooks.free_script_sounds = script_sounds_free;
}
