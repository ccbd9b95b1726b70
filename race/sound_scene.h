#pragma once
// The sound scene: every rider's engine note synthesised into its voice
// and placed around the listener each frame, and the track script's 256
// sounds.
#include <cstdint>

struct audio_sound;
struct engine_voice;

enum { script_sound_max = 256, engine_voice_ahead = 4410, engine_voice_frame_cap = 8820 };

struct script_sound {
  audio_sound* sound;
  const char* name;  // interned
  float position[3];
  float velocity[3];
  float frequency;
  float volume;
};

extern script_sound script_sounds[script_sound_max];
extern int script_sound_count;

// The frame loop's "sound" phase: master 0..1 scales every voice.
void update_sound_scene(float master);
float doppler_factor(const float* listener_position, const float* listener_velocity, const float* source_position,
                     const float* source_velocity);

// How many samples a voice writes this frame: the gap from its write
// position to 4410 past the play position, at most 8820.
int engine_voice_samples_due(int write_position, int play_position);
// Synthesises n samples into the voice's history at its write position
// from the engine speed (rpm) and torque; returns the new write position.
int engine_voice_synthesize(engine_voice* voice, int n, float rpm, float torque);
// The n history samples before the write position as 8-bit unsigned bytes.
void engine_voice_bytes(const engine_voice* voice, int n, uint8_t* out);
// The rate, volume and pan a source is heard at from the listener record:
// volume = clamp(pre_gain x distance factor, 0..1) x post_gain, rate =
// Doppler factor x base_rate; each clamped to the platform's range.
struct sound_placement {
  int rate;
  int volume;
  int pan;
};
sound_placement place_sound(const float* position, const float* velocity, float pre_gain, float post_gain,
                            float base_rate);
// An engine voice's gain before distance: 0 hidden, full for the viewed
// slot, "comp_volume" for the others.
float engine_slot_gain(int slot, float master, int hidden);

int script_sound_load(const char* name);
int script_sound_start(int index);
int script_sound_stop(int index);
int script_sound_set_loop(int index, int flag);
int script_sound_set_freq(int index, float hz);
int script_sound_set_volume(int index, float volume);
int script_sound_set_position(int index, const float* xyz);
int script_sound_set_velocity(int index, const float* xyz);
// Every script sound's platform sound freed, count 0 (track change, shut-down).
void script_sounds_free();
// Fills the race hooks of the sound scene, the voices and the script sounds.
void sound_scene_install_hooks();
