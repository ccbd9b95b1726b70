#pragma once
// The natives a track script reaches through `bk`: one table in
// registration order. Each reads and checks every argument first (arrays
// into local arrays), then changes the game, then writes its output arrays
// and pushes its result, so a script that throws from a getter halfway
// through the reading changes nothing.
#include "duktape.h"

enum { script_native_count = 50 };

extern const char* const script_native_names[script_native_count + 1];  // ends in a null
extern const duk_c_function script_native_functions[script_native_count];
extern const int script_native_arg_counts[script_native_count];

// The script sounds and the camera the scene drew last, as the natives
// reach them: the sound scene's functions and the listener unless a test
// puts fakes in. An empty entry makes its natives answer as for a bad
// index (-1 from add_sound, else 0, and a camera at the origin looking
// down -z).
struct script_services_table {
  int (*sound_load)(const char* name);
  int (*sound_start)(int index);
  int (*sound_stop)(int index);
  int (*sound_set_loop)(int index, int flag);
  int (*sound_set_freq)(int index, float hz);
  int (*sound_set_volume)(int index, float volume);
  int (*sound_set_position)(int index, const float* xyz);
  int (*sound_set_velocity)(int index, const float* xyz);
  // Position and orientation (row by row; its columns the camera's right,
  // up and back axes).
  void (*camera_location)(float position[3], float orientation[9]);
};
extern script_services_table script_services;

// Script sounds count 0..255.
enum { script_sound_limit = 256 };
// Coordinates a script hands in are held to this many feet either way.
constexpr double script_coordinate_limit = 1000000.0;
