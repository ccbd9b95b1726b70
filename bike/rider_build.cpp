// The rider's bodies and joints, its masses, default settings, reset,
// placement and activity.
#include "bike/rider_build.h"

#include <cmath>
#include <cstring>

#include "core/message_ring.h"
#include "terrain/dynamics_world.h"

namespace {

const double pi = 3.14159265358979323846;

float clampf(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // also catches NaN
  return v > hi ? hi : v;
}

float range_at(const float range[2], float v) {
  v = clampf(v, 0, 1);
  return range[0] + (range[1] - range[0]) * v;
}

void rest_position(const bike_model* row, int body, dReal out[3]) {
  const float* p = nullptr;
  switch (body) {
    case RIDER_FRAME: p = row->frame_position; break;
    case RIDER_FRONT_WHEEL: p = row->front_wheel_position; break;
    case RIDER_REAR_WHEEL: p = row->rear_wheel_position; break;
    case RIDER_FORK_UPPER: p = row->fork_upper_position; break;
    case RIDER_FORK_LOWER: p = row->fork_lower_position; break;
    case RIDER_SWINGARM: p = row->swingarm_position; break;
    default: p = row->rider_position; break;
  }
  for (int i = 0; i < 3; i++) out[i] = p[i];
}

// The library refuses a mass whose centre is off the body's origin by more
// than rounding; every distribution here is centred by construction, so the
// residue of the sums goes.
void set_centred_mass(dBodyID body, dMass* m) {
  m->c[0] = m->c[1] = m->c[2] = 0;
  dBodySetMass(body, m);
}

void wheel_mass(dMass* m, float hub_mass, float hub_radius, float tyre_mass, float tyre_radius,
                float rim_radius) {
  dMassSetSphereTotal(m, hub_mass, hub_radius);
  dMass ring;
  dMassSetSphereTotal(&ring, tyre_mass / 16, tyre_radius);
  dMassTranslate(&ring, 0, rim_radius, 0);
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, 1, 0, 0, 2 * pi / 16);
  for (int i = 0; i < 16; i++) {
    dMassAdd(m, &ring);
    dMassRotate(&ring, turn);
  }
}

void fork_mass(dMass* m, const bike_model* row) {
  const float spacing = row->fork_leg_spacing;
  dMass leg;
  dMassSetCylinderTotal(&leg, row->fork_mass / 2, 2, spacing / 8, row->fork_length * 2 / 3);
  *m = leg;
  dMassTranslate(m, spacing / 2, 0, 0);
  dMassTranslate(&leg, -spacing / 2, 0, 0);
  dMassAdd(m, &leg);
  const double dy = row->fork_lower_position[1] - row->fork_upper_position[1];
  const double dz = row->fork_lower_position[2] - row->fork_upper_position[2];
  dMatrix3 rake;
  dRFromAxisAndAngle(rake, 1, 0, 0, dy != 0 ? std::atan(dz / dy) : 0);
  dMassRotate(m, rake);
}

void swingarm_mass(dMass* m, const bike_model* row) {
  const double dx = row->rear_wheel_position[0] - row->swingarm_pivot[0];
  const double dy = row->rear_wheel_position[1] - row->swingarm_pivot[1];
  const double dz = row->rear_wheel_position[2] - row->swingarm_pivot[2];
  const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
  const double w = row->frame_size[0] / 4;
  dMass side;
  dMassSetBoxTotal(&side, row->swingarm_mass, w, w, length);
  *m = side;
  dMassTranslate(m, row->frame_size[0] / 2, 0, 0);
  dMassTranslate(&side, -row->frame_size[0] / 2, 0, 0);
  dMassAdd(m, &side);
  dMatrix3 slope;
  dRFromAxisAndAngle(slope, 1, 0, 0, dz != 0 ? -std::atan(dy / dz) : 0);
  dMassRotate(m, slope);
}

void place_body(dBodyID b, const dReal p[3], const dReal* rotation) {
  dBodySetPosition(b, p[0], p[1], p[2]);
  dBodySetRotation(b, rotation);
  dBodySetLinearVel(b, 0, 0, 0);
  dBodySetAngularVel(b, 0, 0, 0);
  dBodySetForce(b, 0, 0, 0);
  dBodySetTorque(b, 0, 0, 0);
}

void clear_list(growable_array* list) { list->count = 0; }

}  // namespace

