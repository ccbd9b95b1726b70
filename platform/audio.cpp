// The audio front end and the readback driver.
#include "platform/audio.h"

#include <cstdlib>

#include "platform/log.h"
#include "platform/mixer.h"
#include "platform/options.h"

const audio_driver* audio_current_driver = nullptr;

void* audio_open(void* window) {
  if (audio_current_driver) return nullptr;
  if (option_bool("dsnd", 1)) {
    void* handle = dsound_driver.open(window);
    if (handle) {
      audio_current_driver = &dsound_driver;
      return handle;
    }
  }
  if (option_bool("waveout", 1)) {
    void* handle = waveout_driver.open(window);
    if (handle) {
      audio_current_driver = &waveout_driver;
      return handle;
    }
  }
  return nullptr;
}

void* audio_open_readback(void* window, int rate, int samples_per_block) {
  // A second open would orphan the current driver's device and sounds.
  if (audio_current_driver) {
    log_printf("Audio already open\n");
    return nullptr;
  }
  void* handle = readback_driver.open_readback(window, rate, samples_per_block);
  if (handle) audio_current_driver = &readback_driver;
  return handle;
}

// Every call below needs a driver; without one it is refused, not crashed.
static const audio_driver* current(const char* what) {
  if (!audio_current_driver) log_printf("%s: no audio open\n", what);
  return audio_current_driver;
}

void audio_close(void* handle) {
  if (const audio_driver* d = current("audio_close")) d->close(handle);
  audio_current_driver = nullptr;
}

int audio_update(void* handle) {
  const audio_driver* d = current("audio_update");
  return d ? d->update(handle) : 0;
}

const uint8_t* audio_readback(void* handle) {
  const audio_driver* d = current("audio_readback");
  return d ? d->readback(handle) : nullptr;
}

audio_sound* sound_create(void* handle, int length, const uint8_t* samples, int rate) {
  const audio_driver* d = current("sound_create");
  return d ? d->create_sound(handle, length, samples, rate) : nullptr;
}

audio_sound* sound_clone(audio_sound* sound) {
  const audio_driver* d = current("sound_clone");
  return d && sound ? d->clone_sound(sound) : nullptr;
}

void sound_free(audio_sound* sound) {
  const audio_driver* d = current("sound_free");
  if (d && sound) d->free_sound(sound);
}

// The per-sound operations share one shape: a driver and a sound, or 0.
#define BK_SOUND_CALL(slot, ...)                   \
  const audio_driver* d = current("sound_" #slot); \
  return d && sound ? d->slot(sound, ##__VA_ARGS__) : 0

int sound_play(audio_sound* sound) { BK_SOUND_CALL(play); }
int sound_stop(audio_sound* sound) { BK_SOUND_CALL(stop); }
int sound_set_rate(audio_sound* sound, int hz) { BK_SOUND_CALL(set_rate, hz); }
int sound_set_volume(audio_sound* sound, int volume) { BK_SOUND_CALL(set_volume, volume); }
int sound_set_pan(audio_sound* sound, int pan) { BK_SOUND_CALL(set_pan, pan); }
int sound_set_loop(audio_sound* sound, int flag) { BK_SOUND_CALL(set_loop, flag); }
int sound_get_position(audio_sound* sound) { BK_SOUND_CALL(get_position); }
int sound_write(audio_sound* sound, int length, const uint8_t* bytes, int position) {
  BK_SOUND_CALL(write, length, bytes, position);
}
#undef BK_SOUND_CALL

// Readback: the mixer into memory, on the game thread, no lock.

static mixer g_readback;
static void* g_readback_memory;

static void* readback_open(void*, int rate, int samples_per_block) {
  log_printf("Opening readback audio...\n");
  if (rate <= 0 || samples_per_block <= 0 || samples_per_block > (1 << 24)) {
    log_printf("Bad readback format: %d Hz, %d samples\n", rate, samples_per_block);
    return nullptr;
  }
  g_readback = mixer{};
  g_readback.stereo = 1;
  g_readback.rate = rate;
  g_readback.samples = samples_per_block;
  g_readback.voices = option_int("sound-channels", 16);
  const size_t n = static_cast<size_t>(samples_per_block);
  g_readback_memory = std::malloc(10 * n);
  if (!g_readback_memory) {
    log_printf("Malloc failed\n");
    return nullptr;
  }
  g_readback.left = static_cast<int*>(g_readback_memory);
  g_readback.right = g_readback.left + n;
  g_readback.output = reinterpret_cast<uint8_t*>(g_readback.right + n);
  log_printf("Audio opened!\n");
  return &g_readback;
}

static void readback_close(void*) {
  std::free(g_readback_memory);
  g_readback_memory = nullptr;
  g_readback = mixer{};
}

static const uint8_t* readback_mix(void* handle) {
  mixer* m = static_cast<mixer*>(handle);
  mixer_mix_fragment(m);
  return m->output;
}

static void* no_open(void*) { return nullptr; }
static int update_ok(void*) { return 1; }

static mixer_sound* ms(audio_sound* s) { return reinterpret_cast<mixer_sound*>(s); }
static audio_sound* as(mixer_sound* s) { return reinterpret_cast<audio_sound*>(s); }

static audio_sound* rb_create(void* handle, int length, const uint8_t* samples, int rate) {
  return as(mixer_sound_create(static_cast<mixer*>(handle), length, samples, rate));
}
static audio_sound* rb_clone(audio_sound* s) { return as(mixer_sound_clone(ms(s))); }
static void rb_free(audio_sound* s) { mixer_sound_free(ms(s)); }
static int rb_play(audio_sound* s) { return mixer_play(ms(s)); }
static int rb_stop(audio_sound* s) { return mixer_stop(ms(s)); }
static int rb_set_rate(audio_sound* s, int hz) { return mixer_set_rate(ms(s), hz); }
static int rb_set_volume(audio_sound* s, int v) { return mixer_set_volume(ms(s), v); }
static int rb_set_pan(audio_sound* s, int p) { return mixer_set_pan(ms(s), p); }
static int rb_set_loop(audio_sound* s, int f) { return mixer_set_loop(ms(s), f); }
static int rb_get_position(audio_sound* s) { return mixer_get_position(ms(s)); }
static int rb_write(audio_sound* s, int length, const uint8_t* bytes, int position) {
  return mixer_write(ms(s), length, bytes, position);
}

const audio_driver readback_driver = {
    no_open, readback_open, readback_close, update_ok,     readback_mix, rb_create,   rb_clone,        rb_free,
    rb_play, rb_stop,       rb_set_rate,    rb_set_volume, rb_set_pan,   rb_set_loop, rb_get_position, rb_write,
};
