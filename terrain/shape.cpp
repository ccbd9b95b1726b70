// Collision shapes: the ".shp" reader and cache, private instances, and the
// sphere-against-sphere contacts between shapes and with tyres.
#include "terrain/shape.h"

#include <math.h>

#include <cstring>

#include "core/file.h"
#include "core/growable_array.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/dynamics_world.h"
#include "terrain/terrain_contact.h"
#include "terrain/terrain_settings.h"
#include "terrain/tri_kernels.h"

// Cached shapes, searched by exact name. Holds shape pointers.
static growable_array shape_cache;

// The spring force of one sphere-pair contact is capped here, and the
// penalty force clamped to plus or minus penalty_force_limit.
static const float pair_spring_force_limit = 2500.0f;
static const float penalty_force_limit = 1000.0f;

static size_t shape_bytes(size_t count, size_t name_length) {
  return sizeof(shape) + count * sizeof(shape_sphere) + name_length + 1;
}

// Lays out a shape in a block of shape_bytes: header, spheres, name.
static shape* shape_layout(void* block, int32_t count, const char* name, size_t name_length) {
  shape* s = static_cast<shape*>(block);
  s->count = count;
  s->spheres = reinterpret_cast<shape_sphere*>(s + 1);
  s->name = reinterpret_cast<char*>(s->spheres + count);
  std::memcpy(s->name, name, name_length + 1);
  s->source = nullptr;
  s->bounding_radius = 0.0f;
  return s;
}

static int sphere_is_sound(const shape_sphere* p) {
  const float* v = p->centre;
  for (int k = 0; k < 7; k++)
    if (!isfinite(v[k])) return 0;
  return p->radius >= 0.0f;
}

static shape* shape_read(const char* name) {
  stream* f = stream_open(name, "rb");
  if (!f) return nullptr;  // the caller says what the missing shape was for
  int count = 0;
  if (stream_scanf(f, "%d", &count) != 1) {
    stream_close(f);
    console_printf("Error reading shape file '%.900s': no sphere count", name);
    return nullptr;
  }
  if (count < 1 || count > shape_max_spheres) {
    stream_close(f);
    console_printf("Error reading shape file '%.900s': %d spheres (1 to %d allowed)", name, count, shape_max_spheres);
    return nullptr;
  }
  const size_t name_length = std::strlen(name);
  shape* s = shape_layout(xmalloc(shape_bytes((size_t)count, name_length)), count, name, name_length);
  for (int i = 0; i < count; i++) {
    shape_sphere* p = &s->spheres[i];
    int got = stream_scanf(f, "%f", &p->centre[0]);
    got += stream_scanf(f, "%f", &p->centre[1]);
    got += stream_scanf(f, "%f", &p->centre[2]);
    if (got == 3) got += stream_scanf(f, "%f %f %f %f", &p->radius, &p->friction, &p->spring, &p->damper);
    if (got != 7) {
      console_printf("Error reading shape file '%.900s': sphere %d of %d is short", name, i + 1, count);
      check_free(s);
      stream_close(f);
      return nullptr;
    }
    if (!sphere_is_sound(p)) {
      console_printf("Error reading shape file '%.900s': sphere %d has a bad number", name, i + 1);
      check_free(s);
      stream_close(f);
      return nullptr;
    }
    const float reach = sqrtf(p->centre[0] * p->centre[0] + p->centre[1] * p->centre[1] + p->centre[2] * p->centre[2]) + p->radius;
    if (reach > s->bounding_radius) s->bounding_radius = reach;
  }
  const int intact = stream_verify(f);
  stream_close(f);
  if (!intact) {
    console_printf("Error reading shape file '%.900s': the file is damaged", name);
    check_free(s);
    return nullptr;
  }
  return s;
}

shape* shape_load(const char* name) {
  if (!name) return nullptr;
  if (!shape_cache.data && !growable_array_init(&shape_cache, sizeof(shape*), 16)) return shape_read(name);
  for (size_t i = 0; i < shape_cache.count; i++) {
    shape* cached = *static_cast<shape**>(growable_array_at(&shape_cache, i));
    if (std::strcmp(cached->name, name) == 0) return cached;
  }
  shape* s = shape_read(name);
  if (s) growable_array_append(&shape_cache, &s);  // uncached when the cache cannot grow
  return s;
}