void rider_set_masses(rider* r, float d) {
  const bike_model* row = rider_model(r);
  if (!row || !r->bodies[0]) return;
  dMass m;
  float total = 0;

  dMassSetBoxTotal(&m, row->frame_mass + (1 - d) * row->rider_mass, row->frame_size[0],
                   row->frame_size[1], row->frame_size[2]);
  set_centred_mass(r->bodies[RIDER_FRAME], &m);
  total += (float)m.mass;

  wheel_mass(&m, row->front_hub_mass, row->front_hub_radius, row->front_tyre_mass,
             row->front_tyre_radius, row->front_rim_radius);
  set_centred_mass(r->bodies[RIDER_FRONT_WHEEL], &m);
  total += (float)m.mass;
  wheel_mass(&m, row->rear_hub_mass, row->rear_hub_radius, row->rear_tyre_mass,
             row->rear_tyre_radius, row->rear_rim_radius);
  set_centred_mass(r->bodies[RIDER_REAR_WHEEL], &m);
  total += (float)m.mass;

  fork_mass(&m, row);
  dMass fork_copy = m;
  set_centred_mass(r->bodies[RIDER_FORK_UPPER], &m);
  set_centred_mass(r->bodies[RIDER_FORK_LOWER], &fork_copy);
  total += 2 * (float)m.mass;

  swingarm_mass(&m, row);
  set_centred_mass(r->bodies[RIDER_SWINGARM], &m);
  total += (float)m.mass;

  dMassSetSphereTotal(&m, d * row->rider_mass, 1);
  set_centred_mass(r->bodies[RIDER_PERSON], &m);
  total += (float)m.mass;

  r->total_mass = total;
}

