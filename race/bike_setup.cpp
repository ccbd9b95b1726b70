#include "race/bike_setup.h"

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
