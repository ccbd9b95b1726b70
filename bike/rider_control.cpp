// The control step: suspension, rider body springs, assists, crashes, lying
// down and remounting, steering and engine, once a tick per rider.
#include "bike/rider_control.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/rider_engine.h"
#include "bike/rider_fall.h"
#include "bike/rider_limbs.h"
#include "bike/rider_setters.h"
#include "bike/rider_steering.h"
#include "bike/robot_hooks.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"

namespace {

constexpr float h = 1.0f / 128.0f;
constexpr float pi = 3.14159265358979f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

float speed2(const dReal* v) { return (float)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// A temporary spring-damper contact between two bodies in the contact group.
void soft_contact(dBodyID a, dBodyID b, const dReal pos[3], const float normal[3], float depth,
                  float kp, float kd) {
  dContact c = {};
  c.surface.mode = dContactSoftERP | dContactSoftCFM;
  c.surface.mu = 0;
  const float cfm = 1 / (h * kp + kd);
  c.surface.soft_cfm = cfm;
  c.surface.soft_erp = h * kp * cfm;
  for (int i = 0; i < 3; i++) {
    c.geom.pos[i] = pos[i];
    c.geom.normal[i] = normal[i];
  }
  c.geom.depth = depth;
  dJointID j = dJointCreateContact(dynamics_world, contact_group, &c);
  dJointAttach(j, a, b);
}

void axis_world(dBodyID b, float x, float y, float z, float out[3]) {
  dVector3 w;
  dBodyVectorToWorld(b, x, y, z, w);
  for (int i = 0; i < 3; i++) out[i] = (float)w[i];
}

float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void body_transform(dBodyID b, float position[3], float orientation[9]) {
  const dReal* p = dBodyGetPosition(b);
  const dReal* m = dBodyGetRotation(b);
  for (int i = 0; i < 3; i++) position[i] = (float)p[i];
  for (int row = 0; row < 3; row++)
    for (int col = 0; col < 3; col++) orientation[row * 3 + col] = (float)m[row * 4 + col];
}

// Fork and shock damping: fast damping per unit of speed, the slow setting
// as an offset, kept within 1/8..8 of the fast part.
float suspension_damping(float v, float compression, float slow_compression, float rebound,
                         float slow_rebound) {
  if (v >= 0) {
    const float b = -v * rebound;
    return clampf(b - slow_rebound, 8 * b, b / 8);
  }
  const float b = -v * compression;
  return clampf(b + slow_compression, b / 8, 8 * b);
}

void angular_motor(dBodyID body, const float axis[3], float velocity, float fmax) {
  dJointID m = dJointCreateAMotor(dynamics_world, contact_group);
  dJointAttach(m, body, nullptr);
  dJointSetAMotorNumAxes(m, 1);
  dJointSetAMotorAxis(m, 0, 0, axis[0], axis[1], axis[2]);
  dJointSetAMotorParam(m, dParamVel, velocity);
  dJointSetAMotorParam(m, dParamFMax, fmax);
}

void seat_point(const rider* r, float q[3]) {
  const bike_model* m = rider_model(r);
  for (int i = 0; i < 3; i++) q[i] = m->rider_position[i] - m->frame_position[i];
}

void down_state(rider* r) {
  const float* g = rider_model(r)->pose_geometry;
  dBodyID person = r->bodies[RIDER_PERSON], fork = r->bodies[RIDER_FORK_UPPER];
  if (speed2(dBodyGetLinearVel(person)) >= 4) {
    const float rope = 0.875f * (g[27] + g[28]);
    rider_hold_contact(person, g + 3, fork, g + 15, rope);
    rider_hold_contact(person, g + 6, fork, g + 18, rope);
    if (r->down_counter > 511) {
      const float hips[3] = {0, g[13], g[14]};
      const float behind[3] = {0, g[19], g[20] + 10};
      rider_hold_contact(person, hips, fork, behind, 8);
    }
    if (r->rider_shape) {
      float pp[3], po[9], bp[3], bo[9];
      body_transform(person, pp, po);
      if (r->frame_shape) {
        body_transform(r->bodies[RIDER_FRAME], bp, bo);
        collide_shapes(r->rider_shape, person, pp, po, r->frame_shape, r->bodies[RIDER_FRAME], bp, bo, 0);
      }
      if (r->fork_upper_shape) {
        body_transform(fork, bp, bo);
        collide_shapes(r->rider_shape, person, pp, po, r->fork_upper_shape, fork, bp, bo, 0);
      }
    }
  } else {
    r->down_counter -= 1;
  }
  if (r->down_counter < 512) rider_remount_pull(r);
  if (r->down_counter == 0) {
    dBodyID frame = r->bodies[RIDER_FRAME];
    float q[3];
    seat_point(r, q);
    dVector3 w;
    dBodyGetRelPointPos(frame, q[0], q[1], q[2], w);
    dBodySetPosition(person, w[0], w[1], w[2]);
    dBodySetRotation(person, dBodyGetRotation(frame));
    dJointAttach(r->joints[RIDER_PERSON_JOINT], person, frame);
  }
}

void assists(rider* r, int t) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  const dReal* fv = dBodyGetLinearVel(frame);
  const float v2 = speed2(fv);
  const float v = std::sqrt(v2);
  if (r->back_up > 0 && v < 5) {
    float p = (1 - std::cos((float)(t % 128) * 2 * pi / 127)) / 2;
    const int first = (race_clock.gate_drop_tick + 128) & ~127;
    if (t < first && (t & 0x180) != 0) p = 0;
    r->dab = r->down_counter > 0 ? 0 : 1;
    float z[3];
    axis_world(frame, 0, 0, 1, z);
    const float target[3] = {4 * p * z[0], 4 * p * z[1], 4 * p * z[2]};
    push_body_toward_velocity(frame, 2000, target);
    const float up[3] = {0, 1, 0};
    angular_motor(frame, up, -r->steer * p * pi / 2, 2000);
    return;
  }
  if (!(r->assist_flags & RIDER_ASSIST_AUTO_DAB)) return;
  float d = r->max_dab_speed;
  if (r->hit_timer <= -512) d = std::fmax(d, 75.0f);
  if (v2 > d * d) return;
  const float lean = body_lean_angle(frame);
  if (v2 > 15 * 15) {
    const float f = clampf((v - 15) / 15, 0, 1);
    if (std::fabs(lean) < f * pi / 4) return;
  }
  const int idle = r->throttle == 0 || r->clutch == 0;
  if (idle || v < 5 || std::fabs(lean) > pi / 16) {
    r->dab = r->down_counter > 0 ? 0 : clampf(std::fmax(1 - v / d, r->dab), 0, 1);
    if (v < 5 && idle && r->front_contact.depth > 0 && r->rear_contact.depth > 0) {
      r->front_brake = 1;
      r->rear_brake = 1;
      const float still[3] = {0, 0, 0};
      push_body_toward_velocity(frame, 1000, still);
    }
  }
}

void rider_body_springs(rider* r) {
  const float m = rider_model(r)->rider_mass / 4.6875f;
  dBodyID frame = r->bodies[RIDER_FRAME], person = r->bodies[RIDER_PERSON];
  float y[3], z[3], q[3];
  axis_world(frame, 0, 1, 0, y);
  axis_world(frame, 0, 0, 1, z);
  seat_point(r, q);
  dVector3 s;
  dBodyGetRelPointPos(frame, q[0], q[1], q[2], s);
  const dReal* pp = dBodyGetPosition(person);
  const float d[3] = {(float)(s[0] - pp[0]), (float)(s[1] - pp[1]), (float)(s[2] - pp[2])};
  const float dy = dot3(d, y), dz = dot3(d, z);

  const float target = clampf(dy * (0.5f + 0.5f * r->dab) - r->lean, -0.75f, 0.75f);
  float e = dz - target;
  float kp, kd;
  if (dz < -0.75f || dz > 0.75f) kp = kd = 2500;
  else {
    kp = 600 * r->rider_zspring + 100 * std::fabs(e);
    kd = 0;
  }
  kp *= m;
  kd *= m;
  if (kp > 0) {
    const float n[3] = {e < 0 ? -z[0] : z[0], e < 0 ? -z[1] : z[1], e < 0 ? -z[2] : z[2]};
    soft_contact(person, frame, pp, n, std::fabs(e), kp, kd);
  }

  e = dy + 0.125f - 0.5f * r->dab;
  if (dy > 0.5f || dy < -0.75f) kp = kd = 2500;
  else {
    kp = 400 * r->rider_yspring;
    kd = 100 * r->rider_ydamping;
  }
  kp *= m;
  kd *= m;
  if (kp + kd > 0) {
    const float n[3] = {e < 0 ? -y[0] : y[0], e < 0 ? -y[1] : y[1], e < 0 ? -y[2] : y[2]};
    soft_contact(person, frame, pp, n, std::fabs(e), kp, kd);
  }
  dJointID rj = r->joints[RIDER_PERSON_JOINT];
  dJointSetHinge2Param(rj, dParamSuspensionERP, 0);
  dJointSetHinge2Param(rj, dParamSuspensionCFM, 1 / (m * (30 * r->rider_zdamping + 5)));
}

void fork_step(rider* r) {
  const bike_model* m = rider_model(r);
  dJointID j = r->joints[RIDER_FORK_SLIDER];
  const float x = (float)dJointGetSliderPosition(j);
  const float v = (float)dJointGetSliderPositionRate(j);
  const float* f = r->fork;
  const float damping = suspension_damping(v, f[0], f[1], f[2], f[3]);
  const float travel = m->fork_travel;
  const float c = clampf(-x, 0, travel);
  const float a = travel + f[6];
  const float air = 82.4616928f * (std::pow(a / (a - c), 1.4f) - 1);
  const float force = (air + damping + (f[5] - x) * f[4]) * clampf(-32 * x / travel, 0, 1);
  dJointSetSliderParam(j, dParamVel, force >= 0 ? 100 : 0);
  dJointSetSliderParam(j, dParamFMax, std::fabs(force));
}

void shock_step(rider* r) {
  const bike_model* m = rider_model(r);
  dJointID j = r->joints[RIDER_SWINGARM_PIVOT];
  const float theta = (float)dJointGetHingeAngle(j);
  const float omega = (float)dJointGetHingeAngleRate(j);
  const float travel = m->shock_linkage[BIKE_SWINGARM_TRAVEL];
  const float f = clampf(-theta / travel, 0, 1);
  float s, slope;
  bike_model_shock_linkage(r, &s, &slope, f);
  const float* k = r->shock;
  const float damping = suspension_damping(omega * slope, k[0], k[1], k[2], k[3]);
  const float torque =
      ((s + k[5]) * k[4] + damping) * slope * clampf(-32 * theta / travel, 0, 1);
  dJointSetHingeParam(j, dParamVel, torque >= 0 ? 100 : 0);
  dJointSetHingeParam(j, dParamFMax, std::fabs(torque));
}

void arcade_steering(rider* r) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  const float angle = (float)dJointGetHingeAngle(r->joints[RIDER_STEERING]);
  if (r->front_contact.depth <= 0) {
    const dReal* p = dBodyGetPosition(frame);
    const dReal* v = dBodyGetLinearVel(frame);
    const float ahead[3] = {(float)(p[0] + v[0]), (float)(p[1] + v[1] - 16), (float)(p[2] + v[2])};
    if (ahead[1] - terrain_height(&track_field, ahead[0], ahead[2]) >= rider_model(r)->frame_position[1]) {
      const float a = (r->assist_flags & RIDER_ASSIST_AIR_STEERING)
                          ? r->steering_strength * r->steer * r->direct_steering
                          : 0;
      rider_apply_steering_torque(r, 1.5f * (a - 50 * angle));
      return;
    }
  }
  const float lean = body_lean_angle(frame);
  const float want = -r->steer * pi / 4;
  const float k = clampf((r->roll_damping - 40) * 0.025f, 0, 1);
  float rate = (1.5f - 0.5f * k) * std::fmin(std::fabs(lean - want), 1.0f / 16) * 16;
  // The lean grows about the frame's +z axis.
  if (want < lean) rate = -rate;
  float z[3];
  axis_world(frame, 0, 0, 1, z);
  angular_motor(frame, z, rate, 1000);
  rider_apply_steering_torque(
      r, rider_steer_for_angle(r, rider_front_slip_angle(r) - 0.5f * r->steer) * r->steering_strength);
  dVector3 pv;
  dBodyGetRelPointVel(frame, 0, 0, 20, pv);
  dBodyAddForceAtRelPos(frame, -0.25 * pv[0], -0.25 * pv[1], -0.25 * pv[2], 0, 0, 20);
}

