// The "decals" file of a track folder, read into a small field whose
// texture loader knows a few names (so entries are kept and binned).
#include <cstring>

#include "core/file.h"
#include "fuzz/fuzz_target.h"
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"

// Only a fixed set of names loads: kept names are interned for good, and an
// open set would grow without end over a long run.
static uint32_t known_texture(const char* name) {
  for (const char* known : {"dirt.png", "arrow.png", "@logo.png"})
    if (!std::strcmp(name, known)) return 7;
  return 0;
}

// The field is made once (making one costs far more than a decals file);
// each input starts from an empty decal list.
BK_FUZZ_TARGET(decals) {
  static height_field field;
  static int made;
  if (!made) {
    terrain_reset(&field);
    if (!terrain_create(&field, 7, 4.0f)) return 0;
    field.texture_mode = 2;
    made = 1;
  }
  field.decals.count = 0;
  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures.load_texture = known_texture;
  const std::string path = fuzz_write("decals", data, size);
  int kept = 0;
  if (stream* s = stream_open(path.c_str(), "rb")) {
    load_decals(&field, s);
    kept = static_cast<int>(field.decals.count);
    stream_close(s);
  }
  terrain_textures = saved;
  return kept > 0;
}
