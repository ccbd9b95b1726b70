// The editor's keys and mouse, its per-tick update, and the save.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/file_set.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "editor/decal_tools.h"
#include "editor/editor.h"
#include "editor/editor_files.h"
#include "editor/editor_items.h"
#include "editor/editor_panel.h"
#include "editor/gradient.h"
#include "editor/height_brush.h"
#include "editor/tilemap_paint.h"
#include "editor/object_tools.h"
#include "race/menu_screen.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"

// Every file a save may write, in the order they are written.
static const char* const saved_files[] = {"billboards", "timing_gates", "terrain.hf", "terrain.png", "shading.ppm",
                                          "shadingx2.ppm", "tilemap", "decals", "statues", "edinfo"};
static const int saved_file_count = (int)(sizeof saved_files / sizeof saved_files[0]);

int editor_save() {
  height_field* field = editor.terrain;
  if (!field) return 0;
  // Heights read from a scrambled file are not written out; the modified
  // value stays so the exit page still warns.
  if (field->save_lock) {
    editor_set_message("Track is locked - not saved");
    return 0;
  }
  char folder[sizeof track_source];
  std::snprintf(folder, sizeof folder, "%s", track_source);
  char* staging = file_set_staging(folder);
  if (!staging || std::strlen(staging) >= sizeof track_source) {
    console_printf("Can't save into '%.900s'", folder);
    check_free(staging);
    editor_set_message("Save failed!");
    return 0;
  }
  // The writers write into track_source: point it at the staging folder
  // while they run, so the set lands in place only when all of it exists.
  std::snprintf(track_source, sizeof track_source, "%s", staging);
  int ok = write_billboards();
  if (ok) file_set_step("billboards");
  ok = ok && write_timing_gates();
  if (ok) file_set_step("timing_gates");
  ok = ok && save_terrain(field, staging);
  if (ok) file_set_step("terrain");
  ok = ok && write_statues();
  if (ok) file_set_step("statues");
  ok = ok && editor_save_edinfo();
  if (ok) file_set_step("edinfo");
  std::snprintf(track_source, sizeof track_source, "%s", folder);
  check_free(staging);
  if (ok)
    ok = file_set_commit(folder, saved_files, saved_file_count);
  else
    file_set_discard(folder, saved_files, saved_file_count);
  if (!ok) {
    editor_set_message("Save failed!");
    return 0;
  }
  field->change_flags &= ~2;
  editor_set_message("Saved!");
  return 1;
}

static void refresh_panel_item() {
  if (menu_screen.mouse_x == editor.last_mouse[0] && menu_screen.mouse_y == editor.last_mouse[1]) return;
  editor.last_mouse[0] = menu_screen.mouse_x;
  editor.last_mouse[1] = menu_screen.mouse_y;
  editor.panel_item = widget_list_under_mouse(editor_panel_rects);
}

static void clear_drag_anchor() { editor.drag_anchor[0] = editor.drag_anchor[1] = -1; }

// Modes whose brush or gradient strokes may run along a line ("l").
static int mode_takes_anchor(int mode) { return (mode >= 0 && mode <= 3) || (mode >= 5 && mode <= 10) || mode == 14; }

static void left_press() {
  editor.call_counter = 0;
  editor.held_key = editor_held_tool;
  switch (editor.mode) {
    case mode_raise:
    case mode_lower:
    case mode_smooth:
    case mode_snap: undo_commit(); break;
    case mode_smudge:
      editor_mouse_world(editor.smudge_anchor);
      undo_commit();
      break;
    case mode_gradient_placement: gradient_placement_press(); break;
    case mode_gradient_edit: profile_point_pick_or_insert(); break;
    case mode_timing_gate: timing_gate_pick(); break;
    case mode_billboards: billboard_press(); break;
    case mode_statues: statue_pick(); break;
    case mode_decals: decal_pick(); break;
    default: break;
  }
}

static void left_release() {
  if (editor.held_key == editor_held_tool) {
    const int mode = editor.mode;
    if ((mode >= 0 && mode <= 3) || (mode >= 5 && mode <= 10) || mode == 14) clear_drag_anchor();
    if (mode >= 0 && mode <= 4) undo_commit();
    if (mode == mode_gradient_placement && editor.drag_state != 0) gradient_placement_release();
  }
  editor.held_key = 0;
}

// The keys of the object tools (modes 12, 13, 15): 1 when the current
// mode has the key; they act on the press.
static int object_tool_key(int code, int pressed) {
  const int mode = editor.mode;
  const int erase = code == 'x' || code == 127;
  if (mode == mode_billboards) {
    if (erase && pressed) billboard_delete_at_mouse();
    return erase;
  }
  if (mode == mode_statues) {
    if (!pressed) return erase || code == 'd';
    if (erase) statue_delete_at_mouse();
    if (code == 'd') statue_duplicate_at_mouse();
    return erase || code == 'd';
  }
  if (mode != mode_decals) return 0;
  const float brush = (float)editor_radius * editor_pixel_size();
  switch (code) {
    case 'x':
    case 127:
      if (pressed) decals_delete_at_mouse(0);
      return 1;
    case 'X':
      if (pressed) decals_delete_at_mouse(brush);
      return 1;
    case 'd':
      if (pressed) decal_lay_copy(true);
      return 1;
    case 'm':
      if (pressed) decal_select_toggle(true, 0);
      return 1;
    case 'M':
      if (pressed) decal_select_toggle(false, brush);
      return 1;
    case '{':
      if (pressed) decal_group_scale(0.9375f);
      return 1;
    case '}':
      if (pressed) decal_group_scale(1.0666667f);
      return 1;
    default: return 0;
  }
}

