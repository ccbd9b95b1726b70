#include "terrain/grading_machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_settings.h"
#include "tools/testing/test_env.h"

namespace {

height_field field;

float& height(int i, int j) { return field.heights[i + field.size * j]; }

// A 257 x 257 field 4 ft apart (1024 ft a side) with heights from `shape`.
void make_field(float (*shape)(float x, float z)) {
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++) {
      const float h = shape ? shape(i * 4.0f, j * 4.0f) : 0.0f;
      height(i, j) = field.base_heights[i + field.size * j] = h;
    }
}

// A 1 ft bump, round on top, across x 480..544 and z 560..600.
float bump(float x, float z) {
  if (x < 480 || x > 544 || z < 560 || z > 600) return 0.0f;
  return 0.5f - 0.5f * std::cos((z - 560.0f) / 40.0f * 2.0f * (float)M_PI);
}

// Deterministic lumps up to 1.5 ft.
float lumpy(float x, float z) {
  const unsigned k = (unsigned)(x * 0.25f) * 2654435761u ^ (unsigned)(z * 0.25f) * 40503u;
  return (float)((k >> 8) % 1000) / 1000.0f * 1.5f;
}

struct Grader : ::testing::Test {
  void SetUp() override { ASSERT_EQ(dynamics_open(), 1); }
  void TearDown() override {
    grader_destroy(machine);
    dynamics_close();
    free_terrain(&field);
  }
  // Makes the machine and puts it at (x, ground, z).
  void place(float x, float z) {
    machine = grader_create();
    ASSERT_NE(machine, nullptr);
    grader_move(machine, x, terrain_height(&field, x, z), z);
  }
  // Runs ticks, keeping the union of touched rectangles and the highest the
  // blade came.
  void run(int ticks) {
    for (int t = 0; t < ticks; t++) {
      grader_rect r;
      if (grader_step(machine, &field, &r)) {
        if (all.x0 > all.x1)
          all = r;
        else
          all = {std::min(all.x0, r.x0), std::min(all.z0, r.z0), std::max(all.x1, r.x1), std::max(all.z1, r.z1)};
      }
      float left[3], right[3];
      grader_blade(machine, left, right);
      blade_top = std::max(blade_top, std::max(left[1], right[1]));
      ASSERT_EQ(dynamics_step(tick_length), 1);
    }
  }
  const dReal* chassis_position() { return dBodyGetPosition(grader_get_body(machine)); }
  const dReal* chassis_velocity() { return dBodyGetLinearVel(grader_get_body(machine)); }
  grading_machine* machine = nullptr;
  grader_rect all = {1, 1, 0, 0};
  float blade_top = -1e9f;
};

TEST_F(Grader, SettlesDrivesAlongZAndSteers) {
  make_field(nullptr);
  place(512, 300);
  run(256);
  // At rest on its wheels: a few inches of sink, no drift.
  EXPECT_NEAR(chassis_position()[1], grader_chassis_height, 0.5);
  EXPECT_GT(chassis_position()[1], grader_chassis_height - 0.5);
  EXPECT_NEAR(chassis_position()[2], 300, 0.05);
  EXPECT_LT(std::fabs(chassis_velocity()[2]), 0.05);

  grader_set_speed(machine, 10);
  run(384);
  EXPECT_NEAR(chassis_velocity()[2], 10, 0.5);
  EXPECT_NEAR(chassis_velocity()[0], 0, 0.1);
  EXPECT_NEAR(chassis_position()[0], 512, 0.1);
  EXPECT_GT(chassis_position()[2], 320);

  // Steer one way, then the other from the same start: opposite turns.
  float turned[2];
  for (int k = 0; k < 2; k++) {
    grader_reset(machine);
    grader_move(machine, 512, 0, 300);
    grader_set_steer(machine, k ? -2.0f : 2.0f);
    grader_set_speed(machine, 10);
    run(512);
    const dReal* r = dBodyGetRotation(grader_get_body(machine));
    turned[k] = (float)std::atan2(r[2], r[10]);
  }
  EXPECT_GT(std::fabs(turned[0]), 0.2f);
  EXPECT_NEAR(turned[0], -turned[1], 0.05f);
}

