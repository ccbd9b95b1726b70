#include "platform/timebase.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeBase, MillisecondsSplitIntoSecondsAndMicroseconds) {
  struct Case {
    uint32_t ms;
    int s, us;
  } cases[] = {
      {0, 0, 0},
      {999, 0, 999000},
      {1000, 1, 0},
      {123456, 123, 456000},
      {0xFFFFFFFFu, 4294967, 295000},  // the last stamp before the wrap stays positive
  };
  for (const Case& c : cases) {
    int s = -1, us = -1;
    time_from_ms(c.ms, &s, &us);
    EXPECT_EQ(s, c.s) << c.ms;
    EXPECT_EQ(us, c.us) << c.ms;
  }
}

TEST(TimeBase, SleepStopsOneMillisecondShort) {
  struct Case {
    int s, us;
    uint32_t first;
  } cases[] = {
      {0, 0, 0}, {0, 500, 0}, {0, 1000, 1}, {0, 1999, 1}, {0, 2000, 1}, {0, 62500, 61}, {1, 0, 999}, {2, 500000, 2499},
  };
  for (const Case& c : cases) EXPECT_EQ(sleep_first_ms(c.s, c.us), c.first) << c.s << "," << c.us;
}

TEST(TimeBase, SleepPreciseWaitsAtLeastTheDuration) {
  int s0, us0, s1, us1;
  time_now(&s0, &us0);
  sleep_precise(0, 15000);
  time_now(&s1, &us1);
  const long elapsed_us = (s1 - s0) * 1000000L + (us1 - us0);
  EXPECT_GE(elapsed_us, 15000);
}

}  // namespace