void steering_damping(rider* r) {
  dBodyID wheel = r->bodies[RIDER_FRONT_WHEEL];
  const dReal* w = dBodyGetAngularVel(wheel);
  dVector3 a;
  dBodyVectorToWorld(wheel, 1, 0, 0, a);
  const dReal wa = w[0] * a[0] + w[1] * a[1] + w[2] * a[2];
  dReal t[3];
  for (int i = 0; i < 3; i++) t[i] = r->steering_damping * (wa * a[i] - w[i]);
  dBodyAddTorque(wheel, t[0], t[1], t[2]);
  dBodyAddTorque(r->bodies[RIDER_FRAME], -t[0], -t[1], -t[2]);
}

}  // namespace

void rider_hold_contact(dBodyID a, const float pa[3], dBodyID b, const float pb[3], float length) {
  dVector3 wa, wb;
  dBodyGetRelPointPos(a, pa[0], pa[1], pa[2], wa);
  dBodyGetRelPointPos(b, pb[0], pb[1], pb[2], wb);
  const float d[3] = {(float)(wb[0] - wa[0]), (float)(wb[1] - wa[1]), (float)(wb[2] - wa[2])};
  const float len = std::sqrt(dot3(d, d));
  if (len <= length) return;
  soft_contact(a, b, wa, d, len - length, 5000, 500);
}

