#pragma once
// The software mixer of the waveOut-like and readback drivers: 8-bit unsigned
// mono sounds, resampled once at creation, mixed a fragment at a time.
// Loudness is quantised into 32 gain levels per side and only the loudest
// voice sides (up to `voices`) are heard. Not locked: callers that mix on
// another thread wrap every call in their own mutex.
#include <cstdint>

struct mixer {
  uint8_t* output;  // the current fragment's bytes (stereo interleaves L, R)
  int* left;        // accumulators, one int per sample
  int* right;       // absent (null) in mono
  int voices;       // audible voice sides per fragment
  int stereo;
  int rate;     // output rate, Hz
  int samples;  // samples per fragment
  int bits16;   // 16-bit output (signed, native order) instead of 8-bit
};

// Shared by a sound and its clones.
struct mixer_block {
  int refs;
  int length;
  uint8_t* bytes;
};

struct mixer_sound;

struct mixer_link {
  mixer_sound* sound;
  mixer_link* next;
  mixer_link* prev;  // null at the head of a list
  const uint8_t* position;
  uint32_t fraction;  // in 1/2^32 of a byte
  uint8_t level;      // gain level wanted, 0..31
  uint8_t gain;       // gain level applied last
};

enum {
  MIXER_LOOP = 0x01,
  MIXER_PLAYING = 0x02,
  MIXER_STEREO = 0x04,
  MIXER_RESTART = 0x08,
  MIXER_STOP = 0x10,
};

struct mixer_sound {
  mixer_link left;
  mixer_link right;
  int mixer_rate;  // the rate the samples were resampled to
  int rate;        // playback rate, Hz
  int volume;      // 0..0x7FFF
  int pan;         // -0x8000..0x7FFF
  uint8_t flags;
  mixer_block* block;
};

// The process-wide level lists, 32 per side, indexed by gain level.
extern mixer_link* mixer_left_lists[32];
extern mixer_link* mixer_right_lists[32];

// gain table row for level g (1..31), entry for unsigned sample s.
int mixer_gain(int level, int sample);

// rate 0: the samples are already at the mixer's rate. Null (after a log
// line) when the resampled length would be 0 or memory runs out.
mixer_sound* mixer_sound_create(mixer* m, int length, const uint8_t* samples, int rate);
mixer_sound* mixer_sound_clone(const mixer_sound* sound);
void mixer_sound_free(mixer_sound* sound);

int mixer_play(mixer_sound* sound);
int mixer_stop(mixer_sound* sound);
int mixer_set_rate(mixer_sound* sound, int hz);
int mixer_set_volume(mixer_sound* sound, int volume);
int mixer_set_pan(mixer_sound* sound, int pan);
int mixer_set_loop(mixer_sound* sound, int flag);
int mixer_get_position(const mixer_sound* sound);
// Copies bytes into the sound's block as a ring starting at position; a
// write longer than the block keeps only its last block-length bytes.
int mixer_write(mixer_sound* sound, int length, const uint8_t* bytes, int position);

void mixer_mix_fragment(mixer* m);
