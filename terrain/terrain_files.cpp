// Loading and saving the terrain files of a track folder.
#include "terrain/terrain_files.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/rmd160.h"
#include "core/stream.h"
#include "terrain/bitmap.h"
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_settings.h"
#include "terrain/track_lighting.h"

static char* track_path(const char* folder, const char* name) {
  const size_t length = std::strlen(folder) + std::strlen(name) + 2;
  char* path = (char*)xmalloc(length);
  std::snprintf(path, length, "%s/%s", folder, name);
  return path;
}

stream* open_track_file(const char* folder, const char* name, const char* mode, int report) {
  char* path = track_path(folder, name);
  stream* s = stream_open(path, mode);
  if (!s && report) console_printf("Can't open '%.950s'", path);
  check_free(path);
  return s;
}

static void* zeroed(size_t bytes) {
  void* p = xmalloc(bytes);
  std::memset(p, 0, bytes);
  return p;
}

static int fail_load(height_field* field, stream* s, const char* message) {
  if (message) console_print(message);
  if (s) stream_close(s);
  free_terrain(field);
  return 0;
}

// Header sanity: the grid must be one the game can hold and draw, and the
// height range must be a range.
int terrain_header_is_sound(int n, float spacing, float minimum, float maximum) {
  return n >= terrain_min_n && n <= terrain_max_n && std::isfinite(spacing) && spacing > 0.0f &&
         std::isfinite(minimum) && std::isfinite(maximum) && maximum >= minimum;
}

static float sample_height(const height_field* field, uint16_t v) {
  return (float)((double)field->min_height +
                 (double)v * ((double)field->max_height - (double)field->min_height) / 65535.0);
}

// Fills the heights from the samples after ':' in terrain.hf. 0 when the
// file ends early.
static int read_binary_heights(height_field* field, stream* s, rmd160_context* digest) {
  const int r = field->size;
  uint8_t* row = (uint8_t*)xmalloc(2 * (size_t)r);
  int ok = 1;
  for (int j = 0; j < r && ok; j++) {
    if (stream_read(s, row, 2 * (uint32_t)r) != 2 * (uint32_t)r) {
      ok = 0;
      break;
    }
    rmd160_update(digest, row, 2 * (size_t)r);
    for (int i = 0; i < r; i++)
      field->heights[i + (size_t)r * j] = sample_height(field, (uint16_t)(row[2 * i] | row[2 * i + 1] << 8));
  }
  check_free(row);
  return ok;
}

// Fills the heights from terrain.png of the folder; a smaller image repeats
// its last row and column, a missing one leaves every height at the
// minimum. 0 when the picture is there but can't be read: a damaged file
// must not pass for a flat track.
static int read_png_heights(height_field* field, const char* folder, rmd160_context* digest) {
  const int r = field->size;
  char* path = track_path(folder, "terrain.png");
  uint16_t* samples = nullptr;
  int width = 0, height = 0;
  const int read = image_load_png_gray(path, &samples, &width, &height);
  if (!read) {
    samples = nullptr;
    stream* there = stream_open(path, "rb");
    if (there) {
      stream_close(there);
      console_printf("Can't read '%s'", path);
      check_free(path);
      return 0;
    }
  }
  if (read == 2) field->save_lock = 1;
  check_free(path);
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) {
      const uint16_t v = samples ? samples[(size_t)(j < height ? j : height - 1) * width + (i < width ? i : width - 1)] : 0;
      const uint8_t bytes[2] = {(uint8_t)(v & 255), (uint8_t)(v >> 8)};
      rmd160_update(digest, bytes, 2);
      field->heights[i + (size_t)r * j] = sample_height(field, v);
    }
  check_free(samples);
  return 1;
}

