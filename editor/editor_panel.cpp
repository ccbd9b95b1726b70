// The side panel: its items drawn down the view's left edge each frame,
// the rectangles the key handler hit-tests, and what each item does.
#include "editor/editor_panel.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "assets/view_extent.h"
#include "editor/editor.h"
#include "editor/editor_draw.h"
#include "editor/editor_items.h"
#include "editor/gradient.h"
#include "editor/height_brush.h"
#include "race/menu_screen.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

// Axes shorter than this have no direction to measure along.
static const float shortest_axis = 0.01f;

void editor_choose_tool(int mode) {
  if (mode == editor.mode) return;
  // undo_commit shows "OK" whether or not anything was pending.
  undo_commit();
  editor.mode = mode;
}

// The current objects, or null when the index has fallen outside its
// table (a deletion can leave one behind).
static billboard* current_billboard() {
  const int i = editor.current_billboard;
  if (!billboards.data || i < 0 || (size_t)i >= billboards.count) return nullptr;
  return billboard_at(i);
}

static statue* current_statue() {
  const int i = editor.current_statue;
  if (!statues.data || i < 0 || (size_t)i >= statues.count) return nullptr;
  return statue_at(i);
}

static int current_gate() {
  const int g = editor.current_gate;
  return g >= 0 && g < checkpoints_read && g < checkpoint_max ? g : -1;
}

static gradient_point* point_of(gradient* g, int i) { return (gradient_point*)growable_array_at(&g->points, (size_t)i); }

static int selected_point(const gradient* g) {
  const int p = editor.selected_point;
  return g && p >= 0 && (size_t)p < g->points.count && (size_t)p < g->types.count ? p : -1;
}

static float axis_length(const gradient* g) { return std::hypot(g->end_x - g->start_x, g->end_z - g->start_z); }

int editor_new_gradient() {
  gradient g{};
  const float centre[2] = {(float)(menu_screen.width / 2), (float)(menu_screen.height / 2)};
  float start[2];
  editor_screen_to_world(start, centre);
  g.start_x = start[0];
  g.start_z = start[1];
  g.end_x = start[0] + 50;
  g.end_z = start[1];
  if (!growable_array_init(&g.points, sizeof(gradient_point), 16)) return 0;
  if (!growable_array_init(&g.types, 1, 16) || !growable_array_append(&editor.gradients, &g)) {
    growable_array_free(&g.points);
    growable_array_free(&g.types);
    return 0;
  }
  editor.selected_gradient = (int)editor.gradients.count - 1;
  gradient_reset_profile();
  return 1;
}

void editor_copy_gradient() {
  const gradient* source = editor_selected_gradient();
  if (!source) {
    editor_set_message("No gradient selected");
    return;
  }
  const float length = axis_length(source);
  if (!(length >= shortest_axis)) {
    editor_set_message("Gradient has no length");
    return;
  }
  const int from = editor.selected_gradient;
  if (!editor_new_gradient()) return;
  // The new one may have moved the list.
  source = (const gradient*)growable_array_at(&editor.gradients, (size_t)from);
  gradient* copy = editor_selected_gradient();
  const float dx = source->end_x - source->start_x, dz = source->end_z - source->start_z;
  const float ax = dz * 10 / length, az = -dx * 10 / length;
  copy->start_x = source->start_x + ax;
  copy->start_z = source->start_z + az;
  copy->end_x = source->end_x + ax;
  copy->end_z = source->end_z + az;
  copy->points.count = 0;
  copy->types.count = 0;
  for (size_t i = 0; i < source->points.count && i < source->types.count; i++) {
    if (!growable_array_append(&copy->points, growable_array_at(&source->points, i))) break;
    if (!growable_array_append(&copy->types, growable_array_at(&source->types, i))) {
      copy->points.count--;
      break;
    }
  }
}

