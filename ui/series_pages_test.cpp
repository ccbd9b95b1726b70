#include "terrain/track.h"
#include "ui/series_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/series.h"
#include "ui/game_settings.h"
#include "ui/menu.h"
#include "race/race_reset.h"
#include "ui/race_setup_pages.h"

namespace {

struct reset_call {
  std::vector<int> line_up;
  int record, length, laps, skill;
  int entered_at_call;  // the entered series when the reset ran
  std::string track;
};
std::vector<reset_call> resets;
int leaves;

int reset_double(const int* line_up, int, int record, int length, int laps, int skill) {
  reset_call c{{}, record, length, laps, skill, series_table.current_series, race_track_choice};
  if (line_up) c.line_up.assign(line_up, line_up + line_up_slots);
  resets.push_back(c);
  return 1;
}
void leave_double() { leaves++; }

// Shown as display names; the race reset gets the folders.
const char* const track_names[] = {"Track Zero", "Track One", "Track Two", "Track Three"};
char track_folder_text[4][4] = {"t0", "t1", "t2", "t3"};
char* track_folder_list[] = {track_folder_text[0], track_folder_text[1], track_folder_text[2], track_folder_text[3]};

// A series of `robots` robots numbered 100 + k, `events` events (all
// scoring, 25 points down by one, unranked) of which `done` are done.
struct series_fixture {
  series_record s{};
  std::vector<series_event> events;
  series_fixture(int robots, int event_count, int done) : events(event_count) {
    s.title = "Cup";
    s.rider_count = robots;
    s.skill = 1;
    for (int k = 0; k < robots; k++) s.riders[k] = 100 + k;
    for (int e = 0; e < event_count; e++) {
      series_event& ev = events[e];
      std::memset(&ev, 0, sizeof ev);
      ev.title = "Event";
      ev.track = e % 4;
      ev.params[0] = 2;
      ev.params[1] = 3;
      for (int p = 0; p < series_rider_max; p++) ev.points[p] = p < 25 ? 25 - p : 0;
      for (int i = 0; i <= robots; i++) ev.positions[i] = i;
    }
    s.event_count = event_count;
    s.events = events.data();
    s.events_done = done;
  }
  void heat(int e) { events[e].points[0] = 0; }
};

class SeriesPages : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    menu_pages_install();
    race_hooks = {};
    race_hooks.net_leave_server = leave_double;
    menu_reset_session = reset_double;
    resets.clear();
    leaves = 0;
    option_list_set_options(&game_settings.track, track_names, 4);
    track_folders = track_folder_list;
    track_count = 4;
    series_page_index = 0;
    series_shown = 0;
    menu_page = page_series;
    menu_selection = 0;
  }
  void TearDown() override {
    series_table = {0, nullptr, -1, -1, 0};
    option_list_set_options(&game_settings.track, nullptr, 0);
    track_folders = nullptr;
    track_count = 0;
    menu_reset_session = reset_session;
    race_hooks = {};
    menu_page = -1;
  }
  // A table of `count` series, each one event of one robot.
  void install_series(int count) {
    fixtures_.clear();
    records_.clear();
    fixtures_.reserve(count);
    for (int i = 0; i < count; i++) fixtures_.emplace_back(1, 1, 0);
    for (auto& f : fixtures_) records_.push_back(f.s);
    series_table = {count, count ? records_.data() : nullptr, -1, -1, 0};
  }
  void install(series_fixture* f) { series_table = {1, &f->s, -1, -1, 0}; }
  static void key(int code) { series_page_key(code); }
  std::vector<series_fixture> fixtures_;
  std::vector<series_record> records_;
};

