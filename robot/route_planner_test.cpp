#include "robot/route_planner.h"

#include <gtest/gtest.h>

#include <cmath>

#include "race/game_state.h"
#include "robot/lines.h"
#include "robot/test_support_robot.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

line_record tested(int32_t t, int32_t f, int32_t own_sum) {
  line_record r{};
  line_record_empty(&r);
  r.times_tested = t;
  r.failures = f;
  r.own_time_sum = own_sum;
  return r;
}

TEST(RoutePlanner, SlotCostModels) {
  struct {
    int32_t t, f, own_sum;
    int32_t cost[4];
  } cases[] = {
      {5, 0, 500, {100, 100, 100, 7000}},             // bit length of 5 is 3
      {5, 5, 500, {420, 465, 740, 9000}},             // half failed; 25 has 5 bits
      {1, 5, 70, {1000000, 1000000, 710, 100000}},    // fails more than 4 x tested
      {4, 0, 400, {1000000, 1000000, 100, 7000}},     // fewer than 5 tests
      {0, 0, 0, {1000000, 1000000, 1000000, 4000}},   // never tried
      {0, 5, 0, {1000000, 1000000, 1000000, 9000}},      // not more than 5 runs yet
      {0, 6, 0, {1000000, 1000000, 1000000, 100000}},
      {30000, 30000, 30000000, {1320, 1365, 1640, 22000}},  // 150000 has 18 bits
  };
  for (const auto& c : cases) {
    line_record r = tested(c.t, c.f, c.own_sum);
    for (int m = 0; m < 4; m++) EXPECT_EQ(route_slot_cost(&r, m), c.cost[m]) << c.t << " " << c.f << " model " << m;
  }
}

TEST(RoutePlanner, CircleCentre) {
  struct {
    line_sample p1, p2, p3;
    float x, y, z;
  } cases[] = {
      {{1, 0, 0, 0, 0}, {0, 0, 1, 0, 0}, {-1, 0, 0, 0, 0}, 0, 0, 0},
      {{13, 5, 10, 0, 0}, {10, 7, 13, 0, 0}, {7, 9, 10, 0, 0}, 10, 5, 10},  // y from p1
      {{0, 1, 0, 0, 0}, {1, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 0.5f, 1, 1000000},  // collinear: out along the bisector
      {{3, 0, 4, 0, 0}, {3, 0, 4, 0, 0}, {3, 0, 4, 0, 0}, 3, 0, 1000004},   // one point thrice
      {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 2, 0, 0}, -1000000, 0, 0},  // the first pair the same
      {{0, 0, 0, 0, 0}, {0, 0, 2, 0, 0}, {0, 0, 2, 0, 0}, -1000000, 0, 1},  // the last pair the same
  };
  for (const auto& c : cases) {
    float out[3];
    circle_centre_xz(out, c.p1, c.p2, c.p3);
    EXPECT_NEAR(out[0], c.x, std::fabs(c.x) * 1e-6 + 1e-4) << c.p1.x << " " << c.p2.x << " " << c.p3.x;
    EXPECT_EQ(out[1], c.y);
    EXPECT_NEAR(out[2], c.z, std::fabs(c.z) * 1e-6 + 1e-4) << c.p1.x << " " << c.p2.x << " " << c.p3.x;
  }
}

TEST(RoutePlanner, HandOverNeedsTheArcAndTheSpeed) {
  robot_fixture_route({0, 1, 2}, {0, 1, 2});
  line_record* a = &library_segment_slots(0)[0];
  line_record* b = &library_segment_slots(1)[0];
  robot_fixture_line(a, robot_fixture_arc(100, 0, 120, 13));
  struct {
    std::vector<line_sample> next;
    int expected;
  } cases[] = {
      {robot_fixture_arc(100, 120, 240, 13), 1},
      {robot_fixture_arc(102.4f, 120, 240, 13), 1},  // within 2.5 ft of the arc
      {robot_fixture_arc(103, 120, 240, 13), 0},
      {robot_fixture_arc(100, 120, 240, 13, 14.9f), 0},  // 15 ft/s slower
      {robot_fixture_arc(100, 120, 240, 13, 15.0f), 1},
      {robot_fixture_run(-50, 86.6f, -50, 200, 5), 0},     // leaves the arc
      {robot_fixture_arc(100, 120, 240, 1), 0},            // one sample
  };
  for (const auto& c : cases) {
    robot_fixture_line(b, c.next);
    EXPECT_EQ(route_hands_over(a, b), c.expected) << c.next[0].x << " speed " << c.next[0].speed;
  }
  robot_fixture_line(a, robot_fixture_arc(100, 0, 120, 2));
  robot_fixture_line(b, robot_fixture_arc(100, 120, 240, 13));
  EXPECT_EQ(route_hands_over(a, b), 0) << "two samples make no arc";
  robot_fixture_route_free();
}