static void choose_texture_mode(height_field* field, int requested_mode) {
  field->texture_mode = 0;
  field->framebuffer = 0;
  const int dim_below_256 = ground_texture_dim < 256 ? ground_texture_dim : 256;
  if (requested_mode == 3 && terrain_textures.create_framebuffer &&
      (field->framebuffer = terrain_textures.create_framebuffer()) != 0) {
    field->block_size = ground_texture_dim;
    field->texture_mode = 3;
    console_print("Terrain texture rendering with framebuffer objects");
  } else if (requested_mode == 2) {
    field->block_size = dim_below_256;
    field->texture_mode = 2;
    console_print("Terrain texture rendering with CopyTexSubImage");
  } else {
    field->block_size = dim_below_256;
    field->texture_mode = 1;
    console_print("Terrain texture rendering with TexSubImage");
  }
}

static int load_shading(height_field* field, const char* folder) {
  int halve = 0;
  stream* s = open_track_file(folder, "shadingx2.ppm", "rb", 0);
  if (!s) {
    s = open_track_file(folder, "shading.ppm", "rb", 1);
    if (!s) return 0;
    halve = 1;
  }
  uint8_t* pixels = nullptr;
  int width = 0, height = 0;
  const int ok = image_read(s, &pixels, &width, &height, halve ? "shading.ppm" : "shadingx2.ppm");
  stream_close(s);
  if (!ok) {
    console_print("Error reading shading");
    return 0;
  }
  if (width != field->size || height != field->size) {
    console_printf("Bad shading dimensions (%dx%d)", width, height);
    check_free(pixels);
    return 0;
  }
  const size_t bytes = (size_t)field->size * field->size * 3;
  field->shading = (uint8_t*)xmalloc(bytes);
  for (size_t k = 0; k < bytes; k++) field->shading[k] = halve ? (uint8_t)(pixels[k] >> 1) : pixels[k];
  check_free(pixels);
  return 1;
}

static int load_shadows(height_field* field, const char* folder) {
  const size_t count = (size_t)field->size * field->size;
  stream* s = open_track_file(folder, "shadows.pgm", "rb", 0);
  if (!s) {
    field->shadows = (uint8_t*)zeroed(count);
    return 1;
  }
  uint8_t* pixels = nullptr;
  int width = 0, height = 0;
  const int ok = image_read_pgm(s, &pixels, &width, &height, "shadows.pgm");
  stream_close(s);
  if (!ok) {
    console_print("Error reading shadows");
    return 0;
  }
  if (width != field->size || height != field->size) {
    log_printf("Bad shadow dimensions (%dx%d)\n", width, height);
    check_free(pixels);
    return 0;
  }
  field->shadows = (uint8_t*)xmalloc(count);
  for (size_t k = 0; k < count; k++) field->shadows[k] = (uint8_t)(255 - pixels[k]);
  check_free(pixels);
  return 1;
}

static int load_tiles(height_field* field, const char* folder) {
  const char* file = "tileinfo";
  stream* s = open_track_file(folder, file, "rb", 0);
  if (s) {
    read_tileinfo(field, s);
  } else {
    file = "texturelist";
    s = open_track_file(folder, file, "rb", 1);
    if (!s) return 0;
    read_texturelist(field, s);
  }
  const int intact = stream_verify(s);
  stream_close(s);
  if (!intact) {
    console_printf("Error reading '%s'", file);
    return 0;
  }
  if (field->tile_count == 0) {
    console_printf("No tiles in '%s'", file);
    return 0;
  }
  return 1;
}

static int load_tilemap(height_field* field, const char* folder) {
  stream* s = open_track_file(folder, "tilemap", "rb", 1);
  if (!s) return 0;
  const uint32_t count = (uint32_t)1 << (2 * field->n);
  field->tilemap = (uint8_t*)xmalloc(count);
  const uint32_t got = stream_read(s, field->tilemap, count);
  const int intact = stream_verify(s);
  stream_close(s);
  if (got != count || !intact) {
    console_print("Error reading tilemap");
    return 0;
  }
  for (uint32_t k = 0; k < count; k++)
    if (field->tilemap[k] >= field->tile_count) field->tilemap[k] = (uint8_t)(field->tile_count - 1);
  return 1;
}

