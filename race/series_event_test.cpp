#include "race/series_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "race/results.h"
#include "race/series.h"
#include "race/test_support_results.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

// A series of robots with the given roster numbers and two events, each
// paying 10, 8, 6, ... and ranking the standings after it; entered at its
// first event.
struct SeriesEvent : ::testing::Test {
  void SetUp() override {
    results_test_open(3, 2);
    search_roots_free();
    home = search_root(0);
    fs::create_directories(home);
    clean();
  }
  void TearDown() override {
    clean();
    free_series_record(&record);
    series_table = {0, nullptr, -1, -1, 0};
    results_test_close();
  }
  void clean() {
    fs::remove_all(home + "cup.series_standings");
    fs::remove_all(home + "cup.series_standings.new");
  }
  void make_series(const std::vector<int>& numbers, int events = 2) {
    free_series_record(&record);
    record.title = "The Cup";
    record.file_name = static_cast<char*>(xmalloc(16));
    std::strcpy(record.file_name, "cup.series");
    record.event_count = events;
    record.events = static_cast<series_event*>(xmalloc(sizeof(series_event) * events));
    std::memset(record.events, 0, sizeof(series_event) * events);
    for (int e = 0; e < events; e++) {
      for (int i = 0; i < 40; i++) record.events[e].points[i] = i < 5 ? 10 - 2 * i : 0;
      record.events[e].second_row[0] = 1;
    }
    record.rider_count = (int32_t)numbers.size();
    for (size_t i = 0; i < numbers.size(); i++) record.riders[i] = numbers[i];
    series_table = {1, &record, 0, 0, 0};
  }
  std::vector<int> positions(int event = 0) const {
    return std::vector<int>(record.events[event].positions, record.events[event].positions + record.rider_count + 1);
  }
  std::string standings() const { return test_read_file(home + "cup.series_standings"); }
  // A rider through the whole three-lap race (7 crossings), the last at
  // tick `last`.
  rider* finisher(int slot, int kind, const char* number, int32_t last) {
    rider* r = results_test_rider(slot, kind, number, {100, 200, 300, 400, 500, 600, last});
    r->finished = 1;
    return r;
  }
  series_record record = {};
  std::string home;
};

TEST_F(SeriesEvent, FinalResultsPlaceEverySeriesRider) {
  make_series({20, 35, 47});
  finisher(0, RIDER_LOCAL, "7", 900);
  finisher(1, RIDER_ROBOT, "35", 800);
  finisher(2, RIDER_ROBOT, "99", 850);  // not in the series: takes no place
  finisher(3, RIDER_ROBOT, "20", 1000);
  // 47 is not in the race.
  finish_results();
  ASSERT_EQ(results_finished, 1);
  EXPECT_EQ(positions(), (std::vector<int>{2, 0, 3, 1}));
  EXPECT_EQ(record.events_done, 1);
  EXPECT_EQ(series_table.current_series, -1);
  EXPECT_EQ(series_table.current_event, -1);
  EXPECT_EQ(standings(), "3 1 4 2 \n");
  // Ranked after the event: by points, the absent robot last.
  EXPECT_EQ(record.events[0].ranks[1], 0);
  EXPECT_EQ(record.events[0].ranks[3], 1);
  EXPECT_EQ(record.events[0].ranks[0], 2);
  EXPECT_EQ(record.events[0].ranks[2], 3);
}

