#pragma once
// The height brushes' shared sampling: the stroke base read on the grid
// coarsened to a level, split into triangles the way the terrain splits its
// own cells.

// The stroke base at cell (column j, row i) on level `level` (0..n; n is
// the full grid).
float editor_coarse_height_cell(int level, int j, int i);
// The same at world point (x, z).
float editor_coarse_height_at(int level, float x, float z);
