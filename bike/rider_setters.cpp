// The rider's setters: controls, handling, assists, suspension and gearing,
// each clamping what it stores.
#include "bike/rider_setters.h"

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_build.h"

namespace {

// NaN fails both comparisons and lands on the low end: a setter never lets
// a value that is not a number into the physics.
float clampf(float v, float lo, float hi) { return !(v > lo) ? lo : v > hi ? hi : v; }

int is_down(const rider* r) { return r->down_counter > 0; }

void set_assist_bits(rider* r, int mask, int value) {
  r->assist_flags = (uint8_t)((r->assist_flags & ~mask) | (value & mask));
}

// The highest existing gear at or below g.
int existing_gear(const rider* r, int g) {
  const bike_model* row = rider_model(r);
  if (!row) return g;
  while (g > 0 && !(row->gear_ratios[g] > 0)) g--;
  return g;
}

}  // namespace

void rider_set_throttle(rider* r, float v) { r->throttle = is_down(r) ? 0 : clampf(v, 0, 1); }
void rider_set_lean(rider* r, float v) { r->lean = is_down(r) ? 0 : clampf(v, -1, 1); }
void rider_set_dab(rider* r, float v) { r->dab = is_down(r) ? 0 : clampf(v, 0, 1); }
void rider_set_back_up(rider* r, float v) { r->back_up = is_down(r) ? 0 : clampf(v, 0, 1); }
void rider_set_steer(rider* r, float v) { r->steer = clampf(v, -1, 1); }
void rider_set_front_brake(rider* r, float v) { r->front_brake = clampf(v, 0, 1); }
void rider_set_rear_brake(rider* r, float v) { r->rear_brake = clampf(v, 0, 1); }
void rider_set_clutch(rider* r, float v) { r->clutch = clampf(v, 0, 1); }

void rider_shift(rider* r, int request) {
  if (is_down(r) || request == r->last_shift_request || request < -1 || request > 1) return;
  r->last_shift_request = request;
  int g = r->gear + request;
  g = g < 0 ? 0 : g > 5 ? 5 : g;
  r->gear = existing_gear(r, g);
}

void rider_set_gear(rider* r, int g) {
  g = g < 0 ? 0 : g > 5 ? 5 : g;
  r->gear = existing_gear(r, g);
}

void rider_set_roll_damping(rider* r, float v) { r->roll_damping = clampf(v, 0, 100); }
void rider_set_leveling(rider* r, float v) { r->leveling = clampf(v, 0, 100); }
void rider_set_roll_limit_factor(rider* r, float v) { r->roll_limit_factor = clampf(v, 0, 64); }
void rider_set_roll_limit_angle(rider* r, float v) {
  r->roll_limit_angle = clampf(v, 0, (float)M_PI);
}
void rider_set_steering_damping(rider* r, float v) { r->steering_damping = clampf(v, 0, 100); }
void rider_set_steering_strength(rider* r, float v) { r->steering_strength = clampf(v, 0, 100); }
void rider_set_max_steering_force(rider* r, float v) {
  r->max_steering_force = clampf(v, 0, 1000);
}
void rider_set_direct_steering(rider* r, float v) { r->direct_steering = clampf(v, 0, 1); }
void rider_set_slow_damping_speed(rider* r, float v) {
  r->slow_damping_speed = clampf(v, 0, 100);
}
void rider_set_slow_damping_factor(rider* r, float v) {
  r->slow_damping_factor = clampf(v, 1, 10);
}
void rider_set_land_damping_falloff(rider* r, float v) {
  r->land_damping_falloff = clampf(v, 0, 0.5f);
}
void rider_set_land_damping_factor(rider* r, float v) {
  r->land_damping_factor = clampf(v, 1, 3);
}
void rider_set_auto_clutch_rpms(rider* r, float v) { r->auto_clutch_rpms = clampf(v, 0, 5000); }
void rider_set_brake_torque(rider* r, float v) { r->brake_torque = clampf(v, 0, 500); }
void rider_set_rear_brake_torque(rider* r, float v) { r->rear_brake_torque = clampf(v, 0, 500); }
void rider_set_max_dab_speed(rider* r, float v) { r->max_dab_speed = clampf(v, 7, 100); }
void rider_set_full_lock_speed(rider* r, float v) { r->full_lock_speed = clampf(v, 1, 100); }
void rider_set_restricted_lock_speed(rider* r, float v) {
  r->restricted_lock_speed = clampf(v, 1, 100);
}
void rider_set_restricted_lock(rider* r, float v) {
  r->restricted_lock = clampf(v, 0, (float)(M_PI / 4));
}
void rider_set_arcade(rider* r, int v) { r->arcade = v; }

void rider_set_assist_bit0(rider* r, int flag) { set_assist_bits(r, 0x01, flag); }
void rider_set_stop_wheelies(rider* r, int mode) { set_assist_bits(r, 0x06, (mode & 3) << 1); }
void rider_set_front_antilock(rider* r, int flag) { set_assist_bits(r, 0x08, (flag & 1) << 3); }
void rider_set_rear_antilock(rider* r, int flag) { set_assist_bits(r, 0x10, (flag & 1) << 4); }
void rider_set_auto_shift(rider* r, int flag) { set_assist_bits(r, 0x20, (flag & 1) << 5); }
void rider_set_auto_dab(rider* r, int flag) { set_assist_bits(r, 0x40, (flag & 1) << 6); }
void rider_set_auto_align(rider* r, int flag) { set_assist_bits(r, 0x80, (flag & 1) << 7); }

void rider_set_rider_springs(rider* r, float y, float z) {
  r->rider_yspring = clampf(y, 0, 1);
  r->rider_zspring = clampf(z, 0, 1);
}

void rider_set_rider_damping(rider* r, float y, float z) {
  r->rider_ydamping = clampf(y, 0, 1);
  r->rider_zdamping = clampf(z, 0, 1);
}

void rider_set_rider_mass_distribution(rider* r, float d) {
  const float total = r->total_mass;
  rider_set_masses(r, clampf(d, 0.33f, 0.5f));
  r->total_mass = total;
}

void rider_set_sprockets(rider* r, float front_adjustment, float rear_adjustment) {
  const bike_model* row = rider_model(r);
  if (!row) return;
  const float front = std::fmax(3.0f, std::floor(row->front_sprocket + clampf(front_adjustment, -2, 2)));
  const float rear = std::fmax(3.0f, std::floor(row->rear_sprocket + clampf(rear_adjustment, -2, 2)));
  r->final_drive_ratio = rear / front;
}