shape* shape_load_copy(const char* name) {
  const shape* source = shape_load(name);
  if (!source) return nullptr;
  const size_t name_length = std::strlen(source->name);
  shape* copy = shape_layout(xmalloc(shape_bytes((size_t)source->count, name_length)), source->count, source->name,
                             name_length);
  std::memcpy(copy->spheres, source->spheres, sizeof(shape_sphere) * (size_t)source->count);
  copy->bounding_radius = source->bounding_radius;
  copy->source = const_cast<shape*>(source);
  return copy;
}

const char* shape_name(const shape* s) { return s ? s->name : nullptr; }

float shape_bounding_radius(const shape* s) { return s ? s->bounding_radius : 0.0f; }

int shape_get_element(const shape* s, int index, float centre[3], float* radius) {
  if (!s || index < 0 || index >= s->count) return 0;
  for (int k = 0; k < 3; k++) centre[k] = s->spheres[index].centre[k];
  *radius = s->spheres[index].radius;
  return 1;
}

void shape_free_all() {
  if (!shape_cache.data) return;
  for (size_t i = 0; i < shape_cache.count; i++) check_free(*static_cast<shape**>(growable_array_at(&shape_cache, i)));
  growable_array_free(&shape_cache);
  std::memset(&shape_cache, 0, sizeof shape_cache);
}

size_t shape_cache_count() { return shape_cache.data ? shape_cache.count : 0; }

void shape_move_to_world(shape* instance, const float position[3], const float orientation[9]) {
  const shape* source = instance->source;
  if (!source) return;  // a cached shape keeps its own coordinates
  for (int s = 0; s < instance->count && s < source->count; s++) {
    const float* c = source->spheres[s].centre;
    float* w = instance->spheres[s].centre;
    for (int k = 0; k < 3; k++)
      w[k] = orientation[3 * k] * c[0] + orientation[3 * k + 1] * c[1] + orientation[3 * k + 2] * c[2] + position[k];
  }
}

static void point_velocity(dBodyID body, const float p[3], float out[3]) {
  out[0] = out[1] = out[2] = 0.0f;
  if (!body) return;
  dVector3 v;
  dBodyGetPointVel(body, p[0], p[1], p[2], v);
  for (int k = 0; k < 3; k++) out[k] = (float)v[k];
}

static float smaller(float a, float b) { return a < b ? a : b; }

int collide_sphere_pair(const shape_sphere* s1, dBodyID body1, const shape_sphere* s2, dBodyID body2, int mode,
                        sphere_pair_contact* out) {
  float d[3];
  for (int k = 0; k < 3; k++) d[k] = s2->centre[k] - s1->centre[k];
  const float d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  const float reach = s1->radius + s2->radius;
  if (!(reach * reach > d2)) return 0;
  if (!body1 && !body2) return 1;
  const float r_min = smaller(s1->radius, s2->radius);
  if (d2 < 1.0f / 256.0f && d2 < r_min * r_min / 256.0f) return 1;  // coincident: no direction to push

  const float dist = sqrtf(d2);
  const float depth = reach - dist;
  float normal[3], point[3];
  for (int k = 0; k < 3; k++) {
    normal[k] = d[k] / dist;
    point[k] = s1->centre[k] + d[k] * (s1->radius - depth / 2.0f) / dist;
  }
  if (out) {
    std::memset(out, 0, sizeof *out);
    for (int k = 0; k < 3; k++) {
      out->point[k] = point[k];
      out->normal[k] = normal[k];
    }
    point_velocity(body1, point, out->point_velocity);
    out->depth = depth;
  }
  if (mode == shape_report_only) return 1;

  float spring = smaller(s1->spring, s2->spring);
  if (spring * depth > pair_spring_force_limit) spring = pair_spring_force_limit / depth;
  const float damper = smaller(s1->damper, s2->damper);
  const float mu = smaller(s1->friction, s2->friction);

  if (mode != shape_contact_joint) {
    float w1[3], w2[3];
    point_velocity(body1, point, w1);
    point_velocity(body2, point, w2);
    const float closing = (w1[0] - w2[0]) * normal[0] + (w1[1] - w2[1]) * normal[1] + (w1[2] - w2[2]) * normal[2];
    float f = depth * spring + closing * damper;
    if (f > penalty_force_limit) f = penalty_force_limit;
    if (f < -penalty_force_limit) f = -penalty_force_limit;
    if (!isfinite(f)) return 1;
    if (body2 && dBodyIsEnabled(body2))
      dynamics_add_force_at(body2, f * normal[0], f * normal[1], f * normal[2], point[0], point[1], point[2]);
    if (body1 && dBodyIsEnabled(body1))
      dynamics_add_force_at(body1, -f * normal[0], -f * normal[1], -f * normal[2], point[0], point[1], point[2]);
    return 1;
  }

  // A contact with neither spring nor damper would have an infinite CFM.
  const double softness = tick_length * spring + damper;
  if (!(softness > 0.0) || !isfinite(softness) || !isfinite(mu)) return 1;
  if (!dynamics_world || !contact_group) return 1;
  dContact c;
  std::memset(&c, 0, sizeof c);
  c.surface.mode = contact_mode_soft;
  c.surface.mu = mu;
  soft_contact_params(spring, damper, tick_length, &c.surface.soft_erp, &c.surface.soft_cfm);
  for (int k = 0; k < 3; k++) {
    c.geom.pos[k] = point[k];
    c.geom.normal[k] = normal[k];
  }
  c.geom.depth = depth;
  dynamics_add_contact(&c, body2, body1, nullptr);
  return 1;
}

