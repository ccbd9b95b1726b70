#pragma once
// Everything that drives or tunes a rider from outside: the controls each
// tick (player and robot), the bike setup, the gearbox, and the two point
// masses that stand for a fallen rider's feet. Every setter clamps what it
// stores; a value that is not a number stores the low end of the range.
#include <ode/ode.h>

struct rider;

// Controls. Throttle, lean, dab and back-up store 0 while the rider lies
// down (down_counter above 0).
void rider_set_throttle(rider* r, float v);
void rider_set_lean(rider* r, float v);
void rider_set_dab(rider* r, float v);
void rider_set_back_up(rider* r, float v);
void rider_set_steer(rider* r, float v);
void rider_set_front_brake(rider* r, float v);
void rider_set_rear_brake(rider* r, float v);
void rider_set_clutch(rider* r, float v);  // 1 = engaged
// One shift per press: request -1, 0 or +1; the request must come back to 0
// before the next shift the same way. Missing gears are skipped downwards.
void rider_shift(rider* r, int request);
void rider_set_gear(rider* r, int g);

// Handling.
void rider_set_roll_damping(rider* r, float v);
void rider_set_leveling(rider* r, float v);
void rider_set_roll_limit_factor(rider* r, float v);
void rider_set_roll_limit_angle(rider* r, float radians);
void rider_set_steering_damping(rider* r, float v);
void rider_set_steering_strength(rider* r, float v);
void rider_set_max_steering_force(rider* r, float v);
void rider_set_direct_steering(rider* r, float v);
void rider_set_slow_damping_speed(rider* r, float v);
void rider_set_slow_damping_factor(rider* r, float v);
void rider_set_land_damping_falloff(rider* r, float v);
void rider_set_land_damping_factor(rider* r, float v);
void rider_set_auto_clutch_rpms(rider* r, float v);
void rider_set_brake_torque(rider* r, float v);
void rider_set_rear_brake_torque(rider* r, float v);
void rider_set_max_dab_speed(rider* r, float feet_per_second);
void rider_set_full_lock_speed(rider* r, float v);
void rider_set_restricted_lock_speed(rider* r, float v);
void rider_set_restricted_lock(rider* r, float radians);
void rider_set_arcade(rider* r, int v);

// Assists: each sets its own bits of assist_flags from the low bit of the
// argument (two bits for stop wheelies: 0 off, 2 front only, 3 on).
void rider_set_assist_bit0(rider* r, int flag);
void rider_set_stop_wheelies(rider* r, int mode);
void rider_set_front_antilock(rider* r, int flag);
void rider_set_rear_antilock(rider* r, int flag);
void rider_set_auto_shift(rider* r, int flag);
void rider_set_auto_dab(rider* r, int flag);
void rider_set_auto_align(rider* r, int flag);

// Rider body springs (0..1 each), the share of the rider's mass the rider
// body carries (0.33..0.5; total_mass stays), and the sprocket adjustments
// (-2..2 teeth each).
void rider_set_rider_springs(rider* r, float y, float z);
void rider_set_rider_damping(rider* r, float y, float z);
void rider_set_rider_mass_distribution(rider* r, float d);
void rider_set_sprockets(rider* r, float front_adjustment, float rear_adjustment);

// The foot point masses, once per tick at the end of the control step:
// riding, they follow the limb pose; down, they fall, rest on the ground and
// hang from the hips.
void rider_update_point_masses(rider* r);
// Keeps a point within length of a body point (world anchor): a point
// beyond it is put back on the sphere and its velocity along the rope
// matches the body's there.
void rider_point_rope(dBodyID body, const float anchor[3], float length, float position[3],
                      float velocity[3]);
// Keeps a point on the positive side of a plane carried by a body.
void rider_point_floor(dBodyID body, const float plane_point[3], const float normal[3],
                       float position[3], float velocity[3]);
