#include "race/gate_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/results.h"
#include "race/test_support_race.h"
#include "race/test_support_results.h"
#include "race/tick.h"
#include "terrain/dynamics_world.h"
#include "terrain/track.h"

namespace {

// Six gates along +z, 100 ft apart, facing +z, 20 ft wide. Lap 1 crosses
// gates 0, 1, 2; every later lap 3, 4, 5, 2: gate 2 is the finish line.
struct GateTiming : ::testing::Test {
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(results_test_open(3, 4));
    for (int i = 0; i < 6; i++) checkpoints[i] = {20.0f, 0, 0, 100.0f * (i + 1), 0, 0, 1, 0};
    checkpoint_count = 6;
    const int entries[] = {0, 1, 2, 3, route_flagged + 4, 5, 2};
    for (int i = 0; i < 7; i++) route.entries[i] = entries[i];
    route.gate_count = 6;
    race_clock = {};
    race_clock.race_laps = race_clock.finish_lap = 2;
    r = make(0, RIDER_LOCAL);
  }
  void TearDown() override {
    results_test_close();
    checkpoint_count = 0;
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
    time_rider(r);
  }
  void expect_ticks(std::initializer_list<int32_t> ticks) {
    EXPECT_EQ(rider_next_timing_index(r), (int)ticks.size());
    int n = 0;
    for (int32_t t : ticks) EXPECT_EQ(rider_timing_tick(r, n++), t) << "crossing " << n - 1;
  }
  rider* r = nullptr;
};