TEST_F(SeriesPages, ListSkipsHiddenItemsAndClampsPages) {
  // Per series count and shown page: from an item, where "down" and "up"
  // lead.
  struct step {
    int count, page, from, down, up;
  } steps[] = {
      {0, 0, 0, 0, 0},                    // nothing but "Back to Main Menu"
      {1, 0, 0, 2, 0},   {1, 0, 2, 2, 0}, // one row, both page items hidden
      {20, 0, 0, 2, 0},  {20, 0, 21, 21, 20},
      {21, 0, 21, 22, 20}, {21, 0, 22, 22, 21},
      {21, 1, 0, 1, 0},  {21, 1, 1, 2, 0}, {21, 1, 2, 2, 1},
      {45, 2, 6, 6, 5},  {45, 1, 21, 22, 20}, {45, 1, 22, 22, 21},
  };
  for (const step& c : steps) {
    SCOPED_TRACE(testing::Message() << c.count << " series, page " << c.page << ", item " << c.from);
    install_series(c.count);
    series_page_index = c.page;
    menu_selection = c.from;
    key(menu_keys.down);
    EXPECT_EQ(menu_selection, c.down);
    menu_selection = c.from;
    key(menu_keys.up);
    EXPECT_EQ(menu_selection, c.up);
  }
  // Next Page / Prev Page clamp, and a row opens its series.
  install_series(45);
  series_page_index = 0;
  for (int i = 0; i < 2; i++) {
    menu_selection = 22;
    key(menu_keys.enter);
  }
  EXPECT_EQ(series_page_index, 2);
  EXPECT_EQ(menu_selection, 6);  // "Next Page" hid: the last row
  EXPECT_STREQ(series_page_rows[4], "Cup");
  EXPECT_EQ(series_page_rows[5], nullptr);
  for (int i = 0; i < 2; i++) {
    menu_selection = 1;
    key(menu_keys.enter);
  }
  EXPECT_EQ(series_page_index, 0);
  EXPECT_EQ(menu_selection, 0);
  EXPECT_EQ(menu_page, page_series);
  series_page_index = 2;
  menu_selection = 6;
  key(menu_keys.enter);
  EXPECT_EQ(menu_page, page_standings);
  EXPECT_EQ(series_shown, 44);
  menu_page = page_series;
  menu_selection = 0;
  key(menu_keys.enter);
  EXPECT_EQ(menu_page, page_main);
}

TEST_F(SeriesPages, FirstEventLinesUpRobotsThenThePlayer) {
  series_fixture f(3, 2, 0);
  int line_up[line_up_slots];
  ASSERT_EQ(build_series_line_up(&f.s, line_up), 1);
  EXPECT_EQ(line_up[0], 1100);
  EXPECT_EQ(line_up[1], 1101);
  EXPECT_EQ(line_up[2], 1102);
  EXPECT_EQ(line_up[3], 1);
  for (int i = 4; i < line_up_slots; i++) EXPECT_EQ(line_up[i], 0) << i;
}

TEST_F(SeriesPages, LaterEventsPlaceTheWorstFirst) {
  series_fixture f(3, 2, 1);
  int* prev = f.events[0].positions;
  prev[0] = 2, prev[1] = 0, prev[2] = 3, prev[3] = 1;
  int line_up[line_up_slots];
  ASSERT_EQ(build_series_line_up(&f.s, line_up), 1);
  std::vector<int> expect(line_up_slots, 0);
  expect[6] = 1102, expect[8] = 1100, expect[10] = 1, expect[12] = 1101;
  EXPECT_EQ(std::vector<int>(line_up, line_up + line_up_slots), expect);

  // Beyond R and negative count as R, in rider order.
  prev[0] = 7, prev[1] = 3, prev[2] = -1, prev[3] = 0;
  build_series_line_up(&f.s, line_up);
  EXPECT_EQ(line_up[6], 1100);
  EXPECT_EQ(line_up[8], 1101);
  EXPECT_EQ(line_up[10], 1102);
  EXPECT_EQ(line_up[12], 1);
}