void push_body_toward_velocity(dBodyID body, float limit, const float target[3]) {
  const dReal* v = dBodyGetLinearVel(body);
  const float dv[3] = {(float)v[0] - target[0], (float)v[1] - target[1], (float)v[2] - target[2]};
  const float d2 = dot3(dv, dv);
  if (d2 < 0.0625f) return;
  const float d = std::sqrt(d2);
  const float k = clampf(0.8f * (d - 0.25f), 0, 1);
  const float s = -k * limit / d;
  dBodyAddForce(body, s * dv[0], 0, s * dv[2]);
}

void rider_remount_pull(rider* r) {
  dBodyID frame = r->bodies[RIDER_FRAME], person = r->bodies[RIDER_PERSON];
  const float rope = 5 * clampf((float)(r->down_counter - 128) / 384, 0, 1);
  float q[3];
  seat_point(r, q);
  const float origin[3] = {0, 0, 0};
  rider_hold_contact(frame, q, person, origin, rope);
  const float ql[3] = {q[0] - 5, q[1] + 10, q[2]}, pl[3] = {-5, 10, 0};
  rider_hold_contact(frame, ql, person, pl, rope);
  const float qr[3] = {q[0] + 5, q[1] + 10, q[2]}, pr[3] = {5, 10, 0};
  rider_hold_contact(frame, qr, person, pr, rope);
  if (r->down_counter > 319) return;
  const float* g = rider_model(r)->pose_geometry;
  const float lean = body_lean_angle(frame);
  const float* peg = lean < 0 ? g + 21 : g + 24;
  dVector3 w;
  dBodyGetRelPointPos(frame, peg[0], peg[1] + 3, peg[2] + 1, w);
  float* foot = lean >= 0 ? r->point_b_pos : r->point_a_pos;
  float* vel = lean >= 0 ? r->point_b_vel : r->point_a_vel;
  float d[3];
  for (int i = 0; i < 3; i++) d[i] = 32 * ((float)w[i] - foot[i]);
  const float len = std::sqrt(dot3(d, d));
  if (len > 1)
    for (float& c : d) c /= len;
  for (int i = 0; i < 3; i++) vel[i] = 4 * d[i];
}

