#include "bike/bike_model.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

int row_index(const bike_model* row) { return row ? (int)(row - bike_models) : -1; }

TEST(BikeModelFind, ExactCaseSensitiveName) {
  std::string long_name(300, 'x');
  struct Case {
    const char* name;
    int row;
  } cases[] = {
      {"cr125", 0},
      {"CR125", -1},
      {"cr12", -1},
      {"cr125 ", -1},
      {"crf450(2018)", 13},
      {"yz250f_se(2006)", 44},
      {"rs50yz", 79},
      {"crf250", -1},  // an alias, not a row name
      {"", -1},
      {long_name.c_str(), -1},
      {nullptr, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(row_index(bike_model_find(c.name)), c.row) << (c.name ? c.name : "(null)");
}

// The rows in the order the game lists them, with their classes.
TEST(BikeModelTable, RowsInOrderWithClasses) {
  const char* expected[BIKE_MODEL_COUNT][2] = {
      {"cr125", "125"},         {"crf250(2007)", "250f"}, {"crf250(2008)", "250f"},
      {"crf250(2009)", "250f"}, {"crf250(2013)", "250f"}, {"crf250(2016)", "250f"},
      {"crf250(2017)", "250f"}, {"crf250(2018)", "250f"}, {"cr250(2007)", "250"},
      {"crf450(2011)", "450f"}, {"crf450(2013)", "450f"}, {"crf450(2016)", "450f"},
      {"crf450(2017)", "450f"}, {"crf450(2018)", "450f"}, {"kx125", "125"},
      {"kx250f(2007)", "250f"}, {"kx250f(2008)", "250f"}, {"kx250f(2009)", "250f"},
      {"kx250f(2013)", "250f"}, {"kx250f(2016)", "250f"}, {"kx250f(2017)", "250f"},
      {"kx250f(2018)", "250f"}, {"kx250(2006)", "250"},   {"kx450f(2011)", "450f"},
      {"kx450f(2013)", "450f"}, {"kx450f(2016)", "450f"}, {"kx450f(2017)", "450f"},
      {"kx450f(2018)", "450f"}, {"rm125", "125"},         {"rmz250(2007)", "250f"},
      {"rmz250(2008)", "250f"}, {"rmz250(2009)", "250f"}, {"rmz250(2013)", "250f"},
      {"rmz250(2016)", "250f"}, {"rmz250(2017)", "250f"}, {"rmz250(2018)", "250f"},
      {"rm250(2008)", "250"},   {"rmz450(2011)", "450f"}, {"rmz450(2013)", "450f"},
      {"rmz450(2016)", "450f"}, {"rmz450(2017)", "450f"}, {"rmz450(2018)", "450f"},
      {"yz125", "125"},         {"yz250f(2007)", "250f"}, {"yz250f_se(2006)", "250f"},
      {"yz250f(2008)", "250f"}, {"yz250f(2009)", "250f"}, {"yz250f(2013)", "250f"},
      {"yz250f(2016)", "250f"}, {"yz250f(2017)", "250f"}, {"yz250f(2018)", "250f"},
      {"yz250(2012)", "250"},   {"yz450f(2011)", "450f"}, {"yz450f(2013)", "450f"},
      {"yz450f(2016)", "450f"}, {"yz450f(2017)", "450f"}, {"yz450f(2018)", "450f"},
      {"125sx", "125"},         {"250sxf(2009)", "250f"}, {"250sxf(2013)", "250f"},
      {"250sxf(2016)", "250f"}, {"250sxf(2017)", "250f"}, {"250sxf(2018)", "250f"},
      {"250sx(2012)", "250"},   {"350sxf(2011)", "450f"}, {"350sxf(2013)", "250f"},
      {"350sxf(2017)", "250f"}, {"450sxf(2011)", "450f"}, {"450sxf(2013)", "450f"},
      {"450sxf(2016)", "450f"}, {"450sxf(2017)", "450f"}, {"450sxf(2018)", "450f"},
      {"fc250(2017)", "250f"},  {"fc250(2018)", "250f"},  {"fc450(2017)", "450f"},
      {"fc450(2018)", "450f"},  {"rs50cr", "50"},         {"rs50kx", "50"},
      {"rs50rm", "50"},         {"rs50yz", "50"},
  };
  for (int i = 0; i < BIKE_MODEL_COUNT; ++i) {
    EXPECT_STREQ(bike_models[i].name, expected[i][0]) << "row " << i;
    EXPECT_STREQ(bike_models[i].bike_class, expected[i][1]) << "row " << i;
  }
}

bool all_finite(const float* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!isfinite(v[i])) return false;
  return true;
}

// Every number of the row, from the front wheel to the rider mass: a run of
// floats in the record.
bool numbers_finite(const bike_model& m) {
  size_t from = offsetof(bike_model, front_wheel_position);
  size_t to = offsetof(bike_model, part_files);
  std::vector<float> numbers((to - from) / sizeof(float));
  memcpy(numbers.data(), (const char*)&m + from, numbers.size() * sizeof(float));
  return all_finite(numbers.data(), (int)numbers.size());
}

// Every row is a bike that can be built and ridden.
TEST(BikeModelTable, EveryRowIsSane) {
  std::set<std::string> names;
  for (const bike_model& m : bike_models) {
    SCOPED_TRACE(m.name);
    ASSERT_LT(strnlen(m.name, BIKE_NAME_SIZE), (size_t)BIKE_NAME_SIZE);
    ASSERT_LT(strnlen(m.bike_class, BIKE_NAME_SIZE), (size_t)BIKE_NAME_SIZE);
    EXPECT_TRUE(names.insert(m.name).second) << "duplicate name";
    EXPECT_TRUE(numbers_finite(m));
    EXPECT_TRUE(all_finite(m.pose_geometry, BIKE_POSE_FLOATS));

    // Masses.
    for (float mass : {m.front_tyre_mass, m.front_hub_mass, m.rear_tyre_mass, m.rear_hub_mass,
                       m.frame_mass, m.fork_mass, m.swingarm_mass, m.rider_mass})
      EXPECT_GT(mass, 0);
    // Wheels: the rim ring is larger than the tyre section, the hub inside
    // the rim; the front wheel ahead of the frame, the rear behind it.
    EXPECT_GT(m.front_rim_radius, m.front_tyre_radius);
    EXPECT_GT(m.rear_rim_radius, m.rear_tyre_radius);
    EXPECT_GT(m.front_tyre_radius, 0);
    EXPECT_GT(m.rear_tyre_radius, 0);
    EXPECT_LE(m.front_hub_radius, m.front_rim_radius);
    EXPECT_LE(m.rear_hub_radius, m.rear_rim_radius);
    EXPECT_LT(m.front_wheel_position[2], m.frame_position[2]);
    EXPECT_GT(m.rear_wheel_position[2], m.frame_position[2]);
    EXPECT_GT(m.rear_wheel_position[2], m.swingarm_pivot[2]);
    for (float side : m.frame_size) EXPECT_GT(side, 0);
    // Fork: the steered part above and behind the sliding part.
    EXPECT_GT(m.fork_upper_position[1], m.fork_lower_position[1]);
    EXPECT_GT(m.fork_upper_position[2], m.fork_lower_position[2]);
    EXPECT_GT(m.fork_travel, 0);
    EXPECT_GT(m.fork_leg_spacing, 0);
    EXPECT_GT(m.fork_length, 0);
    EXPECT_GT(m.shock_linkage[BIKE_SWINGARM_TRAVEL], 0);
    EXPECT_GT(m.fork_spring_rate_range[0], 0);
    EXPECT_GT(m.fork_spring_rate_range[1], m.fork_spring_rate_range[0]);
    EXPECT_GT(m.shock_spring_rate_range[0], 0);
    EXPECT_GT(m.shock_spring_rate_range[1], m.shock_spring_rate_range[0]);
    // The rider joint hangs at rider_position.y on every bike.
    EXPECT_EQ(m.rider_position[1], 4.5f);
    EXPECT_LT(m.rider_travel_min, m.rider_travel_max);

    // Gearing: a first gear, ratios falling, missing gears only at the top.
    EXPECT_GT(m.primary_ratio, 0);
    EXPECT_GE(m.front_sprocket, 3);
    EXPECT_GT(m.rear_sprocket, m.front_sprocket);
    EXPECT_GT(m.gear_ratios[0], 0);
    for (int g = 1; g < BIKE_GEAR_COUNT; ++g) {
      if (m.gear_ratios[g] <= 0) {
        for (int h = g; h < BIKE_GEAR_COUNT; ++h) EXPECT_LE(m.gear_ratios[h], 0) << "gear " << h;
        break;
      }
      EXPECT_LT(m.gear_ratios[g], m.gear_ratios[g - 1]) << "gear " << g;
    }

    // Engine: positive constants, rising thresholds, a curve that pulls from
    // idle and runs out above the rev limit, and a closed throttle that brakes.
    for (float c : m.engine_constants) EXPECT_GT(c, 0);
    EXPECT_GT(m.rpm_thresholds[0], 0);
    EXPECT_LT(m.rpm_thresholds[0], m.rpm_thresholds[1]);
    EXPECT_LT(m.rpm_thresholds[1], m.rpm_thresholds[BIKE_RPM_LIMIT]);
    EXPECT_GT(m.full_throttle_torque[0], 0);
    EXPECT_LE(m.full_throttle_torque[BIKE_TORQUE_POINTS - 1], 0);
    int limit_point = (int)(m.rpm_thresholds[BIKE_RPM_LIMIT] / 500);
    EXPECT_GT(m.full_throttle_torque[limit_point], 0) << "no power at the rev limit";
    for (int i = 0; i < BIKE_TORQUE_POINTS; ++i)
      EXPECT_LE(m.closed_throttle_torque[i], m.full_throttle_torque[i]) << "point " << i;
    EXPECT_LT(m.closed_throttle_torque[BIKE_TORQUE_POINTS - 1], 0);

    // Part files: all 23 present, "@" names, NUL-terminated.
    for (int p = 0; p < BIKE_PART_FILE_COUNT; ++p) {
      size_t n = strnlen(m.part_files[p], BIKE_PART_FILE_SIZE);
      EXPECT_LT(n, (size_t)BIKE_PART_FILE_SIZE) << "part " << p;
      EXPECT_GT(n, 1u) << "part " << p;
      EXPECT_EQ(m.part_files[p][0], '@') << "part " << p;
    }
  }
  EXPECT_EQ(names.size(), (size_t)BIKE_MODEL_COUNT);
}

// The quoted values of the first row, which the other rows are built from.
TEST(BikeModelTable, FirstRowValues) {
  const bike_model& m = bike_models[0];
  const float front[3] = {0, 1.09f, 1.11f}, rear[3] = {0, 1.04f, 6.0f};
  const float frame[3] = {0, 1.98f, 3.6f}, fork_upper[3] = {0, 2.9f, 2.16f};
  const float swingarm[3] = {0, 1.34f, 4.99f}, pivot[3] = {0, 1.6f, 4.08f};
  const float fork_lower[3] = {0, 1.77f, 1.59f}, rider[3] = {0, 4.5f, 4.12f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(m.front_wheel_position[i], front[i]);
    EXPECT_FLOAT_EQ(m.rear_wheel_position[i], rear[i]);
    EXPECT_FLOAT_EQ(m.frame_position[i], frame[i]);
    EXPECT_FLOAT_EQ(m.fork_upper_position[i], fork_upper[i]);
    EXPECT_FLOAT_EQ(m.swingarm_position[i], swingarm[i]);
    EXPECT_FLOAT_EQ(m.swingarm_pivot[i], pivot[i]);
    EXPECT_FLOAT_EQ(m.fork_lower_position[i], fork_lower[i]);
    EXPECT_FLOAT_EQ(m.rider_position[i], rider[i]);
  }
  EXPECT_FLOAT_EQ(m.frame_mass, 3.65375f);
  EXPECT_FLOAT_EQ(m.rider_mass, 4.6875f);
  EXPECT_FLOAT_EQ(m.fork_spring_rate_range[0], 322.5f);
  EXPECT_FLOAT_EQ(m.fork_spring_rate_range[1], 860.1f);
  EXPECT_FLOAT_EQ(m.shock_spring_rate_range[0], 1814.3f);
  EXPECT_FLOAT_EQ(m.shock_spring_rate_range[1], 4502.2f);
  EXPECT_FLOAT_EQ(m.shock_linkage[BIKE_SWINGARM_TRAVEL], 0.5303f);
  EXPECT_FLOAT_EQ(m.primary_ratio, 3.15f);
  EXPECT_NEAR(m.gear_ratios[0], 2.3571f, 1e-4);
  EXPECT_NEAR(m.gear_ratios[4], 1.1333f, 1e-4);
  EXPECT_EQ(m.gear_ratios[5], -1);
  EXPECT_FLOAT_EQ(m.engine_constants[0], 0.004883f);
  EXPECT_FLOAT_EQ(m.rpm_thresholds[BIKE_RPM_LIMIT], 12750);
  // Full throttle: 5 at idle, peak 15.97 at 10000, 0 at 13000 and 13500,
  // -11 at 24500; closed throttle 2, 2, 1, 0, -1, -1.2 ... -23.
  EXPECT_FLOAT_EQ(m.full_throttle_torque[0], 5);
  EXPECT_FLOAT_EQ(m.full_throttle_torque[20], 15.97f);
  for (int i = 0; i < BIKE_TORQUE_POINTS; ++i)
    EXPECT_LE(m.full_throttle_torque[i], m.full_throttle_torque[20]);
  EXPECT_FLOAT_EQ(m.full_throttle_torque[24], 12.7f);
  EXPECT_FLOAT_EQ(m.full_throttle_torque[25], 2.1f);
  EXPECT_EQ(m.full_throttle_torque[26], 0);
  EXPECT_EQ(m.full_throttle_torque[27], 0);
  EXPECT_EQ(m.full_throttle_torque[28], -1);
  EXPECT_EQ(m.full_throttle_torque[49], -11);
  const float closed_start[6] = {2, 2, 1, 0, -1, -1.2f};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(m.closed_throttle_torque[i], closed_start[i]);
  EXPECT_EQ(m.closed_throttle_torque[49], -23);

  const char* parts[BIKE_PART_FILE_COUNT] = {
      "@cr125_frame.jm",        "@generic_frame.shp",      "@cr125.png",
      "@cr125_fork_upper.jm",   "@generic_fork_upper.shp", "@cr125_fork_lower.jm",
      "@generic_fork_lower.shp", "@cr125_swingarm.jm",     "@generic_swingarm.shp",
      "@front_wheel.jm",        "@front_wheel.shp",        "@rear_wheel.jm",
      "@rear_wheel.shp",        "@wheels.png",             "@rider_head.jm",
      "@rider_head.png",        "@rider_body.jm",          "@rider_body_fp.jm",
      "@generic_rider.shp",     "@rider_body.png",         "@cr125_side_plates.jm",
      "@cr125_front_plate.jm",  "@rider_plate.jm",
  };
  for (int p = 0; p < BIKE_PART_FILE_COUNT; ++p) EXPECT_STREQ(m.part_files[p], parts[p]);
}

TEST(BikeModelTable, OtherQuotedRows) {
  const bike_model* crf = bike_model_find("crf450(2018)");
  ASSERT_NE(crf, nullptr);
  EXPECT_FLOAT_EQ(crf->frame_mass, 4.735f);
  EXPECT_FLOAT_EQ(crf->rider_mass, 5.4688f);
  EXPECT_FLOAT_EQ(crf->primary_ratio, 2.3214f);
  EXPECT_EQ(crf->front_sprocket, 13);
  EXPECT_EQ(crf->rear_sprocket, 49);
  EXPECT_EQ(crf->rpm_thresholds[0], 6000);
  EXPECT_EQ(crf->rpm_thresholds[1], 10500);
  EXPECT_EQ(crf->rpm_thresholds[2], 12000);
  float peak = 0;
  for (float t : crf->full_throttle_torque) peak = fmaxf(peak, t);
  EXPECT_NEAR(peak, 35, 1);

  const bike_model* yz = bike_model_find("yz250(2012)");
  ASSERT_NE(yz, nullptr);
  EXPECT_FLOAT_EQ(yz->primary_ratio, 3.0f);
  EXPECT_EQ(yz->front_sprocket, 14);
  EXPECT_EQ(yz->rear_sprocket, 50);
  EXPECT_EQ(yz->rpm_thresholds[0], 6000);
  EXPECT_EQ(yz->rpm_thresholds[1], 9000);
  EXPECT_EQ(yz->rpm_thresholds[2], 10500);

  const bike_model* rs = bike_model_find("rs50cr");
  ASSERT_NE(rs, nullptr);
  const float gears[6] = {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f};
  for (int g = 0; g < 6; ++g) EXPECT_FLOAT_EQ(rs->gear_ratios[g], gears[g]);
  EXPECT_EQ(rs->front_sprocket, 12);
  EXPECT_EQ(rs->rear_sprocket, 55);
  EXPECT_FLOAT_EQ(rs->engine_constants[0], 0.0012f);
  EXPECT_FLOAT_EQ(rs->engine_constants[1], 1200);
  EXPECT_FLOAT_EQ(rs->engine_constants[2], 1.0f);
  peak = 0;
  for (float t : rs->full_throttle_torque) peak = fmaxf(peak, t);
  EXPECT_NEAR(peak, 3.7f, 0.05f);
  for (int p = 0; p < BIKE_PART_FILE_COUNT; ++p)
    EXPECT_STREQ(rs->part_files[p], bike_models[0].part_files[p]) << "part " << p;
}

// Part models are drawn at the bodies' rest places, so every row that wears
// the same frame model must have the same chassis.
TEST(BikeModelTable, RowsSharingPartsShareTheChassis) {
  for (int a = 0; a < BIKE_MODEL_COUNT; ++a)
    for (int b = a + 1; b < BIKE_MODEL_COUNT; ++b) {
      const bike_model& x = bike_models[a];
      const bike_model& y = bike_models[b];
      if (strcmp(x.part_files[BIKE_PART_FRAME_MODEL], y.part_files[BIKE_PART_FRAME_MODEL]) != 0)
        continue;
      SCOPED_TRACE(std::string(x.name) + " and " + y.name);
      for (int p = 0; p < BIKE_PART_FILE_COUNT; ++p)
        EXPECT_STREQ(x.part_files[p], y.part_files[p]);
      size_t from = offsetof(bike_model, front_wheel_position);
      size_t to = offsetof(bike_model, frame_mass);
      EXPECT_EQ(memcmp((const char*)&x + from, (const char*)&y + from, to - from), 0);
      to = offsetof(bike_model, fork_leg_spacing);
      from = offsetof(bike_model, frame_size);
      EXPECT_EQ(memcmp((const char*)&x + from, (const char*)&y + from, to - from), 0);
    }
  EXPECT_STREQ(bike_model_find("rs50kx")->part_files[0], bike_model_find("kx125")->part_files[0]);
}

struct point3 {
  float x, y, z;
};
point3 at(const float* p) { return {p[0], p[1], p[2]}; }
point3 operator+(point3 a, point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
point3 operator-(point3 a, point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float length(point3 a) { return sqrtf(a.x * a.x + a.y * a.y + a.z * a.z); }

// The rider's points as they lie on a bike at rest, in the rider body's
// coordinates (no body is turned at rest).
point3 on_fork(const bike_model& m, int index) {
  return at(m.fork_upper_position) - at(m.rider_position) + at(m.pose_geometry + index);
}
point3 on_frame(const bike_model& m, int index) {
  return at(m.frame_position) - at(m.rider_position) + at(m.pose_geometry + index);
}
point3 bone(const bike_model& m, int b) {
  return at(m.pose_geometry + BIKE_POSE_BONE_CENTRES + 3 * b);
}

TEST(BikeModelPose, RiderFitsEveryBikeAtRest) {
  for (const bike_model& m : bike_models) {
    SCOPED_TRACE(m.name);
    const float* g = m.pose_geometry;
    // Left and right are mirror images.
    for (int left : {BIKE_POSE_LEFT_SHOULDER, BIKE_POSE_LEFT_HIP, BIKE_POSE_LEFT_GRIP,
                     BIKE_POSE_LEFT_FOOT_REST}) {
      EXPECT_LT(g[left], 0);
      EXPECT_EQ(g[left], -g[left + 3]);
      EXPECT_EQ(g[left + 1], g[left + 4]);
      EXPECT_EQ(g[left + 2], g[left + 5]);
    }
    float arm = g[BIKE_POSE_UPPER_ARM] + g[BIKE_POSE_FOREARM];
    float leg = g[BIKE_POSE_THIGH] + g[BIKE_POSE_SHIN];
    for (int side = 0; side < 2; ++side) {
      point3 shoulder = at(g + BIKE_POSE_LEFT_SHOULDER + 3 * side);
      point3 hip = at(g + BIKE_POSE_LEFT_HIP + 3 * side);
      point3 grip = on_fork(m, BIKE_POSE_LEFT_GRIP + 3 * side);
      point3 rest = on_frame(m, BIKE_POSE_LEFT_FOOT_REST + 3 * side);
      // Elbows and knees stay bent: the reach is short of the limb's 0.95.
      EXPECT_LT(length(grip - shoulder), 0.95f * arm);
      EXPECT_LT(length(rest - hip), 0.95f * leg);
      // Hands ahead of the shoulders, feet below and ahead of the hips.
      EXPECT_LT(grip.z, shoulder.z);
      EXPECT_LT(rest.y, hip.y);
    }
    // Chest to bar at least 1.25 ft: the drawing leaves a rider at rest upright.
    point3 chest = {0, g[BIKE_POSE_LEFT_SHOULDER + 1], g[BIKE_POSE_LEFT_SHOULDER + 2]};
    point3 bar = at(m.fork_upper_position) - at(m.rider_position) +
                 point3{0, g[BIKE_POSE_LEFT_GRIP + 1], g[BIKE_POSE_LEFT_GRIP + 2]};
    EXPECT_GE(length(bar - chest), 1.25f);
    // One rider body model for all: the bind pose is the same in every row.
    for (int i = BIKE_POSE_BONE_CENTRES; i < BIKE_POSE_FLOATS; ++i)
      EXPECT_EQ(g[i], bike_models[0].pose_geometry[i]) << "float " << i;
  }
}

// The bind pose is the rider standing on the first row: its pivots sit on
// the rider's joints and its limbs have the rider's lengths.
TEST(BikeModelPose, BindPoseIsTheRiderOnTheFirstBike) {
  const bike_model& m = bike_models[0];
  const float* g = m.pose_geometry;
  enum { l_elbow, r_elbow, l_shoulder, r_shoulder, l_knee, r_knee, l_hip, r_hip, hips };
  for (int side = 0; side < 2; ++side) {
    SCOPED_TRACE(side ? "right" : "left");
    point3 shoulder = at(g + BIKE_POSE_LEFT_SHOULDER + 3 * side);
    point3 hip = at(g + BIKE_POSE_LEFT_HIP + 3 * side);
    EXPECT_EQ(length(bone(m, l_shoulder + side) - shoulder), 0);
    EXPECT_EQ(length(bone(m, l_hip + side) - hip), 0);
    point3 elbow = bone(m, l_elbow + side), knee = bone(m, l_knee + side);
    EXPECT_NEAR(length(elbow - shoulder), g[BIKE_POSE_UPPER_ARM], 1e-4);
    EXPECT_NEAR(length(on_fork(m, BIKE_POSE_LEFT_GRIP + 3 * side) - elbow), g[BIKE_POSE_FOREARM],
                1e-4);
    EXPECT_NEAR(length(knee - hip), g[BIKE_POSE_THIGH], 1e-4);
    EXPECT_NEAR(length(on_frame(m, BIKE_POSE_LEFT_FOOT_REST + 3 * side) - knee),
                g[BIKE_POSE_SHIN], 1e-4);
    // Elbows out beyond the shoulders, knees forward of the hips and out.
    float out = side ? 1.0f : -1.0f;
    EXPECT_GT(out * (elbow.x - shoulder.x), 0);
    EXPECT_LT(knee.z, hip.z);
    EXPECT_GT(out * (knee.x - hip.x), 0);
  }
  point3 centre = bone(m, hips);
  EXPECT_EQ(centre.x, 0);
  EXPECT_EQ(centre.y, g[BIKE_POSE_LEFT_HIP + 1]);
  EXPECT_EQ(centre.z, g[BIKE_POSE_LEFT_HIP + 2]);
}

class BikeModelReadout : public ::testing::Test {
 protected:
  void SetUp() override {
    test_log_begin();
  }
  void TearDown() override { test_log_end(); }
  std::string logged() { return test_log_text(); }
};

TEST_F(BikeModelReadout, SettingsMapThroughTheRanges) {
  const bike_model* m = &bike_models[0];
  // (322.5 + 860.1) / 2 x 0.000744082 kg/mm per leg.
  EXPECT_NEAR(bike_model_fork_spring_rate(m, 0.5f), 0.440f, 0.0005f);
  struct Case {
    float (*readout)(const bike_model*, float);
    float at0, at1;
  } cases[] = {
      {bike_model_fork_spring_rate, 322.5f * 0.000744082f, 860.1f * 0.000744082f},
      {bike_model_fork_preload_mm, 0, 0.0833f * 304.8f},
      {bike_model_fork_oil_level_mm, 0.4167f * 304.8f, 0.25f * 304.8f},
      {bike_model_shock_spring_rate, 1814.3f * 0.00148816f, 4502.2f * 0.00148816f},
      {bike_model_shock_preload_mm, 0, 0.3333f * 304.8f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(c.readout(m, 0), c.at0);
    EXPECT_FLOAT_EQ(c.readout(m, 1), c.at1);
    EXPECT_FLOAT_EQ(c.readout(m, 1.5f), c.at1);  // clamped
    EXPECT_FLOAT_EQ(c.readout(m, -2), c.at0);
    EXPECT_FLOAT_EQ(c.readout(m, NAN), c.at0);
    EXPECT_FLOAT_EQ(c.readout(m, 0.25f), c.at0 + (c.at1 - c.at0) * 0.25f);
  }
  EXPECT_EQ(bike_model_front_sprocket(m), 13);
  EXPECT_EQ(bike_model_rear_sprocket(m), 52);
}

TEST_F(BikeModelReadout, MissingRowGivesZeroAndALogLine) {
  EXPECT_EQ(bike_model_fork_spring_rate(nullptr, 0.5f), 0);
  EXPECT_EQ(bike_model_shock_preload_mm(nullptr, 0.5f), 0);
  EXPECT_EQ(bike_model_rear_sprocket(nullptr), 0);
  std::string log = logged();
  EXPECT_NE(log.find("bike_model_fork_spring_rate: no bike model"), std::string::npos) << log;
  EXPECT_NE(log.find("bike_model_rear_sprocket: no bike model"), std::string::npos) << log;
}

}  // namespace
