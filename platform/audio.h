#pragma once
// The audio front end: one table of 16 operations per driver, one current
// driver, and functions that forward to it. Sounds are 8-bit unsigned mono
// PCM (128 = silence); volume 0..0x7FFF; pan -0x8000 (left) .. 0x7FFF
// (right); rates in Hz.
#include <cstdint>

// A sound of whichever driver is current (each driver has its own record).
struct audio_sound;

struct audio_driver {
  void* (*open)(void* window);
  void* (*open_readback)(void* window, int rate, int samples_per_block);
  void (*close)(void* handle);
  int (*update)(void* handle);
  const uint8_t* (*readback)(void* handle);
  audio_sound* (*create_sound)(void* handle, int length, const uint8_t* samples, int rate);
  audio_sound* (*clone_sound)(audio_sound* sound);
  void (*free_sound)(audio_sound* sound);
  int (*play)(audio_sound* sound);
  int (*stop)(audio_sound* sound);
  int (*set_rate)(audio_sound* sound, int hz);
  int (*set_volume)(audio_sound* sound, int volume);
  int (*set_pan)(audio_sound* sound, int pan);
  int (*set_loop)(audio_sound* sound, int flag);
  int (*get_position)(audio_sound* sound);
  int (*write)(audio_sound* sound, int length, const uint8_t* bytes, int position);
};

extern const audio_driver dsound_driver;
extern const audio_driver waveout_driver;
extern const audio_driver readback_driver;

// The current driver, null when no sound is open.
extern const audio_driver* audio_current_driver;

// Opens the first driver that works, DirectSound-like first unless option
// "dsnd" is off, then waveOut-like unless "waveout" is off. The window may
// be null. Null when a driver is already open or none works; the game then
// runs silent.
void* audio_open(void* window);
// A driver that mixes into memory blocks the game pulls with audio_readback.
void* audio_open_readback(void* window, int rate, int samples_per_block);
void audio_close(void* handle);
int audio_update(void* handle);
// Mixes one block (stereo, unsigned 8-bit, L R interleaved); 0 for drivers
// that play to a device.
const uint8_t* audio_readback(void* handle);

audio_sound* sound_create(void* handle, int length, const uint8_t* samples, int rate);
audio_sound* sound_clone(audio_sound* sound);
void sound_free(audio_sound* sound);
int sound_play(audio_sound* sound);
int sound_stop(audio_sound* sound);
int sound_set_rate(audio_sound* sound, int hz);
int sound_set_volume(audio_sound* sound, int volume);
int sound_set_pan(audio_sound* sound, int pan);
int sound_set_loop(audio_sound* sound, int flag);
int sound_get_position(audio_sound* sound);
int sound_write(audio_sound* sound, int length, const uint8_t* bytes, int position);
