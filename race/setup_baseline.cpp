#include "race/setup_baseline.h"

#include <cstdio>
#include <cstring>

#include "race/bike_setup.h"

setup_baseline_row bike_setup_baseline[setup_baseline_rows] = {
    {0, 0, 'l', &bike_setup.leveling},
    {0, 0, 'd', &bike_setup.roll_damping},
    {0, 0, 'a', &bike_setup.roll_limit_angle},
    {0, 0, 'x', &bike_setup.roll_limit_factor},
    {0, 0, 'd', &bike_setup.steering_damping},
    {0, 0, 's', &bike_setup.steering_strength},
    {0, 0, 'm', &bike_setup.max_steering_force},
    {0, 0, 'd', &bike_setup.direct_steering},
    {0, 0, 's', &bike_setup.slow_damping_speed},
    {0, 0, 'x', &bike_setup.slow_damping_factor},
    {0, 0, 'l', &bike_setup.land_damping_falloff},
    {0, 0, 'x', &bike_setup.land_damping_factor},
    {0, 0, 'l', &bike_setup.full_lock_speed},
    {0, 0, 's', &bike_setup.restricted_lock_speed},
    {0, 0, 'a', &bike_setup.restricted_lock},
    {0, 0, 'c', &bike_setup.auto_clutch_rpms},
    {0, 0, 'f', &bike_setup.brake_torque},
    {0, 0, 'r', &bike_setup.rear_brake_torque},
    {0, 0, 'd', &bike_setup.max_dab_speed},
    {0, 0, 'g', &bike_setup.front_sprocket_adjustment},
    {0, 0, 'g', &bike_setup.rear_sprocket_adjustment},
    {0, 0, 'C', &bike_setup.fork_compression_adjustment},
    {0, 0, 'c', &bike_setup.fork_slow_compression_adjustment},
    {0, 0, 'R', &bike_setup.fork_rebound_adjustment},
    {0, 0, 'r', &bike_setup.fork_slow_rebound_adjustment},
    {0, 0, 's', &bike_setup.fork_spring_rate_adjustment},
    {0, 0, 'p', &bike_setup.fork_preload_adjustment},
    {0, 0, 'l', &bike_setup.fork_oil_level_adjustment},
    {0, 0, 'C', &bike_setup.shock_compression_adjustment},
    {0, 0, 'c', &bike_setup.shock_slow_compression_adjustment},
    {0, 0, 'R', &bike_setup.shock_rebound_adjustment},
    {0, 0, 'r', &bike_setup.shock_slow_rebound_adjustment},
    {0, 0, 's', &bike_setup.shock_spring_rate_adjustment},
    {0, 0, 'p', &bike_setup.shock_preload_adjustment},
    {0, 0, 'y', &bike_setup.rider_yspring},
    {0, 0, 'z', &bike_setup.rider_zspring},
    {0, 0, 'Y', &bike_setup.rider_ydamping},
    {0, 0, 'Z', &bike_setup.rider_zdamping},
    {0, 0, 'm', &bike_setup.rider_mass_distribution},
};

void setup_baseline_take() {
  for (setup_baseline_row& row : bike_setup_baseline) {
    row.value = *row.item;
    row.changed = 0;
  }
}

void setup_baseline_mark_changes() {
  for (setup_baseline_row& row : bike_setup_baseline)
    if (*row.item != row.value) row.changed = 1;
}

int setup_baseline_report(char* out, int size) {
  int changed = 0;
  int n = std::snprintf(out, (size_t)size, "[SPAM] Setup change ");
  for (const setup_baseline_row& row : bike_setup_baseline) {
    if (n + 1 < size) out[n++] = row.changed ? (char)row.letter : '-';
    changed += row.changed != 0;
  }
  if (n < size) out[n] = 0;
  return changed;
}
