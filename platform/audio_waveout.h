#pragma once
// The waveOut-like driver: the software mixer feeding a push-mode device from
// a thread of its own, one fragment of 1/64 s at a time, at most "mixahead"
// fragments ahead of the device.
#include <atomic>
#include <cstdint>

#include "platform/mixer.h"

struct os_audio_device;
struct os_mutex;
struct os_thread;

enum { WAVEOUT_FRAGMENTS = 64 };

enum {
  WAVEOUT_ERROR = 0x01,  // an error happened
  WAVEOUT_STOP = 0x02,   // stop requested; the thread clears it as it ends
};

enum {
  WAVEOUT_HEADER_DONE = 0x01,  // the device has taken the fragment
  WAVEOUT_HEADER_PREPARED = 0x02,
};

struct waveout_header {
  uint8_t* data;
  int length;  // bytes
  int flags;
  uint64_t end;  // bytes queued in all, this fragment included
};

struct waveout_state {
  int open;
  os_audio_device* device;
  std::atomic<int> fragments_written;
  int mixahead;  // fragments
  int channels;
  int fragment_bytes;
  waveout_header headers[WAVEOUT_FRAGMENTS];
  uint8_t* fragment_memory;  // 64 fragments
  uint64_t bytes_queued;     // since the device opened
  mixer mix;
  os_mutex* mixer_mutex;
  os_thread* thread;
  std::atomic<int> thread_running;
  std::atomic<int> flags;
};

// The one waveOut-like driver of the process.
extern waveout_state waveout;

void* waveout_open(void* window);
void waveout_close(void* handle);
