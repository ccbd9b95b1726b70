#include "robot/record_pass.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/results.h"
#include "terrain/dynamics_world.h"
#include "terrain/track.h"

namespace {

// Six gates along +z, 100 ft apart, facing +z, 20 ft wide. Lap 1 crosses
// gates 0, 1, 2; every later lap 3, 4, 5, 2: gate 2 is the finish line.
struct RecordPass : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(dynamics_open(), 1);
    rider_table_init();
    for (int i = 0; i < 6; i++) checkpoints[i] = {20.0f, 0, 0, 100.0f * (i + 1), 0, 0, 1, 0};
    checkpoint_count = 6;
    const int entries[] = {0, 1, 2, 3, route_flagged + 4, 5, 2};
    for (int i = 0; i < 7; i++) route.entries[i] = entries[i];
    route.gate_count = 6;
    route.first_lap_gates = 3;
    route.normal_lap_gates = 4;
    race_clock = {};
    race_clock.race_laps = race_clock.finish_lap = 2;
    running_order_clear();
    results_clear();
    r = make(0, RIDER_LOCAL);
  }
  void TearDown() override {
    for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
      if (rider_slots[i]) rider_destroy(rider_slots[i]);
      rider_slots[i] = nullptr;
    }
    rider_table_init();
    dynamics_close();
    checkpoint_count = 0;
    route.gate_count = route.first_lap_gates = route.normal_lap_gates = 0;
    race_clock = {};
    running_order_clear();
    results_clear();
  }
  rider* make(int slot, int kind) {
    rider* made = rider_create("cr125", (unsigned)slot, 1, "7", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(made, nullptr);
    rider_slots[slot] = made;
    rider_slot_kind[slot] = kind;
    return made;
  }
  // Puts the frame at (x, z) and runs the step at the tick.
  void ride(float x, float z, int32_t tick) {
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    rider_translate(r, x - (float)p[0], 0, z - (float)p[2]);
    race_clock.current_tick = tick;
    line_library_record_pass(r);
  }
  void expect_ticks(std::initializer_list<int32_t> ticks) {
    EXPECT_EQ(rider_next_timing_index(r), (int)ticks.size());
    int n = 0;
    for (int32_t t : ticks) EXPECT_EQ(rider_timing_tick(r, n++), t) << "crossing " << n - 1;
  }
  rider* r = nullptr;
};

TEST_F(RecordPass, GatesInTurnOnTheHalfAheadOfTheCentre) {
  ride(0, 99, 10);  // behind gate 0
  expect_ticks({});
  ride(25, 101, 11);  // ahead, but outside its width
  expect_ticks({});
  ride(5, 101, 12);
  expect_ticks({12});
  ride(5, 102, 13);  // still there: crossing 1 is next
  expect_ticks({12});
  ride(0, 201, 20);
  expect_ticks({12, 20});
  EXPECT_EQ(running_order.count, 1) << "each crossing brings the results up to date";
  EXPECT_EQ(running_order.entries[0].crossings, 2);
}

TEST_F(RecordPass, AMissedGateStaysUntimed) {
  ride(0, 101, 10);
  ride(0, 301, 30);  // gate 1 missed, gate 2 reached
  expect_ticks({10, -1, 30});
  // Reversing through gate 2 again counts nothing.
  ride(0, 301, 31);
  expect_ticks({10, -1, 30});
}

TEST_F(RecordPass, BackThroughACrossedGateOnlyToMakeUpAMissedOne) {
  ride(0, 101, 10);
  ride(0, 201, 20);
  ride(0, 101, 25);  // back through gate 0, nothing missing
  expect_ticks({10, 20});
  // Gate 1 missed: the list made by hand.
  rider_set_timing_tick(r, 1, -1);
  rider_set_timing_tick(r, 2, 30);
  r->timing_count = 3;
  ride(0, 201, 40);  // back at gate 1: the missed crossing is taken
  EXPECT_EQ(rider_timing_tick(r, 1), 40);
  EXPECT_EQ(rider_next_timing_index(r), 2);
}

TEST_F(RecordPass, ALapsLastGateIsNeverSkipped) {
  ride(0, 101, 10);
  ride(0, 201, 20);
  ride(0, 401, 40);  // gate 3 is the next lap's: the finish line comes first
  expect_ticks({10, 20});
  ride(0, 501, 50);
  expect_ticks({10, 20});
  ride(0, 301, 60);
  expect_ticks({10, 20, 60});
}

TEST_F(RecordPass, FinishingByLapsOrBehindTheLeader) {
  // Two laps: crossing 6 (gate 2 again) finishes.
  ride(0, 101, 10);
  ride(0, 201, 20);
  ride(0, 301, 30);
  EXPECT_EQ(r->finished, 0);
  ride(0, 401, 40);
  ride(0, 501, 50);
  ride(0, 601, 55);
  ride(0, 301, 60);
  EXPECT_EQ(r->finished, 1);
  ride(0, 401, 70);  // finished riders record nothing more
  EXPECT_EQ(rider_next_timing_index(r), 7);

  // A rider a lap down finishes at its next lap line once the leader is
  // through the finishing crossing.
  rider* leader = r;
  r = make(1, RIDER_ROBOT);
  ride(0, 101, 80);
  ride(0, 201, 90);
  EXPECT_EQ(running_order.entries[0].slot, 0);
  ride(0, 301, 100);
  EXPECT_EQ(r->finished, 1);
  EXPECT_EQ(leader->finished, 1);
}

TEST_F(RecordPass, NothingWithoutGates) {
  route.gate_count = 0;
  ride(0, 101, 10);
  expect_ticks({});
}

}  // namespace