static int table_key(int code, int pressed) {
  const float step = (editor.terrain ? editor.terrain->extent : 0.0f) / (float)std::exp2(editor_zoom) * 0.25f;
  if (code == menu_keys.left || code == menu_keys.right) {
    if (pressed) editor.centre_x += code == menu_keys.left ? -step : step;
    return 1;
  }
  if (code == menu_keys.up || code == menu_keys.down) {
    if (pressed) editor.centre_z += code == menu_keys.up ? -step : step;
    return 1;
  }
  static const int digit_modes[9] = {2, 4, 5, 6, 7, 8, 9, 10, 11};
  switch (code) {
    case '=':
      if (pressed) editor_zoom += 0.5;
      return 1;
    case '-':
      if (pressed) editor_zoom = editor_zoom - 0.5 > editor_zoom_item.minimum ? editor_zoom - 0.5 : editor_zoom_item.minimum;
      return 1;
    case ']':
      if (pressed)
        editor_strength = editor_strength + 0.25 < editor_strength_item.maximum ? editor_strength + 0.25
                                                                                 : editor_strength_item.maximum;
      return 1;
    case '[':
      if (pressed)
        editor_strength = editor_strength - 0.25 > editor_strength_item.minimum ? editor_strength - 0.25
                                                                                 : editor_strength_item.minimum;
      return 1;
    case 'p':
      if (pressed) editor_export_pov();
      return 1;
    case 'i':
      if (pressed && editor.mode == mode_statues) statues_interpolate();
      return 1;
    case 'f':
      if (pressed) gradient_reset_profile();
      return 1;
    case 'l':
      if (pressed && mode_takes_anchor(editor.mode)) {
        if (editor.drag_anchor[0] < 0)
          editor_mouse_world(editor.drag_anchor);
        else
          clear_drag_anchor();
      }
      return 1;
    case 's':
      if (pressed) editor_save();
      return 1;
    case 'u':
      if (pressed) undo_commit();
      return 1;
    case 8:
      if (pressed) undo_step();
      return 1;
    default: break;
  }
  if (code >= '1' && code <= '9') {
    if (pressed) editor_choose_tool(digit_modes[code - '1']);
    return 1;
  }
  return object_tool_key(code, pressed);
}

int editor_key(int code, int pressed) {
  if (!editor.terrain) return 0;
  if (code == 9) return 0;
  if (pressed && code >= 0 && code < 256) {
    char text[editor_message_bytes];
    if (std::isalnum(code) || std::ispunct(code) || std::isblank(code))
      std::snprintf(text, sizeof text, "Pressed 0x%02x ('%c')", code, code);
    else
      std::snprintf(text, sizeof text, "Pressed 0x%02x", code);
    editor_set_message(text);
  }
  refresh_panel_item();
  if (code == menu_keys.click) {
    if (pressed) {
      if (editor.panel_item >= 0) {
        editor.call_counter = 0;
        editor.held_key = editor.panel_item | editor_held_panel;
        editor_panel_action(code);
        return 0;
      }
      left_press();
    } else {
      left_release();
    }
    return 1;
  }
  if (code == menu_keys.right_click) {
    editor.panning = pressed != 0;
    if (pressed) {
      editor.pan_anchor[0] = (float)menu_screen.mouse_x;
      editor.pan_anchor[1] = (float)menu_screen.mouse_y;
    }
    return 1;
  }
  if (editor.panel_item < 0) return table_key(code, pressed);
  if (pressed) editor_panel_action(code);
  return 1;
}

void editor_update() {
  height_field* field = editor.terrain;
  if (!field) return;
  if ((field->change_flags & 4) && !editor.pending) {
    editor.pending = 1;
    editor_set_message("Update needed!");
  }
  refresh_panel_item();
  if (editor.panning) {
    const float p = editor_pixel_size();
    editor.centre_x += (editor.pan_anchor[0] - (float)menu_screen.mouse_x) * p;
    editor.centre_z += (editor.pan_anchor[1] - (float)menu_screen.mouse_y) * p;
    editor.pan_anchor[0] = (float)menu_screen.mouse_x;
    editor.pan_anchor[1] = (float)menu_screen.mouse_y;
  }
  if (editor.held_key == 0) return;
  if (editor.held_key & editor_held_panel) {
    if (editor.panel_item == (editor.held_key & ~editor_held_panel)) editor_panel_action(16);
    return;
  }
  // The tool's drag step, once a tick. Each tool lands its step here.
  switch (editor.mode) {
    case mode_raise:
    case mode_lower:
    case mode_smooth:
    case mode_smudge:
    case mode_gradient_linear_paint:
    case mode_gradient_linear_add:
    case mode_gradient_radial_paint:
    case mode_gradient_radial_add: brush_step(); break;
    case mode_snap: snap_step(); break;
    case mode_gradient_placement: gradient_placement_drag(); break;
    case mode_gradient_edit: gradient_edit_drag(); break;
    case mode_tilemap: tilemap_paint_step(); break;
    case mode_timing_gate: timing_gate_drag(); break;
    case mode_billboards: billboard_paint(); break;
    case mode_statues: statue_drag(); break;
    case mode_decals: decal_drag(); break;
    default: break;
  }
}