// The data of the ground textures: the GL side fills the texture arrays.
static void allocate_texture_tables(height_field* field) {
  const int blocks = terrain_block_count(field);
  const int sets = field->normal_mapped ? 3 : 1;
  if (field->texture_mode != 1) {
    const int w = ((1 << (field->n + 1)) / 128 + 2) / 3;
    field->low_detail_count = w;
    field->low_detail_textures = (uint32_t*)zeroed(sizeof(uint32_t) * (size_t)w * w);
    int p = 1;
    while (p < (1 << (field->n + 1)) - 384 * w + 512) p <<= 1;
    field->low_detail_scale = 1.0f / (float)(p < 512 ? p : 512);
    field->low_detail_dirty = (uint8_t*)zeroed((size_t)bitmap_bytes((int64_t)w * w));
    if (verbose) log_printf("%dx%d low detail textures needed for %dx%d field\n", w, w, field->size, field->size);
  }
  for (int set = 0; set < sets; set++)
    field->block_textures[set] = (uint32_t*)zeroed(sizeof(uint32_t) * (size_t)blocks * blocks);
  field->block_stamps = (int32_t*)xmalloc(sizeof(int32_t) * (size_t)blocks * blocks);
  for (int k = 0; k < blocks * blocks; k++) field->block_stamps[k] = -1;
}

static void set_geometry(height_field* field, int n, float spacing) {
  const int r = terrain_size_for(n);
  field->n = n;
  field->size = r;
  field->spacing = spacing;
  field->double_spacing = 2.0f * spacing;
  field->extent = spacing * (float)(r - 1);
  field->lod_setting = lod_error_scale;
  field->hide_decals = 0;
  field->edit_count = 1;
  field->lod_level = n;
  const size_t count = (size_t)r * r;
  field->lod_node_bits = (uint8_t*)zeroed((size_t)bitmap_bytes(terrain_lod_node_count(field)));
  field->heights = (float*)zeroed(2 * count * sizeof(float));
  field->base_heights = field->heights + count;
}

static void allocate_after_tiles(height_field* field) {
  const size_t count = (size_t)field->size * field->size;
  const int64_t triangles = terrain_triangle_count(field);
  field->vertex_dirty = (uint8_t*)zeroed((size_t)bitmap_bytes((int64_t)count));
  field->triangle_dirty = (uint8_t*)xmalloc((size_t)bitmap_bytes(triangles));
  std::memset(field->triangle_dirty, 0xFF, (size_t)bitmap_bytes(triangles));
  field->triangle_records = (float*)zeroed(sizeof(float) * 3 * (size_t)triangles);
}

int terrain_create(height_field* field, int n, float spacing) {
  free_terrain(field);
  if (!terrain_header_is_sound(n, spacing, 0.0f, 0.0f)) {
    console_printf("Bad height field parameters");
    return 0;
  }
  set_geometry(field, n, spacing);
  const size_t count = (size_t)field->size * field->size;
  const int32_t nodes = terrain_lod_node_count(field);
  field->lod_node_data_a = (float*)zeroed(sizeof(float) * (size_t)nodes);
  field->lod_node_data_b = (float*)zeroed(sizeof(float) * (size_t)nodes);
  field->texture_mode = 1;
  field->block_size = ground_texture_dim < 256 ? ground_texture_dim : 256;
  field->shading = (uint8_t*)zeroed(count * 3);
  field->shadows = (uint8_t*)zeroed(count);
  field->tilemap = (uint8_t*)zeroed((size_t)1 << (2 * n));
  field->tile_count = 1;
  allocate_after_tiles(field);
  std::memset(field->vertex_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)count));
  allocate_texture_tables(field);
  return 1;
}

// The grid's exponent comes from the header: before the field is sized by
// it, the folder must hold that grid. Binary heights need two bytes a
// vertex here; the tilemap, which every folder needs, one byte a cell.
// 1 when they do; 0 when the heights fall short, -1 the tilemap (each said).
static int terrain_files_hold(const char* folder, stream* s, int n) {
  const uint64_t r = (uint64_t)terrain_size_for(n);
  if (stream_peekc(s) == ':' && stream_remaining(s) < 1 + 2 * r * r) {
    console_printf("terrain.hf is too short for a %d x %d grid", (int)r, (int)r);
    return 0;
  }
  stream* map = open_track_file(folder, "tilemap", "rb", 1);
  if (!map) return -1;
  const uint64_t cells = (uint64_t)1 << (2 * n);
  const int holds = stream_remaining(map) >= cells;
  stream_close(map);
  if (holds) return 1;
  console_printf("tilemap is too short for a %d x %d grid", (int)r, (int)r);
  console_print("Error reading tilemap");
  return -1;
}

