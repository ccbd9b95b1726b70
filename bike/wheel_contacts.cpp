// Wheel contact records outside the tyre joints: the refresh for shown
// riders, the rut feed and the wheel queries.
#include "bike/wheel_contacts.h"

#include <cmath>
#include <cstring>

#include "bike/rider.h"
#include "terrain/height_field.h"
#include "terrain/ruts.h"

int roost_density = 250;
int debug_flags;
float debug_label_spacing = 10;
debug_marker_hooks debug_markers;

namespace {

void refresh_one(wheel_contact* w) {
  if (!w->body) {
    w->depth = 0;
    return;
  }
  if (track_field.heights &&
      collide_wheel_terrain(&track_field, w, w->point, w->normal, &w->depth)) {
    dVector3 v;
    dBodyGetPointVel(w->body, w->point[0], w->point[1], w->point[2], v);
    for (int i = 0; i < 3; i++) w->point_velocity[i] = (float)v[i];
  } else {
    w->depth = 0;
  }
}

// The rut producer steers its samples by the wheel's horizontal direction
// of travel; a wheel standing still or moving straight up or down has none,
// so it is handed over as not touching this tick.
void feed_wheel(rut_stroke* stroke, const wheel_contact* w, int front) {
  wheel_contact sample = *w;
  if (sample.depth > 0 && sample.body) {
    const dReal* v = dBodyGetLinearVel(sample.body);
    const double horizontal = v[0] * v[0] + v[2] * v[2];
    if (!(horizontal > 0) || !std::isfinite(horizontal)) sample.depth = 0;
  }
  rut_update_wheel(stroke, &sample, front);
}

int query_vector(rider* r, const wheel_contact* w, const float* from, float out[3]) {
  rider_refresh_wheel_contacts(r);
  if (!(w->depth > 0)) return 0;
  if (from) {
    for (int i = 0; i < 3; i++) out[i] = from[i];
  } else {
    wheel_axle_velocity(w, out);
  }
  return 1;
}

}  // namespace

void rider_refresh_wheel_contacts(rider* r) {
  if ((r->simulated & 1) || r->roost_tick == race_clock.current_tick) return;
  r->roost_tick = race_clock.current_tick;
  refresh_one(&r->front_contact);
  refresh_one(&r->rear_contact);
}

void wheel_axle_velocity(const wheel_contact* w, float out[3]) {
  const dReal* c = dBodyGetPosition(w->body);
  const dReal* lin = dBodyGetLinearVel(w->body);
  const dReal* ang = dBodyGetAngularVel(w->body);
  dVector3 a;
  dBodyVectorToWorld(w->body, 1, 0, 0, a);
  const double along = ang[0] * a[0] + ang[1] * a[1] + ang[2] * a[2];
  const double om[3] = {ang[0] - along * a[0], ang[1] - along * a[1], ang[2] - along * a[2]};
  const double rr[3] = {w->point[0] - c[0], w->point[1] - c[1], w->point[2] - c[2]};
  out[0] = (float)(lin[0] + om[1] * rr[2] - om[2] * rr[1]);
  out[1] = (float)(lin[1] + om[2] * rr[0] - om[0] * rr[2]);
  out[2] = (float)(lin[2] + om[0] * rr[1] - om[1] * rr[0]);
}

void rider_update_ruts(rider* r) {
  const bool trail = (debug_flags & debug_flag_tyre_trail) && debug_markers.distance && debug_markers.add &&
                     r->bodies[RIDER_FRAME];
  float at[3] = {0, 0, 0};
  bool label = false;
  if (trail) {
    const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    for (int i = 0; i < 3; i++) at[i] = (float)p[i];
    label = debug_markers.distance(at) > debug_label_spacing;
  }
  // At most 1022 characters in all, as the label holds.
  char text[1023];
  size_t used = 0;
  auto append = [&](const char* s) {
    const size_t n = strlen(s);
    const size_t room = sizeof text - 1 - used;
    const size_t k = n < room ? n : room;
    memcpy(text + used, s, k);
    used += k;
    text[used] = 0;
  };
  text[0] = 0;
  feed_wheel(&r->front_rut, &r->front_contact, 1);
  if (label) {
    char part[512];
    format_tyre_debug(part, (int)sizeof part);
    append("front:\n");
    append(part);
  }
  feed_wheel(&r->rear_rut, &r->rear_contact, 0);
  if (label) {
    char part[512];
    format_tyre_debug(part, (int)sizeof part);
    append("rear:\n");
    append(part);
    debug_markers.add(at, text);
  }
}

float rider_front_contact_depth(rider* r) {
  rider_refresh_wheel_contacts(r);
  return r->front_contact.depth > 0 ? r->front_contact.depth : 0;
}
int rider_front_contact_position(rider* r, float out[3]) {
  return query_vector(r, &r->front_contact, r->front_contact.point, out);
}
int rider_front_contact_slip(rider* r, float out[3]) {
  return query_vector(r, &r->front_contact, r->front_contact.point_velocity, out);
}
int rider_front_contact_velocity(rider* r, float out[3]) {
  return query_vector(r, &r->front_contact, nullptr, out);
}
float rider_rear_contact_depth(rider* r) {
  rider_refresh_wheel_contacts(r);
  return r->rear_contact.depth > 0 ? r->rear_contact.depth : 0;
}
int rider_rear_contact_position(rider* r, float out[3]) {
  return query_vector(r, &r->rear_contact, r->rear_contact.point, out);
}
int rider_rear_contact_slip(rider* r, float out[3]) {
  return query_vector(r, &r->rear_contact, r->rear_contact.point_velocity, out);
}
int rider_rear_contact_velocity(rider* r, float out[3]) {
  return query_vector(r, &r->rear_contact, nullptr, out);
}

float wheel_contact_normal_force(const wheel_contact* w) {
  if (!w || !(w->depth > 0)) return 0;
  const dJointFeedback& f = w->feedback;
  const double n = f.f1[0] * w->normal[0] + f.f1[1] * w->normal[1] + f.f1[2] * w->normal[2];
  return std::isfinite(n) ? (float)n : 0.0f;
}
