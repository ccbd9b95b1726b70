// The resumable LOD refresh and the per-frame drivers.
#include "terrain/terrain_lod.h"

#include <climits>
#include <cmath>

#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"

terrain_lod_hooks terrain_lod_uploads;

namespace {

// A node triangle: its right-angle vertex and the signs of its two legs.
struct node_triangle {
  int x0, z0;  // right-angle vertex
  int sx, sz;  // +1 or -1: the direction of the leg along x and along z
};

// The two triangles of a node whose corners are A (min, min), B (max, min),
// D (max, max) and E (min, max), split as the node's parity says.
node_triangle triangle_of(int x, int z, int span, int half) {
  const int ax = x * span, az = z * span, bx = ax + span, ez = az + span;
  if (((x ^ z) & 1) == 0) {
    // (A, B, E) and (D, E, B)
    if (half == 0) return {ax, az, +1, +1};
    return {bx, ez, -1, -1};
  }
  // (E, A, D) and (B, D, A)
  if (half == 0) return {ax, ez, +1, -1};
  return {bx, az, -1, +1};
}

// Largest |height - plane| over the vertices of row `t` (0..span) of a node
// triangle, the plane through its three corners.
float row_error(const height_field* field, const node_triangle& tri, int span, int t, int* vertices) {
  const float h0 = terrain_vertex_height(field, tri.x0, tri.z0);
  const float hx = terrain_vertex_height(field, tri.x0 + tri.sx * span, tri.z0);
  const float hz = terrain_vertex_height(field, tri.x0, tri.z0 + tri.sz * span);
  const int z = tri.z0 + tri.sz * t;
  const float fz = (float)t / (float)span;
  float worst = 0.0f;
  const int reach = span - t;
  for (int d = 0; d <= reach; d++) {
    const float plane = h0 + (hx - h0) * ((float)d / (float)span) + (hz - h0) * fz;
    const float e = std::fabs(terrain_vertex_height(field, tri.x0 + tri.sx * d, z) - plane);
    if (e > worst) worst = e;
  }
  *vertices = reach + 1;
  return worst;
}

float finer_value(const height_field* field, int level, int x, int z) {
  const int side = 1 << level;
  if (x < 0 || z < 0 || x >= side || z >= side) return 0.0f;
  return field->lod_node_data_b[terrain_lod_node_index(level, x, z)];
}

// The node's value from its error, raised so that refinement spreads from
// the finer level already done.
float node_value(const height_field* field, int level, int x, int z, float error) {
  const double radius = (double)field->extent * 0.70710678 * std::ldexp(1.0, -level);
  double value = (double)error / (double)field->lod_setting + radius;
  value *= value;
  if (level < field->n) {
    static const int offsets[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1}, {1, 2}, {0, 2}, {-1, 1}, {-1, 0}};
    const int cx = 2 * x, cz = 2 * z;
    float m = 0.0f;
    for (const auto& o : offsets) m = std::fmax(m, finer_value(field, level + 1, cx + o[0], cz + o[1]));
    const double spread =
        std::sqrt((double)m) + (double)field->extent * std::ldexp(1.0, -(level + 1)) * 3.1622777 * 0.50048828125;
    value = std::fmax(value, spread * spread);
    for (int k = 0; k < 4; k++) value = std::fmax(value, (double)finer_value(field, level + 1, cx + (k & 1), cz + (k >> 1)));
  }
  return (float)value;
}

}  // namespace

int terrain_lod_refresh(height_field* field, int32_t budget) {
  if (!field->heights || !field->lod_node_data_a || !field->lod_node_data_b) return 1;
  if (field->lod_pass_target >= 0) {
    if (field->lod_pass_target == field->edit_count) return 1;
    field->lod_pass_target = -field->edit_count;
    field->lod_level = field->n;
    field->lod_column = 0;
    field->lod_row = 0;
    field->lod_scan_row = 0;
    field->lod_half_done = 0;
    field->lod_partial_error = 0.0f;
  }
  int64_t remaining = budget;
  const int cells = field->size - 1;
  while (field->lod_level >= 0) {
    const int level = field->lod_level;
    const int side = 1 << level;
    const int span = cells >> level;
    while (field->lod_row < side) {
      while (field->lod_column < side) {
        const int x = field->lod_column, z = field->lod_row;
        while (field->lod_half_done < 2) {
          const node_triangle tri = triangle_of(x, z, span, field->lod_half_done);
          if (field->lod_scan_row == 0) remaining -= 10;
          while (field->lod_scan_row <= span) {
            int vertices = 0;
            const float e = row_error(field, tri, span, field->lod_scan_row, &vertices);
            if (e > field->lod_partial_error) field->lod_partial_error = e;
            field->lod_scan_row++;
            remaining -= vertices;
            if (remaining < 0) {
              field->lod_budget = 0;
              return 0;
            }
          }
          field->lod_scan_row = 0;
          field->lod_half_done++;
        }
        field->lod_node_data_b[terrain_lod_node_index(level, x, z)] =
            node_value(field, level, x, z, field->lod_partial_error);
        field->lod_partial_error = 0.0f;
        field->lod_half_done = 0;
        field->lod_column++;
      }
      field->lod_column = 0;
      field->lod_row++;
    }
    field->lod_row = 0;
    field->lod_level--;
  }
  float* swap = field->lod_node_data_a;
  field->lod_node_data_a = field->lod_node_data_b;
  field->lod_node_data_b = swap;
  field->lod_pass_target = -field->lod_pass_target;
  field->lod_level = field->n;
  field->lod_budget = (int32_t)(remaining > INT_MAX ? INT_MAX : remaining);
  return 1;
}

void update_terrain_lod(height_field* field) {
  terrain_lod_refresh(field, 8000);
  const uint32_t before = field->lod_frame_counter++;
  if (before >= upload_interval) {
    if (terrain_lod_uploads.upload_stale) terrain_lod_uploads.upload_stale(field);
    field->lod_frame_counter = 0;
  }
}

void rebuild_terrain_lod(height_field* field) {
  // A pass already running serves an older edit count; finish it, then run
  // one for the heights as they are now.
  terrain_lod_refresh(field, INT_MAX);
  if (field->lod_pass_target != field->edit_count) terrain_lod_refresh(field, INT_MAX);
  if (terrain_lod_uploads.upload_all) terrain_lod_uploads.upload_all(field);
  field->lod_centre[0] = -1000000;
}
