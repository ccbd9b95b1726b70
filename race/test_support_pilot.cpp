// The scripted pilot of the race tests and benchmarks.
#include "race/test_support_pilot.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "race/race_reset.h"
#include "terrain/track.h"

float pilot_speed = 30.0f;

namespace {

int route_position[RIDER_SLOT_COUNT];

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// The timing gate of crossing n along the route, or -1.
int gate_of_crossing(int n) {
  const int f = route.first_lap_gates, m = route.normal_lap_gates;
  int entry;
  if (n < f) entry = route.entries[n];
  else if (m > 0 && f + m <= route_entry_max) entry = route.entries[f + (n - f) % m];
  else return -1;
  if (entry >= route_flagged) entry -= route_flagged;
  return entry >= 0 && entry < checkpoint_count ? entry : -1;
}

}  // namespace

void pilot_reset() {
  for (int& p : route_position) p = 0;
}

int pilot_route_position(int slot) { return slot >= 0 && slot < RIDER_SLOT_COUNT ? route_position[slot] : 0; }

void pilot_input(rider* r, float input[9]) {
  for (int i = 0; i < 9; i++) input[i] = 0;
  dBodyID frame = rider_frame_body(r);
  if (!frame) return;
  const dReal* p = dBodyGetPosition(frame);
  const dReal* m = dBodyGetRotation(frame);
  // Forward is the frame's -z axis.
  const double fx = -m[2], fz = -m[10];
  int& pos = route_position[r->slot >= 0 && r->slot < RIDER_SLOT_COUNT ? r->slot : 0];
  float steer = 0;
  int gate = gate_of_crossing(pos);
  for (int guard = 0; gate >= 0 && guard < 2; guard++) {
    const checkpoint& c = checkpoints[gate];
    const double dx = c.x - p[0], dz = c.z - p[2];
    const double reach = c.half_width > 5 ? c.half_width * 0.5 : 5;
    if (dx * dx + dz * dz > reach * reach) {
      // The signed angle from forward to the gate, about +y.
      const double angle = std::atan2(fz * dx - fx * dz, fx * dx + fz * dz);
      // A positive steer turns the bike clockwise seen from above.
      steer = clampf((float)(-angle * 0.6), -0.35f, 0.35f);
      break;
    }
    gate = gate_of_crossing(++pos);
  }
  const float speed = rider_forward_speed_mph(r) * 22.0f / 15.0f;
  if (race_clock.current_tick < race_clock.gate_drop_tick) {
    // Waiting at the gate, on the brakes.
    input[2] = input[3] = 0.3f;
    return;
  }
  input[0] = steer;
  input[1] = clampf(0.4f + (pilot_speed - speed) * 0.1f, 0, 1);
  // Traction control: a rear wheel turning much faster than the bike
  // moves digs in and stands still; ease off until it bites.
  const float wheel_speed = r->joints[RIDER_REAR_AXLE]
                                ? (float)std::fabs(dJointGetHingeAngleRate(r->joints[RIDER_REAR_AXLE])) * 1.1667f
                                : 0.0f;
  if (wheel_speed > std::fabs(speed) * 1.3f + 6) input[1] = 0.35f;
  if (speed > pilot_speed + 5) {
    input[1] = 0;
    input[2] = 0.3f;
    input[3] = 0.5f;
  }
}

void pilot_auto_pilot_tick(rider* r) {
  float in[9];
  pilot_input(r, in);
  rider_set_auto_shift(r, 1);
  rider_set_steer(r, in[0]);
  rider_set_throttle(r, in[1]);
  rider_set_front_brake(r, in[2]);
  rider_set_rear_brake(r, in[3]);
  rider_set_clutch(r, 1);
  rider_set_dab(r, 0);
  rider_set_back_up(r, 0);
  rider_set_lean(r, 0);
}