TEST_F(Grader, CutModeLeavesNothingOnItsPathAboveTheBlade) {
  make_field(bump);
  place(512, 480);
  grader_set_tool_mode(machine, 1);
  grader_set_blade_target(machine, 0.0f);
  grader_update_lever(machine);  // a target of 0 takes the lever straight down
  EXPECT_EQ(machine->blade_lever, 0.0f);
  run(64);
  grader_set_speed(machine, 10);
  run(2048);
  ASSERT_GT(chassis_position()[2] + grader_blade_reach, 610);  // the blade is past the bump
  int cut = 0;
  for (int j = 560 / 4; j <= 600 / 4; j++)
    for (int i = (512 - 4) / 4; i <= (512 + 4) / 4; i++) {
      EXPECT_LE(height(i, j), blade_top + 0.01f) << i << ", " << j;
      cut += height(i, j) < bump(i * 4.0f, j * 4.0f) - 0.1f;
    }
  EXPECT_GT(cut, 20);
  // Nothing was pushed: mode 1 only removes.
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++) ASSERT_LE(height(i, j), bump(i * 4.0f, j * 4.0f) + 1e-6f);
}

TEST_F(Grader, PushModeKeepsTheDirtAndPutsItBehindTheBlade) {
  make_field(bump);
  place(512, 480);
  grader_set_tool_mode(machine, 0);
  grader_set_blade_target(machine, 0.0f);
  grader_update_lever(machine);
  run(64);
  grader_set_speed(machine, 10);
  run(2048);
  double before = 0, after = 0, removed = 0, cut_z = 0, fill_z = 0;
  int cuts = 0, fills = 0;
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++) {
      const double was = bump(i * 4.0f, j * 4.0f), now = height(i, j);
      before += was;
      after += now;
      if (now < was - 1e-4) removed += was - now, cut_z += j, cuts++;
      if (now > was + 1e-4) fill_z += j, fills++;
      // The invalidated rectangle holds every cell round a changed vertex.
      if (now != was) {
        EXPECT_LE(all.x0, std::max(i - 1, 0));
        EXPECT_LE(all.z0, std::max(j - 1, 0));
        EXPECT_GE(all.x1, i);
        EXPECT_GE(all.z1, j);
      }
    }
  ASSERT_GT(removed, 10.0);
  EXPECT_NEAR(after, before, 0.01 * removed);
  ASSERT_GT(fills, 0);
  EXPECT_LT(fill_z / fills, cut_z / cuts - 0.5);  // behind: lower z than the cuts
}

TEST_F(Grader, SmoothModeLowersTheVariance) {
  make_field(lumpy);
  place(512, 400);
  grader_set_tool_mode(machine, 3);
  run(64);
  auto variance = [] {
    double sum = 0, squares = 0;
    int n = 0;
    for (int j = 440 / 4; j <= 520 / 4; j++)
      for (int i = 508 / 4; i <= 516 / 4; i++, n++) sum += height(i, j), squares += height(i, j) * height(i, j);
    return squares / n - (sum / n) * (sum / n);
  };
  const double before = variance();
  grader_set_speed(machine, 10);
  run(1536);
  EXPECT_LT(variance(), 0.5 * before);
}

TEST_F(Grader, NonFiniteChassisShapesNothing) {
  make_field(bump);
  place(512, 570);  // the blade over the bump's top
  grader_set_tool_mode(machine, 1);
  grader_set_blade_target(machine, -1.0f);
  grader_update_lever(machine);
  const std::vector<float> heights(field.heights, field.heights + field.size * field.size);
  dBodySetPosition(grader_get_body(machine), NAN, 3.0, 570.0);
  grader_rect r;
  EXPECT_EQ(grader_step(machine, &field, &r), 0);
  EXPECT_GT(r.x0, r.x1);
  EXPECT_TRUE(std::vector<float>(field.heights, field.heights + field.size * field.size) == heights);
  dBodySetPosition(grader_get_body(machine), 512.0, 3.0, 570.0);
  EXPECT_EQ(grader_step(machine, &field, &r), 1);
  EXPECT_LE(r.x0, r.x1);
}

