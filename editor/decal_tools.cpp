// The decal tool.
#include "editor/decal_tools.h"

#include <cmath>
#include <cstring>

#include "core/message_ring.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/editor_random.h"
#include "editor/gradient.h"
#include "terrain/decals.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/ruts.h"

namespace {

enum { level_top = 0, level_under = 1, level_over = 2, level_bottom = 3 };
enum { orient_copy = 0, orient_random = 1, orient_flow = 2, orient_flow2 = 3, orient_uphill = 4 };

// Moves and turns smaller than this are the mouse standing still.
const float least_change = 0.001f;
// Below this spacing a painting drag would lay a copy every tick.
const float shortest_spacing = 0.01f;

height_field* field() {
  height_field* f = editor.terrain;
  return f && f->decals.data ? f : nullptr;
}

int decal_count() { return field() ? (int)field()->decals.count : 0; }
int valid(int i) { return i >= 0 && i < decal_count(); }
decal* at(int i) { return decal_at(field(), i); }
int locked() { return editor.terrain && editor.terrain->edit_lock; }

// Alike decals show the same texture.
int alike(const decal* a, const decal* b) {
  return a->name == b->name || (a->name && b->name && std::strcmp(a->name, b->name) == 0);
}

// With "Hide different" only decals alike to the current one count, and
// none without a current decal.
int passes(int i) {
  if (!editor_hide_different) return 1;
  return valid(editor.current_decal) && alike(at(i), at(editor.current_decal));
}

float length_of(const decal* d) { return d->extent_b; }

void set_angle(decal* d, float a) {
  d->angle = a;
  d->sin_angle = std::sin(a);
  d->cos_angle = std::cos(a);
}

void handle_of(const decal* d, float out[2]) {
  const float s = editor_icon_scale();
  out[0] = d->x - 4 * s * std::sin(d->angle);
  out[1] = d->z - 4 * s * std::cos(d->angle);
}

float distance(float x0, float z0, float x1, float z1) { return std::hypot(x0 - x1, z0 - z1); }

// The front end of a decal laid at Sp times its length.
void lead_of(const decal* d, float out[2]) {
  const float half = (float)editor_decal_spacing * length_of(d) * 0.5f;
  out[0] = d->x - half * std::sin(d->angle);
  out[1] = d->z - half * std::cos(d->angle);
}

float random_angle() {
  const int q = editor_random_below(32768);
  return (float)((double)q * 32769.0 / 1073741824.0 * 6.2831855 - 3.1415927);
}

int32_t* selection() { return static_cast<int32_t*>(editor.decal_selection.data); }
int selection_count() { return editor.decal_selection.data ? (int)editor.decal_selection.count : 0; }

int selection_find(int i) {
  for (int k = 0; k < selection_count(); k++)
    if (selection()[k] == i) return k;
  return -1;
}

void clear_selection() { editor.decal_selection.count = 0; }

// Out of the bins, with the ground under it marked, before a change.
void unbin(int i) { decal_bin_remove(field(), i); }
// Into the bins again, and the ground under its new place marked: the bins
// mark nothing on insertion.
void rebin(int i) {
  decal_bin_insert(field(), i);
  decal_mark_dirty(field(), i);
}

// Puts `copy` into the list at l, shifting the current index, the
// selection and the bins over it. 0, with nothing changed, when the list
// cannot grow.
int insert_copy(const decal& copy, int l) {
  height_field* f = field();
  if (!growable_array_insert(&f->decals, (size_t)l, &copy)) {
    console_print("Editor: no room for another decal");
    return 0;
  }
  if (editor.current_decal >= l) editor.current_decal++;
  for (int k = 0; k < selection_count(); k++)
    if (selection()[k] >= l) selection()[k]++;
  decal_bins_renumber(f, l, 1);
  rebin(l);
  return 1;
}

float wrap(float a) {
  if (a >= -(float)M_PI && a <= (float)M_PI) return a;
  const double turns = ((double)a + M_PI) / (2 * M_PI);
  return (float)((turns - std::floor(turns)) * 2 * M_PI - M_PI);
}

}  // namespace

