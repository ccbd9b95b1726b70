// The editor's top-down view: the terrain drawn plain (with its decals in
// the decal tool), the statues, and the current tool's overlay.
#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "assets/font.h"
#include "assets/model_draw.h"
#include "assets/shader.h"
#include "assets/view_extent.h"
#include "editor/editor.h"
#include "editor/editor_draw.h"
#include "editor/editor_items.h"
#include "editor/editor_panel.h"
#include "editor/gradient.h"
#include "race/menu_screen.h"
#include "race/scene.h"
#include "terrain/decals.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_mesh.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

static const float pi = 3.14159265358979f;

void draw_ring(float x, float z, float radius, float width) {
  const float inner = radius - width / 2, outer = radius + width / 2;
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= 64; i++) {
    const float a = (float)i * 2 * pi / 64;
    const float s = std::sin(a), c = std::cos(a);
    glVertex3f(x + inner * s, 0, z + inner * c);
    glVertex3f(x + outer * s, 0, z + outer * c);
  }
  glEnd();
}

static void draw_circle(float x, float z, float radius) {
  glBegin(GL_LINE_LOOP);
  for (int i = 0; i < 64; i++) {
    const float a = (float)i * 2 * pi / 64;
    glVertex3f(x + radius * std::sin(a), 0, z + radius * std::cos(a));
  }
  glEnd();
}

// A quad of stroke `width` from a to b on the ground plane.
static void draw_bar(float ax, float az, float bx, float bz, float width) {
  float dx = bx - ax, dz = bz - az;
  const float length = std::sqrt(dx * dx + dz * dz);
  if (length <= 0) return;
  const float ox = -dz / length * width / 2, oz = dx / length * width / 2;
  glBegin(GL_QUADS);
  glVertex3f(ax + ox, 0, az + oz);
  glVertex3f(bx + ox, 0, bz + oz);
  glVertex3f(bx - ox, 0, bz - oz);
  glVertex3f(ax - ox, 0, az - oz);
  glEnd();
}

void draw_object_icon(float width) {
  draw_ring(0, 0, 0.5f, width);
  draw_ring(0, -4, 0.5f, width);
  draw_bar(0, -0.5f, 0, -3.5f, width);
  // The chevron's arms: each a quad whose ends sit width x sqrt 2 / 2
  // across the arm.
  const float h = width * std::sqrt(2.0f) / 2;
  for (int side = -1; side <= 1; side += 2) {
    const float ex = (float)side, ez = -2.5f;
    const float dx = ex - 0, dz = ez - -3.5f;
    const float length = std::sqrt(dx * dx + dz * dz);
    const float ox = -dz / length * h, oz = dx / length * h;
    glBegin(GL_QUADS);
    glVertex3f(0 + ox, 0, -3.5f + oz);
    glVertex3f(ex + ox, 0, ez + oz);
    glVertex3f(ex - ox, 0, ez - oz);
    glVertex3f(0 - ox, 0, -3.5f - oz);
    glEnd();
  }
}

static void grey(float v, float a = 1) { glColor4f(v, v, v, a); }

// An object icon at (x, z), turned by angle, in an edge and a face grey.
static void object_icon_at(float x, float z, float angle, float scale, float edge, float face) {
  glPushMatrix();
  glTranslatef(x, 0, z);
  glRotatef(angle * 180 / pi, 0, 1, 0);
  glScalef(scale, scale, scale);
  grey(edge);
  draw_object_icon(0.375f);
  grey(face);
  draw_object_icon(0.25f);
  glPopMatrix();
}

static float gradient_length(const gradient* g) {
  return std::hypot(g->end_x - g->start_x, g->end_z - g->start_z);
}

