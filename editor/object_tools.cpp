// Gates, billboards and statues under the mouse.
#include "editor/object_tools.h"

#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "core/message_ring.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/gradient.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

namespace {

// Aims shorter than this would give a gate no direction to keep.
const float shortest_aim = 0.01f;
// Below this spacing a painting drag would lay a copy every tick.
const float shortest_spacing = 0.01f;

int locked() { return !editor.terrain || editor.terrain->edit_lock; }

void mark_changed() {
  if (editor.terrain) editor.terrain->change_flags = 7;
}

float distance(float x0, float z0, float x1, float z1) { return std::hypot(x0 - x1, z0 - z1); }

int billboard_count() { return billboards.data ? (int)billboards.count : 0; }
int statue_count() { return statues.data ? (int)statues.count : 0; }
int valid_billboard(int i) { return i >= 0 && i < billboard_count(); }
int valid_statue(int i) { return i >= 0 && i < statue_count(); }

// Once round the billboards, starting after the current one: the first
// closer than r to m, or -1.
int billboard_round_from_current(const float m[2], float r) {
  const int n = billboard_count();
  if (n == 0) return -1;
  int current = editor.current_billboard;
  current = current < 0 ? 0 : current >= n ? n - 1 : current;
  for (int k = 1; k <= n; k++) {
    const int i = (current + k) % n;
    const billboard* b = billboard_at(i);
    if (distance(b->x, b->z, m[0], m[1]) < r) return i;
  }
  return -1;
}

// A copy of the current billboard at m; it becomes the last painted one.
void lay_billboard_copy(const float m[2]) {
  const billboard current = *billboard_at(editor.current_billboard);
  const size_t before = billboards.count;
  const int32_t index = add_billboard(m[0], current.height_offset, m[1], current.size, current.aspect,
                                      current.texture_name);
  if (!billboards.data || billboards.count != before + 1) {
    console_print("Editor: no room for another billboard");
    return;
  }
  billboard* made = billboard_at(index);
  std::memcpy(made->colour, current.colour, 3);
  editor.last_painted_billboard = index;
  mark_changed();
}

// An index after removing element `gone` from its list.
int shifted(int index, int gone) { return index == gone ? -1 : index > gone ? index - 1 : index; }

}  // namespace

// --- Timing gates. ---

void timing_gate_pick() {
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  const int n = checkpoints_read < checkpoint_max ? checkpoints_read : checkpoint_max;
  for (int i = 0; i < n; i++) {
    const checkpoint* c = &checkpoints[i];
    float far_end[3];
    checkpoint_far_end(c, far_end);
    if (distance(c->x, c->z, m[0], m[1]) < r) {
      editor.drag_state = 1;
      editor.current_gate = i;
      return;
    }
    if (distance(far_end[0], far_end[2], m[0], m[1]) < r) {
      editor.drag_state = 2;
      editor.current_gate = i;
      return;
    }
  }
  for (int j = 0; j < n; j++) {
    const checkpoint* c = &checkpoints[j];
    const float behind = (c->x - m[0]) * c->dx + (c->z - m[1]) * c->dz;
    if (distance(c->x, c->z, m[0], m[1]) < c->half_width && behind < 0) {
      editor.drag_state = 0;
      editor.current_gate = j;
      return;
    }
  }
  editor.drag_state = 0;
  editor.current_gate = -1;
}

void timing_gate_drag() {
  if (locked()) return;
  const int i = editor.current_gate;
  if (i < 0 || i >= checkpoints_read || i >= checkpoint_max) return;
  float m[2];
  editor_mouse_world(m);
  checkpoint* c = &checkpoints[i];
  if (editor.drag_state == 1) {
    c->x = m[0];
    c->y = 0;
    c->z = m[1];
    mark_changed();
  } else if (editor.drag_state == 2) {
    const float dx = m[0] - c->x, dz = m[1] - c->z;
    const float length = std::hypot(dx, dz);
    if (!(length >= shortest_aim)) return;
    c->dx = dx;
    c->dy = 0;
    c->dz = dz;
    c->half_width = length;
    mark_changed();
  }
}

// --- Billboards. ---

void billboard_press() {
  if (billboard_count() == 0) return;
  float m[2];
  editor_mouse_world(m);
  const int found = billboard_round_from_current(m, editor_pick_radius());
  if (found >= 0) {
    editor.current_billboard = found;
    editor.last_painted_billboard = -1;
    editor_billboard_height = billboard_at(found)->height_offset;
    return;
  }
  if (locked() || !valid_billboard(editor.current_billboard)) return;
  lay_billboard_copy(m);
}

void billboard_paint() {
  if (locked() || !valid_billboard(editor.current_billboard) || !valid_billboard(editor.last_painted_billboard))
    return;
  const billboard* last = billboard_at(editor.last_painted_billboard);
  const float t = last->size * last->aspect * (float)editor_billboard_spacing;
  if (!(t >= shortest_spacing)) return;
  float m[2];
  editor_mouse_world(m);
  if (!(distance(m[0], m[1], last->x, last->z) >= t)) return;
  for (int i = 0; i < billboard_count(); i++) {
    const billboard* b = billboard_at(i);
    if (distance(m[0], m[1], b->x, b->z) < t) return;
  }
  lay_billboard_copy(m);
}