TEST_F(SeriesEvent, UnofficialResultsAndThePlayer) {
  struct {
    const char* what;
    int finished;             // the player has finished
    bool cut;                 // and missed a gate it reached too soon
    std::vector<int> expected;
  } cases[] = {
      {"finished clean", 1, false, {1, 2, 0}},
      {"quit before the finish", 0, false, {0, 1, 2}},
      {"finished having cut", 1, true, {0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    make_series({20, 35});
    results_test_rider(1, RIDER_ROBOT, "20", {100, 200, 300, 400});
    results_test_rider(2, RIDER_ROBOT, "35", {100, 200, 300});
    rider* player = c.cut ? results_test_rider(0, RIDER_LOCAL, "7", {100, -1, 210, 350})
                          : results_test_rider(0, RIDER_LOCAL, "7", {100, 200, 300, 390});
    player->finished = c.finished;
    finish_results();
    ASSERT_EQ(results_finished, 0) << "robots still racing";
    record_series_event();
    EXPECT_EQ(positions(), c.expected);
    for (int slot = 0; slot < 3; slot++) {
      rider_destroy(rider_slots[slot]);
      rider_slots[slot] = nullptr;
    }
  }
}

TEST_F(SeriesEvent, PenaltiesSetTheFinalOrder) {
  make_series({20});
  // The player crossed first but cut gates 1 and 2: its penalty puts it
  // behind the robot.
  finisher(1, RIDER_ROBOT, "20", 800);
  rider* player = results_test_rider(0, RIDER_LOCAL, "7", {100, -1, -1, 300, 400, 500, 700});
  player->finished = 1;
  finish_results();
  ASSERT_EQ(results_finished, 1);
  EXPECT_EQ(positions(), (std::vector<int>{0, 1}));
}

TEST_F(SeriesEvent, APlayerWithARobotsNumberAlsoTakesThatRobotsColumn) {
  make_series({20, 35});
  finisher(0, RIDER_LOCAL, "20", 700);
  finisher(1, RIDER_ROBOT, "35", 800);
  finisher(2, RIDER_ROBOT, "20", 900);
  finish_results();
  // The player: its own column (place 0) and robot 20's (place 1); robot 35
  // is next, and robot 20 itself, last, takes its column again.
  EXPECT_EQ(positions(), (std::vector<int>{3, 2, 0}));
  EXPECT_EQ(standings(), "4 3 1 \n");
}

TEST_F(SeriesEvent, OnlyTheEnteredNextEventIsRecorded) {
  make_series({20});
  finisher(0, RIDER_LOCAL, "7", 700);
  series_table.current_event = 1;  // event 0 not recorded yet
  record_series_event();
  EXPECT_EQ(record.events_done, 0);
  EXPECT_EQ(series_table.current_series, -1);
  EXPECT_FALSE(fs::exists(home + "cup.series_standings"));

  // After "Reset Points" the entered event may lie past the series' end.
  make_series({20}, 1);
  record.events_done = 1;
  series_table.current_event = 1;
  record_series_event();
  EXPECT_EQ(record.events_done, 1);
  EXPECT_EQ(series_table.current_event, -1);
  EXPECT_FALSE(fs::exists(home + "cup.series_standings"));

  make_series({20});
  series_table.current_series = 3;  // no such series
  record_series_event();
  EXPECT_EQ(series_table.current_series, -1);
}

TEST_F(SeriesEvent, StandingsReadBackGiveTheSamePositionsAndRanks) {
  // 159 robots, the most a series holds; three of them race.
  std::vector<int> numbers;
  for (int i = 0; i < 159; i++) numbers.push_back(100 + i);
  make_series(numbers);
  finisher(0, RIDER_LOCAL, "7", 900);
  finisher(1, RIDER_ROBOT, "100", 800);
  finisher(2, RIDER_ROBOT, "258", 1000);
  finish_results();
  ASSERT_EQ(record.events_done, 1);
  std::vector<int> first = positions();
  EXPECT_EQ(first[0], 0);
  EXPECT_EQ(first[159], 1) << "the player's column is P";
  EXPECT_EQ(first[158], 2);
  EXPECT_EQ(first[1], 159);
  const std::string row = standings();
  EXPECT_EQ(std::count(row.begin(), row.end(), ' '), 160);
  EXPECT_NE(row.find(" 160 "), std::string::npos);

  // A second event, then the reader's view of the file.
  results_clear();
  series_table.current_series = 0;
  series_table.current_event = 1;
  record.events[1].second_row[0] = 1;
  rider_slots[1]->timing_ticks.count = 0;
  rider_slots[1]->timing_count = 0;
  rider_slots[1]->finished = 0;
  finish_results();  // the robot in slot 1 is still out: unofficial
  record_series_event();
  ASSERT_EQ(record.events_done, 2);
  series_record copy = record;
  copy.events = static_cast<series_event*>(xmalloc(sizeof(series_event) * 2));
  std::memset(copy.events, 0, sizeof(series_event) * 2);
  for (int e = 0; e < 2; e++) {
    std::memcpy(copy.events[e].points, record.events[e].points, sizeof copy.events[e].points);
    std::memcpy(copy.events[e].second_row, record.events[e].second_row, sizeof copy.events[e].second_row);
  }
  copy.events_done = 0;
  read_series_standings_at(&copy, (home + "cup.series_standings").c_str());
  rank_series_standings(&copy);
  EXPECT_EQ(copy.events_done, 2);
  for (int e = 0; e < 2; e++)
    for (int i = 0; i <= 159; i++) {
      EXPECT_EQ(copy.events[e].positions[i], record.events[e].positions[i]) << e << " " << i;
      EXPECT_EQ(copy.events[e].ranks[i], record.events[e].ranks[i]) << e << " " << i;
    }
  check_free(copy.events);
}

TEST_F(SeriesEvent, AFailedStandingsWriteKeepsTheOldFile) {
  make_series({20});
  { std::ofstream(home + "cup.series_standings") << "1 2 \n"; }
  fs::create_directories(home + "cup.series_standings.new");
  finisher(0, RIDER_LOCAL, "7", 900);
  finish_results();
  EXPECT_EQ(record.events_done, 1);
  EXPECT_EQ(standings(), "1 2 \n");
  EXPECT_TRUE(results_test_console_has("Can't write cup.series_standings"));
}

}  // namespace
