// Shared fixtures of the results tests.
#include "race/test_support_results.h"

#include <gtest/gtest.h>

#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/net_values.h"
#include "race/race_state.h"
#include "race/results.h"
#include "terrain/dynamics_world.h"
#include "terrain/track.h"

void results_test_open(int32_t first_lap_gates, int32_t normal_lap_gates) {
  ASSERT_EQ(dynamics_open(), 1);
  rider_table_init();
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    rider_slots[i] = nullptr;
    rider_slot_kind[i] = RIDER_REMOTE;
  }
  state_history_clear_all();
  message_ring_clear();
  running_order_clear();
  results_clear();
  race_clock = {};
  race_clock.race_laps = race_clock.finish_lap = 3;
  race_clock.half_way_lap = 2;
  route.gate_count = 3;
  route.first_lap_gates = first_lap_gates;
  route.normal_lap_gates = normal_lap_gates;
  net_online = 0;
  net_own_slot = RIDER_NO_SLOT;
  own_start_position = RIDER_NO_SLOT;
  viewed_slot = RIDER_NO_SLOT;
  off_course_bias = 10.0f;
  off_course_scale = 1.5f;
}

void results_test_close() {
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
    rider_slot_kind[i] = RIDER_REMOTE;
    net_state_time[i] = 0;
  }
  rider_table_init();
  dynamics_close();
  state_history_clear_all();
  running_order_clear();
  results_clear();
  race_clock = {};
  route.gate_count = route.first_lap_gates = route.normal_lap_gates = 0;
  net_online = 0;
  net_own_slot = RIDER_NO_SLOT;
  own_start_position = RIDER_NO_SLOT;
}

rider* results_test_rider(int slot, int kind, const char* number, std::initializer_list<int32_t> ticks) {
  rider* r = rider_create("cr125", (unsigned)slot, 1, number, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(r, nullptr);
  if (!r) return nullptr;
  rider_slots[slot] = r;
  rider_slot_kind[slot] = kind;
  int n = 0;
  for (int32_t t : ticks) rider_set_timing_tick(r, n++, t);
  r->timing_count = n;
  return r;
}

bool results_test_console_has(const std::string& text) {
  for (int k = 1; k <= message_ring_size; ++k) {
    const char* line = message_ring_line(k);
    if (line && std::string(line).compare(0, text.size(), text) == 0) return true;
  }
  return false;
}
