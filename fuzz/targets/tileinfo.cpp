// "tileinfo" and "texturelist": the first byte picks which, the rest is
// the file.
#include "core/file.h"
#include "fuzz/fuzz_target.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

BK_FUZZ_TARGET(tileinfo) {
  if (size < 1) return 0;
  static height_field field;
  terrain_reset(&field);
  const int texturelist = data[0] & 1;
  const std::string path = fuzz_write(texturelist ? "texturelist" : "tileinfo", data + 1, size - 1);
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  if (texturelist)
    read_texturelist(&field, s);
  else
    read_tileinfo(&field, s);
  stream_close(s);
  const int tiles = field.tile_count;
  free_terrain(&field);
  return tiles > 0;
}
