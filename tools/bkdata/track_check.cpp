// bkdata check on a track folder: the whole track through the game's own
// loader, headless; and on one file of a track folder through its reader.
// The folder's parent is the data root, so "@" names of the track (gate
// objects, sky, roost) resolve as they do in the game. A track folder of
// the per-user folder (the editor saves there) is laid over the game data
// that BK_HOME names, as the game reads it. Models and shapes are read;
// textures are only looked up.
#include <sys/stat.h>

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

std::string parent_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int is_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Points the file layer at the data that the track folder `real` (a real
// path) is read from. The game's per-user folder is named "Brakkan" and
// never holds the game data's archive: a track folder in it is laid over
// the game data that BK_HOME names. Any other folder's parent is the only
// root: nothing of the user's own folder mixes in. 0 after a line saying
// why the folder cannot be read so.
int set_roots_for(const std::string& real, const char* shown) {
  const std::string parent = parent_of(real);
  if (base_name(parent) == "Brakkan" && !is_file(parent + "/zzzz.saf")) {
    const char* home = std::getenv("BK_HOME");
    if (!home || !home[0]) {
      std::printf("%s: a track folder of the per-user folder is read over the game data: set BK_HOME to it\n", shown);
      return 0;
    }
    setenv("XDG_DATA_HOME", parent_of(parent).c_str(), 1);
  } else {
    setenv("BK_HOME", parent.c_str(), 1);
    setenv("XDG_DATA_HOME", (parent + "/.bkdata-no-user-folder").c_str(), 1);
  }
  free_file_index();
  return 1;
}

}  // namespace