int rider_build_bodies(rider* r) {
  const bike_model* row = rider_model(r);
  if (!dynamics_world || !row) {
    console_printf("Can't build a rider without a dynamics world");
    return 0;
  }
  dMatrix3 identity;
  dRFromAxisAndAngle(identity, 0, 1, 0, 0);
  for (int i = 0; i < RIDER_BODY_COUNT; i++) {
    dBodyID b = dBodyCreate(dynamics_world);
    dReal p[3];
    rest_position(row, i, p);
    place_body(b, p, identity);
    // The gyroscopic term is added explicitly before each step
    // (riders_add_gyroscopic_torques), as the handling was tuned with it.
    dBodySetGyroscopicMode(b, 0);
    r->bodies[i] = b;
  }
  rider_set_masses(r, rider_initial_mass_distribution);

  dBodyID* b = r->bodies;
  dJointID* j = r->joints;
  j[RIDER_FRONT_AXLE] = dJointCreateHinge(dynamics_world, nullptr);
  j[RIDER_REAR_AXLE] = dJointCreateHinge(dynamics_world, nullptr);
  j[RIDER_STEERING] = dJointCreateHinge(dynamics_world, nullptr);
  j[RIDER_FORK_SLIDER] = dJointCreateSlider(dynamics_world, nullptr);
  j[RIDER_SWINGARM_PIVOT] = dJointCreateHinge(dynamics_world, nullptr);
  j[RIDER_PERSON_JOINT] = dJointCreateHinge2(dynamics_world, nullptr);

  const float* fw = row->front_wheel_position;
  const float* rw = row->rear_wheel_position;
  const float* fu = row->fork_upper_position;
  const float* fl = row->fork_lower_position;
  const float* pivot = row->swingarm_pivot;
  const double fork_axis[3] = {fu[0] - fl[0], fu[1] - fl[1], fu[2] - fl[2]};

  dJointAttach(j[RIDER_FRONT_AXLE], b[RIDER_FORK_LOWER], b[RIDER_FRONT_WHEEL]);
  dJointSetHingeAnchor(j[RIDER_FRONT_AXLE], fw[0], fw[1], fw[2]);
  dJointSetHingeAxis(j[RIDER_FRONT_AXLE], 1, 0, 0);

  dJointAttach(j[RIDER_REAR_AXLE], b[RIDER_SWINGARM], b[RIDER_REAR_WHEEL]);
  dJointSetHingeAnchor(j[RIDER_REAR_AXLE], rw[0], rw[1], rw[2]);
  dJointSetHingeAxis(j[RIDER_REAR_AXLE], 1, 0, 0);

  dJointAttach(j[RIDER_STEERING], b[RIDER_FORK_UPPER], b[RIDER_FRAME]);
  dJointSetHingeAnchor(j[RIDER_STEERING], fu[0], fu[1], fu[2]);
  dJointSetHingeAxis(j[RIDER_STEERING], fork_axis[0], fork_axis[1], fork_axis[2]);
  dJointSetHingeParam(j[RIDER_STEERING], dParamLoStop, -pi / 4);
  dJointSetHingeParam(j[RIDER_STEERING], dParamHiStop, pi / 4);

  dJointAttach(j[RIDER_FORK_SLIDER], b[RIDER_FORK_UPPER], b[RIDER_FORK_LOWER]);
  dJointSetSliderAxis(j[RIDER_FORK_SLIDER], fork_axis[0], fork_axis[1], fork_axis[2]);
  dJointSetSliderParam(j[RIDER_FORK_SLIDER], dParamBounce, 0);
  dJointSetSliderParam(j[RIDER_FORK_SLIDER], dParamLoStop, -row->fork_travel);
  dJointSetSliderParam(j[RIDER_FORK_SLIDER], dParamHiStop, 0);

  dJointAttach(j[RIDER_SWINGARM_PIVOT], b[RIDER_SWINGARM], b[RIDER_FRAME]);
  dJointSetHingeAnchor(j[RIDER_SWINGARM_PIVOT], pivot[0], pivot[1], pivot[2]);
  dJointSetHingeAxis(j[RIDER_SWINGARM_PIVOT], 1, 0, 0);
  dJointSetHingeParam(j[RIDER_SWINGARM_PIVOT], dParamBounce, 0);
  dJointSetHingeParam(j[RIDER_SWINGARM_PIVOT], dParamLoStop, -row->shock_linkage[BIKE_SWINGARM_TRAVEL]);
  dJointSetHingeParam(j[RIDER_SWINGARM_PIVOT], dParamHiStop, 0);

  dJointAttach(j[RIDER_PERSON_JOINT], b[RIDER_PERSON], b[RIDER_FRAME]);
  dJointSetHinge2Anchor(j[RIDER_PERSON_JOINT], 0, row->rider_position[1], -50);
  const dReal axis1[3] = {0, 1, 1};
  const dReal axis2[3] = {1, 0, 0};
  dJointSetHinge2Axes(j[RIDER_PERSON_JOINT], axis1, axis2);
  dJointSetHinge2Param(j[RIDER_PERSON_JOINT], dParamLoStop, 0);
  dJointSetHinge2Param(j[RIDER_PERSON_JOINT], dParamHiStop, 0);

  for (int i = 0; i < RIDER_JOINT_COUNT; i++) dJointSetFeedback(j[i], &r->joint_feedback[i]);

  // The wheel contacts turn about the wheel's own x axis.
  wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
  for (int w = 0; w < 2; w++) {
    wheel_contact* c = wheels[w];
    c->body = b[w == 0 ? RIDER_FRONT_WHEEL : RIDER_REAR_WHEEL];
    c->axle[0] = 1;
    c->axle[1] = 0;
    c->axle[2] = 0;
    c->rim_radius = w == 0 ? row->front_rim_radius : row->rear_rim_radius;
    c->tyre_radius = w == 0 ? row->front_tyre_radius : row->rear_tyre_radius;
  }
  return 1;
}

void rider_set_fork(rider* r, float compression, float slow_compression, float rebound,
                    float slow_rebound, float spring_rate, float preload, float oil_level) {
  const bike_model* row = rider_model(r);
  if (!row) return;
  r->fork[0] = clampf(compression, 0.25f, 4) * row->fork_compression_damping;
  r->fork[1] = clampf(slow_compression, -1, 1) * row->fork_slow_compression_damping;
  r->fork[2] = clampf(rebound, 0.25f, 4) * row->fork_rebound_damping;
  r->fork[3] = clampf(slow_rebound, -1, 1) * row->fork_slow_rebound_damping;
  r->fork[4] = range_at(row->fork_spring_rate_range, spring_rate);
  r->fork[5] = range_at(row->fork_preload_range, preload);
  r->fork[6] = range_at(row->fork_oil_level_range, oil_level);
}

