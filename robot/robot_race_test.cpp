// The line library under the real race reset and tick on the sample track:
// a rider the recording sees as human is carried round two laps headless.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>
#include <string>

#include "bike/rider.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "race/game_state.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

class RobotRace : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    robot_install_hooks();
    for (int& c : line_up) c = 0;
    line_up[0] = line_up_local;
    lines_skill = -1;
    std::filesystem::remove_all(home_lines());
  }
  void TearDown() override {
    race_test_close();
    game_state.learn_lines = 0;
    lines_skill = -1;
    std::filesystem::remove_all(home_lines());
  }
  static std::string home_lines() {
    char* path = home_file_path("@quarrybend/lines_novice");
    std::string p = path ? path : "";
    check_free(path);
    return p;
  }
  int reset() { return reset_session(line_up, 0, 0, 0, 3, 0); }
  // The local rider is carried along the route, gate centre to gate centre
  // at 30 ft/s, held at its grid pose and height above the ground, until it
  // has made `crossings` crossings. The race's own reset, tick, contacts and
  // recording run as in a race; only the riding is scripted.
  void ride(int32_t crossings) {
    rider* r = rider_slots[0];
    dBodyID frame = rider_frame_body(r);
    const dReal* p0 = dBodyGetPosition(frame);
    const float rest = (float)p0[1] - terrain_height(&track_field, (float)p0[0], (float)p0[2]);
    dReal offset[RIDER_BODY_COUNT][3], rotation[RIDER_BODY_COUNT][12];
    for (int b = 0; b < RIDER_BODY_COUNT; b++) {
      const dReal* q = dBodyGetPosition(r->bodies[b]);
      for (int k = 0; k < 3; k++) offset[b][k] = q[k] - p0[k];
      std::memcpy(rotation[b], dBodyGetRotation(r->bodies[b]), sizeof rotation[b]);
    }
    double x = p0[0], z = p0[2];
    const double step = 30.0 / 128;
    for (int t = 0; t < 128 * 600 && r->timing_count < crossings; t++) {
      double vx = 0, vz = 0;
      if (race_clock.current_tick >= race_clock.gate_drop_tick) {
        const checkpoint& g = checkpoints[route_gate_for_crossing(r->timing_count)];
        double dx = g.x - x, dz = g.z - z;
        const double d = std::sqrt(dx * dx + dz * dz);
        // Through the centre and on along the gate's direction.
        if (d < step) dx = g.dx, dz = g.dz;
        const double len = std::sqrt(dx * dx + dz * dz);
        vx = dx / len * 30, vz = dz / len * 30;
        x += vx / 128, z += vz / 128;
      }
      const double y = terrain_height(&track_field, (float)x, (float)z) + rest;
      for (int b = 0; b < RIDER_BODY_COUNT; b++) {
        dBodySetPosition(r->bodies[b], x + offset[b][0], y + offset[b][1], z + offset[b][2]);
        dBodySetRotation(r->bodies[b], rotation[b]);
        dBodySetLinearVel(r->bodies[b], vx, 0, vz);
        dBodySetAngularVel(r->bodies[b], 0, 0, 0);
      }
      simulation_tick();
    }
  }
  int lines() {
    int n = 0;
    for (int32_t k = 0; k < route_library_segments(); k++)
      for (int i = 0; i < line_slots_per_segment; i++) n += library_segment_slots(k)[i].sample_count > 0;
    return n;
  }
  int line_up[160];
};

int32_t segment_starts_before(int32_t n) {
  int32_t s = 0;
  for (int32_t c = 0; c < n; c++) s += crossing_starts_segment(c);
  return s;
}

