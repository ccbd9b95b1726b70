#pragma once
// The chase camera of view mode 3 and the motion of the race view's
// cameras (the free camera and the track's cameras), with the averaged
// ground height that keeps both above the terrain.
#include "terrain/track.h"

struct height_field;

// Weighted mean height of the grid points near (x, z): weight 1 inside
// the radius, falling to 0 over one grid spacing past it. Points outside
// the field take the edge heights; with no point counting, the height of
// the first grid point of the window.
float average_terrain_height(const height_field* field, float x, float z, float radius);

// Advances a race camera by one tick of dt seconds: tracking the target
// when auto, else flown by steer and shift. switched: the camera has just
// become the chosen one (it snaps to the target's bearing).
void move_free_camera(track_camera* camera, const float* input, const float target[3], const float velocity[3],
                      int switched, int automatic, float dt);

// The camera covering a timing gate, or -1 when none (also when the gate
// table names a camera past the track's list).
int gate_camera_index(int gate);

// The race camera the choice names, or the free camera when the choice is
// -1 or names no camera of the loaded track.
track_camera* chosen_race_camera(int choice);

// After a track loads: a choice outside its camera list becomes the free
// camera; a valid choice is kept.
void settle_race_camera_choice();

// What the chase camera remembers between frames: the last horizontal
// direction with a length (a bike on its end gives none).
struct chase_memory {
  float direction[2];  // x, z; starts as +z
  int valid;
};
extern chase_memory chase_camera_memory;

// The chase camera's inputs for one frame.
struct chase_input {
  float target[3];       // the looked-at point on the frame body
  float body_z[3];       // the frame body's z axis in the world
  float velocity[3];     // the frame body's linear velocity
  float distance;        // horizontal distance from the target
  float height;          // height above the target
  int local_view;        // a local rider: follow the body, else orbit
  int rigid;             // local_view: along the body's z axis only
  float orbit_angle;     // !local_view: the direction round the target
};

// Where the chase camera stands; ground: the averaged ground height at a
// point (null: none, only the target's height counts).
void chase_camera_position(const chase_input& in, chase_memory* memory, float (*ground)(float x, float z),
                           float camera[3]);

// Orbit controls for one tick (view mode 3 when the viewed rider is not
// local).
void orbit_controls(const float* input, float dt);

// Race-view controls for one tick (view mode 4, not local_view): the
// auto-camera toggle, the gate's camera, the chosen camera's motion, the
// free camera's flight and its field of view.
void race_view_controls(const float* input, int slot, int paused, float dt);

// Draws view mode 3 for the viewed slot's rider.
void draw_chase_view(int slot);

// The hook table's forms: one tick of controls from the frame loop.
void chase_camera_controls_tick(const float* input);
void race_view_controls_tick(const float* input);

// The orbit round a rider that is not a local human.
extern float orbit_angle, orbit_distance, orbit_height;
