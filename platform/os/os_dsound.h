#pragma once
// Hardware-style sound buffers: each buffer holds 8-bit unsigned mono PCM
// and plays on its own, with its own position, loop, frequency, volume and
// pan, all mixed into one output device. Volume and pan are in hundredths of
// a decibel: volume -10000 (silent) .. 0 (full); pan -10000 (right side
// silent) .. 0 (centre, both full) .. 10000 (left side silent).
// Buffers that were playing when the output device went away are lost: lock
// and play report OS_DS_BUFFERLOST until os_dsound_restore, which brings the
// device back and hands the buffer back empty (silence) for refilling.
#include <cstdint>

struct os_dsound;
struct os_dsound_buffer;

enum {
  OS_DS_OK = 0,
  OS_DS_BUFFERLOST = -1,
  OS_DS_CONTROLUNAVAIL = -2,  // the buffer was made without that control
  OS_DS_INVALIDPARAM = -3,
  OS_DS_OUTOFMEMORY = -4,
  OS_DS_NODEVICE = -5,
};

enum {
  OS_DS_STATIC = 0x01,
  OS_DS_CTRLFREQUENCY = 0x02,
  OS_DS_CTRLPAN = 0x04,
  OS_DS_CTRLVOLUME = 0x08,
};

enum { OS_DS_FREQUENCY_MIN = 100, OS_DS_FREQUENCY_MAX = 200000 };

// The default output device, or null when there is none.
os_dsound* os_dsound_create();
// Records the window the sounds belong to; null (no window) is fine.
int os_dsound_set_cooperative_level(os_dsound* ds, void* window);
// Stops output and frees the device. Its buffers must be released first.
void os_dsound_release(os_dsound* ds);
// What the device outputs: signed 16-bit interleaved stereo at this rate.
int os_dsound_output_rate(os_dsound* ds);

int os_dsound_create_buffer(os_dsound* ds, int rate, int bytes, unsigned flags, os_dsound_buffer** out);
// A second buffer on the same memory, with the original's settings, stopped.
int os_dsound_duplicate(os_dsound* ds, os_dsound_buffer* original, os_dsound_buffer** out);
void os_dsound_buffer_release(os_dsound_buffer* buffer);

// Hands out the range [offset, offset + bytes) of the buffer, wrapping at its
// end into a second piece (null, 0 when it does not wrap). The bytes reach
// the buffer at os_dsound_unlock.
int os_dsound_lock(os_dsound_buffer* buffer, int offset, int bytes, uint8_t** piece1, int* bytes1, uint8_t** piece2,
                   int* bytes2);
int os_dsound_unlock(os_dsound_buffer* buffer, uint8_t* piece1, int bytes1, uint8_t* piece2, int bytes2);
int os_dsound_restore(os_dsound_buffer* buffer);

int os_dsound_play(os_dsound_buffer* buffer, int looping);
int os_dsound_stop(os_dsound_buffer* buffer);
int os_dsound_set_position(os_dsound_buffer* buffer, int offset);
int os_dsound_get_position(os_dsound_buffer* buffer, int* play_cursor, int* write_cursor);
int os_dsound_set_volume(os_dsound_buffer* buffer, int hundredths_db);
int os_dsound_set_pan(os_dsound_buffer* buffer, int hundredths_db);
int os_dsound_get_volume(os_dsound_buffer* buffer, int* hundredths_db);
int os_dsound_get_pan(os_dsound_buffer* buffer, int* hundredths_db);
// 0 goes back to the rate the buffer was made with.
int os_dsound_set_frequency(os_dsound_buffer* buffer, int hz);
int os_dsound_get_frequency(os_dsound_buffer* buffer, int* hz);
int os_dsound_is_playing(os_dsound_buffer* buffer);

// What happens when the output device goes away: every buffer is lost.
void os_dsound_device_lost(os_dsound* ds);