TEST_F(RobotRace, TwoLapsAddALinePerSegmentAndTheNextResetWritesThem) {
  game_state.learn_lines = 1;
  ASSERT_EQ(reset(), 1);
  ASSERT_EQ(lines(), 0) << "no lines file shipped with this test's data";
  const int32_t laps2 = route.first_lap_gates + route.normal_lap_gates;
  ride(laps2);
  ASSERT_EQ(rider_slots[0]->timing_count, laps2) << "the pilot did not finish two laps";
  // Every segment judged so far: all but the one the last crossing began.
  EXPECT_EQ(lines(), segment_starts_before(laps2) - 1);
  for (int32_t k = 0; k < route_library_segments(); k++)
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& line = library_segment_slots(k)[i];
      if (line.sample_count == 0) continue;
      EXPECT_NEAR(line.sample_count, line.own_time / 32.0, 1.0) << k;
    }
  const std::string before = lines_file_text();
  EXPECT_FALSE(std::filesystem::exists(home_lines())) << "written at the next reset, not before";

  ASSERT_EQ(reset(), 1);
  const std::string written = test_read_file(home_lines());
  EXPECT_EQ(written, before);
  EXPECT_EQ(lines_file_text(), before) << "the reset reads back what it wrote";
}

TEST_F(RobotRace, TheSameRideWritesTheSameBytes) {
  game_state.learn_lines = 1;
  std::string written[2];
  for (std::string& text : written) {
    ASSERT_EQ(reset(), 1);
    ride(route.first_lap_gates + 2);
    ASSERT_EQ(reset(), 1);
    text = test_read_file(home_lines());
    race_test_close();
    std::filesystem::remove_all(home_lines());
    race_test_open();
    robot_install_hooks();
    lines_skill = -1;
  }
  EXPECT_GT(written[0].size(), 100u);
  EXPECT_EQ(written[0], written[1]);
}

TEST_F(RobotRace, WithoutLearningNoFileIsWritten) {
  game_state.learn_lines = 0;
  ASSERT_EQ(reset(), 1);
  ride(4);
  EXPECT_GT(lines(), 0);
  ASSERT_EQ(reset(), 1);
  EXPECT_FALSE(std::filesystem::exists(home_lines()));
  EXPECT_EQ(lines(), 0);
}

// The sample lines the build rode: read back through the game's reader,
// they hold what a bike moving over this ground records.
TEST_F(RobotRace, TheShippedLinesWereRidden) {
  ASSERT_EQ(reset(), 1);
  const dReal* grid = dBodyGetPosition(rider_frame_body(rider_slots[0]));
  const double rest = grid[1] - terrain_height(&track_field, (float)grid[0], (float)grid[2]);
  for (int skill = 0; skill < line_skill_count; skill++) {
    const std::string path = std::string(BK_GAMEDATA_DIR) + "/quarrybend/" + lines_file_name(skill);
    line_library_clear();
    std::string refusal;
    ASSERT_EQ(lines_load_from(path.c_str(), &refusal), 1) << path;
    EXPECT_EQ(refusal, "") << path;
    for (int32_t k = 0; k < route_library_segments(); k++) {
      int used = 0;
      for (int i = 0; i < line_slots_per_segment; i++) {
        const line_record& line = library_segment_slots(k)[i];
        if (line.sample_count == 0) continue;
        used++;
        EXPECT_NEAR(line.sample_count, line.own_time / 32.0, 1.0) << path << " segment " << k;
        for (int32_t n = 0; n < line.sample_count; n++) {
          const line_sample& v = line.samples[n];
          if (v.speed >= 0) {
            EXPECT_NEAR(v.y, terrain_height(&track_field, v.x, v.z) + rest, 1.5) << path << " " << k << " " << n;
          }
          if (n == 0) continue;
          const line_sample& u = line.samples[n - 1];
          const double gap = std::sqrt((v.x - u.x) * (v.x - u.x) + (v.y - u.y) * (v.y - u.y) + (v.z - u.z) * (v.z - u.z));
          const double expected = std::fabs(v.speed) * 0.25;
          EXPECT_LE(std::fabs(gap - expected), std::fmax(0.2 * expected, 1.0)) << path << " " << k << " " << n;
        }
      }
      EXPECT_GE(used, 4) << path << " segment " << k;
    }
    // The first lap's first lines leave from four grid places at least.
    std::vector<line_sample> starts;
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& line = library_segment_slots(0)[i];
      if (line.sample_count == 0) continue;
      int apart = 1;
      for (const line_sample& s : starts)
        apart &= (s.x - line.samples[0].x) * (s.x - line.samples[0].x) + (s.z - line.samples[0].z) * (s.z - line.samples[0].z) > 4;
      if (apart) starts.push_back(line.samples[0]);
    }
    EXPECT_GE(starts.size(), 4u) << path;
  }
}

}  // namespace
