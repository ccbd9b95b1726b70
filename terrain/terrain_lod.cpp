// The resumable LOD refresh and the per-frame drivers.
#include "terrain/terrain_lod.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/memory.h"
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

// The plane of a node triangle through its three corners.
struct triangle_plane {
  float h0, hx, hz;
};

triangle_plane plane_of(const height_field* field, const node_triangle& tri, int span) {
  return {terrain_vertex_height(field, tri.x0, tri.z0), terrain_vertex_height(field, tri.x0 + tri.sx * span, tri.z0),
          terrain_vertex_height(field, tri.x0, tri.z0 + tri.sz * span)};
}

// |height - plane| at the vertex d along x and t along z from the right
// angle; the one formula of the whole pass and of a regional refresh, so
// both find the same error to the bit.
float vertex_error(const height_field* field, const node_triangle& tri, const triangle_plane& p, int span, int d,
                   int t) {
  const float fz = (float)t / (float)span;
  const float plane = p.h0 + (p.hx - p.h0) * ((float)d / (float)span) + (p.hz - p.h0) * fz;
  return std::fabs(terrain_vertex_height(field, tri.x0 + tri.sx * d, tri.z0 + tri.sz * t) - plane);
}

// Largest |height - plane| over the vertices of row `t` (0..span) of a node
// triangle, and the vertex that first reached it (left alone when no vertex
// beats `worst_so_far`).
float row_error(const height_field* field, const node_triangle& tri, int span, int t, int* vertices,
                float worst_so_far, int32_t* worst_at) {
  const triangle_plane p = plane_of(field, tri, span);
  float worst = 0.0f;
  const int reach = span - t;
  for (int d = 0; d <= reach; d++) {
    const float e = vertex_error(field, tri, p, span, d, t);
    if (e > worst) worst = e;
    if (e > worst_so_far) {
      worst_so_far = e;
      *worst_at = tri.x0 + tri.sx * d + field->size * (tri.z0 + tri.sz * t);
    }
  }
  *vertices = reach + 1;
  return worst;
}

// Levels whose triangles span at least this many cells keep their errors
// for regional refreshes; finer ones are small enough to scan again whole.
constexpr int kept_span = 8;

int kept_levels(const height_field* field) {
  int levels = 0;
  while (levels <= field->n && ((field->size - 1) >> levels) >= kept_span) levels++;
  return levels;
}

float finer_value(const float* data, int level, int x, int z) {
  const int side = 1 << level;
  if (x < 0 || z < 0 || x >= side || z >= side) return 0.0f;
  return data[terrain_lod_node_index(level, x, z)];
}

// The node's value from its error, raised so that refinement spreads from
// the finer level already done (in `data`).
float node_value(const height_field* field, const float* data, int level, int x, int z, float error) {
  const double radius = (double)field->extent * 0.70710678 * std::ldexp(1.0, -level);
  double value = (double)error / (double)field->lod_setting + radius;
  value *= value;
  if (level < field->n) {
    static const int offsets[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1}, {1, 2}, {0, 2}, {-1, 1}, {-1, 0}};
    const int cx = 2 * x, cz = 2 * z;
    float m = 0.0f;
    for (const auto& o : offsets) m = std::fmax(m, finer_value(data, level + 1, cx + o[0], cz + o[1]));
    const double spread =
        std::sqrt((double)m) + (double)field->extent * std::ldexp(1.0, -(level + 1)) * 3.1622777 * 0.50048828125;
    value = std::fmax(value, spread * spread);
    for (int k = 0; k < 4; k++) value = std::fmax(value, (double)finer_value(data, level + 1, cx + (k & 1), cz + (k >> 1)));
  }
  return (float)value;
}

