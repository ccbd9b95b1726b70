#include "race/results.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/file.h"
#include "core/heap_sort.h"
#include "core/race_clock.h"
#include "race/net_values.h"
#include "race/race_state.h"
#include "race/test_support_results.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

// Three crossings make lap 1 and two each later lap.
struct Results : ::testing::Test {
  void SetUp() override { results_test_open(3, 2); }
  void TearDown() override { results_test_close(); }
};

void give_history(int slot, int32_t tick) {
  packed_pose pose = {};
  add_state_to_history(slot, &pose, tick);
}

TEST_F(Results, OrderByCrossingsThenLastTickThenSlot) {
  running_order_entry e[] = {{5, 4, 300}, {2, 4, 300}, {1, 3, 100}, {0, 4, 250}, {3, 5, 900}};
  heap_sort(e, 5, sizeof e[0], compare_results);
  const int slots[] = {3, 0, 2, 5, 1};
  for (int i = 0; i < 5; i++) EXPECT_EQ(e[i].slot, slots[i]) << i;

  // The running order comes from the riders' own lists; no crossing is tick 0.
  results_test_rider(4, RIDER_ROBOT, "4", {100, 200});
  results_test_rider(1, RIDER_ROBOT, "1", {100, 200});
  results_test_rider(0, RIDER_ROBOT, "0", {});
  results_test_rider(2, RIDER_ROBOT, "2", {90, 210});
  finish_results();
  ASSERT_EQ(running_order.count, 4);
  EXPECT_EQ(running_order.entries[0].slot, 1);
  EXPECT_EQ(running_order.entries[1].slot, 4);
  EXPECT_EQ(running_order.entries[2].slot, 2);
  EXPECT_EQ(running_order.entries[3].slot, 0);
  EXPECT_EQ(running_order.entries[3].last_tick, 0);
  EXPECT_EQ(results_finished, 0) << "robots still racing";
}

TEST_F(Results, AverageGateTime) {
  results_test_rider(0, RIDER_ROBOT, "1", {100, 200, 300, 400, 500, 600, 700});
  results_test_rider(1, RIDER_ROBOT, "2", {120, -1, 330, 450, 560});
  results_test_rider(2, RIDER_LOCAL, "3", {110, 260, 410});
  finish_results();
  struct {
    int32_t start, end, expected;
  } cases[] = {
      {-1, 0, 110},      // from the race start, tick 0
      {0, 2, 250},       // the rider with a missing crossing between does not count
      {3, 4, 105},       // every lap's pair: (100 + 100) / 2 and 110
      {5, 6, 105},       // the same gates a lap later
      {4, 5, 100},       // across the lap line, only the first rider has it
      {0, 9, results_no_gate_time},  // nobody has timed it
  };
  for (const auto& c : cases) EXPECT_EQ(average_gate_time(c.start, c.end), c.expected) << c.start << ".." << c.end;

  // Online, a local rider that is not racing does not count.
  net_online = 1;
  EXPECT_EQ(average_gate_time(0, 2), 200);
  own_start_position = 3;
  EXPECT_EQ(average_gate_time(0, 2), 250);
  net_online = 0;

  // Without later laps, a stretch past the first lap tries one pair.
  route.normal_lap_gates = 0;
  EXPECT_EQ(average_gate_time(3, 4), (100 + 150) / 2);
}

