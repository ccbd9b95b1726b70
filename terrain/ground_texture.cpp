// The ground-texture compositor: dirty stamps, the LOD windows, decal bins
// and the processor's compositing. The driver work is behind ground_gl.
#include "terrain/ground_texture.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "assets/image.h"
#include "core/growable_array.h"
#include "core/memory.h"
#include "platform/log.h"
#include "terrain/bitmap.h"
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/terrain_mesh.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

int mmx_available = 0;
int ati_workaround = -1;
int ground_mipmaps = 0;
ground_gl_table ground_gl;

void detect_mmx() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) mmx_available = (d >> 23) & 1;
#endif
}

namespace {

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
int floor_div(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

int lowest_level(void) { return ground_texture_level0 < 0 ? 0 : ground_texture_level0; }

// The stamp an edit leaves: the current generation, but never 0, which
// means current (the first frames run at generation 0).
int32_t stale_stamp(const height_field* field) { return field->generation > 0 ? field->generation : 1; }

void invalidate(height_field* field, int x0, int z0, int x1, int z1) {
  if (!field->block_stamps) return;
  const int blocks = terrain_block_count(field);
  const int32_t stamp = stale_stamp(field);
  for (int bz = clamp_int(z0 >> 7, 0, blocks - 1); bz <= clamp_int(z1 >> 7, 0, blocks - 1); bz++)
    for (int bx = clamp_int(x0 >> 7, 0, blocks - 1); bx <= clamp_int(x1 >> 7, 0, blocks - 1); bx++)
      if (field->block_stamps[bx + blocks * bz] == 0) field->block_stamps[bx + blocks * bz] = stamp;
  for (int level = lowest_level(); level < lod_texture_levels; level++) {
    const int ox = lod_window_origin(field->lod_centre[0], level, field->n);
    const int oz = lod_window_origin(field->lod_centre[1], level, field->n);
    for (int j = 0; j < lod_texture_window; j++)
      for (int k = 0; k < lod_texture_window; k++) {
        const int a = (ox + k) << (level + 1), b = (ox + k + 1) << (level + 1);
        const int c = (oz + j) << (level + 1), d = (oz + j + 1) << (level + 1);
        if (x1 < a || x0 > b || z1 < c || z0 > d) continue;
        if (field->lod_texture_stamps[level][j][k] == 0) field->lod_texture_stamps[level][j][k] = stamp;
      }
  }
}

}  // namespace

void ground_invalidate_rect(height_field* field, int x0, int z0, int x1, int z1) { invalidate(field, x0, z0, x1, z1); }

void ground_mark_dirty(height_field* field, int x0, int z0, int x1, int z1) {
  if (field->texture_mode == 1) {
    invalidate(field, x0, z0, x1, z1);
    return;
  }
  if (!field->low_detail_dirty) return;
  // Low-detail texture k holds cells 384k - 64 up to 384k + 448.
  const int w = field->low_detail_count;
  for (int kz = clamp_int(floor_div(z0 - 448, 384) + 1, 0, w - 1); kz <= clamp_int(floor_div(z1 + 64, 384), 0, w - 1); kz++)
    for (int kx = clamp_int(floor_div(x0 - 448, 384) + 1, 0, w - 1); kx <= clamp_int(floor_div(x1 + 64, 384), 0, w - 1); kx++)
      bitmap_set(field->low_detail_dirty, kx + (int64_t)w * kz);
}

void ground_mark_dirty_clamped(height_field* field, int x0, int z0, int x1, int z1) {
  const int last = field->size - 1;
  ground_mark_dirty(field, clamp_int(x0, 0, last), clamp_int(z0, 0, last), clamp_int(x1, 0, last),
                    clamp_int(z1, 0, last));
}

// ---------------------------------------------------------------------------
// Decal bins.

namespace {

int32_t* bin_data(const growable_array* a) { return (int32_t*)a->data; }

void half_extents(const decal* d, float* hx, float* hz) {
  *hx = std::fabs(d->extent_a * d->cos_angle / 2) + std::fabs(d->extent_b * d->sin_angle / 2);
  *hz = std::fabs(d->extent_a * d->sin_angle / 2) + std::fabs(d->extent_b * d->cos_angle / 2);
}

int bin_of(const height_field* field, float c) {
  const float f = std::floor(c / field->extent * decal_bin_side);
  if (!(f >= 0.0f)) return 0;
  return f >= decal_bin_side - 1 ? decal_bin_side - 1 : (int)f;
}

}  // namespace

void decal_bins_init(height_field* field) {
  if (!field->decals.data) growable_array_init(&field->decals, sizeof(decal), 16);
  for (auto& scratch : field->decal_scratch)
    if (!scratch.data) growable_array_init(&scratch, sizeof(int32_t), 16);
  for (auto& row : field->decal_bins)
    for (auto& bin : row)
      if (!bin.data) growable_array_init(&bin, sizeof(int32_t), 16);
}

void decal_bin_range(const height_field* field, const decal* d, int* c0, int* r0, int* c1, int* r1) {
  float hx, hz;
  half_extents(d, &hx, &hz);
  *c0 = bin_of(field, d->x - hx);
  *c1 = bin_of(field, d->x + hx);
  *r0 = bin_of(field, d->z - hz);
  *r1 = bin_of(field, d->z + hz);
}

void decal_mark_dirty(height_field* field, int index) {
  const decal* d = decal_at(field, index);
  float hx, hz;
  half_extents(d, &hx, &hz);
  const float s = field->spacing;
  const float lo_x = std::floor((d->x - hx) / s), hi_x = std::ceil((d->x + hx) / s);
  const float lo_z = std::floor((d->z - hz) / s), hi_z = std::ceil((d->z + hz) / s);
  const float last = (float)(field->size - 1);
  auto cell = [last](float v) { return !(v > 0.0f) ? 0 : v > last ? (int)last : (int)v; };
  invalidate(field, cell(lo_x), cell(lo_z), cell(hi_x), cell(hi_z));
}

void decal_bin_remove(height_field* field, int index) {
  if (!field->decals.data) return;
  decal_mark_dirty(field, index);
  int c0, r0, c1, r1;
  decal_bin_range(field, decal_at(field, index), &c0, &r0, &c1, &r1);
  for (int r = r0; r <= r1; r++)
    for (int c = c0; c <= c1; c++) {
      growable_array* bin = &field->decal_bins[r][c];
      int32_t* v = bin_data(bin);
      for (size_t at = 0; at < bin->count; at++)
        if (v[at] == index) {
          std::memmove(v + at, v + at + 1, (bin->count - 1 - at) * sizeof(int32_t));
          bin->count--;
          break;
        }
    }
}

void decal_bins_renumber(height_field* field, int from, int delta) {
  for (auto& row : field->decal_bins)
    for (auto& bin : row)
      for (size_t at = 0; at < bin.count; at++)
        if (bin_data(&bin)[at] >= from) bin_data(&bin)[at] += delta;
}

void decal_bins_rebuild(height_field* field) {
  decal_bins_init(field);
  for (auto& row : field->decal_bins)
    for (auto& bin : row) bin.count = 0;
  for (size_t i = 0; i < field->decals.count; i++) {
    decal_mark_dirty(field, (int)i);
    decal_bin_insert(field, (int)i);
  }
}

const int32_t* decal_bins_query(height_field* field, float x0, float z0, float x1, float z1, size_t* count) {
  *count = 0;
  if (!field->decals.data || !field->decal_scratch[0].data) return nullptr;
  const int c0 = bin_of(field, x0), c1 = bin_of(field, x1), r0 = bin_of(field, z0), r1 = bin_of(field, z1);
  if (c0 == c1 && r0 == r1) {
    *count = field->decal_bins[r0][c0].count;
    return bin_data(&field->decal_bins[r0][c0]);
  }
  // Merge bin after bin into the scratch lists, alternating.
  int current = 0;
  field->decal_scratch[0].count = 0;
  for (int r = r0; r <= r1; r++)
    for (int c = c0; c <= c1; c++) {
      const growable_array* bin = &field->decal_bins[r][c];
      growable_array* from = &field->decal_scratch[current];
      growable_array* to = &field->decal_scratch[current ^ 1];
      to->count = 0;
      size_t i = 0, j = 0;
      while (i < from->count || j < bin->count) {
        int32_t v;
        if (j >= bin->count || (i < from->count && bin_data(from)[i] <= bin_data(bin)[j])) {
          v = bin_data(from)[i++];
          if (j < bin->count && bin_data(bin)[j] == v) j++;
        } else {
          v = bin_data(bin)[j++];
        }
        if (!growable_array_append(to, &v)) break;
      }
      current ^= 1;
    }
  *count = field->decal_scratch[current].count;
  return bin_data(&field->decal_scratch[current]);
}

// ---------------------------------------------------------------------------
// Span painters.

uint8_t ground_blend(int s, int a, int d) {
  if (a == 0) return (uint8_t)d;
  if (a == 255) return (uint8_t)s;
  // The products reach 65535^2: unsigned, or bright translucent pixels
  // overflow.
  uint32_t c = (((uint32_t)(s * 257) * (uint32_t)(a * 257)) >> 16) +
               (((uint32_t)(d * 257) * (uint32_t)((255 - a) * 257)) >> 16);
  if (c > 65535) c = 65535;
  return (uint8_t)(c >> 8);
}

void ground_span_nearest(uint8_t* out, int count, const uint8_t* image, int w, int h, int32_t u, int32_t v,
                         int32_t du, int32_t dv) {
  for (int k = 0; k < count; k++, out += 3, u += du, v += dv) {
    uint32_t tx = (uint32_t)u >> 16, ty = (uint32_t)v >> 16;
    if (tx > (uint32_t)(w - 1)) tx = (uint32_t)(w - 1);
    if (ty > (uint32_t)(h - 1)) ty = (uint32_t)(h - 1);
    const uint8_t* t = image + 4 * (tx + (size_t)w * ty);
    for (int c = 0; c < 3; c++) out[c] = ground_blend(t[c], t[3], out[c]);
  }
}

void ground_span_bilinear(uint8_t* out, int count, const uint8_t* image, int w, int h, int32_t u, int32_t v,
                          int32_t du, int32_t dv) {
  const int64_t umax = (int64_t)(w - 1) * 65536 - 1, vmax = (int64_t)(h - 1) * 65536 - 1;
  for (int k = 0; k < count; k++, out += 3, u += du, v += dv) {
    int64_t uu = (int64_t)u - 32768, vv = (int64_t)v - 32768;
    uu = uu < 0 ? 0 : uu > umax ? (umax < 0 ? 0 : umax) : uu;
    vv = vv < 0 ? 0 : vv > vmax ? (vmax < 0 ? 0 : vmax) : vv;
    const int x0 = (int)(uu >> 16), y0 = (int)(vv >> 16);
    const int x1 = x0 + 1 < w ? x0 + 1 : x0, y1 = y0 + 1 < h ? y0 + 1 : y0;
    const uint32_t fx = (uint32_t)(uu & 65535), fy = (uint32_t)(vv & 65535);
    const uint8_t* t00 = image + 4 * (x0 + (size_t)w * y0);
    const uint8_t* t10 = image + 4 * (x1 + (size_t)w * y0);
    const uint8_t* t01 = image + 4 * (x0 + (size_t)w * y1);
    const uint8_t* t11 = image + 4 * (x1 + (size_t)w * y1);
    int texel[4];
    for (int c = 0; c < 4; c++) {
      const uint32_t top = (t00[c] * (65535 - fx) + t10[c] * fx) >> 16;
      const uint32_t bottom = (t01[c] * (65535 - fx) + t11[c] * fx) >> 16;
      uint32_t value = (top * (65535 - fy) + bottom * fy) >> 16;
      // The weights sum to 65535, so a full texel loses one step: round it
      // back where all four agree.
      if (t00[c] == t10[c] && t00[c] == t01[c] && t00[c] == t11[c]) value = t00[c];
      texel[c] = value > 255 ? 255 : (int)value;
    }
    for (int c = 0; c < 3; c++) out[c] = ground_blend(texel[c], texel[3], out[c]);
  }
}

// ---------------------------------------------------------------------------
// Compositing on the processor.

namespace {

// The level of an RGBA chain to sample at about `pixels` pixels across,
// halving while both sides exceed it and stay at least 2.
const uint8_t* pick_mip(const uint8_t* image, int* w, int* h, float pixels) {
  while (*w >= 2 && *h >= 2 && (float)*w > pixels && (float)*h > pixels) {
    image += (size_t)*w * *h * 4;
    *w /= 2;
    *h /= 2;
  }
  return image;
}

void reshade_region(height_field* field, int c0, int r0, int c1, int r1) {
  if (!field->vertex_dirty || !field->shading) return;
  const int r = field->size;
  for (int row = clamp_int(r0, 0, r - 1); row <= clamp_int(r1, 0, r - 1); row++)
    for (int col = clamp_int(c0, 0, r - 1); col <= clamp_int(c1, 0, r - 1); col++) {
      const int64_t k = col + (int64_t)r * row;
      if (!bitmap_test(field->vertex_dirty, k)) continue;
      terrain_shade_vertex(field, col, row, field->shading + 3 * k);
      bitmap_clear(field->vertex_dirty, k);
    }
}

}  // namespace

void ground_paint_decal_cpu(height_field* field, const decal* d, int x, int z, int size, uint8_t* out) {
  if (!d->image || d->image_width < 1 || d->image_height < 1 || d->extent_a <= 0.0f || d->extent_b <= 0.0f) return;
  const int bs = field->block_size;
  const double pixel = 2.0 * size * field->spacing / bs;  // world size of a pixel
  const double origin_x = 2.0 * x * field->spacing, origin_z = 2.0 * z * field->spacing;
  // Decal coordinates (s, t), 0..1 over the decal, at a pixel centre, and
  // their steps along a row and down a column.
  // extent_a lies along (cos, -sin) and extent_b along (sin, cos): the
  // decal's heading (-sin, -cos) runs along extent_b, as the editor shows it.
  const double ca = d->cos_angle, sa = -d->sin_angle, a = d->extent_a, b = d->extent_b;
  const double ds_x = pixel * ca / a, dt_x = -pixel * sa / b;
  const double ds_z = pixel * sa / a, dt_z = pixel * ca / b;
  int w = d->image_width, h = d->image_height;
  const uint8_t* image = d->image;
  // Pick the level whose texel is about a pixel along both axes.
  while (w >= 2 && h >= 2) {
    const double ux = ds_x * w, vx = dt_x * h, uz = ds_z * w, vz = dt_z * h;
    if (ux * ux + vx * vx < 4.0 || uz * uz + vz * vz < 4.0) break;
    image += (size_t)w * h * 4;
    w /= 2;
    h /= 2;
  }
  const double ux = ds_x * w, vx = dt_x * h, uz = ds_z * w, vz = dt_z * h;
  const int bilinear = ux * ux + vx * vx < 1.0 || uz * uz + vz * vz < 1.0;
  const int32_t du = (int32_t)std::lround(ds_x * w * 65536.0), dv = (int32_t)std::lround(dt_x * h * 65536.0);
  for (int py = 0; py < bs; py++) {
    const double wz = origin_z + (py + 0.5) * pixel - d->z;
    const double wx = origin_x + 0.5 * pixel - d->x;
    const double s0 = (wx * ca + wz * sa) / a + 0.5;
    const double t0 = (-wx * sa + wz * ca) / b + 0.5;
    // The span of pixels whose centres lie inside the decal on this row.
    double lo = 0.0, hi = bs - 1;
    auto limit = [&](double start, double step) {
      if (step == 0.0) {
        if (start < 0.0 || start >= 1.0) hi = -1.0;
        return;
      }
      double p0 = (0.0 - start) / step, p1 = (1.0 - start) / step;
      if (p0 > p1) std::swap(p0, p1);
      if (p0 > lo) lo = p0;
      if (p1 < hi) hi = p1;
    };
    limit(s0, ds_x);
    limit(t0, dt_x);
    // A step of almost nothing (a decal turned a right angle in floats)
    // puts the limits far out; lo and hi stay inside the row only while
    // they do not cross.
    if (!(lo <= hi)) continue;
    int first = (int)std::ceil(lo), last = (int)std::floor(hi);
    // Keep the ends strictly inside (a centre exactly on the far edge is out).
    while (first <= last) {
      const double s = s0 + ds_x * first, t = t0 + dt_x * first;
      if (s >= 0.0 && s < 1.0 && t >= 0.0 && t < 1.0) break;
      first++;
    }
    while (last >= first) {
      const double s = s0 + ds_x * last, t = t0 + dt_x * last;
      if (s >= 0.0 && s < 1.0 && t >= 0.0 && t < 1.0) break;
      last--;
    }
    if (first > last) continue;
    const int32_t u = (int32_t)std::lround((s0 + ds_x * first) * w * 65536.0);
    const int32_t v = (int32_t)std::lround((t0 + dt_x * first) * h * 65536.0);
    uint8_t* row = out + 3 * ((size_t)bs * py + first);
    if (bilinear)
      ground_span_bilinear(row, last - first + 1, image, w, h, u, v, du, dv);
    else
      ground_span_nearest(row, last - first + 1, image, w, h, u, v, du, dv);
  }
}

int ground_compose_region(height_field* field, int x, int z, int size, uint8_t* out) {
  const int bs = field->block_size;
  const int q = 1 << field->n;
  std::memset(out, 0, (size_t)bs * bs * 3);
  reshade_region(field, 2 * x, 2 * z, 2 * (x + size), 2 * (z + size));
  const float per_tile = (float)bs / (float)size;
  // The mip level of every tile image, chosen once for the region.
  const uint8_t* level[tile_table_size];
  int lw[tile_table_size], lh[tile_table_size];
  for (int t = 0; t < field->tile_count; t++) {
    lw[t] = field->tile_image_width[t];
    lh[t] = field->tile_image_height[t];
    level[t] = field->tile_image_pixels[t] ? pick_mip(field->tile_image_pixels[t], &lw[t], &lh[t], per_tile) : nullptr;
  }
  for (int py = 0; py < bs; py++) {
    const double fz = (py + 0.5) * size / bs;
    const int tz = clamp_int(z + (int)fz, 0, q - 1);
    const double vz = fz - std::floor(fz);
    for (int px = 0; px < bs; px++) {
      const double fx = (px + 0.5) * size / bs;
      const int tx = clamp_int(x + (int)fx, 0, q - 1);
      const int tile = field->tilemap[tx + q * tz];
      const uint8_t* image = level[tile];
      if (!image) continue;
      const double vx = fx - std::floor(fx);
      const int sx = clamp_int((int)((0.0625 + 0.875 * vx) * lw[tile]), 0, lw[tile] - 1);
      const int sy = clamp_int((int)((0.0625 + 0.875 * vz) * lh[tile]), 0, lh[tile] - 1);
      std::memcpy(out + 3 * ((size_t)bs * py + px), image + 4 * (sx + (size_t)lw[tile] * sy), 3);
    }
  }
  if (!field->hide_decals && field->decals.data) {
    const float x0 = 2.0f * x * field->spacing, z0 = 2.0f * z * field->spacing;
    const float span = 2.0f * size * field->spacing;
    size_t count = 0;
    const int32_t* list = decal_bins_query(field, x0, z0, x0 + span, z0 + span, &count);
    for (size_t i = 0; i < count; i++) ground_paint_decal_cpu(field, decal_at(field, list[i]), x, z, size, out);
    field->composited_count += (int)count;
    field->decals_drawn += (int)count;
  }
  // Times the shading, bilinear over the vertices at each pixel centre; the
  // shading is held at half scale, so 128 leaves the pixel as it is.
  const int r = field->size;
  for (int py = 0; py < bs; py++) {
    const double cz = 2.0 * z + (py + 0.5) * 2.0 * size / bs;
    const int j0 = clamp_int((int)std::floor(cz), 0, r - 1), j1 = clamp_int(j0 + 1, 0, r - 1);
    const int64_t wz = (int64_t)((cz - std::floor(cz)) * 65536.0);
    for (int px = 0; px < bs; px++) {
      const double cx = 2.0 * x + (px + 0.5) * 2.0 * size / bs;
      const int i0 = clamp_int((int)std::floor(cx), 0, r - 1), i1 = clamp_int(i0 + 1, 0, r - 1);
      const int64_t wx = (int64_t)((cx - std::floor(cx)) * 65536.0);
      uint8_t* p = out + 3 * ((size_t)bs * py + px);
      for (int c = 0; c < 3; c++) {
        const int64_t s00 = field->shading[3 * (i0 + (int64_t)r * j0) + c], s10 = field->shading[3 * (i1 + (int64_t)r * j0) + c];
        const int64_t s01 = field->shading[3 * (i0 + (int64_t)r * j1) + c], s11 = field->shading[3 * (i1 + (int64_t)r * j1) + c];
        const int64_t top = s00 * (65536 - wx) + s10 * wx, bottom = s01 * (65536 - wx) + s11 * wx;
        const int64_t shade = (top * (65536 - wz) + bottom * wz) >> 16;  // 16.16
        const int64_t value = (p[c] * shade) >> 23;
        p[c] = (uint8_t)(value > 255 ? 255 : value);
      }
    }
  }
  return size * size;
}

// ---------------------------------------------------------------------------
// The per-frame driver.

namespace {

uint8_t* scratch(height_field* field) {
  if (!field->scratch_image) field->scratch_image = (uint8_t*)xmalloc(ground_scratch_bytes);
  return field->scratch_image;
}

void build_region(height_field* field, const uint32_t* const* sets, int x, int z, int size) {
  uint32_t textures[3] = {0, 0, 0};
  const int count = field->normal_mapped ? 3 : 1;
  for (int s = 0; s < count; s++) textures[s] = sets[s] ? *sets[s] : 0;
  field->composited_count++;
  if (field->texture_mode == 1) {
    uint8_t* image = scratch(field);
    ground_compose_region(field, x, z, size, image);
    if (ground_mipmaps) image_build_mips_rgb(image, field->block_size, field->block_size);
    if (ground_gl.upload_region) ground_gl.upload_region(field, textures[0], image, field->block_size);
  } else if (ground_gl.render_region) {
    ground_gl.render_region(field, textures, x, z, size);
  }
}

void build_block(height_field* field, int bx, int bz) {
  const int blocks = terrain_block_count(field);
  const uint32_t* sets[3] = {nullptr, nullptr, nullptr};
  for (int s = 0; s < 3; s++)
    if (field->block_textures[s]) sets[s] = &field->block_textures[s][bx + blocks * bz];
  build_region(field, sets, 64 * bx, 64 * bz, 64);
  field->block_stamps[bx + blocks * bz] = 0;
}

void build_slot(height_field* field, int level, int j, int k) {
  const int ox = lod_window_origin(field->lod_centre[0], level, field->n);
  const int oz = lod_window_origin(field->lod_centre[1], level, field->n);
  const uint32_t* sets[3] = {&field->lod_textures[0][level][j][k], &field->lod_textures[1][level][j][k],
                             &field->lod_textures[2][level][j][k]};
  build_region(field, sets, (ox + k) << level, (oz + j) << level, 1 << level);
  field->lod_ready[level][j][k] = 1;
  field->lod_texture_stamps[level][j][k] = 0;
}

// Moves a level's window from old_centre to the camera: ids still inside
// keep their content, the leaving ones serve the entering slots.
void place_window(height_field* field, int level, const int old_centre[2]) {
  const int n = field->n;
  const int far = old_centre[0] < -999999 || old_centre[1] < -999999;
  const int mx = far ? 4 : lod_window_origin(field->lod_centre[0], level, n) - lod_window_origin(old_centre[0], level, n);
  const int mz = far ? 4 : lod_window_origin(field->lod_centre[1], level, n) - lod_window_origin(old_centre[1], level, n);
  if (mx == 0 && mz == 0) return;
  const int size = lod_texture_window;
  for (int set = 0; set < 3; set++) {
    uint32_t old[lod_texture_window][lod_texture_window];
    std::memcpy(old, field->lod_textures[set][level], sizeof old);
    for (int j = 0; j < size; j++)
      for (int k = 0; k < size; k++) field->lod_textures[set][level][j][k] = old[(j + mz) & 3][(k + mx) & 3];
  }
  int32_t ready[lod_texture_window][lod_texture_window], stamps[lod_texture_window][lod_texture_window];
  std::memcpy(ready, field->lod_ready[level], sizeof ready);
  std::memcpy(stamps, field->lod_texture_stamps[level], sizeof stamps);
  for (int j = 0; j < size; j++)
    for (int k = 0; k < size; k++) {
      const int oj = j + mz, ok = k + mx;
      const int inside = !far && oj >= 0 && ok >= 0 && oj < size && ok < size;
      field->lod_ready[level][j][k] = inside ? ready[oj][ok] : 0;
      field->lod_texture_stamps[level][j][k] = inside ? stamps[oj][ok] : 0;
    }
}

}  // namespace

void update_ground_textures(height_field* field) {
  if (!field->heights || !field->block_stamps) return;
  if (ati_workaround < 0 && ground_gl.renderer) {
    const char* renderer = ground_gl.renderer();
    ati_workaround = renderer && std::strstr(renderer, "ATI Radeon X1270") ? 1 : 0;
    if (ati_workaround) log_printf("Working around ATI Radeon X1270 bug\n");
  }
  const int blocks = terrain_block_count(field);
  for (int bz = 0; bz < blocks; bz++)
    for (int bx = 0; bx < blocks; bx++)
      if (field->block_stamps[bx + blocks * bz] == -1) build_block(field, bx, bz);

  const int old_centre[2] = {field->lod_centre[0], field->lod_centre[1]};
  field->lod_centre[0] = (int)std::floor(field->camera_position[0] / field->spacing);
  field->lod_centre[1] = (int)std::floor(field->camera_position[2] / field->spacing);
  field->composited_count = 0;
  for (int level = lod_texture_levels - 1; level >= 0; level--) place_window(field, level, old_centre);

  const int l0 = lowest_level();
  for (int level = lod_texture_levels - 1; level >= l0; level--) {
    int done = 0;
    for (int j = 0; j < lod_texture_window && !done; j++)
      for (int k = 0; k < lod_texture_window && !done; k++)
        if (!field->lod_ready[level][j][k]) {
          build_slot(field, level, j, k);
          done = 1;
        }
  }

  // The oldest stale texture: LOD slots first, a later one winning only when
  // strictly older.
  int32_t oldest = 0;
  int which = -1, wl = 0, wj = 0, wk = 0;
  for (int level = l0; level < lod_texture_levels; level++)
    for (int j = 0; j < lod_texture_window; j++)
      for (int k = 0; k < lod_texture_window; k++) {
        const int32_t s = field->lod_texture_stamps[level][j][k];
        if (s > 0 && (which < 0 || s < oldest)) {
          oldest = s;
          which = 0;
          wl = level;
          wj = j;
          wk = k;
        }
      }
  for (int b = 0; b < blocks * blocks; b++) {
    const int32_t s = field->block_stamps[b];
    if (s > 0 && (which < 0 || s < oldest)) {
      oldest = s;
      which = 1;
      wj = b / blocks;
      wk = b % blocks;
    }
  }
  if (which == 0) build_slot(field, wl, wj, wk);
  if (which == 1) build_block(field, wk, wj);
}

void build_low_detail_textures(height_field* field, uint8_t* out, int x0, int z0, int w, int h) {
  const int r = field->size;
  for (int j = 0; j < h; j++)
    for (int i = 0; i < w; i++) {
      const int col = clamp_int(x0 + i, 0, r - 1), row = clamp_int(z0 + j, 0, r - 1);
      const int64_t k = col + (int64_t)r * row;
      const uint8_t* from;
      if (field->normal_mapped && field->normal_bytes) {
        if (field->normal_dirty && bitmap_test(field->normal_dirty, k)) {
          terrain_pack_normal(field, col, row, field->normal_bytes + 3 * k);
          bitmap_clear(field->normal_dirty, k);
        }
        from = field->normal_bytes + 3 * k;
      } else {
        if (field->vertex_dirty && bitmap_test(field->vertex_dirty, k)) {
          terrain_shade_vertex(field, col, row, field->shading + 3 * k);
          bitmap_clear(field->vertex_dirty, k);
        }
        from = field->shading + 3 * k;
      }
      std::memcpy(out + 3 * (i + (size_t)w * j), from, 3);
    }
}

// Texels a side of low-detail texture k: the smallest power of two holding
// the cells left from its origin plus its borders, at most 512.
int ground_low_detail_side(const height_field* field, int k) {
  const int need = (1 << (field->n + 1)) - 384 * k + 128;
  int p = 1;
  while (p < need && p < 512) p <<= 1;
  return p;
}

void ground_upload_stale_lod(height_field* field, int limit) {
  if (field->texture_mode == 1 || !field->low_detail_dirty) return;
  const int w = field->low_detail_count;
  const int total = w * w;
  int done = 0;
  for (int examined = 0; examined < total; examined++) {
    if (limit > 0 && done >= limit) break;
    const int k = field->low_detail_cursor;
    field->low_detail_cursor = (k + 1) % total;
    if (!bitmap_test(field->low_detail_dirty, k)) continue;
    bitmap_clear(field->low_detail_dirty, k);
    const int kx = k % w, kz = k / w;
    invalidate(field, 384 * kx, 384 * kz, 384 * kx + 383, 384 * kz + 383);
    const int sx = ground_low_detail_side(field, kx), sz = ground_low_detail_side(field, kz);
    uint8_t* image = scratch(field);
    build_low_detail_textures(field, image, 384 * kx - 64, 384 * kz - 64, sx, sz);
    if (ground_gl.upload_low_detail && field->low_detail_textures)
      ground_gl.upload_low_detail(field->low_detail_textures[k], image, sx, sz);
    done++;
  }
}

int ground_texture_stats(const height_field* field) {
  if (!field->block_stamps) return 0;
  int32_t oldest = 0;
  for (int level = lowest_level(); level < lod_texture_levels; level++)
    for (int j = 0; j < lod_texture_window; j++)
      for (int k = 0; k < lod_texture_window; k++) {
        const int32_t s = field->lod_texture_stamps[level][j][k];
        if (s > 0 && (oldest == 0 || s < oldest)) oldest = s;
      }
  const int blocks = terrain_block_count(field);
  for (int b = 0; b < blocks * blocks; b++) {
    const int32_t s = field->block_stamps[b];
    if (s > 0 && (oldest == 0 || s < oldest)) oldest = s;
  }
  return oldest ? field->generation - oldest : 0;
}

int ground_count_dirty(const height_field* field) {
  if (!field->low_detail_dirty) return 0;
  int count = 0;
  for (int k = 0; k < field->low_detail_count * field->low_detail_count; k++) count += bitmap_test(field->low_detail_dirty, k);
  return count;
}
