#include "ui/bike_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "bike/rider.h"
#include "bike/test_support_riders.h"
#include "core/file.h"
#include "core/game_clock.h"
#include "core/message_ring.h"
#include "race/race_hooks.h"
#include "tools/testing/test_env.h"
#include "ui/config.h"

namespace {

class BikeSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = bike_setup;
    write_bike_setup(&defaults);
    message_ring_clear();
    search_roots_free();
  }
  void TearDown() override { bike_setup = saved; }
  std::string text() {
    std::string out;
    write_bike_setup(&out);
    return out;
  }
  std::string console() {
    std::string out;
    for (int k = message_ring_size; k >= 1; --k) out += message_ring_line(k);
    return out;
  }
  int read(const std::string& t) { return read_bike_setup_text(t.data(), t.size(), "setups/test"); }
  bike_setup_record saved;
  std::string defaults;
};

// Moves every setup value away from its default, within its range.
void change_setup(int seed) {
  int count = 0;
  const settings_entry* all = bike_setup_entries(&count);
  for (int i = 0; i < count; ++i) {
    const settings_entry& e = all[i];
    if (e.kind == setting_slider || e.kind == setting_stability) {
      menu_slider* s = static_cast<menu_slider*>(e.item);
      *s->value = s->minimum + (s->maximum - s->minimum) * (0.3 + 0.1 * seed);
    } else if (e.kind == setting_list || e.kind == setting_bike) {
      menu_option_list* l = static_cast<menu_option_list*>(e.item);
      *l->selected = (*l->selected + 1 + seed) % l->count;
    } else if (e.kind == setting_text) {
      menu_text_field* f = static_cast<menu_text_field*>(e.item);
      std::snprintf(f->text, static_cast<size_t>(f->max_length) + 1, "%d%d", seed, i);
    }
  }
}

TEST_F(BikeSetupTest, LinesWriteAndReadBack) {
  const std::string& d = defaults;
  EXPECT_EQ(d.rfind("bike=450sxf(2018)\nname=Rider\nnumber=999\nrider_texture=\n", 0), 0u) << d;
  EXPECT_NE(d.find("\nstability=100.000000\nleveling=20.000000\n"), std::string::npos);
  EXPECT_NE(d.find("\nstop_wheelies=Yes\n"), std::string::npos);
  EXPECT_NE(d.find("\nfront_brake=Antilock\nrear_brake=Normal\n"), std::string::npos);
  EXPECT_NE(d.find("\nrider_mass_distribution=0.330000\n"), std::string::npos);

  change_setup(0);
  const std::string first = text();
  ASSERT_NE(first, d);
  change_setup(1);
  ASSERT_NE(text(), first);
  // The handling keys follow "stability" in the file, so theirs win over
  // the preset it sets.
  EXPECT_EQ(read(first), 1) << console();
  EXPECT_EQ(text(), first);
  EXPECT_EQ(console(), "");
}

TEST_F(BikeSetupTest, OldBikeNamesAndStabilityPresets) {
  ASSERT_EQ(read("bike=kx250f\n"), 1) << console();
  EXPECT_STREQ(bike_models[bike_setup.bike].name, "kx250f(2008)");
  struct row {
    int stability;
    double roll_damping, restricted_lock, direct_steering;
  };
  const row rows[] = {{0, 40, 45, 1}, {50, 65, 7.5, 1}, {33, 56.5, 11.75, 1}, {100, 80, 1, 0.125}, {200, 80, 1, 0.125}};
  for (const row& r : rows) {
    apply_stability_level(r.stability);
    EXPECT_DOUBLE_EQ(bike_setup.roll_damping, r.roll_damping) << r.stability;
    EXPECT_DOUBLE_EQ(bike_setup.restricted_lock, r.restricted_lock) << r.stability;
    EXPECT_DOUBLE_EQ(bike_setup.direct_steering, r.direct_steering) << r.stability;
  }
  // A handling key after "stability" wins; "stability" after one does not.
  ASSERT_EQ(read("roll_limit_factor=3\nstability=50\nroll_damping=12\n"), 1);
  EXPECT_DOUBLE_EQ(bike_setup.stability, 50);
  EXPECT_DOUBLE_EQ(bike_setup.roll_damping, 12);
  EXPECT_DOUBLE_EQ(bike_setup.roll_limit_factor, 21);  // 10 + 0.5 x (32 - 10)
}

