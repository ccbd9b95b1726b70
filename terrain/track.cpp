// The track list, the track loader with its hash, and the release of a
// track's objects.
#include "terrain/track.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "assets/loading.h"
#include "assets/texture.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/file_set.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/stream.h"
#include "platform/log.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/roost.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_settings.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"

char** track_folders;
char** track_long_names;
int32_t track_count;

char track_folder[track_folder_bytes];
char track_long_name[track_long_name_bytes];
uint8_t track_hash[digest_bytes];
char track_source[track_folder_bytes + 2];

checkpoint checkpoints[checkpoint_max];
int32_t checkpoint_count;
int32_t checkpoints_read;
start_slot start_slots[start_slot_max];
int32_t start_slot_count;
route_block route;
int32_t lap_list_read[2];
flagger_look flaggers = {{0, 0, 0}, {0, 0, 0}, 0, 0, 1.0f, -1, {0, 0, 0, 0, 0}, -1, {0, 0, 0, 0}};
growable_array course_flaggers;
int32_t gate_approach_flags[checkpoint_max];
growable_array track_cameras;
int32_t gate_cameras[checkpoint_max];
uint32_t map_texture;
int32_t first_file_billboard;
int32_t first_file_statue;

namespace {

enum { long_name_read_bytes = 1024 };

char* copy_text(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = (char*)xmalloc(n);
  std::memcpy(copy, text, n);
  return copy;
}

// folder + "/" + file, for opening.
char* file_path(const char* folder, const char* file) {
  const size_t n = std::strlen(folder) + std::strlen(file) + 2;
  char* path = (char*)xmalloc(n);
  std::snprintf(path, n, "%s/%s", folder, file);
  return path;
}

// The long name in a folder's "desc": up to the first CR, LF or NUL. Null
// when there is no desc.
char* read_long_name(const char* folder) {
  char* path = file_path(folder, "desc");
  stream* s = stream_open(path, "rb");
  check_free(path);
  if (!s) return nullptr;
  char* name = (char*)xmalloc(long_name_read_bytes);
  int n = 0, c;
  while (n < long_name_read_bytes - 1 && (c = stream_getc(s)) != EOF && c != '\r' && c != '\n' && c != 0)
    name[n++] = (char)c;
  name[n] = 0;
  stream_close(s);
  return name;
}

int ends_with(const char* name, const char* suffix) {
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::strcmp(name + n - m, suffix) == 0;
}

int is_terrain_file(const char* name) {
  for (const char* ending : {"/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram", "/terrain.hf.gz.scram"})
    if (ends_with(name, ending)) return 1;
  return 0;
}

// Feeds a whole file (read through the stream layer) into the digest.
// `stage`: the loading-screen text to cycle while it reads, or null.
void hash_file(rmd160_context* digest, const char* path, const char* stage) {
  stream* s = stream_open(path, "rb");
  if (!s) return;
  uint8_t piece[1024];
  for (uint32_t n; (n = stream_read(s, piece, sizeof piece)) > 0;) {
    rmd160_update(digest, piece, n);
    if (stage) loading_progress(stage);
  }
  stream_close(s);
}

void hash_track_file(rmd160_context* digest, const char* file, const char* stage) {
  char* path = file_path(track_source, file);
  hash_file(digest, path, stage);
  check_free(path);
}

void set_text(char* out, size_t size, const char* text) { std::snprintf(out, size, "%s", text); }

void free_list(growable_array* list) {
  if (list->data) growable_array_free(list);
  std::memset(list, 0, sizeof *list);
}

void free_route() {
  if (route.line_library) {
    const int32_t slots =
        (route.first_lap_segments + route.normal_lap_segments) * (int32_t)line_slots_per_segment;
    for (int32_t k = 0; k < slots; k++) check_free(route.line_library[k].samples);
  }
  check_free(route.line_library);
  check_free(route.best_paths);
  std::memset(&route, 0, sizeof route);
  checkpoint_count = 0;
  checkpoints_read = 0;
  lap_list_read[0] = lap_list_read[1] = 0;
  start_slot_count = 0;
  race_clock.start_gate_count = 0;
}

// Each distinct shape file of the statues, in statue order.
void hash_statue_shapes(rmd160_context* digest) {
  if (!statues.data) return;
  for (size_t i = 0; i < statues.count; i++) {
    const char* name = statue_at((int32_t)i)->shape_name;
    if (!name) continue;
    int seen = 0;
    for (size_t j = 0; j < i && !seen; j++) {
      const char* other = statue_at((int32_t)j)->shape_name;
      seen = other && std::strcmp(other, name) == 0;
    }
    if (!seen) hash_file(digest, name, nullptr);
  }
}

int load_track_here() {
  // A save of this track that a crash cut short is finished or undone
  // before any of its files is read.
  file_set_recover(track_source);

  // The long name.
  set_text(track_long_name, sizeof track_long_name, track_folder);
  for (int32_t i = 0; i < track_count; i++)
    if (std::strcmp(track_folders[i], track_folder) == 0) set_text(track_long_name, sizeof track_long_name, track_long_names[i]);

  // A fresh digest and empty lists.
  free_track_data();
  rmd160_context digest;
  rmd160_init(&digest);
  growable_array_init(&billboard_extras, 2 * sizeof(int32_t), 16);
  growable_array_init(&billboards, sizeof(billboard), 16);
  growable_array_init(&statues, sizeof(statue), 16);
  growable_array_init(&course_flaggers, sizeof(course_flagger), 16);
  for (auto& row : statue_grid)
    for (auto& cell : row) growable_array_init(&cell, sizeof(int32_t), statue_grid_capacity);

  // The terrain files into the hash.
  const char* stage = "Scanning";
  loading_show_logged(stage);
  for (const char* file : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
    hash_track_file(&digest, file, stage);
  loading_progress_done(stage);
  if (verbose) log_printf("Loading '%s'\n", track_source);

  // Lighting, which the terrain's shading reads.
  stage = "Loading lighting";
  loading_show(stage);
  char* path = file_path(track_source, "lighting");
  read_lighting(path);
  check_free(path);
  loading_progress_done(stage);

  // The terrain; the one thing a track cannot do without.
  if (!load_terrain(&track_field, track_source, render_texture_mode)) {
    free_track_data();
    track_folder[0] = 0;
    track_long_name[0] = 0;
    return 0;
  }
  if (verbose) log_printf("%lu bytes texture memory used after hf creation\n", (unsigned long)texture_bytes);

  // Timing gates.
  hash_track_file(&digest, "timing_gates", nullptr);
  path = file_path(track_source, "timing_gates");
  read_timing_gates(path);
  check_free(path);

  // The sprites of the roost particles.
  roost_particles_create();

  // Flaggers.
  stage = "Loading flaggers";
  loading_show_logged(stage);
  path = file_path(track_source, "flaggers");
  read_flaggers(path);
  check_free(path);
  loading_progress_done(stage);
  if (verbose) log_printf("%lu bytes texture memory used after flagger creation\n", (unsigned long)texture_bytes);

  // 9, 10. The track's own billboards and statues.
  first_file_statue = (int32_t)statues.count;
  first_file_billboard = (int32_t)billboards.count;
  path = file_path(track_source, "billboards");
  read_billboards(path);
  check_free(path);
  if (verbose) log_printf("%lu bytes texture memory used after billboard creation\n", (unsigned long)texture_bytes);
  hash_track_file(&digest, "statues", nullptr);
  path = file_path(track_source, "statues");
  read_statues(path);
  check_free(path);

  // The mini-map.
  stage = "Loading map";
  loading_show_logged(stage);
  if (verbose) log_printf("%lu bytes texture memory used after statue creation\n", (unsigned long)texture_bytes);
  path = file_path(track_source, "map.png");
  map_texture = terrain_textures.load_texture ? terrain_textures.load_texture(path) : 0;
  check_free(path);
  loading_progress_done(stage);

  // Statue grid, then the editor takes the new terrain over.
  statue_grid_rebuild();
  editor_track_loaded(&track_field);

  // 13, 14. The shapes into the hash; cameras.
  hash_statue_shapes(&digest);
  rmd160_final(&digest);
  path = file_path(track_source, "cameras");
  read_cameras(path);
  check_free(path);
  std::memcpy(track_hash, digest.digest, sizeof track_hash);
  return 1;
}

}  // namespace

int scan_tracks() {
  free_track_list();
  const char** names = file_index_build();
  growable_array folders, long_names;
  growable_array_init(&folders, sizeof(char*), 16);
  growable_array_init(&long_names, sizeof(char*), 16);
  for (int i = 0; names && names[i]; i++) {
    if (!is_terrain_file(names[i])) continue;
    // A save cut short leaves its files in the track's ".saving" folder
    // until the track loads again: no track of its own.
    if (std::strstr(names[i], "/.saving/") || std::strstr(names[i], "/.saving.done/")) continue;
    loading_refresh();
    const char* slash = std::strrchr(names[i], '/');
    char* folder = (char*)xmalloc((size_t)(slash - names[i]) + 1);
    std::memcpy(folder, names[i], (size_t)(slash - names[i]));
    folder[slash - names[i]] = 0;
    // The same folder may hold several variants of terrain.hf.
    int seen = 0;
    for (size_t k = 0; k < folders.count && !seen; k++)
      seen = std::strcmp(*(char**)growable_array_at(&folders, k), folder) == 0;
    if (seen) {
      check_free(folder);
      continue;
    }
    const size_t at_bytes = std::strlen(folder) + 2;
    char* at_folder = (char*)xmalloc(at_bytes);
    std::snprintf(at_folder, at_bytes, "@%s", folder);
    char* long_name = read_long_name(at_folder);
    check_free(at_folder);
    if (!long_name) long_name = copy_text(folder);
    if (!growable_array_append(&folders, &folder) || !growable_array_append(&long_names, &long_name)) {
      if (folders.count > long_names.count) folders.count--;
      check_free(folder);
      check_free(long_name);
    }
  }
  track_count = (int32_t)folders.count;
  track_folders = (char**)folders.data;
  track_long_names = (char**)long_names.data;
  // Order by long name, ignoring case.
  for (int32_t i = 0; i < track_count; i++)
    for (int32_t j = i + 1; j < track_count; j++)
      if (strcasecmp(track_long_names[j], track_long_names[i]) < 0) {
        std::swap(track_long_names[i], track_long_names[j]);
        std::swap(track_folders[i], track_folders[j]);
      }
  if (verbose)
    for (int32_t i = 0; i < track_count; i++) log_printf("%s -> %s\n", track_folders[i], track_long_names[i]);
  return track_count > 0;
}

void free_track_list() {
  for (int32_t i = 0; i < track_count; i++) {
    check_free(track_folders[i]);
    check_free(track_long_names[i]);
  }
  check_free(track_folders);
  check_free(track_long_names);
  track_folders = track_long_names = nullptr;
  track_count = 0;
}

int load_track() {
  std::snprintf(track_source, sizeof track_source, "@%s", track_folder);
  return load_track_here();
}

int load_track_from(const char* source) {
  set_text(track_source, sizeof track_source, source);
  return load_track_here();
}

void free_track_data() {
  free_route();
  statue_grid_free();
  if (statues.data)
    for (size_t i = 0; i < statues.count; i++) free_track_object(statue_at((int32_t)i));
  free_list(&statues);
  free_list(&flares);
  for (roost_particle& p : roost_particles) p.sprite = -1;
  roost_live = roost_free = nullptr;
  if (billboards.data)
    for (size_t i = 0; i < billboards.count; i++) check_free(billboard_at((int32_t)i)->texture_name);
  free_list(&billboards);
  free_list(&billboard_extras);
  free_list(&course_flaggers);
  std::memset(&flaggers, 0, sizeof flaggers);
  flaggers.start_billboard = flaggers.lap_billboard = -1;
  flaggers.start_walk_time = 1.0f;
  for (int32_t& f : gate_approach_flags) f = 0;
  free_list(&track_cameras);
  for (int32_t& g : gate_cameras) g = -1;
  map_texture = 0;
  first_file_billboard = first_file_statue = 0;
}
