// Drawing a rider and bike. Every drawn part is listed once per call, with
// its transform and the rules of both passes, so the lit pass and the
// shine pass walk the same list in the same order.
#include "bike/rider_draw.h"

#include <GL/gl.h>

#include "assets/gl_ext.h"
#include "assets/model_draw.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/verbose.h"
#include "bike/rider_posing.h"

rider_debug_list rider_debug_points[RIDER_SLOT_COUNT];

namespace {

enum { group_bike, group_wheels, group_gear, group_helmet, group_plates };

struct draw_item {
  const model* m;
  body_transform at;
  int group;
  int skinned;  // drawn with the rider's bones
  int shine;    // also in the shine pass (when reflective)
};

enum { max_items = 12 };

void push_transform(const body_transform* t) {
  const float* r = t->rotation;
  // Column after column, as GL takes it.
  const float m[16] = {r[0], r[3], r[6], 0, r[1], r[4], r[7], 0, r[2], r[5], r[8], 0, 0, 0, 0, 1};
  glPushMatrix();
  glTranslatef(t->position[0], t->position[1], t->position[2]);
  glMultMatrixf(m);
}

void active_unit(int unit) {
  if (gl_entry.glActiveTextureARB) gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
}

// Puts texture on unit (enabled), or disables the unit when it is 0.
void unit_texture(int unit, unsigned texture) {
  active_unit(unit);
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
  } else {
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
}

int has_units() { return gl_caps.multitexture && gl_entry.glActiveTextureARB; }

void add(draw_item* items, int* n, const model* m, const body_transform& at, int group, int skinned, int shine) {
  if (!m || *n >= max_items) return;
  items[*n] = {m, at, group, skinned, shine};
  ++*n;
}

body_transform of_body(dBodyID b) {
  body_transform t;
  body_transform_get(b, &t);
  return t;
}

void debug_overlay(const rider* r) {
  if (r->slot < 0 || r->slot >= RIDER_SLOT_COUNT) return;
  const rider_debug_list& list = rider_debug_points[r->slot];
  if (!list.elements || list.count <= 0 || list.element_size < (int)(3 * sizeof(float))) return;
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_LIGHTING);
  const unsigned char* base = static_cast<const unsigned char*>(list.elements);
  const long total = (long)list.count * list.element_size;
  glBegin(GL_QUADS);
  for (int i = 0; i < list.count; i++) {
    const long at = (long)i * list.element_size;
    const float* p = reinterpret_cast<const float*>(base + at);
    // The float after the point (a line sample's speed; the next point's x
    // in a list of bare points); positive when the list ends first.
    float sign = 1;
    if (at + 4 * (long)sizeof(float) <= total) sign = p[3];
    static const float ground[3] = {0.1f, 0.9f, 0.2f}, air[3] = {0.95f, 0.2f, 0.1f};
    draw_debug_point(p, sign < 0 ? air : ground, i == list.highlighted ? 0.25f : 0.125f);
  }
  glEnd();
}

}  // namespace

void gl_push_body_transform(dBodyID body, float position[3], float rotation[9]) {
  body_transform t;
  body_transform_get(body, &t);
  push_transform(&t);
  for (int i = 0; i < 3; i++) position[i] = t.position[i];
  for (int i = 0; i < 9; i++) rotation[i] = t.rotation[i];
}

void bind_skin_textures(unsigned skin, unsigned normal_map, unsigned specular_map) {
  if (shaders_active && has_units()) {
    unit_texture(2, normal_map && specular_map ? specular_map : 0);
    unit_texture(1, normal_map);
    active_unit(0);
    shader_use(normal_map && specular_map ? shader_norm_spec_lit : normal_map ? shader_norm_lit : shader_lit);
  }
  glBindTexture(GL_TEXTURE_2D, skin);
}

void bind_normal_map(unsigned normal_map) {
  if (!shaders_active || !has_units()) return;
  unit_texture(1, normal_map);
  active_unit(0);
  shader_use(normal_map ? shader_norm_env : shader_env);
}

void draw_debug_point(const float point[3], const float colour[3], float height) {
  auto square = [&](float half, float y, int flip) {
    const float x0 = point[0] - half, x1 = point[0] + half, z0 = point[2] - half, z1 = point[2] + half;
    if (!flip) {
      glVertex3f(x0, y, z0);
      glVertex3f(x0, y, z1);
      glVertex3f(x1, y, z1);
      glVertex3f(x1, y, z0);
    } else {
      glVertex3f(x0, y, z0);
      glVertex3f(x1, y, z0);
      glVertex3f(x1, y, z1);
      glVertex3f(x0, y, z1);
    }
  };
  glColor3f(0, 0, 0);
  square(1.5f, point[1], 0);
  square(1.5f, point[1], 1);
  glColor3fv(colour);
  const float levels[2] = {point[1] + height, point[1] - height};
  for (float y : levels) {
    square(1.0f, y, 0);
    square(1.0f, y, 1);
  }
}

namespace {
int draw_bike_parts(const rider* r, int mode, const float eye[3]);
}

void draw_bike(const rider* r, int mode, const float eye[3]) {
  if (draw_bike_parts(r, mode, eye)) draw_bike_run_end();
}

void draw_bike_in_run(const rider* r, int mode, const float eye[3]) { draw_bike_parts(r, mode, eye); }