TEST_F(Results, OffCourseAgainstTheLeadersGate) {
  results_test_rider(0, RIDER_ROBOT, "1", {1000, 2000});
  rider* late = results_test_rider(1, RIDER_ROBOT, "2", {1000});
  rider* none = results_test_rider(2, RIDER_ROBOT, "3", {});
  race_clock.gate_drop_tick = 640;
  finish_results();
  // Leader's gate 0..1: 1000 ticks (7.8125 s); allowed from the rider's last
  // crossing: that x 1.5 + 10 s.
  race_clock.current_tick = 3779;
  EXPECT_EQ(rider_off_course_at_gate(late, 1), 0);
  race_clock.current_tick = 3780;
  EXPECT_EQ(rider_off_course_at_gate(late, 1), 1);
  // No earlier crossing: from the gate drop (5 s).
  race_clock.current_tick = 3419;
  EXPECT_EQ(rider_off_course_at_gate(none, 1), 0);
  race_clock.current_tick = 3420;
  EXPECT_EQ(rider_off_course_at_gate(none, 1), 1);
  // Scale 1 and no bias: exactly the leader's time.
  off_course_scale = 1;
  off_course_bias = 0;
  race_clock.current_tick = 1999;
  EXPECT_EQ(rider_off_course_at_gate(late, 1), 0);
  race_clock.current_tick = 2000;
  EXPECT_EQ(rider_off_course_at_gate(late, 1), 1);
  EXPECT_EQ(rider_off_course_recently(late), 1);
  // A made crossing is judged by its own tick, not the clock.
  rider_set_timing_tick(late, 1, 1999);
  late->timing_count = 2;
  race_clock.current_tick = 100000;
  EXPECT_EQ(rider_off_course_at_gate(late, 1), 0);
  // Nobody ahead through the gate: never off course.
  EXPECT_EQ(rider_off_course_at_gate(late, 2), 0);
}

TEST_F(Results, TimedRaceSettlesHalfWayAndFinishLaps) {
  race_clock.gate_drop_tick = 640;
  race_clock.race_length_ticks = 7680;  // a minute
  race_clock.race_laps = 1;
  race_clock.half_way_lap = race_clock.finish_lap = race_clock_unknown;
  rider* a = results_test_rider(0, RIDER_ROBOT, "1", {1000, 2000, 3000, 4000});
  results_test_rider(1, RIDER_ROBOT, "2", {1100, 2100, 3100});
  auto give = [a](std::initializer_list<int32_t> ticks) {
    int n = rider_next_timing_index(a);
    for (int32_t t : ticks) rider_set_timing_tick(a, n++, t);
    a->timing_count = n;
  };
  race_clock.current_tick = 4479;
  finish_results();
  EXPECT_EQ(race_clock.half_way_lap, race_clock_unknown);
  race_clock.current_tick = 4480;
  finish_results();
  EXPECT_EQ(race_clock.half_way_lap, 2) << "the lap after the leader's first";
  give({5000, 6000, 7000, 8000});
  race_clock.current_tick = 8320;  // time up; the leader's laps all ended before it
  finish_results();
  EXPECT_EQ(race_clock.half_way_lap, 2);
  EXPECT_EQ(race_clock.finish_lap, race_clock_unknown);
  give({9000});
  race_clock.current_tick = 9000;  // lap 4 ends after the time: one more lap
  finish_results();
  EXPECT_EQ(race_clock.finish_lap, 5);
  give({10000, 11000});
  finish_results();
  EXPECT_EQ(race_clock.finish_lap, 5) << "settled";

  // Without later laps the first lap alone is tried, and the walk ends.
  route.normal_lap_gates = 0;
  race_clock.finish_lap = race_clock_unknown;
  finish_results();
  EXPECT_EQ(race_clock.finish_lap, race_clock_unknown);
}

