#include "editor/height_brush.h"

#include <cmath>

#include "editor/editor.h"
#include "terrain/height_field.h"

// The stroke base with both indices clamped to the grid.
static float base_at(int j, int i) {
  const int r = editor.size;
  j = j < 0 ? 0 : (j >= r ? r - 1 : j);
  i = i < 0 ? 0 : (i >= r ? r - 1 : i);
  return editor.stroke_base[(size_t)i * (size_t)r + (size_t)j];
}

// Interpolates on the coarse cell whose low corner is (c0, r0), b cells a
// side, at offsets (fx, fz) within it. Cells of even parity are split along
// the diagonal from (c0, r0) to (c0 + b, r0 + b), odd ones along the other.
static float coarse_triangle(int c0, int r0, int b, float fx, float fz) {
  int x0, x1;
  if ((((c0 / b) ^ (r0 / b)) & 1) == 0) {
    x0 = c0 + b;
    x1 = c0;
    fx = (float)b - fx;
  } else {
    x0 = c0;
    x1 = c0 + b;
  }
  int z0 = r0, z1 = r0 + b;
  if (fx + fz > (float)b) {
    fx = (float)b - fx;
    fz = (float)b - fz;
    const int t = x0;
    x0 = x1;
    x1 = t;
    z0 = r0 + b;
    z1 = r0;
  }
  const float h0 = base_at(x0, z0);
  const float hx = base_at(x1, z0);
  const float hz = base_at(x0, z1);
  return h0 + (hx - h0) * fx / (float)b + (hz - h0) * fz / (float)b;
}

static int coarse_cell_size(int level) {
  const int n = editor.terrain ? editor.terrain->n : 0;
  if (level > n) level = n;
  if (level < 0) level = 0;
  return 1 << (n - level);
}

float editor_coarse_height_cell(int level, int j, int i) {
  if (!editor.stroke_base || editor.size <= 0) return 0;
  const int b = coarse_cell_size(level);
  // Floor to a multiple of b, negative indices included.
  const int c0 = (int)std::floor((float)j / (float)b) * b;
  const int r0 = (int)std::floor((float)i / (float)b) * b;
  return coarse_triangle(c0, r0, b, (float)(j - c0), (float)(i - r0));
}

float editor_coarse_height_at(int level, float x, float z) {
  if (!editor.stroke_base || editor.size <= 0 || !editor.terrain) return 0;
  const float spacing = editor.terrain->spacing;
  if (!(spacing > 0)) return 0;
  const int b = coarse_cell_size(level);
  float u = x / spacing, v = z / spacing;
  // Far outside the grid the border continues; keep the casts in range.
  const float limit = (float)editor.size * 2.0f;
  if (!(u > -limit)) u = -limit;
  if (!(u < limit)) u = limit;
  if (!(v > -limit)) v = -limit;
  if (!(v < limit)) v = limit;
  const int c0 = (int)std::floor(u / (float)b) * b;
  const int r0 = (int)std::floor(v / (float)b) * b;
  return coarse_triangle(c0, r0, b, u - (float)c0, v - (float)r0);
}