TEST_F(Grader, EditLockRefusesEveryEdit) {
  make_field(bump);
  field.tile_count = 2;
  field.transition_codes[1] = 1 << 16 | 1 << 8;
  std::memset(field.tilemap, 1, (size_t)(field.size / 2) * (field.size / 2));
  field.edit_lock = 1;
  const std::vector<float> heights(field.heights, field.heights + field.size * field.size);
  const std::vector<uint8_t> tiles(field.tilemap, field.tilemap + (field.size / 2) * (field.size / 2));
  grader_rect r = {1, 1, 0, 0};
  EXPECT_EQ(grader_set_height(&field, 10, 10, 5.0f, &r), 0);
  EXPECT_EQ(grader_push(&field, 10, 10, 1, 1, 3.0f, 0, &r), 3.0f);
  EXPECT_EQ(grader_push(&field, 10, 10, 0, 0, 3.0f, 0, &r), 3.0f);
  EXPECT_EQ(grader_paint_tile(&field, 5, 5, 0, &r), 0);
  EXPECT_GT(r.x0, r.x1);
  for (int mode = 0; mode < 4; mode++) {
    place(512, 540);
    grader_set_tool_mode(machine, mode);
    grader_set_blade_target(machine, -1.0f);
    grader_update_lever(machine);
    grader_set_speed(machine, 10);
    run(800);
    grader_destroy(machine);
    machine = nullptr;
  }
  EXPECT_TRUE(std::vector<float>(field.heights, field.heights + field.size * field.size) == heights);
  EXPECT_TRUE(std::vector<uint8_t>(field.tilemap, field.tilemap + tiles.size()) == tiles);
  EXPECT_GT(all.x0, all.x1);
}

TEST_F(Grader, PushWalksEndAtTheEdgeAndWithZeroDirections) {
  make_field(nullptr);
  const int last = field.size - 1;
  grader_rect r = {1, 1, 0, 0};
  // Along +x on flat ground: each vertex takes up to half a spacing (2 ft).
  EXPECT_EQ(grader_push(&field, 10, 20, 1, 0, 5.0f, 0, &r), 0.0f);
  EXPECT_EQ(height(10, 20), 2.0f);
  EXPECT_EQ(height(11, 20), 2.0f);
  EXPECT_EQ(height(12, 20), 1.0f);
  EXPECT_EQ(height(13, 20), 0.0f);
  EXPECT_EQ(height(10, 21), 0.0f);
  EXPECT_EQ(r.x0, 9);
  EXPECT_EQ(r.x1, 12);
  EXPECT_EQ(r.z0, 19);
  EXPECT_EQ(r.z1, 20);
  // The first step moves before it deposits; -z only, x does not count.
  EXPECT_EQ(grader_push(&field, 40, 40, 0, -1, 1.0f, 1, &r), 0.0f);
  EXPECT_EQ(height(40, 40), 0.0f);
  EXPECT_EQ(height(40, 39), 1.0f);
  // No direction: in place.
  EXPECT_EQ(grader_push(&field, 60, 60, 0, 0, 0.75f, 1, &r), 0.0f);
  EXPECT_EQ(height(60, 60), 0.75f);
  // Into the edge: the last vertex has nowhere to go, the rest is lost.
  EXPECT_FLOAT_EQ(grader_push(&field, last - 2, 80, 1, 0, 10.0f, 0, &r), 6.0f);
  EXPECT_EQ(height(last - 2, 80), 2.0f);
  EXPECT_EQ(height(last - 1, 80), 2.0f);
  EXPECT_EQ(height(last, 80), 0.0f);
  EXPECT_EQ(grader_push(&field, last, last, 1, 1, 4.0f, 0, &r), 4.0f);
  EXPECT_EQ(grader_push(&field, 100, 0, 0, -1, 4.0f, 1, &r), 4.0f);
  // Downhill: the lower of the two forward neighbours; a tie goes by row.
  height(121, 120) = -1.0f;
  EXPECT_EQ(grader_push(&field, 120, 120, 1, 1, 0.5f, 1, &r), 0.0f);
  EXPECT_EQ(height(121, 120), -0.5f);
  EXPECT_EQ(grader_push(&field, 140, 140, 1, 1, 0.5f, 1, &r), 0.0f);
  EXPECT_EQ(height(140, 141), 0.5f);
  // Nothing for bad amounts and outside the grid.
  EXPECT_EQ(grader_push(&field, 150, 150, 1, 0, std::nanf(""), 0, &r), 0.0f);
  EXPECT_EQ(grader_push(&field, -1, 150, 1, 0, 1.0f, 0, &r), 1.0f);
  EXPECT_EQ(height(150, 150), 0.0f);
}