namespace {

struct profile {
  std::vector<gradient_point> points;
  std::vector<uint8_t> types;
  void remove(size_t from, size_t to) {  // [from, to)
    points.erase(points.begin() + (long)from, points.begin() + (long)to);
    types.erase(types.begin() + (long)from, types.begin() + (long)to);
  }
};

float segment_slope(const profile& p, size_t i) {
  return (p.points[i + 1].height - p.points[i].height) / (p.points[i + 1].distance - p.points[i].distance);
}

// Runs of points on one line from the end backwards become one Line when
// they are long enough to be meant straight.
void merge_straight_runs(profile* p, float spacing) {
  const float tolerance = 1.0f / 8192, shortest = 2 * std::sqrt(2.0f) * spacing;
  size_t end = p->points.size() - 1;
  while (end > 0) {
    size_t start = end - 1;
    while (start > 0 && std::fabs(segment_slope(*p, start - 1) - segment_slope(*p, start)) <= tolerance) start--;
    if (end - start >= 2 && p->points[end].distance - p->points[start].distance >= shortest) {
      p->remove(start + 1, end);
      p->types[start] = 0;
      end = start;
    } else {
      end--;
    }
  }
}

// Curve points that the curve through their neighbours nearly passes
// through anyway are dropped, at growing tolerances.
void thin_curves(profile* p) {
  for (float tolerance = 1.0f / 128; tolerance <= 0.25f; tolerance *= 2) {
    for (size_t i = p->points.size() >= 2 ? p->points.size() - 2 : 0; i >= 1; i--) {
      if (p->types[i] != 1 || p->types[i - 1] != 1) continue;
      const gradient_point& a = p->points[i - 1];
      const gradient_point& b = p->points[i];
      const gradient_point& c = p->points[i + 1];
      const float line = a.height + (b.distance - a.distance) * (c.height - a.height) / (c.distance - a.distance);
      if (std::fabs(b.height - line) < tolerance) p->remove(i, i + 1);
    }
  }
}

}  // namespace

void editor_set_from_terrain() {
  gradient* g = editor_selected_gradient();
  height_field* field = editor.terrain;
  if (!g || !field) return;
  const float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z;
  const float length = std::hypot(dx, dz);
  const float spacing = field->spacing;
  if (!(length >= shortest_axis) || !(spacing > 0)) return;
  if (!(length / spacing < 1e6f)) {
    editor_set_message("Gradient too long");
    return;
  }
  field->change_flags = 7;
  const int level = field->n;
  profile p;
  // Each distance is k x spacing, not a running sum, and one closer to the
  // end than a thousandth of a cell gives way to the end itself, so the
  // distances strictly increase.
  for (int k = 0;; k++) {
    const float d = (float)k * spacing;
    if (k > 0 && !(d < length - spacing / 1000)) break;
    const float t = d / length;
    p.points.push_back({d, editor_coarse_height_at(level, g->start_x + t * dx, g->start_z + t * dz)});
    p.types.push_back(1);
  }
  p.points.push_back({length, editor_coarse_height_at(level, g->end_x, g->end_z)});
  p.types.push_back(0);
  merge_straight_runs(&p, spacing);
  thin_curves(&p);
  g->points.count = 0;
  g->types.count = 0;
  for (size_t i = 0; i < p.points.size(); i++) {
    if (!growable_array_append(&g->points, &p.points[i])) break;
    if (!growable_array_append(&g->types, &p.types[i])) {
      g->points.count--;
      break;
    }
  }
  editor.selected_point = -1;
}

