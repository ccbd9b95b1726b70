#include "editor/gradient.h"

#include <cmath>

#include "editor/editor_items.h"
#include "terrain/height_field.h"

gradient* editor_selected_gradient() {
  const int g = editor.selected_gradient;
  if (g < 0 || (size_t)g >= editor.gradients.count) return nullptr;
  return static_cast<gradient*>(growable_array_at(&editor.gradients, (size_t)g));
}

static const gradient_point& point_at(const gradient* g, int i) {
  return *static_cast<const gradient_point*>(growable_array_at(&g->points, (size_t)i));
}

static int type_at(const gradient* g, int i) {
  if (i < 0 || (size_t)i >= g->types.count) return 0;
  return *static_cast<const uint8_t*>(growable_array_at(&g->types, (size_t)i));
}

// Points read from a file may share a distance; such a step has no slope
// rather than an infinite one.
static float difference(const gradient* g, int a, int b) {
  const gradient_point& p = point_at(g, a);
  const gradient_point& q = point_at(g, b);
  const float run = q.distance - p.distance;
  return run > 0 ? (q.height - p.height) / run : 0.0f;
}

float gradient_point_slope(int i) {
  const gradient* g = editor_selected_gradient();
  if (!g) return 0;
  const int n = (int)g->points.count;
  if (n < 2) return 0;
  if (i < 1) return difference(g, 0, 1);
  if (i >= n - 1) return difference(g, n - 2, n - 1);
  if (type_at(g, i - 1) != 1) return difference(g, i - 1, i);
  if (type_at(g, i) != 1) return difference(g, i, i + 1);
  return (difference(g, i - 1, i) + difference(g, i, i + 1)) * 0.5f;
}

float gradient_segment_height(int i, float t) {
  const gradient* g = editor_selected_gradient();
  if (!g || g->points.count == 0) return 0;
  const int n = (int)g->points.count;
  if (i >= n - 1) return point_at(g, n - 1).height;
  if (i < 0) i = 0;
  const float h0 = point_at(g, i).height;
  const float h1 = point_at(g, i + 1).height;
  const float length = point_at(g, i + 1).distance - point_at(g, i).distance;
  const float m0 = gradient_point_slope(i) * length;
  const float m1 = gradient_point_slope(i + 1) * length;
  return h0 + m0 * t + (3 * (h1 - h0) - 2 * m0 - m1) * t * t + (m0 + m1 + 2 * (h0 - h1)) * t * t * t;
}

float gradient_profile_height(float d) {
  const gradient* g = editor_selected_gradient();
  if (!g || g->points.count == 0) return 0;
  const int n = (int)g->points.count;
  if (d < point_at(g, 0).distance) return point_at(g, 0).height;
  for (int i = 0; i < n - 1; i++) {
    const gradient_point& p = point_at(g, i);
    const gradient_point& q = point_at(g, i + 1);
    if (d < p.distance) continue;
    if (d < q.distance) {
      const float t = (d - p.distance) / (q.distance - p.distance);
      if (type_at(g, i) == 1) return gradient_segment_height(i, t);
      return p.height + t * (q.height - p.height);
    }
  }
  return point_at(g, n - 1).height;
}

void gradient_reset_profile() {
  if (editor.terrain) editor.terrain->change_flags = 7;
  gradient* g = editor_selected_gradient();
  if (g) {
    g->points.count = 0;
    g->types.count = 0;
    const float length = std::hypot(g->start_x - g->end_x, g->start_z - g->end_z);
    const gradient_point ends[2] = {{0, 0}, {length, 0}};
    const uint8_t line = 0;
    for (const gradient_point& p : ends) {
      if (!growable_array_append(&g->points, &p)) break;
      if (!growable_array_append(&g->types, &line)) {
        g->points.count--;
        break;
      }
    }
  }
  editor.selected_point = -1;
}

float editor_pick_radius() { return editor_icon_scale() * 0.5f; }

// Shorter axes have no direction to speak of.
static const float shortest_axis = 0.01f;

float gradient_linear_height(float x, float z) {
  const gradient* g = editor_selected_gradient();
  if (!g || g->points.count == 0) return 0;
  const float ax = g->end_x - g->start_x, az = g->end_z - g->start_z;
  const float length = std::hypot(ax, az);
  float d = 0;
  if (length >= shortest_axis) d = ((x - g->start_x) * ax + (z - g->start_z) * az) / length;
  return gradient_profile_height(d);
}

float gradient_radial_height(float x, float z) {
  const gradient* g = editor_selected_gradient();
  if (!g || g->points.count == 0) return 0;
  const float ax = g->end_x - g->start_x, az = g->end_z - g->start_z;
  const float px = x - g->start_x, pz = z - g->start_z;
  const float length = std::hypot(ax, az);
  float d;
  if (px * ax + pz * az >= 0 || length < shortest_axis) {
    d = std::hypot(px, pz);
  } else {
    const float ux = ax / length, uz = az / length;
    const float along = px * ux + pz * uz;
    d = std::hypot(px - ux * along, pz - uz * along);
  }
  return gradient_profile_height(d);
}