TEST_F(SeriesPages, LineUpTablesForFourteenFortyFiveAndAFullGrid) {
  {
    series_fixture f(14, 2, 1);  // positions 0..14 by rider
    int line_up[line_up_slots];
    build_series_line_up(&f.s, line_up);
    int filled = 0;
    for (int g = 0; g < line_up_slots; g++) filled += line_up[g] != 0;
    EXPECT_EQ(filled, 15);
    EXPECT_EQ(line_up[6], 1);      // the player was last
    EXPECT_EQ(line_up[34], 1100);  // the winner takes the last place
  }
  {
    series_fixture f(45, 2, 1);
    int line_up[line_up_slots];
    build_series_line_up(&f.s, line_up);
    // Places 40..45 (riders 5..0) go on at gates 41..46.
    for (int place = 40; place <= 45; place++) EXPECT_EQ(line_up[place], 1100 + 45 - place) << place;
    EXPECT_EQ(line_up[10], 1);
  }
  {
    series_fixture f(159, 2, 1);
    int line_up[line_up_slots];
    build_series_line_up(&f.s, line_up);
    std::vector<int> seen;
    for (int g = 0; g < line_up_slots; g++) {
      EXPECT_NE(line_up[g], 0) << g;
      seen.push_back(line_up[g]);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  }
}

TEST_F(SeriesPages, PrepareStartsTheNextEventThroughTheReset) {
  series_fixture f(2, 3, 1);
  f.events[1].track = 2;
  f.s.skill = 2;
  install(&f);
  ASSERT_EQ(prepare_series_event(), 1);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].length, 15360);
  EXPECT_EQ(resets[0].laps, 3);
  EXPECT_EQ(resets[0].skill, 2);
  EXPECT_EQ(resets[0].track, "t2");
  EXPECT_EQ(*game_settings.track.selected, 2);
  EXPECT_EQ(leaves, 1);

  f.s.events_done = 3;  // finished
  EXPECT_EQ(prepare_series_event(), 0);
  EXPECT_EQ(resets.size(), 1u);
  EXPECT_EQ(leaves, 1);

  EXPECT_EQ(series_event_ticks(-5), 0);
  EXPECT_EQ(series_event_ticks(INT_MAX), INT_MAX);
  EXPECT_EQ(series_event_ticks(279620), 279620 * 7680);  // the last that fits
  EXPECT_EQ(series_event_ticks(279621), INT_MAX);
}

TEST_F(SeriesPages, EnterPracticeAndResetPoints) {
  series_fixture a(2, 3, 1), b(2, 3, 0);
  std::vector<series_record> table = {a.s, b.s};
  series_table = {2, table.data(), 1, 0, 0};  // series 1 entered before
  series_shown = 0;
  menu_page = page_standings;
  menu_selection = 1;
  standings_page_key(menu_keys.enter);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].entered_at_call, 1);  // the reset saw the old entry
  EXPECT_EQ(series_table.current_series, 0);
  EXPECT_EQ(series_table.current_event, 1);
  EXPECT_EQ(menu_page, -1);

  // Entering the entered series again does nothing.
  menu_page = page_standings;
  menu_selection = 1;
  standings_page_key(menu_keys.enter);
  EXPECT_EQ(resets.size(), 1u);
  EXPECT_EQ(menu_page, page_standings);

  // Practice starts the event but enters nothing.
  series_table.current_series = -1;
  series_table.current_event = -1;
  menu_selection = 2;
  standings_page_key(menu_keys.enter);
  EXPECT_EQ(resets.size(), 2u);
  EXPECT_EQ(series_table.current_series, -1);

  // Reset Points: only the events done change.
  menu_page = page_standings;
  menu_selection = 3;
  const series_event before = table[0].events[0];
  standings_page_key(menu_keys.enter);
  EXPECT_EQ(table[0].events_done, 0);
  EXPECT_EQ(std::memcmp(&before, &table[0].events[0], sizeof before), 0);
  EXPECT_EQ(menu_page, page_standings);

  // A finished series closes the menu and starts nothing.
  table[0].events_done = 3;
  menu_selection = 1;
  standings_page_key(menu_keys.enter);
  EXPECT_EQ(menu_page, -1);
  EXPECT_EQ(resets.size(), 2u);
  EXPECT_EQ(series_table.current_series, -1);
}

TEST_F(SeriesPages, StandingsWithoutAValidSeriesGoBackToTheList) {
  for (int shown : {-1, 0, 5}) {
    series_table = {0, nullptr, -1, -1, 0};
    series_shown = shown;
    menu_page = page_standings;
    menu_selection = 1;
    standings_page_key(menu_keys.enter);
    EXPECT_EQ(menu_page, page_series);
    EXPECT_TRUE(resets.empty());
  }
}

// The cells of rider i in a block.
const standings_row* row_of(const standings_row* rows, int n, int rider) {
  for (int i = 0; i < n; i++)
    if (rows[i].rider == rider) return &rows[i];
  return nullptr;
}