TEST_F(GateTiming, GatesInTurnOnTheHalfAheadOfTheCentre) {
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

TEST_F(GateTiming, AMissedGateStaysUntimed) {
  ride(0, 101, 10);
  ride(0, 301, 30);  // gate 1 missed, gate 2 reached
  expect_ticks({10, -1, 30});
  // Reversing through gate 2 again counts nothing.
  ride(0, 301, 31);
  expect_ticks({10, -1, 30});
}

TEST_F(GateTiming, BackThroughACrossedGateOnlyToMakeUpAMissedOne) {
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

TEST_F(GateTiming, ALapsLastGateIsNeverSkipped) {
  ride(0, 101, 10);
  ride(0, 201, 20);
  ride(0, 401, 40);  // gate 3 is the next lap's: the finish line comes first
  expect_ticks({10, 20});
  ride(0, 501, 50);
  expect_ticks({10, 20});
  ride(0, 301, 60);
  expect_ticks({10, 20, 60});
}

TEST_F(GateTiming, FinishingByLapsOrBehindTheLeader) {
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

TEST_F(GateTiming, NothingWithoutGates) {
  route.gate_count = 0;
  ride(0, 101, 10);
  expect_ticks({});
}

// Lap arithmetic needs no bodies: a rider record with its timing list.
struct Laps : ::testing::Test {
  void SetUp() override {
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(growable_array_init(&r.timing_ticks, sizeof(int32_t), 16), 1);
    saved = rider_track_lap_counts();
    race_clock = {};
  }
  void TearDown() override {
    growable_array_free(&r.timing_ticks);
    gates(saved.has_gates, saved.first_lap_gates, saved.normal_lap_gates);
    race_clock = {};
  }
  void gates(int has, int first, int normal) {
    route.gate_count = has;
    route.first_lap_gates = first;
    route.normal_lap_gates = normal;
  }
  // c crossings, crossing i at tick 1000 + 100 i.
  void crossings(int c) {
    for (int i = 0; i < c; i++) rider_set_timing_tick(&r, i, 1000 + 100 * i);
    rider_truncate_timing(&r, c);
  }
  rider r;
  track_lap_counts saved;
};

TEST_F(Laps, CountedFromTheCrossings) {
  struct count_case {
    int first, normal;
    int64_t crossings;
    int32_t laps;
    int completes;
  };
  const count_case table[] = {
      // First lap 3 gates, then 4 a lap.
      {3, 4, 0, 0, 0}, {3, 4, 2, 0, 0}, {3, 4, 3, 1, 1}, {3, 4, 5, 1, 0},
      {3, 4, 6, 1, 0}, {3, 4, 7, 2, 1}, {3, 4, 11, 3, 1},
      {3, 0, 9, 0, 0},   // no later laps: none is counted
      {0, 0, 0, 0, 0},   // no gates
      {3, -2, 6, 0, 0},  // a damaged count gives no laps, not a crash
      {3, 4, int64_t{1} << 40, INT32_MAX, 0},  // saturates, never wraps
  };
  for (const count_case& c : table) {
    gates(1, c.first, c.normal);
    EXPECT_EQ(laps_completed(c.crossings), c.laps) << c.first << "/" << c.normal << " c=" << c.crossings;
    EXPECT_EQ(crossing_completes_lap(c.crossings), c.completes) << c.first << "/" << c.normal << " c=" << c.crossings;
  }
  gates(1, 3, 4);
  EXPECT_EQ(lap_end_crossing(0), 0);
  EXPECT_EQ(lap_end_crossing(1), 2);
  EXPECT_EQ(lap_end_crossing(3), 10);
  EXPECT_EQ(lap_end_crossing(INT32_MAX), INT32_MAX);
}

TEST_F(Laps, LapAndSegment) {
  struct lap_case {
    int has, first, normal, count;
    int lap, index, segment;
  };
  const std::vector<lap_case> table = {
      {1, 3, 2, 2, 0, 2, 2},  // before the first lap is done
      {1, 3, 2, 3, 1, 0, 1},
      {1, 3, 2, 4, 1, 1, 2},
      {1, 3, 2, 6, 2, 1, 2},
      {1, 3, 2, 0, 0, 0, 0},
      {1, 3, 0, 9, 0, 9, 9},  // no later laps
      {1, 1, 1, 5, 5, 0, 1},
      {0, 3, 2, 6, 0, 0, 0},  // no gates: no laps
      {1, 3, -2, 6, 0, 6, 6},  // a damaged count gives no laps, not a crash
  };
  for (const lap_case& c : table) {
    gates(c.has, c.first, c.normal);
    r.timing_count = c.count;
    const rider_lap_position p = rider_lap_and_segment(&r);
    EXPECT_EQ(p.lap, c.lap) << c.first << "/" << c.normal << " c=" << c.count;
    EXPECT_EQ(p.index, c.index) << c.first << "/" << c.normal << " c=" << c.count;
    EXPECT_EQ(rider_lap_segment(&r), c.segment) << c.first << "/" << c.normal << " c=" << c.count;
  }
}

TEST_F(Laps, LapTimes) {
  // F = 3, N = 2: crossings 2, 4, 6 complete laps 1, 2, 3.
  gates(1, 3, 2);
  race_clock.gate_drop_tick = 256;
  rider_set_timing_tick(&r, 0, 600);
  rider_set_timing_tick(&r, 1, 1000);
  rider_set_timing_tick(&r, 2, 1536);
  rider_set_timing_tick(&r, 3, 1800);
  rider_set_timing_tick(&r, 4, 2176);
  rider_truncate_timing(&r, 5);  // two laps done, half of the third
  struct time_case {
    int n;
    float seconds;
  };
  for (const time_case& c : std::vector<time_case>{{1, 10.0f},   // (1536 - 256) / 128
                                                   {2, 5.0f},    // (2176 - 1536) / 128
                                                   {-1, 5.0f},   // the last completed: lap 2
                                                   {-7, 5.0f},
                                                   {3, 0.0f},    // not done yet
                                                   {0, 0.0f}}) {
    EXPECT_FLOAT_EQ(rider_lap_time(&r, c.n), c.seconds) << c.n;
  }

  // A missing tick gives 0.
  rider_set_timing_tick(&r, 2, -1);
  EXPECT_EQ(rider_lap_time(&r, 1), 0.0f);
  EXPECT_EQ(rider_lap_time(&r, 2), 0.0f);

  // Before the first lap the last completed lap is none.
  rider_truncate_timing(&r, 2);
  EXPECT_EQ(rider_lap_time(&r, -1), 0.0f);

  // Without gates every answer is 0.
  crossings(6);
  gates(0, 3, 2);
  EXPECT_EQ(rider_lap_time(&r, 1), 0.0f);
  EXPECT_EQ(rider_lap_time(&r, -1), 0.0f);
}

TEST_F(Laps, ReadsTheTracksLapCounts) {
  gates(1, 4, 3);
  const track_lap_counts t = rider_track_lap_counts();
  EXPECT_EQ(t.has_gates, 1);
  EXPECT_EQ(t.first_lap_gates, 4);
  EXPECT_EQ(t.normal_lap_gates, 3);
}


// The race built without robot riders (this test does not link them): a
// human stood past each gate of two laps in turn on the sample track is
// timed by the race's own tick, laps and finish included.
struct HumanLaps : ::testing::Test {
  void SetUp() override { race_test_open(); }
  void TearDown() override { race_test_close(); }
  // Stands the rider 4 ft past the gate's centre, facing the gate's way.
  // The placement starts the bike afresh; its crossings stay.
  static void stand_past(rider* r, int gate) {
    const checkpoint& g = checkpoints[gate];
    const float d = std::hypot(g.dx, g.dz);
    const int32_t made = r->timing_count;
    const size_t ticks = r->timing_ticks.count;
    place_rider_clear(r, g.x + 4 * g.dx / d, g.z + 4 * g.dz / d, std::atan2(-g.dx, -g.dz));
    r->timing_count = made;
    r->timing_ticks.count = ticks;
  }
};

TEST_F(HumanLaps, TheTickTimesAHumanWithoutRobots) {
  int line_up[160] = {};
  line_up[0] = line_up_local;
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 2, 0), 1);
  EXPECT_EQ(race_hooks.pass_before_gate_search, nullptr) << "no line library in this build";
  rider* r = rider_slots[0];
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(rider_slot_kind[0], RIDER_LOCAL);
  ASSERT_GT(route.gate_count, 0);

  // A crossing every 2 s from 1 s after the drop.
  const int32_t first_tick = race_clock.gate_drop_tick + 128;
  race_clock.current_tick = first_tick;
  const int32_t last = lap_end_crossing(2);
  for (int32_t c = 0; c <= last; c++) {
    const int gate = crossing_gate(c);
    ASSERT_GE(gate, 0) << c;
    stand_past(r, gate);
    const int32_t tick = race_clock.current_tick;
    EXPECT_EQ(r->finished, 0) << c;
    simulation_tick();
    ASSERT_EQ(rider_next_timing_index(r), c + 1) << "crossing " << c;
    EXPECT_EQ(rider_timing_tick(r, c), tick) << c;
    EXPECT_EQ(laps_completed(c + 1), c < lap_end_crossing(1) ? 0 : c < last ? 1 : 2) << c;
    race_clock.current_tick = tick + 256;
  }
  EXPECT_EQ(rider_lap_and_segment(r).lap, 2);
  EXPECT_FLOAT_EQ(rider_lap_time(r, 1), 1.0f + 2.0f * (float)lap_end_crossing(1));
  EXPECT_FLOAT_EQ(rider_lap_time(r, 2), 2.0f * (float)route.normal_lap_gates);
  EXPECT_EQ(r->finished, 1) << "the second lap finishes a two-lap race";
  EXPECT_EQ(results_finished, 1);
  ASSERT_EQ(results_list.count, 1);
  EXPECT_EQ(results_list.entries[0].crossings, last + 1);
}

}  // namespace