void rider_check_crash(rider* r) {
  if (r->down_counter != 0 || r->arcade) return;
  const int t = race_clock.current_tick;
  float s = 1.5f;
  if (r->landed_tick >= r->airborne_tick) {
    const float air = clampf(((float)(r->landed_tick - r->airborne_tick) * h - 0.559f) * 7.9365087f, 0, 1);
    const float since = clampf(((float)(t - r->landed_tick) * h - 0.25f) * -8, 0, 1);
    s = 1.5f - 0.5f * air * since;
  }
  dBodyID person = r->bodies[RIDER_PERSON];
  const dReal* pp = dBodyGetPosition(person);
  const dReal* pv = dBodyGetLinearVel(person);
  dVector3 fv;
  dBodyGetPointVel(r->bodies[RIDER_FRAME], pp[0], pp[1], pp[2], fv);
  const float rel[3] = {(float)(pv[0] - fv[0]), (float)(pv[1] - fv[1]), (float)(pv[2] - fv[2])};
  if (dot3(rel, rel) > (31 * s) * (31 * s)) rider_fall_off(r);
  const float* old = r->velocity_ring[t & 3];
  const float acc[3] = {((float)pv[0] - old[0]) * (0.25f / h), ((float)pv[1] - old[1]) * (0.25f / h) + 32,
                        ((float)pv[2] - old[2]) * (0.25f / h)};
  if (dot3(acc, acc) > (1376 * s) * (1376 * s)) rider_fall_off(r);
}

