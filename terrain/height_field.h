#pragma once
// The height field: the one loaded terrain of the game, with its tile map,
// tile table, dirty bitmaps and the buffers the LOD mesh and the ground
// compositor keep in it.
//
// R = size = 2^(n+1) + 1 vertices a side; vertex (column i, row j) lies at
// world (i * spacing, heights[i + R * j], j * spacing). Each cell (i, j) is
// split along (i, j)-(i+1, j+1) when i + j is even and along (i+1, j)-(i, j+1)
// when it is odd; every query here follows that one rule.
#include <cstdint>

#include "core/growable_array.h"
#include "terrain/tiles.h"

enum {
  terrain_min_n = 7,
  terrain_max_n = 12,
  lod_texture_levels = 6,
  lod_texture_window = 4,
  decal_bin_side = 8,
  ground_scratch_bytes = 4 * 1024 * 1024,
};

enum { terrain_statics_moved = 1 };

struct height_field {
  float* heights;       // R x R, then base_heights in the same block
  float* base_heights;  // the heights as loaded
  float* lod_node_data_a;
  float* lod_node_data_b;
  float* triangle_records;  // a unit normal per triangle
  uint32_t* low_detail_textures;
  uint8_t* shading;       // R x R x 3, at the scale of shadingx2.ppm
  uint8_t* normal_bytes;  // R x R x 3, only when normal_mapped
  uint8_t* shadows;       // R x R, 255 - the file's value
  uint8_t* tilemap;       // Q x Q tile indices, row-major by z
  uint8_t* lod_node_bits;
  uint8_t* low_detail_dirty;
  uint8_t* vertex_dirty;
  uint8_t* normal_dirty;
  uint8_t* triangle_dirty;
  int32_t* block_stamps;
  growable_array decals;
  growable_array decal_bins[decal_bin_side][decal_bin_side];
  growable_array decal_scratch[2];
  uint32_t lod_textures[3][lod_texture_levels][lod_texture_window][lod_texture_window];
  uint32_t* block_textures[3];
  int32_t lod_ready[lod_texture_levels][lod_texture_window][lod_texture_window];
  int32_t lod_texture_stamps[lod_texture_levels][lod_texture_window][lod_texture_window];
  int32_t block_size;
  int32_t texture_mode;  // 1 TexSubImage, 2 CopyTexSubImage, 3 framebuffer objects; 0 unloaded
  uint32_t framebuffer;
  int32_t normal_mapped;
  float extent;
  float spacing;
  float double_spacing;
  float camera_position[3];
  float camera_direction[3];
  float lod_setting;
  float max_height;
  float min_height;

  // The tile table; entries at and above tile_count hold no tile.
  char tile_names[tile_table_size][tile_name_bytes];
  float friction_value[tile_table_size][tile_curve_points];
  float friction_slip[tile_table_size][tile_curve_points];
  int32_t slip_function[tile_table_size];
  float roll_resist_pair[tile_table_size][tile_curve_points][2];
  float roll_resist_key[tile_table_size][tile_curve_points];
  roost_type roost_types[tile_table_size][tile_roost_types];
  ::tile_params tile_params[tile_table_size];

  float low_detail_scale;
  int32_t n;
  int32_t size;
  int32_t lod_centre[2];
  uint32_t tile_textures[tile_table_size];
  uint8_t* tile_image_pixels[tile_table_size];
  int32_t tile_image_width[tile_table_size];
  int32_t tile_image_height[tile_table_size];
  int32_t transition_codes[tile_table_size];
  int32_t tile_count;

  // Renderer and LOD pass state.
  int32_t drawn_vertex_count;
  int32_t drawn_triangle_count;  // this frame's mesh, beside its vertices
  int32_t decals_drawn;          // painted into ground textures since the HUD last read it
  int32_t composited_count;
  int32_t view_octant;
  int32_t low_detail_count;
  int32_t edit_count;
  float lod_partial_error;
  int32_t lod_pass_target;
  int32_t lod_budget;
  int32_t lod_level;
  int32_t lod_column;
  int32_t lod_row;
  int32_t lod_half_done;
  int32_t lod_scan_row;
  // A dug rut refreshes only the LOD nodes over it. The vertices changed
  // since the LOD data was last whole (first column, first row, last
  // column, last row; none while first > last), and how many of the edits
  // counted in edit_count they stand for.
  int32_t lod_dirty[4];
  int32_t lod_local_edits;
  // Per node triangle of the coarse levels: its error at the last scan and
  // the vertex (column + size x row) that first reached it, so a refresh
  // over a small region scans only that region of a large triangle. Valid
  // once lod_local_ready is set by a whole pass.
  float* lod_half_error;
  int32_t* lod_half_worst;
  int32_t lod_local_ready;
  float lod_half_partial;    // pass state: the error of the triangle being scanned
  int32_t lod_partial_worst;  // and where it was first reached
  uint8_t* scratch_image;  // ground_scratch_bytes, made by whoever renders into it
  int32_t low_detail_cursor;
  uint32_t lod_frame_counter;

  int32_t generation;
  // Bits of change: an edit sets 7; 2 stays until a full save, 4 until the
  // editor's next undo snapshot. 1 alone (terrain_statics_moved) says the
  // static objects moved, as a track script moves them for the race:
  // nothing to save.
  int32_t change_flags;
  int32_t edit_lock;
  // The heights came from a scrambled file: the editor saves nothing over it.
  int32_t save_lock;
  int32_t hide_decals;
};

// The game's terrain.
extern height_field track_field;

// Sizes of a field of exponent n.
inline int32_t terrain_size_for(int32_t n) { return (1 << (n + 1)) + 1; }
int32_t terrain_triangle_count(const height_field* field);  // (2R - 2) x (R - 1)
int32_t terrain_lod_node_count(const height_field* field);  // floor(4^(n+1) / 3)
int32_t terrain_block_count(const height_field* field);     // blocks a side, 2^(n-6)

// Height of the ground at world (x, z). Outside the grid the border heights
// continue.
float terrain_height(const height_field* field, float x, float z);
// Height of vertex (column, row), the indices clamped to the grid.
float terrain_vertex_height(const height_field* field, int column, int row);

// Unit normal of triangle half (0 or 1) of cell (column, row), recomputed
// when its triangle_dirty bit is set. Half 0 of an even cell is
// (i, j), (i, j+1), (i+1, j+1); half 1 is (i+1, j+1), (i+1, j), (i, j). Of an
// odd cell: (i, j), (i, j+1), (i+1, j) and (i+1, j+1), (i+1, j), (i, j+1).
// Every normal points up.
void terrain_triangle_normal(height_field* field, int column, int row, int half, float out[3]);
// Unit normal of a vertex: the normalised sum of the normals of the
// triangles that meet there.
void terrain_vertex_normal(height_field* field, int column, int row, float out[3]);
// The three shading bytes of a vertex under the track lighting, at the
// scale of shadingx2.ppm.
void terrain_shade_vertex(height_field* field, int column, int row, uint8_t out[3]);
// The packed normal-map bytes of a vertex; byte 1 holds the shadow value as
// the file gives it.
void terrain_pack_normal(height_field* field, int column, int row, uint8_t out[3]);
// Recomputes the shading (and packed normals) of every vertex whose dirty
// bit is set, and clears the bits.
void refresh_terrain_normals(height_field* field);

// Releases every buffer and resets the record; safe on a reset record.
void free_terrain(height_field* field);
// The reset state free_terrain leaves, for a record never loaded.
void terrain_reset(height_field* field);