int draw_gradient_segment(const gradient_point* points, int i, int count, float (*out)[3]) {
  if (!points || i < 0 || i >= count) return 0;
  if (i == count - 1) {
    out[0][0] = points[i].distance;
    out[0][1] = 0;
    out[0][2] = -points[i].height;
    return 1;
  }
  const float s0 = points[i].distance, s1 = points[i + 1].distance;
  if (!(s0 < s1)) return 0;
  // Each sample's distance comes from its index: a running sum of 0.25
  // stops growing far from the origin and would never reach the end.
  int k = 0;
  for (; k < gradient_segment_max_samples; k++) {
    const float d = s0 + 0.25f * (float)k;
    if (!(d < s1)) break;
    out[k][0] = d;
    out[k][1] = 0;
    out[k][2] = -gradient_segment_height(i, (d - s0) / (s1 - s0));
  }
  return k;
}

static float distance_to(const float m[2], float x, float z) { return std::hypot(m[0] - x, m[1] - z); }

void gradient_pick() {
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  for (size_t i = 0; i < editor.gradients.count; i++) {
    const gradient* g = static_cast<const gradient*>(growable_array_at(&editor.gradients, i));
    if (distance_to(m, g->start_x, g->start_z) <= r || distance_to(m, g->end_x, g->end_z) <= r) {
      editor.selected_gradient = (int)i;
      editor.selected_point = -1;
    }
  }
}

// At most two points, all at height 0: a profile nobody has shaped yet.
static int blank_profile(const gradient* g) {
  if (g->points.count > 2) return 0;
  for (size_t i = 0; i < g->points.count; i++)
    if (point_at(g, (int)i).height != 0) return 0;
  return 1;
}

static void mark_changed() {
  if (editor.terrain) editor.terrain->change_flags = 7;
}

void gradient_placement_press() {
  const gradient* g = editor_selected_gradient();
  if (!g) return;
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  if (distance_to(m, g->start_x, g->start_z) <= r) {
    editor.drag_state = 1;
  } else if (distance_to(m, g->end_x, g->end_z) <= r) {
    editor.drag_state = 2;
  } else {
    editor.drag_state = 0;
    gradient_pick();
  }
}

void gradient_placement_drag() {
  gradient* g = editor_selected_gradient();
  if (!g || (editor.drag_state != 1 && editor.drag_state != 2)) return;
  mark_changed();
  float m[2];
  editor_mouse_world(m);
  const int blank = blank_profile(g);
  if (editor.drag_state == 1) {
    if (blank) {
      // A start on top of the end leaves no axis to measure along.
      if (distance_to(m, g->end_x, g->end_z) < shortest_axis) return;
    } else {
      g->end_x += m[0] - g->start_x;
      g->end_z += m[1] - g->start_z;
    }
    g->start_x = m[0];
    g->start_z = m[1];
    return;
  }
  const float reach = distance_to(m, g->start_x, g->start_z);
  if (reach < shortest_axis) return;
  if (blank) {
    g->end_x = m[0];
    g->end_z = m[1];
    return;
  }
  const float last = point_at(g, (int)g->points.count - 1).distance;
  g->end_x = g->start_x + (m[0] - g->start_x) / reach * last;
  g->end_z = g->start_z + (m[1] - g->start_z) / reach * last;
}

void gradient_placement_release() {
  const gradient* g = editor_selected_gradient();
  if (!g || editor.drag_state == 0) return;
  if (g->points.count < 3 && blank_profile(g)) gradient_reset_profile();
}

void profile_point_pick_or_insert() {
  gradient* g = editor_selected_gradient();
  if (!g) return;
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  const int n = (int)g->points.count;
  for (int i = 0; i < n; i++) {
    const gradient_point& p = point_at(g, i);
    if (distance_to(m, g->start_x + p.distance, g->start_z - p.height) <= r) {
      editor.selected_point = i;
      editor.drag_state = 1;
      editor_segment_type = type_at(g, i);
      return;
    }
  }
  editor.drag_state = 0;
  if (n < 2) return;
  for (int i = 1; i < n; i++) {
    const float left = g->start_x + point_at(g, i - 1).distance;
    const float right = g->start_x + point_at(g, i).distance;
    if (!(left < m[0] && m[0] < right)) continue;
    const gradient_point fresh = {m[0] - g->start_x, g->start_z - m[1]};
    // The split segment keeps its type on both halves.
    const uint8_t type = (uint8_t)type_at(g, i - 1);
    if (!growable_array_insert(&g->points, (size_t)i, &fresh)) return;
    if (!growable_array_insert(&g->types, (size_t)i, &type)) {
      growable_array_remove(&g->points, (size_t)i);
      return;
    }
    editor.selected_point = i;
    editor.drag_state = 1;
    editor_segment_type = type;
    return;
  }
}

void gradient_edit_drag() {
  gradient* g = editor_selected_gradient();
  if (!g || editor.drag_state != 1) return;
  mark_changed();
  const int o = editor.selected_point;
  const int n = (int)g->points.count;
  if (o < 0 || o >= n) return;
  float m[2];
  editor_mouse_world(m);
  float d = m[0] - g->start_x;
  float h = g->start_z - m[1];
  const float grain = (float)editor_granularity;
  if (grain != 0) {
    d = grain * std::floor(d / grain + 0.5f);
    h = grain * std::floor(h / grain + 0.5f);
  }
  gradient_point* points = static_cast<gradient_point*>(g->points.data);
  if (o > 0 && o < n - 1) {
    // Dragged over a neighbour, the point goes: the profile stays ordered.
    if (d <= points[o - 1].distance || d >= points[o + 1].distance) {
      growable_array_remove(&g->points, (size_t)o);
      if ((size_t)o < g->types.count) growable_array_remove(&g->types, (size_t)o);
      editor.drag_state = 0;
      editor.selected_point = -1;
      return;
    }
    points[o].distance = d;
  }
  points[o].height = h;
}