// Three segments a lap on two circles: lines on the inner circle (100 ft)
// hand over only to the inner circle, those on the outer (120 ft) only to
// the outer. own[k] is the mean own time of segment k's lines.
void two_circles(int inner_slot, const int32_t inner_own[3], int32_t inner_tests, int outer_slot,
                 const int32_t outer_own[3]) {
  robot_fixture_route({0, 1, 2}, {0, 1, 2});
  for (int32_t seg = 0; seg < 6; seg++) {
    const float a0 = 120.0f * (seg % 3);
    robot_fixture_line(&library_segment_slots(seg)[inner_slot], robot_fixture_arc(100, a0, a0 + 120, 13), 1000,
                       inner_tests, inner_own[seg % 3] * inner_tests);
    robot_fixture_line(&library_segment_slots(seg)[outer_slot], robot_fixture_arc(120, a0, a0 + 120, 13), 1000, 5,
                       outer_own[seg % 3] * 5);
  }
}

int32_t path(int variant, int32_t seg) { return route.best_paths[variant * 6 + seg]; }
int32_t id(int32_t seg, int slot) { return library_segment_slots(seg)[slot].unique_id; }

TEST(RoutePlanner, TheCheapestCycleAndChainWin) {
  const int32_t inner[3] = {100, 100, 300}, outer[3] = {200, 200, 200};
  two_circles(0, inner, 5, 1, outer);
  int32_t cost[route_no_slot][route_no_slot];
  route_back_pointers back{new uint8_t[3 * 45 * 45], 3};
  route_dynamic_program(&back, cost, 3, 3, 0);
  EXPECT_EQ(cost[0][0], 500);
  EXPECT_EQ(cost[1][1], 600);
  EXPECT_EQ(cost[0][1], route_unreachable);
  EXPECT_EQ(cost[2][2], route_unreachable);
  EXPECT_EQ(route_back(&back, 2, 0, 0), 0);
  EXPECT_EQ(route_back(&back, 2, 1, 0), route_no_slot);
  delete[] back.blocks;

  game_state.debug_level = 1;
  test_log_begin();
  plan_auto_pilot_routes();
  const std::string log = test_log_text();
  test_log_end();
  game_state.debug_level = 0;
  for (int v = 0; v < 3; v++)
    for (int32_t seg = 0; seg < 6; seg++) EXPECT_EQ(path(v, seg), id(seg, 0)) << v << " " << seg;
  EXPECT_NE(log.find("First lap: 3.906250"), std::string::npos) << log;  // 500 ticks
  EXPECT_NE(log.find("Normal lap: 3.906250"), std::string::npos) << log;

  // The outer circle is cheaper where the inner is dear, but a cycle must
  // stay on its circle.
  const int32_t inner2[3] = {100, 100, 450};
  two_circles(0, inner2, 5, 1, outer);
  plan_auto_pilot_routes();
  for (int32_t seg = 0; seg < 6; seg++) EXPECT_EQ(path(0, seg), id(seg, 1)) << seg;
  robot_fixture_route_free();
}

TEST(RoutePlanner, EqualCyclesGoToTheLowerSlot) {
  const int32_t same[3] = {200, 200, 200};
  two_circles(0, same, 5, 1, same);
  plan_auto_pilot_routes();
  for (int32_t seg = 0; seg < 6; seg++) EXPECT_EQ(path(0, seg), id(seg, 0));
  two_circles(1, same, 5, 0, same);
  plan_auto_pilot_routes();
  for (int32_t seg = 0; seg < 6; seg++) EXPECT_EQ(path(0, seg), id(seg, 0)) << "the outer circle in slot 0 now";
  robot_fixture_route_free();
}

TEST(RoutePlanner, LinesTestedUnderFiveTimesAreStoredAsNone) {
  const int32_t inner[3] = {50, 50, 50}, outer[3] = {200, 200, 200};
  two_circles(0, inner, 3, 1, outer);
  plan_auto_pilot_routes();
  for (int32_t seg = 0; seg < 6; seg++) {
    EXPECT_EQ(path(0, seg), id(seg, 1)) << "model 0 takes no line under 5 tests";
    EXPECT_EQ(path(2, seg), 0) << "model 2 chooses the inner circle but may not store it";
  }
  robot_fixture_route_free();
}

TEST(RoutePlanner, AnEmptyLibraryGivesEmptyRoutes) {
  robot_fixture_route({0, 1, 2}, {0, 1, 2});
  for (int i = 0; i < 18; i++) route.best_paths[i] = 99;
  plan_auto_pilot_routes();
  for (int i = 0; i < 18; i++) EXPECT_EQ(route.best_paths[i], 0);
  robot_fixture_route({0, 1, 2}, {100000, 100001, 100002});
  plan_auto_pilot_routes();  // no segments in the normal lap: nothing to plan, no crash
  robot_fixture_route_free();
}

}  // namespace