static float distance2(const float a[3], const float b[3]) {
  float s = 0.0f;
  for (int k = 0; k < 3; k++) s += (a[k] - b[k]) * (a[k] - b[k]);
  return s;
}

int collide_shapes(shape* a, dBodyID body_a, const float position_a[3], const float orientation_a[9], shape* b,
                   dBodyID body_b, const float position_b[3], const float orientation_b[9], int mode) {
  if (!a || !b || !a->source || !b->source) return 0;
  const float reach = a->bounding_radius + b->bounding_radius;
  if (!(distance2(position_a, position_b) < reach * reach)) return 0;
  shape_move_to_world(a, position_a, orientation_a);
  shape_move_to_world(b, position_b, orientation_b);
  int touched = 0;
  for (int i = 0; i < a->count; i++)
    for (int j = 0; j < b->count; j++)
      touched |= collide_sphere_pair(&a->spheres[i], body_a, &b->spheres[j], body_b, mode, nullptr);
  return touched;
}

int collide_shape_wheel(shape* instance, dBodyID body, const float position[3], const float orientation[9],
                        wheel_contact* wheel, int mode) {
  if (!instance || !instance->source || !wheel || !wheel->body) return 0;
  const dReal* p = dBodyGetPosition(wheel->body);
  const float centre[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float reach = wheel->rim_radius + wheel->tyre_radius + instance->bounding_radius;
  if (!(distance2(centre, position) < reach * reach)) return 0;
  dVector3 axle_world;
  dBodyVectorToWorld(wheel->body, wheel->axle[0], wheel->axle[1], wheel->axle[2], axle_world);
  const float axle[3] = {(float)axle_world[0], (float)axle_world[1], (float)axle_world[2]};
  shape_move_to_world(instance, position, orientation);

  int touched = 0;
  sphere_pair_contact best, contact;
  std::memset(&best, 0, sizeof best);
  for (int i = 0; i < instance->count; i++) {
    shape_sphere tyre = {{0, 0, 0}, wheel->tyre_radius, 1.0f, 25000.0f, 2500.0f};
    nearest_point_on_rim(tyre.centre, centre, axle, wheel->rim_radius, instance->spheres[i].centre);
    std::memset(&contact, 0, sizeof contact);
    if (!collide_sphere_pair(&tyre, wheel->body, &instance->spheres[i], body, mode, &contact)) continue;
    touched = 1;
    if (contact.depth > best.depth) best = contact;
  }
  if (best.depth > 0.0f && wheel->depth == 0.0f) {
    for (int k = 0; k < 3; k++) {
      wheel->point[k] = best.point[k];
      wheel->point_velocity[k] = best.point_velocity[k];
      wheel->normal[k] = best.normal[k];
    }
    wheel->depth = best.depth;
    std::memset(&wheel->feedback, 0, sizeof wheel->feedback);
  }
  return touched;
}