void billboard_delete_at_mouse() {
  if (locked()) return;
  float m[2];
  editor_mouse_world(m);
  const int i = billboard_round_from_current(m, editor_pick_radius());
  if (i < 0 || i < first_file_billboard) return;
  // The scene's companion pair goes with it, so both lists stay parallel.
  check_free(billboard_at(i)->texture_name);
  growable_array_remove(&billboards, (size_t)i);
  if (billboard_extras.data && (size_t)i < billboard_extras.count) growable_array_remove(&billboard_extras, (size_t)i);
  editor.current_billboard = shifted(editor.current_billboard, i);
  editor.last_painted_billboard = shifted(editor.last_painted_billboard, i);
  mark_changed();
}

// --- Statues. ---

void statue_pick() {
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius(), s = editor_icon_scale();
  const int n = statue_count();
  for (int i = 0; i < n; i++) {
    const statue* t = statue_at(i);
    if (distance(t->x, t->z, m[0], m[1]) < r) {
      editor.drag_state = 1;
      editor.current_statue = i;
      return;
    }
  }
  for (int j = 0; j < n; j++) {
    const statue* t = statue_at(j);
    const float hx = t->x - 4 * s * std::sin(t->angle), hz = t->z - 4 * s * std::cos(t->angle);
    if (distance(hx, hz, m[0], m[1]) < r) {
      editor.drag_state = 2;
      editor.current_statue = j;
      return;
    }
  }
  editor.drag_state = 0;
  editor.current_statue = -1;
}

void statue_drag() {
  if (locked() || !valid_statue(editor.current_statue)) return;
  float m[2];
  editor_mouse_world(m);
  statue* t = statue_at(editor.current_statue);
  if (editor.drag_state == 1) {
    t->x = m[0];
    t->y = 0;
    t->z = m[1];
    place_object_on_ground(t);
    mark_changed();
    statue_grid_rebuild();
  } else if (editor.drag_state == 2) {
    // 3.25 and above ask for a fixed orientation: not turned.
    if (t->angle >= 3.25f) return;
    const double a = std::atan2((double)t->x - m[0], (double)t->z - m[1]);
    const double turns = (a + M_PI) / (2 * M_PI);
    const double f = turns - std::floor(turns);
    float angle = (float)(f * 6.2831855 - 3.1415927);
    // -2 pi and below keep the statue upright: the turned one stays so.
    if (t->angle <= -6.283185307179586) angle = (float)(angle - 12.566370614359172);
    t->angle = angle;
    place_object_on_ground(t);
    mark_changed();
  }
}

void statue_delete_at_mouse() {
  if (locked()) return;
  float m[2];
  editor_mouse_world(m);
  const float r = editor_pick_radius();
  const int n = statue_count();
  int i = first_file_statue > 0 ? first_file_statue : 0;
  for (; i < n; i++) {
    const statue* t = statue_at(i);
    if (distance(t->x, t->z, m[0], m[1]) < r) break;
  }
  if (i >= n) return;
  free_track_object(statue_at(i));
  growable_array_remove(&statues, (size_t)i);
  editor.current_statue = shifted(editor.current_statue, i);
  statue_grid_rebuild();
  mark_changed();
}

void statue_duplicate_at_mouse() {
  if (locked() || !valid_statue(editor.current_statue)) return;
  float m[2];
  editor_mouse_world(m);
  // The names are the current statue's own; the list may move when it
  // grows, the names do not.
  const statue current = *statue_at(editor.current_statue);
  const size_t before = statues.count;
  load_track_object(m[0], current.height_offset, m[1], current.angle, current.model_name, current.texture_name,
                    current.shape_name);
  if (statues.count != before + 1) {
    console_print("Editor: no room for another statue");
    return;
  }
  statue_grid_rebuild();
  mark_changed();
}

static int same_name(const char* a, const char* b) { return a == b || (a && b && std::strcmp(a, b) == 0); }

void statues_interpolate() {
  if (locked()) return;
  const int n = editor.current_statue, count = statue_count();
  if (n < 0 || n > count - 3) return;
  const statue* first = statue_at(n);
  for (int i = n + 1; i < count; i++) {
    const statue* t = statue_at(i);
    if (!same_name(t->model_name, first->model_name) || !same_name(t->texture_name, first->texture_name)) {
      editor_set_message("Bad match for interpolate!");
      return;
    }
  }
  const statue* last = statue_at(count - 1);
  const float x0 = first->x, z0 = first->z, dx = last->x - first->x, dz = last->z - first->z;
  for (int i = n + 1; i <= count - 2; i++) {
    const float t = (float)(i - n) / (float)(count - n - 1);
    statue* s = statue_at(i);
    s->x = x0 + t * dx;
    s->y = 0;
    s->z = z0 + t * dz;
    place_object_on_ground(s);
    mark_changed();
  }
  statue_grid_rebuild();
}
