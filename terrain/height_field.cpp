// The height field record, the height query and the grid's normals.
#include "terrain/height_field.h"

#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "terrain/bitmap.h"
#include "terrain/track_lighting.h"

height_field track_field;

int32_t terrain_triangle_count(const height_field* field) { return (2 * field->size - 2) * (field->size - 1); }

int32_t terrain_lod_node_count(const height_field* field) {
  return (int32_t)(((int64_t)1 << (2 * (field->n + 1))) / 3);
}

int32_t terrain_block_count(const height_field* field) { return field->n >= 6 ? 1 << (field->n - 6) : 1; }

static int clamp_index(int i, int size) { return i < 0 ? 0 : i >= size ? size - 1 : i; }

float terrain_vertex_height(const height_field* field, int column, int row) {
  const int r = field->size;
  return field->heights[clamp_index(column, r) + r * clamp_index(row, r)];
}

// A grid coordinate that floor() can turn into an int: far outside the grid
// every answer is a border value anyway, and NaN goes to the origin.
static float grid_coordinate(float f) {
  if (!(f == f)) return 0.0f;
  if (f < -1.0e9f) return -1.0e9f;
  if (f > 1.0e9f) return 1.0e9f;
  return f;
}

float terrain_height(const height_field* field, float x, float z) {
  const float fx = grid_coordinate(x / field->spacing);
  const float fz = grid_coordinate(z / field->spacing);
  const int i = (int)std::floor(fx);
  const int j = (int)std::floor(fz);
  const float u = fx - (float)i;
  const float v = fz - (float)j;
  const float h00 = terrain_vertex_height(field, i, j);
  const float h10 = terrain_vertex_height(field, i + 1, j);
  const float h01 = terrain_vertex_height(field, i, j + 1);
  const float h11 = terrain_vertex_height(field, i + 1, j + 1);
  if (((i + j) & 1) == 0) {
    if (v <= u) return h10 + (1.0f - u) * (h00 - h10) + v * (h11 - h10);
    return h01 + u * (h11 - h01) + (1.0f - v) * (h00 - h01);
  }
  if (u + v <= 1.0f) return h00 + u * (h10 - h00) + v * (h01 - h00);
  return h11 + (1.0f - u) * (h01 - h11) + (1.0f - v) * (h10 - h11);
}

// Corner offsets (column, row) of the two triangles of even and odd cells,
// in the order that makes (V1 - V0) x (V2 - V0) point up.
static const int triangle_corners[2][2][3][2] = {
    {{{0, 0}, {0, 1}, {1, 1}}, {{1, 1}, {1, 0}, {0, 0}}},
    {{{0, 0}, {0, 1}, {1, 0}}, {{1, 1}, {1, 0}, {0, 1}}},
};

static void compute_triangle_normal(const height_field* field, int column, int row, int half, float out[3]) {
  const int odd = (column + row) & 1;
  float p[3][3];
  for (int k = 0; k < 3; k++) {
    const int c = column + triangle_corners[odd][half][k][0];
    const int r = row + triangle_corners[odd][half][k][1];
    p[k][0] = (float)c * field->spacing;
    p[k][1] = terrain_vertex_height(field, c, r);
    p[k][2] = (float)r * field->spacing;
  }
  const float a[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const float b[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (int c = 0; c < 3; c++) out[c] = n[c] / length;
}

void terrain_triangle_normal(height_field* field, int column, int row, int half, float out[3]) {
  column = clamp_index(column, field->size - 1);
  row = clamp_index(row, field->size - 1);
  if (!field->triangle_records || !field->triangle_dirty) {
    compute_triangle_normal(field, column, row, half, out);
    return;
  }
  const int64_t k = 2 * (int64_t)column + half + (int64_t)(2 * field->size - 2) * row;
  float* record = field->triangle_records + 3 * k;
  if (bitmap_test(field->triangle_dirty, k)) {
    compute_triangle_normal(field, column, row, half, record);
    bitmap_clear(field->triangle_dirty, k);
  }
  for (int c = 0; c < 3; c++) out[c] = record[c];
}

void terrain_vertex_normal(height_field* field, int column, int row, float out[3]) {
  const int cells = field->size - 1;
  column = clamp_index(column, field->size);
  row = clamp_index(row, field->size);
  float sum[3] = {0, 0, 0};
  // The four cells round the vertex, clamped to the grid, counted once each.
  int seen[4][2];
  int seen_count = 0;
  for (int dr = -1; dr <= 0; dr++)
    for (int dc = -1; dc <= 0; dc++) {
      const int c = clamp_index(column + dc, cells);
      const int r = clamp_index(row + dr, cells);
      int repeat = 0;
      for (int s = 0; s < seen_count; s++) repeat |= seen[s][0] == c && seen[s][1] == r;
      if (repeat) continue;
      seen[seen_count][0] = c;
      seen[seen_count][1] = r;
      seen_count++;
      const int odd = (c + r) & 1;
      for (int half = 0; half < 2; half++) {
        int touches = 0;
        for (int k = 0; k < 3; k++)
          touches |= c + triangle_corners[odd][half][k][0] == column && r + triangle_corners[odd][half][k][1] == row;
        if (!touches) continue;
        float n[3];
        terrain_triangle_normal(field, c, r, half, n);
        for (int k = 0; k < 3; k++) sum[k] += n[k];
      }
    }
  const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
  for (int k = 0; k < 3; k++) out[k] = sum[k] / length;
}

static uint8_t clamp_byte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 255.0f) return 255;
  return (uint8_t)value;
}

