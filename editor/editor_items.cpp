// The side panel's item records and their defaults.
#include "editor/editor_items.h"

const char* const editor_mode_labels[16] = {"Raise",
                                            "Lower",
                                            "Smooth",
                                            "Smudge",
                                            "Snap",
                                            "Gradient Linear Paint",
                                            "Gradient Linear Add",
                                            "Gradient Radial Paint",
                                            "Gradient Radial Add",
                                            "Gradient Placement",
                                            "Gradient Edit",
                                            "Timing Gate",
                                            "Billboards",
                                            "Statues",
                                            "Tilemap Edit",
                                            "Decals"};

double editor_zoom = 1;
double editor_strength = 3;
double editor_focus = 0.5;
double editor_radius = 64;
double editor_billboard_spacing = 1;
double editor_billboard_height = 0;
double editor_granularity = 0;
double editor_tile = 0;
double editor_decal_spacing = 0.75;
int editor_submode = 0;
int editor_segment_type = 0;
int editor_show_collidable = 0;
int editor_orientation = 2;
int editor_hide_different = 0;
int editor_level = 2;

static const char* const submode_options[] = {"Assign", "Raise Only", "Lower Only"};
static const char* const segment_options[] = {"Line", "Curve"};
static const char* const no_yes_options[] = {"No", "Yes"};
static const char* const orientation_options[] = {"Copy", "Random", "Flow", "Flow2", "Uphill"};
static const char* const level_options[] = {"Top", "Under Current", "Over Current", "Bottom"};

menu_button editor_tool_buttons[16] = {
    {editor_mode_labels[0], {}},  {editor_mode_labels[1], {}},  {editor_mode_labels[2], {}},
    {editor_mode_labels[3], {}},  {editor_mode_labels[4], {}},  {editor_mode_labels[5], {}},
    {editor_mode_labels[6], {}},  {editor_mode_labels[7], {}},  {editor_mode_labels[8], {}},
    {editor_mode_labels[9], {}},  {editor_mode_labels[10], {}}, {editor_mode_labels[11], {}},
    {editor_mode_labels[12], {}}, {editor_mode_labels[13], {}}, {editor_mode_labels[14], {}},
    {editor_mode_labels[15], {}},
};
menu_option_list editor_submode_item = {"SubMode", submode_options, 3, &editor_submode, {}};
menu_button editor_save_item = {"Save", {}};
menu_slider editor_zoom_item = {"Zoom", &editor_zoom, 0.125, -3, 8, {}, 0, 0};
menu_slider editor_strength_item = {"Strength", &editor_strength, 0.25, -5, 5, {}, 0, 0};
menu_slider editor_focus_item = {"Focus", &editor_focus, 0.03125, 0, 1, {}, 0, 0};
menu_slider editor_radius_item = {"Radius", &editor_radius, 1, 1, 128, {}, 0, 0};
menu_slider editor_billboard_spacing_item = {"Spacing", &editor_billboard_spacing, 0.25, 0.25, 1000, {}, 0, 0};
menu_slider editor_billboard_height_item = {"Height", &editor_billboard_height, 0.25, -50, 50, {}, 0, 0};
menu_button editor_new_gradient_item = {"New Gradient", {}};
menu_button editor_copy_gradient_item = {"Copy Gradient", {}};
menu_option_list editor_segment_type_item = {"Segment Type", segment_options, 2, &editor_segment_type, {}};
menu_slider editor_granularity_item = {"Granularity", &editor_granularity, 0.0625, 0, 1, {}, 0, 0};
menu_button editor_set_from_terrain_item = {"Set From Terrain", {}};
menu_button editor_flatten_item = {"Flatten", {}};
menu_button editor_set_switch_point_item = {"Set AI Switch Point", {}};
menu_button editor_clear_switch_point_item = {"Clear AI Switch Point", {}};
menu_slider editor_tile_item = {"Tile", &editor_tile, 1, 0, 255, {}, 0, 0};
menu_option_list editor_show_collidable_item = {"Show Collidable", no_yes_options, 2, &editor_show_collidable, {}};
menu_button editor_snap_to_gradient_item = {"Snap to Gradient", {}};
menu_slider editor_decal_spacing_item = {"Spacing", &editor_decal_spacing, 0.0625, 0.25, 4, {}, 0, 0};
menu_option_list editor_orientation_item = {"Orientation", orientation_options, 5, &editor_orientation, {}};
menu_option_list editor_hide_different_item = {"Hide different", no_yes_options, 2, &editor_hide_different, {}};
menu_option_list editor_level_item = {"Level", level_options, 4, &editor_level, {}};
menu_button editor_dummy_item = {"dummy", {}};

const int* const editor_panel_rects[panel_item_count + 1] = {
    editor_tool_buttons[0].rect,  editor_tool_buttons[1].rect,  editor_tool_buttons[2].rect,
    editor_tool_buttons[3].rect,  editor_tool_buttons[4].rect,  editor_tool_buttons[5].rect,
    editor_tool_buttons[6].rect,  editor_tool_buttons[7].rect,  editor_tool_buttons[8].rect,
    editor_tool_buttons[9].rect,  editor_tool_buttons[10].rect, editor_tool_buttons[11].rect,
    editor_tool_buttons[12].rect, editor_tool_buttons[13].rect, editor_tool_buttons[14].rect,
    editor_tool_buttons[15].rect, editor_submode_item.rect,     editor_save_item.rect,
    editor_zoom_item.rect,        editor_strength_item.rect,    editor_focus_item.rect,
    editor_radius_item.rect,      editor_billboard_spacing_item.rect, editor_billboard_height_item.rect,
    editor_new_gradient_item.rect, editor_copy_gradient_item.rect, editor_segment_type_item.rect,
    editor_granularity_item.rect, editor_set_from_terrain_item.rect, editor_flatten_item.rect,
    editor_set_switch_point_item.rect, editor_clear_switch_point_item.rect, editor_tile_item.rect,
    editor_show_collidable_item.rect, editor_snap_to_gradient_item.rect, editor_decal_spacing_item.rect,
    editor_orientation_item.rect, editor_hide_different_item.rect, editor_level_item.rect,
    editor_dummy_item.rect,       nullptr,
};

void editor_items_reset() {
  editor_zoom = 1;
  editor_strength = 3;
  editor_focus = 0.5;
  editor_radius = 64;
  editor_billboard_spacing = 1;
  editor_billboard_height = 0;
  editor_granularity = 0;
  editor_tile = 0;
  editor_tile_item.maximum = 255;
  editor_decal_spacing = 0.75;
  editor_submode = 0;
  editor_segment_type = 0;
  editor_show_collidable = 0;
  editor_orientation = 2;
  editor_hide_different = 0;
  editor_level = 2;
}
