#include "race/rider_look.h"

#include <gtest/gtest.h>

#include <cstring>

#include "assets/texture.h"
#include "bike/bike_model.h"

namespace {

TEST(rider_look, bike_graphics_prefix_is_the_default_skins_stem) {
  char prefix[80];
  bike_graphics_prefix(bike_model_find("yz250f(2017)"), prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "yz250fv2017-");
  bike_graphics_prefix(nullptr, prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "");
}

TEST(rider_look, select_by_name_or_path) {
  const char* const files[] = {"skins/wheels-red.png", "wheels-blue.png.scram", "wheels-red_norm.png", nullptr};
  texture_variant_list list = {};
  collect_texture_variants_from(files, &list.paths, &list.names, "wheels-");
  ASSERT_EQ(list.names.count, 3u);
  EXPECT_EQ(rider_look_select(&list, "blue"), 1);
  EXPECT_EQ(list.selected, 2);
  EXPECT_EQ(rider_look_select(&list, "@skins/wheels-red.png"), 1);
  EXPECT_EQ(list.selected, 1);
  EXPECT_EQ(rider_look_select(&list, "green"), 0);
  EXPECT_EQ(rider_look_select(&list, ""), 0);
  EXPECT_EQ(rider_look_select(&list, nullptr), 0);
  EXPECT_EQ(list.selected, 1);
  growable_array_free(&list.paths);
  growable_array_free(&list.names);
}

}  // namespace
