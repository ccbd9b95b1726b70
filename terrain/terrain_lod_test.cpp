#include "terrain/terrain_lod.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_settings.h"

namespace {

height_field field;

struct TerrainLod : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(terrain_create(&field, 7, 1.0f), 1);
    field.lod_setting = 0.0025f;
  }
  void TearDown() override {
    free_terrain(&field);
    terrain_lod_uploads = {};
  }
  std::vector<float> node_values() {
    return std::vector<float>(field.lod_node_data_a, field.lod_node_data_a + terrain_lod_node_count(&field));
  }
};

TEST_F(TerrainLod, ABumpSetsItsNodeErrorAndSpreadsToCoarserLevels) {
  field.heights[1 + field.size * 1] = 0.5f;  // the centre of the first finest node
  ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  const double radius = field.extent * 0.70710678 / 128.0;
  EXPECT_NEAR(field.lod_node_data_a[terrain_lod_node_index(7, 0, 0)], std::pow(0.5 / 0.0025 + radius, 2), 1e-2);
  EXPECT_NEAR(field.lod_node_data_a[terrain_lod_node_index(7, 5, 5)], radius * radius, 1e-3);
  // A coarser node is never below its children.
  EXPECT_GE(field.lod_node_data_a[terrain_lod_node_index(6, 0, 0)],
            field.lod_node_data_a[terrain_lod_node_index(7, 0, 0)]);
  EXPECT_GE(field.lod_node_data_a[0], field.lod_node_data_a[terrain_lod_node_index(1, 0, 0)]);
  EXPECT_EQ(field.lod_pass_target, field.edit_count);
  EXPECT_EQ(terrain_lod_refresh(&field, 0), 1);  // current: nothing to do
}

TEST_F(TerrainLod, ABudgetedPassEndsWhereAWholeOneDoes) {
  for (int k = 0; k < field.size * field.size; k++) field.heights[k] = std::sin(k * 0.37f) * 3.0f;
  ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  const std::vector<float> whole = node_values();
  field.edit_count++;
  int calls = 0;
  while (!terrain_lod_refresh(&field, 8000)) calls++;
  EXPECT_GT(calls, 10);
  EXPECT_TRUE(node_values() == whole);
}

TEST_F(TerrainLod, AnEditDuringAPassWaitsForTheNextPass) {
  ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  field.edit_count = 2;
  ASSERT_EQ(terrain_lod_refresh(&field, 100), 0);
  field.edit_count = 3;
  while (!terrain_lod_refresh(&field, 5000)) {
  }
  EXPECT_EQ(field.lod_pass_target, 2);
  EXPECT_EQ(terrain_lod_refresh(&field, 100), 0);  // a new pass for edit 3
  while (!terrain_lod_refresh(&field, 100000)) {
  }
  EXPECT_EQ(field.lod_pass_target, 3);
}

// The node values a whole pass gives for the field's heights as they are.
std::vector<float> whole_pass_values(const height_field& from) {
  height_field fresh;
  terrain_reset(&fresh);
  EXPECT_EQ(terrain_create(&fresh, from.n, from.spacing), 1);
  fresh.lod_setting = from.lod_setting;
  std::memcpy(fresh.heights, from.heights, sizeof(float) * (size_t)from.size * (size_t)from.size);
  terrain_lod_refresh(&fresh, INT_MAX);
  std::vector<float> out(fresh.lod_node_data_a, fresh.lod_node_data_a + terrain_lod_node_count(&fresh));
  free_terrain(&fresh);
  return out;
}

TEST_F(TerrainLod, ADugRutIsInTheLodDataAtTheNextFrameAsAWholePassWouldHaveIt) {
  for (int k = 0; k < field.size * field.size; k++) field.heights[k] = std::sin(k * 0.37f) * 3.0f + (k % 7) * 0.01f;
  ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  // Ruts inside the field, across the middle lines of the coarse nodes, at a
  // corner and on the border; each one frame's refresh later the data is
  // that of a whole pass.
  const float places[][3] = {{20.5f, 30.25f, 1.5f}, {64.0f, 64.0f, 2.0f}, {0.0f, 0.0f, 1.0f},
                             {127.0f, 90.0f, 3.0f}, {31.9f, 96.1f, 0.75f}, {64.0f, 64.0f, 2.0f}};
  for (const auto& p : places) {
    ASSERT_GT(std::fabs(terrain_dig(&field, p[0], p[1], p[2], -0.4f)), 0.0f);
    EXPECT_EQ(terrain_lod_refresh(&field, 8000), 1) << p[0] << ", " << p[1];
    EXPECT_TRUE(node_values() == whole_pass_values(field)) << p[0] << ", " << p[1];
  }
  // Two ruts in one frame, a raise after a dig: the same.
  terrain_dig(&field, 10, 10, 1.5f, -0.3f);
  terrain_dig(&field, 100, 40, 1.5f, 0.8f);
  EXPECT_EQ(terrain_lod_refresh(&field, 8000), 1);
  EXPECT_TRUE(node_values() == whole_pass_values(field));

  // A rut dug while a whole pass runs (another edit started it) is
  // refreshed where it lies once the pass ends.
  field.heights[5 + field.size * 100] += 1.0f;
  field.edit_count++;
  ASSERT_EQ(terrain_lod_refresh(&field, 3000), 0);
  terrain_dig(&field, 50, 20, 2.0f, -0.5f);
  while (!terrain_lod_refresh(&field, 8000)) {
  }
  EXPECT_EQ(terrain_lod_refresh(&field, 8000), 1);
  EXPECT_EQ(field.lod_pass_target, field.edit_count);
  EXPECT_TRUE(node_values() == whole_pass_values(field));
}

int uploads_stale, uploads_all;
void count_stale(height_field*) { uploads_stale++; }
void count_all(height_field*) { uploads_all++; }

TEST_F(TerrainLod, FrameDriverUploadsEveryIntervalAndRebuildPlacesTexturesAgain) {
  terrain_lod_uploads = {count_stale, count_all, nullptr};
  const uint32_t saved = upload_interval;
  upload_interval = 2;
  uploads_stale = uploads_all = 0;
  for (int frame = 0; frame < 9; frame++) update_terrain_lod(&field);
  EXPECT_EQ(uploads_stale, 3);  // frames 3, 6 and 9
  upload_interval = 0;
  update_terrain_lod(&field);
  update_terrain_lod(&field);
  EXPECT_EQ(uploads_stale, 5);
  upload_interval = saved;
  field.lod_centre[0] = 12;
  field.edit_count++;
  rebuild_terrain_lod(&field);
  EXPECT_EQ(uploads_all, 1);
  EXPECT_EQ(field.lod_centre[0], -1000000);
  EXPECT_EQ(field.lod_pass_target, field.edit_count);
}

}  // namespace
