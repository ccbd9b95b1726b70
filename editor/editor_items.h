#pragma once
// The side panel's items: the 16 tool buttons, the settings every tool
// shares, each tool's own items and the whole-panel catcher, in the order
// of the panel's hit-test list. Their values are the tools' settings and
// start at the tools' defaults; they live for the whole run.
#include "ui/widget.h"

enum {
  panel_tool_first = 0,  // 0-15: the tool buttons
  panel_submode = 16,
  panel_save = 17,
  panel_zoom = 18,
  panel_strength = 19,
  panel_focus = 20,
  panel_radius = 21,
  panel_billboard_spacing = 22,
  panel_billboard_height = 23,
  panel_new_gradient = 24,
  panel_copy_gradient = 25,
  panel_segment_type = 26,
  panel_granularity = 27,
  panel_set_from_terrain = 28,
  panel_flatten = 29,
  panel_set_switch_point = 30,
  panel_clear_switch_point = 31,
  panel_tile = 32,
  panel_show_collidable = 33,
  panel_snap_to_gradient = 34,
  panel_decal_spacing = 35,
  panel_orientation = 36,
  panel_hide_different = 37,
  panel_level = 38,
  panel_dummy = 39,
  panel_item_count = 40,
};

extern const char* const editor_mode_labels[16];

extern menu_button editor_tool_buttons[16];
extern menu_option_list editor_submode_item;
extern menu_button editor_save_item;
extern menu_slider editor_zoom_item;
extern menu_slider editor_strength_item;
extern menu_slider editor_focus_item;
extern menu_slider editor_radius_item;
extern menu_slider editor_billboard_spacing_item;
extern menu_slider editor_billboard_height_item;
extern menu_button editor_new_gradient_item;
extern menu_button editor_copy_gradient_item;
extern menu_option_list editor_segment_type_item;
extern menu_slider editor_granularity_item;
extern menu_button editor_set_from_terrain_item;
extern menu_button editor_flatten_item;
extern menu_button editor_set_switch_point_item;
extern menu_button editor_clear_switch_point_item;
extern menu_slider editor_tile_item;
extern menu_option_list editor_show_collidable_item;
extern menu_button editor_snap_to_gradient_item;
extern menu_slider editor_decal_spacing_item;
extern menu_option_list editor_orientation_item;
extern menu_option_list editor_hide_different_item;
extern menu_option_list editor_level_item;
extern menu_button editor_dummy_item;

// The values the tools read.
extern double editor_zoom;
extern double editor_strength;
extern double editor_focus;
extern double editor_radius;
extern double editor_billboard_spacing;
extern double editor_billboard_height;
extern double editor_granularity;
extern double editor_tile;
extern double editor_decal_spacing;
extern int editor_submode;
extern int editor_segment_type;
extern int editor_show_collidable;
extern int editor_orientation;
extern int editor_hide_different;
extern int editor_level;

// The rectangles in hit-test order, ended by a null entry.
extern const int* const editor_panel_rects[panel_item_count + 1];

// Puts every item back at its default (tests; the run keeps its values).
void editor_items_reset();
