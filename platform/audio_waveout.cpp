// The waveOut-like driver: mixer, fragment ring and audio thread.
#include "platform/audio_waveout.h"

#include <cstdlib>
#include <cstring>

#include "platform/audio.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/os/os.h"
#include "platform/os/os_audio.h"
#include "platform/os/os_thread.h"

waveout_state waveout;

namespace {

// Mixing itself needs almost no stack, but the log's formatted output and the
// device queue's locking do.
const size_t k_thread_stack = 256 * 1024;

const int k_default_rate = 22050;

void clear_state() {
  waveout.open = 0;
  waveout.device = nullptr;
  waveout.fragments_written = 0;
  waveout.mixahead = 0;
  waveout.channels = 0;
  waveout.fragment_bytes = 0;
  std::memset(waveout.headers, 0, sizeof(waveout.headers));
  waveout.fragment_memory = nullptr;
  waveout.bytes_queued = 0;
  waveout.mix = mixer{};
  waveout.mixer_mutex = nullptr;
  waveout.thread = nullptr;
  waveout.thread_running = 0;
  waveout.flags = 0;
}

// A fragment is done once the device has taken every byte queued up to and
// including it.
bool header_done(waveout_header* h) {
  if (!(h->flags & WAVEOUT_HEADER_DONE)) {
    const uint64_t taken = waveout.bytes_queued - os_audio_queued(waveout.device);
    if (h->end <= taken) h->flags |= WAVEOUT_HEADER_DONE;
  }
  return h->flags & WAVEOUT_HEADER_DONE;
}

void waveout_thread(void*) {
  log_printf("Audio thread begin\n");
  for (waveout_header& h : waveout.headers) h = waveout_header{nullptr, 0, WAVEOUT_HEADER_DONE, 0};
  for (int i = 0; i < WAVEOUT_FRAGMENTS; ++i) {
    waveout_header& h = waveout.headers[i];
    h.data = waveout.fragment_memory + static_cast<size_t>(i) * static_cast<size_t>(waveout.fragment_bytes);
    h.length = waveout.fragment_bytes;
    h.flags = WAVEOUT_HEADER_PREPARED;
  }

  int next = 0;
  while (!(waveout.flags & WAVEOUT_STOP)) {
    waveout.fragments_written++;
    waveout_header& h = waveout.headers[next];
    os_mutex_lock(waveout.mixer_mutex);
    waveout.mix.output = h.data;
    mixer_mix_fragment(&waveout.mix);
    os_mutex_unlock(waveout.mixer_mutex);
    h.flags &= ~WAVEOUT_HEADER_DONE;
    if (os_audio_queue(waveout.device, h.data, static_cast<uint32_t>(h.length))) {
      waveout.bytes_queued += static_cast<uint64_t>(h.length);
    } else {
      log_printf("Audio thread: Write error\n");
      waveout.flags |= WAVEOUT_ERROR;
    }
    h.end = waveout.bytes_queued;
    next = (next + 1) % WAVEOUT_FRAGMENTS;
    if (waveout.fragments_written < waveout.mixahead) continue;

    // Keep at most mixahead fragments queued: wait for the one written
    // mixahead places before the next.
    waveout_header* wait = &waveout.headers[(next - waveout.mixahead + WAVEOUT_FRAGMENTS) % WAVEOUT_FRAGMENTS];
    uint32_t start = os_milliseconds();
    uint32_t budget = 985;
    while (!header_done(wait) && !(waveout.flags & WAVEOUT_STOP)) {
      os_sleep_ms(15);
      if (os_milliseconds() - start >= budget) {
        os_audio_reset(waveout.device);
        log_printf("Audio thread: Timeout on fragment %d\n", waveout.fragments_written.load());
        start = os_milliseconds();
        budget = 1000;
      }
    }
  }

  for (waveout_header& h : waveout.headers) h.flags &= ~WAVEOUT_HEADER_PREPARED;
  log_printf("Audio thread end\n");
  waveout.flags &= ~WAVEOUT_STOP;
}

// The largest power of two not above the fragment, so the device takes the
// queue in pieces no coarser than the fragments we write.
int device_samples_for(int fragment_samples) {
  int n = 64;
  while (n * 2 <= fragment_samples && n < 8192) n *= 2;
  return n;
}

}  // namespace

