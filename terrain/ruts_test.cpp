#include "terrain/ruts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "terrain/dynamics_world.h"
#include "terrain/rut_test_field.h"
#include "terrain/terrain_contact.h"

namespace {

std::vector<std::vector<uint8_t>> sent;

void capture(const uint8_t* bytes, int32_t length) { sent.emplace_back(bytes, bytes + length); }

std::vector<erode_entry> decode(const std::vector<uint8_t>& m) {
  erode_entry e[rut_stroke_points];
  const int32_t n = rut_message_decode(m.data(), (int32_t)m.size(), track_field.extent, e);
  return std::vector<erode_entry>(e, e + n);
}

class Ruts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dynamics_open(), 1);
    rut_test_make_field();
    wheel.body = dBodyCreate(dynamics_world);
    std::memset(&stroke, 0, sizeof stroke);
    sent.clear();
    net_send_terrain_edit = capture;
  }
  void TearDown() override {
    net_send_terrain_edit = erode_queue_add_stroke;
    rut_test_free_field();
    dynamics_close();
  }

  // One tick of a touching wheel at (x, z): body velocity, slip at the
  // contact point and the contact joint's force on the wheel.
  void touch(float x, float z, const float velocity[3], float slip, const float force[3], int front = 0) {
    dBodySetLinearVel(wheel.body, velocity[0], velocity[1], velocity[2]);
    const float point[3] = {x, 0.0f, z};
    const float point_velocity[3] = {slip, 0.0f, 0.0f};
    std::memcpy(wheel.point, point, sizeof point);
    std::memcpy(wheel.point_velocity, point_velocity, sizeof point_velocity);
    wheel.depth = 0.1f;
    for (int c = 0; c < 3; c++) wheel.feedback.f1[c] = force[c];
    rut_update_wheel(&stroke, &wheel, front);
    rut_test_tick++;
  }
  void lift(int ticks) {
    wheel.depth = 0.0f;
    for (int t = 0; t < ticks; t++) {
      rut_update_wheel(&stroke, &wheel, 0);
      rut_test_tick++;
    }
  }

  wheel_contact wheel = {};
  rut_stroke stroke;
};

const float riding[3] = {20.0f, 0.0f, 0.0f};  // 20 ft/s along +x
const float driving[3] = {300.0f, -500.0f, 0.0f};  // the ground pushes the wheel forward

// A wheel at full throttle over erodible ground: the messages carry points
// along its path, pushing forward, and once processed they cut a rut along
// the path and heap the dirt behind where it started.
TEST_F(Ruts, AWheelAtFullThrottleLeavesARutAlongItsPath) {
  const float z = 501.3f;
  float x = 300.0f;
  for (int t = 0; t < 600; t++, x += 20.0f / 128.0f) touch(x, z, riding, 5.0f, driving);
  ASSERT_EQ(sent.size(), 1u);  // the first 64 points
  EXPECT_EQ(sent[0].size(), 269u);
  const int32_t last_point = stroke.last_point_tick;
  while (rut_test_tick <= last_point + 64) lift(1);
  EXPECT_EQ(sent.size(), 1u);
  lift(1);  // more than 64 ticks after the last point the rest goes
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(stroke.point_count, 0);

  float last_x = 0.0f;
  int points = 0, samples = 0;
  for (const auto& m : sent)
    for (const erode_entry& e : decode(m)) {
      EXPECT_GT(e.x, last_x);
      EXPECT_GE(e.x, 299.99f);
      EXPECT_LE(e.x, x);
      EXPECT_NEAR(e.z, z, 0.01f);
      EXPECT_GE(e.a, 0.96875f);  // full strength along +x
      EXPECT_EQ(e.b, 0.0f);
      EXPECT_LE(e.k, 7);  // a point closes after a unit of travel, 7 ticks at most
      last_x = e.x;
      points++;
      samples += e.k;
    }
  EXPECT_EQ(samples, 600);
  EXPECT_NEAR(points, (x - 300.0f), 3.0f);  // a point per unit of travel

  for (const auto& m : sent) erode_queue_add_stroke(m.data(), (int32_t)m.size());
  EXPECT_EQ(erode_queue.count, points);
  while (erode_queue.count > 0) erode_queue_process(nullptr, 4.0f);
  for (float px = 310.0f; px < x - 10.0f; px += 7.0f)
    EXPECT_LT(terrain_height(&track_field, px, z), 0.0f) << px;
  EXPECT_GT(terrain_height(&track_field, 297.5f, z), 0.0f);
}

TEST_F(Ruts, SixteenSamplesInOnePlaceMakeAPointThatTravelsWithKZero) {
  for (int t = 0; t < 17; t++) touch(100.0f, 100.0f, riding, 5.0f, driving);
  EXPECT_EQ(stroke.point_count, 1);
  EXPECT_EQ(stroke.points[0].k, 16);
  EXPECT_EQ(stroke.sample_count, 1);
  lift(66);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].size(), 21u);
  const std::vector<erode_entry> e = decode(sent[0]);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].k, 0);
  EXPECT_EQ(e[1].k, 1);
  // Everything but the points is cleared.
  EXPECT_EQ(stroke.point_count, 0);
  EXPECT_EQ(stroke.sample_count, 0);
  EXPECT_EQ(stroke.last_point_tick, 0);
  EXPECT_EQ(stroke.points[0].k, 16);
}

