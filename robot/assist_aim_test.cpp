#include "robot/assist_aim.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(AssistAim, FastestSlot) {
  struct row {
    const char* what;
    std::vector<std::pair<int, int32_t>> lines;  // slot, own time
    int32_t expected;
  } rows[] = {
      {"empty segment", {}, 0},
      {"one line in a later slot", {{7, 500}}, 7},
      {"the least own time", {{0, 900}, {3, 400}, {9, 600}}, 3},
      {"equal times keep the lower slot", {{2, 400}, {5, 400}}, 2},
      {"slot 0 empty, then lower time later", {{4, 800}, {44, 300}}, 44},
  };
  for (const row& r : rows) {
    line_record slots[line_slots_per_segment] = {};
    line_sample sample{};
    for (auto [slot, time] : r.lines) {
      slots[slot].samples = &sample;
      slots[slot].sample_count = 1;
      slots[slot].own_time = time;
    }
    EXPECT_EQ(assist_fastest_slot(slots), r.expected) << r.what;
  }
}

TEST(AssistAim, NearestSample) {
  const line_sample line[] = {{0, 0, 0, 10, 0}, {0, 0, -10, 10, 0}, {0, 0, -20, 10, 0}, {0, 10, -10, 10, 0}};
  const float near_second[3] = {1, 2, -11};
  const float between[3] = {0, 0, -5};  // as near 0 as 1: the earlier wins
  const float high[3] = {0, 9, -10};
  EXPECT_EQ(assist_nearest_sample(line, 4, near_second), 1);
  EXPECT_EQ(assist_nearest_sample(line, 4, between), 0);
  EXPECT_EQ(assist_nearest_sample(line, 4, high), 3);
  EXPECT_EQ(assist_nearest_sample(line, 0, high), -1);
  EXPECT_EQ(assist_nearest_sample(nullptr, 4, high), -1);
}

}  // namespace