int floor_div(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

int in_dirty(const int32_t* r, int column, int row) {
  return column >= r[0] && column <= r[2] && row >= r[1] && row <= r[3];
}

// The error of one triangle of a node after the vertices in the dirty
// region changed. A kept triangle whose corners and worst vertex lie
// outside the region keeps its error over the vertices outside it, so only
// the region's vertices are scanned; any other triangle is scanned whole.
float triangle_error_now(height_field* field, int level, int x, int z, int half, int span) {
  const node_triangle tri = triangle_of(x, z, span, half);
  const int32_t* r = field->lod_dirty;
  const int kept = level < kept_levels(field);
  const int64_t slot = 2 * terrain_lod_node_index(level, x, z) + half;
  if (kept) {
    const int32_t worst = field->lod_half_worst[slot];
    const int intact = !in_dirty(r, tri.x0, tri.z0) && !in_dirty(r, tri.x0 + tri.sx * span, tri.z0) &&
                       !in_dirty(r, tri.x0, tri.z0 + tri.sz * span) &&
                       (worst < 0 || !in_dirty(r, worst % field->size, worst / field->size));
    if (intact) {
      const triangle_plane p = plane_of(field, tri, span);
      float error = field->lod_half_error[slot];
      int32_t at = worst;
      // The region's vertices inside the triangle; the order does not
      // matter to the error, only which vertex a tie leaves as the worst.
      const int t_a = (r[1] - tri.z0) * tri.sz, t_b = (r[3] - tri.z0) * tri.sz;
      const int d_a = (r[0] - tri.x0) * tri.sx, d_b = (r[2] - tri.x0) * tri.sx;
      const int t_first = std::max(std::min(t_a, t_b), 0), t_last = std::min(std::max(t_a, t_b), span);
      for (int t = t_first; t <= t_last; t++) {
        const int row = tri.z0 + tri.sz * t;
        const int d_last = std::min(std::max(d_a, d_b), span - t);
        for (int d = std::max(std::min(d_a, d_b), 0); d <= d_last; d++) {
          const int column = tri.x0 + tri.sx * d;
          const float e = vertex_error(field, tri, p, span, d, t);
          if (e > error) {
            error = e;
            at = column + field->size * row;
          }
        }
      }
      field->lod_half_error[slot] = error;
      field->lod_half_worst[slot] = at;
      return error;
    }
  }
  float error = 0.0f;
  int32_t at = -1;
  for (int t = 0; t <= span; t++) {
    int vertices;
    const float e = row_error(field, tri, span, t, &vertices, error, &at);
    if (e > error) error = e;
  }
  if (kept) {
    field->lod_half_error[slot] = error;
    field->lod_half_worst[slot] = at;
  }
  return error;
}

// Refreshes, in the LOD data in use, the nodes whose triangles hold a
// dirty vertex and, level by level up, the coarser nodes whose value reads
// a refreshed finer one: the values a whole pass would give, at a cost that
// follows the region rather than the field.
void refresh_region(height_field* field) {
  const int cells = field->size - 1;
  const int32_t* r = field->lod_dirty;
  int from_x = 0, to_x = -1, from_z = 0, to_z = -1;  // nodes refreshed at the finer level
  for (int level = field->n; level >= 0; level--) {
    const int side = 1 << level, span = cells >> level;
    // Nodes whose square (corners included) meets the region...
    int x0 = floor_div(r[0] + span - 1, span) - 1, x1 = floor_div(r[2], span);
    int z0 = floor_div(r[1] + span - 1, span) - 1, z1 = floor_div(r[3], span);
    // ...and those reading a refreshed node of the finer level (children
    // and the ring round them).
    if (to_x >= from_x && to_z >= from_z) {
      x0 = std::min(x0, floor_div(from_x - 1, 2));
      x1 = std::max(x1, floor_div(to_x + 1, 2));
      z0 = std::min(z0, floor_div(from_z - 1, 2));
      z1 = std::max(z1, floor_div(to_z + 1, 2));
    }
    x0 = std::max(x0, 0);
    z0 = std::max(z0, 0);
    x1 = std::min(x1, side - 1);
    z1 = std::min(z1, side - 1);
    for (int z = z0; z <= z1; z++)
      for (int x = x0; x <= x1; x++) {
        const float e0 = triangle_error_now(field, level, x, z, 0, span);
        const float e1 = triangle_error_now(field, level, x, z, 1, span);
        const float error = e1 > e0 ? e1 : e0;
        field->lod_node_data_a[terrain_lod_node_index(level, x, z)] =
            node_value(field, field->lod_node_data_a, level, x, z, error);
      }
    from_x = x0, to_x = x1, from_z = z0, to_z = z1;
  }
}

// The arrays of the kept levels, made on the first whole pass.
int ensure_kept_errors(height_field* field) {
  if (field->lod_half_error && field->lod_half_worst) return 1;
  const int levels = kept_levels(field);
  const int64_t nodes = levels > 0 ? terrain_lod_node_index(levels, 0, 0) : 0;
  field->lod_half_error = static_cast<float*>(check_calloc((size_t)(2 * nodes + 1), sizeof(float)));
  field->lod_half_worst = static_cast<int32_t*>(check_calloc((size_t)(2 * nodes + 1), sizeof(int32_t)));
  return field->lod_half_error && field->lod_half_worst;
}

}  // namespace

