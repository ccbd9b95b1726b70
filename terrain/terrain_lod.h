#pragma once
// The LOD data of the terrain: per quadtree node, the squared horizontal
// distance below which the renderer refines it. It is rebuilt in passes
// that can be spread over frames, and the ground textures follow.
#include <cstdint>

struct height_field;

// Texture uploads of the LOD pass. The ground compositor fills these in;
// while they are null (tools, tests) there is nothing to upload.
struct terrain_lod_hooks {
  void (*upload_stale)(height_field* field);
  void (*upload_all)(height_field* field);
  // The ground textures of a newly loaded terrain: low-detail, LOD and
  // block textures.
  void (*make_textures)(height_field* field);
};
extern terrain_lod_hooks terrain_lod_uploads;

// Index of node (x, z) of level L in the node arrays.
inline int64_t terrain_lod_node_index(int level, int x, int z) {
  return (((int64_t)1 << (2 * level)) - 1) / 3 + x + ((int64_t)z << level);
}

// Advances the refresh within `budget` work units (10 a triangle, one a
// scanned vertex). 1 when the data is current (nothing to do, or the pass
// finished), 0 when the budget ran out; the next call resumes.
int terrain_lod_refresh(height_field* field, int32_t budget);

// An edit of the heights of the vertices in the rectangle (clipped to the
// grid): counts it in edit_count and marks the region, so the next refresh
// updates only the nodes over it, within that call, when nothing else
// changed since the LOD data was last whole.
void terrain_lod_mark_edit(height_field* field, int first_column, int first_row, int last_column, int last_row);

// Once a frame: a budgeted refresh, and the stale LOD textures every
// upload_interval frames.
void update_terrain_lod(height_field* field);
// After a large change: the whole refresh (finishing a pass that serves an
// older edit first), every LOD texture, and the LOD textures placed again.
void rebuild_terrain_lod(height_field* field);