void decal_pick() {
  if (!field()) return;
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  const int n = decal_count();
  for (int i = 0; i < n; i++) {
    if (!passes(i) || !(distance(at(i)->x, at(i)->z, m[0], m[1]) < r)) continue;
    if (i != editor.current_decal) clear_selection();
    editor.drag_state = 1;
    editor.current_decal = i;
    return;
  }
  for (int i = 0; i < n; i++) {
    float h[2];
    handle_of(at(i), h);
    if (!passes(i) || !(distance(h[0], h[1], m[0], m[1]) < r)) continue;
    if (i != editor.current_decal) clear_selection();
    editor.drag_state = 2;
    editor.current_decal = i;
    return;
  }
  editor.drag_state = 0;
  decal_lay_copy(false);
}

void decal_drag() {
  if (!field() || locked() || !valid(editor.current_decal)) return;
  const int c = editor.current_decal;
  float m[2];
  editor_mouse_world(m);
  decal* d = at(c);
  if (editor.drag_state == 1) {
    if (!(std::fabs(d->x - m[0]) >= least_change || std::fabs(d->z - m[1]) >= least_change)) return;
    unbin(c);
    const decal from = *d;
    d->x = m[0];
    d->z = m[1];
    const decal to = *d;
    rebin(c);
    decal_group_transform(from, to, 1);
  } else if (editor.drag_state == 2) {
    const float a = std::atan2(d->x - m[0], d->z - m[1]);
    if (!(std::fabs(d->angle - a) >= least_change)) return;
    unbin(c);
    const decal from = *d;
    set_angle(d, a);
    const decal to = *d;
    rebin(c);
    decal_group_transform(from, to, 1);
  } else if (editor.drag_state == 0) {
    const float spacing = (float)editor_decal_spacing * length_of(d);
    if (!(spacing >= shortest_spacing)) return;
    float v = distance(m[0], m[1], d->x, d->z);
    if (editor_orientation == orient_flow2) {
      float lead[2];
      lead_of(d, lead);
      v = std::fmin(v, distance(m[0], m[1], lead[0], lead[1]));
    }
    if (v > spacing) decal_lay_copy(false);
  }
}

void decal_lay_copy(bool step) {
  height_field* f = field();
  if (!f || locked() || !valid(editor.current_decal)) return;
  const int b_index = editor.current_decal;
  const decal b = *at(b_index);
  float m[2];
  editor_mouse_world(m);
  const float sp = (float)editor_decal_spacing;
  decal made = b;
  // Position.
  if (step) {
    const float dx = m[0] - b.x, dz = m[1] - b.z, span = std::hypot(dx, dz);
    // On the decal itself there is no way to step.
    if (!(span >= least_change)) return;
    made.x = b.x + sp * length_of(&b) * dx / span;
    made.z = b.z + sp * length_of(&b) * dz / span;
  } else {
    made.x = m[0];
    made.z = m[1];
  }
  // Angle.
  float angle = b.angle;
  switch (editor_orientation) {
    case orient_copy: break;
    case orient_random: angle = random_angle(); break;
    case orient_flow: angle = std::atan2(b.x - m[0], b.z - m[1]); break;
    case orient_flow2: {
      float lead[2];
      lead_of(&b, lead);
      angle = std::atan2(lead[0] - m[0], lead[1] - m[1]);
      const float half = sp * length_of(&b) * 0.5f;
      const float hx = half * std::sin(angle), hz = half * std::cos(angle);
      made.x = step ? lead[0] - hx : m[0] + hx;
      made.z = step ? lead[1] - hz : m[1] + hz;
      break;
    }
    case orient_uphill: {
      float n[3];
      terrain_triangle_normal(f, made.x, made.z, n);
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      const float nx = length > 0 ? n[0] / length : 0, nz = length > 0 ? n[2] / length : 0;
      angle = nx * nx + nz * nz >= 0.0009765625f ? std::atan2(nx, nz) : random_angle();
      break;
    }
    default: break;
  }
  set_angle(&made, angle);
  // The copy goes in by "Level" and becomes the current decal.
  const int l = decal_insert_index(b_index);
  if (!insert_copy(made, l)) return;
  editor.current_decal = l;
  // The selection is copied too, and names the copies from now on.
  for (int k = 0; k < selection_count(); k++) {
    const int original = selection()[k];
    if (!valid(original)) continue;
    const decal copy = *at(original);
    const int lk = decal_insert_index(original);
    if (!insert_copy(copy, lk)) break;
    selection()[k] = lk;
  }
  decal_group_transform(b, made, 1);
}

