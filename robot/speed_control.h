#pragma once
// The robot's throttle, clutch and brakes toward a target speed.
#include <cstdint>

struct rider;

struct auto_pilot_pedals {
  float throttle, clutch, front_brake, rear_brake;
};

// What the bike's state asks: rear wheel on the ground or not, the wheels'
// heights, the frame's pitch rate wx about its local x axis, whether the
// rider is down, speed v toward target t, gear index, engine speed (rad/s)
// and the engine's lowest threshold (rpm), and how fast the rear tyre's
// contact point slides over the ground (ft/s, 0 without contact).
struct auto_pilot_speed_state {
  int rear_on_ground;
  float rear_height, front_height;
  float wx;
  int down;
  float v, t;
  int32_t gear;
  float engine_speed;
  float rpm_threshold;
  float rear_slip;
};

auto_pilot_pedals auto_pilot_speed_pedals(const auto_pilot_speed_state& s);

// Sets the robot's throttle, clutch and brakes from its bike's state to
// bring speed v toward target speed t (ft/s).
void auto_pilot_speed_control(rider* r, float v, float t);
