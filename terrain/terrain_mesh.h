#pragma once
// The terrain mesh: a restricted quadtree refined round the camera and where
// the ground's shape needs it, drawn as one triangle fan per unrefined
// quadrant round its node's centre vertex. Choosing the nodes and the fans
// needs no GL; draw_terrain hands the fans to the driver.
#include <cstdint>

struct height_field;

// The ground-texture level a fan is textured from: 0..5 a LOD texture of
// that level, 6 the block texture.
enum { terrain_block_texture_level = 6 };

// One fan of the mesh. The texture is slot (level, slot_row, slot_column) of
// the LOD windows, or block (slot_column, slot_row) at level 6.
struct terrain_fan {
  int texture_level;
  int slot_column;
  int slot_row;
  int count;              // vertices, the centre first
  float position[10][3];  // world x, height, z
  float texcoord[10][2];
};

// Where the fans go: draw_terrain's driver, or a test that collects them.
struct terrain_fan_sink {
  void* context;
  void (*fan)(void* context, const terrain_fan* fan);
};

// The lowest LOD texture level the ground uses: 10 - the
// "ground_texture_detail" setting, clamped to 0..10 (a level of 6 or more
// means block textures only). Set at start-up.
extern int ground_texture_level0;
// "--novertexarrays": draw the terrain in immediate mode. The models share
// the flag; it lives with their settings (assets/model_settings.cpp).
extern int no_vertex_arrays;

// Window origin (in level-L texture units) of the 4 x 4 LOD textures of
// level L round the camera cell `centre`, for a field of exponent n.
int lod_window_origin(int centre, int level, int n);

// Marks lod_node_bits for the camera in camera_position: the windows round
// the camera cell, then every node nearer than its LOD distance. Sets
// lod_centre, view_octant and clears drawn_vertex_count.
void terrain_refine(height_field* field);

// Walks the refined tree from the root, nearest first, culling nodes behind
// the camera, and hands every fan to the sink.
void terrain_emit_fans(height_field* field, const terrain_fan_sink* sink);

// Refines and draws the whole terrain with the ground textures bound, then
// advances the field's generation.
void draw_terrain(height_field* field);
