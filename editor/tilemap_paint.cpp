#include "editor/tilemap_paint.h"

#include <cmath>

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/editor_random.h"
#include "editor/height_brush.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"

int tilemap_plain_tile_count() {
  const height_field* field = editor.terrain;
  if (!field) return 0;
  int k = 0;
  while (k < tile_table_size && k < field->tile_count) {
    const int32_t code = field->transition_codes[k];
    if (((code >> 8) & 255) != k || ((code >> 16) & 255) != k) break;
    k++;
  }
  return k;
}

// The materials a tile shows at its four corners: material A where the
// corner's flag is set, else material B.
static void corner_materials(const height_field* field, int tile, int out[4]) {
  const int32_t code = tile >= 0 && tile < tile_table_size ? field->transition_codes[tile] : 0;
  const int a = (code >> 8) & 255, b = (code >> 16) & 255;
  for (int k = 0; k < 4; k++) out[k] = (code >> k) & 1 ? a : b;
}

static int tile_side(const height_field* field) { return 1 << field->n; }

static int clamp_int(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

// Writes a tile cell when it lies on the map and the terrain is not locked.
static void put_tile(height_field* field, int col, int row, int tile) {
  const int q = tile_side(field);
  if (col < 0 || row < 0 || col >= q || row >= q || field->edit_lock || !field->tilemap) return;
  field->change_flags = 7;
  field->tilemap[(size_t)col + (size_t)q * (size_t)row] = (uint8_t)tile;
}

void tilemap_set_corners(int col, int row, int material, int corners) {
  height_field* field = editor.terrain;
  if (!field || !field->tilemap) return;
  const int q = tile_side(field);
  const int tile = field->tilemap[(size_t)clamp_int(col, 0, q - 1) + (size_t)q * (size_t)clamp_int(row, 0, q - 1)];
  int have[4];
  corner_materials(field, tile, have);
  int wanted[4];
  int done = 1;
  for (int k = 0; k < 4; k++) {
    const int named = (corners >> k) & 1;
    if (named && have[k] != material) done = 0;
    wanted[k] = named ? material : have[k];
  }
  if (done) return;
  const int count = field->tile_count < tile_table_size ? field->tile_count : tile_table_size;
  for (int t = 0; t < count; t++) {
    int shows[4];
    corner_materials(field, t, shows);
    if (shows[0] == wanted[0] && shows[1] == wanted[1] && shows[2] == wanted[2] && shows[3] == wanted[3]) {
      put_tile(field, col, row, t);
      return;
    }
  }
}

// The eight neighbours of a painted tile and the corners each shares
// with it.
static const int neighbours[8][3] = {{-1, -1, 1},  {0, -1, 1 | 2}, {1, -1, 2}, {-1, 0, 1 | 4},
                                     {1, 0, 2 | 8}, {-1, 1, 4},     {0, 1, 4 | 8}, {1, 1, 8}};

void tilemap_paint_stroke(float x0, float z0, float x1, float z1, float radius) {
  height_field* field = editor.terrain;
  if (!field || !field->tilemap) return;
  // Only plain tiles are materials: a value left from a track with more
  // of them is brought into this one's range, and a table with none paints
  // nothing.
  const int plain = tilemap_plain_tile_count();
  if (plain <= 0) return;
  int material = editor_tile >= (double)plain ? plain - 1 : editor_tile > 0 ? (int)editor_tile : 0;
  const float c = field->spacing;
  const int last = field->size - 2;
  auto index = [&](float u, int up) {
    const float v = up ? std::ceil(u) : std::floor(u);
    if (!(v > 0)) return 0;
    if (v >= (float)last) return last;
    return (int)v;
  };
  const int c0 = index((std::fmin(x0, x1) - radius) / c, 0);
  const int c1 = index((std::fmax(x0, x1) + radius) / c, 1);
  const int r0 = index((std::fmin(z0, z1) - radius) / c, 0);
  const int r1 = index((std::fmax(z0, z1) + radius) / c, 1);
  // The fitted neighbours reach a tile (two cells) past the box.
  ground_mark_dirty_clamped(field, c0 - 2, r0 - 2, c1 + 2, r1 + 2);
  // The candidates: every tile drawn in the material, plain or alternate.
  int candidates[tile_table_size];
  int candidate_count = 0;
  const int count = field->tile_count < tile_table_size ? field->tile_count : tile_table_size;
  for (int t = 0; t < count; t++)
    if (field->transition_codes[t] == field->transition_codes[material]) candidates[candidate_count++] = t;
  // Tile centres are the odd vertices; the last row and column of tiles
  // have theirs at R - 2.
  for (int i = r0 | 1; i <= r1; i += 2) {
    for (int j = c0 | 1; j <= c1; j += 2) {
      if (brush_segment_distance(x0, z0, x1, z1, (float)j * c, (float)i * c) > radius) continue;
      const int tile = candidate_count >= 2 ? candidates[editor_random_below(candidate_count)] : material;
      const int a = j / 2, b = i / 2;
      put_tile(field, a, b, tile);
      for (const int* n : neighbours) tilemap_set_corners(a + n[0], b + n[1], material, n[2]);
    }
  }
}

void tilemap_paint_step() {
  height_field* field = editor.terrain;
  if (!field) return;
  const int before = editor.call_counter++;
  if (before % 32 != 0) return;
  float m[2];
  editor_mouse_world(m);
  float a[2] = {m[0], m[1]};
  if (editor.drag_anchor[0] >= 0) {
    a[0] = editor.drag_anchor[0];
    a[1] = editor.drag_anchor[1];
  }
  editor.drag_anchor[0] = m[0];
  editor.drag_anchor[1] = m[1];
  tilemap_paint_stroke(a[0], a[1], m[0], m[1], (float)editor_radius * editor_pixel_size());
}
