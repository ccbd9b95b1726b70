#include "race/control_bindings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "bike/bike_model.h"
#include "platform/input.h"
#include "race/bike_setup.h"

namespace {

TEST(ControlBindings, DefaultsNameRealKeysAndEachControlHasItsInputs) {
  control_bindings_reset();
  for (int i = 0; i < control_binding_count; ++i) {
    int code = 0;
    EXPECT_TRUE(input_key_code_from_name(control_bindings[i].key_name, &code)) << control_binding_keys[i];
    EXPECT_STREQ(control_bindings[i].key_name, control_binding_defaults[i]);
    EXPECT_EQ(control_bindings[i].axis_name, nullptr);
    EXPECT_FLOAT_EQ(control_bindings[i].axis_maximum, 1.0f);
  }
  // Every control 0..8 is driven; the paired ones with both signs; no
  // command binding drives one.
  int plus[9] = {}, minus[9] = {};
  for (const control_binding_input& in : control_binding_inputs) {
    ASSERT_GE(in.control, 0);
    ASSERT_LT(in.control, 9);
    EXPECT_LT(in.binding, binding_pause);
    (in.sign > 0 ? plus : minus)[in.control]++;
  }
  for (int c = 0; c < 9; ++c) EXPECT_EQ(plus[c], 1) << c;
  for (int c : {0, 4, 8}) EXPECT_EQ(minus[c], 1) << c;
  EXPECT_STREQ(control_bindings[binding_console].label, "Chat");
}

TEST(BikeSetup, DefaultBikeIsTheTablesRow) {
  ASSERT_GE(bike_setup_default_bike, 0);
  ASSERT_LT(bike_setup_default_bike, BIKE_MODEL_COUNT);
  EXPECT_STREQ(bike_models[bike_setup_default_bike].name, "450sxf(2018)");
  EXPECT_EQ(bike_setup.bike, bike_setup_default_bike);
  EXPECT_STREQ(bike_setup.number, "999");
  EXPECT_DOUBLE_EQ(bike_setup.rider_mass_distribution, 0.33);
}

}  // namespace
