// Sound buffers mixed into one SDL output device from its callback. Every
// change a caller makes to a buffer happens under the device lock, so the
// callback sees each buffer either before or after it.
#include "platform/os/os_dsound.h"

#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const int k_output_rate = 44100;
const int k_device_samples = 1024;

// Buffer memory, shared by a buffer and its duplicates.
struct ds_memory {
  int refs;
  int length;
  int lost;
  uint8_t* bytes;
};

}  // namespace

struct os_dsound_buffer {
  os_dsound* ds;
  os_dsound_buffer* next;
  ds_memory* memory;
  unsigned flags;
  int rate;       // the rate the buffer was made with
  int frequency;  // the rate it plays at
  int volume;     // hundredths of a dB
  int pan;
  float gain_left, gain_right;
  int playing, looping;
  uint64_t position;  // 32.32 fixed point, in bytes
  uint8_t* staging;   // what os_dsound_lock handed out, null when unlocked
  int lock_offset, lock_bytes;
};

struct os_dsound {
  SDL_AudioDeviceID id;
  int lost;
  void* window;
  os_dsound_buffer* buffers;
  float* accumulator;  // interleaved L, R for one device callback
  int accumulator_frames;
};

static void lock_device(os_dsound* ds) {
  if (ds->id) SDL_LockAudioDevice(ds->id);
}
static void unlock_device(os_dsound* ds) {
  if (ds->id) SDL_UnlockAudioDevice(ds->id);
}

