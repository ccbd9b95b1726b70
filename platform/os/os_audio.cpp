// Push-mode audio devices over SDL's audio queue.
#include "platform/os/os_audio.h"

#include <SDL.h>

#include <cstdio>
#include <new>

struct os_audio_device {
  SDL_AudioDeviceID id;
};

int os_audio_init() { return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 ? 1 : 0; }

void os_audio_quit() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

void os_audio_device_info(char* name, int size, int* channels) {
  const char* device = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
  const char* backend = SDL_GetCurrentAudioDriver();
  if (device) {
    std::snprintf(name, static_cast<size_t>(size), "%s", device);
  } else {
    std::snprintf(name, static_cast<size_t>(size), "%s audio output", backend ? backend : "default");
  }
  SDL_AudioSpec spec;
  *channels = 2;
  if (SDL_GetAudioDeviceSpec(0, 0, &spec) == 0 && spec.channels > 0) *channels = spec.channels >= 2 ? 2 : 1;
}

os_audio_device* os_audio_open(int rate, int channels, int device_samples) {
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = rate;
  want.format = AUDIO_U8;
  want.channels = static_cast<Uint8>(channels);
  want.samples = static_cast<Uint16>(device_samples);
  want.callback = nullptr;  // push mode: SDL_QueueAudio
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (id == 0) return nullptr;
  os_audio_device* d = new (std::nothrow) os_audio_device;
  if (!d) {
    SDL_CloseAudioDevice(id);
    return nullptr;
  }
  d->id = id;
  SDL_PauseAudioDevice(id, 0);
  return d;
}

void os_audio_close(os_audio_device* device) {
  if (!device) return;
  SDL_CloseAudioDevice(device->id);
  delete device;
}

const char* os_audio_error() { return SDL_GetError(); }

int os_audio_queue(os_audio_device* device, const void* bytes, uint32_t length) {
  return SDL_QueueAudio(device->id, bytes, length) == 0 ? 1 : 0;
}

uint32_t os_audio_queued(os_audio_device* device) { return SDL_GetQueuedAudioSize(device->id); }

void os_audio_reset(os_audio_device* device) { SDL_ClearQueuedAudio(device->id); }

void os_audio_pause(os_audio_device* device, int paused) { SDL_PauseAudioDevice(device->id, paused ? 1 : 0); }
