// Height edits and the dirty marking round them.
#include "terrain/terrain_edit.h"

#include <cmath>

#include "terrain/bitmap.h"
#include "terrain/height_field.h"

static int max_int(int a, int b) { return a > b ? a : b; }
static int min_int(int a, int b) { return a < b ? a : b; }

int terrain_set_height(height_field* field, int column, int row, float height) {
  const int r = field->size;
  if (!field->heights || field->edit_lock || column < 0 || row < 0 || column >= r || row >= r ||
      !std::isfinite(height))
    return 0;
  field->change_flags = 7;
  if (height > field->max_height) field->max_height = height;
  if (height < field->min_height) field->min_height = height;
  field->heights[column + (int64_t)r * row] = height;

  // The shading of a vertex follows the normals of the triangles round it,
  // which this vertex shapes for its eight neighbours too.
  for (int j = max_int(row - 1, 0); j <= min_int(row + 1, r - 1); j++)
    for (int i = max_int(column - 1, 0); i <= min_int(column + 1, r - 1); i++) {
      const int64_t k = i + (int64_t)r * j;
      if (field->vertex_dirty) bitmap_set(field->vertex_dirty, k);
      if (field->normal_dirty) bitmap_set(field->normal_dirty, k);
    }
  if (field->triangle_dirty) {
    const int per_row = 2 * r - 2;
    for (int j = max_int(row - 1, 0); j <= min_int(row, r - 2); j++)
      for (int t = max_int(2 * column - 2, 0); t <= min_int(2 * column + 1, per_row - 1); t++)
        bitmap_set(field->triangle_dirty, t + (int64_t)per_row * j);
  }
  return 1;
}