int load_terrain(height_field* field, const char* folder, int requested_mode) {
  free_terrain(field);
  stream* s = open_track_file(folder, "terrain.hf", "rb", 1);
  if (!s) return fail_load(field, nullptr, nullptr);
  int n = 0;
  float spacing = 0, minimum = 0, maximum = 0;
  if (stream_scanf(s, "%d %f %f %f ", &n, &spacing, &minimum, &maximum) != 4 ||
      !terrain_header_is_sound(n, spacing, minimum, maximum)) {
    console_print("Bad height field parameters");
    return fail_load(field, s, "Error reading heights");
  }
  const int hold = terrain_files_hold(folder, s, n);
  if (hold <= 0) return fail_load(field, s, hold == 0 ? "Error reading heights" : nullptr);
  set_geometry(field, n, spacing);
  field->min_height = minimum;
  field->max_height = maximum;
  const int r = field->size;
  const size_t count = (size_t)r * r;
  const int32_t nodes = terrain_lod_node_count(field);

  rmd160_context digest;
  rmd160_init(&digest);
  if (stream_getc(s) == ':') {
    // Heights from a scrambled file are not ours to write out in the clear.
    if (stream_is_scrambled(s)) field->save_lock = 1;
    if (!read_binary_heights(field, s, &digest) || !stream_verify(s))
      return fail_load(field, s, "Error reading heights");
  } else if (!read_png_heights(field, folder, &digest)) {
    return fail_load(field, s, "Error reading heights");
  }
  rmd160_final(&digest);
  if (verbose >= 2) {
    char hex[digest_hex_chars + 1];
    digest_to_hex(digest.digest, hex);
    log_printf("%s\n", hex);
  }
  std::memcpy(field->base_heights, field->heights, count * sizeof(float));
  field->lod_node_data_a = (float*)zeroed(sizeof(float) * (size_t)nodes);
  field->lod_node_data_b = (float*)zeroed(sizeof(float) * (size_t)nodes);
  terrain_lod_refresh(field, INT_MAX);
  stream_close(s);

  choose_texture_mode(field, requested_mode);
  field->normal_mapped = terrain_shaders && lighting.dynamic_lighting && field->texture_mode >= 2;

  if (!load_shading(field, folder) || !load_shadows(field, folder) || !load_tiles(field, folder) ||
      !load_tilemap(field, folder))
    return fail_load(field, nullptr, nullptr);

  allocate_after_tiles(field);

  if (field->normal_mapped) {
    field->normal_bytes = (uint8_t*)xmalloc(count * 3);
    field->normal_dirty = (uint8_t*)zeroed((size_t)bitmap_bytes((int64_t)count));
    for (int row = 0; row < r; row++)
      for (int column = 0; column < r; column++)
        terrain_pack_normal(field, column, row, field->normal_bytes + 3 * (column + (size_t)r * row));
  }
  allocate_texture_tables(field);
  if (terrain_lod_uploads.make_textures) terrain_lod_uploads.make_textures(field);
  if (stream* d = open_track_file(folder, "decals", "rb", 0)) {
    load_decals(field, d);
    stream_close(d);
  }
  return 1;
}

// Writes all bytes or reports the file.
static int write_all(stream* s, const void* bytes, uint32_t n, const char* file) {
  if (stream_write(s, bytes, n) == n) return 1;
  console_printf("Error writing '%s': %s", file, errno ? std::strerror(errno) : "write failed");
  return 0;
}

