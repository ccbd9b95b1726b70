// bkdata check on a track folder: the terrain files and tiles through the
// game's own loader, headless.
#include <cstdio>

#include "core/message_ring.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "tools/bkdata/commands.h"

namespace {
height_field checked_field;
}

int bkdata_check_track(const char* folder) {
  const int first_line = message_ring.write_index;
  if (!load_terrain(&checked_field, folder, 1)) {
    // The loader gives its reasons on the console; show them here.
    for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      std::printf("%s: %s\n", folder, message_ring.lines[k]);
    std::printf("%s: track refused\n", folder);
    return 0;
  }
  std::printf("%s: track, %dx%d heights at %g ft, heights %g to %g, %d tiles\n", folder, checked_field.size,
              checked_field.size, checked_field.spacing, checked_field.min_height, checked_field.max_height,
              checked_field.tile_count);
  free_terrain(&checked_field);
  return 1;
}
