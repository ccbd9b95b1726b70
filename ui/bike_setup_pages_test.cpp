#include "ui/bike_setup_pages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike_model.h"
#include "bike/rider.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/rider_look.h"
#include "ui/bike_setup.h"
#include "ui/menu.h"

namespace {

std::vector<int> stability_calls;
void stability_double(int level) { stability_calls.push_back(level); }
int applies;
int apply_double(rider*) { return ++applies; }

class BikeSetupPages : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    menu_pages_install();
    int entries = 0;
    bike_setup_entries(&entries);  // gives "Bike" its options
    race_hooks = {};
    race_hooks.apply_bike_setup = apply_double;
    bike_pages_apply_stability = stability_double;
    saved_ = bike_setup;
    stability_calls.clear();
    applies = 0;
    net_settings_changed = 0;
    viewed_slot = 3;
    rider_slots[3] = reinterpret_cast<rider*>(&fake_rider_);
    rider_slot_kind[3] = RIDER_LOCAL;
    menu_page = page_bike_setup;
    menu_selection = 0;
  }
  void TearDown() override {
    rider_slots[3] = nullptr;
    rider_slot_kind[3] = 0;
    viewed_slot = 160;
    bike_setup = saved_;
    bike_pages_apply_stability = apply_stability_level;
    option_list_set_options(&bike_setup_menu.bike_texture, nullptr, 0);
    free_rider_look();
    race_hooks = {};
    menu_page = -1;
  }
  static void key_on(int item, int code) {
    menu_selection = item;
    bike_setup_page_key(code);
  }
  bike_setup_record saved_;
  long fake_rider_ = 0;
};

TEST_F(BikeSetupPages, StabilityCallsThePresetOnlyWhenItsIntegerChanges) {
  bike_setup.stability = 100;
  key_on(10, menu_keys.left);
  EXPECT_EQ(stability_calls, std::vector<int>{99});
  EXPECT_EQ(applies, 1);
  // A value dragged within 99 keeps its integer part.
  bike_setup.stability = 99.2;
  bike_setup_menu.stability.step = 0.5;
  key_on(10, menu_keys.right);
  bike_setup_menu.stability.step = 1;
  EXPECT_DOUBLE_EQ(bike_setup.stability, 99.7);
  EXPECT_EQ(stability_calls.size(), 1u);
  // "*" opens the advanced page.
  key_on(10, '*');
  EXPECT_EQ(menu_page, page_stability);
}

TEST_F(BikeSetupPages, WhichItemsReapplyAndWhichFlagTheNetwork) {
  for (int item = 3; item <= 24; item++) {
    SCOPED_TRACE(item);
    menu_page = page_bike_setup;
    applies = 0;
    net_settings_changed = 0;
    stability_calls.clear();
    bike_setup.stability = 50;
    bike_setup.auto_clutch_rpms = bike_setup.brake_torque = bike_setup.rear_brake_torque = 250;
    bike_setup.max_dab_speed = 30;
    bike_setup.arcade = bike_setup.front_brake = bike_setup.rear_brake = bike_setup.stop_wheelies = 0;
    bike_setup.auto_shift = bike_setup.auto_dab = bike_setup.sticky_dab = bike_setup.auto_align = 0;
    bike_setup.reverse_steering = bike_setup.lean_indicator = 0;
    // Text fields take a typed character, the rest "right".
    key_on(item, item == 4 || item == 5 ? '7' : menu_keys.right);
    const bool reapplies = (item >= 10 && item <= 20) || item == 22;
    EXPECT_EQ(applies, reapplies ? 1 : 0);
    const bool flags = item <= 9;
    // Lists with no options (skins here, with no data) still flag.
    EXPECT_EQ(net_settings_changed, flags ? 1 : 0);
  }
  // Without a local rider in the viewed slot nothing is re-applied.
  for (int kind : {RIDER_REMOTE, RIDER_ROBOT}) {
    rider_slot_kind[3] = kind;
    applies = 0;
    key_on(16, menu_keys.right);
    EXPECT_EQ(applies, 0);
  }
  rider_slot_kind[3] = RIDER_LOCAL;
  rider_slots[3] = nullptr;
  key_on(16, menu_keys.right);
  EXPECT_EQ(applies, 0);
}

