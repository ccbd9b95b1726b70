#pragma once
// Height edits after load. Every change to the heights goes through here so
// the height range and the dirty bitmaps that drive the refreshes (triangle
// normals, shading, LOD data, ground textures) stay right.
struct height_field;

// Sets vertex (column, row) to `height`. Refused, with nothing changed, when
// the vertex is outside the grid, the field's edit_lock is set or the height
// is not finite; returns 1 when the height was stored.
int terrain_set_height(height_field* field, int column, int row, float height);