void draw_gradient_overlay(int index) {
  if (index < 0 || !editor.gradients.data || (size_t)index >= editor.gradients.count) return;
  const gradient* g = (const gradient*)growable_array_at(&editor.gradients, (size_t)index);
  const int selected = index == editor.selected_gradient;
  const float alpha = selected && editor.mode == mode_gradient_placement ? 1.0f : 0.25f;
  const float s = editor_icon_scale();
  const float t = s * 0.5f;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  grey(1, alpha);
  glBegin(GL_LINES);
  glVertex3f(g->start_x, 0, g->start_z);
  glVertex3f(g->end_x, 0, g->end_z);
  glVertex3f(g->start_x - 4 * t, 0, g->start_z);
  glVertex3f(g->start_x + 4 * t, 0, g->start_z);
  glVertex3f(g->start_x, 0, g->start_z - 4 * t);
  glVertex3f(g->start_x, 0, g->start_z + 4 * t);
  glEnd();
  const float ends[2][2] = {{g->start_x, g->start_z}, {g->end_x, g->end_z}};
  for (const auto& e : ends) {
    grey(0, alpha);
    draw_ring(e[0], e[1], t, s * 0.375f);
    grey(1, alpha);
    draw_ring(e[0], e[1], t, s * 0.25f);
  }
  if (!selected) return;
  float radius = gradient_length(g);
  if (editor.mode == mode_gradient_edit && editor.selected_point >= 0 &&
      (size_t)editor.selected_point < g->points.count)
    radius = ((const gradient_point*)growable_array_at(&g->points, (size_t)editor.selected_point))->distance;
  grey(1, 0.25f);
  draw_circle(g->start_x, g->start_z, radius);
}

// The selected gradient's profile laid flat at its start: x = distance,
// -z = height.
static void draw_profile_graph() {
  if (editor.selected_gradient < 0 || (size_t)editor.selected_gradient >= editor.gradients.count) return;
  const gradient* g = (const gradient*)growable_array_at(&editor.gradients, (size_t)editor.selected_gradient);
  const size_t n = g->points.count;
  if (n == 0) return;
  const gradient_point* p = (const gradient_point*)g->points.data;
  const float first = p[0].distance, last = p[n - 1].distance;
  const float s = editor_icon_scale();
  glPushMatrix();
  glTranslatef(g->start_x, 0, g->start_z);
  glEnable(GL_BLEND);
  grey(1, 0.25f);
  glBegin(GL_QUADS);
  glVertex3f(first, 0, 0);
  glVertex3f(last, 0, 0);
  glVertex3f(last, 0, -100);
  glVertex3f(first, 0, -100);
  glEnd();
  glBegin(GL_LINES);
  for (int pass = 0; pass < 2; pass++) {
    const float step = pass == 0 ? 10.0f : 2.5f;
    grey(0, pass == 0 ? 0.25f : 0.0625f);
    // Counted lines: far points from a file must not stall the frame.
    const float x0 = std::ceil(first / step) * step;
    for (int k = 0; k < gradient_segment_max_samples; k++) {
      const float x = x0 + step * (float)k;
      if (!(x <= last)) break;
      glVertex3f(x, 0, 0);
      glVertex3f(x, 0, -100);
    }
    for (float z = 0; z <= 100; z += step) {
      glVertex3f(first, 0, -z);
      glVertex3f(last, 0, -z);
    }
  }
  glEnd();
  grey(0);
  static float samples[gradient_segment_max_samples][3];
  glBegin(GL_LINE_LOOP);
  glVertex3f(first, 0, 0);
  for (size_t i = 0; i < n; i++) {
    const uint8_t type = i < g->types.count ? *(const uint8_t*)growable_array_at(&g->types, i) : 0;
    if (type == 1 || i == n - 1) {
      const int count = draw_gradient_segment(p, (int)i, (int)n, samples);
      for (int k = 0; k < count; k++) glVertex3fv(samples[k]);
    } else {
      glVertex3f(p[i].distance, 0, -p[i].height);
    }
  }
  glVertex3f(last, 0, 0);
  glEnd();
  for (size_t i = 0; i < n; i++) {
    const int chosen = (int)i == editor.selected_point;
    grey(chosen ? 0 : 0.5f);
    draw_ring(p[i].distance, -p[i].height, 0.5f * s, 0.375f * s);
    grey(chosen ? 1 : 0);
    draw_ring(p[i].distance, -p[i].height, 0.5f * s, 0.25f * s);
  }
  glPopMatrix();
}

