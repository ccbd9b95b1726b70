#include "editor/gradient.h"

#include <cmath>

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
