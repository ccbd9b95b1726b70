// The DirectSound-like driver over the OS layer's sound buffers.
#include "platform/audio_dsound.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/audio.h"
#include "platform/os/os_dsound.h"

static int16_t g_attenuation[1025];
static bool g_attenuation_ready = false;

static void build_attenuation() {
  g_attenuation[0] = -10000;
  for (int i = 1; i < 1024; ++i) g_attenuation[i] = static_cast<int16_t>(2000.0 * std::log10(i / 1024.0));
  g_attenuation[1024] = 0;
  g_attenuation_ready = true;
}

int dsound_attenuation(int x) {
  if (!g_attenuation_ready) build_attenuation();
  if (x < 0) return -10000;
  if (x > 0x7FFF) return 0;
  const int i = x >> 5;
  const int f = x & 31;
  return g_attenuation[i] + (((g_attenuation[i + 1] - g_attenuation[i]) * f) >> 5);
}

void* dsound_open(void* window) {
  dsound_record* d = new (std::nothrow) dsound_record();
  if (!d) return nullptr;
  d->device = os_dsound_create();
  if (!d->device || os_dsound_set_cooperative_level(d->device, window) != OS_DS_OK) {
    os_dsound_release(d->device);
    delete d;
    return nullptr;
  }
  return d;
}

static void dsound_close(void* handle) {
  dsound_record* d = static_cast<dsound_record*>(handle);
  if (!d) return;
  os_dsound_release(d->device);
  delete d;
}

static dsound_sound* ds(audio_sound* s) { return reinterpret_cast<dsound_sound*>(s); }

// Copies the sample block into the whole buffer. A lost buffer is restored
// and filled again at once: restoring hands the buffer back empty, so
// giving up there would leave the sound silent for good.
static int fill(dsound_sound* s) {
  uint8_t *p1, *p2;
  int n1, n2;
  int rc = os_dsound_lock(s->buffer, 0, s->block->length, &p1, &n1, &p2, &n2);
  if (rc == OS_DS_BUFFERLOST) {
    if (os_dsound_restore(s->buffer) != OS_DS_OK) return 0;
    rc = os_dsound_lock(s->buffer, 0, s->block->length, &p1, &n1, &p2, &n2);
  }
  if (rc != OS_DS_OK) return 0;
  std::memcpy(p1, s->block->bytes, static_cast<size_t>(n1));
  if (p2) std::memcpy(p2, s->block->bytes + n1, static_cast<size_t>(n2));
  return os_dsound_unlock(s->buffer, p1, n1, p2, n2) == OS_DS_OK;
}

static void free_block(mixer_block* b) {
  if (b && --b->refs == 0) {
    std::free(b->bytes);
    std::free(b);
  }
}

static audio_sound* dsound_create(void* handle, int length, const uint8_t* samples, int rate) {
  dsound_record* d = static_cast<dsound_record*>(handle);
  if (length <= 0 || !samples || rate < 0) return nullptr;
  dsound_sound* s = new (std::nothrow) dsound_sound();
  mixer_block* block = static_cast<mixer_block*>(std::malloc(sizeof(mixer_block)));
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
  if (!s || !block || !bytes) {
    delete s;
    std::free(block);
    std::free(bytes);
    return nullptr;
  }
  std::memcpy(bytes, samples, static_cast<size_t>(length));
  *block = mixer_block{1, length, bytes};
  s->driver = d;
  s->block = block;
  s->volume = 0x7FFF;
  s->pan = 0;
  unsigned flags = OS_DS_STATIC | OS_DS_CTRLPAN | OS_DS_CTRLVOLUME;
  if (rate == 0) flags |= OS_DS_CTRLFREQUENCY;
  if (os_dsound_create_buffer(d->device, rate ? rate : 22050, length, flags, &s->buffer) != OS_DS_OK || !fill(s)) {
    os_dsound_buffer_release(s->buffer);
    free_block(block);
    delete s;
    return nullptr;
  }
  return reinterpret_cast<audio_sound*>(s);
}

static audio_sound* dsound_clone(audio_sound* sound) {
  dsound_sound* src = ds(sound);
  dsound_sound* s = new (std::nothrow) dsound_sound();
  if (!s) return nullptr;
  s->driver = src->driver;
  s->block = src->block;
  s->flags = src->flags & DSOUND_LOOP;
  if (os_dsound_duplicate(src->driver->device, src->buffer, &s->buffer) != OS_DS_OK) {
    delete s;
    return nullptr;
  }
  s->block->refs++;
  return reinterpret_cast<audio_sound*>(s);
}

