#include "race/projection.h"

#include <gtest/gtest.h>

#include <cmath>

// Views up to 4:3 keep the field of view across; wider views keep the
// height a 4:3 view of that field would have, so widening a window never
// crops the top and bottom of 2-D screens.
TEST(Projection, ExtentsFollowTheAspect) {
  const double h = std::tan(90.0 * M_PI / 360.0);  // 1
  struct {
    int width, height;
    double xe, ye;
  } const cases[] = {
      {640, 480, h, 0.75 * h},
      {480, 640, h, h * 640 / 480},
      {1920, 1080, 0.75 * h * 1920 / 1080, 0.75 * h},
      {2560, 1080, 0.75 * h * 2560 / 1080, 0.75 * h},
  };
  for (const auto& c : cases) {
    float xe = 0, ye = 0;
    projection_extents(c.width, c.height, 90.0, &xe, &ye);
    EXPECT_NEAR(xe, c.xe, 1e-6) << c.width << " x " << c.height;
    EXPECT_NEAR(ye, c.ye, 1e-6) << c.width << " x " << c.height;
  }
}

TEST(Projection, AnEmptyViewportGivesFiniteExtents) {
  float xe = 0, ye = 0;
  projection_extents(0, 0, 110.0, &xe, &ye);
  EXPECT_TRUE(std::isfinite(xe) && std::isfinite(ye));
}
