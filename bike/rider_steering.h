#pragma once
// Steering: the bike is steered only by a torque about the steering axis,
// between the front wheel and the frame, and the rider's balance is kept
// through the same torque.
struct rider;

// The lock limit, radians: pi/4 at and below full_lock_speed, the restricted
// lock (divided by the ground's grip mu, at least 0.125) at and above the
// restricted lock speed, interpolated in 1/speed between. Speeds below 1 ft/s
// count as 1.
float steering_lock(float front_speed, float full_lock_speed, float restricted_lock_speed,
                    float restricted_lock, float mu);

// How far the front wheel is sliding out, 0..1, for the robot riders: the
// slip beyond a speed-dependent share of the lock, or the bars turned past
// pi/12 against the lean.
float steering_front_slide(float front_speed, float lock, float lean, float slip, float angle);

// The normal (non-arcade) controller, once a tick.
void rider_steering_control(rider* r);
// torque about the steering axis on the front wheel, and its reaction on the
// frame.
void rider_apply_steering_torque(rider* r, float torque);
// The front tyre's slip angle, rad; 0 below 1 ft/s.
float rider_front_slip_angle(rider* r);
// A command in -2/3..2/3 that turns the bars toward the angle; to be
// multiplied by a strength.
float rider_steer_for_angle(rider* r, float target);
