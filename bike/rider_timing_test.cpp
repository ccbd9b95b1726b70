#include "bike/rider_timing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "core/message_ring.h"
#include "terrain/track.h"

namespace {

// Timing needs no bodies: a rider record with its timing list.
class Timing : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(growable_array_init(&r.timing_ticks, sizeof(int32_t), 16), 1);
    saved_gates = {route.gate_count, route.first_lap_gates, route.normal_lap_gates};
    race_clock = {};
  }
  void TearDown() override {
    growable_array_free(&r.timing_ticks);
    gates(saved_gates.has_gates, saved_gates.first_lap_gates, saved_gates.normal_lap_gates);
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
  std::vector<int32_t> list() {
    std::vector<int32_t> v;
    for (size_t i = 0; i < r.timing_ticks.count; i++) v.push_back(rider_timing_tick(&r, (int)i));
    return v;
  }

  rider r;
  track_lap_counts saved_gates;
};

TEST_F(Timing, SetTickGrowsTheListWithUncrossedEntries) {
  rider_set_timing_tick(&r, 5, 900);
  EXPECT_EQ(list(), (std::vector<int32_t>{-1, -1, -1, -1, -1, 900}));
  EXPECT_EQ(rider_timing_tick(&r, 2), -1);
  EXPECT_EQ(rider_timing_tick(&r, 6), -1);
  EXPECT_EQ(rider_timing_tick(&r, -1), -1);
  EXPECT_EQ(rider_next_timing_index(&r), 0);  // the count is the race's to move
  rider_set_timing_tick(&r, 2, 300);
  EXPECT_EQ(rider_timing_tick(&r, 2), 300);
  EXPECT_EQ(r.timing_ticks.count, 6u);

  // Past the first 16 the list doubles; entries already set stay.
  rider_set_timing_tick(&r, 40, 4000);
  EXPECT_EQ(r.timing_ticks.count, 41u);
  EXPECT_GE(r.timing_ticks.capacity, 41u);
  EXPECT_EQ(rider_timing_tick(&r, 5), 900);
  EXPECT_EQ(rider_timing_tick(&r, 40), 4000);
  EXPECT_EQ(rider_timing_tick(&r, 39), -1);
}

TEST_F(Timing, SetTickRefusesBadIndices) {
  rider_set_timing_tick(&r, -3, 77);
  EXPECT_EQ(r.timing_ticks.count, 0u);
  for (int n : {(int)rider_timing_index_limit, 0x7FFFFFFF}) {
    message_ring_clear();
    rider_set_timing_tick(&r, n, 77);
    EXPECT_EQ(r.timing_ticks.count, 0u) << n;
    EXPECT_NE(std::strstr(message_ring_line(1), "out of range"), nullptr) << n;
  }
  rider_set_timing_tick(&r, rider_timing_index_limit - 1, 77);
  EXPECT_EQ(rider_timing_tick(&r, rider_timing_index_limit - 1), 77);
}

TEST_F(Timing, Truncate) {
  gates(1, 3, 2);
  crossings(5);
  const size_t capacity = r.timing_ticks.capacity;
  r.finished = 1;
  r.down = 1;
  rider_truncate_timing(&r, 0);
  EXPECT_EQ(r.finished, 0);
  EXPECT_EQ(r.down, 0);
  EXPECT_EQ(r.timing_count, 0);
  EXPECT_EQ(r.timing_ticks.count, 0u);
  EXPECT_EQ(r.timing_ticks.capacity, capacity);  // the memory stays

  // Without crossings only the crash flag goes.
  r.finished = 1;
  r.down = 1;
  rider_truncate_timing(&r, 0);
  EXPECT_EQ(r.finished, 1);
  EXPECT_EQ(r.down, 0);

  // Negative counts as 0; a larger n keeps the list and raises the count.
  crossings(4);
  rider_truncate_timing(&r, -5);
  EXPECT_EQ(r.timing_count, 0);
  EXPECT_EQ(r.timing_ticks.count, 0u);
  crossings(2);
  r.finished = 1;
  rider_truncate_timing(&r, 7);
  EXPECT_EQ(r.timing_count, 7);
  EXPECT_EQ(r.timing_ticks.count, 2u);
  EXPECT_EQ(r.finished, 1);
}

TEST_F(Timing, LapAndSegment) {
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

TEST_F(Timing, LapTimes) {
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

TEST_F(Timing, ReadsTheTracksLapCounts) {
  gates(1, 4, 3);
  const track_lap_counts t = rider_track_lap_counts();
  EXPECT_EQ(t.has_gates, 1);
  EXPECT_EQ(t.first_lap_gates, 4);
  EXPECT_EQ(t.normal_lap_gates, 3);
}

}  // namespace
