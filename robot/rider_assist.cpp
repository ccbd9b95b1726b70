// The rider assist step: a foot down for the slow rider, and the hand that
// keeps a slow or stopped bike on its wheels.
#include "robot/rider_assist.h"

#include <cmath>

#include "bike/rider.h"
#include "core/race_clock.h"
#include "robot/assist_aim.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"
#include "terrain/track.h"

namespace {

constexpr float pi = 3.14159265358979f;
constexpr float tick_seconds = 1.0f / 128;

float clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

void raise_dab(rider* r) {
  r->ramp += 8 * tick_seconds;
  if (r->ramp > 1) r->ramp = 1;
}

// How far the frame may lean at squared speed q before the assist pushes.
float lean_allowance(const rider* r, float q) {
  const float d2 = r->max_dab_speed * r->max_dab_speed;
  const float limit = r->roll_limit_angle;
  if (q <= 0) return 0;
  if (q >= d2) return 2 * pi;
  if (q > 225) return limit + (2 * pi - limit) * clamp01((q - 225) / (d2 - 225));
  return limit * (1 - std::pow(1 - clamp01(q / d2), 32.0f));
}

void roll_assist(rider* r, float q, float lean) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  const dReal* w = dBodyGetAngularVel(frame);
  dVector3 local;
  dBodyVectorFromWorld(frame, w[0], w[1], w[2], local);
  const float wz = (float)local[2];
  const float size = std::fabs(lean);

  float k = lean >= 0 ? -pi / 8 : pi / 8;
  if ((r->assist_flags & RIDER_ASSIST_AUTO_DAB) && r->hit_timer < 0) k *= 3;
  if (size < pi / 16) k *= size * 16 / pi;

  float m = 0;
  if (k > 0 && wz < k) m = -400;
  else if (k < 0 && wz > k) m = 400;
  if (size < pi / 32) m *= size * 32 / pi;

  if (!(r->back_up >= 0.125f && q <= 25)) {
    const float g = lean_allowance(r, q);
    const float sign = lean > 0 ? 1.0f : -1.0f;
    const float steering = clamp01(2 * r->steer * sign - 1);
    const float leaning = clamp01((size - 1.25f * g) / 0.25f);
    m *= leaning + steering * (1 - leaning);
    if (q > 25) m *= r->front_slide;
  }
  if (m == 0 || !std::isfinite(m)) return;

  dVector3 up;
  dBodyVectorToWorld(frame, 0, 1, 0, up);
  if (up[1] >= 0.707) {
    dBodyAddForceAtRelPos(frame, 0, 0.125f * std::fabs(m), 0, 0, 4, 0);
    dBodyAddRelForceAtRelPos(frame, m, 0, 0, 0, 4, 0);
  } else {
    dBodyAddForceAtRelPos(frame, 0, std::fabs(m), 0, 0, 4, 0);
  }
}

// Turns a slow, tipped bike about the vertical toward its aim point.
// Returns 1 when the roll assist is to follow.
int realign(rider* r, float turn_rate) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  float aim[3];
  assist_aim_point(r, aim, 0);
  const dReal* p = dBodyGetPosition(frame);
  const float dx = aim[0] - (float)p[0], dz = aim[2] - (float)p[2];
  const dReal* m = dBodyGetRotation(frame);
  const float zx = (float)m[2], zz = (float)m[10];
  const float z2 = zx * zx + zz * zz;
  if (!(z2 > 1.0f / 1024) || !std::isfinite(dx) || !std::isfinite(dz)) return 1;
  const float len = std::sqrt(z2);
  const float hx = -zx / len, hz = -zz / len;
  const float ahead = hx * dx + hz * dz;
  const float side = hz * dx - hx * dz;
  const float rate = side > 0 ? turn_rate : -turn_rate;
  const int straight = ahead > 0 && std::fabs(side) < ahead / 4;
  const float limit = straight ? 320 * r->total_mass * 4 * std::fabs(side) / ahead : 320 * r->total_mass;

  if (dynamics_world) {
    dJointID motor = dJointCreateAMotor(dynamics_world, contact_group);
    dJointAttach(motor, frame, nullptr);
    dJointSetAMotorNumAxes(motor, 1);
    dJointSetAMotorAxis(motor, 0, 0, 0, 1, 0);
    dJointSetAMotorParam(motor, dParamVel, rate);
    dJointSetAMotorParam(motor, dParamFMax, limit);
  }
  if (straight) return 1;
  const float weight = 32 * r->total_mass;
  if (r->rear_contact.depth > 0) dBodyAddForce(r->bodies[RIDER_REAR_WHEEL], 0, weight, 0);
  if (r->front_contact.depth > 0) dBodyAddForce(r->bodies[RIDER_FRONT_WHEEL], 0, weight, 0);
  return 0;
}

}  // namespace

void rider_assist_step(rider* r) {
  if (!r) return;
  if (r->down_counter > 0) {
    raise_dab(r);
    return;
  }
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!(r->dab > 0) || !frame) return;
  const dReal* v = dBodyGetLinearVel(frame);
  const float q = (float)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const float lean = body_pitch_angle(frame);
  const float size = std::fabs(lean);
  if (!std::isfinite(q) || !std::isfinite(lean)) return;

  if (r->front_contact.depth <= 0) {
    // Only a rider whose foot can reach the ground puts it down.
    dBodyID person = r->bodies[RIDER_PERSON];
    if (!person) return;
    const dReal* c = dBodyGetPosition(person);
    const float centre[3] = {(float)c[0], (float)c[1], (float)c[2]};
    float point[3], normal[3], depth = 0;
    const float reach = rider_model(r)->rider_position[1] + 1;
    if (!collide_sphere_terrain(&track_field, centre, reach, point, normal, &depth)) return;
  }
  float d = r->max_dab_speed;
  if (r->hit_timer <= -512 && d < 75) d = 75;
  if (q > d * d) return;
  if (q > 225 && !(r->front_contact.depth > 0 && r->rear_contact.depth > 0 && size >= 3 * pi / 16)) return;

  raise_dab(r);
  if (r->arcade) return;

  if (q >= 25) {
    if (r->hit_timer > 0) return;
    roll_assist(r, q, lean);
    return;
  }
  if (size > pi / 8 && size < 0.35f * pi) {
    const float turn_rate = r->hit_timer >= 0 ? pi / 2 : pi;
    if (route.gate_count == 0 || r->timing_count <= 0 || r->finished || rider_has_finished(r) ||
        !(r->assist_flags & RIDER_ASSIST_AUTO_ALIGN) || r->back_up > 0.125f) {
      roll_assist(r, q, lean);
      return;
    }
    if (!realign(r, turn_rate)) return;
  }
  roll_assist(r, q, lean);
}
