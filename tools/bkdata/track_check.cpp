// bkdata check on a track folder: the whole track through the game's own
// loader, headless. The folder's parent is the data root, so "@" names of
// the track (gate objects, sky, roost) resolve as they do in the game.
// Models and shapes are read; textures are only looked up.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "assets/model.h"
#include "assets/texture.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"
#include "tools/bkdata/commands.h"

namespace {

std::map<std::string, uint32_t> found_textures;
std::map<std::string, int> missing_textures;

// A texture "loads" when its file can be opened: each found name gets an
// id of its own.
uint32_t look_up_texture(const char* name) {
  int reduction;
  const char* file = texture_strip_detail(name, &reduction);
  auto it = found_textures.find(file);
  if (it != found_textures.end()) return it->second;
  stream* s = stream_open(file, "rb");
  if (!s) {
    missing_textures[file]++;
    return 0;
  }
  stream_close(s);
  const uint32_t id = (uint32_t)found_textures.size() + 1;
  found_textures[file] = id;
  return id;
}

void print_console_since(const char* folder, int first) {
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    std::printf("%s: %s\n", folder, message_ring.lines[k]);
}

}  // namespace

int bkdata_check_track(const char* folder) {
  char real[PATH_MAX];
  if (!realpath(folder, real)) {
    std::printf("%s: can't open\n%s: track refused\n", folder, folder);
    return 0;
  }
  std::string path = real;
  const size_t slash = path.rfind('/');
  const std::string parent = slash == 0 ? "/" : path.substr(0, slash), name = path.substr(slash + 1);
  if (name.empty() || name.size() >= sizeof track_folder) {
    std::printf("%s: not a track folder name\n%s: track refused\n", folder, folder);
    return 0;
  }
  // The parent is the only root: nothing of the user's own folder mixes in.
  setenv("BK_HOME", parent.c_str(), 1);
  setenv("XDG_DATA_HOME", (parent + "/.bkdata-no-user-folder").c_str(), 1);
  free_file_index();

  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = look_up_texture;
  // Decals are read as images when the ground is composed on the processor.
  terrain_textures.load_image = image_load_cached;
  found_textures.clear();
  missing_textures.clear();
  std::snprintf(track_folder, sizeof track_folder, "%s", name.c_str());
  const int first_line = message_ring.write_index;
  scan_tracks();  // for the long name
  const int loaded = load_track();
  print_console_since(folder, first_line);
  for (const auto& m : missing_textures) std::printf("%s: texture '%s' not found\n", folder, m.first.c_str());
  if (!loaded) {
    std::printf("%s: track refused\n", folder);
  } else {
    char hash[digest_hex_chars + 1];
    digest_to_hex(track_hash, hash);
    const int file_billboards = (int)billboards.count - first_file_billboard;
    const int file_statues = (int)statues.count - first_file_statue;
    const int flagger_count =
        (flaggers.start_billboard >= 0) + (flaggers.lap_billboard >= 0) + (int)course_flaggers.count;
    std::printf(
        "%s: track '%s', %dx%d heights at %g ft, heights %g to %g, %d tiles; %d gates in effect (F %d, N %d, SF %d, "
        "SN %d); %d slots, %d billboards, %d statues, %d flaggers, %d cameras, %d flares, map %s, %d decals; hash %s\n",
        folder, track_long_name, track_field.size, track_field.size, track_field.spacing, track_field.min_height,
        track_field.max_height, track_field.tile_count, checkpoint_count, route.first_lap_gates,
        route.normal_lap_gates, route.first_lap_segments, route.normal_lap_segments, start_slot_count,
        file_billboards, file_statues, flagger_count, (int)track_cameras.count, (int)flares.count,
        map_texture ? "yes" : "no", track_field.decals.data ? (int)track_field.decals.count : 0, hash);
  }
  free_track_data();
  free_track_list();
  free_terrain(&track_field);
  shape_free_all();
  model_delete_stale(1);
  free_file_index();
  terrain_textures = saved;
  return loaded;
}