void terrain_shade_vertex(height_field* field, int column, int row, uint8_t out[3]) {
  float normal[3];
  terrain_vertex_normal(field, column, row, normal);
  float light = lighting.sun_vector[0] * normal[0] + lighting.sun_vector[1] * normal[1] +
                lighting.sun_vector[2] * normal[2];
  light = light < 0.0f ? 0.0f : light > 1.0f ? 1.0f : light;
  if (field->shadows) {
    const int r = field->size;
    light *= 1.0f - (float)field->shadows[clamp_index(column, r) + r * clamp_index(row, r)] / 255.0f;
  }
  for (int c = 0; c < 3; c++) out[c] = clamp_byte((lighting.sun_color[c] * light + lighting.ambient[c]) * 0.5f * 255.0f);
}

void terrain_pack_normal(height_field* field, int column, int row, uint8_t out[3]) {
  float normal[3];
  terrain_vertex_normal(field, column, row, normal);
  for (int c = 0; c < 3; c++) {
    float v = std::trunc(normal[c] * 127.0f);
    v = v < -127.0f ? -127.0f : v > 127.0f ? 127.0f : v;
    out[c] = (uint8_t)(128 + (int)v);
  }
  const int r = field->size;
  out[1] = field->shadows ? (uint8_t)(255 - field->shadows[clamp_index(column, r) + r * clamp_index(row, r)]) : 255;
}

void refresh_terrain_normals(height_field* field) {
  if (!field->heights || !field->vertex_dirty) return;
  const int r = field->size;
  for (int row = 0; row < r; row++)
    for (int column = 0; column < r; column++) {
      const int64_t k = column + (int64_t)r * row;
      if (bitmap_test(field->vertex_dirty, k)) {
        terrain_shade_vertex(field, column, row, field->shading + 3 * k);
        bitmap_clear(field->vertex_dirty, k);
      }
      if (field->normal_mapped && field->normal_dirty && field->normal_bytes && bitmap_test(field->normal_dirty, k)) {
        terrain_pack_normal(field, column, row, field->normal_bytes + 3 * k);
        bitmap_clear(field->normal_dirty, k);
      }
    }
}

void terrain_reset(height_field* field) {
  std::memset(field, 0, sizeof *field);
  field->block_size = 128;
  field->lod_centre[0] = -1000000;
  field->lod_centre[1] = -1000000;
}

static void delete_textures(const uint32_t* ids, int count) {
  if (terrain_textures.delete_textures && ids && count > 0) terrain_textures.delete_textures(ids, count);
}

void free_terrain(height_field* field) {
  if (field->framebuffer && terrain_textures.delete_framebuffer) terrain_textures.delete_framebuffer(field->framebuffer);
  if (field->decals.data) {
    growable_array_free(&field->decals);
    for (auto& scratch : field->decal_scratch) growable_array_free(&scratch);
    for (auto& bins : field->decal_bins)
      for (auto& bin : bins) growable_array_free(&bin);
  }
  delete_textures(&field->lod_textures[0][0][0][0], (int)(sizeof field->lod_textures / sizeof(uint32_t)));
  const int blocks = terrain_block_count(field);
  for (auto& textures : field->block_textures) {
    delete_textures(textures, blocks * blocks);
    check_free(textures);
  }
  delete_textures(field->low_detail_textures, field->low_detail_count * field->low_detail_count);
  check_free(field->low_detail_textures);
  check_free(field->shadows);
  check_free(field->low_detail_dirty);
  check_free(field->block_stamps);
  check_free(field->tilemap);
  check_free(field->shading);
  check_free(field->normal_bytes);
  check_free(field->vertex_dirty);
  check_free(field->normal_dirty);
  check_free(field->triangle_dirty);
  check_free(field->triangle_records);
  check_free(field->heights);
  check_free(field->lod_node_bits);
  check_free(field->lod_node_data_a);
  check_free(field->lod_node_data_b);
  check_free(field->lod_half_error);
  check_free(field->lod_half_worst);
  check_free(field->scratch_image);
  terrain_reset(field);
}
