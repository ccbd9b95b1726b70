// The erode queue and the dig and deposit edits it makes.
#include "terrain/erode_queue.h"

#include <climits>
#include <cmath>

#include "core/message_ring.h"
#include "core/race_clock.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_edit.h"
#include "terrain/terrain_lod.h"
#include "terrain/tiles.h"

erode_queue_state erode_queue = {0, 0, 0, INT32_MAX};
static erode_entry erode_entries[erode_queue_size];


int32_t erode_current_tick() { return race_clock.current_tick; }

const erode_entry* erode_queue_peek(int32_t k) {
  if (k < 0 || k >= erode_queue.count) return nullptr;
  return &erode_entries[(erode_queue.read_index + k) % erode_queue_size];
}

void erode_queue_add_stroke(const uint8_t* bytes, int32_t length) {
  erode_entry decoded[rut_stroke_points];
  const int32_t n = rut_message_decode(bytes, length, track_field.extent, decoded);
  for (int32_t i = 0; i < n; i++) {
    if (erode_queue.count == erode_queue_size) {
      if (!erode_queue.full_reported) console_print("Erode queue full!");
      erode_queue.full_reported = 1;
      continue;
    }
    erode_entries[(erode_queue.read_index + erode_queue.count) % erode_queue_size] = decoded[i];
    erode_queue.count++;
  }
}

void erode_queue_reset() {
  erode_queue.count = 0;
  erode_queue.read_index = 0;
  erode_queue.deferral_tick = INT32_MAX;
}

int32_t erode_queue_budget(int32_t count) {
  int32_t budget = count / 512 + 4;
  if (count >= erode_queue_backlog) budget += (count - erode_queue_backlog) / 64;
  return budget;
}

static float clamp_float(float v, float low, float high) { return !(v > low) ? low : v > high ? high : v; }

// Interpolates a grid of heights over the triangle of (x, z), the way
// terrain_height does.
static float grid_height(const float* heights, int size, float spacing, float x, float z) {
  if (!heights || !std::isfinite(x) || !std::isfinite(z)) return 0.0f;
  const float fx = clamp_float(x / spacing, -1.0e9f, 1.0e9f);
  const float fz = clamp_float(z / spacing, -1.0e9f, 1.0e9f);
  const int i = (int)std::floor(fx);
  const int j = (int)std::floor(fz);
  const float u = fx - (float)i;
  const float v = fz - (float)j;
  auto at = [&](int c, int r) {
    c = c < 0 ? 0 : c >= size ? size - 1 : c;
    r = r < 0 ? 0 : r >= size ? size - 1 : r;
    return heights[c + (int64_t)size * r];
  };
  const float h00 = at(i, j), h10 = at(i + 1, j), h01 = at(i, j + 1), h11 = at(i + 1, j + 1);
  if (((i + j) & 1) == 0) {
    if (v <= u) return h10 + (1.0f - u) * (h00 - h10) + v * (h11 - h10);
    return h01 + u * (h11 - h01) + (1.0f - v) * (h00 - h01);
  }
  if (u + v <= 1.0f) return h00 + u * (h10 - h00) + v * (h01 - h00);
  return h11 + (1.0f - u) * (h01 - h11) + (1.0f - v) * (h10 - h11);
}

float terrain_base_height(const height_field* field, float x, float z) {
  return grid_height(field->base_heights, field->size, field->spacing, x, z);
}

// The square of vertices a dig or deposit of `radius` at (x, z) weighs, in
// grid units.
struct edit_square {
  float g;   // radius
  float cx;  // centre
  float cz;
  int first_column;
  int first_row;
  int side;  // vertices a side
};

static int edit_square_at(const height_field* field, float x, float z, float radius, edit_square* sq) {
  if (!field->heights || !std::isfinite(x) || !std::isfinite(z) || !std::isfinite(radius)) return 0;
  sq->g = radius / field->spacing;
  sq->cx = x / field->spacing;
  sq->cz = z / field->spacing;
  // A square wider than the field, or one far off it, would only spend the
  // frame (or overflow) weighing vertices that are not there.
  if (!(sq->g <= (float)field->size)) return 0;
  const float far = 16777216.0f;
  if (!(std::fabs(sq->cx) < far) || !(std::fabs(sq->cz) < far)) return 0;
  const int h = (int)std::ceil(sq->g);
  if (h <= 0) return 0;
  sq->first_column = (int)std::floor(sq->cx) - h + 1;
  sq->first_row = (int)std::floor(sq->cz) - h + 1;
  sq->side = 2 * h;
  return 1;
}

static float edit_weight(const edit_square* sq, int column, int row) {
  const float dc = sq->cx - (float)column;
  const float dr = sq->cz - (float)row;
  const float dist = std::sqrt(dr * dr + dc * dc);
  if (dist > sq->g) return 0.0f;
  const float t = dist / sq->g;
  return 1.0f - 3.0f * t * t + 2.0f * t * t * t;
}

// The ground textures over the edited square go stale, and the LOD data
// follows the new edit count.
static void edit_done(height_field* field, const edit_square* sq) {
  ground_mark_dirty_clamped(field, sq->first_column, sq->first_row, sq->first_column + sq->side - 1,
                            sq->first_row + sq->side - 1);
  terrain_lod_mark_edit(field, sq->first_column, sq->first_row, sq->first_column + sq->side - 1,
                        sq->first_row + sq->side - 1);
}

