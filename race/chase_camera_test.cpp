#include "race/chase_camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/growable_array.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/views.h"
#include "terrain/height_field.h"

namespace {

const float pi = 3.14159265358979f;
const float tick = 1.0f / 128;

// A small field of spacing 2 whose height is the column plus 10 x the row.
struct field_fixture {
  std::vector<float> heights;
  height_field field = {};
  explicit field_fixture(int size = 9) : heights((size_t)size * size) {
    for (int j = 0; j < size; j++)
      for (int i = 0; i < size; i++) heights[i + (size_t)size * j] = (float)i + 10.0f * j;
    field.heights = heights.data();
    field.size = size;
    field.spacing = 2;
  }
};

TEST(AverageTerrainHeight, EdgesRingAndEmptyWindow) {
  static field_fixture f;
  // Inside, the symmetric window of a plane gives the plane's height.
  EXPECT_NEAR(average_terrain_height(&f.field, 8, 8, 3), 4 + 40, 1e-4);
  // Far outside, every counted point repeats the nearest edge or corner.
  EXPECT_NEAR(average_terrain_height(&f.field, -500, -500, 10), 0, 1e-4);
  EXPECT_NEAR(average_terrain_height(&f.field, 900, -500, 10), 8, 1e-4);
  EXPECT_NEAR(average_terrain_height(&f.field, -500, 900, 10), 80, 1e-4);
  // A radius below the spacing between grid points: only the weighted ring
  // of the four corners counts, equally, so their mean.
  EXPECT_NEAR(average_terrain_height(&f.field, 5, 7, 0.5f), (2 + 3 + 2 + 3) / 4.0f + 10 * (3 + 4 + 3 + 4) / 4.0f,
              1e-4);
  // A window holding no point (a negative radius) gives its first point.
  EXPECT_NEAR(average_terrain_height(&f.field, 8, 8, -1), 4 + 10 * 4, 1e-4);
  // No field, or a NaN point, gives a number rather than a crash.
  EXPECT_EQ(average_terrain_height(nullptr, 0, 0, 10), 0);
  EXPECT_TRUE(std::isfinite(average_terrain_height(&f.field, NAN, 0, 10)));
}

TEST(MoveFreeCamera, FlownRatesRampAndYawWraps) {
  track_camera c = {0, 10, 0, pi - 0.01f, 0, 0, 0, 90, 0};
  float input[9] = {};
  input[input_steer] = 1;
  input[input_shift] = -1;
  const float target[3] = {}, velocity[3] = {};
  float last_yaw_rate = 0;
  for (int n = 0; n < 256; n++) {
    move_free_camera(&c, input, target, velocity, 0, 0, tick);
    EXPECT_LE(std::fabs(c.yaw_rate - last_yaw_rate), pi * tick + 1e-6f);
    last_yaw_rate = c.yaw_rate;
    ASSERT_GE(c.yaw, -pi);
    ASSERT_LE(c.yaw, pi);
    ASSERT_GE(c.pitch, -pi / 2);
  }
  EXPECT_NEAR(c.yaw_rate, 3 * pi / 8, 1e-5);
  EXPECT_NEAR(c.pitch_rate, -pi / 4, 1e-5);
  EXPECT_LT(c.yaw, 0) << "passed pi and wrapped";
}

TEST(MoveFreeCamera, TrackingSnapsOnSwitchZoomsAndFollows) {
  track_camera c = {0, 20, 0, 2.0f, 0.3f, 0, 0, 60, 8};
  const float input[9] = {};
  float target[3] = {30, 0, 40};
  const float velocity[3] = {-20, 0, 10};
  move_free_camera(&c, input, target, velocity, 1, 1, tick);
  const float bearing = std::atan2(30.0f, 40.0f);
  EXPECT_NEAR(c.yaw, bearing, 0.05f) << "a switch starts from the bearing";
  EXPECT_NEAR(c.fov, std::atan2(8.0f, std::sqrt(50.0f * 50 + 20 * 20)) * 360 / pi, 1e-3) << "zoom taken at once";
  EXPECT_NEAR(c.pitch, std::atan2(-20.0f, 50.0f), 0.05f);

  // Then followed tick by tick: rates change by at most pi x tick, the
  // view keeps near the target's bearing, and the zoom eases.
  for (int n = 0; n < 512; n++) {
    const float yaw_rate = c.yaw_rate, pitch_rate = c.pitch_rate, fov = c.fov;
    for (int k = 0; k < 3; k++) target[k] += velocity[k] * tick;
    move_free_camera(&c, input, target, velocity, 0, 1, tick);
    ASSERT_LE(std::fabs(c.yaw_rate - yaw_rate), pi * tick + 1e-5f) << n;
    ASSERT_LE(std::fabs(c.pitch_rate - pitch_rate), pi * tick + 1e-5f) << n;
    ASSERT_LE(std::fabs(c.fov - fov), tick * (2 * 90 + 1)) << n;
    ASSERT_GE(c.yaw, -pi);
    ASSERT_LE(c.yaw, pi);
  }
  const float now = std::atan2(target[0] - c.x, target[2] - c.z);
  float error = std::fabs(now - c.yaw);
  if (error > pi) error = 2 * pi - error;
  EXPECT_LT(error, 0.2f);
}

struct camera_list_fixture : ::testing::Test {
  void SetUp() override {
    saved_choice = race_camera_choice;
    ASSERT_TRUE(growable_array_init(&cameras, sizeof(track_camera), 4));
    const track_camera one = {1, 2, 3, 0, 0, 0, 0, 70, 0};
    growable_array_append(&cameras, &one);
    growable_array_append(&cameras, &one);
    std::swap(cameras, track_cameras);
    for (int g = 0; g < 4; g++) saved_gates[g] = gate_cameras[g];
  }
  void TearDown() override {
    std::swap(cameras, track_cameras);
    growable_array_free(&cameras);
    for (int g = 0; g < 4; g++) gate_cameras[g] = saved_gates[g];
    race_camera_choice = saved_choice;
  }
  growable_array cameras = {};
  int32_t saved_gates[4];
  int saved_choice;
};

TEST_F(camera_list_fixture, ChoicesAndGatesPastTheListNameNoCamera) {
  gate_cameras[0] = 1;
  gate_cameras[1] = 2;  // a "gate" line with no camera after it
  gate_cameras[2] = -1;
  EXPECT_EQ(gate_camera_index(0), 1);
  EXPECT_EQ(gate_camera_index(1), -1);
  EXPECT_EQ(gate_camera_index(2), -1);
  EXPECT_EQ(gate_camera_index(-3), -1);
  EXPECT_EQ(gate_camera_index(100000), -1);

  EXPECT_EQ(chosen_race_camera(1), growable_array_at(&track_cameras, 1));
  EXPECT_EQ(chosen_race_camera(-1), &free_camera);
  EXPECT_EQ(chosen_race_camera(5), &free_camera);

  // Moving the out-of-range choice moves the free camera, nothing past the list.
  const float before = free_camera.yaw;
  float input[9] = {};
  input[input_steer] = 1;
  const float target[3] = {}, velocity[3] = {};
  move_free_camera(chosen_race_camera(5), input, target, velocity, 0, 0, tick);
  EXPECT_NE(free_camera.yaw, before);
  free_camera.yaw = before;
  free_camera.yaw_rate = 0;

  race_camera_choice = 1;
  settle_race_camera_choice();
  EXPECT_EQ(race_camera_choice, 1) << "a valid choice is kept";
  race_camera_choice = 2;
  settle_race_camera_choice();
  EXPECT_EQ(race_camera_choice, -1);
}

float flat_ground(float, float) { return 0; }
float high_ground(float, float) { return 100; }

chase_input chase_at(float vx, float vz) {
  chase_input in = {};
  in.target[1] = 3;
  in.body_z[2] = 1;
  in.velocity[0] = vx;
  in.velocity[2] = vz;
  in.distance = 10;
  in.height = 5;
  in.local_view = 1;
  return in;
}

TEST(ChaseCamera, DirectionByModeAndSpeed) {
  chase_memory memory = {{0, 1}, 1};
  float camera[3];
  // Standing: along the body's z axis.
  chase_camera_position(chase_at(0, 0), &memory, flat_ground, camera);
  EXPECT_NEAR(camera[0], 0, 1e-5);
  EXPECT_NEAR(camera[2], 10, 1e-5);
  EXPECT_NEAR(camera[1], 8, 1e-5);
  // Fast: behind the velocity, at the set horizontal distance.
  chase_camera_position(chase_at(40, 0), &memory, flat_ground, camera);
  EXPECT_NEAR(camera[0], -10, 1e-4);
  EXPECT_NEAR(camera[2], 0, 1e-4);
  // Half way (20 ft/s): the body's axis blended halfway to minus velocity.
  chase_camera_position(chase_at(20, 0), &memory, flat_ground, camera);
  EXPECT_NEAR(std::hypot(camera[0], camera[2]), 10, 1e-4);
  EXPECT_NEAR(std::atan2(camera[0], camera[2]), std::atan2(-10.0f, 0.5f), 1e-4);
  // Rigid: the body only, whatever the velocity.
  chase_input rigid = chase_at(40, 0);
  rigid.rigid = 1;
  rigid.body_z[0] = 1;
  rigid.body_z[1] = 5;
  rigid.body_z[2] = 0;
  chase_camera_position(rigid, &memory, flat_ground, camera);
  EXPECT_NEAR(camera[0], 10, 1e-4);
  // Orbit: round the target by the orbit angle.
  chase_input orbit = chase_at(40, 0);
  orbit.local_view = 0;
  orbit.orbit_angle = pi / 2;
  chase_camera_position(orbit, &memory, flat_ground, camera);
  EXPECT_NEAR(camera[0], 10, 1e-4);
  EXPECT_NEAR(camera[2], 0, 1e-4);
}

TEST(ChaseCamera, NoHorizontalDirectionKeepsTheLastAndGroundLifts) {
  chase_memory memory = {{0, 0}, 0};
  float camera[3];
  chase_input upright = chase_at(0, 0);
  upright.rigid = 1;
  upright.body_z[2] = 0;
  upright.body_z[1] = 1;  // the bike on its end
  chase_camera_position(upright, &memory, flat_ground, camera);
  EXPECT_NEAR(camera[2], 10, 1e-5) << "no good direction yet: +z";
  chase_camera_position(chase_at(-40, 0), &memory, flat_ground, camera);
  chase_camera_position(upright, &memory, flat_ground, camera);
  EXPECT_NEAR(camera[0], 10, 1e-4) << "the last good direction is kept";
  for (float c : camera) EXPECT_TRUE(std::isfinite(c));
  // A blend that cancels exactly: halfway (20 ft/s) between 20 z and -20 z.
  chase_input cancel = chase_at(0, 20);
  cancel.body_z[2] = 20;
  chase_camera_position(cancel, &memory, flat_ground, camera);
  for (float c : camera) EXPECT_TRUE(std::isfinite(c));
  EXPECT_NEAR(camera[0], 10, 1e-4);
  // However low the height, 5 above the averaged ground.
  chase_input low = chase_at(0, 0);
  low.height = -50;
  chase_camera_position(low, &memory, high_ground, camera);
  EXPECT_NEAR(camera[1], 105, 1e-4);
}

TEST(OrbitControls, AngleWrapsAndDistanceFloors) {
  orbit_angle = pi - 0.001f;
  orbit_distance = 0.26f;
  orbit_height = 5;
  float input[9] = {};
  input[input_steer] = 1;
  input[input_throttle] = 1;
  input[input_shift] = 1;
  orbit_controls(input, tick);
  EXPECT_LT(orbit_angle, 0);
  EXPECT_FLOAT_EQ(orbit_distance, 0.25f);
  EXPECT_FLOAT_EQ(orbit_height, 5 + tick);
  orbit_angle = 0;
  orbit_distance = 10;
  orbit_height = 5;
}

}  // namespace