int bkdata_check_track(const char* folder) {
  char real[PATH_MAX];
  if (!realpath(folder, real)) {
    std::printf("%s: can't open\n%s: track refused\n", folder, folder);
    return 0;
  }
  std::string path = real;
  const std::string name = base_name(path);
  if (name.empty() || name.size() >= sizeof track_folder) {
    std::printf("%s: not a track folder name\n%s: track refused\n", folder, folder);
    return 0;
  }
  if (!set_roots_for(path, folder)) {
    std::printf("%s: track refused\n", folder);
    return 0;
  }

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
  int loaded = load_track();
  print_console_since(folder, first_line);
  // The game loads a track without timing gates, but no race on it can
  // end: a checked track must have them.
  const int gated = loaded && checkpoint_count > 0;
  for (const auto& m : missing_textures) std::printf("%s: texture '%s' not found\n", folder, m.first.c_str());
  if (!loaded) {
    std::printf("%s: track refused\n", folder);
  } else if (!gated) {
    std::printf("%s: no timing gates in effect (%s): no race on it can end\n%s: track refused\n", folder,
                timing_gates_fault, folder);
    loaded = 0;
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

namespace {

const char* const track_file_kinds[] = {"billboards", "statues", "timing_gates", "lighting",
                                        "cameras",    "flaggers", "terrain.hf",   "tilemap"};

// The header of terrain.hf, and the samples after it when it holds them.
int check_heights(const char* real, const char* path) {
  stream* s = stream_open(real, "rb");
  if (!s) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  int n = 0;
  float spacing = 0, minimum = 0, maximum = 0;
  int good = stream_scanf(s, "%d %f %f %f ", &n, &spacing, &minimum, &maximum) == 4 &&
             terrain_header_is_sound(n, spacing, minimum, maximum);
  if (!good) {
    std::printf("%s: bad height field parameters (want n %d..%d, spacing above 0, minimum <= maximum)\n", path,
                (int)terrain_min_n, (int)terrain_max_n);
  } else {
    const uint64_t r = (uint64_t)terrain_size_for(n);
    const char* heights = "heights in terrain.png";
    if (stream_peekc(s) == ':') {
      heights = "heights in the file";
      if (stream_remaining(s) < 1 + 2 * r * r) {
        std::printf("%s: too short for a %d x %d grid\n", path, (int)r, (int)r);
        good = 0;
      }
    }
    if (good)
      std::printf("%s: terrain.hf, %d x %d heights at %g ft, heights %g to %g, %s\n", path, (int)r, (int)r, spacing,
                  minimum, maximum, heights);
  }
  stream_close(s);
  return good;
}

// The tilemap holds one tile byte for each of the 4^n ground cells.
int check_tilemap(const char* real, const char* path, const std::string& folder_name) {
  stream* s = stream_open(real, "rb");
  if (!s) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  uint64_t cells = 0;
  int highest = -1;
  uint8_t piece[65536];
  for (uint32_t got; (got = stream_read(s, piece, sizeof piece)) > 0;) {
    for (uint32_t k = 0; k < got; k++) highest = piece[k] > highest ? piece[k] : highest;
    cells += got;
  }
  const int intact = stream_verify(s);
  stream_close(s);
  if (!intact) {
    std::printf("%s: damaged\n", path);
    return 0;
  }
  int n = -1;
  for (int k = terrain_min_n; k <= terrain_max_n; k++)
    if (cells == (uint64_t)1 << (2 * k)) n = k;
  if (n < 0) {
    std::printf("%s: %llu bytes; a tilemap holds 4^n bytes for n %d..%d\n", path, (unsigned long long)cells,
                (int)terrain_min_n, (int)terrain_max_n);
    return 0;
  }
  // The terrain.hf the game would pair it with.
  const std::string hf = "@" + folder_name + "/terrain.hf";
  if (stream* h = stream_open(hf.c_str(), "rb")) {
    int hf_n = 0;
    float v[3];
    const int read = stream_scanf(h, "%d %f %f %f", &hf_n, &v[0], &v[1], &v[2]) == 4;
    stream_close(h);
    if (read && hf_n != n) {
      std::printf("%s: a %d x %d tilemap, but terrain.hf beside it has n %d\n", path, 1 << n, 1 << n, hf_n);
      return 0;
    }
  }
  std::printf("%s: tilemap, %d x %d cells, tiles 0..%d\n", path, 1 << n, 1 << n, highest);
  return 1;
}

}  // namespace

int bkdata_is_track_file_name(const char* path) {
  const std::string name = base_name(path);
  for (const char* kind : track_file_kinds)
    if (name == kind) return 1;
  return 0;
}

int bkdata_check_track_file(const char* path) {
  char real[PATH_MAX];
  if (!realpath(path, real) || !is_file(real)) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  const std::string file = real;
  const std::string folder = parent_of(file);
  const std::string kind = base_name(file), folder_name = base_name(folder);
  if (!set_roots_for(folder, path)) return 0;
  if (kind == "terrain.hf") return check_heights(real, path);
  if (kind == "tilemap") return check_tilemap(real, path, folder_name);

  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = look_up_texture;
  found_textures.clear();
  missing_textures.clear();
  free_track_data();
  growable_array_init(&billboard_extras, 2 * sizeof(int32_t), 16);
  growable_array_init(&billboards, sizeof(billboard), 16);
  growable_array_init(&statues, sizeof(statue), 16);
  growable_array_init(&course_flaggers, sizeof(course_flagger), 16);
  for (auto& row : statue_grid)
    for (auto& cell : row) growable_array_init(&cell, sizeof(int32_t), statue_grid_capacity);
  std::snprintf(track_folder, sizeof track_folder, "%s", folder_name.c_str());
  std::snprintf(track_source, sizeof track_source, "@%s", folder_name.c_str());
  const int first_line = message_ring.write_index;
  int opened = 0;
  char summary[200] = "";
  if (kind == "billboards") {
    opened = read_billboards(real);
    std::snprintf(summary, sizeof summary, "billboards, %d entries", (int)billboards.count);
  } else if (kind == "statues") {
    opened = read_statues(real);
    std::snprintf(summary, sizeof summary, "statues, %d entries", (int)statues.count);
  } else if (kind == "timing_gates") {
    opened = read_timing_gates(real);
    std::snprintf(summary, sizeof summary, "timing_gates, %d slots, %d gates read, %d in effect (F %d, N %d)",
                  start_slot_count, checkpoints_read, checkpoint_count, route.first_lap_gates,
                  route.normal_lap_gates);
  } else if (kind == "lighting") {
    opened = read_lighting(real);
    std::snprintf(summary, sizeof summary, "lighting, %d flares", flares.data ? (int)flares.count : 0);
  } else if (kind == "cameras") {
    opened = read_cameras(real);
    std::snprintf(summary, sizeof summary, "cameras, %d cameras", (int)track_cameras.count);
  } else if (kind == "flaggers") {
    opened = read_flaggers(real);
    std::snprintf(summary, sizeof summary, "flaggers, %d on the course", (int)course_flaggers.count);
  }
  // The readers warn and go on; a checked file must give no warning.
  int warned = 0;
  for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size) {
    std::printf("%s: %s\n", path, message_ring.lines[k]);
    warned |= std::strncmp(message_ring.lines[k], "Warning", 7) == 0 || std::strncmp(message_ring.lines[k], "Error", 5) == 0;
  }
  for (const auto& m : missing_textures) std::printf("%s: texture '%s' not found\n", path, m.first.c_str());
  const int good = opened && !warned;
  if (!opened)
    std::printf("%s: can't open\n", path);
  else if (good)
    std::printf("%s: %s\n", path, summary);
  else
    std::printf("%s: refused\n", path);
  free_track_data();
  shape_free_all();
  model_delete_stale(1);
  free_file_index();
  terrain_textures = saved;
  return good;
}
