// Support functions for line following: the robot's place along its line.
#include "robot/line_following.h"

#include <algorithm>
#include <cmath>

#include "bike/rider.h"
#include "bike/rider_control.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "robot/speed_control.h"

float line_cursor_position_at(const line_sample* samples, int32_t count, int32_t cursor, const float pos[3],
                              const float forward[3]) {
  if (!samples || count <= 0) return 0;
  cursor = std::min(cursor, count);
  int32_t behind = -1;
  double here = 0, before = -1;
  int computed = 0;
  for (int32_t i = cursor - 1; i >= 0; i--) {
    const line_sample& v = samples[i];
    const double f = ((double)v.x - pos[0]) * forward[0] + ((double)v.y - pos[1]) * forward[1] +
                     ((double)v.z - pos[2]) * forward[2];
    before = computed ? here : -1;
    here = f;
    computed = 1;
    if (f < 0) {
      behind = i;
      break;
    }
  }
  if (!computed || before <= 0) return (float)(behind + 1 > 0 ? behind + 1 : 0);
  // Two samples equally far ahead (a still bike records copies) give no
  // crossing between them: no fraction.
  const double span = before - here;
  const double fraction = span == 0 ? 0 : std::clamp(-here / span, 0.0, 1.0);
  return (float)(behind + 1 + fraction);
}

float line_cursor_position(const rider* r) {
  dBodyID frame = r ? r->bodies[RIDER_FRAME] : nullptr;
  if (!frame) return 0;
  const dReal* p = dBodyGetPosition(frame);
  const dReal* m = dBodyGetRotation(frame);
  const float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float forward[3] = {(float)-m[2], (float)-m[6], (float)-m[10]};
  return line_cursor_position_at((const line_sample*)r->followed_line.data, (int32_t)r->followed_line.count,
                                 r->robot.cursor, pos, forward);
}

namespace {

constexpr float tick_seconds = 1.0f / 128;

const line_sample* followed_samples(const rider* r) { return (const line_sample*)r->followed_line.data; }

int32_t clamp_index(int32_t i, int32_t count) { return i < 0 ? 0 : (i >= count ? count - 1 : i); }

// The first airborne pair (sample j and j + 1 both in the air) from j = from
// over up to 20 samples; -1 when none.
int32_t airborne_run_from(const line_sample* s, int32_t count, int32_t from) {
  const int32_t end = std::min(from + 20, count);
  for (int32_t j = std::max(from, 0); j < end; j++)
    if (s[j].speed < 0 && s[clamp_index(j + 1, count)].speed < 0) return j;
  return -1;
}

}  // namespace

void auto_pilot_follow_line(rider* r) {
  if (!r || !r->bodies[RIDER_FRAME]) return;
  const int32_t count = (int32_t)r->followed_line.count;
  const line_sample* samples = followed_samples(r);
  if (count <= 0 || !samples) return;
  const int32_t now = race_clock.current_tick;
  const int down = r->down_counter > 0;
  rider_robot_state& robot = r->robot;

  if ((float)(now - robot.last_advance_tick) * tick_seconds > 40) {
    // Stuck for good here: try the line further along.
    robot.recovery_counter = 3;
    robot.cursor = (now % count + count) % count;
    robot.last_advance_tick = now;
  }
  const line_sample& target = samples[clamp_index(robot.cursor, count)];

  const int32_t j0 = (int32_t)line_cursor_position(r);
  const int32_t airborne = airborne_run_from(samples, count, j0);

  dBodyID frame = r->bodies[RIDER_FRAME];
  const dReal* vel = dBodyGetLinearVel(frame);
  const float v = (float)std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
  if ((float)(now - robot.last_advance_tick) * tick_seconds > 19) {
    // Unstick: drag the front wheel toward the target and lift the bike.
    dBodyID wheel = r->bodies[RIDER_FRONT_WHEEL];
    const dReal* wp = dBodyGetPosition(wheel);
    const float d[3] = {target.x - (float)wp[0], target.y - (float)wp[1], target.z - (float)wp[2]};
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len > 1e-6f && std::isfinite(len)) {
      const float velocity[3] = {5 * d[0] / len, 5 * d[1] / len, 5 * d[2] / len};
      push_body_toward_velocity(wheel, 2000, velocity);
    }
    dBodyAddForce(frame, 0, 16 * r->total_mass, 0);
    dJointID steering = r->joints[RIDER_STEERING];
    const float angle = steering ? (float)dJointGetHingeAngle(steering) : 0;
    const float rate = steering ? (float)dJointGetHingeAngleRate(steering) : 0;
    rider_set_steer(r, std::clamp(-(angle + rate) * 0.25f, -1.0f, 1.0f));
    rider_set_dab(r, down ? 0 : 1);
    rider_set_clutch(r, 0);
    rider_set_throttle(r, 0);
    rider_set_front_brake(r, 0);
    rider_set_rear_brake(r, 0);
    return;
  }

  const float lean = body_pitch_angle(frame);
  float t = 15;
  float k = 0.5f;
  rider_set_dab(r, 0);
  if (v < 10) {
    k = 1.0f / 6;
    rider_set_dab(r, down ? 0 : 1);
    if (std::fabs(lean) > 1.0f / 6) t = 5;
  } else if (v < 20) {
    k = ((v - 10) * 0.1f * 2.0f / 3 + 1.0f / 3) * 0.5f;
  }

  // The target in the frame's own axes: x across, z ahead (the body's -z).
  const dReal* p = dBodyGetPosition(frame);
  dVector3 local;
  dBodyVectorFromWorld(frame, target.x - p[0], target.y - p[1], target.z - p[2], local);
  const float x = (float)local[0], z = (float)-local[2];
  float a;
  if (std::fabs(x) <= z) a = z > 0 ? std::clamp(-0.5f * x / z, -k, k) : 0.0f;  // a target at the bike: upright
  else a = x >= 0 ? -k : k;
  if (z < 4 * std::fabs(x) || (airborne >= j0 && airborne <= j0 + 8)) robot.recovery_counter = 3;

  const dReal* w = dBodyGetAngularVel(frame);
  dVector3 spin;
  dBodyVectorFromWorld(frame, w[0], w[1], w[2], spin);
  const float roll_rate = std::clamp(4 * (a - lean), -4.0f, 4.0f);
  const float steer = std::clamp(2 * ((float)spin[2] - roll_rate), -1.0f, 1.0f);
  rider_set_steer(r, std::isfinite(steer) ? steer : 0.0f);
  auto_pilot_speed_control(r, v, t);
}
