// Refining the terrain quadtree and turning it into triangle fans.
#include "terrain/terrain_mesh.h"

#include <cmath>
#include <cstring>

#include "terrain/bitmap.h"
#include "terrain/height_field.h"
#include "terrain/terrain_lod.h"

int ground_texture_level0 = 1;

static int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

int lod_window_origin(int centre, int level, int n) {
  const int origin = ((centre - (1 << level)) >> (level + 1)) - 1;
  const int last = (1 << (n - level)) - 4;
  return clamp_int(origin, 0, last > 0 ? last : 0);
}

static int node_refined(const height_field* field, int level, int x, int z) {
  const int side = 1 << level;
  if (x < 0 || z < 0 || x >= side || z >= side) return 0;
  return bitmap_test(field->lod_node_bits, terrain_lod_node_index(level, x, z));
}

static void mark_lod_levels(height_field* field, int level, int x, int z) {
  const int h = (field->size - 1) >> (level + 1);
  const float dx = (float)((2 * x + 1) * h) * field->spacing - field->camera_position[0];
  const float dz = (float)((2 * z + 1) * h) * field->spacing - field->camera_position[2];
  const int64_t k = terrain_lod_node_index(level, x, z);
  if (!(dx * dx + dz * dz < field->lod_node_data_a[k])) return;
  bitmap_set(field->lod_node_bits, k);
  if (level >= field->n) return;
  for (int c = 0; c < 4; c++) mark_lod_levels(field, level + 1, 2 * x + (c & 1), 2 * z + (c >> 1));
}

void terrain_refine(height_field* field) {
  const int n = field->n;
  field->lod_centre[0] = (int)std::floor(field->camera_position[0] / field->spacing);
  field->lod_centre[1] = (int)std::floor(field->camera_position[2] / field->spacing);
  field->view_octant = (field->camera_direction[0] >= 0.0f ? 1 : 0) | (field->camera_direction[1] >= 0.0f ? 2 : 0) |
                       (field->camera_direction[2] >= 0.0f ? 4 : 0);
  field->drawn_vertex_count = 0;
  field->drawn_triangle_count = 0;
  const int64_t nodes = terrain_lod_node_count(field);
  std::memset(field->lod_node_bits, 0, (size_t)bitmap_bytes(nodes));
  const int64_t always = (((int64_t)1 << (2 * (n - 5))) - 1) / 3 + 1;
  for (int64_t k = 0; k < always; k++) bitmap_set(field->lod_node_bits, k);

  // 4 x 4 nodes of every level round the camera cell, each window grown by
  // one node where the finer window below it reaches its edge, so that
  // neighbouring levels never differ by more than one.
  int finer_lo[2] = {0, 0}, finer_hi[2] = {0, 0};
  for (int level = n; level >= 1; level--) {
    const int side = 1 << level;
    int lo[2], hi[2];
    for (int a = 0; a < 2; a++) {
      // The clamp of the window to 0..2^level - 4 would invert below four
      // nodes a side; the window is clipped to the grid after it instead.
      int origin = ((field->lod_centre[a] - (1 << (n - level))) >> (n - level + 1)) - 1;
      origin = clamp_int(origin, 0, side - 4 > 0 ? side - 4 : 0);
      lo[a] = origin;
      hi[a] = origin + 4;
      if (level < n) {
        if (finer_lo[a] <= 2 * origin) lo[a] = origin - 1;
        if (finer_hi[a] >= 2 * origin + 8) hi[a] = origin + 5;
      }
      lo[a] = clamp_int(lo[a], 0, side);
      hi[a] = clamp_int(hi[a], 0, side);
    }
    for (int z = lo[1]; z < hi[1]; z++)
      for (int x = lo[0]; x < hi[0]; x++) bitmap_set(field->lod_node_bits, terrain_lod_node_index(level, x, z));
    for (int a = 0; a < 2; a++) {
      finer_lo[a] = lo[a];
      finer_hi[a] = hi[a];
    }
  }
  mark_lod_levels(field, 0, 0, 0);
}

