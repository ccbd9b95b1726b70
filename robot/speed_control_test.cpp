#include "robot/speed_control.h"

#include <gtest/gtest.h>

namespace {

const float rpm_to_rad = 2 * 3.14159265358979f / 60;

TEST(SpeedControl, OnTheGround) {
  struct row {
    const char* what;
    float v, t;
    int down;
    int32_t gear;
    float rpm;
    float rear_slip;
    auto_pilot_pedals expected;
  } rows[] = {
      {"well below target", 10, 20, 0, 2, 3000, 0, {1, 1, 0, 0}},
      {"below target, down", 10, 20, 1, 2, 3000, 0, {0, 1, 0, 0}},
      {"easing off near target", 19.25f, 20, 0, 2, 3000, 0, {0.75f, 1, 0, 0}},
      {"half a foot per second over target", 20.5f, 20, 0, 2, 3000, 0, {0, 1, 0.5f, 0.5f}},
      {"far above target", 40, 20, 0, 2, 3000, 0, {0, 1, 1, 1}},
      {"first gear, well below the threshold", 10, 20, 0, 0, 2000, 0, {1, 0, 0, 0}},
      {"first gear, half way up the last 1000 rpm", 10, 20, 0, 0, 3500, 0, {1, 0.5f, 0, 0}},
      {"first gear, at the threshold", 10, 20, 0, 0, 4000, 0, {1, 1, 0, 0}},
      {"rear tyre sliding at 4 ft/s", 10, 20, 0, 2, 3000, 4, {0.75f, 1, 0, 0}},
      {"rear tyre spinning at 12 ft/s, near target", 19.25f, 20, 0, 2, 3000, 12, {0.1875f, 1, 0, 0}},
      {"rear tyre spinning at 60 ft/s from rest", 0, 15, 0, 1, 3000, 60, {0, 1, 0, 0}},
      {"braking with the rear sliding", 40, 20, 0, 2, 3000, 30, {0, 1, 1, 1}},
  };
  for (const row& r : rows) {
    auto_pilot_speed_state s{};
    s.rear_on_ground = 1;
    s.v = r.v;
    s.t = r.t;
    s.down = r.down;
    s.gear = r.gear;
    s.engine_speed = r.rpm * rpm_to_rad;
    s.rpm_threshold = 4000;
    s.rear_slip = r.rear_slip;
    const auto_pilot_pedals p = auto_pilot_speed_pedals(s);
    EXPECT_NEAR(p.throttle, r.expected.throttle, 1e-4) << r.what;
    EXPECT_NEAR(p.clutch, r.expected.clutch, 1e-4) << r.what;
    EXPECT_NEAR(p.front_brake, r.expected.front_brake, 1e-4) << r.what;
    EXPECT_NEAR(p.rear_brake, r.expected.rear_brake, 1e-4) << r.what;
  }
}

TEST(SpeedControl, InTheAir) {
  struct row {
    const char* what;
    float rear, front, wx;
    int down;
    auto_pilot_pedals expected;
  } rows[] = {
      {"level, pitching up", 5, 5, 0.2f, 0, {0, 0.125f, 0, 0}},
      {"nose high, pitching gently: rear brake brings it down", 5, 6.5f, -0.2f, 0, {0, 0, 0, 1}},
      {"nose high, already pitching down fast", 5, 6.5f, -0.5f, 0, {0, 0.125f, 0, 0}},
      {"nose low, pitching down: throttle lifts it", 6, 5, -0.2f, 0, {1, 0.125f, 0, 0}},
      {"nose low, pitching down, down", 6, 5, -0.2f, 1, {0, 0.125f, 0, 0}},
      {"pitching down past pi/4", 5, 5, -1, 0, {1, 0.125f, 0, 0}},
  };
  for (const row& r : rows) {
    auto_pilot_speed_state s{};
    s.rear_height = r.rear;
    s.front_height = r.front;
    s.wx = r.wx;
    s.down = r.down;
    s.v = 30;
    s.t = 20;
    const auto_pilot_pedals p = auto_pilot_speed_pedals(s);
    EXPECT_NEAR(p.throttle, r.expected.throttle, 1e-6) << r.what;
    EXPECT_NEAR(p.clutch, r.expected.clutch, 1e-6) << r.what;
    EXPECT_NEAR(p.front_brake, r.expected.front_brake, 1e-6) << r.what;
    EXPECT_NEAR(p.rear_brake, r.expected.rear_brake, 1e-6) << r.what;
  }
}

}  // namespace
