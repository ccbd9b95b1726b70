#include "race/rider_look.h"

#include <gtest/gtest.h>

#include "bike/bike_model.h"

namespace {

TEST(rider_look, bike_graphics_prefix_is_the_default_skins_stem) {
  char prefix[80];
  bike_graphics_prefix(bike_model_find("yz250f(2017)"), prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "yz250fv2017-");
  bike_graphics_prefix(nullptr, prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "");
}

}  // namespace