void* waveout_open(void*) {
  log_printf("Opening waveOut audio...\n");
  if (waveout.open) {
    log_printf("Audio already open\n");
    return nullptr;
  }
  clear_state();

  if (!os_audio_init()) {
    log_printf("No audio device\n");
    return nullptr;
  }
  char name[256];
  int device_channels = 2;
  os_audio_device_info(name, sizeof(name), &device_channels);
  log_printf("Found a %s\n", name);

  mixer& m = waveout.mix;
  m.voices = option_int("sound-channels", 16);
  int rate = option_int("sound-rate", k_default_rate);
  // Below 4000 Hz a fragment would hold no samples at all.
  if (rate < 4000 || rate > 192000) {
    log_printf("unrecognized setting for %s\n", "sound-rate");
    rate = k_default_rate;
  }
  m.rate = rate;
  m.samples = rate / 64;
  m.bits16 = 0;
  m.stereo = device_channels == 2 ? 1 : 0;
  int64_t mixahead = static_cast<int64_t>(option_int("sound-mixahead", 125)) * 64 / 1000;
  if (mixahead < 1) mixahead = 1;
  if (mixahead > 32) mixahead = 32;
  waveout.mixahead = static_cast<int>(mixahead);
  waveout.channels = m.stereo ? 2 : 1;
  waveout.fragment_bytes = m.samples * waveout.channels;

  log_printf("Waveout rate: %d\n", rate);
  log_printf("Waveout channels: %d\n", m.voices);
  log_printf("Waveout mixahead: %d\n", waveout.mixahead * 1000 / 64);
  waveout.device = os_audio_open(rate, waveout.channels, device_samples_for(m.samples));
  if (!waveout.device) {
    log_printf("Can't open waveOut\n");
    os_audio_quit();
    return nullptr;
  }
  waveout.open = 1;

  const size_t samples = static_cast<size_t>(m.samples);
  waveout.fragment_memory =
      static_cast<uint8_t*>(std::calloc(WAVEOUT_FRAGMENTS, static_cast<size_t>(waveout.fragment_bytes)));
  if (!waveout.fragment_memory) {
    log_printf("GlobalAlloc() failed\n");
    waveout_close(&waveout);
    return nullptr;
  }
  m.left = static_cast<int*>(std::malloc(sizeof(int) * samples));
  m.right = m.stereo ? static_cast<int*>(std::malloc(sizeof(int) * samples)) : nullptr;
  if (!m.left || (m.stereo && !m.right)) {
    log_printf("malloc() failed\n");
    waveout_close(&waveout);
    return nullptr;
  }
  waveout.mixer_mutex = os_mutex_create();
  if (!waveout.mixer_mutex) {
    log_printf("Can't create mutex\n");
    waveout_close(&waveout);
    return nullptr;
  }
  waveout.thread_running = 1;
  waveout.thread = os_thread_start(waveout_thread, nullptr, k_thread_stack);
  if (!waveout.thread) {
    waveout.thread_running = 0;
    log_printf("Can't create thread\n");
    waveout_close(&waveout);
    return nullptr;
  }
  log_printf("Audio opened!\n");
  return &waveout;
}

void waveout_close(void*) {
  if (!waveout.open) {
    log_printf("Can't close audio, not open\n");
    return;
  }
  log_printf("Closing audio\n");
  if (waveout.thread_running) {
    waveout.flags |= WAVEOUT_STOP;
    while (waveout.flags & WAVEOUT_STOP) os_sleep_ms(0);
    os_thread_join(waveout.thread);
    waveout.thread = nullptr;
    waveout.thread_running = 0;
  }
  os_mutex_destroy(waveout.mixer_mutex);
  waveout.mixer_mutex = nullptr;
  if (waveout.device) os_audio_reset(waveout.device);
  std::free(waveout.fragment_memory);
  waveout.fragment_memory = nullptr;
  os_audio_close(waveout.device);
  waveout.device = nullptr;
  os_audio_quit();
  std::free(waveout.mix.left);
  std::free(waveout.mix.right);
  waveout.mix = mixer{};
  waveout.open = 0;
}

// Sound operations: the mixer's, under the mixer mutex so they fall between
// fragments.

static mixer_sound* ms(audio_sound* s) { return reinterpret_cast<mixer_sound*>(s); }

struct mixer_lock {
  mixer_lock() { os_mutex_lock(waveout.mixer_mutex); }
  ~mixer_lock() { os_mutex_unlock(waveout.mixer_mutex); }
};

static void* no_readback_open(void*, int, int) { return nullptr; }
static int update_ok(void*) { return 1; }
static const uint8_t* no_readback(void*) { return nullptr; }

static audio_sound* wo_create(void*, int length, const uint8_t* samples, int rate) {
  mixer_lock lock;
  return reinterpret_cast<audio_sound*>(mixer_sound_create(&waveout.mix, length, samples, rate));
}
static audio_sound* wo_clone(audio_sound* s) {
  mixer_lock lock;
  return reinterpret_cast<audio_sound*>(mixer_sound_clone(ms(s)));
}
static void wo_free(audio_sound* s) {
  mixer_lock lock;
  mixer_sound_free(ms(s));
}
static int wo_play(audio_sound* s) {
  mixer_lock lock;
  return mixer_play(ms(s));
}
static int wo_stop(audio_sound* s) {
  mixer_lock lock;
  return mixer_stop(ms(s));
}
static int wo_set_rate(audio_sound* s, int hz) {
  mixer_lock lock;
  return mixer_set_rate(ms(s), hz);
}
static int wo_set_volume(audio_sound* s, int v) {
  mixer_lock lock;
  return mixer_set_volume(ms(s), v);
}
static int wo_set_pan(audio_sound* s, int p) {
  mixer_lock lock;
  return mixer_set_pan(ms(s), p);
}
static int wo_set_loop(audio_sound* s, int f) {
  mixer_lock lock;
  return mixer_set_loop(ms(s), f);
}
static int wo_get_position(audio_sound* s) {
  mixer_lock lock;
  return mixer_get_position(ms(s));
}
static int wo_write(audio_sound* s, int length, const uint8_t* bytes, int position) {
  mixer_lock lock;
  return mixer_write(ms(s), length, bytes, position);
}

const audio_driver waveout_driver = {
    waveout_open, no_readback_open, waveout_close, update_ok,     no_readback, wo_create,   wo_clone,        wo_free,
    wo_play,      wo_stop,          wo_set_rate,   wo_set_volume, wo_set_pan,  wo_set_loop, wo_get_position, wo_write,
};
