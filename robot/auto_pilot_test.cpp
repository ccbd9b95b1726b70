#include "robot/auto_pilot.h"

#include <gtest/gtest.h>

#include "bike/rider.h"
#include "bike/robot_hooks.h"
#include "race/race_hooks.h"
#include "robot/lines.h"
#include "robot/record_pass.h"
#include "robot/rider_assist.h"

namespace {

TEST(AutoPilot, RaisesTheFootWhileDownUpToOne) {
  rider r{};
  r.ramp = 0.5f;
  rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f) << "riding: the foot stays";
  r.down_counter = 10;
  rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 0.5f + 8.0f / 128);
  for (int i = 0; i < 20; i++) rider_assist_step(&r);
  EXPECT_FLOAT_EQ(r.ramp, 1.0f);
}

TEST(AutoPilot, InstallsItsHooks) {
  rider_assist_step_hook = nullptr;
  const race_hooks_table saved = race_hooks;
  robot_install_hooks();
  EXPECT_EQ(rider_assist_step_hook, &rider_assist_step);
  EXPECT_EQ(race_hooks.lines_write_and_clear, &line_library_clear);
  EXPECT_EQ(race_hooks.robot_personality, &rider_set_auto_pilot_personality);
  EXPECT_EQ(race_hooks.line_library_record_pass, &line_library_record_pass);
  EXPECT_NE(race_hooks.lines_load, nullptr);
  EXPECT_NE(race_hooks.lines_prune_and_plan, nullptr);
  EXPECT_NE(race_hooks.lines_reset_pick_ticks, nullptr);
  rider_assist_step_hook = nullptr;
  race_hooks = saved;
}

}  // namespace
