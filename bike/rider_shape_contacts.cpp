// Rider parts against other shapes: track objects and other riders.
#include <cmath>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "bike/rider_fall.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/track_objects.h"

namespace {

void body_transform(dBodyID b, float position[3], float orientation[9]) {
  const dReal* p = dBodyGetPosition(b);
  const dReal* m = dBodyGetRotation(b);
  for (int i = 0; i < 3; i++) {
    position[i] = (float)p[i];
    for (int j = 0; j < 3; j++) orientation[3 * i + j] = (float)m[4 * i + j];
  }
}

// One of the rider's rigid part shapes against the other shape.
int part_against(shape* part, dBodyID body, shape* other, dBodyID other_body,
                 const float position[3], const float orientation[9], int mode) {
  if (!part || !body) return 0;
  float p[3], m[9];
  body_transform(body, p, m);
  return collide_shapes(part, body, p, m, other, other_body, position, orientation, mode);
}

float speed_of(dBodyID b) {
  if (!b) return 0;
  const dReal* v = dBodyGetLinearVel(b);
  return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// A struck rider that was still riding gets a negative timer, which keeps
// it from being thrown off by the blow; the striker's positive timer is
// set apart from this.
void mark_struck(rider* r) {
  if (r->hit_timer <= 0) r->hit_timer = std::fmin(r->hit_timer, -640.0f);
}

}  // namespace

int rider_collide_shape(rider* r, shape* other, dBodyID other_body, const float position[3],
                        const float orientation[9], int mode, int front_test_only) {
  if (!other) return 0;
  const int front_mode = front_test_only ? shape_report_only : mode;
  int mask = 0;
  if (r->front_contact.body &&
      collide_shape_wheel(other, other_body, position, orientation, &r->front_contact, front_mode))
    mask |= rider_part_front_wheel;
  if (r->rear_contact.body &&
      collide_shape_wheel(other, other_body, position, orientation, &r->rear_contact, mode))
    mask |= rider_part_rear_wheel;
  if (part_against(r->frame_shape, r->bodies[RIDER_FRAME], other, other_body, position,
                   orientation, mode))
    mask |= rider_part_frame;
  if (part_against(r->fork_upper_shape, r->bodies[RIDER_FORK_UPPER], other, other_body, position,
                   orientation, front_mode))
    mask |= rider_part_fork_upper;
  if (part_against(r->fork_lower_shape, r->bodies[RIDER_FORK_LOWER], other, other_body, position,
                   orientation, front_mode))
    mask |= rider_part_fork_lower;
  if (part_against(r->swingarm_shape, r->bodies[RIDER_SWINGARM], other, other_body, position,
                   orientation, mode))
    mask |= rider_part_swingarm;
  if (part_against(r->rider_shape, r->bodies[RIDER_PERSON], other, other_body, position,
                   orientation, mode))
    mask |= rider_part_rider;
  return mask;
}

int rider_collide_object(rider* r, shape* object, dBodyID object_body, const float position[3],
                         const float orientation[9]) {
  const int mask = rider_collide_shape(r, object, object_body, position, orientation,
                                       shape_contact_joint, 0);
  if ((mask & rider_part_rider) && r->down_counter == 0 && r->bodies[RIDER_PERSON]) {
    const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_PERSON]);
    double d[3] = {v[0], v[1], v[2]};
    if (object_body) {
      const dReal* w = dBodyGetLinearVel(object_body);
      for (int i = 0; i < 3; i++) d[i] -= w[i];
    }
    if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > 20.0 * 20.0) rider_fall_off(r);
  }
  return mask;
}

int rider_collide_rider(rider* a, rider* b, int front_test_only) {
  const int32_t tick = race_clock.current_tick;
  const int mode = (a->contact_tick == tick || b->contact_tick == tick) ? shape_penalty_force
                                                                          : shape_contact_joint;
  struct part {
    shape* s;
    int body;
    int front;  // always tested in full, whatever front_test_only says
    int mark;   // bit recorded in s when it touched
  };
  const part parts[] = {
      {a->front_wheel_shape, RIDER_FRONT_WHEEL, 1, rider_part_front_wheel},
      {a->rear_wheel_shape, RIDER_REAR_WHEEL, 0, 0},
      {a->frame_shape, RIDER_FRAME, 0, 0},
      {a->fork_upper_shape, RIDER_FORK_UPPER, 1, 0},
      {a->fork_lower_shape, RIDER_FORK_LOWER, 1, rider_part_fork_lower},
      {a->swingarm_shape, RIDER_SWINGARM, 0, 0},
      {a->rider_shape, RIDER_PERSON, 0, 0},
  };
  int u = 0, s = 0;
  for (const part& p : parts) {
    dBodyID body = a->bodies[p.body];
    if (!p.s || !body) continue;
    float position[3], orientation[9];
    body_transform(body, position, orientation);
    const int touched = rider_collide_shape(b, p.s, body, position, orientation, mode,
                                            p.front ? 0 : front_test_only);
    u |= touched;
    if (touched) s |= p.mark;
  }
  if (u == 0) return 0;

  const float va = speed_of(a->bodies[RIDER_FRAME]);
  const float vb = speed_of(b->bodies[RIDER_FRAME]);
  if (s & u) {
    if (va >= 10) a->hit_timer = std::fmax(a->hit_timer, 64.0f);
    if (vb >= 10) b->hit_timer = std::fmax(b->hit_timer, 64.0f);
  } else if (s) {
    if (b->down_counter < 1 && vb >= 5) {
      if (va >= 10) a->hit_timer = std::fmax(a->hit_timer, 128.0f);
      mark_struck(b);
    }
  } else if (u & rider_part_front_end) {
    if (a->down_counter < 1 && va >= 5) {
      if (vb >= 10) b->hit_timer = std::fmax(b->hit_timer, 128.0f);
      mark_struck(a);
    }
  }
  a->contact_tick = b->contact_tick = tick;
  for (int i = 0; i < 4; i++) a->robot.picked_line_ids[i] = b->robot.picked_line_ids[i] = 0;
  return u;
}

const growable_array* rider_statues_near(rider* r) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!frame || !statues.data) return nullptr;
  const dReal* p = dBodyGetPosition(frame);
  return statue_grid_near((float)p[0], (float)p[2], 6);
}

void collide_rider_statues(rider* r) {
  rider_collide_terrain(r);
  const growable_array* near = rider_statues_near(r);
  if (near && near->count) collide_rider_listed_statues(r, static_cast<const int32_t*>(near->data), near->count);
}

void collide_rider_listed_statues(rider* r, const int32_t* indices, size_t count) {
  static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (size_t i = 0; i < count; i++) {
    const int32_t index = indices[i];
    statue* s = statue_at(index);
    if (!s || !s->shape) continue;
    const float position[3] = {s->x, s->y, s->z};
    // A statue drawn turned to the viewer has no orientation of its own.
    const float* orientation = s->facing_value != 0 ? identity : s->basis;
    shape* object = s->shape;
    // On a worker thread the statue's shape, which every test moves to the
    // world, is shared with the other threads: this rider tests a copy of
    // its own. Where it touched is the main thread's to mark.
    thread_local std::vector<shape_sphere> spheres;
    shape copy;
    if (contact_recording && object->count > 0) {
      spheres.assign(object->spheres, object->spheres + object->count);
      copy = *object;
      copy.spheres = spheres.data();
      object = &copy;
    }
    if (rider_collide_object(r, object, nullptr, position, orientation)) {
      if (contact_recording) contact_recording->touched_statues.push_back(index);
      else s->touch_tick = race_clock.current_tick;
    }
  }
}
