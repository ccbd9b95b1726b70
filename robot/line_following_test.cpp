#include "robot/line_following.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(LineCursor, PositionAlongTheLine) {
  const float pos[3] = {0, 0, 0}, forward[3] = {1, 0, 0};
  struct {
    std::vector<float> xs;
    int32_t cursor;
    float expected;
  } cases[] = {
      {{-2, -1, 1, 2, 3}, 4, 2.5f},    // between sample 1 (behind) and 2 (ahead)
      {{-2, -1, 3, 4, 5}, 5, 2.25f},   // a quarter of the way from 1 to 2
      {{-2, -1, 1, 2, 3}, 2, 2},       // cursor - 1 already behind: the cursor
      {{-2, -1, 1, 2, 3}, 0, 0},
      {{-2, -1, 1, 2, 3}, 99, 2.5f},   // cursor past the end
      {{1, 2, 3}, 3, 0},               // every sample ahead, line runs forward
      {{2, 1}, 2, 1},                  // every sample ahead, line runs back
      {{1, 1, 1}, 3, 0},               // still bike: equal samples ahead
      {{-1, -1}, 2, 2},                // equal samples behind
      {{-1, 1, 1}, 3, 1.5f},
      {{0, 1}, 2, 0},                  // sample 0 at the bike counts as ahead
      {{1}, 1, 0},                     // one sample
  };
  for (const auto& c : cases) {
    std::vector<line_sample> line;
    for (float x : c.xs) line.push_back({x, 5, 7, 10, 0});
    const float got = line_cursor_position_at(line.data(), (int32_t)line.size(), c.cursor, pos, forward);
    EXPECT_FLOAT_EQ(got, c.expected) << c.xs.size() << " samples, cursor " << c.cursor;
  }
  EXPECT_EQ(line_cursor_position_at(nullptr, 0, 3, pos, forward), 0);
}

}  // namespace