// A full disk often shows only when the last buffer goes out at the close.
static int finish_file(stream* s, const char* file, int ok) {
  if (stream_close_file(s) != 0 && ok) {
    console_printf("Error writing '%s': %s", file, std::strerror(errno));
    ok = 0;
  }
  check_free(s);
  return ok;
}

// The file could not be created; errno says why.
static void report_open(const char* file) { console_printf("Can't open '%s': %s", file, std::strerror(errno)); }

static int save_shading(height_field* field, const char* folder, const char* file, int doubled) {
  stream* s = open_track_file(folder, file, "wb", 0);
  if (!s) {
    report_open(file);
    return 0;
  }
  const int r = field->size;
  int ok = stream_printf(s, "P6\n%d %d\n255\n", r, r) > 0;
  if (!ok) console_printf("Error writing '%s': %s", file, std::strerror(errno));
  uint8_t* row = (uint8_t*)xmalloc(3 * (size_t)r);
  for (int j = 0; j < r && ok; j++) {
    const uint8_t* held = field->shading + 3 * (size_t)r * j;
    for (int k = 0; k < 3 * r; k++) row[k] = doubled ? (uint8_t)(held[k] >= 128 ? 255 : 2 * held[k]) : held[k];
    ok = write_all(s, row, 3 * (uint32_t)r, file);
  }
  check_free(row);
  return finish_file(s, file, ok);
}

int save_terrain(height_field* field, const char* folder) {
  if (!field->heights) return 0;
  const int r = field->size;
  const size_t count = (size_t)r * r;
  float minimum = field->heights[0], maximum = field->heights[0];
  for (size_t k = 1; k < count; k++) {
    if (field->heights[k] < minimum) minimum = field->heights[k];
    if (field->heights[k] > maximum) maximum = field->heights[k];
  }
  // Keep the range as the header will give it back, so the samples are
  // quantised against what the loader will read.
  char header[160];
  std::snprintf(header, sizeof header, "%f %f", minimum, maximum);
  char* end;
  minimum = std::strtof(header, &end);
  maximum = std::strtof(end, nullptr);
  field->min_height = minimum;
  field->max_height = maximum;

  stream* s = open_track_file(folder, "terrain.hf", "wb", 0);
  if (!s) {
    report_open("terrain.hf");
    return 0;
  }
  const int written = stream_printf(s, "%d %f %f %f\n", field->n, field->spacing, minimum, maximum) > 0;
  if (!written) console_printf("Error writing 'terrain.hf': %s", std::strerror(errno));
  if (!finish_file(s, "terrain.hf", written)) return 0;

  uint16_t* samples = (uint16_t*)xmalloc(count * sizeof(uint16_t));
  const double range = (double)maximum - (double)minimum;
  for (size_t k = 0; k < count; k++) {
    double q = range > 0.0 ? std::trunc(((double)field->heights[k] - minimum) / range * 65535.0 + 0.5) : 0.0;
    q = q < 0.0 ? 0.0 : q > 65535.0 ? 65535.0 : q;
    samples[k] = (uint16_t)q;
  }
  char* path = track_path(folder, "terrain.png");
  errno = 0;
  const int png_ok = image_write_png(path, samples, r, r);
  const int why = errno;
  check_free(path);
  check_free(samples);
  if (!png_ok) {
    console_printf("Error writing 'terrain.png': %s", why ? std::strerror(why) : "write failed");
    return 0;
  }

  refresh_terrain_normals(field);
  if (!save_shading(field, folder, "shading.ppm", 1) || !save_shading(field, folder, "shadingx2.ppm", 0)) return 0;

  s = open_track_file(folder, "tilemap", "wb", 0);
  if (!s) {
    report_open("tilemap");
    return 0;
  }
  if (!finish_file(s, "tilemap", write_all(s, field->tilemap, (uint32_t)1 << (2 * field->n), "tilemap"))) return 0;

  // Without a decal list an existing decals file is left as it is.
  if (!field->decals.data) return 1;
  s = open_track_file(folder, "decals", "wb", 0);
  if (!s) {
    report_open("decals");
    return 0;
  }
  return finish_file(s, "decals", save_decals(field, s));
}
