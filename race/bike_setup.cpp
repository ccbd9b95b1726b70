#include "race/bike_setup.h"

#include <cstring>

const int bike_setup_default_bike = 71;

bike_setup_record bike_setup = {
    bike_setup_default_bike,
    "Rider",
    "999",
    "",
    "",
    "",
    "",
    100.0,   // stability
    20.0,    // leveling
    60.0,    // roll_damping
    45.0,    // roll_limit_angle
    10.0,    // roll_limit_factor
    45.0,    // steering_damping
    75.0,    // steering_strength
    400.0,   // max_steering_force
    1.0,     // direct_steering
    40.0,    // slow_damping_speed
    2.0,     // slow_damping_factor
    0.25,    // land_damping_falloff
    2.0,     // land_damping_factor
    10.0,    // full_lock_speed
    50.0,    // restricted_lock_speed
    7.5,     // restricted_lock
    1,       // arcade
    1,       // front_brake: Antilock
    0,       // rear_brake: Normal
    1,       // stop_wheelies
    1,       // auto_shift
    1,       // auto_dab
    1,       // auto_align
    0,       // sticky_dab
    1,       // reverse_steering
    1,       // lean_indicator
    5000.0,  // auto_clutch_rpms
    500.0,   // brake_torque
    250.0,   // rear_brake_torque
    60.0,    // max_dab_speed
    0.0,     // front_sprocket_adjustment
    0.0,     // rear_sprocket_adjustment
    50.0,    // fork_compression_adjustment
    50.0,    // fork_slow_compression_adjustment
    50.0,    // fork_rebound_adjustment
    50.0,    // fork_slow_rebound_adjustment
    50.0,    // fork_spring_rate_adjustment
    50.0,    // fork_preload_adjustment
    50.0,    // fork_oil_level_adjustment
    75.0,    // shock_compression_adjustment
    50.0,    // shock_slow_compression_adjustment
    75.0,    // shock_rebound_adjustment
    50.0,    // shock_slow_rebound_adjustment
    50.0,    // shock_spring_rate_adjustment
    50.0,    // shock_preload_adjustment
    50.0,    // rider_yspring
    50.0,    // rider_ydamping
    50.0,    // rider_zspring
    50.0,    // rider_zdamping
    0.33,    // rider_mass_distribution
};

const char* bike_name_alias(const char* name) {
  static const char* const aliases[][2] = {
      {"crf250", "crf250(2008)"}, {"kx250f", "kx250f(2008)"}, {"rmz250", "rmz250(2008)"}, {"yz250f", "yz250f(2008)"}};
  for (const auto& a : aliases)
    if (std::strcmp(name, a[0]) == 0) return a[1];
  return name;
}

int server_no_arcade = 0;

#define ROW(field, letter) {bike_setup.field, 0, letter, &bike_setup.field}
bike_setup_baseline_row bike_setup_baseline[bike_setup_baseline_rows] = {
    ROW(leveling, 'l'),
    ROW(roll_damping, 'd'),
    ROW(roll_limit_angle, 'a'),
    ROW(roll_limit_factor, 'x'),
    ROW(steering_damping, 'd'),
    ROW(steering_strength, 's'),
    ROW(max_steering_force, 'm'),
    ROW(direct_steering, 'd'),
    ROW(slow_damping_speed, 's'),
    ROW(slow_damping_factor, 'x'),
    ROW(land_damping_falloff, 'l'),
    ROW(land_damping_factor, 'x'),
    ROW(full_lock_speed, 'l'),
    ROW(restricted_lock_speed, 's'),
    ROW(restricted_lock, 'a'),
    ROW(auto_clutch_rpms, 'c'),
    ROW(brake_torque, 'f'),
    ROW(rear_brake_torque, 'r'),
    ROW(max_dab_speed, 'd'),
    ROW(front_sprocket_adjustment, 'g'),
    ROW(rear_sprocket_adjustment, 'g'),
    ROW(fork_compression_adjustment, 'C'),
    ROW(fork_slow_compression_adjustment, 'c'),
    ROW(fork_rebound_adjustment, 'R'),
    ROW(fork_slow_rebound_adjustment, 'r'),
    ROW(fork_spring_rate_adjustment, 's'),
    ROW(fork_preload_adjustment, 'p'),
    ROW(fork_oil_level_adjustment, 'l'),
    ROW(shock_compression_adjustment, 'C'),
    ROW(shock_slow_compression_adjustment, 'c'),
    ROW(shock_rebound_adjustment, 'R'),
    ROW(shock_slow_rebound_adjustment, 'r'),
    ROW(shock_spring_rate_adjustment, 's'),
    ROW(shock_preload_adjustment, 'p'),
    ROW(rider_yspring, 'y'),
    ROW(rider_zspring, 'z'),
    ROW(rider_ydamping, 'Y'),
    ROW(rider_zdamping, 'Z'),
    ROW(rider_mass_distribution, 'm'),
};
