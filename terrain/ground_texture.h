#pragma once
// The ground-texture compositor. Each region texture of the ground (a block
// of 64 x 64 tiles, or a slot of the 4 x 4 LOD windows round the camera) is
// composed from the tile images of the tile map, the decals over it and
// the baked shading. Regions go stale with the draw-frame `generation` when
// heights or decals change, and are rebuilt later, oldest first, a few a
// frame.
//
// Mode 1 composes on the processor into a buffer (everything here but the
// upload works without GL); modes 2 and 3 render with the driver through
// ground_gl, which ground_gl_install fills in.
#include <cstddef>
#include <cstdint>

struct height_field;
struct decal;

// Set by detect_mmx; the span painters have no separate path for it.
extern int mmx_available;
// -1 not yet checked, 0 no, 1 the renderer needs large decals split.
extern int ati_workaround;
// The "ground_mipmaps" setting.
extern int ground_mipmaps;

void detect_mmx();

// The GL side of the compositor; null entries (tools, tests) skip the GL
// work and leave the data as if it had run.
struct ground_gl_table {
  // Uploads `pixels` (RGB, size x size, with its chain behind it when
  // ground_mipmaps is on) into `texture`.
  void (*upload_region)(height_field* field, uint32_t texture, const uint8_t* pixels, int size);
  // Renders region (x, z, size in tiles) into the textures of `textures`
  // (one, or three with normal mapping) in mode 2 or 3.
  void (*render_region)(height_field* field, const uint32_t* textures, int x, int z, int size);
  // Uploads a width x height RGB image into low-detail texture `texture`.
  void (*upload_low_detail)(uint32_t texture, const uint8_t* pixels, int width, int height);
  // The GL renderer string, or null.
  const char* (*renderer)();
};
extern ground_gl_table ground_gl;

// Marks the regions over an inclusive cell rectangle stale (mode 1), or the
// low-detail textures over it (modes 2 and 3).
void ground_mark_dirty(height_field* field, int x0, int z0, int x1, int z1);
// The same with the rectangle clamped to the grid first.
void ground_mark_dirty_clamped(height_field* field, int x0, int z0, int x1, int z1);
// The mode-1 marking whatever the mode.
void ground_invalidate_rect(height_field* field, int x0, int z0, int x1, int z1);

// Decal bins: 8 x 8 lists of decal indices over the world square, each
// ascending (decal_bin_insert, with the decal list, is in decals.h).
// Creates the decal list, the scratch lists and the bins where missing.
void decal_bins_init(height_field* field);
// Stamps the regions under decal i stale. An editor change to a decal
// marks it before and after the change.
void decal_mark_dirty(height_field* field, int index);
void decal_bin_remove(height_field* field, int index);
void decal_bins_renumber(height_field* field, int from, int delta);
// Empties the bins and inserts every decal again, marking each.
void decal_bins_rebuild(height_field* field);
// Decal indices over the world rectangle, ascending and without repeats. The
// list belongs to the field (a bin's own list, or a scratch list) and is
// good until the next query. Sets *count.
const int32_t* decal_bins_query(height_field* field, float x0, float z0, float x1, float z1, size_t* count);
// Bins a decal covers: columns *c0..*c1, rows *r0..*r1.
void decal_bin_range(const height_field* field, const decal* d, int* c0, int* r0, int* c1, int* r1);

// Composes region (x, z, size in tiles) on the processor into `out`
// (block_size^2 RGB pixels, rows by z), re-shading the vertices it needs.
// Returns the number of tiles composed.
int ground_compose_region(height_field* field, int x, int z, int size, uint8_t* out);

// Span painters over one row of RGB pixels from an RGBA image of w x h, at
// 16.16 texture coordinates (u, v) stepping (du, dv) a pixel.
void ground_span_nearest(uint8_t* out, int count, const uint8_t* image, int w, int h, int32_t u, int32_t v,
                         int32_t du, int32_t dv);
void ground_span_bilinear(uint8_t* out, int count, const uint8_t* image, int w, int h, int32_t u, int32_t v,
                          int32_t du, int32_t dv);
// One channel of source s with alpha a over destination d.
uint8_t ground_blend(int s, int a, int d);
// Paints decal `d` over region (x, z, size in tiles) of `out`.
void ground_paint_decal_cpu(height_field* field, const decal* d, int x, int z, int size, uint8_t* out);

// Once a frame before drawing: builds the never-built blocks, places the LOD
// windows round the camera, builds one newly exposed slot per level and the
// oldest stale texture.
void update_ground_textures(height_field* field);
// Re-renders up to `limit` dirty low-detail textures (0: all); nothing in
// mode 1.
void ground_upload_stale_lod(height_field* field, int limit);
// Shading (or packed normals) of the w x h vertex rectangle from (x0, z0),
// refreshed where dirty, copied into `out` (3 bytes a vertex, coordinates
// clamped to the grid).
void build_low_detail_textures(height_field* field, uint8_t* out, int x0, int z0, int w, int h);

// Texels a side of low-detail texture k (per axis): the smallest power of
// two holding the cells from its origin plus its borders, at most 512.
int ground_low_detail_side(const height_field* field, int k);

// "Terrain texture age": generation minus the oldest stale stamp (0: none).
int ground_texture_stats(const height_field* field);
// "Reshades pending": low-detail textures waiting.
int ground_count_dirty(const height_field* field);

// The ground's GL side: fills ground_gl, the texture hooks of the terrain
// and the LOD upload hooks. Call once the extensions are loaded.
void ground_gl_install();
// A block_size square RGB checkerboard of `check`-texel squares (white
// where (column / check) xor (row / check) is odd), scaled by grey / 255.
// 0 on failure.
uint32_t make_placeholder_texture(height_field* field, int check, int grey);
// The checkerboard itself, for the texture above and for tests.
void placeholder_pixels(uint8_t* out, int size, int check, int grey);