void editor_snap_to_gradient() {
  height_field* field = editor.terrain;
  statue* t = current_statue();
  const gradient* g = editor_selected_gradient();
  if (!field || field->edit_lock || !t || !g) return;
  const float ax = g->end_x - g->start_x, az = g->end_z - g->start_z;
  const float length = std::hypot(ax, az);
  const float px = t->x - g->start_x, pz = t->z - g->start_z;
  const float P = std::hypot(px, pz);
  // Without an axis or a way from the start there is no direction to turn
  // the statue to.
  if (!(length >= shortest_axis) || !(P >= shortest_axis)) return;
  float r = 0, nearest = P;
  for (size_t i = 0; i < g->points.count; i++) {
    const float s = ((const gradient_point*)growable_array_at(&g->points, i))->distance;
    if (std::fabs(s - P) < nearest) {
      nearest = std::fabs(s - P);
      r = s;
    }
  }
  const float ux = ax / length, uz = az / length;
  const float along = px * ux + pz * uz;
  const float fx = ux * along, fz = uz * along;
  const float D = std::hypot(px - fx, pz - fz);
  float a;
  if (D >= std::fabs(r - P)) {
    t->x = g->start_x + px * r / P;
    t->z = g->start_z + pz * r / P;
    a = std::atan2(-pz, px);
  } else {
    t->x = g->start_x + fx;
    t->z = g->start_z + fz;
    a = std::atan2(-fx, -fz);
  }
  const double turns = (a + M_PI) / (2 * M_PI);
  const float facing = (float)((turns - std::floor(turns)) * 2 * M_PI - M_PI);
  // Angles from 3.25 up face the viewer; from -2 pi down the statue stays
  // upright: both ranges keep their meaning.
  if (t->angle >= 3.25f) {
  } else if (t->angle <= (float)(-2 * M_PI)) {
    t->angle = facing - (float)(4 * M_PI);
  } else {
    t->angle = facing;
  }
  t->height_offset = 0;
  place_object_on_ground(t);
  statue_grid_rebuild();
  field->change_flags = 7;
}

// Switch-point entries are gate numbers, or gate + route_flagged once
// cleared.
static int switch_entry_count() {
  const int n = lap_list_read[0] + lap_list_read[1];
  return n < 0 ? 0 : (n > route_entry_max ? route_entry_max : n);
}

void editor_switch_points(int set) {
  const int gate = current_gate();
  if (gate < 0 || !editor.terrain) return;
  editor.terrain->change_flags = 7;
  const int32_t from = set ? gate + route_flagged : gate, to = set ? gate : gate + route_flagged;
  for (int i = 0; i < switch_entry_count(); i++)
    if (route.entries[i] == from) route.entries[i] = to;
}

const char* editor_switch_point_text() {
  const int gate = current_gate();
  int set = 0, cleared = 0;
  for (int i = 0; gate >= 0 && i < switch_entry_count(); i++) {
    set += route.entries[i] == gate;
    cleared += route.entries[i] == gate + route_flagged;
  }
  if (set > 0 && cleared > 0) return "Switch Point: Mixed";
  if (set > 0) return "Switch Point: Yes";
  if (cleared > 0) return "Switch Point: No";
  return "Gate not referenced";
}

