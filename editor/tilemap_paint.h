#pragma once
// Tilemap Edit: paints a ground material along the brush's capsule and
// re-fits the painted tiles' neighbours so the transitions follow.

// The leading run of plain tiles (each naming itself as both materials):
// the materials the brush can paint.
int tilemap_plain_tile_count();
// Makes the named corners (bit 0 (+x, +z), 1 (-x, +z), 2 (+x, -z),
// 3 (-x, -z)) of tile cell (col, row) show `material`, with the first tile
// whose corners match; left alone when no tile fits or the cell is off the
// map.
void tilemap_set_corners(int col, int row, int material, int corners);
// Paints the "Tile" material on every tile cell whose centre lies within
// `radius` of the segment (x0, z0)-(x1, z1).
void tilemap_paint_stroke(float x0, float z0, float x1, float z1, float radius);
// The held-button step of the tool: every 32nd call, a stroke from the
// drag anchor to the mouse.
void tilemap_paint_step();