static void dsound_free(audio_sound* sound) {
  dsound_sound* s = ds(sound);
  os_dsound_buffer_release(s->buffer);
  free_block(s->block);
  delete s;
}

static int dsound_play(audio_sound* sound) {
  dsound_sound* s = ds(sound);
  os_dsound_set_position(s->buffer, 0);
  const int rc = os_dsound_play(s->buffer, s->flags & DSOUND_LOOP);
  if (rc == OS_DS_BUFFERLOST) {
    fill(s);
    return 0;
  }
  return rc == OS_DS_OK;
}

static int dsound_stop(audio_sound* sound) { return os_dsound_stop(ds(sound)->buffer) == OS_DS_OK; }

static int dsound_set_rate(audio_sound* sound, int hz) {
  return os_dsound_set_frequency(ds(sound)->buffer, hz) == OS_DS_OK;
}

static int apply_volume_and_pan(dsound_sound* s) {
  const int a = s->pan < 0 ? -s->pan : s->pan;
  const int pan_db = s->pan < 0 ? dsound_attenuation(s->pan + 0x7FFF) : -dsound_attenuation(0x7FFF - s->pan);
  const int volume_db = dsound_attenuation((a / 2 + 0x4000) * s->volume / 0x8000);
  const int ok_volume = os_dsound_set_volume(s->buffer, volume_db) == OS_DS_OK;
  const int ok_pan = os_dsound_set_pan(s->buffer, pan_db) == OS_DS_OK;
  return ok_volume && ok_pan;
}

static int dsound_set_volume(audio_sound* sound, int volume) {
  dsound_sound* s = ds(sound);
  s->volume = volume < 0 ? 0 : volume > 0x7FFF ? 0x7FFF : volume;
  return apply_volume_and_pan(s);
}

static int dsound_set_pan(audio_sound* sound, int pan) {
  dsound_sound* s = ds(sound);
  s->pan = pan < -0x7FFF ? -0x7FFF : pan > 0x7FFF ? 0x7FFF : pan;
  return apply_volume_and_pan(s);
}

static int dsound_set_loop(audio_sound* sound, int flag) {
  dsound_sound* s = ds(sound);
  s->flags = static_cast<uint8_t>(flag ? s->flags | DSOUND_LOOP : s->flags & ~DSOUND_LOOP);
  return 1;
}

static int dsound_get_position(audio_sound* sound) {
  int play = 0, write = 0;
  if (os_dsound_get_position(ds(sound)->buffer, &play, &write) != OS_DS_OK) return 0;
  return play;
}

static int dsound_write(audio_sound* sound, int length, const uint8_t* bytes, int position) {
  dsound_sound* s = ds(sound);
  mixer_sound ring{};
  ring.block = s->block;
  if (!mixer_write(&ring, length, bytes, position)) return 0;
  // The same bytes, at the same place, into the buffer.
  const int c = s->block->length;
  int64_t pos = position;
  if (length > c) {
    bytes += length - c;
    pos += length - c;
    length = c;
  }
  if (length == 0) return 1;
  pos %= c;
  if (pos < 0) pos += c;
  uint8_t *p1, *p2;
  int n1, n2;
  const int rc = os_dsound_lock(s->buffer, static_cast<int>(pos), length, &p1, &n1, &p2, &n2);
  // The block already holds these bytes, so a lost buffer is refilled whole.
  if (rc == OS_DS_BUFFERLOST) return fill(s);
  if (rc != OS_DS_OK) return 0;
  std::memcpy(p1, bytes, static_cast<size_t>(n1));
  if (p2) std::memcpy(p2, bytes + n1, static_cast<size_t>(n2));
  return os_dsound_unlock(s->buffer, p1, n1, p2, n2) == OS_DS_OK;
}

static void* no_readback_open(void*, int, int) { return nullptr; }
static int update_ok(void*) { return 1; }
static const uint8_t* no_readback(void*) { return nullptr; }

const audio_driver dsound_driver = {
    dsound_open,    no_readback_open, dsound_close,        update_ok,    no_readback,     dsound_create,
    dsound_clone,   dsound_free,      dsound_play,         dsound_stop,  dsound_set_rate, dsound_set_volume,
    dsound_set_pan, dsound_set_loop,  dsound_get_position, dsound_write,
};