TEST_F(SeriesPages, StandingsCellsForRacesAndHeats) {
  static standings_row rows[series_rider_max];
  {
    // A single race; a ranked one takes its points by rank.
    series_fixture f(2, 2, 2);
    f.events[1].second_row[0] = 1;
    f.events[1].positions[0] = 2, f.events[1].positions[1] = 0, f.events[1].positions[2] = 1;
    f.events[1].ranks[0] = 1, f.events[1].ranks[1] = 0, f.events[1].ranks[2] = 2;
    const int n = build_standings_block(&f.s, 0, rows);
    ASSERT_EQ(n, 3);
    EXPECT_STREQ(row_of(rows, n, 0)->cells[0], "25 (1)");
    EXPECT_STREQ(row_of(rows, n, 0)->cells[1], "24 (2)");
    EXPECT_STREQ(row_of(rows, n, 0)->cells[2], "-");
    EXPECT_EQ(row_of(rows, n, 0)->total, 49);
    EXPECT_STREQ(row_of(rows, n, 0)->number, "100");
    EXPECT_STREQ(row_of(rows, n, 2)->number, "");
  }
  {
    // Heat, final; then two heats and a final with only the heats run.
    series_fixture f(2, 5, 2);
    f.heat(0), f.heat(2), f.heat(3);
    f.events[0].positions[0] = 1, f.events[0].positions[1] = 0;
    const int n = build_standings_block(&f.s, 0, rows);
    EXPECT_STREQ(row_of(rows, n, 0)->cells[0], "25 (2-1)");
    EXPECT_STREQ(row_of(rows, n, 2)->cells[1], "-");
    f.s.events_done = 3;
    build_standings_block(&f.s, 0, rows);
    EXPECT_STREQ(row_of(rows, n, 2)->cells[1], "- (3-)");
    f.s.events_done = 4;
    build_standings_block(&f.s, 0, rows);
    EXPECT_STREQ(row_of(rows, n, 2)->cells[1], "- (3-3-)");
    f.s.events_done = 5;
    build_standings_block(&f.s, 0, rows);
    EXPECT_STREQ(row_of(rows, n, 2)->cells[1], "23 (3-3-3)");
  }
  {
    // Three heats before a final: the two nearest show.
    series_fixture f(1, 4, 4);
    f.heat(0), f.heat(1), f.heat(2);
    f.events[0].positions[0] = 1;
    f.events[1].positions[1] = 0;
    const int n = build_standings_block(&f.s, 0, rows);
    EXPECT_STREQ(row_of(rows, n, 1)->cells[0], "24 (1-2-2)");
  }
}

TEST_F(SeriesPages, StandingsOrderTiesAndBlocks) {
  static standings_row rows[series_rider_max];
  {
    // Equal totals: the better last position first; full ties by rider.
    series_fixture f(3, 2, 2);
    int* p0 = f.events[0].positions;
    int* p1 = f.events[1].positions;
    p0[0] = 0, p0[1] = 1, p0[2] = 2, p0[3] = 3;
    p1[0] = 1, p1[1] = 0, p1[2] = 3, p1[3] = 2;  // riders 0, 1 on 49
    const int n = build_standings_block(&f.s, 0, rows);
    EXPECT_EQ(rows[0].rider, 1);
    EXPECT_EQ(rows[1].rider, 0);
    // Hand-edited positions outside 0..R both count as R: a full tie.
    p0[2] = -1, p1[2] = 200, p0[3] = 200, p1[3] = -1;
    build_standings_block(&f.s, 0, rows);
    EXPECT_EQ(rows[2].rider, 2);
    EXPECT_EQ(rows[3].rider, 3);
    EXPECT_EQ(rows[3].total, 44);
    EXPECT_STREQ(row_of(rows, n, 3)->cells[0], "22 (4)");
  }
  {
    // Nine points races: the second block holds race 9, totalled over all.
    series_fixture f(1, 9, 9);
    EXPECT_EQ(series_points_race_count(&f.s), 9);
    build_standings_block(&f.s, 0, rows);
    EXPECT_EQ(rows[0].total, 8 * 25);
    build_standings_block(&f.s, 8, rows);
    EXPECT_EQ(rows[0].total, 9 * 25);
    EXPECT_STREQ(rows[0].cells[0], "25 (1)");
    EXPECT_STREQ(rows[0].cells[1], "-");
  }
}

}  // namespace