int editor_slope_line(char* out, int size) {
  gradient* g = editor_selected_gradient();
  const int point = selected_point(g);
  // A slope needs a segment: two points at least.
  if (point < 0 || g->points.count < 2) return 0;
  // On a Line the slope is the Line's own, the one its end point takes.
  const int on_line = *(const uint8_t*)growable_array_at(&g->types, (size_t)point) != 1;
  std::snprintf(out, (size_t)size, "Slope: %.3f", gradient_point_slope(on_line ? point + 1 : point));
  return 1;
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

static void segment_type_chosen() {
  gradient* g = editor_selected_gradient();
  const int p = selected_point(g);
  if (p < 0) return;
  *(uint8_t*)growable_array_at(&g->types, (size_t)p) = (uint8_t)editor_segment_type;
  if (editor.terrain) editor.terrain->change_flags = 7;
}

static void billboard_height_chosen() {
  billboard* b = current_billboard();
  if (!b || !editor.terrain) return;
  b->height_offset = (float)editor_billboard_height;
  b->y = editor_height_at(editor.terrain, b->x, b->z) + b->height_offset;
  editor.terrain->change_flags = 7;
}

// The button records of the items that act when activated.
static menu_button* button_item(int item) {
  switch (item) {
    case panel_save: return &editor_save_item;
    case panel_new_gradient: return &editor_new_gradient_item;
    case panel_copy_gradient: return &editor_copy_gradient_item;
    case panel_set_from_terrain: return &editor_set_from_terrain_item;
    case panel_flatten: return &editor_flatten_item;
    case panel_set_switch_point: return &editor_set_switch_point_item;
    case panel_clear_switch_point: return &editor_clear_switch_point_item;
    case panel_snap_to_gradient: return &editor_snap_to_gradient_item;
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
    if (item == panel_segment_type) segment_type_chosen();
    return;
  }
  if (menu_slider* slider = slider_item(item)) {
    slider_key(slider, key);
    if (item == panel_billboard_height) billboard_height_chosen();
    return;
  }
  menu_button* button = button_item(item);
  if (!button || !widget_activated(button->rect, key)) return;
  switch (item) {
    // The save's own message tells whether the set was written.
    case panel_save: editor_save(); break;
    case panel_new_gradient: editor_new_gradient(); break;
    case panel_copy_gradient: editor_copy_gradient(); break;
    case panel_set_from_terrain: editor_set_from_terrain(); break;
    case panel_flatten: gradient_reset_profile(); break;
    case panel_set_switch_point: editor_switch_points(1); break;
    case panel_clear_switch_point: editor_switch_points(0); break;
    case panel_snap_to_gradient: editor_snap_to_gradient(); break;
    default: break;
  }
}

// --- Drawing ---

namespace {

const float item_width = 20, label_fraction = 0.5f, line_step = 1.5f;

struct panel_pen {
  float pen[2];
  float scale[2];
  // Down one line; every item and text line starts with it.
  void next() { menu_translate(pen, 0, -line_step); }
  int selected(int item) const { return editor.panel_item == item; }
  void button(menu_button* b, int item) {
    next();
    draw_button(b, selected(item), pen, scale, item_width, 0);
  }
  void slider(menu_slider* s, int item) {
    next();
    draw_slider(s, selected(item), pen, scale, item_width, 0, label_fraction);
  }
  void list(menu_option_list* l, int item) {
    next();
    draw_option_list(l, selected(item), pen, scale, item_width, 0, label_fraction);
  }
  void text(const char* line) {
    next();
    draw_text_box(line, menu_colors.item_label.text, menu_colors.item_label.fill, item_width, 0);
  }
};

// Items of the other tools are hidden before the current tool's are drawn,
// so a click finds only what is on the screen.
void hide_tool_items() {
  for (int i = panel_billboard_spacing; i < panel_dummy; i++) widget_hide(const_cast<int*>(editor_panel_rects[i]));
}

void draw_background() {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBegin(GL_QUADS);
  glColor4f(0, 0, 0, 0.5f);
  glVertex2f(0, 0);
  glVertex2f(0, -64);
  glVertex2f(21, -64);
  glVertex2f(21, 0);
  glVertex2f(21, 0);
  glVertex2f(21, -64);
  glColor4f(0, 0, 0, 0);
  glVertex2f(21.25f, -64);
  glVertex2f(21.25f, 0);
  glEnd();
  glColor4f(1, 1, 1, 1);
}

// Where the ground is composited from tile pictures the tiles have no
// texture of their own: the swatch gets one, made again when the tile
// shown changes.
uint32_t tile_swatch(const height_field* field, int t) {
  if (field->tile_textures[t]) return field->tile_textures[t];
  const uint8_t* pixels = field->tile_image_pixels[t];
  const int w = field->tile_image_width[t], h = field->tile_image_height[t];
  if (!pixels || w <= 0 || h <= 0) return 0;
  static GLuint swatch = 0;
  static const uint8_t* shown = nullptr;
  if (!swatch) glGenTextures(1, &swatch);
  glBindTexture(GL_TEXTURE_2D, swatch);
  if (shown != pixels) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    shown = pixels;
  }
  return swatch;
}

void draw_tile(panel_pen* p) {
  const height_field* field = editor.terrain;
  int t = (int)editor_tile;
  t = t < 0 ? 0 : (t > tile_table_size - 1 ? tile_table_size - 1 : t);
  char name[tile_name_bytes + 1];
  std::snprintf(name, sizeof name, "%.*s", (int)tile_name_bytes - 1, field->tile_names[t]);
  p->text(name);
  menu_translate(p->pen, 0.5f, -4.5f);
  glScalef(4, 4, 1);
  draw_textured_unit_quad(tile_swatch(field, t));
  glScalef(0.25f, 0.25f, 1);
  menu_translate(p->pen, -0.5f, 0);
}

}  // namespace

