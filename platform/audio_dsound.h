#pragma once
// The DirectSound-like driver: each sound is a buffer of its own in the OS
// layer's buffer mixer, with volume and pan turned into hundredths of a dB.
#include <cstdint>

#include "platform/mixer.h"

struct os_dsound;
struct os_dsound_buffer;

struct dsound_record {
  os_dsound* device;
};

enum { DSOUND_LOOP = 0x01 };

struct dsound_sound {
  dsound_record* driver;
  os_dsound_buffer* buffer;
  mixer_block* block;  // shared with clones
  int volume;          // 0..0x7FFF
  int pan;             // -0x7FFF..0x7FFF
  uint8_t flags;
};

// Attenuation in hundredths of a dB for x in 0..0x7FFF (0x7FFF is full
// level), interpolated in a 1025-entry table of 2000 x log10(i / 1024).
int dsound_attenuation(int x);

void* dsound_open(void* window);
