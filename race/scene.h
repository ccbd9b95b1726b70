#pragma once
// Drawing the 3-D world once for one camera: the track script's frame
// handler, ground textures and terrain under the track's sky, fog and sun,
// the riders, statues, billboards (roost among them), faded riders, debug
// labels and lens flares. The camera becomes the sound listener.
#include <cstddef>
#include <cstdint>

struct statue;

// What the render statistics read of the last frame; cleared as a frame
// starts.
struct scene_counters {
  int texture_binds;
  int billboards_drawn;
};
extern scene_counters scene_stats;

// Per slot, the last frame's fade: 1 drawn normally, below 1 drawn as a
// ghost, 0 not drawn.
extern float rider_fade[160];

// The "model_detail" setting (0..100): statues farther than
// 20 x model_detail^2 feet are not drawn while it is 10 or less.
extern double scene_model_detail;

// The scene's lists, made once at start-up and freed at shut-down:
// billboard draw list, keys and scratch, and the debug labels with their
// sorted index list.
int scene_arrays_create();
void scene_arrays_free();

// Camera: position in world feet; orientation 9 floats row by row whose
// columns are the right, up and back axes. head_slot is the slot whose head
// the camera sits in, or -1.
void draw_scene(const float position[3], const float orientation[9], double fov, int head_slot);

// Light 0 from the track's lighting: sun direction, ambient, diffuse and
// specular colours.
void scene_set_light();

// The statue stage: lit pass, then reflections. Also the editor's.
void draw_statues(const float camera[3]);
enum { statue_pass_lit = 0, statue_pass_env = 1 };
// One statue in one pass, turned to the camera when it faces it, skipped
// when too far for the model detail.
void draw_statue_model(statue* s, const float camera[3], int pass);

// The flagger stage: start flagger's walk and flags, the finish-line flag,
// the course flaggers' waving.
void animate_flaggers();

void draw_lens_flares(const float camera[3], const float orientation[9]);

// World-space debug labels.
enum { debug_label_text_max = 1022 };
void add_debug_marker(const float position[3], const char* text);
void clear_debug_markers();
// Distance to the newest label, 1000000 when there is none.
float debug_marker_distance(const float position[3]);
size_t debug_marker_count();
// Keys and sorts the labels at least 2 ft in front of the camera, farthest
// first; returns how many. draw_scene then draws each.
size_t draw_debug_markers(const float camera[3], const float orientation[9]);
// One label: a white balloon pointing at the position with the text in
// black, facing the camera, depth and alpha tests off.
void draw_world_label(const float position[3], const float orientation[9], const char* text);

// Fills bike/'s debug marker hooks with the label functions.
void scene_install_hooks();
