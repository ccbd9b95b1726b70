// Support functions for the robot's speed control.
#include "robot/speed_control.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_setters.h"

static float clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

auto_pilot_pedals auto_pilot_speed_pedals(const auto_pilot_speed_state& s) {
  const float pi = 3.14159265358979f;
  const float full = s.down ? 0 : 1;
  auto_pilot_pedals p{};
  if (!s.rear_on_ground) {
    // In the air the throttle and rear brake pitch the bike: level it for
    // the landing, nose down rather than up.
    p.clutch = 1;
    if ((s.rear_height <= s.front_height || s.wx >= 0) && s.wx >= -pi / 4) {
      p.throttle = 0;
      p.clutch = 0.125f;
      if (s.front_height > s.rear_height + 1 && s.wx >= -pi / 8) {
        p.clutch = 0;
        p.rear_brake = 1;
      }
    } else {
      p.throttle = full;
      p.clutch = 0.125f;
    }
    return p;
  }
  const float e = s.v - (s.t - 1);
  if (s.v < s.t - 1) {
    p.throttle = full;
  } else if (e < 1) {
    p.throttle = s.down ? 0 : 1 - e;
  } else {
    p.front_brake = p.rear_brake = clamp01(e - 1);
  }
  // A spinning rear tyre neither drives nor holds the bike sideways, and
  // the shift down it needs waits for the tyre to grip: full throttle from
  // walking pace spun the wheel for good, the bike crawling or stuck. The
  // throttle eases off as the tyre slides, as it does for a sliding front.
  p.throttle *= clamp01((16 - s.rear_slip) / 16);
  // First gear slips the clutch over the last 1000 rpm below the threshold.
  if (s.gear < 1) {
    const float rpm = s.engine_speed * 60 / (2 * pi);
    p.clutch = clamp01((rpm - (s.rpm_threshold - 1000)) / 1000);
  } else {
    p.clutch = 1;
  }
  return p;
}

void auto_pilot_speed_control(rider* r, float v, float t) {
  if (!r || !r->bodies[RIDER_FRAME]) return;
  auto_pilot_speed_state s{};
  s.rear_on_ground = r->rear_contact.depth > 0;
  if (s.rear_on_ground) {
    const float* pv = r->rear_contact.point_velocity;
    const float slip = std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]);
    s.rear_slip = std::isfinite(slip) ? slip : 0;
  }
  s.front_height = (float)dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL])[1];
  s.rear_height = (float)dBodyGetPosition(r->bodies[RIDER_REAR_WHEEL])[1];
  const dReal* w = dBodyGetAngularVel(r->bodies[RIDER_FRAME]);
  dVector3 local;
  dBodyVectorFromWorld(r->bodies[RIDER_FRAME], w[0], w[1], w[2], local);
  s.wx = (float)local[0];
  s.down = r->down_counter > 0;
  s.v = v;
  s.t = t;
  s.gear = r->gear;
  s.engine_speed = r->engine_speed;
  s.rpm_threshold = rider_model(r)->rpm_thresholds[0];
  const auto_pilot_pedals p = auto_pilot_speed_pedals(s);
  rider_set_throttle(r, p.throttle);
  rider_set_clutch(r, p.clutch);
  rider_set_front_brake(r, p.front_brake);
  rider_set_rear_brake(r, p.rear_brake);
}
