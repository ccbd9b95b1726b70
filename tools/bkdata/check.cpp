// bkdata check PATH...: runs the game's own loaders on files, headless, and
// prints a line per file: what was read, or why it was refused.
#include <sys/stat.h>

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
    // The loader's reasons went to the console; show them here.
    for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      std::fprintf(stderr, "%s: %s\n", folder, message_ring.lines[k]);
    std::fprintf(stderr, "%s: refused\n", folder);
    return 1;
  }
  std::printf("%s: track, %dx%d heights at %g ft, heights %g to %g, %d tiles\n", folder, checked_field.size,
              checked_field.size, checked_field.spacing, checked_field.min_height, checked_field.max_height,
              checked_field.tile_count);
  free_terrain(&checked_field);
  return 0;
}

int bkdata_check(int argc, char** argv) {
  if (argc < 1) return bkdata_usage();
  int status = 0;
  for (int k = 0; k < argc; k++) {
    struct stat info;
    if (stat(argv[k], &info) != 0) {
      std::fprintf(stderr, "%s: can't open\n", argv[k]);
      status = 1;
    } else if (S_ISDIR(info.st_mode)) {
      if (bkdata_check_track(argv[k])) status = 1;
    } else {
      std::fprintf(stderr, "%s: no reader for this kind of file\n", argv[k]);
      status = 1;
    }
  }
  return status;
}