void draw_bike_run_end() {
  if (has_units()) {
    unit_texture(2, 0);
    unit_texture(1, 0);
    active_unit(0);
  }
  if (shaders_active) shader_use(0);
}

namespace {

// 1 when it drew (and so changed the GL state), 0 for a rider not built.
int draw_bike_parts(const rider* r, int mode, const float eye[3]) {
  if (!r) return 0;
  for (dBodyID b : r->bodies)
    if (!b) return 0;
  const bike_model* row = rider_model(r);
  if (!row) return 0;
  const int riding = (mode == DRAW_BIKE_RIDING || mode == DRAW_BIKE_FIRST_PERSON) && r->down_counter == 0;

  // The lean-back rule works on a copy of the rider body's transform: the
  // dynamics body is never written, so drawing cannot disturb the run.
  body_transform person;
  rider_drawn_body(r, &person);

  rider_bones bones;
  int posed = 0;
  const model* body_model = nullptr;
  if (mode != DRAW_BIKE_RIDING && r->body_model) {
    rider_pose_input in;
    rider_pose_input_get(r, &person, &in);
    pose_rider_arms(&in, &bones);
    pose_rider_body(&in, &bones);
    posed = 1;
    body_model = mode == DRAW_BIKE_FIRST_PERSON && r->body_fp_model ? r->body_fp_model : r->body_model;
  }
  body_transform head;
  const int head_drawn = mode == DRAW_BIKE_OUTSIDE && r->head_model;
  if (head_drawn) head_transform(r, &person, head.position, head.rotation);

  draw_item items[max_items];
  int n = 0;
  add(items, &n, r->frame_model, of_body(r->bodies[RIDER_FRAME]), group_bike, 0, 1);
  add(items, &n, r->fork_upper_model, of_body(r->bodies[RIDER_FORK_UPPER]), group_bike, 0, 1);
  add(items, &n, r->fork_lower_model, of_body(r->bodies[RIDER_FORK_LOWER]), group_bike, 0, !riding);
  if (!riding) add(items, &n, r->swingarm_model, of_body(r->bodies[RIDER_SWINGARM]), group_bike, 0, 1);
  add(items, &n, r->front_wheel_model, of_body(r->bodies[RIDER_FRONT_WHEEL]), group_wheels, 0, !riding);
  if (!riding) add(items, &n, r->rear_wheel_model, of_body(r->bodies[RIDER_REAR_WHEEL]), group_wheels, 0, 1);
  if (posed) add(items, &n, body_model, person, group_gear, 1, 1);
  if (head_drawn) add(items, &n, r->head_model, head, group_helmet, 0, 1);
  add(items, &n, r->front_plate_model, of_body(r->bodies[RIDER_FORK_UPPER]), group_plates, 0, 1);
  add(items, &n, r->side_plates_model, of_body(r->bodies[RIDER_FRAME]), group_plates, 0, 1);
  if (mode == DRAW_BIKE_OUTSIDE && posed) add(items, &n, r->rider_plate_model, person, group_plates, 1, 1);

  const unsigned skins[][3] = {
      {r->bike_skin, r->bike_skin_norm, r->bike_skin_spec},
      {r->wheels_skin, r->wheels_skin_norm, r->wheels_skin_spec},
      {r->gear_skin, r->gear_skin_norm, r->gear_skin_spec},
      {r->helmet_skin, r->helmet_skin_norm, r->helmet_skin_spec},
      {r->plate_texture, 0, 0},
  };
  const float* centres = &bones.centres[0][0];
  const float* moved = &bones.translations[0][0];
  const float* turned = &bones.rotations[0][0];

  const float material[4] = {1, 1, 1, material_alpha};
  glEnable(GL_LIGHTING);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, material);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

  int bound = -1;
  for (int i = 0; i < n; i++) {
    const draw_item& it = items[i];
    if (it.group != bound) {
      bind_skin_textures(skins[it.group][0], skins[it.group][1], skins[it.group][2]);
      bound = it.group;
    }
    push_transform(&it.at);
    if (it.skinned)
      model_draw_lit(it.m, eye, it.at.position, it.at.rotation, centres, moved, turned, RIDER_BONE_COUNT);
    else
      model_draw_lit_simple(it.m, eye, it.at.position, it.at.rotation);
    glPopMatrix();
  }

  // Without an environment map the shine would be untextured white.
  if (scene_env_texture) {
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    if (has_units()) {
      unit_texture(2, 0);
      active_unit(0);
    }
    glBindTexture(GL_TEXTURE_2D, scene_env_texture);
    bound = -1;
    for (int i = 0; i < n; i++) {
      const draw_item& it = items[i];
      if (!it.shine || !model_uses_env(it.m)) continue;
      if (it.group != bound) {
        bind_normal_map(skins[it.group][1]);
        bound = it.group;
      }
      push_transform(&it.at);
      if (it.skinned)
        model_draw_env(it.m, eye, it.at.position, it.at.rotation, centres, moved, turned, RIDER_BONE_COUNT);
      else
        model_draw_env_simple(it.m, eye, it.at.position, it.at.rotation);
      glPopMatrix();
    }
  }

  if (verbose >= 2) {
    draw_bike_run_end();
    debug_overlay(r);
  }
  return 1;
}

}  // namespace
