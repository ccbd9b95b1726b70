// Rider contacts with the terrain, and the suspension telemetry.
#include "bike/rider_contacts.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_fall.h"
#include "bike/rider_limbs.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"

telemetry_ring_set telemetry_rings = {{}, {}, {}, {}, {}, {}, telemetry_ring_size};
int telemetry_graph_on;

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

void body_transform(dBodyID b, float position[3], float orientation[9]) {
  const dReal* p = dBodyGetPosition(b);
  const dReal* m = dBodyGetRotation(b);
  for (int i = 0; i < 3; i++) {
    position[i] = (float)p[i];
    for (int j = 0; j < 3; j++) orientation[3 * i + j] = (float)m[4 * i + j];
  }
}

int shape_on_terrain(shape* s, dBodyID body) {
  if (!s || !body) return 0;
  float position[3], orientation[9];
  body_transform(body, position, orientation);
  return collide_shape_terrain(s, body, position, orientation, &track_field);
}

float speed_of(dBodyID b) {
  const dReal* v = dBodyGetLinearVel(b);
  return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// slow / (speed x base + slow): the share of the damping the slow-speed
// circuit gives at this rate. A row without damping reads 0.
float damping_readout(float slow, float base, float speed) {
  const float d = speed * base + slow;
  return d != 0 ? slow / d : 0;
}

}  // namespace

int rider_collide_terrain(rider* r) {
  if (!track_field.heights || !r->bodies[RIDER_FRAME]) return 0;
  float friction = 1;
  if (r->arcade) {
    const float lean = body_lean_angle(r->bodies[RIDER_FRAME]);
    friction = 1 - 0.375f * clampf(4 * std::fabs(lean) / (float)M_PI, 0, 1);
  }
  int any = collide_tyre_terrain(&track_field, &r->front_contact, friction);
  any |= collide_tyre_terrain(&track_field, &r->rear_contact, friction);
  any |= shape_on_terrain(r->frame_shape, r->bodies[RIDER_FRAME]);
  const int fork_upper = shape_on_terrain(r->fork_upper_shape, r->bodies[RIDER_FORK_UPPER]);
  const int fork_lower = shape_on_terrain(r->fork_lower_shape, r->bodies[RIDER_FORK_LOWER]);
  const int swingarm = shape_on_terrain(r->swingarm_shape, r->bodies[RIDER_SWINGARM]);
  const int person = shape_on_terrain(r->rider_shape, r->bodies[RIDER_PERSON]);
  any |= fork_upper | fork_lower | swingarm | person;
  if (person) {
    // The rider body's own up axis, its y component: below 0 it is upside down.
    const dReal* m = dBodyGetRotation(r->bodies[RIDER_PERSON]);
    if (m[5] < 0 && speed_of(r->bodies[RIDER_PERSON]) > 5) rider_fall_off(r);
  }
  if ((fork_upper | fork_lower | swingarm | person) && r->down == 0) r->down = 1;
  return any;
}

int rider_collision_noop() { return 0; }

void bike_model_shock_linkage(const rider* r, float* value, float* slope, float travel) {
  const bike_model* row = rider_model(r);
  *value = *slope = 0;
  if (!row) return;
  const float* l = row->shock_linkage;
  const float f = clampf(travel, 0, 1);
  const float u = l[3];
  float a, len, p0, p1, m0, m1;
  if (f <= u) {
    a = 0, len = u, p0 = 0, p1 = l[0], m0 = l[4], m1 = l[5];
  } else {
    a = u, len = 1 - u, p0 = l[0], p1 = l[1], m0 = l[5], m1 = l[6];
  }
  if (!(len > 0)) {
    *value = f <= u ? p1 : p0;
    return;
  }
  const float t = (f - a) / len;
  const float t2 = t * t, t3 = t2 * t;
  *value = (2 * t3 - 3 * t2 + 1) * p0 + (t3 - 2 * t2 + t) * len * m0 + (-2 * t3 + 3 * t2) * p1 +
           (t3 - t2) * len * m1;
  *slope = ((6 * t2 - 6 * t) * p0 + (3 * t2 - 4 * t + 1) * len * m0 + (-6 * t2 + 6 * t) * p1 +
            (3 * t2 - 2 * t) * len * m1) /
           len;
}

void rider_fork_telemetry(const rider* r, float* travel, float* rate, float* damping) {
  const bike_model* row = rider_model(r);
  *travel = *rate = *damping = 0;
  if (!row || !r->joints[RIDER_FORK_SLIDER]) return;
  const float x = (float)dJointGetSliderPosition(r->joints[RIDER_FORK_SLIDER]);
  const float v = (float)dJointGetSliderPositionRate(r->joints[RIDER_FORK_SLIDER]);
  *travel = row->fork_travel != 0 ? -x / row->fork_travel : 0;
  *rate = v;
  *damping = v < 0 ? damping_readout(row->fork_slow_compression_damping,
                                     row->fork_compression_damping, -v)
                   : damping_readout(row->fork_slow_rebound_damping, row->fork_rebound_damping, v);
}

void rider_shock_telemetry(const rider* r, float* travel, float* rate, float* damping) {
  const bike_model* row = rider_model(r);
  *travel = *rate = *damping = 0;
  if (!row || !r->joints[RIDER_SWINGARM_PIVOT]) return;
  const float angle = (float)dJointGetHingeAngle(r->joints[RIDER_SWINGARM_PIVOT]);
  const float omega = (float)dJointGetHingeAngleRate(r->joints[RIDER_SWINGARM_PIVOT]);
  const float swing = row->shock_linkage[2];
  const float f = swing != 0 ? clampf(-angle / swing, 0, 1) : 0;
  float value, slope;
  bike_model_shock_linkage(r, &value, &slope, f);
  const float w = omega * slope;
  *travel = f;
  *rate = w;
  *damping = w >= 0 ? damping_readout(row->shock_slow_rebound_damping,
                                      row->shock_rebound_damping, w)
                    : damping_readout(row->shock_slow_compression_damping,
                                      row->shock_compression_damping, -w);
}

void telemetry_record(const rider* r) {
  telemetry_ring_set& t = telemetry_rings;
  const int i = t.write_index & (telemetry_ring_size - 1);
  rider_fork_telemetry(r, &t.fork_travel[i], &t.fork_rate[i], &t.fork_damping[i]);
  rider_shock_telemetry(r, &t.shock_travel[i], &t.shock_rate[i], &t.shock_damping[i]);
  t.write_index = (i + 1) & (telemetry_ring_size - 1);
}
