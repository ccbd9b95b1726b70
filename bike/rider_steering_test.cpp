#include "bike/rider_steering.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float quarter_pi = 0.78539816f;

TEST(Steering, LockFollowsOneOverSpeed) {
  struct row {
    float speed, mu, lock;
  };
  // full lock speed 10, restricted from 50 on, restricted lock 0.1 rad.
  const float mid = 0.1f + (quarter_pi - 0.1f) * ((1 / 20.0f - 1 / 50.0f) / (1 / 10.0f - 1 / 50.0f));
  const row rows[] = {
      {0, 1, quarter_pi},      // below 1 ft/s counts as 1
      {10, 1, quarter_pi},     // full lock up to its speed
      {20, 1, mid},            // interpolated in 1/speed
      {50, 1, 0.1f},           // restricted from its speed on
      {200, 1, 0.1f},
      {200, 0.5f, 0.2f},       // less grip: more lock
      {200, 0.1f, quarter_pi},  // never beyond pi/4
      {200, 0.2f, 0.5f},
  };
  for (const row& c : rows) EXPECT_NEAR(steering_lock(c.speed, 10, 50, 0.1f, c.mu), c.lock, 1e-5) << c.speed;
  // Grip below 0.125 counts as 0.125.
  EXPECT_NEAR(steering_lock(200, 10, 50, 0.05f, 0.01f), 0.4f, 1e-5);
}

TEST(Steering, FrontSlideWithAnEmptyRangeIsZeroNotNaN) {
  // No restricted lock at high speed: the indicator's range is empty.
  const float lock = steering_lock(100, 10, 50, 0, 1);
  EXPECT_EQ(lock, 0);
  for (float slip : {-0.3f, 0.0f, 0.3f})
    for (float lean : {-0.2f, 0.2f}) {
      const float s = steering_front_slide(100, lock, lean, slip, 0);
      EXPECT_FALSE(std::isnan(s));
      EXPECT_EQ(s, 0) << slip << " " << lean;
    }
}

TEST(Steering, FrontSlideFromSlipAgainstTheLeanOrTheBars) {
  const float lock = 0.4f;
  // At 15 ft/s and above: 0 up to a quarter of the lock, 1 at 3/4 of it.
  EXPECT_EQ(steering_front_slide(20, lock, 0.1f, -0.1f * lock, 0), 0);
  EXPECT_NEAR(steering_front_slide(20, lock, 0.1f, -0.5f * lock, 0), 0.5f, 1e-5);
  EXPECT_EQ(steering_front_slide(20, lock, 0.1f, -0.75f * lock, 0), 1);
  EXPECT_EQ(steering_front_slide(20, lock, -0.1f, 0.75f * lock, 0), 1);
  EXPECT_EQ(steering_front_slide(20, lock, -0.1f, -0.75f * lock, 0), 0);  // slip with the lean
  // Bars turned past pi/12 to the left while leaning right.
  EXPECT_NEAR(steering_front_slide(0, lock, 0.1f, 0, 3.14159265f / 12 + 3.14159265f / 24), 0.5f, 1e-4);
}

}  // namespace
