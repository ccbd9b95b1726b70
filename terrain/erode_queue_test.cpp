#include "terrain/erode_queue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/message_ring.h"
#include "core/random.h"
#include "terrain/rut_test_field.h"
#include "terrain/terrain_edit.h"

namespace {

class ErodeQueue : public ::testing::Test {
 protected:
  void SetUp() override { rut_test_make_field(); }
  void TearDown() override { rut_test_free_field(); }
};

// Encodes points as one message against the test field and queues it.
void queue_points(const std::vector<rut_point>& p) {
  float low[2] = {0, 0}, high[2] = {0, 0};
  for (size_t i = 1; i < p.size(); i++)
    for (int axis = 0; axis < 2; axis++) {
      const float step = axis ? p[i].z - p[i - 1].z : p[i].x - p[i - 1].x;
      if (i == 1 || step < low[axis]) low[axis] = step;
      if (i == 1 || step > high[axis]) high[axis] = step;
    }
  uint8_t m[rut_message_max_bytes];
  const int32_t length = rut_message_encode(p.data(), (int32_t)p.size(), low, high, track_field.extent, m);
  erode_queue_add_stroke(m, length);
}

// 64 points in a row along x at row z, the first at x0.
std::vector<rut_point> row_of_points(float x0, float z, int n = 64, float a = 1.0f) {
  std::vector<rut_point> p;
  for (int i = 0; i < n; i++) p.push_back({x0 + (float)i, z, a, 0.0f, 1});
  return p;
}

float height_at(int column, int row) { return track_field.heights[column + track_field.size * row]; }

int lines_printed_since(int first, const char* text) {
  int found = 0;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    if (std::strstr(message_ring.lines[k], text)) found++;
  return found;
}

TEST_F(ErodeQueue, FullRingDropsNewEntriesAndSaysSoOnce) {
  erode_queue.full_reported = 0;
  for (int m = 0; m < erode_queue_size / 64; m++) queue_points(row_of_points((float)(m % 800), 7.0f));
  ASSERT_EQ(erode_queue.count, erode_queue_size);
  const erode_entry oldest = *erode_queue_peek(0);
  const erode_entry newest = *erode_queue_peek(erode_queue_size - 1);
  const int first = message_ring.write_index;
  queue_points(row_of_points(900.0f, 900.0f));
  queue_points(row_of_points(901.0f, 900.0f));
  EXPECT_EQ(erode_queue.count, erode_queue_size);
  EXPECT_EQ(erode_queue.full_reported, 1);
  EXPECT_EQ(lines_printed_since(first, "Erode queue full!"), 1);
  EXPECT_EQ(std::memcmp(erode_queue_peek(0), &oldest, sizeof oldest), 0);
  EXPECT_EQ(std::memcmp(erode_queue_peek(erode_queue_size - 1), &newest, sizeof newest), 0);

  // Room made at the front takes new entries behind the newest, wrapping
  // round the ring in order.
  erode_queue_process(nullptr, 1.0f);
  const int32_t popped = erode_queue_size - erode_queue.count;
  EXPECT_EQ(popped, erode_queue_budget(erode_queue_size));
  queue_points(row_of_points(100.0f, 300.0f, 10));
  EXPECT_EQ(erode_queue.count, erode_queue_size - popped + 10);
  EXPECT_EQ(std::memcmp(erode_queue_peek(erode_queue_size - popped - 1), &newest, sizeof newest), 0);
  EXPECT_NEAR(erode_queue_peek(erode_queue_size - popped)->x, 100.0f, 0.01f);
  EXPECT_NEAR(erode_queue_peek(erode_queue.count - 1)->x, 109.0f, 0.05f);
  EXPECT_EQ(erode_queue_peek(erode_queue.count), nullptr);
  EXPECT_EQ(lines_printed_since(first, "Erode queue full!"), 1);
}

TEST(ErodeQueueBudget, GrowsWithTheBacklog) {
  const int32_t table[][2] = {{0, 4},         {511, 4},        {512, 5},         {8191, 19},
                              {8192, 20},     {8255, 20},      {8256, 21},       {131072, 2180}};
  for (const auto& row : table) EXPECT_EQ(erode_queue_budget(row[0]), row[1]) << row[0];
}

TEST_F(ErodeQueue, ProcessingPopsOneBudgetAndResetEmptiesTheQueue) {
  queue_points(row_of_points(100.0f, 100.0f));
  queue_points(row_of_points(100.0f, 200.0f));
  ASSERT_EQ(erode_queue.count, 128);
  erode_queue_process(nullptr, 1.0f);
  EXPECT_EQ(erode_queue.count, 124);
  EXPECT_NEAR(erode_queue_peek(0)->x, 104.0f, 0.01f);
  EXPECT_EQ(erode_queue.deferral_tick, rut_test_tick + 256);
  erode_queue_reset();
  EXPECT_EQ(erode_queue.count, 0);
  EXPECT_EQ(erode_queue.read_index, 0);
  EXPECT_EQ(erode_queue.deferral_tick, INT_MAX);
}

TEST_F(ErodeQueue, AViewerHoldsTheQueueForAtMost256Ticks) {
  queue_points(row_of_points(100.0f, 100.0f, 20));
  const float viewer[3] = {103.0f, 50.0f, 105.0f};  // within 10 units of the oldest entries
  erode_queue_process(viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, 20);
  EXPECT_EQ(erode_queue.deferral_tick, 1000 + 256);
  rut_test_tick = 1000 + 256;
  erode_queue_process(viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, 20);
  EXPECT_EQ(erode_queue.deferral_tick, 1000 + 256);  // the deadline stays where it was
  rut_test_tick++;
  erode_queue_process(viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, 16);  // one full budget despite the viewer
  EXPECT_EQ(erode_queue.deferral_tick, rut_test_tick + 256);
  erode_queue_process(viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, 16);  // held again

  // Entries away from the viewer go; the queue stops at the first near one.
  erode_queue_reset();
  queue_points(row_of_points(60.0f, 105.0f, 40));
  const float later_viewer[3] = {70.5f, 0.0f, 105.0f};
  erode_queue_process(later_viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, 39);
  EXPECT_NEAR(erode_queue_peek(0)->x, 61.0f, 0.01f);
}

TEST_F(ErodeQueue, PastTheBacklogTheViewerIsIgnored) {
  for (int m = 0; m < 130; m++) queue_points(row_of_points(100.0f, 100.0f));
  ASSERT_GT(erode_queue.count, erode_queue_backlog);
  const float viewer[3] = {120.0f, 0.0f, 100.0f};
  const int32_t before = erode_queue.count;
  erode_queue_process(viewer, 1.0f);
  EXPECT_EQ(erode_queue.count, before - erode_queue_budget(before));
  EXPECT_EQ(erode_queue.deferral_tick, rut_test_tick + 256);
}

TEST_F(ErodeQueue, DigAndDepositFollowTheSmoothStepAndKeepTheVolume) {
  // Every ground texture current: the edits stamp the one they touch.
  const int blocks = terrain_block_count(&track_field);
  ASSERT_EQ(blocks, 2);
  for (int b = 0; b < blocks * blocks; b++) track_field.block_stamps[b] = 0;
  // A dig centred on vertex (50, 60) of radius 8 (two cells).
  const float total = terrain_dig(&track_field, 200.0f, 240.0f, 8.0f, -1.0f);
  EXPECT_FLOAT_EQ(height_at(50, 60), -1.0f);
  EXPECT_FLOAT_EQ(height_at(51, 60), -0.5f);  // t = 1/2
  EXPECT_FLOAT_EQ(height_at(52, 60), 0.0f);   // t = 1
  EXPECT_NEAR(height_at(51, 61), -(1.0f - 3.0f * 0.5f + 2.0f * std::pow(0.5f * std::sqrt(2.0f), 3.0f)), 1e-6);
  EXPECT_NEAR(rut_test_volume_change(), total, 1e-4);
  EXPECT_EQ(track_field.edit_count, 2);
  EXPECT_NE(track_field.block_stamps[0], 0);  // cells 0..127 in both directions
  EXPECT_EQ(track_field.block_stamps[1], 0);
  EXPECT_EQ(track_field.block_stamps[2], 0);
  EXPECT_EQ(track_field.block_stamps[3], 0);

  // A deposit adds its whole volume where its weights sum to 1 or more.
  terrain_deposit(&track_field, 300.0f, 300.0f, 6.0f, 2.5f);
  EXPECT_NEAR(rut_test_volume_change(), total + 2.5, 1e-4);
  EXPECT_EQ(track_field.edit_count, 3);
  EXPECT_EQ(track_field.block_stamps[3], 0);
  terrain_deposit(&track_field, 700.0f, 600.0f, 6.0f, 1.0f);  // cells (175, 150): block (1, 1)
  EXPECT_NE(track_field.block_stamps[3], 0);
  EXPECT_EQ(track_field.block_stamps[1], 0);

  // A dig at the grid's corner reports what the whole square would take.
  const float inside = terrain_dig(&track_field, 500.0f, 500.0f, 8.0f, -1.0f);
  const float corner = terrain_dig(&track_field, 0.0f, 0.0f, 8.0f, -1.0f);
  EXPECT_FLOAT_EQ(corner, inside);
  EXPECT_FLOAT_EQ(height_at(0, 0), -1.0f);
}

TEST_F(ErodeQueue, EditsRefuseNonFiniteAndOversizedInputAndTheEditLock) {
  const float nan = std::nanf("");
  const float inf = INFINITY;
  struct edit_case {
    float x, z, radius, amount;
  } cases[] = {
      {nan, 10, 4, -1}, {10, nan, 4, -1}, {10, 10, nan, -1}, {10, 10, 4, nan},  {10, 10, 4, inf},
      {inf, 10, 4, -1}, {10, 10, inf, -1}, {10, 10, 1e30f, -1}, {1e30f, 1e30f, 4, -1}, {10, 10, 4, 0},
  };
  const int32_t edits = track_field.edit_count;
  for (const edit_case& c : cases) {
    EXPECT_EQ(terrain_dig(&track_field, c.x, c.z, c.radius, c.amount), 0.0f);
    terrain_deposit(&track_field, c.x, c.z, c.radius, c.amount);
  }
  EXPECT_EQ(rut_test_volume_change(), 0.0);
  EXPECT_EQ(track_field.edit_count, edits);

  track_field.edit_lock = 1;
  terrain_dig(&track_field, 100.0f, 100.0f, 4.0f, -1.0f);
  terrain_deposit(&track_field, 100.0f, 100.0f, 4.0f, 1.0f);
  EXPECT_EQ(rut_test_volume_change(), 0.0);
  track_field.edit_lock = 0;
}

// One entry pushing along +x on flat ground: the ground at the wheel goes
// down and the dirt lands behind it.
TEST_F(ErodeQueue, AnEntryDigsAtTheWheelAndDepositsBehindThePush) {
  queue_points({{400.0f, 400.0f, 1.0f, 0.0f, 3}});
  ASSERT_EQ(erode_queue.count, 1);
  const float a = erode_queue_peek(0)->a;  // 0.96875 after coding
  erode_queue_process(nullptr, 1.0f);
  EXPECT_EQ(erode_queue.count, 0);
  const float d = (a - 0.125f) * 8.0f / 7.0f * 2.0f;
  const float f = 1.0f / 2048.0f;
  const float at_wheel = terrain_height(&track_field, 400.0f, 400.0f);
  EXPECT_LT(at_wheel, 0.0f);
  EXPECT_GT(at_wheel, -(3.0f * f + 0.125f * f));  // k f erode_depth plus the inner dig, less what came back
  EXPECT_GT(terrain_height(&track_field, 400.0f - d - 2.0f, 400.0f), 0.0f);
  EXPECT_EQ(terrain_height(&track_field, 404.0f, 400.0f), 0.0f);  // nothing ahead of the wheel
  EXPECT_NEAR(rut_test_volume_change(), 0.0, 1e-6);
}

TEST_F(ErodeQueue, SlopesOutsideTheTileLimitsAreLeftAlone) {
  // Ground behind the first entry rises 5 over 1.5 units: far steeper
  // than erode_max_slope 0.5 over the displacement.
  for (int row = 0; row < track_field.size; row++)
    for (int column = 0; column < 100; column++) {
      track_field.heights[column + track_field.size * row] = 5.0f;
      track_field.base_heights[column + track_field.size * row] = 5.0f;
    }
  queue_points({{400.5f, 400.0f, 1.0f, 0.0f, 1}, {430.5f, 400.0f, 1.0f, 0.0f, 1}});
  erode_queue_process(nullptr, 1.0f);
  EXPECT_EQ(erode_queue.count, 0);
  EXPECT_EQ(height_at(100, 100), 0.0f);
  EXPECT_EQ(height_at(101, 100), 0.0f);
  EXPECT_LT(terrain_height(&track_field, 430.5f, 400.0f), 0.0f);
}

// The tile's limit curve: past depth 0.01 below the loaded ground the digs
// stop, so a rut deepens no further however many entries go over it.
TEST_F(ErodeQueue, TheLimitCurveStopsARutAtItsDepth) {
  tile_params& p = track_field.tile_params[0];
  p.erode_limit_count = 2;
  p.erode_limit_depth[1] = 0.01f;
  p.erode_limit_outer[1] = 0.0f;
  p.erode_limit_inner[1] = 0.0f;
  for (int m = 0; m < 40; m++) queue_points({{400.0f, 400.0f, 0.0f, 1.0f, 15}});
  while (erode_queue.count > 0) erode_queue_process(nullptr, 8.0f);
  const float depth = -terrain_height(&track_field, 400.0f, 400.0f);
  EXPECT_GT(depth, 0.01f);
  EXPECT_LT(depth, 0.05f);  // one dig of 15 / 256 went past the limit, less what came back

  // Without limit points a tile digs unscaled.
  rut_test_make_field();
  track_field.tile_params[0].erode_limit_count = 0;
  for (int m = 0; m < 40; m++) queue_points({{400.0f, 400.0f, 0.0f, 1.0f, 15}});
  while (erode_queue.count > 0) erode_queue_process(nullptr, 8.0f);
  EXPECT_GT(-terrain_height(&track_field, 400.0f, 400.0f), 0.5f);
}

// Messages that are refused change nothing; entries that would divide by
// a zero displacement or carry a tile's NaN leave the heights finite.
TEST_F(ErodeQueue, BadMessagesAndDegenerateEntriesChangeNothingOrStayFinite) {
  uint8_t m[rut_message_max_bytes];
  const rut_point p[2] = {{100.0f, 100.0f, 0.5f, 0.5f, 1}, {101.0f, 100.0f, 0.5f, 0.5f, 1}};
  const float low[2] = {1, 0}, high[2] = {1, 0};
  const int32_t length = rut_message_encode(p, 2, low, high, track_field.extent, m);
  erode_queue_add_stroke(m, 16);
  m[0] = 2;
  erode_queue_add_stroke(m, length);
  erode_queue_add_stroke(nullptr, 40);
  EXPECT_EQ(erode_queue.count, 0);

  // Downhill ground, the weakest direction (no displacement), then a tile
  // whose displacement and slopes are NaN.
  for (int row = 0; row < track_field.size; row++)
    for (int column = 0; column < track_field.size; column++)
      track_field.heights[column + track_field.size * row] = -0.3f * (float)column;
  queue_points({{400.0f, 400.0f, 1.0f / 32.0f, 0.0f, 15}, {401.0f, 400.0f, 0.0f, -1.0f / 32.0f, 15}});
  erode_queue_process(nullptr, 1000.0f);
  track_field.tile_params[0].erode_displacement = std::nanf("");
  track_field.tile_params[0].erode_min_slope = std::nanf("");
  queue_points({{400.0f, 400.0f, 1.0f, 0.0f, 15}});
  erode_queue_process(nullptr, 1000.0f);
  EXPECT_EQ(erode_queue.count, 0);
  for (int k = 0; k < track_field.size * track_field.size; k++) ASSERT_TRUE(std::isfinite(track_field.heights[k])) << k;
}

float rolling_ground(float x, float z) { return 3.0f * std::sin(x / 70.0f) + 2.0f * std::cos(z / 90.0f) + 10.0f; }

// A wheel path over generated ground: along the path the rut goes down,
// and behind where the push began the dirt heaps up.
TEST_F(ErodeQueue, DiggingAlongAPathLowersThePathAndRaisesTheGroundBehindIt) {
  rut_test_make_field(rolling_ground);
  std::vector<rut_point> path;
  for (int i = 0; i < 64; i++) path.push_back({300.0f + 1.5f * (float)i, 500.0f + 0.5f * (float)i, 0.9f, 0.3f, 8});
  for (int pass = 0; pass < 4; pass++) queue_points(path);
  while (erode_queue.count > 0) erode_queue_process(nullptr, 8.0f);
  for (int i = 4; i < 60; i += 5) {
    const float x = path[i].x, z = path[i].z;
    EXPECT_LT(terrain_height(&track_field, x, z), terrain_base_height(&track_field, x, z) - 1e-4f) << i;
  }
  EXPECT_GT(terrain_height(&track_field, 297.0f, 499.0f), terrain_base_height(&track_field, 297.0f, 499.0f) + 0.01f);
}

TEST_F(ErodeQueue, BaseHeightIsTheLoadedGroundOverTheSameTriangles) {
  rut_test_make_field(rolling_ground);
  random_seed(7);
  for (int n = 0; n < 200; n++) {
    const float x = (float)(random_next() % 1100000) / 1000.0f - 30.0f;
    const float z = (float)(random_next() % 1100000) / 1000.0f - 30.0f;
    EXPECT_EQ(terrain_base_height(&track_field, x, z), terrain_height(&track_field, x, z)) << x << " " << z;
  }
  terrain_dig(&track_field, 500.0f, 500.0f, 8.0f, -2.0f);
  EXPECT_EQ(terrain_base_height(&track_field, 500.0f, 500.0f), rolling_ground(500.0f, 500.0f));
}

// Mutated messages of every shape, fed to the queue and processed, leave a
// finite terrain and a sound ring (and nothing for the sanitizers).
TEST_F(ErodeQueue, FuzzedMessagesLeaveTheQueueAndTerrainSound) {
  random_seed(20);
  uint8_t m[400];
  for (int round = 0; round < 4000; round++) {
    std::vector<rut_point> p;
    const int n = 1 + (int)(random_next() % 64);
    for (int i = 0; i < n; i++)
      p.push_back({(float)(random_next() % 1100) - 30.0f, (float)(random_next() % 1100) - 30.0f,
                   (float)(random_next() % 2001) / 1000.0f - 1.0f, (float)(random_next() % 2001) / 1000.0f - 1.0f,
                   (int32_t)(random_next() % 17)});
    const float low[2] = {-1100.0f, -1100.0f}, high[2] = {1100.0f, 1100.0f};
    int32_t length = rut_message_encode(p.data(), n, low, high, track_field.extent, m);
    const int flips = (int)(random_next() % 6);
    for (int f = 0; f < flips; f++) m[random_next() % (uint32_t)length] ^= (uint8_t)(1u << (random_next() % 8));
    switch (random_next() % 4) {
      case 0:
        length = (int32_t)(random_next() % 20);
        break;
      case 1:
        length = 269 + (int32_t)(random_next() % 131);
        for (int k = 17; k < length; k++) m[k] = (uint8_t)random_next();
        break;
      default:
        break;
    }
    if (random_next() % 8 == 0) m[0] = (uint8_t)random_next();
    const int32_t before = erode_queue.count;
    erode_queue_add_stroke(m, length);
    ASSERT_LE(erode_queue.count - before, 64);
    if (round % 16 == 0) {
      rut_test_tick += (int32_t)(random_next() % 300);
      const float viewer[3] = {(float)(random_next() % 1024), 0.0f, (float)(random_next() % 1024)};
      erode_queue_process(random_next() % 2 ? viewer : nullptr, (float)(random_next() % 4096) / 4.0f);
    }
  }
  while (erode_queue.count > 0) erode_queue_process(nullptr, 1.0f);
  for (int k = 0; k < track_field.size * track_field.size; k++) ASSERT_TRUE(std::isfinite(track_field.heights[k])) << k;
  EXPECT_TRUE(std::isfinite(track_field.min_height) && std::isfinite(track_field.max_height));
}

}  // namespace
