// bkdata check on a lines file ("lines_*"): the track folder beside it is
// loaded headless for its segments, then the file goes through the game's
// own reader. Prints the lines and samples of each segment, or the first
// thing wrong with the file.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/model.h"
#include "core/file_index.h"
#include "robot/lines.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "tools/bkdata/commands.h"

int bkdata_is_lines_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return std::strncmp(slash ? slash + 1 : path, "lines_", 6) == 0;
}

static uint32_t no_texture(const char*) { return 0; }

int bkdata_check_lines(const char* path) {
  char real[PATH_MAX];
  if (!realpath(path, real)) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  const std::string file = real;
  const std::string folder = file.substr(0, file.rfind('/'));
  const size_t slash = folder.rfind('/');
  const std::string parent = slash == 0 ? "/" : folder.substr(0, slash), name = folder.substr(slash + 1);
  if (name.empty() || name.size() >= sizeof track_folder) {
    std::printf("%s: not in a track folder\n", path);
    return 0;
  }
  setenv("BK_HOME", parent.c_str(), 1);
  setenv("XDG_DATA_HOME", (parent + "/.bkdata-no-user-folder").c_str(), 1);
  free_file_index();
  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = no_texture;
  std::snprintf(track_folder, sizeof track_folder, "%s", name.c_str());
  int good = 0;
  if (!load_track()) {
    std::printf("%s: the track folder '%s' did not load\n", path, folder.c_str());
  } else {
    std::string refusal;
    lines_load_from(file.c_str(), &refusal);
    if (!refusal.empty()) {
      std::printf("%s: %s\n", path, refusal.c_str());
    } else {
      std::string summary;
      int lines = 0;
      for (int32_t k = 0; k < route_library_segments(); k++) {
        int used = 0;
        long samples = 0;
        for (int i = 0; i < line_slots_per_segment; i++) {
          const line_record& r = library_segment_slots(k)[i];
          used += r.sample_count > 0;
          samples += r.sample_count;
        }
        lines += used;
        char part[64];
        std::snprintf(part, sizeof part, "%s%d: %d lines %ld samples", k ? "; " : "", k, used, samples);
        summary += part;
      }
      std::printf("%s: lines, %d in %d segments (%s)\n", path, lines, route_library_segments(), summary.c_str());
      good = 1;
    }
  }
  free_track_data();
  free_terrain(&track_field);
  shape_free_all();
  model_delete_stale(1);
  free_file_index();
  terrain_textures = saved;
  return good;
}