int decal_insert_index(int c) {
  const int n = decal_count();
  if (!valid(c)) return n;
  switch (editor_level) {
    case level_top: return n;
    case level_under: {
      int i = c;
      while (i > 0 && alike(at(i - 1), at(c))) i--;
      return i;
    }
    case level_bottom: return 0;
    case level_over:
    default: {
      int i = c;
      while (i + 1 < n && alike(at(i + 1), at(c))) i++;
      return i + 1;
    }
  }
}

void decal_group_transform(const decal& from, const decal& to, float scale) {
  if (!field() || locked()) return;
  editor.terrain->change_flags = 7;
  const float da = to.angle - from.angle;
  const float cs = std::cos(da) * scale, sn = std::sin(da) * scale;
  for (int k = 0; k < selection_count(); k++) {
    const int i = selection()[k];
    if (!valid(i)) continue;
    unbin(i);
    decal* d = at(i);
    const float rx = d->x - from.x, rz = d->z - from.z;
    d->x = to.x + cs * rx + sn * rz;
    d->z = to.z + cs * rz - sn * rx;
    set_angle(d, wrap(to.angle + (d->angle - from.angle)));
    rebin(i);
  }
}

void decal_group_scale(float scale) {
  if (!field() || !valid(editor.current_decal)) return;
  const decal c = *at(editor.current_decal);
  decal_group_transform(c, c, scale);
}

void decal_select_toggle(bool toggle, float radius) {
  if (!field()) return;
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  const float rr = radius > r ? radius : r;
  const int n = decal_count();
  for (int i = 0; i < n; i++) {
    if (i == editor.current_decal || !passes(i)) continue;
    float h[2];
    handle_of(at(i), h);
    if (!(distance(at(i)->x, at(i)->z, m[0], m[1]) < rr) && !(distance(h[0], h[1], m[0], m[1]) < rr)) continue;
    const int k = selection_find(i);
    if (k < 0) {
      growable_array_append(&editor.decal_selection, &i);
    } else if (toggle) {
      growable_array_remove(&editor.decal_selection, (size_t)k);
    }
  }
}

void decals_delete_at_mouse(float radius) {
  height_field* f = field();
  if (!f || locked()) return;
  f->change_flags = 7;
  float m[2];
  editor_mouse_world(m);
  const float rr = radius == 0 ? editor_pick_radius() : radius;
  // The filter compares with the current decal as it was, even once it is
  // gone.
  const int had_current = valid(editor.current_decal);
  decal current{};
  if (had_current) current = *at(editor.current_decal);
  int current_deleted = 0;
  for (int i = 0; i < decal_count();) {
    const decal* d = at(i);
    const int considered = !editor_hide_different || (had_current && alike(d, &current));
    if (!considered || !(distance(d->x, d->z, m[0], m[1]) < rr)) {
      i++;
      continue;
    }
    const int k = selection_find(i);
    if (k >= 0) growable_array_remove(&editor.decal_selection, (size_t)k);
    unbin(i);
    growable_array_remove(&f->decals, (size_t)i);
    for (int s = 0; s < selection_count(); s++)
      if (selection()[s] > i) selection()[s]--;
    decal_bins_renumber(f, i, -1);
    if (editor.current_decal == i) {
      editor.current_decal = -1;
      current_deleted = 1;
    } else if (editor.current_decal > i) {
      editor.current_decal--;
    }
  }
  if (current_deleted) {
    clear_selection();
    for (int i = decal_count() - 1; i >= 0; i--)
      if (alike(at(i), &current)) {
        editor.current_decal = i;
        break;
      }
  }
}
