// The undo ring: the last committed states of the heights and colour
// layers, preallocated per track, so a commit or an undo allocates nothing.
#include <cstring>

#include "editor/editor.h"
#include "terrain/bitmap.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"

void undo_commit() {
  editor_state& e = editor;
  editor_set_message("OK");
  height_field* field = e.terrain;
  if (!field || !e.pending) return;
  e.pending = 0;
  const size_t cells = (size_t)field->size * field->size;
  field->change_flags &= ~4;
  // The ring keeps heights and their shading only. An edit that left every
  // height as it was (an object moved, a brush that changed nothing) spends
  // no level, so the next undo still steps back a real change.
  if (e.undo_count > 0 && std::memcmp(e.stroke_base, field->heights, cells * sizeof(float)) == 0) return;
  std::memcpy(e.stroke_base, field->heights, cells * sizeof(float));
  if (e.undo_levels <= 0) {
    refresh_terrain_normals(field);
    return;
  }
  undo_snapshot& s = e.undo[e.undo_index];
  std::memcpy(s.heights, field->heights, cells * sizeof(float));
  // The layers are copied after the refresh, so they hold its shading.
  refresh_terrain_normals(field);
  std::memcpy(s.shading, field->shading, cells * 3);
  if (field->normal_bytes && s.normal_bytes) std::memcpy(s.normal_bytes, field->normal_bytes, cells * 3);
  e.undo_index = (e.undo_index + 1) % e.undo_levels;
  e.undo_count = e.undo_count + 1 < e.undo_levels ? e.undo_count + 1 : e.undo_levels;
}

void undo_step() {
  editor_state& e = editor;
  height_field* field = e.terrain;
  if (!field) return;
  undo_commit();
  if (e.undo_count < 2) {
    editor_set_message("No more undo levels!");
    return;
  }
  const int levels = e.undo_levels;
  e.undo_count--;
  // (index - 1) mod levels, kept non-negative at index 0.
  e.undo_index = (e.undo_index + levels - 1) % levels;
  const undo_snapshot& s = e.undo[(e.undo_index + levels - 1) % levels];
  e.pending = 0;
  const int r = field->size;
  const size_t cells = (size_t)r * r;
  std::memcpy(e.stroke_base, s.heights, cells * sizeof(float));
  std::memcpy(field->heights, s.heights, cells * sizeof(float));
  std::memcpy(field->shading, s.shading, cells * 3);
  if (field->vertex_dirty) std::memset(field->vertex_dirty, 0, (size_t)bitmap_bytes((int64_t)cells));
  if (field->normal_bytes && s.normal_bytes) {
    std::memcpy(field->normal_bytes, s.normal_bytes, cells * 3);
    if (field->normal_dirty) std::memset(field->normal_dirty, 0, (size_t)bitmap_bytes((int64_t)cells));
  }
  // The heights changed behind the cell writer's back: every cached
  // triangle normal is stale, and the ground now differs from the file.
  if (field->triangle_dirty)
    std::memset(field->triangle_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)terrain_triangle_count(field)));
  field->change_flags |= 2;
  field->edit_count++;
  ground_mark_dirty(field, 0, 0, r, r);
  editor_set_message("Undo!");
}