TEST_F(Results, DoneRulesOfflineAndOnline) {
  rider* robot = results_test_rider(0, RIDER_ROBOT, "1", {100, 200, 300});
  rider* local = results_test_rider(1, RIDER_LOCAL, "2", {110});
  rider* played = results_test_rider(2, RIDER_REMOTE, "3", {120});
  auto final_now = [] {
    results_clear();
    finish_results();
    return results_finished;
  };
  race_clock.current_tick = 5000;
  EXPECT_EQ(final_now(), 0) << "robot and local racing";
  robot->finished = 1;
  EXPECT_EQ(final_now(), 0) << "local racing";
  local->finished = 1;
  EXPECT_EQ(final_now(), 1) << "a played-back rider without states is done";
  give_history(2, 3720);
  EXPECT_EQ(final_now(), 0) << "its newest state is 1280 ticks behind";
  race_clock.current_tick = 5001;
  EXPECT_EQ(final_now(), 1) << "more than 1280 ticks behind";

  // Online: the own slot is never done until finished; others when stale.
  net_online = 1;
  own_start_position = 0;
  net_own_slot = 1;
  local->finished = 0;
  rider_slot_kind[0] = RIDER_REMOTE;
  robot->finished = 0;
  net_state_time[0] = 5001;
  net_state_time[2] = 5001;
  EXPECT_EQ(final_now(), 0) << "own slot racing";
  local->finished = 1;
  EXPECT_EQ(final_now(), 0) << "other riders sending";
  race_clock.current_tick = 5001 + 127;
  EXPECT_EQ(final_now(), 0);
  race_clock.current_tick = 5001 + 128;
  EXPECT_EQ(final_now(), 1) << "both stale";
  // A state stamped ahead of the clock is fresh.
  net_state_time[0] = 9000;
  EXPECT_EQ(final_now(), 0);
  net_state_time[0] = 0;
  // A local rider that is not racing is skipped.
  local->finished = 0;
  rider_slot_kind[1] = RIDER_LOCAL;
  net_own_slot = 7;
  own_start_position = RIDER_NO_SLOT;
  EXPECT_EQ(final_now(), 1);
  (void)played;
}

TEST_F(Results, CutPenalties) {
  // Two gates skipped and the next reached 5 s sooner than the field's mean
  // plus 1 s.
  results_test_rider(0, RIDER_ROBOT, "1", {1000, 2000, 3000, 4000});
  rider* cutter = results_test_rider(1, RIDER_ROBOT, "2", {1000, -1, -1, 3488});
  finish_results();
  EXPECT_EQ(rider_cut_penalty(cutter), 640);
  rider* clean = rider_slots[0];
  EXPECT_EQ(rider_cut_penalty(clean), 0);
}

TEST_F(Results, PenaltyOverABestLapCostsLaps) {
  // Lap 1 ends at crossing 2, lap 2 at 4, lap 3 at 6. The field's mean from
  // 0 to 2 is 2000 ticks; the cutter took 128, so 2000 ticks of penalty,
  // 2.5 times its best lap (lap 2, 800 ticks).
  rider* field = results_test_rider(0, RIDER_ROBOT, "1", {1000, 2000, 3000, 4000, 5000, 6000, 7000});
  rider* cutter = results_test_rider(1, RIDER_ROBOT, "2", {1000, -1, 1128, 1528, 1928, 2400, 2800});
  field->finished = cutter->finished = 1;
  finish_results();
  EXPECT_EQ(rider_cut_penalty(cutter), 2000);
  ASSERT_EQ(results_finished, 1);
  ASSERT_EQ(results_list.count, 2);
  const running_order_entry& e = results_list.entries[1];
  EXPECT_EQ(e.slot, 1);
  EXPECT_EQ(e.crossings, 3) << "two laps lost";
  EXPECT_EQ(e.last_tick, 2800 + 400) << "and half a best lap of time";
}

TEST_F(Results, AStretchNobodyHasTimedExpects61Seconds) {
  rider* alone = results_test_rider(0, RIDER_ROBOT, "1", {1000, -1, 1500});
  finish_results();
  EXPECT_EQ(rider_cut_penalty(alone), 7680 + 128 - 500);
}

