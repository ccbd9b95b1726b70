#include "robot/auto_pilot.h"

#include <gtest/gtest.h>

#include "bike/rider.h"
#include "bike/robot_hooks.h"

namespace {

TEST(AutoPilot, RaisesTheFootWhileDownUpToOne) {
  rider r{};
  r.ramp = 0.5f;
  auto_pilot_physics_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f) << "riding: the foot stays";
  r.down_counter = 10;
  auto_pilot_physics_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f + 8.0f / 128);
  for (int i = 0; i < 20; i++) auto_pilot_physics_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 1.0f);
}

TEST(AutoPilot, InstallsItsHook) {
  auto_pilot_physics_step_hook = nullptr;
  robot_install_hooks();
  EXPECT_EQ(auto_pilot_physics_step_hook, &auto_pilot_physics_step);
  auto_pilot_physics_step_hook = nullptr;
}

}  // namespace