TEST_F(BikeSetupPages, SuspensionAndStabilitySlidersReapply) {
  menu_page = page_suspension;
  bike_setup.fork_compression_adjustment = 50;
  menu_selection = 1;
  for (int i = 0; i < 3; i++) suspension_page_key(menu_keys.right);
  EXPECT_DOUBLE_EQ(bike_setup.fork_compression_adjustment, 53);
  EXPECT_EQ(applies, 3);
  bike_setup.rider_mass_distribution = 0.5;
  menu_selection = 20;
  suspension_page_key(menu_keys.right);  // at its top: no change
  EXPECT_EQ(applies, 3);
  menu_page = page_stability;
  bike_setup.restricted_lock = 7.5;
  menu_selection = 15;
  stability_page_key(menu_keys.left);
  EXPECT_DOUBLE_EQ(bike_setup.restricted_lock, 7.375);
  EXPECT_EQ(applies, 4);
  menu_selection = 0;
  stability_page_key(menu_keys.enter);
  EXPECT_EQ(menu_page, page_bike_setup);
}

TEST_F(BikeSetupPages, ANewBikeRebuildsBikeGraphicsWithDefaultChosen) {
  const bike_model* yz = bike_model_find("yz250f(2017)");
  ASSERT_NE(yz, nullptr);
  std::snprintf(bike_setup.bike_texture, sizeof bike_setup.bike_texture, "old");
  bike_setup.bike = 0;
  // Through the chooser: Enter opens it, a row picks the bike.
  key_on(3, menu_keys.enter);
  ASSERT_EQ(menu_page, page_chooser);
  EXPECT_STREQ(chooser_title, "Choose Bike");
  chooser_callback(static_cast<int>(yz - bike_models));
  EXPECT_EQ(bike_setup.bike, yz - bike_models);
  ASSERT_GE(bike_setup_menu.bike_texture.count, 1);
  EXPECT_STREQ(bike_setup_menu.bike_texture.options[0], "default");
  EXPECT_EQ(*bike_setup_menu.bike_texture.selected, 0);
  EXPECT_STREQ(bike_setup.bike_texture, "");
  EXPECT_EQ(net_settings_changed, 1);
  // Picking the same bike again changes nothing.
  net_settings_changed = 0;
  chooser_callback(static_cast<int>(yz - bike_models));
  EXPECT_EQ(net_settings_changed, 0);
}

TEST_F(BikeSetupPages, ReadoutsFollowTheBikeFunctions) {
  const bike_model* yz = bike_model_find("yz250f(2017)");
  ASSERT_NE(yz, nullptr);
  bike_setup.bike = static_cast<int>(yz - bike_models);
  char text[64], expect[64];
  for (double v : {0.0, 50.0, 100.0}) {
    SCOPED_TRACE(v);
    const float f = static_cast<float>(v * 0.01);
    bike_setup.fork_spring_rate_adjustment = v;
    ASSERT_EQ(suspension_readout(5, text, sizeof text), 1);
    std::snprintf(expect, sizeof expect, "%.3f kg/mm", bike_model_fork_spring_rate(yz, f));
    EXPECT_STREQ(text, expect);
    bike_setup.fork_preload_adjustment = v;
    suspension_readout(6, text, sizeof text);
    std::snprintf(expect, sizeof expect, "%.2f mm", bike_model_fork_preload_mm(yz, f));
    EXPECT_STREQ(text, expect);
    bike_setup.fork_oil_level_adjustment = v;
    suspension_readout(7, text, sizeof text);
    std::snprintf(expect, sizeof expect, "%.2f mm", bike_model_fork_oil_level_mm(yz, f));
    EXPECT_STREQ(text, expect);
    bike_setup.shock_spring_rate_adjustment = v;
    suspension_readout(12, text, sizeof text);
    std::snprintf(expect, sizeof expect, "%.2f kg/mm", bike_model_shock_spring_rate(yz, f));
    EXPECT_STREQ(text, expect);
    bike_setup.shock_preload_adjustment = v;
    suspension_readout(13, text, sizeof text);
    std::snprintf(expect, sizeof expect, "%.2f mm", bike_model_shock_preload_mm(yz, f));
    EXPECT_STREQ(text, expect);
  }
  bike_setup.front_sprocket_adjustment = -2;
  suspension_readout(14, text, sizeof text);
  std::snprintf(expect, sizeof expect, "%.2f teeth", bike_model_front_sprocket(yz) - 2);
  EXPECT_STREQ(text, expect);
  bike_setup.rear_sprocket_adjustment = 1;
  suspension_readout(15, text, sizeof text);
  std::snprintf(expect, sizeof expect, "%.2f teeth", bike_model_rear_sprocket(yz) + 1);
  EXPECT_STREQ(text, expect);
  EXPECT_EQ(suspension_readout(1, text, sizeof text), 0);  // no readout of its own
  bike_setup.bike = -1;  // unknown bike
  EXPECT_EQ(suspension_readout(5, text, sizeof text), 0);
}

}  // namespace