namespace {

// The eight fan directions round a centre, in fan order.
const int fan_step[8][2] = {{0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}};
// Children (offset index x + 2z) nearest first for each side of the centre
// the camera lies on, and where that side's fan directions start.
const int side_order[4][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {2, 0, 3, 1}, {3, 2, 1, 0}};
const int side_start[4] = {0, 6, 2, 4};

struct fan_range {
  int offset, count;
};
// Fans over the unrefined quadrants for each mask of refined children (in
// the side's order); count 0 ends the list.
const fan_range fan_patterns[16][2] = {
    {{1, 9}, {0, 0}}, {{2, 7}, {0, 0}}, {{3, 4}, {0, 4}}, {{2, 5}, {0, 0}},
    {{4, 4}, {7, 4}}, {{4, 5}, {0, 0}}, {{4, 3}, {0, 3}}, {{4, 3}, {0, 0}},
    {{6, 7}, {0, 0}}, {{6, 3}, {2, 3}}, {{0, 5}, {0, 0}}, {{2, 3}, {0, 0}},
    {{6, 5}, {0, 0}}, {{6, 3}, {0, 0}}, {{0, 3}, {0, 0}}, {{0, 0}, {0, 0}},
};

struct walk {
  height_field* field;
  const terrain_fan_sink* sink;
};

int texture_level_of(const height_field* field, int level, int centre_col, int centre_row, int* slot_col,
                     int* slot_row) {
  const int n = field->n;
  int d = n - level > ground_texture_level0 ? n - level : ground_texture_level0;
  for (; d < lod_texture_levels; d++) {
    const int sc = (centre_col >> (d + 1)) - lod_window_origin(field->lod_centre[0], d, n);
    const int sr = (centre_row >> (d + 1)) - lod_window_origin(field->lod_centre[1], d, n);
    if (sc < 0 || sr < 0 || sc >= lod_texture_window || sr >= lod_texture_window) continue;
    if (!field->lod_ready[d][sr][sc]) continue;
    *slot_col = sc;
    *slot_row = sr;
    return d;
  }
  *slot_col = centre_col >> 7;
  *slot_row = centre_row >> 7;
  return terrain_block_texture_level;
}

void emit_fan(walk* w, int level, int x, int z, int start, int count, int partial) {
  height_field* field = w->field;
  const int h = (field->size - 1) >> (level + 1);
  const int cc = (2 * x + 1) * h, cr = (2 * z + 1) * h;
  terrain_fan fan;
  fan.texture_level = texture_level_of(field, level, cc, cr, &fan.slot_column, &fan.slot_row);
  const int shift = fan.texture_level + 1;
  const int origin_col = (cc >> shift) << shift, origin_row = (cr >> shift) << shift;
  const float scale = 1.0f / (float)(1 << shift);
  fan.count = 0;
  auto add = [&](int col, int row) {
    float* p = fan.position[fan.count];
    p[0] = (float)col * field->spacing;
    p[1] = field->heights[col + (int64_t)field->size * row];
    p[2] = (float)row * field->spacing;
    fan.texcoord[fan.count][0] = (float)(col - origin_col) * scale;
    fan.texcoord[fan.count][1] = (float)(row - origin_row) * scale;
    fan.count++;
  };
  add(cc, cr);
  for (int k = 0; k < count; k++) {
    const int dir = (start + k) & 7;
    const int sx = fan_step[dir][0], sz = fan_step[dir][1];
    // An edge midpoint is a vertex only where the neighbour across that
    // edge is refined (it closes the T-junction); the ends of a partial fan
    // border a refined child and always need theirs.
    const int corner = sx != 0 && sz != 0;
    const int end = partial && (k == 0 || k == count - 1);
    if (corner || end || node_refined(field, level, x + sx, z + sz)) add(cc + sx * h, cr + sz * h);
  }
  field->drawn_vertex_count += fan.count;
  if (fan.count > 2) field->drawn_triangle_count += fan.count - 2;
  w->sink->fan(w->sink->context, &fan);
}

int node_visible(const height_field* field, int level, int x, int z) {
  const int span = (field->size - 1) >> level;
  const int oct = field->view_octant;
  const float corner[3] = {(float)((x + (oct & 1 ? 1 : 0)) * span) * field->spacing,
                           oct & 2 ? field->max_height : field->min_height,
                           (float)((z + (oct & 4 ? 1 : 0)) * span) * field->spacing};
  float dot = 0.0f;
  for (int c = 0; c < 3; c++) dot += (corner[c] - field->camera_position[c]) * field->camera_direction[c];
  return dot >= 0.0f;
}

void draw_node(walk* w, int level, int x, int z) {
  height_field* field = w->field;
  if (!node_visible(field, level, x, z)) return;
  if (level >= field->n) {
    emit_fan(w, level, x, z, 1, 9, 0);
    return;
  }
  const int h = (field->size - 1) >> (level + 1);
  const int side = ((2 * x + 1) * h <= field->lod_centre[0] ? 1 : 0) | ((2 * z + 1) * h <= field->lod_centre[1] ? 2 : 0);
  const int* order = side_order[side];
  int mask = 0;
  for (int k = 0; k < 4; k++)
    if (node_refined(field, level + 1, 2 * x + (order[k] & 1), 2 * z + (order[k] >> 1))) mask |= 1 << k;
  auto child = [&](int k) { draw_node(w, level + 1, 2 * x + (order[k] & 1), 2 * z + (order[k] >> 1)); };
  if (mask == 15) {
    for (int k = 0; k < 4; k++) child(k);
    return;
  }
  if (mask & 8) child(3);
  for (const fan_range& f : fan_patterns[mask]) {
    if (f.count == 0) break;
    emit_fan(w, level, x, z, mask == 0 ? f.offset : (side_start[side] + f.offset) & 7, f.count, mask != 0);
  }
  for (int k = 0; k < 3; k++)
    if (mask & (1 << k)) child(k);
}

}  // namespace

void terrain_emit_fans(height_field* field, const terrain_fan_sink* sink) {
  if (!field->heights || !field->lod_node_bits) return;
  walk w = {field, sink};
  draw_node(&w, 0, 0, 0);
}