void editor_draw_panel(const float m[2]) {
  const height_field* field = editor.terrain;
  if (!field) return;
  const int h = menu_screen.height;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  // The panel is 64 units tall from the window's top-left.
  glLoadIdentity();
  glTranslatef(-view_xe, view_ye, -1);
  const float unit = 2 * view_ye / 64;
  glScalef(unit, unit, unit);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  panel_pen p = {{0, 0}, {(float)h / 64, -(float)h / 64}};
  int* whole = editor_dummy_item.rect;
  whole[0] = 0;
  whole[1] = 0;
  whole[2] = (int)(20.0f * (float)h / 64);
  whole[3] = h;
  draw_background();
  menu_translate(p.pen, 0.5f, 0);
  hide_tool_items();
  for (int i = 0; i < editor_mode_count; i++) {
    p.next();
    draw_button(&editor_tool_buttons[i], p.selected(i) || editor.mode == i, p.pen, p.scale, item_width, 0);
  }
  p.list(&editor_submode_item, panel_submode);
  p.button(&editor_save_item, panel_save);
  p.slider(&editor_zoom_item, panel_zoom);
  p.slider(&editor_strength_item, panel_strength);
  p.slider(&editor_focus_item, panel_focus);
  p.slider(&editor_radius_item, panel_radius);
  char line[160];
  const float radius = (float)editor_radius * editor_pixel_size();
  std::snprintf(line, sizeof line, "Actual Radius: %.2f (%.2f)", radius, radius * (float)editor_focus);
  p.text(line);
  std::snprintf(line, sizeof line, "Actual Strength: %.3f", std::exp2(editor_strength));
  p.text(line);
  gradient* g = editor_selected_gradient();
  switch (editor.mode) {
    case mode_billboards: {
      p.slider(&editor_billboard_spacing_item, panel_billboard_spacing);
      p.slider(&editor_billboard_height_item, panel_billboard_height);
      const billboard* b = current_billboard();
      std::snprintf(line, sizeof line, "%.150s", b && b->texture_name ? b->texture_name : "[none]");
      p.text(line);
      break;
    }
    case mode_gradient_placement:
      p.button(&editor_new_gradient_item, panel_new_gradient);
      p.button(&editor_copy_gradient_item, panel_copy_gradient);
      if (g) {
        std::snprintf(line, sizeof line, "Length: %.2f", axis_length(g));
        p.text(line);
      }
      break;
    case mode_gradient_edit: {
      p.list(&editor_segment_type_item, panel_segment_type);
      p.slider(&editor_granularity_item, panel_granularity);
      p.next();
      p.button(&editor_set_from_terrain_item, panel_set_from_terrain);
      p.button(&editor_flatten_item, panel_flatten);
      if (editor_slope_line(line, sizeof line)) {
        p.text(line);
        std::snprintf(line, sizeof line, "Height: %.2f", point_of(g, selected_point(g))->height);
        p.text(line);
      }
      break;
    }
    case mode_timing_gate:
      p.text(editor_switch_point_text());
      p.button(&editor_set_switch_point_item, panel_set_switch_point);
      p.button(&editor_clear_switch_point_item, panel_clear_switch_point);
      break;
    case mode_tilemap:
      p.slider(&editor_tile_item, panel_tile);
      draw_tile(&p);
      break;
    case mode_statues:
      p.list(&editor_show_collidable_item, panel_show_collidable);
      p.button(&editor_snap_to_gradient_item, panel_snap_to_gradient);
      break;
    case mode_decals:
      p.slider(&editor_decal_spacing_item, panel_decal_spacing);
      p.list(&editor_orientation_item, panel_orientation);
      p.list(&editor_hide_different_item, panel_hide_different);
      p.list(&editor_level_item, panel_level);
      break;
    default: break;
  }
  std::snprintf(line, sizeof line, "%.2f %.2f %.2f", m[0], editor_height_at(field, m[0], m[1]), m[1]);
  p.text(line);
  p.text(editor.message);
  glColor4f(1, 1, 1, 1);
  glPopMatrix();
}
