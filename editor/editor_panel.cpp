// The side panel's actions: tool buttons, option lists, sliders and Save.
// The gradient, gate, statue and billboard buttons belong to their tools.
#include "editor/editor_panel.h"

#include <GL/gl.h>

#include <cstdio>

#include "assets/view_extent.h"

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "terrain/height_field.h"

void editor_choose_tool(int mode) {
  if (mode == editor.mode) return;
  // undo_commit shows "OK" whether or not anything was pending.
  undo_commit();
  editor.mode = mode;
}

static menu_option_list* option_list_item(int item) {
  switch (item) {
    case panel_submode: return &editor_submode_item;
    case panel_segment_type: return &editor_segment_type_item;
    case panel_show_collidable: return &editor_show_collidable_item;
    case panel_orientation: return &editor_orientation_item;
    case panel_hide_different: return &editor_hide_different_item;
    case panel_level: return &editor_level_item;
    default: return nullptr;
  }
}

static menu_slider* slider_item(int item) {
  switch (item) {
    case panel_zoom: return &editor_zoom_item;
    case panel_strength: return &editor_strength_item;
    case panel_focus: return &editor_focus_item;
    case panel_radius: return &editor_radius_item;
    case panel_billboard_spacing: return &editor_billboard_spacing_item;
    case panel_billboard_height: return &editor_billboard_height_item;
    case panel_granularity: return &editor_granularity_item;
    case panel_tile: return &editor_tile_item;
    case panel_decal_spacing: return &editor_decal_spacing_item;
    default: return nullptr;
  }
}

void editor_panel_action(int key) {
  const int item = editor.panel_item;
  if (item < 0 || item >= panel_item_count) return;
  if (item < editor_mode_count) {
    if (widget_activated(editor_tool_buttons[item].rect, key)) editor_choose_tool(item);
    return;
  }
  if (menu_option_list* list = option_list_item(item)) {
    option_list_key(list, key);
    return;
  }
  if (menu_slider* slider = slider_item(item)) {
    slider_key(slider, key);
    return;
  }
  if (item == panel_save && widget_activated(editor_save_item.rect, key)) editor_save();
}

void editor_draw_panel(const float m[2]) {
  // The panel is 64 units tall from the window's top-left.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(-view_xe, view_ye, -1);
  const float unit = 2 * view_ye / 64;
  glScalef(unit, unit, unit);
  glTranslatef(0.5f, 0, 0);
  glDisable(GL_DEPTH_TEST);
  const menu_color& text = menu_colors.item_label.text;
  const menu_color& fill = menu_colors.item_label.fill;
  char line[96];
  std::snprintf(line, sizeof line, "%.2f %.2f %.2f", m[0], editor_height_at(editor.terrain, m[0], m[1]), m[1]);
  glTranslatef(0, -1.5f, 0);
  draw_text_box(line, text, fill, 20, 0);
  glTranslatef(0, -1.5f, 0);
  draw_text_box(editor.message, text, fill, 20, 0);
  glPopMatrix();
}
