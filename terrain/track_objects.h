#pragma once
// The static objects of the loaded track: billboards (textured sprites
// standing on the ground; the roost particles own some of them) and statues
// (3-D objects, start-gate objects among them), with the statue grid that
// finds the statues near a point, and the basis that stands an object on
// the slope of the ground.
#include <cstdint>

#include "core/growable_array.h"

struct model;
struct shape;

// What a track script changed of an object. The record's own fields show
// the object as it moves in the race; the files keep it as it was made.
// For each field a script set (bit k of `fields`, slot k), `authored` holds
// the value from before the script's change and `last` the value the
// script stored. A live value that no longer equals `last` was changed
// since by someone else (the editor's tools), so it is the one to keep.
struct script_changes {
  uint32_t fields;
  float authored[4];
  float last[4];
  uint8_t authored_colour[4];
  uint8_t last_colour[4];
};

enum {
  // Slots of a billboard's script changes; bit 4 is its colour.
  script_slot_billboard_x = 0,
  script_slot_billboard_z = 1,
  script_slot_billboard_size = 2,
  script_slot_colour = 4,
  // Slots of a statue's.
  script_slot_statue_x = 0,
  script_slot_statue_z = 1,
  script_slot_statue_height_offset = 2,
  script_slot_statue_angle = 3,
};

// Sets *live to value on a script's behalf, keeping the authored value.
void script_set_value(script_changes* c, int slot, float* live, float value);
void script_set_colour(script_changes* c, uint8_t live[4], const uint8_t value[4]);
// The value to save for a field whose live value is `live`.
float authored_value(const script_changes* c, int slot, float live);
void authored_colour(const script_changes* c, const uint8_t live[4], uint8_t out[4]);

struct billboard {
  float x;
  float y;  // ground height under (x, z) at creation + height_offset
  float z;
  float size;
  float height_offset;
  float aspect;
  int32_t spare;
  uint32_t texture;
  uint8_t colour[4];   // r g b a
  char* texture_name;  // owned, without the colour prefix; null for none
  script_changes script;
};

struct statue {
  ::model* model;
  ::shape* shape;  // a private instance, or null
  uint32_t texture;
  uint32_t normal_texture;
  uint32_t specular_texture;
  float x;
  float y;  // ground height + height_offset
  float z;
  float height_offset;
  float angle;
  float basis[9];      // row by row, from terrain_aligned_basis
  float facing_value;  // 2^angle when angle >= 3.25: drawn turned to the viewer
  int32_t touch_tick;  // race tick of the last rider contact
  int32_t spare;
  // The names as given (owned; null for none), kept whether or not they
  // loaded, so the track saves what it read.
  char* model_name;
  char* texture_name;
  char* shape_name;
  // A bone pose the drawing code may set for a skinned model: centres and
  // translations 3 floats a bone, rotations 9. Owned.
  int32_t bone_count;
  float* bone_centres;
  float* bone_translations;
  float* bone_rotations;
  script_changes script;
};

enum {
  statue_grid_side = 8,
  statue_grid_capacity = 16,
};

// The track's billboards and statues; each list exists while a track is
// loaded (data null otherwise).
extern growable_array billboards;
extern growable_array statues;
// 8 x 8 cells, [row by z][column by x], of ascending statue indices (int32).
extern growable_array statue_grid[statue_grid_side][statue_grid_side];

// Two zero words per billboard for the scene drawing, beside `billboards`.
extern growable_array billboard_extras;

billboard* billboard_at(int32_t index);
statue* statue_at(int32_t index);

// Appends a billboard standing on track_field at (x, z). The name may be
// null (no texture) and may start with a colour prefix "#rrggbb#". Returns
// the new index; when the list cannot grow, the index of the last one.
int32_t add_billboard(float x, float height_offset, float z, float size, float aspect, const char* name);
// Appends a statue at (x, z) standing height_offset above the ground:
// its model, its texture with the normal and specular companions (looked
// for only while shaders are active) and a private copy of its shape. Any
// name may be null. Returns the new index; when the list cannot grow, the
// index of the last one.
int32_t load_track_object(float x, float height_offset, float z, float angle, const char* model, const char* texture,
                          const char* shape);
// Frees a statue's shape copy, names and bone pose, and clears them.
void free_track_object(statue* s);
// y = ground height + offset, and the basis again from the angle; after the
// editor moves an object.
void place_object_on_ground(statue* s);
// The texture named `name` with its ending `tail` replaced by
// `replacement`, when it ends so and that loads; else 0.
uint32_t load_texture_variant(const char* name, const char* tail, const char* replacement);
// Frees the billboards, the statues with their shape copies, names and
// bone poses, and the statue grid.
void track_objects_free();

// The grid cell of a world coordinate: the grid spans the middle three
// quarters of a field of the given extent.
int statue_grid_cell(float c, float extent);
// Adds statue `index` to every cell its shape's bounding square touches;
// statues without a shape stay out.
void statue_grid_insert(int32_t index);
// Empties every cell and inserts every statue in index order.
void statue_grid_rebuild();
// The ascending, repeat-free indices of the statues listed in the cells
// within `reach` of (x, z): a cell's own list when the window is one cell,
// else a merge in one of two scratch lists (valid until the next call).
const growable_array* statue_grid_near(float x, float z, float reach);
// Frees the cells and the scratch lists.
void statue_grid_free();

// The 3 x 3 basis (row by row) that turns an object by `angle` about y and
// tilts it onto the slope of track_field at (x, z). angle >= 3.25: the
// identity; angle <= -2 pi: turned but kept upright.
void terrain_aligned_basis(float basis[9], float x, float z, float angle);
