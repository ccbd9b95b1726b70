// A whole track folder through the terrain loader: "terrain.hf" (binary or
// with "terrain.png"), the shading and shadow pictures, the tile files, the
// tilemap and the decals. The input packs the folder (fuzz/fuzz_folder.h).
#include "fuzz/fuzz_folder.h"
#include "fuzz/fuzz_target.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

BK_FUZZ_TARGET(terrain) {
  static height_field field;
  static int made;
  if (!made) {
    terrain_reset(&field);
    made = 1;
  }
  fuzz_clear_scratch();
  for (const fuzz_folder_file& f : fuzz_folder_unpack(data, size))
    fuzz_write(fuzz_folder_names[f.kind], f.data, f.size);
  const int ok = load_terrain(&field, fuzz_scratch(), 1);
  free_terrain(&field);
  fuzz_clear_scratch();
  return ok;
}