static float db_to_amplitude(int hundredths_db) {
  if (hundredths_db <= -10000) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

static void update_gains(os_dsound_buffer* b) {
  const float v = db_to_amplitude(b->volume) * 256.0f;
  b->gain_left = v * (b->pan > 0 ? db_to_amplitude(-b->pan) : 1.0f);
  b->gain_right = v * (b->pan < 0 ? db_to_amplitude(b->pan) : 1.0f);
}

static void mix_buffer(os_dsound_buffer* b, float* acc, int frames) {
  const ds_memory* m = b->memory;
  const uint64_t end = static_cast<uint64_t>(m->length) << 32;
  const uint64_t step = (static_cast<uint64_t>(b->frequency) << 32) / k_output_rate;
  for (int i = 0; i < frames; ++i) {
    const float v = static_cast<float>(m->bytes[b->position >> 32]) - 128.0f;
    acc[2 * i] += v * b->gain_left;
    acc[2 * i + 1] += v * b->gain_right;
    b->position += step;
    if (b->position >= end) {
      if (b->looping) {
        b->position %= end;
      } else {
        b->playing = 0;
        b->position = 0;
        return;
      }
    }
  }
}

static void SDLCALL mix_callback(void* user, Uint8* stream, int length) {
  os_dsound* ds = static_cast<os_dsound*>(user);
  int16_t* out = reinterpret_cast<int16_t*>(stream);
  int frames = length / 4;
  while (frames > 0) {
    const int n = frames < ds->accumulator_frames ? frames : ds->accumulator_frames;
    float* acc = ds->accumulator;
    std::memset(acc, 0, sizeof(float) * 2 * static_cast<size_t>(n));
    for (os_dsound_buffer* b = ds->buffers; b; b = b->next)
      if (b->playing && !b->memory->lost) mix_buffer(b, acc, n);
    for (int i = 0; i < 2 * n; ++i) {
      const float v = acc[i];
      out[i] = static_cast<int16_t>(v > 32767.0f ? 32767 : v < -32768.0f ? -32768 : std::lrint(v));
    }
    out += 2 * n;
    frames -= n;
  }
}

static SDL_AudioDeviceID open_device(os_dsound* ds) {
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = k_output_rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = k_device_samples;
  want.callback = mix_callback;
  want.userdata = ds;
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (id) SDL_PauseAudioDevice(id, 0);
  return id;
}

// A device that was unplugged reports itself stopped.
static int check_device(os_dsound* ds) {
  if (!ds->lost && SDL_GetAudioDeviceStatus(ds->id) == SDL_AUDIO_STOPPED) os_dsound_device_lost(ds);
  return ds->lost ? 0 : 1;
}

os_dsound* os_dsound_create() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  os_dsound* ds = new (std::nothrow) os_dsound();
  float* acc = static_cast<float*>(std::malloc(sizeof(float) * 2 * k_device_samples));
  if (!ds || !acc) {
    delete ds;
    std::free(acc);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  ds->accumulator = acc;
  ds->accumulator_frames = k_device_samples;
  ds->id = open_device(ds);
  if (!ds->id) {
    std::free(acc);
    delete ds;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return ds;
}

int os_dsound_set_cooperative_level(os_dsound* ds, void* window) {
  ds->window = window;
  return OS_DS_OK;
}

void os_dsound_release(os_dsound* ds) {
  if (!ds) return;
  if (ds->id) SDL_CloseAudioDevice(ds->id);
  std::free(ds->accumulator);
  delete ds;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int os_dsound_output_rate(os_dsound*) { return k_output_rate; }

static int new_buffer(os_dsound* ds, ds_memory* memory, os_dsound_buffer** out) {
  os_dsound_buffer* b = new (std::nothrow) os_dsound_buffer();
  if (!b) return OS_DS_OUTOFMEMORY;
  b->ds = ds;
  b->memory = memory;
  memory->refs++;
  lock_device(ds);
  b->next = ds->buffers;
  ds->buffers = b;
  unlock_device(ds);
  *out = b;
  return OS_DS_OK;
}

int os_dsound_create_buffer(os_dsound* ds, int rate, int bytes, unsigned flags, os_dsound_buffer** out) {
  *out = nullptr;
  if (bytes <= 0 || rate < OS_DS_FREQUENCY_MIN || rate > OS_DS_FREQUENCY_MAX) return OS_DS_INVALIDPARAM;
  ds_memory* m = new (std::nothrow) ds_memory();
  uint8_t* data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
  if (!m || !data) {
    delete m;
    std::free(data);
    return OS_DS_OUTOFMEMORY;
  }
  std::memset(data, 128, static_cast<size_t>(bytes));
  m->length = bytes;
  m->bytes = data;
  const int rc = new_buffer(ds, m, out);
  if (rc != OS_DS_OK) {
    std::free(data);
    delete m;
    return rc;
  }
  os_dsound_buffer* b = *out;
  b->flags = flags;
  b->rate = b->frequency = rate;
  update_gains(b);
  return OS_DS_OK;
}

int os_dsound_duplicate(os_dsound* ds, os_dsound_buffer* original, os_dsound_buffer** out) {
  *out = nullptr;
  const int rc = new_buffer(ds, original->memory, out);
  if (rc != OS_DS_OK) return rc;
  os_dsound_buffer* b = *out;
  lock_device(ds);
  b->flags = original->flags;
  b->rate = original->rate;
  b->frequency = original->frequency;
  b->volume = original->volume;
  b->pan = original->pan;
  update_gains(b);
  unlock_device(ds);
  return OS_DS_OK;
}

void os_dsound_buffer_release(os_dsound_buffer* b) {
  if (!b) return;
  os_dsound* ds = b->ds;
  lock_device(ds);
  for (os_dsound_buffer** p = &ds->buffers; *p; p = &(*p)->next) {
    if (*p == b) {
      *p = b->next;
      break;
    }
  }
  unlock_device(ds);
  if (--b->memory->refs == 0) {
    std::free(b->memory->bytes);
    delete b->memory;
  }
  std::free(b->staging);
  delete b;
}

int os_dsound_lock(os_dsound_buffer* b, int offset, int bytes, uint8_t** piece1, int* bytes1, uint8_t** piece2,
                   int* bytes2) {
  *piece1 = *piece2 = nullptr;
  *bytes1 = *bytes2 = 0;
  check_device(b->ds);
  if (b->memory->lost) return OS_DS_BUFFERLOST;
  const int length = b->memory->length;
  if (offset < 0 || offset >= length || bytes <= 0 || bytes > length || b->staging) return OS_DS_INVALIDPARAM;
  uint8_t* staging = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
  if (!staging) return OS_DS_OUTOFMEMORY;
  const int first = bytes < length - offset ? bytes : length - offset;
  lock_device(b->ds);
  std::memcpy(staging, b->memory->bytes + offset, static_cast<size_t>(first));
  std::memcpy(staging + first, b->memory->bytes, static_cast<size_t>(bytes - first));
  unlock_device(b->ds);
  b->staging = staging;
  b->lock_offset = offset;
  b->lock_bytes = bytes;
  *piece1 = staging;
  *bytes1 = first;
  if (bytes > first) {
    *piece2 = staging + first;
    *bytes2 = bytes - first;
  }
  return OS_DS_OK;
}

int os_dsound_unlock(os_dsound_buffer* b, uint8_t* piece1, int bytes1, uint8_t* piece2, int bytes2) {
  const int length = b->memory->length;
  const int first = b->lock_bytes < length - b->lock_offset ? b->lock_bytes : length - b->lock_offset;
  if (!b->staging || piece1 != b->staging || bytes1 < 0 || bytes1 > first || bytes2 < 0 ||
      bytes2 > b->lock_bytes - first || (bytes2 > 0 && piece2 != b->staging + first))
    return OS_DS_INVALIDPARAM;
  lock_device(b->ds);
  if (!b->memory->lost) {
    std::memcpy(b->memory->bytes + b->lock_offset, b->staging, static_cast<size_t>(bytes1));
    std::memcpy(b->memory->bytes, b->staging + first, static_cast<size_t>(bytes2));
  }
  unlock_device(b->ds);
  std::free(b->staging);
  b->staging = nullptr;
  return OS_DS_OK;
}

int os_dsound_restore(os_dsound_buffer* b) {
  os_dsound* ds = b->ds;
  if (ds->lost) {
    ds->id = open_device(ds);
    if (!ds->id) return OS_DS_BUFFERLOST;
    ds->lost = 0;
  }
  lock_device(ds);
  if (b->memory->lost) {
    std::memset(b->memory->bytes, 128, static_cast<size_t>(b->memory->length));
    b->memory->lost = 0;
  }
  unlock_device(ds);
  return OS_DS_OK;
}

int os_dsound_play(os_dsound_buffer* b, int looping) {
  check_device(b->ds);
  if (b->memory->lost) return OS_DS_BUFFERLOST;
  lock_device(b->ds);
  b->playing = 1;
  b->looping = looping ? 1 : 0;
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_stop(os_dsound_buffer* b) {
  lock_device(b->ds);
  b->playing = 0;
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_set_position(os_dsound_buffer* b, int offset) {
  if (offset < 0 || offset >= b->memory->length) return OS_DS_INVALIDPARAM;
  lock_device(b->ds);
  b->position = static_cast<uint64_t>(offset) << 32;
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_get_position(os_dsound_buffer* b, int* play_cursor, int* write_cursor) {
  lock_device(b->ds);
  const int at = static_cast<int>(b->position >> 32);
  unlock_device(b->ds);
  if (play_cursor) *play_cursor = at;
  if (write_cursor) *write_cursor = at;
  return OS_DS_OK;
}

int os_dsound_set_volume(os_dsound_buffer* b, int hundredths_db) {
  if (!(b->flags & OS_DS_CTRLVOLUME)) return OS_DS_CONTROLUNAVAIL;
  if (hundredths_db < -10000 || hundredths_db > 0) return OS_DS_INVALIDPARAM;
  lock_device(b->ds);
  b->volume = hundredths_db;
  update_gains(b);
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_set_pan(os_dsound_buffer* b, int hundredths_db) {
  if (!(b->flags & OS_DS_CTRLPAN)) return OS_DS_CONTROLUNAVAIL;
  if (hundredths_db < -10000 || hundredths_db > 10000) return OS_DS_INVALIDPARAM;
  lock_device(b->ds);
  b->pan = hundredths_db;
  update_gains(b);
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_get_volume(os_dsound_buffer* b, int* hundredths_db) {
  if (!(b->flags & OS_DS_CTRLVOLUME)) return OS_DS_CONTROLUNAVAIL;
  *hundredths_db = b->volume;
  return OS_DS_OK;
}

int os_dsound_get_pan(os_dsound_buffer* b, int* hundredths_db) {
  if (!(b->flags & OS_DS_CTRLPAN)) return OS_DS_CONTROLUNAVAIL;
  *hundredths_db = b->pan;
  return OS_DS_OK;
}

int os_dsound_set_frequency(os_dsound_buffer* b, int hz) {
  if (!(b->flags & OS_DS_CTRLFREQUENCY)) return OS_DS_CONTROLUNAVAIL;
  if (hz == 0) hz = b->rate;
  if (hz < OS_DS_FREQUENCY_MIN || hz > OS_DS_FREQUENCY_MAX) return OS_DS_INVALIDPARAM;
  lock_device(b->ds);
  b->frequency = hz;
  unlock_device(b->ds);
  return OS_DS_OK;
}

int os_dsound_get_frequency(os_dsound_buffer* b, int* hz) {
  *hz = b->frequency;
  return OS_DS_OK;
}

int os_dsound_is_playing(os_dsound_buffer* b) {
  lock_device(b->ds);
  const int playing = b->playing;
  unlock_device(b->ds);
  return playing;
}

void os_dsound_device_lost(os_dsound* ds) {
  if (ds->lost) return;
  if (ds->id) SDL_CloseAudioDevice(ds->id);
  ds->id = 0;
  ds->lost = 1;
  for (os_dsound_buffer* b = ds->buffers; b; b = b->next) {
    b->playing = 0;
    b->memory->lost = 1;
  }
}