void terrain_lod_mark_edit(height_field* field, int first_column, int first_row, int last_column, int last_row) {
  const int top = field->size - 1;
  first_column = std::max(first_column, 0);
  first_row = std::max(first_row, 0);
  last_column = std::min(last_column, top);
  last_row = std::min(last_row, top);
  field->edit_count++;
  if (first_column > last_column || first_row > last_row) {
    // Nothing of the grid changed; the count still moves on.
    if (field->lod_local_edits > 0) field->lod_local_edits++;
    else if (field->lod_pass_target >= 0 && field->lod_pass_target + 1 == field->edit_count) field->lod_pass_target++;
    return;
  }
  int32_t* d = field->lod_dirty;
  if (field->lod_local_edits == 0) {
    d[0] = first_column, d[1] = first_row, d[2] = last_column, d[3] = last_row;
  } else {
    d[0] = std::min(d[0], first_column), d[1] = std::min(d[1], first_row);
    d[2] = std::max(d[2], last_column), d[3] = std::max(d[3], last_row);
  }
  field->lod_local_edits++;
}

int terrain_lod_refresh(height_field* field, int32_t budget) {
  if (!field->heights || !field->lod_node_data_a || !field->lod_node_data_b) return 1;
  if (field->lod_pass_target >= 0) {
    if (field->lod_pass_target == field->edit_count) return 1;
    // Only regional edits since the data was whole: refresh their nodes in
    // place, at once.
    if (field->lod_local_ready && field->lod_local_edits > 0 &&
        field->lod_pass_target + field->lod_local_edits == field->edit_count) {
      refresh_region(field);
      field->lod_pass_target = field->edit_count;
      field->lod_local_edits = 0;
      return 1;
    }
    // A whole pass reads every height as it finds it; regional edits from
    // here on are marked again.
    field->lod_local_edits = 0;
    field->lod_local_ready = ensure_kept_errors(field) ? 0 : -1;
    field->lod_pass_target = -field->edit_count;
    field->lod_level = field->n;
    field->lod_column = 0;
    field->lod_row = 0;
    field->lod_scan_row = 0;
    field->lod_half_done = 0;
    field->lod_partial_error = 0.0f;
    field->lod_half_partial = 0.0f;
    field->lod_partial_worst = -1;
  }
  const int kept = field->lod_local_ready >= 0 ? kept_levels(field) : 0;
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
            const float e = row_error(field, tri, span, field->lod_scan_row, &vertices, field->lod_half_partial,
                                      &field->lod_partial_worst);
            if (e > field->lod_partial_error) field->lod_partial_error = e;
            if (e > field->lod_half_partial) field->lod_half_partial = e;
            field->lod_scan_row++;
            remaining -= vertices;
            if (remaining < 0) {
              field->lod_budget = 0;
              return 0;
            }
          }
          if (level < kept) {
            const int64_t slot = 2 * terrain_lod_node_index(level, x, z) + field->lod_half_done;
            field->lod_half_error[slot] = field->lod_half_partial;
            field->lod_half_worst[slot] = field->lod_partial_worst;
          }
          field->lod_half_partial = 0.0f;
          field->lod_partial_worst = -1;
          field->lod_scan_row = 0;
          field->lod_half_done++;
        }
        field->lod_node_data_b[terrain_lod_node_index(level, x, z)] =
            node_value(field, field->lod_node_data_b, level, x, z, field->lod_partial_error);
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
  if (field->lod_local_ready == 0) field->lod_local_ready = 1;
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
