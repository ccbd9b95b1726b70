#include "bike/rider_timing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "core/message_ring.h"

namespace {

// Timing needs no bodies: a rider record with its timing list.
class Timing : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(growable_array_init(&r.timing_ticks, sizeof(int32_t), 16), 1);
  }
  void TearDown() override { growable_array_free(&r.timing_ticks); }
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

}  // namespace