TEST_F(Ruts, AStepSpanPast64UnitsSendsTheStrokeWithoutTheNewPoint) {
  for (float x : {100.0f, 101.5f, 103.0f, 203.0f, 204.5f}) touch(x, 100.0f, riding, 5.0f, driving);
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<erode_entry> e = decode(sent[0]);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_NEAR(e[0].x, 100.0f, 0.01f);
  EXPECT_NEAR(e[1].x, 101.5f, 0.01f);
  EXPECT_NEAR(e[2].x, 103.0f, 0.01f);
  EXPECT_EQ(stroke.point_count, 1);
  EXPECT_EQ(stroke.points[0].x, 203.0f);
  EXPECT_EQ(stroke.sample_count, 1);
  // The next sample measures its travel from the last one, not from the
  // origin: 0.3 more on the carried 0.5 does not close a point.
  touch(204.8f, 100.0f, riding, 5.0f, driving);
  EXPECT_EQ(stroke.point_count, 1);
  EXPECT_EQ(stroke.sample_count, 2);
}

TEST_F(Ruts, NoSampleWhereTheWheelDoesNotErode) {
  const float slow[3] = {5.0f, 0.0f, 0.0f};
  const float gentle[3] = {30.0f, -500.0f, 0.0f};
  touch(100.0f, 100.0f, slow, 5.0f, driving);        // below erode_off_speed
  touch(100.0f, 100.0f, riding, 0.0f, gentle);       // below erode_lower
  const float nan = std::nanf("");
  const float bad_force[3] = {nan, 0.0f, 0.0f};
  touch(100.0f, 100.0f, riding, 5.0f, bad_force);
  touch(nan, 100.0f, riding, 5.0f, driving);
  wheel.depth = 0.0f;
  rut_update_wheel(&stroke, &wheel, 0);
  EXPECT_EQ(stroke.sample_count, 0);
  EXPECT_EQ(stroke.point_count, 0);
  EXPECT_TRUE(sent.empty());

  // Falling straight down the wheel has no forward direction, but its push
  // still makes a finite sample.
  const float falling[3] = {0.0f, -20.0f, 0.0f};
  touch(100.0f, 100.0f, falling, 5.0f, driving);
  EXPECT_EQ(stroke.sample_count, 1);
  EXPECT_FLOAT_EQ(stroke.sample_sum[2], 1.0f);
  EXPECT_FLOAT_EQ(stroke.sample_sum[3], 0.0f);
}

TEST_F(Ruts, TyreDebugShowsTheForcesAndTheScalesApply) {
  const float force[3] = {300.0f, -500.0f, 40.0f};
  struct scale_case {
    int front;
    float lateral_scale, front_scale;
    const char* text;
  } cases[] = {
      {0, 1.0f, 0.5f, "speed=20.00\nslip=5.00\nfx=-40.00\nfz=-300.00\npfx=-60.00\npfz=-450.00\n"},
      {0, 2.0f, 0.5f, "speed=20.00\nslip=5.00\nfx=-40.00\nfz=-300.00\npfx=-120.00\npfz=-450.00\n"},
      {1, 2.0f, 0.5f, "speed=20.00\nslip=5.00\nfx=-40.00\nfz=-300.00\npfx=-60.00\npfz=-225.00\n"},
  };
  for (const scale_case& c : cases) {
    track_field.tile_params[0].erode_lateral_scale = c.lateral_scale;
    track_field.tile_params[0].erode_front_scale = c.front_scale;
    touch(100.0f, 100.0f, riding, 5.0f, force, c.front);
    char text[200];
    format_tyre_debug(text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
  char small[8];
  format_tyre_debug(small, sizeof small);
  EXPECT_STREQ(small, "speed=2");
  lift(1);
  char cleared[200];
  format_tyre_debug(cleared, sizeof cleared);
  EXPECT_STREQ(cleared, "speed=0.00\nslip=0.00\nfx=-0.00\nfz=-0.00\npfx=-0.00\npfz=-0.00\n");
}

// Offline the producer's messages go straight into the local queue.
TEST_F(Ruts, OfflineMessagesGoToTheErodeQueue) {
  net_send_terrain_edit = erode_queue_add_stroke;
  for (int t = 0; t < 5; t++) touch(100.0f + 1.5f * (float)t, 100.0f, riding, 5.0f, driving);
  lift(70);
  EXPECT_EQ(erode_queue.count, 5);
}

TEST_F(Ruts, TriangleNormalIsTheCrossProductOfTheTriangleUnderThePoint) {
  // Cell (10, 10) is even: its diagonal runs (10, 10)-(11, 11). Raising
  // vertex (11, 10) tilts only the triangle below the diagonal.
  track_field.heights[11 + track_field.size * 10] = 4.0f;
  float n[3];
  terrain_triangle_normal(&track_field, 43.0f, 41.0f, n);  // u 0.75, v 0.25
  EXPECT_FLOAT_EQ(n[0], -16.0f);
  EXPECT_FLOAT_EQ(n[1], 16.0f);
  EXPECT_FLOAT_EQ(n[2], 16.0f);
  terrain_triangle_normal(&track_field, 41.0f, 43.0f, n);  // above the diagonal: flat
  EXPECT_FLOAT_EQ(n[0], 0.0f);
  EXPECT_FLOAT_EQ(n[1], 16.0f);
  EXPECT_FLOAT_EQ(n[2], 0.0f);
  // Cell (11, 10) is odd: below its diagonal the triangle holds (11, 10).
  terrain_triangle_normal(&track_field, 45.0f, 41.0f, n);
  EXPECT_FLOAT_EQ(n[0], 16.0f);
  EXPECT_FLOAT_EQ(n[1], 16.0f);
  EXPECT_FLOAT_EQ(n[2], 16.0f);
  terrain_triangle_normal(&track_field, 47.5f, 43.5f, n);
  EXPECT_FLOAT_EQ(n[1], 16.0f);
  EXPECT_FLOAT_EQ(n[0], 0.0f);
}

}  // namespace