void draw_brush_outline(const float m[2]) {
  const float r = (float)editor_radius * editor_pixel_size();
  const float inner = (float)editor_focus * r;
  grey(1);
  const float radii[2] = {r, inner};
  for (int k = 0; k < 2; k++) {
    const float radius = radii[k];
    if (k == 1 && !(editor_focus > 0)) break;
    if (editor.drag_anchor[0] < 0) {
      draw_circle(m[0], m[1], radius);
      continue;
    }
    // A capsule round the segment from the anchor a to m.
    const float* a = editor.drag_anchor;
    const float base = std::atan2(m[0] - a[0], m[1] - a[1]);  // direction a -> m, as sin/cos angle
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i <= 32; i++) {  // round m, facing away from a
      const float angle = base - pi / 2 + (float)i * pi / 32;
      glVertex3f(m[0] + radius * std::sin(angle), 0, m[1] + radius * std::cos(angle));
    }
    for (int i = 0; i <= 32; i++) {  // round a, facing away from m
      const float angle = base + pi / 2 + (float)i * pi / 32;
      glVertex3f(a[0] + radius * std::sin(angle), 0, a[1] + radius * std::cos(angle));
    }
    glEnd();
  }
}

void draw_billboard_ring(const billboard* b, float face, float edge) {
  const float s = editor_icon_scale();
  grey(face);
  draw_circle(b->x, b->z, b->size * b->aspect * 0.5f);
  grey(edge);
  draw_ring(b->x, b->z, 0.5f * s, 0.375f * s);
  grey(face);
  draw_ring(b->x, b->z, 0.5f * s, 0.25f * s);
}

void draw_decal_icons(const float m[2]) {
  height_field* field = editor.terrain;
  if (!field || !field->decals.data || !field->decals.count) return;
  size_t count = 0;
  const int32_t* found = decal_bins_query(field, m[0] - 100, m[1] - 100, m[0] + 100, m[1] + 100, &count);
  const decal* current = editor.current_decal >= 0 && (size_t)editor.current_decal < field->decals.count
                             ? (const decal*)growable_array_at(&field->decals, (size_t)editor.current_decal)
                             : nullptr;
  const float s = editor_icon_scale();
  for (size_t k = 0; k < count; k++) {
    const int32_t i = found[k];
    if (i < 0 || (size_t)i >= field->decals.count) continue;
    const decal* d = (const decal*)growable_array_at(&field->decals, (size_t)i);
    if (std::hypot(d->x - m[0], d->z - m[1]) > 100) continue;
    if (editor_hide_different && current && (d->name != current->name || d->texture != current->texture)) continue;
    int in_selection = 0;
    for (size_t j = 0; j < editor.decal_selection.count && !in_selection; j++)
      in_selection = ((const int32_t*)editor.decal_selection.data)[j] == i;
    if (i == editor.current_decal)
      object_icon_at(d->x, d->z, d->angle, s, 0, 1);
    else if (in_selection)
      object_icon_at(d->x, d->z, d->angle, s, 0, 0.5f);
    else
      object_icon_at(d->x, d->z, d->angle, s, 0.5f, 0);
  }
}

// The statue's model frame: its basis and position.
static void push_statue_frame(const statue* t) {
  const float* b = t->basis;
  const float m[16] = {b[0], b[3], b[6], 0, b[1], b[4], b[7], 0, b[2], b[5], b[8], 0, t->x, t->y, t->z, 1};
  glPushMatrix();
  glMultMatrixf(m);
}