float terrain_dig(height_field* field, float x, float z, float radius, float amount) {
  if (amount == 0.0f || !std::isfinite(amount)) return 0.0f;
  edit_square sq;
  if (!edit_square_at(field, x, z, radius, &sq)) return 0.0f;
  float total = 0.0f;
  for (int row = sq.first_row; row < sq.first_row + sq.side; row++)
    for (int column = sq.first_column; column < sq.first_column + sq.side; column++) {
      const float added = amount * edit_weight(&sq, column, row);
      terrain_set_height(field, column, row, added + terrain_vertex_height(field, column, row));
      total += added;
    }
  edit_done(field, &sq);
  return total;
}

void terrain_deposit(height_field* field, float x, float z, float radius, float volume) {
  if (volume == 0.0f || !std::isfinite(volume)) return;
  edit_square sq;
  if (!edit_square_at(field, x, z, radius, &sq)) return;
  float weights = 0.0f;
  for (int row = sq.first_row; row < sq.first_row + sq.side; row++)
    for (int column = sq.first_column; column < sq.first_column + sq.side; column++)
      weights += edit_weight(&sq, column, row);
  if (weights < 1.0f) weights = 1.0f;
  for (int row = sq.first_row; row < sq.first_row + sq.side; row++)
    for (int column = sq.first_column; column < sq.first_column + sq.side; column++) {
      const float w = edit_weight(&sq, column, row);
      if (w == 0.0f) continue;
      terrain_set_height(field, column, row, volume * w / weights + terrain_vertex_height(field, column, row));
    }
  edit_done(field, &sq);
}

// The outer and inner scales of the tile's limit curve at `depth` of
// erosion below the loaded ground. A tile with no curve points digs
// unscaled.
static void erode_limit_scales(const tile_params* p, float depth, float* outer, float* inner) {
  int c = p->erode_limit_count;
  if (c > tile_erode_limit_points) c = tile_erode_limit_points;
  if (c <= 0) {
    *outer = 1.0f;
    *inner = 1.0f;
    return;
  }
  const float* x = p->erode_limit_depth;
  float u = 0.0f;
  if (c >= 2 && !(depth < x[0])) {
    u = (float)(c - 1);
    for (int i = 1; i < c; i++)
      if (depth < x[i]) {
        u = (float)(i - 1) + (depth - x[i - 1]) / (x[i] - x[i - 1]);
        break;
      }
  }
  const float fu = std::floor(u);
  int i0 = (int)fu;
  i0 = i0 < 0 ? 0 : i0 > c - 1 ? c - 1 : i0;
  int i1 = i0 + 1 > c - 1 ? c - 1 : i0 + 1;
  *outer = p->erode_limit_outer[i0] + (p->erode_limit_outer[i1] - p->erode_limit_outer[i0]) * (u - fu);
  *inner = p->erode_limit_inner[i0] + (p->erode_limit_inner[i1] - p->erode_limit_inner[i0]) * (u - fu);
}

// Digs the ground at one entry and heaps what came out behind the push.
static void erode_entry_apply(height_field* field, const erode_entry* e, const tile_params* p, float strength) {
  const float length = std::sqrt(e->a * e->a + e->b * e->b);
  if (!(length > 0.0f)) return;
  const float s = clamp_float((length - 0.125f) * 8.0f / 7.0f, 0.0f, 1.0f);
  const float d = s * p->erode_displacement;
  const float px = e->x - d * e->a / length;
  const float pz = e->z - d * e->b / length;
  const float h0 = terrain_height(field, e->x, e->z);
  const float h1 = terrain_height(field, px, pz);
  const float dh = h1 - h0;
  const float depth = terrain_base_height(field, e->x, e->z) - h0;
  if (dh > d * p->erode_max_slope || dh < d * p->erode_min_slope) return;
  float f = strength / 2048.0f;
  if (dh < 0.0f) f *= 1.0f + (h0 - h1) / d * p->erode_downhill_scale;
  float outer, inner;
  erode_limit_scales(p, depth, &outer, &inner);
  const float r1 = terrain_dig(field, e->x, e->z, p->erode_radius, -((float)e->k * outer * f * p->erode_depth));
  const float r2 = terrain_dig(field, e->x, e->z, p->erode_inner_radius, -(inner * f * p->erode_inner_depth));
  terrain_deposit(field, px, pz, p->erode_radius, -(r1 + r2));
}

void erode_queue_process(const float* viewer, float strength) {
  height_field* field = &track_field;
  const int32_t tick = erode_current_tick();
  if (erode_queue.deferral_tick < tick || erode_queue.count > erode_queue_backlog) {
    erode_queue.deferral_tick = INT32_MAX;
    viewer = nullptr;
  }
  const int32_t budget = erode_queue_budget(erode_queue.count);
  for (int32_t n = 0; n < budget && erode_queue.count > 0; n++) {
    const erode_entry e = erode_entries[erode_queue.read_index];
    if (viewer) {
      const float dx = e.x - viewer[0], dz = e.z - viewer[2];
      if (dx * dx + dz * dz < 100.0f) break;
    }
    erode_queue.read_index = (erode_queue.read_index + 1) % erode_queue_size;
    erode_queue.count--;
    if (field->heights) erode_entry_apply(field, &e, &field->tile_params[tile_at(field, e.x, e.z)], strength);
    erode_queue.deferral_tick = INT32_MAX;
  }
  if (erode_queue.count > 0) {
    const int64_t deadline = (int64_t)tick + erode_deferral_ticks;
    if (deadline < erode_queue.deferral_tick) erode_queue.deferral_tick = (int32_t)deadline;
  }
}
