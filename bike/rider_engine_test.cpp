#include "bike/rider_engine.h"

#include <gtest/gtest.h>

#include "bike/bike_model.h"

namespace {

TEST(Engine, TorqueCurveLookup) {
  const bike_model* m = bike_model_find("cr125");
  ASSERT_NE(m, nullptr);
  const float* c = m->closed_throttle_torque;
  const float* f = m->full_throttle_torque;
  struct row {
    float rpm, throttle, torque;
  };
  const row rows[] = {
      {0, 0, c[0]},
      {0, 1, f[0]},
      {10000, 1, f[20]},
      {10250, 1, (f[20] + f[21]) / 2},
      {10250, 0.5f, ((f[20] + f[21]) / 2 + (c[20] + c[21]) / 2) / 2},
      {24500, 1, f[49]},
      {40000, 0, c[49]},  // beyond the curve: its last point
      {-300, 1, f[0]},    // turning backwards reads the first point
  };
  for (const row& r : rows) EXPECT_NEAR(engine_curve_torque(m, r.rpm, r.throttle), r.torque, 1e-4) << r.rpm;
}

TEST(Engine, AutomaticGearNeverIntoAMissingGear) {
  const bike_model* m = bike_model_find("cr125");
  ASSERT_NE(m, nullptr);
  ASSERT_LE(m->gear_ratios[5], 0);
  const float down = m->rpm_thresholds[0] - 1, up = m->rpm_thresholds[1] + 1;
  const float mid = (m->rpm_thresholds[0] + m->rpm_thresholds[1]) / 2;
  struct row {
    int gear;
    float rpm;
    int want;
  };
  const row rows[] = {{0, down, 0}, {2, down, 1}, {2, mid, 2}, {2, up, 3}, {4, up, 4}, {0, up, 1}};
  for (const row& r : rows) EXPECT_EQ(engine_auto_gear(m, r.gear, r.rpm), r.want) << r.gear << " " << r.rpm;
}

}  // namespace