void draw_statue_wireframes() {
  if (!statues.data) return;
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  grey(0);
  for (size_t i = 0; i < statues.count; i++) {
    const statue* t = statue_at((int32_t)i);
    if (!t->model) continue;
    push_statue_frame(t);
    model_draw_lines(t->model);
    glPopMatrix();
  }
}

void draw_textured_unit_quad(uint32_t texture) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex2f(0, 0);
  glTexCoord2f(1, 1);
  glVertex2f(1, 0);
  glTexCoord2f(1, 0);
  glVertex2f(1, 1);
  glTexCoord2f(0, 0);
  glVertex2f(0, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

static void draw_collision_spheres() {
  if (!statues.data) return;
  grey(0);
  for (size_t i = 0; i < statues.count; i++) {
    const statue* t = statue_at((int32_t)i);
    if (!t->shape) continue;
    for (int k = 0; k < t->shape->count; k++) {
      const shape_sphere& sp = t->shape->spheres[k];
      const float* b = t->basis;
      // The sphere's centre in the world: the statue's rotation and place.
      const float c[3] = {t->x + b[0] * sp.centre[0] + b[1] * sp.centre[1] + b[2] * sp.centre[2],
                          t->y + b[3] * sp.centre[0] + b[4] * sp.centre[1] + b[5] * sp.centre[2],
                          t->z + b[6] * sp.centre[0] + b[7] * sp.centre[1] + b[8] * sp.centre[2]};
      glBegin(GL_LINE_LOOP);
      for (int j = 0; j < 64; j++) {
        const float a = (float)j * 2 * pi / 64;
        glVertex3f(c[0] + sp.radius * std::sin(a), c[1], c[2] + sp.radius * std::cos(a));
      }
      glEnd();
    }
  }
}

static void draw_snap_square(const float m[2]) {
  const height_field* field = editor.terrain;
  const float target = (float)std::exp2(editor_strength);
  float c = field->spacing;
  while (c > 0 && c < target) c *= 2;
  if (!(c > 0)) return;
  const float x0 = std::floor(m[0] / c) * c, z0 = std::floor(m[1] / c) * c;
  grey(1);
  glBegin(GL_LINE_LOOP);
  glVertex3f(x0, 0, z0);
  glVertex3f(x0 + c, 0, z0);
  glVertex3f(x0 + c, 0, z0 + c);
  glVertex3f(x0, 0, z0 + c);
  glEnd();
}

static void draw_gates() {
  const float s = editor_icon_scale();
  for (int i = 0; i < checkpoints_read && i < checkpoint_max; i++) {
    const checkpoint* c = &checkpoints[i];
    const int current = i == editor.current_gate;
    const float length = std::hypot(c->dx, c->dz);
    float far_end[3];
    checkpoint_far_end(c, far_end);
    if (length > 0) {
      // The half circle on the side the direction points to, its ends on
      // the line through the centre across the direction, closed through
      // the centre.
      const float ux = c->dx / length, uz = c->dz / length;
      grey(current ? 1 : 0);
      glBegin(GL_LINE_LOOP);
      glVertex3f(c->x, 0, c->z);
      for (int k = 0; k <= 32; k++) {
        const float a = -pi / 2 + (float)k * pi / 32;
        const float along = std::cos(a), across = std::sin(a);
        glVertex3f(c->x + c->half_width * (along * ux - across * uz), 0,
                   c->z + c->half_width * (along * uz + across * ux));
      }
      glEnd();
    }
    const float ends[2][2] = {{c->x, c->z}, {far_end[0], far_end[2]}};
    for (const auto& e : ends) {
      grey(current ? 0 : 0.5f);
      draw_ring(e[0], e[1], 0.5f * s, 0.375f * s);
      grey(current ? 1 : 0);
      draw_ring(e[0], e[1], 0.5f * s, 0.25f * s);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%d", i);
    glPushMatrix();
    glTranslatef(c->x, 0, c->z);
    glRotatef(-90, 1, 0, 0);
    glScalef(25, 25, 25);
    draw_text_white(number);
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
  }
}

static void draw_billboard_rings() {
  if (!billboards.data) return;
  for (size_t i = 0; i < billboards.count; i++) draw_billboard_ring(billboard_at((int32_t)i), 0, 0.5f);
  if (editor.current_billboard >= 0 && (size_t)editor.current_billboard < billboards.count)
    draw_billboard_ring(billboard_at(editor.current_billboard), 1, 0);
}

static void draw_statue_icons() {
  if (!statues.data) return;
  const float s = editor_icon_scale();
  for (size_t i = 0; i < statues.count; i++) {
    const statue* t = statue_at((int32_t)i);
    const int current = (int)i == editor.current_statue;
    object_icon_at(t->x, t->z, t->angle, s, current ? 0 : 0.5f, current ? 1 : 0);
  }
}

static void draw_all_gradients() {
  for (size_t i = 0; i < editor.gradients.count; i++) draw_gradient_overlay((int)i);
}

void editor_set_view_matrices() {
  const float extent = editor.terrain->extent;
  const float scale = (float)std::exp2(editor_zoom) * 2 / extent * view_ye;
  glViewport(0, 0, menu_screen.width, menu_screen.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-view_xe, view_xe, -view_ye, view_ye, -1000, 1000);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(90, 1, 0, 0);
  glTranslatef(0, -1, 0);
  glScalef(scale, scale, scale);
  glTranslatef(-editor.centre_x, 0, -editor.centre_z);
}

void editor_draw() {
  height_field* field = editor.terrain;
  if (!field || !field->heights) return;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  float m[2];
  editor_mouse_world(m);
  field->camera_position[0] = m[0];
  field->camera_position[1] = 0;
  field->camera_position[2] = m[1];
  // Looking straight down, no part of the ground lies behind the viewer:
  // a zero direction keeps the mesh from culling any of it.
  field->camera_direction[0] = field->camera_direction[1] = field->camera_direction[2] = 0;
  // The ground shows its decals only in the decal tool; switching redoes
  // the ground textures so the change shows everywhere at once.
  const int plain = editor.mode != mode_decals;
  const int saved_hide = field->hide_decals;
  static int last_plain = -1;
  field->hide_decals = plain ? 1 : saved_hide;
  if (last_plain != plain) {
    ground_mark_dirty(field, 0, 0, field->size, field->size);
    last_plain = plain;
  }
  for (int i = 0; i < 8; i++) update_ground_textures(field);
  editor_set_view_matrices();
  if (shaders_active) {
    static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    shader_set_env_matrix(identity);
  }
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_ALWAYS);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  draw_terrain(field);
  field->hide_decals = saved_hide;
  scene_set_light();
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.75f);
  draw_statue_wireframes();
  const float camera[3] = {editor.centre_x, 0, editor.centre_z};
  glColor4f(1, 1, 1, 1);
  draw_statues(camera);
  if (shaders_active) shader_use(shader_fixed);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (editor.mode == mode_statues && editor_show_collidable) draw_collision_spheres();
  glDisable(GL_ALPHA_TEST);
  glDepthFunc(GL_ALWAYS);
  switch (editor.mode) {
    case mode_snap: draw_snap_square(m); break;
    case mode_gradient_placement: draw_all_gradients(); break;
    case mode_gradient_edit:
      draw_all_gradients();
      draw_profile_graph();
      break;
    case mode_timing_gate: draw_gates(); break;
    case mode_billboards: draw_billboard_rings(); break;
    case mode_statues: draw_statue_icons(); break;
    case mode_decals: draw_decal_icons(m); break;
    default:
      if (editor.mode >= mode_gradient_linear_paint && editor.mode <= mode_gradient_radial_add) draw_all_gradients();
      draw_brush_outline(m);
      break;
  }
  glColor4f(1, 1, 1, 1);
  // The menus draw over the view with the frame's own projection.
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  editor_draw_panel(m);
}