TEST_F(Results, Hidden) {
  EXPECT_EQ(rider_hidden(RIDER_NO_SLOT), 1);
  EXPECT_EQ(rider_hidden(-1), 1);
  EXPECT_EQ(rider_hidden(3), 1) << "empty slot";
  results_test_rider(0, RIDER_LOCAL, "1", {});
  results_test_rider(1, RIDER_ROBOT, "2", {});
  results_test_rider(2, RIDER_REMOTE, "3", {});
  EXPECT_EQ(rider_hidden(0), 0);
  EXPECT_EQ(rider_hidden(1), 0);
  EXPECT_EQ(rider_hidden(2), 1) << "no recorded state";
  give_history(2, 1000);
  give_history(2, 1100);
  const struct {
    int32_t tick;
    int hidden;
  } cases[] = {{871, 1}, {872, 0}, {1050, 0}, {1228, 0}, {1229, 1}};
  for (const auto& c : cases) {
    race_clock.current_tick = c.tick;
    EXPECT_EQ(rider_hidden(2), c.hidden) << c.tick;
  }
  // Online and not racing, only the viewed local rider shows.
  net_online = 1;
  viewed_slot = 1;
  EXPECT_EQ(rider_hidden(0), 1);
  viewed_slot = 0;
  EXPECT_EQ(rider_hidden(0), 0);
  // A peer whose newest state is a second old is hidden once the client
  // has its own rider.
  net_own_slot = 0;
  own_start_position = 0;
  race_clock.current_tick = 1100;
  net_state_time[2] = 1100 - 128;
  EXPECT_EQ(rider_hidden(2), 1);
  net_state_time[2] = 1100 - 127;
  EXPECT_EQ(rider_hidden(2), 0);
}

TEST_F(Results, SettledRaceHidesAnOffCoursePeer) {
  race_clock.gate_drop_tick = 0;
  results_test_rider(0, RIDER_LOCAL, "1", {500, 1000});
  rider* peer = results_test_rider(2, RIDER_REMOTE, "3", {500});
  net_online = 1;
  net_own_slot = 0;
  own_start_position = 0;
  give_history(2, 1279);
  give_history(2, 2600);
  net_state_time[2] = 2600;
  race_clock.current_tick = 1279;  // not yet settled
  finish_results();
  EXPECT_EQ(race_settled(), 0);
  EXPECT_EQ(rider_hidden(2), 0);
  // Settled; gate 0..1 took the local rider 500 ticks, so the peer may take
  // 500 x 1.5 ticks + 10 s from its crossing at 500.
  race_clock.current_tick = 2529;
  EXPECT_EQ(race_settled(), 1);
  EXPECT_EQ(rider_hidden(2), 0);
  race_clock.current_tick = 2600;
  EXPECT_EQ(rider_hidden(2), 1);
  rider_set_timing_tick(peer, 1, 1010);
  peer->timing_count = 2;
  finish_results();
  EXPECT_EQ(rider_hidden(2), 0);
}

struct ResultsFile : Results {
  void SetUp() override {
    Results::SetUp();
    search_roots_free();
    home = search_root(0);
    fs::create_directories(home);
    fs::remove_all(home + "results.txt");
    fs::remove_all(home + "results.txt.new");
    std::snprintf(track_folder, sizeof track_folder, "%s", "quarrybend");
  }
  void TearDown() override {
    fs::remove_all(home + "results.txt");
    fs::remove_all(home + "results.txt.new");
    track_folder[0] = 0;
    Results::TearDown();
  }
  // A crafted two-lap race: the local rider clean; a robot that cut two
  // gates, which its penalty takes from second to last; a robot that missed
  // one gate but lost time doing it; a played-back rider that never
  // finished.
  void race() {
    race_clock.gate_drop_tick = 640;
    race_clock.race_laps = race_clock.finish_lap = 2;
    race_clock.current_tick = 4000;
    results_test_rider(0, RIDER_LOCAL, "7", {1000, 1500, 2000, 2600, 3200})->finished = 1;
    results_test_rider(1, RIDER_ROBOT, "12", {1010, -1, -1, 2400, 3100})->finished = 1;
    results_test_rider(2, RIDER_ROBOT, "33", {1020, 1600, -1, 2900, 3300})->finished = 1;
    results_test_rider(3, RIDER_REMOTE, "44", {1005, 1490});
  }
  std::string home;
};

