#pragma once
// The track editor: its state from the track it takes over to the release,
// the top-down view's transform, the one cell writer of the sculpting
// tools, the undo ring, the keys and the per-tick tool update, the save and
// the drawing of the view with the current tool's overlay.
#include <cstdint>

#include "core/growable_array.h"

struct height_field;

enum {
  editor_undo_levels = 8,
  editor_message_bytes = 128,
  editor_mode_count = 16,
  // Held-key values: a tool drag, or a press on panel item (index | this).
  editor_held_tool = 1,
  editor_held_panel = 0x10000,
};

// The tools, in the order of the panel's buttons.
enum editor_mode {
  mode_raise = 0,
  mode_lower = 1,
  mode_smooth = 2,
  mode_smudge = 3,
  mode_snap = 4,
  mode_gradient_linear_paint = 5,
  mode_gradient_linear_add = 6,
  mode_gradient_radial_paint = 7,
  mode_gradient_radial_add = 8,
  mode_gradient_placement = 9,
  mode_gradient_edit = 10,
  mode_timing_gate = 11,
  mode_billboards = 12,
  mode_statues = 13,
  mode_tilemap = 14,
  mode_decals = 15,
};

// A profile point along a gradient's axis.
struct gradient_point {
  float distance;
  float height;
};

// A straight gradient from start to end with its height profile: points
// (gradient_point) and one segment type per point (uint8_t: 0 Line,
// 1 Curve), the type of the segment that starts at the point.
struct gradient {
  float start_x, start_z;
  float end_x, end_z;
  growable_array points;
  growable_array types;
};

// One committed state: the heights and the colour layers as they were.
struct undo_snapshot {
  float* heights;
  uint8_t* shading;
  uint8_t* normal_bytes;  // only when the terrain has the second layer
};

struct editor_state {
  height_field* terrain;  // null until a track is set up
  float centre_x, centre_z;
  int mode;

  growable_array gradients;  // of gradient
  int selected_gradient;     // -1: none
  int selected_point;        // -1: none
  int current_gate;          // -1: none
  int current_billboard;
  int current_statue;
  int current_decal;
  growable_array decal_selection;  // of int32_t decal indices

  float drag_anchor[2];  // x < 0: no drag
  int panel_item;        // under the mouse, -1: none

  // The heights at the last commit; the brushes compute from it.
  float* stroke_base;
  int32_t size;  // R of the terrain the buffers were made for
  int pending;   // the heights differ from the last commit

  undo_snapshot undo[editor_undo_levels];
  int undo_levels;  // snapshots allocated: 8, fewer when memory ran short
  int undo_index;   // the slot the next commit writes
  int undo_count;   // valid snapshots

  // The tools' working fields.
  int drag_state;  // 0 none, 1 move or edit, 2 aim or turn
  int held_key;    // 0, editor_held_tool, or item | editor_held_panel
  int panning;
  float pan_anchor[2];
  int last_mouse[2];
  float smudge_anchor[2];
  int call_counter;  // ticks since the left press
  int last_painted_billboard;  // -1: none

  char message[editor_message_bytes];
};

extern editor_state editor;

// Takes over a newly loaded terrain: view, lists, undo ring and stroke
// base, with the first snapshot taken and the change flags cleared.
void editor_load_edinfo(height_field* field);
// Frees everything editor_load_edinfo built; safe when nothing was.
void editor_free();
// Fills the terrain's editor hook table with the two calls above.
void editor_install_hooks();

// The one cell writer of the sculpting tools: the terrain's own.
int editor_set_height(height_field* field, int column, int row, float height);
// The ground's height at world (x, z), the border continuing outside.
float editor_height_at(const height_field* field, float x, float z);

// The world size of one window pixel: E / (2^Zoom x window height).
float editor_pixel_size();
// The world point under window pixel screen (x, y).
void editor_screen_to_world(float out[2], const float screen[2]);
// The scale icons and rings are drawn at: max(1, E / 2^Zoom x 0.01).
float editor_icon_scale();
// The world point under the mouse.
void editor_mouse_world(float out[2]);

// Takes a snapshot when something is pending; the message becomes "OK".
void undo_commit();
// Steps back to the snapshot before the latest one (Backspace).
void undo_step();

// Writes the track's objects and terrain as one set; the message says how
// it went. 1 when every file was written.
int editor_save();

// Input: 1 when the editor used the event. The update runs once a tick.
int editor_key(int code, int pressed);
void editor_update();

// The view with the current tool's overlay (GL).
void editor_draw();

void editor_set_message(const char* text);
