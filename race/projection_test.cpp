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

// The field of view is across a 4:3 view: a 16:9 window at 110 degrees is
// as tall as the 4:3 one.
TEST(Projection, WideViewsKeepTheHeightOfA43View) {
  float xe43, ye43, xe, ye;
  projection_extents(640, 480, 110.0, &xe43, &ye43);
  projection_extents(1280, 720, 110.0, &xe, &ye);
  EXPECT_NEAR(ye43, 1.0711, 1e-4);
  EXPECT_FLOAT_EQ(ye, ye43);
  EXPECT_NEAR(xe, ye * 16 / 9, 1e-5);
  projection_extents(640, 640, 110.0, &xe, &ye);
  EXPECT_NEAR(xe, std::tan(55 * M_PI / 180), 1e-6);
}

TEST(Projection, AnEmptyViewportGivesFiniteExtents) {
  float xe = 0, ye = 0;
  projection_extents(0, 0, 110.0, &xe, &ye);
  EXPECT_TRUE(std::isfinite(xe) && std::isfinite(ye));
}