// A bike name longer than the column widens it for every row.
TEST_F(ResultsFile, ALongBikeNameKeepsTheColumnsInLine) {
  race();
  rider_destroy(rider_slots[2]);
  rider* r = rider_create("yz250f_se(2006)", 2, 1, "33", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(r, nullptr);
  rider_slots[2] = r;
  int n = 0;
  for (int32_t t : {1020, 1600, -1, 2900, 3300}) rider_set_timing_tick(r, n++, t);
  r->timing_count = n;
  r->finished = 1;
  finish_results();
  const std::string text = test_read_file(home + "results.txt");
  std::vector<std::string> rows;
  for (size_t at = text.find("\r\n") + 2; rows.size() < 4; at = text.find("\r\n", at) + 2)
    rows.push_back(text.substr(at, text.find("\r\n", at) - at));
  EXPECT_EQ(rows[0], " No. |            Bike | Laps | Total Time | BLap |  Best Time");
  EXPECT_NE(rows[2].find("  33 | yz250f_se(2006) |    2 |"), std::string::npos) << rows[2];
  for (const std::string& row : rows) EXPECT_EQ(row.find(" | ", 6), rows[0].find(" | ", 6)) << row;
}

TEST_F(ResultsFile, WritesTheFinalResults) {
  race();
  finish_results();
  ASSERT_EQ(results_finished, 1);
  std::string text = test_read_file(home + "results.txt");
  const size_t date = text.find("|Date=");
  ASSERT_NE(date, std::string::npos);
  const size_t end = text.find("\r\n", date);
  ASSERT_NE(end, std::string::npos);
  EXPECT_GT(std::stol(text.substr(date + 6, end - date - 6)), 0);
  text.erase(date + 6, end - date - 6);
  const std::string golden =
      "Time=0.00|Laps=2|Track=quarrybend|Date=\r\n"
      " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
      "   7 |        cr125 |    2 |   0:20.000 |    2 |   0:09.375\r\n"
      "  33 |        cr125 |    2 |   0:20.781 |    2 |   0:00.000\r\n"
      "  12 |        cr125 |    2 |   0:21.859 |    2 |   0:00.000\r\n"
      "\r\n"
      "5\r\n"
      "   2.812\r\n"
      "   6.719   10.625\r\n"
      "  15.312   20.000\r\n"
      "\r\n"
      "5\r\n"
      "   2.969\r\n"
      "   7.500       -1\r\n"
      "  17.656   20.781\r\n"
      "\r\n"
      "5\r\n"
      "   2.891\r\n"
      "      -1       -1\r\n"
      "  13.750   19.219\r\n";
  EXPECT_EQ(text, golden);
  for (size_t i = 0; i < text.size(); i++)
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
  // Final: nothing changes any more.
  fs::remove(home + "results.txt");
  finish_results();
  EXPECT_FALSE(fs::exists(home + "results.txt"));
}

TEST_F(ResultsFile, NoBestLapBeforeTwoLaps) {
  race_clock.gate_drop_tick = 0;
  race_clock.finish_lap = 1;
  results_test_rider(0, RIDER_ROBOT, "5", {128, 256, 384})->finished = 1;
  finish_results();
  const std::string text = test_read_file(home + "results.txt");
  EXPECT_NE(text.find("   5 |        cr125 |    1 |   0:03.000 |    0 |   0:00.000\r\n"), std::string::npos) << text;
}

TEST_F(ResultsFile, AFailedWriteKeepsTheOldFile) {
  { std::ofstream(home + "results.txt") << "old results"; }
  fs::create_directories(home + "results.txt.new");
  race();
  finish_results();
  EXPECT_EQ(results_finished, 1) << "the race goes on";
  EXPECT_EQ(test_read_file(home + "results.txt"), "old results");
  EXPECT_TRUE(results_test_console_has("Can't write results.txt"));
}

}  // namespace