void rider_set_shock(rider* r, float compression, float slow_compression, float rebound,
                     float slow_rebound, float spring_rate, float preload) {
  const bike_model* row = rider_model(r);
  if (!row) return;
  r->shock[0] = clampf(compression, 0.25f, 4) * row->shock_compression_damping;
  r->shock[1] = clampf(slow_compression, -1, 1) * row->shock_slow_compression_damping;
  r->shock[2] = clampf(rebound, 0.25f, 4) * row->shock_rebound_damping;
  r->shock[3] = clampf(slow_rebound, -1, 1) * row->shock_slow_rebound_damping;
  r->shock[4] = range_at(row->shock_spring_rate_range, spring_rate);
  r->shock[5] = range_at(row->shock_preload_range, preload);
}

void rider_set_defaults(rider* r) {
  const bike_model* row = rider_model(r);
  if (!row) return;
  const float rear = std::fmax(3.0f, std::floor(row->rear_sprocket));
  const float front = std::fmax(3.0f, std::floor(row->front_sprocket));
  r->final_drive_ratio = rear / front;
  rider_set_fork(r, 1, 0, 1, 0, 0.5f, 0.5f, 0);
  rider_set_shock(r, 2, 0, 2, 1, 0.5f, 0.5f);
  r->rider_yspring = 0.5f;
  r->rider_zspring = 0.5f;
  r->rider_ydamping = 0.75f;
  r->rider_zdamping = 0.75f;
  r->leveling = 20;
  r->roll_damping = 60;
  r->roll_limit_angle = (float)(pi / 4);
  r->roll_limit_factor = 10;
  r->steering_damping = 45;
  r->steering_strength = 75;
  r->max_steering_force = 400;
  r->auto_clutch_rpms = 5000;
  r->brake_torque = 250;
  r->rear_brake_torque = 250;
  r->max_dab_speed = 30;
  r->direct_steering = 1;
  r->slow_damping_speed = 0;
  r->slow_damping_factor = 1;
  r->land_damping_falloff = 0.25f;
  r->land_damping_factor = 2;
  r->full_lock_speed = 10;
  r->restricted_lock_speed = 50;
  r->restricted_lock = 0.0872665f;
  r->arcade = 0;
  r->assist_flags = RIDER_ASSIST_AIR_STEERING | (2 << 1) | RIDER_ASSIST_FRONT_ANTILOCK |
                    RIDER_ASSIST_AUTO_ALIGN;
}

void rider_reset(rider* r) {
  const bike_model* row = rider_model(r);
  if (!row || !r->bodies[0]) return;
  dMatrix3 identity;
  dRFromAxisAndAngle(identity, 0, 1, 0, 0);
  static const int order[] = {RIDER_FORK_UPPER, RIDER_FORK_LOWER, RIDER_SWINGARM, RIDER_FRAME,
                              RIDER_FRONT_WHEEL, RIDER_REAR_WHEEL, RIDER_PERSON};
  for (int i : order) {
    dReal p[3];
    rest_position(row, i, p);
    place_body(r->bodies[i], p, identity);
  }

  r->throttle = r->clutch = r->front_brake = r->rear_brake = r->steer = 0;
  r->dab = r->ramp = r->back_up = r->lean = 0;
  r->gear = 0;
  r->last_shift_request = 0;
  r->clutch_angle = 0;
  r->engine_speed = 0;
  r->timing_count = 0;
  clear_list(&r->timing_ticks);
  clear_list(&r->pass_sample_lists[0]);
  clear_list(&r->pass_sample_lists[1]);
  clear_list(&r->followed_line);
  r->pass_void_bits = 0;
  memset(&r->robot, 0, sizeof r->robot);
  r->robot.lean_limit_tick = -1000000;

  r->roost_tick = -1;
  r->finished = 0;
  r->contact_tick = -1;
  r->down = 0;
  r->land_damping = 1.0f;
  r->airborne_tick = r->landed_tick = 0;
  r->down_counter = 0;
  r->crash_count = 0;
  memset(r->point_a_pos, 0, sizeof r->point_a_pos);
  memset(r->point_a_vel, 0, sizeof r->point_a_vel);
  memset(r->point_b_pos, 0, sizeof r->point_b_pos);
  memset(r->point_b_vel, 0, sizeof r->point_b_vel);
  memset(r->velocity_ring, 0, sizeof r->velocity_ring);
  r->hit_timer = 0;
  r->front_slide = 0;
  r->activity = 1;

  // The rider body goes to its rest place beside the frame before the joint
  // is attached: attaching fixes the joint's relative values from where the
  // bodies are.
  dBodyID frame = r->bodies[RIDER_FRAME];
  const dReal* fp = dBodyGetPosition(frame);
  const dReal* fr = dBodyGetRotation(frame);
  dReal offset[3];
  for (int i = 0; i < 3; i++) offset[i] = row->rider_position[i] - row->frame_position[i];
  dReal place[3];
  for (int i = 0; i < 3; i++)
    place[i] = fp[i] + fr[i * 4 + 0] * offset[0] + fr[i * 4 + 1] * offset[1] + fr[i * 4 + 2] * offset[2];
  place_body(r->bodies[RIDER_PERSON], place, fr);
  dJointAttach(r->joints[RIDER_PERSON_JOINT], r->bodies[RIDER_PERSON], frame);

  memset(r->joint_feedback, 0, sizeof r->joint_feedback);
  // A restart must not join the old strokes to the new ones: the points'
  // places and directions go, and the strokes start empty.
  rut_stroke* strokes[] = {&r->front_rut, &r->rear_rut};
  for (rut_stroke* s : strokes) {
    for (rut_point& p : s->points) p.x = p.z = p.a = p.b = 0;
    rut_stroke_reset(s);
  }
}

