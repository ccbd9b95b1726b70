#include "race/detail_settings.h"

#include <gtest/gtest.h>

#include "assets/model_settings.h"
#include "assets/texture_settings.h"
#include "bike/wheel_contacts.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"

namespace {

// The seeded graphics values of a fresh start.
detail_settings_input seeded() { return {70, 9, 1, 50, 9, 0, 1000, 1}; }

TEST(derive_detail_settings, seeded_values) {
  const detail_settings_input in = seeded();
  derive_detail_settings(&in);
  EXPECT_FLOAT_EQ(lod_error_scale, 0.125f / 70);
  EXPECT_EQ(ground_texture_level0, 1);
  EXPECT_EQ(ground_texture_dim, 64);
  EXPECT_FLOAT_EQ(model_lod_scale, 1.0f);
  EXPECT_FLOAT_EQ(model_lod_offset, 0.0f);
  EXPECT_EQ(texture_reduction, 1);
  EXPECT_EQ(texture_compress, 0);
  EXPECT_EQ(roost_density, 1000);
  EXPECT_EQ(model_reflections, 1);
}

TEST(derive_detail_settings, limits) {
  struct test_case {
    double ground_detail;
    float lod_error;
    double levels;
    int level0;
    int resolution;
    int dim;
    double model_detail;
    float lod_scale, lod_offset;
    double texture_detail;
    int reduction;
  };
  const test_case cases[] = {
      {0, 0.125f, 20, 0, 0, 32, 100, 0, 0, 20, 0},
      {-3, 0.125f, -5, 10, 5, 1024, 0, 8, 50, -5, 10},
      {0.5, 0.125f, 9.5, 0, 9, 1024, 25, 1.5f * 1.5f * 1.5f, 12.5f, 9.5, 0},
      {100, 0.00125f, 0, 10, -1, 32, 10, 1.8f * 1.8f * 1.8f, 50, 0, 10},
  };
  for (const auto& c : cases) {
    detail_settings_input in = seeded();
    in.ground_detail = c.ground_detail;
    in.ground_texture_levels = c.levels;
    in.ground_texture_resolution = c.resolution;
    in.model_detail = c.model_detail;
    in.model_texture_detail = c.texture_detail;
    derive_detail_settings(&in);
    EXPECT_FLOAT_EQ(lod_error_scale, c.lod_error) << c.ground_detail;
    EXPECT_EQ(ground_texture_level0, c.level0) << c.levels;
    EXPECT_EQ(ground_texture_dim, c.dim) << c.resolution;
    EXPECT_NEAR(model_lod_scale, c.lod_scale, 1e-4) << c.model_detail;
    EXPECT_FLOAT_EQ(model_lod_offset, c.lod_offset) << c.model_detail;
    EXPECT_EQ(texture_reduction, c.reduction) << c.texture_detail;
  }
}

}  // namespace
