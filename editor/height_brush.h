#pragma once
// The height brushes' shared sampling: the stroke base read on the grid
// coarsened to a level, split into triangles the way the terrain splits its
// own cells.

// The stroke base at cell (column j, row i) on level `level` (0..n; n is
// the full grid).
float editor_coarse_height_cell(int level, int j, int i);
// The same at world point (x, z).
float editor_coarse_height_at(int level, float x, float z);

// Distance from (px, pz) to the segment from (ax, az) to (bx, bz): the
// capsule every brush stroke covers.
float brush_segment_distance(float ax, float az, float bx, float bz, float px, float pz);

// One application of the current height brush (modes 0-3, 5-8) while the
// left button is held; it acts every 32nd call.
void brush_step();
// Snap (mode 4): the coarse cell under the mouse becomes the two planar
// triangles through its corners; every 16th call.
void snap_step();
