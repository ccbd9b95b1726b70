#pragma once
// Audio output devices in push mode: the caller queues whole fragments of
// 8-bit unsigned PCM and watches how much is still waiting to be played.
#include <cstdint>

struct os_audio_device;

// Starts the audio subsystem (SDL_AUDIODRIVER picks the backend); 0 when no
// backend works. Each successful call is matched by one os_audio_quit.
int os_audio_init();
void os_audio_quit();

// The default output device's name (or the backend's, when it names no
// devices) and its channel count (2 when it does not say). Needs init.
void os_audio_device_info(char* name, int size, int* channels);

// Opens the default device for 8-bit unsigned PCM, already running. Null
// (reason in os_audio_error) when the backend refuses.
os_audio_device* os_audio_open(int rate, int channels, int device_samples);
void os_audio_close(os_audio_device* device);
const char* os_audio_error();

// Appends bytes to the device's queue; 0 on failure.
int os_audio_queue(os_audio_device* device, const void* bytes, uint32_t length);
// Bytes queued and not yet taken by the device.
uint32_t os_audio_queued(os_audio_device* device);
// Drops everything queued.
void os_audio_reset(os_audio_device* device);
// A paused device takes nothing from its queue.
void os_audio_pause(os_audio_device* device, int paused);