void rider_cancel_joint_drift(rider* r) {
  if (race_clock.current_tick <= 1 || r->down_counter >= 1) return;
  const dReal* origin = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  dReal force[3] = {0, 0, 0}, torque[3] = {0, 0, 0};
  for (int i = 0; i < RIDER_JOINT_COUNT; i++) {
    dJointID j = r->joints[i];
    dBodyID b1 = dJointGetBody(j, 0), b2 = dJointGetBody(j, 1);
    if (!b1 || !b2) return;
    const dJointFeedback& fb = r->joint_feedback[i];
    const dReal* p1 = dBodyGetPosition(b1);
    const dReal* p2 = dBodyGetPosition(b2);
    const dReal r1[3] = {p1[0] - origin[0], p1[1] - origin[1], p1[2] - origin[2]};
    const dReal r2[3] = {p2[0] - origin[0], p2[1] - origin[1], p2[2] - origin[2]};
    for (int k = 0; k < 3; k++) {
      const int a = (k + 1) % 3, b = (k + 2) % 3;
      force[k] += fb.f1[k] + fb.f2[k];
      torque[k] += fb.t1[k] + fb.t2[k] + r1[a] * fb.f1[b] - r1[b] * fb.f1[a] + r2[a] * fb.f2[b] -
                   r2[b] * fb.f2[a];
    }
  }
  dBodyAddForce(r->bodies[RIDER_FRAME], -force[0], -force[1], -force[2]);
  dBodyAddTorque(r->bodies[RIDER_FRAME], -torque[0], -torque[1], -torque[2]);
}

void rider_physics_tick(rider* r) {
  const int t = race_clock.current_tick;
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!r->down && (float)t * h > (float)race_clock.gate_drop_tick * h + 2 &&
      speed2(dBodyGetLinearVel(frame)) < 25)
    r->down = 1;
  if (!rider_is_active(r)) {
    rider_update_point_masses(r);
    return;
  }
  if (r->hit_timer < -1) r->hit_timer += 1;
  else if (r->hit_timer > 1) r->hit_timer -= 1;
  else r->hit_timer = 0;

  if (r->front_contact.depth <= 0 && r->rear_contact.depth <= 0) {
    if (dBodyGetLinearVel(frame)[1] < 0 && r->landed_tick >= r->airborne_tick) r->airborne_tick = t;
  } else if (r->landed_tick < r->airborne_tick) {
    r->landed_tick = t;
  }
  rider_check_crash(r);
  if (r->down_counter > 0) down_state(r);

  const float saved_dab = r->dab, saved_front = r->front_brake, saved_rear = r->rear_brake;
  assists(r, t);
  rider_body_springs(r);
  fork_step(r);
  shock_step(r);
  if (!r->arcade) rider_steering_control(r);
  else if (r->down_counter < 1) arcade_steering(r);
  rider_engine_step(r);
  steering_damping(r);
  rider_cancel_joint_drift(r);
  if (rider_assist_step_hook) rider_assist_step_hook(r);
  r->dab = r->down_counter > 0 ? 0 : clampf(saved_dab, 0, 1);
  r->front_brake = clampf(saved_front, 0, 1);
  r->rear_brake = clampf(saved_rear, 0, 1);
  rider_update_point_masses(r);
  const dReal* pv = dBodyGetLinearVel(r->bodies[RIDER_PERSON]);
  for (int i = 0; i < 3; i++) r->velocity_ring[t & 3][i] = (float)pv[i];
}
