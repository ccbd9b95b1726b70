// The scripted pilot of the race tests and benchmarks.
#include "race/test_support_pilot.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/bike_model.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "race/bike_setup.h"
#include "race/race_reset.h"
#include "terrain/track.h"

float pilot_speed = 30.0f;
int pilot_reaction_ticks = 40;

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

int second_gear_exists(const rider* r) {
  const bike_model* m = rider_model(r);
  return m && m->gear_ratios[1] > 0;
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
    // Aim where the gate's line meets the rider's own lane (its place
    // across the gate, kept inside the gate), so a pack spreads over the
    // width instead of meeting at the centre.
    double tx = c.x, tz = c.z;
    const double across = std::sqrt((double)c.dx * c.dx + (double)c.dz * c.dz);
    if (across > 0) {
      const double ux = c.dx / across, uz = c.dz / across;
      double side = (p[0] - c.x) * ux + (p[2] - c.z) * uz;
      const double room = c.half_width * 0.7;
      side = side < -room ? -room : side > room ? room : side;
      tx += ux * side;
      tz += uz * side;
    }
    const double dx = tx - p[0], dz = tz - p[2];
    const double reach = c.half_width > 5 ? c.half_width * 0.5 : 5;
    if (dx * dx + dz * dz > reach * reach) {
      // The signed angle from forward to the gate, about +y.
      const double angle = std::atan2(fz * dx - fx * dz, fx * dx + fz * dz);
      // A positive steer turns the bike clockwise seen from above.
      // Less lock at walking pace, where full lock stalls the bike.
      const float speed = std::fabs(rider_forward_speed_mph(r)) * 22.0f / 15.0f;
      const float lock = 0.1f + 0.25f * clampf(speed / 20.0f, 0, 1);
      steer = clampf((float)(-angle * 0.6), -lock, lock);
      break;
    }
    gate = gate_of_crossing(++pos);
  }
  const float speed = rider_forward_speed_mph(r) * 22.0f / 15.0f;
  if (race_clock.current_tick < race_clock.gate_drop_tick + pilot_reaction_ticks) {
    // Waiting at the gate, on the brakes.
    input[2] = input[3] = 0.3f;
    return;
  }
  // Straight out of the gate's lane first, then for the gates. The input is
  // a player's, which the bike setup's Reversed Steering negates on its way
  // to the rider.
  const int launching = race_clock.current_tick < race_clock.gate_drop_tick + pilot_reaction_ticks + 384;
  input[0] = launching ? 0 : bike_setup.reverse_steering ? -steer : steer;
  input[1] = clampf(0.4f + (pilot_speed - speed) * 0.1f, 0, 1);
  if (speed > pilot_speed + 5) {
    input[1] = 0;
    input[2] = 0.3f;
    input[3] = 0.5f;
  }
}

void pilot_auto_pilot_tick(rider* r) {
  float in[9];
  pilot_input(r, in);
  if (race_clock.current_tick < race_clock.gate_drop_tick + 256) {
    // Away in second gear, as the robots are at the gate: less wheelspin.
    rider_set_auto_shift(r, 0);
    if (r->gear != 1 && second_gear_exists(r)) rider_set_gear(r, 1);
  } else {
    rider_set_auto_shift(r, 1);
  }
  rider_set_steer(r, bike_setup.reverse_steering ? -in[0] : in[0]);
  rider_set_throttle(r, in[1]);
  rider_set_front_brake(r, in[2]);
  rider_set_rear_brake(r, in[3]);
  rider_set_clutch(r, 1);
  rider_set_dab(r, 0);
  rider_set_back_up(r, 0);
  rider_set_lean(r, 0);
}