TEST(GraderPaint, TransitionTilesFollowTheSharedCorners) {
  // dirt (0), grass (1), rock (2), and dirt-grass transitions for every
  // corner set but the plain ones: tile 3 + k shows grass in corner bits
  // k + 1. No dirt-rock transitions exist.
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  field.tile_count = 17;
  field.transition_codes[0] = 0;
  field.transition_codes[1] = 1 << 16 | 1 << 8;
  field.transition_codes[2] = 2 << 16 | 2 << 8;
  for (int k = 0; k < 14; k++) field.transition_codes[3 + k] = 0 << 16 | 1 << 8 | (k + 1);
  const int q = field.size / 2;
  auto tile = [&](int c, int r) -> uint8_t& { return field.tilemap[c + q * r]; };
  std::memset(field.tilemap, 1, (size_t)q * q);
  for (int r = 18; r <= 22; r++) tile(22, r) = 2;  // a rock column

  grader_rect touched = {1, 1, 0, 0};
  ASSERT_EQ(grader_paint_tile(&field, 20, 20, 0, &touched), 1);
  // Each neighbour shows dirt in the corners it shares, grass elsewhere.
  struct row {
    int dc, dr, mask;
  };
  const row rows[] = {{-1, -1, 1}, {0, -1, 3}, {1, -1, 2}, {-1, 0, 5}, {1, 0, 10}, {-1, 1, 4}, {0, 1, 12}, {1, 1, 8}};
  EXPECT_EQ(tile(20, 20), 0);
  for (const row& n : rows) {
    const int grass_bits = 15 & ~n.mask;
    EXPECT_EQ(tile(20 + n.dc, 20 + n.dr), 3 + grass_bits - 1) << n.dc << ", " << n.dr;
  }
  EXPECT_EQ(touched.x0, 38);
  EXPECT_EQ(touched.z0, 38);
  EXPECT_EQ(touched.x1, 43);
  EXPECT_EQ(touched.z1, 43);

  // Painting the next texel merges with what is there: (20, 20) becomes
  // plain dirt again, (21, 19) shows dirt in both lower corners.
  ASSERT_EQ(grader_paint_tile(&field, 21, 20, 0, nullptr), 1);
  EXPECT_EQ(tile(20, 20), 0);
  EXPECT_EQ(tile(21, 19), 3 + 12 - 1);
  EXPECT_EQ(tile(20, 19), 3 + 12 - 1);
  // Beside rock no tile fits: the rock stays.
  for (int r = 19; r <= 21; r++) EXPECT_EQ(tile(22, r), 2);

  // Clamped to the map; unknown tiles refused.
  EXPECT_EQ(grader_paint_tile(&field, -5, q + 9, 2, nullptr), 1);
  EXPECT_EQ(tile(0, q - 1), 2);
  EXPECT_EQ(grader_paint_tile(&field, 3, 3, 17, nullptr), 0);
  EXPECT_EQ(grader_paint_tile(&field, 3, 3, -1, nullptr), 0);
  free_terrain(&field);
}

// The sample track, made once by the data generator beside this test.
bool make_sample_track() {
  static int made = -1;
  if (made < 0) made = test_run_bkdata(std::string("track quarrybend ") + std::getenv("BK_HOME"));
  return made == 1;
}

TEST_F(Grader, GradesTheSampleTrack) {
  ASSERT_TRUE(make_sample_track());
  ASSERT_EQ(load_terrain(&field, "@quarrybend", 1), 1);
  const std::vector<float> loaded(field.heights, field.heights + field.size * field.size);
  place(512, 200);
  grader_set_tool_mode(machine, 0);
  grader_set_blade_target(machine, -0.25f);
  grader_update_lever(machine);
  run(64);
  grader_set_speed(machine, 8);
  run(1024);
  // It drove off and cut its way, and the dirt stayed on the field.
  EXPECT_GT(std::hypot(chassis_position()[0] - 512, chassis_position()[2] - 200), 40);
  double before = 0, after = 0, removed = 0;
  for (size_t k = 0; k < loaded.size(); k++) {
    before += loaded[k];
    after += field.heights[k];
    if (field.heights[k] < loaded[k]) removed += loaded[k] - field.heights[k];
  }
  EXPECT_GT(removed, 1.0);
  EXPECT_NEAR(after, before, 0.01 * removed);
  EXPECT_LE(all.x0, all.x1);
}

}  // namespace