void rider_translate(rider* r, float dx, float dy, float dz) {
  for (dBodyID b : r->bodies) {
    if (!b) continue;
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0] + dx, p[1] + dy, p[2] + dz);
  }
}

void rider_rotate(rider* r, float ax, float ay, float az, float angle) {
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, ax, ay, az, angle);
  for (dBodyID b : r->bodies) {
    if (!b) continue;
    const dReal* p = dBodyGetPosition(b);
    dReal q[3];
    for (int i = 0; i < 3; i++) q[i] = turn[i * 4] * p[0] + turn[i * 4 + 1] * p[1] + turn[i * 4 + 2] * p[2];
    dBodySetRotation(b, turn);
    dBodySetPosition(b, q[0], q[1], q[2]);
  }
}

int rider_is_active(const rider* r) { return r->activity > rider_active_threshold; }

void rider_set_activity(rider* r, float activity) {
  if (!(r->activity > rider_active_threshold)) {
    for (dBodyID b : r->bodies) {
      if (!b) continue;
      dBodySetForce(b, 0, 0, 0);
      dBodySetTorque(b, 0, 0, 0);
    }
  }
  r->activity = activity;
  for (dBodyID b : r->bodies) {
    if (!b) continue;
    if (activity > rider_active_threshold)
      dBodyEnable(b);
    else
      dBodyDisable(b);
  }
}

void rider_activate(rider* r) { rider_set_activity(r, 1); }

void rider_deactivate(rider* r) { rider_set_activity(r, 0); }

void rider_wake_on_contact(rider* r) {
  if (r->activity == 0)
    rider_set_activity(r, 1);
  else if (!(r->activity > rider_active_threshold))
    rider_set_activity(r, rider_active_threshold);
}

void rider_fade_remote(rider* r) {
  if (!(r->activity > 0)) return;
  rider_set_activity(r, clampf(r->activity - 1.0f / 128, 0, 1));
}

void body_add_gyroscopic_torque(dBodyID body) {
  if (!body || !dBodyIsEnabled(body)) return;
  dMass m;
  dBodyGetMass(body, &m);
  const dReal* rot = dBodyGetRotation(body);
  const dReal* w = dBodyGetAngularVel(body);
  // I_world w = R I R^T w.
  dReal local[3], spun[3], momentum[3];
  for (int i = 0; i < 3; i++) local[i] = rot[0 * 4 + i] * w[0] + rot[1 * 4 + i] * w[1] + rot[2 * 4 + i] * w[2];
  for (int i = 0; i < 3; i++) spun[i] = m.I[i * 4] * local[0] + m.I[i * 4 + 1] * local[1] + m.I[i * 4 + 2] * local[2];
  for (int i = 0; i < 3; i++) momentum[i] = rot[i * 4] * spun[0] + rot[i * 4 + 1] * spun[1] + rot[i * 4 + 2] * spun[2];
  dBodyAddTorque(body, -(w[1] * momentum[2] - w[2] * momentum[1]),
                 -(w[2] * momentum[0] - w[0] * momentum[2]),
                 -(w[0] * momentum[1] - w[1] * momentum[0]));
}

void riders_add_gyroscopic_torques() {
  for (rider& r : rider_table)
    for (dBodyID b : r.bodies) body_add_gyroscopic_torque(b);
}
