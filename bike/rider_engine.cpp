// Engine, gearbox, clutch, drive torque and brakes, once a tick.
#include "bike/rider_engine.h"

#include <cmath>

#include "bike/rider.h"

namespace {

constexpr float h = 1.0f / 128.0f;
constexpr float pi = 3.14159265358979f;
constexpr float rpm_per_rad_s = 9.549296585513721f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

float wrap_angle(float a) {
  while (a > pi) a -= 2 * pi;
  while (a < -pi) a += 2 * pi;
  return a;
}

float contact_speed2(const wheel_contact& w) {
  return w.point_velocity[0] * w.point_velocity[0] + w.point_velocity[1] * w.point_velocity[1] +
         w.point_velocity[2] * w.point_velocity[2];
}

}  // namespace

float engine_curve_torque(const bike_model* m, float rpm, float throttle) {
  const float x = clampf(rpm * 0.002f, 0, BIKE_TORQUE_POINTS - 1);
  const int i = (int)std::floor(x);
  const float f = x - (float)i;
  const int j = i + 1 < BIKE_TORQUE_POINTS ? i + 1 : BIKE_TORQUE_POINTS - 1;
  const float* c = m->closed_throttle_torque;
  const float* u = m->full_throttle_torque;
  const float closed = c[i] + (c[j] - c[i]) * f;
  const float full = u[i] + (u[j] - u[i]) * f;
  return closed + (full - closed) * throttle;
}

float rider_total_ratio(const rider* r) {
  const bike_model* m = rider_model(r);
  return m->primary_ratio * m->gear_ratios[r->gear] * r->final_drive_ratio;
}

int engine_auto_gear(const bike_model* m, int gear, float wheel_rpm) {
  int g = gear;
  if (wheel_rpm < m->rpm_thresholds[0]) g -= 1;
  else if (wheel_rpm > m->rpm_thresholds[1]) g += 1;
  g = g < 0 ? 0 : g > BIKE_GEAR_COUNT - 1 ? BIKE_GEAR_COUNT - 1 : g;
  while (g > 0 && m->gear_ratios[g] <= 0) g -= 1;
  return g;
}

float rider_engine_rpm(const rider* r) { return (float)(r->engine_speed * rpm_per_rad_s); }

float rider_engine_torque(const rider* r) {
  float t = engine_curve_torque(rider_model(r), rider_engine_rpm(r), r->throttle);
  if ((r->assist_flags & 0x02) &&  // stop_wheelies Yes, not Front Only
     
      r->front_contact.depth <= 0 && r->rear_contact.depth > 0 && t >= 0) {
    dBodyID frame = r->bodies[RIDER_FRAME];
    const dReal* w = dBodyGetAngularVel(frame);
    dVector3 l;
    dBodyVectorFromWorld(frame, w[0], w[1], w[2], l);
    if (l[0] > -0.03125) t = 0;
  }
  return t;
}

void rider_engine_step(rider* r) {
  const bike_model* m = rider_model(r);
  dJointID rear_axle = r->joints[RIDER_REAR_AXLE];
  if ((r->assist_flags & RIDER_ASSIST_AUTO_SHIFT) && (race_clock.current_tick & 31) == 0 &&
      dJointGetHingeAngle(r->joints[RIDER_SWINGARM_PIVOT]) < -0.01 &&
      (r->rear_contact.depth <= 0 || contact_speed2(r->rear_contact) <= 4)) {
    const float wheel_rpm =
        (float)dJointGetHingeAngleRate(rear_axle) * rider_total_ratio(r) * rpm_per_rad_s;
    r->gear = engine_auto_gear(m, r->gear, wheel_rpm);
  }
  const float ratio = rider_total_ratio(r);
  const float te = rider_engine_torque(r);
  const float wheel_angle = (float)dJointGetHingeAngle(rear_axle);
  const float wheel_rate = (float)dJointGetHingeAngleRate(rear_axle);
  float delta = r->clutch_angle - wheel_angle;
  if (delta > pi) delta -= 2 * pi;
  else if (delta < -pi) delta += 2 * pi;

  const float rpm = rider_engine_rpm(r);
  const float a = r->auto_clutch_rpms;
  float e = r->clutch;
  if (rpm <= a + 2000) e = std::fmin(clampf((rpm - a) / 2000, 0, 1), r->clutch);
  const float slip = clampf(m->engine_constants[2] * (r->engine_speed - ratio * wheel_rate), -500, 500);
  float tc = m->engine_constants[1] * delta + slip;
  if (tc < 0) e = r->clutch;  // the wheel drives the engine: no automatic opening
  tc = clampf(tc, -1000000, 1000000);

  const float limit = e * pi / 4;
  if (delta > limit) r->clutch_angle = wheel_angle + limit;
  else if (delta < -limit) r->clutch_angle = wheel_angle - limit;

  const float g = e * e * tc;
  dBodyAddRelTorque(r->bodies[RIDER_REAR_WHEEL], -g, 0, 0);
  dBodyAddRelTorque(r->bodies[RIDER_FRAME], g, 0, 0);
  r->engine_speed += h * (te - g / ratio) / m->engine_constants[0];
  r->clutch_angle = wrap_angle(r->clutch_angle + h * r->engine_speed / ratio);

  float front = r->brake_torque * r->front_brake;
  const int front_touch = r->front_contact.depth > 0, rear_touch = r->rear_contact.depth > 0;
  if ((r->assist_flags & RIDER_ASSIST_FRONT_ANTILOCK) && front_touch &&
      contact_speed2(r->front_contact) > 4)
    front = 0;
  if ((r->assist_flags & 0x04) && front_touch && !rear_touch) front = 0;
  dJointSetHingeParam(r->joints[RIDER_FRONT_AXLE], dParamVel, 0);
  dJointSetHingeParam(r->joints[RIDER_FRONT_AXLE], dParamFMax, front);

  float rear = r->rear_brake_torque * r->rear_brake;
  if ((r->assist_flags & RIDER_ASSIST_REAR_ANTILOCK) && rear_touch && contact_speed2(r->rear_contact) > 4)
    rear = 0;
  dJointSetHingeParam(rear_axle, dParamVel, 0);
  dJointSetHingeParam(rear_axle, dParamFMax, rear);
}
