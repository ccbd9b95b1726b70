// The decals file: reading it into the height field's decal list, and
// writing it back.
#include "terrain/decals.h"

#include <math.h>

#include <cstring>
#include <initializer_list>

#include "assets/loading.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

enum { decal_name_bytes = 1024 };

decal* decal_at(const height_field* field, int32_t index) {
  return static_cast<decal*>(growable_array_at(&field->decals, (size_t)index));
}

static int make_lists(height_field* field) {
  if (field->decals.data) return 1;
  if (!growable_array_init(&field->decals, sizeof(decal), 16)) return 0;
  for (auto& scratch : field->decal_scratch)
    if (!growable_array_init(&scratch, sizeof(int32_t), 16)) return 0;
  for (auto& row : field->decal_bins)
    for (auto& bin : row)
      if (!growable_array_init(&bin, sizeof(int32_t), 16)) return 0;
  return 1;
}

// The name with the part from its last '.' replaced by each tail in turn:
// the first texture that loads, else 0.
static uint32_t companion_texture(const char* name, const char* tail_png, const char* tail_ppm) {
  if (!terrain_textures.load_texture) return 0;
  const char* dot = std::strrchr(name, '.');
  const size_t stem = dot ? (size_t)(dot - name) : std::strlen(name);
  char path[decal_name_bytes + 32];
  for (const char* tail : {tail_png, tail_ppm}) {
    if (stem + std::strlen(tail) + 1 > sizeof path) return 0;
    std::memcpy(path, name, stem);
    std::strcpy(path + stem, tail);
    if (uint32_t id = terrain_textures.load_texture(path)) return id;
  }
  return 0;
}

static int load_decal_texture(const height_field* field, decal* d, const char* name) {
  if (field->texture_mode == 1) {
    uint8_t* pixels = nullptr;
    int32_t w = 0, h = 0;
    if (!terrain_textures.load_image || !terrain_textures.load_image(name, &pixels, &w, &h) || !pixels) return 0;
    d->image = pixels;
    d->image_width = w;
    d->image_height = h;
  } else {
    d->texture = terrain_textures.load_texture ? terrain_textures.load_texture(name) : 0;
    if (!d->texture) return 0;
  }
  if (field->normal_mapped) {
    d->tnorm_texture = companion_texture(name, "_tnorm.png", "_tnorm.ppm");
    d->tspec_texture = companion_texture(name, "_tspec.png", "_tspec.ppm");
  }
  return 1;
}

int load_decals(height_field* field, stream* s) {
  if (!make_lists(field)) return 1;
  loading_show("Loading decals");
  static char name[decal_name_bytes];
  for (int entry = 1;; entry++) {
    decal d;
    std::memset(&d, 0, sizeof d);
    const int got = stream_scanf(s, "[ %f %f ] %f %f %f %1023s ", &d.x, &d.z, &d.angle, &d.extent_a, &d.extent_b, name);
    if (got != 6) {
      if (got == -1) stream_scanf(s, " ");  // trailing blank lines are no entry
      if (got != -1 || stream_peekc(s) != EOF) console_printf("Error reading decals: entry %d does not match", entry);
      break;
    }
    if (!isfinite(d.x) || !isfinite(d.z) || !isfinite(d.angle) || !isfinite(d.extent_a) || !isfinite(d.extent_b)) {
      console_printf("Error reading decals: entry %d has a bad number", entry);
      break;
    }
    if (!load_decal_texture(field, &d, name)) {
      console_printf("Warning: can't load decal texture '%.900s'", name);
      continue;
    }
    d.sin_angle = sinf(d.angle);
    d.cos_angle = cosf(d.angle);
    d.name = intern_string(name);
    growable_array_append(&field->decals, &d);  // dropped when the list cannot grow
  }
  for (auto& row : field->decal_bins)
    for (auto& bin : row) bin.count = 0;
  for (size_t i = 0; i < field->decals.count; i++) decal_bin_insert(field, (int32_t)i);
  return 1;
}

int save_decals(const height_field* field, stream* s) {
  if (!field->decals.data) return 0;
  for (size_t i = 0; i < field->decals.count; i++) {
    const decal* d = decal_at(field, (int32_t)i);
    if (stream_printf(s, "[%f %f] %f %f %f %s\n", d->x, d->z, d->angle, d->extent_a, d->extent_b,
                      d->name ? d->name : "null") < 0)
      return 0;
  }
  return 1;
}
