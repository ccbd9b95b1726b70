// The editor's state per track, the view transform and the cell writer.
#include "editor/editor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/message_ring.h"
#include "editor/editor_files.h"
#include "editor/editor_items.h"
#include "editor/editor_random.h"
#include "editor/tilemap_paint.h"
#include "race/menu_screen.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/terrain_edit.h"
#include "terrain/track.h"

editor_state editor;

void editor_set_message(const char* text) { std::snprintf(editor.message, sizeof editor.message, "%s", text); }

static void free_undo_ring(editor_state* e) {
  for (undo_snapshot& s : e->undo) {
    check_free(s.heights);
    check_free(s.shading);
    check_free(s.normal_bytes);
    s = undo_snapshot{};
  }
  e->undo_levels = 0;
  e->undo_index = 0;
  e->undo_count = 0;
}

// Snapshots are whole-grid copies made once per track, so commits and
// undos never allocate. Short of memory the ring keeps fewer levels.
static void allocate_undo_ring(editor_state* e, const height_field* field) {
  const size_t cells = (size_t)field->size * field->size;
  int levels = 0;
  for (; levels < editor_undo_levels; levels++) {
    undo_snapshot& s = e->undo[levels];
    s.heights = (float*)check_malloc(cells * sizeof(float));
    s.shading = (uint8_t*)check_malloc(cells * 3);
    s.normal_bytes = field->normal_bytes ? (uint8_t*)check_malloc(cells * 3) : nullptr;
    if (!s.heights || !s.shading || (field->normal_bytes && !s.normal_bytes)) {
      check_free(s.heights);
      check_free(s.shading);
      check_free(s.normal_bytes);
      s = undo_snapshot{};
      break;
    }
    // Touch the pages now, at load, so the first commits into each slot
    // do not pay for them.
    std::memset(s.heights, 0, cells * sizeof(float));
    std::memset(s.shading, 0, cells * 3);
    if (s.normal_bytes) std::memset(s.normal_bytes, 0, cells * 3);
  }
  if (levels < editor_undo_levels)
    console_printf("Editor: memory for %d undo levels only", levels > 0 ? levels - 1 : 0);
  e->undo_levels = levels;
  e->undo_index = 0;
  e->undo_count = 0;
}

// Reads the track folder's editor file into the gradient list; without
// one the list stays empty.
static void read_edinfo() {
  const size_t n = std::strlen(track_source) + sizeof "/edinfo";
  char* name = (char*)xmalloc(n);
  std::snprintf(name, n, "%s/edinfo", track_source);
  editor_read_edinfo(name);
  check_free(name);
}

void editor_load_edinfo(height_field* field) {
  editor_free();
  if (!field || !field->heights) return;
  editor_state& e = editor;
  e.terrain = field;
  e.drag_anchor[0] = e.drag_anchor[1] = -1;
  e.centre_x = e.centre_z = field->extent / 2;
  e.mode = mode_raise;
  e.selected_gradient = -1;
  e.selected_point = -1;
  e.current_gate = -1;
  e.current_billboard = 0;
  e.current_statue = 0;
  e.current_decal = 0;
  e.last_painted_billboard = -1;
  e.panel_item = -1;
  // Tile and billboard choices repeat from one session to the next.
  editor_random_seed(20261211u);
  growable_array_init(&e.gradients, sizeof(gradient), 16);
  growable_array_init(&e.decal_selection, sizeof(int32_t), 16);
  allocate_undo_ring(&e, field);
  const size_t cells = (size_t)field->size * field->size;
  e.size = field->size;
  e.stroke_base = (float*)xmalloc(cells * sizeof(float));
  std::memcpy(e.stroke_base, field->heights, cells * sizeof(float));
  editor_set_message("OK");
  e.pending = 0;
  field->change_flags &= ~4;
  e.pending = 1;
  undo_commit();
  const int k = tilemap_plain_tile_count();
  editor_tile_item.maximum = k - 1 > 0 ? k - 1 : 0;
  if (editor_tile > editor_tile_item.maximum) editor_tile = editor_tile_item.maximum;
  read_edinfo();
  editor_set_message("OK");
  field->change_flags = 0;
}

static void free_gradients(editor_state* e) {
  if (!e->gradients.data) return;
  for (size_t i = 0; i < e->gradients.count; i++) {
    gradient* g = (gradient*)growable_array_at(&e->gradients, i);
    growable_array_free(&g->points);
    growable_array_free(&g->types);
  }
  growable_array_free(&e->gradients);
}

void editor_free() {
  editor_state& e = editor;
  check_free(e.stroke_base);
  free_undo_ring(&e);
  free_gradients(&e);
  growable_array_free(&e.decal_selection);
  // Everything else goes back to the record's start, so the entries do
  // nothing until the next track is set up.
  e = editor_state{};
}

static void hook_track_loaded(height_field* field) { editor_load_edinfo(field); }

void editor_install_hooks() {
  editor_hooks.track_loaded = hook_track_loaded;
  editor_hooks.release = editor_free;
}

int editor_set_height(height_field* field, int column, int row, float height) {
  return terrain_set_height(field, column, row, height);
}

float editor_height_at(const height_field* field, float x, float z) { return terrain_height(field, x, z); }

// E / 2^Zoom: the world size the window's height shows.
static float shown_extent() {
  const float extent = editor.terrain ? editor.terrain->extent : 0.0f;
  return extent / (float)std::exp2(editor_zoom);
}

float editor_pixel_size() {
  const int h = menu_screen.height;
  return h > 0 ? shown_extent() / (float)h : 0.0f;
}

void editor_screen_to_world(float out[2], const float screen[2]) {
  const int w = menu_screen.width;
  const int h = menu_screen.height;
  if (h <= 0) {
    out[0] = editor.centre_x;
    out[1] = editor.centre_z;
    return;
  }
  const float shown = shown_extent();
  out[0] = (screen[0] - (float)(w / 2)) / (float)h * shown + editor.centre_x;
  out[1] = (screen[1] - (float)(h / 2)) / (float)h * shown + editor.centre_z;
}

float editor_icon_scale() {
  const float s = shown_extent() * 0.01f;
  return s > 1.0f ? s : 1.0f;
}

void editor_mouse_world(float out[2]) {
  const float screen[2] = {(float)menu_screen.mouse_x, (float)menu_screen.mouse_y};
  editor_screen_to_world(out, screen);
}