TEST_F(BikeSetupTest, ABadLineLeavesOnlyItsOwnItem) {
  struct row {
    std::string bad;
    std::string message;
  };
  const std::string long_line = "name=" + std::string(1100, 'n');
  const row rows[] = {
      {"roll_damping=nan", "setup setups/test line 2: not a finite number, skipped"},
      {"just words", "line 2: no '=', skipped"},
      {"arcade=yes", "line 2: names no option"},
      {"bike=cr999", "line 2: names no bike"},
      {"number=1234", "line 2: too long"},
      {"name=" + std::string(64, 'a'), "too long"},
      {"bike_texture=" + std::string(1011, 't'), "line 2: too long"},
      {"bike_texture=" + std::string(1012, 't'), "line 2: line longer than 1024 bytes"},
      {long_line, "line 2: line longer than 1024 bytes"},
  };
  // The good lines around the bad one are taken as if it were not there.
  const std::string before = "leveling=7\n", after = "\nrear_brake_torque=0.5\n";
  ASSERT_EQ(read(before + after), 1);
  const std::string expected = text();
  EXPECT_DOUBLE_EQ(bike_setup.leveling, 7);
  for (const row& r : rows) {
    ASSERT_EQ(read(defaults), 1);
    message_ring_clear();
    EXPECT_EQ(read(before + r.bad + after), 0) << r.bad.substr(0, 40);
    EXPECT_EQ(text(), expected) << r.bad.substr(0, 40);
    EXPECT_NE(console().find(r.message), std::string::npos) << r.message << "\n" << console();
  }
  // Unknown keys are named and skipped; the rest is taken.
  message_ring_clear();
  EXPECT_EQ(read("frobnicate=1\nleveling=9\n"), 1);
  EXPECT_DOUBLE_EQ(bike_setup.leveling, 9);
  EXPECT_NE(console().find("setup setups/test line 1: unknown key \"frobnicate\", skipped"), std::string::npos);
  // The longest name that fits a line is kept whole, and written back
  // within the line limit.
  EXPECT_EQ(read("wheel_texture=" + std::string(1010, 't') + "\n"), 1) << console();
  EXPECT_EQ(std::string(bike_setup.wheel_texture), std::string(1010, 't'));
  EXPECT_EQ(read(text()), 1) << console();
}

TEST_F(BikeSetupTest, SetupFilesAndConfigRows) {
  change_setup(0);
  const std::string written = text();
  ASSERT_EQ(write_bike_setup_file("fast"), 1);
  const std::string home = search_root(0);
  EXPECT_EQ(test_read_file(home + "setups/fast"), written);
  EXPECT_FALSE(std::filesystem::exists(home + "setups/fast~"));
  change_setup(1);
  ASSERT_EQ(read_bike_setup_file("fast"), 1) << console();
  EXPECT_EQ(text(), written);

  EXPECT_EQ(read_bike_setup_file("nowhere"), 0);
  EXPECT_NE(console().find("Error reading setup setups/nowhere: can't open"), std::string::npos);
  const std::string long_name(1100, 'x');
  EXPECT_EQ(write_bike_setup_file(long_name.c_str()), 0);
  EXPECT_EQ(read_bike_setup_file(long_name.c_str()), 0);
  EXPECT_NE(console().find("Setup name longer than 1024 bytes, refused"), std::string::npos);

  // In config the setup sits between time_trial_abort and video_mode, and
  // its refusals are reported like the other settings'.
  const std::string config = config_text();
  const size_t at = config.find(written);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(config.rfind("\n", at - 2), config.find("time_trial_abort=") - 1);
  EXPECT_EQ(config.find("video_mode="), at + written.size());
  message_ring_clear();
  EXPECT_EQ(read_config_text("leveling=abc\n", 13, "config"), 1);
  EXPECT_NE(console().find("config line 1: leveling=abc: not a finite number"), std::string::npos);
}

class ApplySetupTest : public BikeSetupTest {
 protected:
  void SetUp() override {
    BikeSetupTest::SetUp();
    test_track_open();
    r = test_rider_place("450sxf(2018)", 0, 128, 128);
    ASSERT_NE(r, nullptr);
  }
  void TearDown() override {
    test_track_close();
    BikeSetupTest::TearDown();
  }
  rider* r = nullptr;
};

TEST_F(ApplySetupTest, AtRestTheBikeTakesTheSetupInItsUnits) {
  bike_setup.roll_limit_angle = 45;
  bike_setup.max_dab_speed = 60;
  bike_setup.leveling = 33;
  for (auto& row : bike_setup_baseline) {
    row.baseline = *row.value;
    row.changed = 0;
  }
  bike_setup.leveling = 34;
  test_rider_velocity(r, 0, 0, 0);
  ASSERT_EQ(apply_bike_setup(r), 1);
  EXPECT_NEAR(rider_get_roll_limit_angle(r), 0.785398, 1e-6);
  EXPECT_FLOAT_EQ(r->max_dab_speed, 88.0f);
  EXPECT_EQ(bike_setup_baseline[0].changed, 1);  // leveling
  EXPECT_EQ(bike_setup_baseline[1].changed, 0);
}

TEST_F(ApplySetupTest, MovingBikeRefusesAndSaysSoOnTheFirstTry) {
  bike_setup.max_dab_speed = 30;
  const float before = r->max_dab_speed;
  test_rider_velocity(r, 0.2f, 0, 0);
  const char* message = "Settings not applied.  Mechanic can't keep up error.";
  game_clock = 100;
  EXPECT_EQ(apply_bike_setup(r), 0);
  EXPECT_NE(console().find(message), std::string::npos);
  EXPECT_EQ(r->max_dab_speed, before);
  message_ring_clear();
  game_clock = 105;
  EXPECT_EQ(apply_bike_setup(r), 0);
  EXPECT_EQ(console(), "");  // a repeat within 10 s
  game_clock = 116;
  EXPECT_EQ(apply_bike_setup(r), 0);
  EXPECT_NE(console().find(message), std::string::npos);
  game_clock = 0;
}

}  // namespace
