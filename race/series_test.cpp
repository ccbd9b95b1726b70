#include "race/series.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "race/game_state.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

std::string row(std::vector<int> first) {
  std::string r;
  for (int i = 0; i < series_row_read; i++) r += std::to_string(i < (int)first.size() ? first[i] : 0) + " ";
  return r + "\n";
}

// One event: title, track, the two values, points and second row.
std::string event(const std::string& title, const std::string& track, std::vector<int> points, int ranked) {
  return title + " " + track + " 5 2\n" + row(points) + row({ranked});
}

std::string series_text(const std::string& head, const std::vector<std::string>& events) {
  std::string t = head + std::to_string(events.size()) + "\n";
  for (const std::string& e : events) t += e;
  return t;
}

struct Series : ::testing::Test {
  void SetUp() override {
    // A data root of their own: other tests of this program build the
    // sample data, with its series, into the shared one.
    saved_home = std::getenv("BK_HOME");
    root = fs::path(test_root()) / "series_data";
    fs::create_directories(root);
    setenv("BK_HOME", root.c_str(), 1);
    free_file_index();
    track_folders = folders;
    track_count = 2;
    search_roots_free();
  }
  void TearDown() override {
    free_series_table();
    track_folders = nullptr;
    track_count = 0;
    for (const auto& p : written) fs::remove(p);
    free_file_index();
    setenv("BK_HOME", saved_home.c_str(), 1);
    search_roots_free();
    test_log_end();
  }
  void put(const std::string& name, const std::string& text) {
    std::ofstream(root / name, std::ios::binary) << text;
    written.push_back(root / name);
  }
  fs::path root;
  std::string saved_home;
  std::vector<fs::path> written;
  char quarry[11] = "quarrybend";
  char hill[9] = "rockhill";
  char* folders[2] = {quarry, hill};
};

const std::string good_head = "\"The Cup\"\n3 Novice\n20 35 47\n";

TEST_F(Series, ReadsAWholeSeriesWithQuotedAndPlainNames) {
  put("cup.series", series_text(good_head, {event("\"First Heat\"", "quarrybend", {0}, 0),
                                            event("Final", "\"rockhill\"", {25, 22, 20, 18}, 1)}));
  game_state.debug_level = 1;
  test_log_begin();
  series_record s;
  ASSERT_EQ(read_series_file("cup.series", &s), 1);
  const std::string log = test_log_text();
  game_state.debug_level = 0;
  EXPECT_STREQ(s.title, "The Cup");
  EXPECT_STREQ(s.file_name, "cup.series");
  EXPECT_EQ(s.rider_count, 3);
  EXPECT_EQ(s.skill, 0);
  EXPECT_EQ(s.riders[2], 47);
  ASSERT_EQ(s.event_count, 2);
  EXPECT_STREQ(s.events[0].title, "First Heat");
  EXPECT_EQ(s.events[1].track, 1);
  EXPECT_EQ(s.events[1].params[0], 5);
  EXPECT_EQ(s.events[1].points[3], 18);
  EXPECT_EQ(s.events[1].points[40], 0);
  EXPECT_EQ(s.events[1].second_row[0], 1);
  EXPECT_NE(log.find("series cup.series (The Cup)"), std::string::npos) << log;
  EXPECT_NE(log.find("  event rockhill (Final)"), std::string::npos) << log;
  free_series_record(&s);
}

TEST_F(Series, UnknownSkillIsExpert) {
  put("skill.series", series_text("T\n0 Hard\n", {}));
  series_record s;
  ASSERT_EQ(read_series_file("skill.series", &s), 1);
  EXPECT_EQ(s.skill, 2);
  EXPECT_EQ(s.event_count, 0);
  free_series_record(&s);
}

// Every malformed file is dropped with one log line naming it and why.
TEST_F(Series, MalformedFilesAreDroppedWithAReason) {
  const std::string ev = event("E", "quarrybend", {3, 2, 1}, 1);
  const struct {
    const char* name;
    std::string text;
    const char* reason;
  } cases[] = {
      {"empty.series", "", "no title"},
      {"short.series", good_head + "1\nE quarrybend 5 2\n1 2 3\n", "a short points row"},
      {"n160.series", "T\n160 Novice\n", "rider count outside 0..159"},
      {"nminus.series", "T\n-1 Novice\n", "rider count outside 0..159"},
      {"eminus.series", good_head + "-1\n", "negative event count"},
      {"ehuge.series", good_head + "2147483647\n" + ev, "an event without a title"},
      {"track.series", series_text(good_head, {event("E", "nosuch", {1}, 1)}), "not installed"},
      {"riders.series", "T\n3 Novice\n20 35\n", "short list of rider numbers"},
      {"quote.series", "\"never closed\n1 Novice\n", "no title"},
  };
  for (const auto& c : cases) {
    put(c.name, c.text);
    test_log_begin();
    series_record s;
    EXPECT_EQ(read_series_file(c.name, &s), 0) << c.name;
    const std::string log = test_log_text();
    EXPECT_NE(log.find(std::string("Series '") + c.name + "' dropped: "), std::string::npos) << log;
    EXPECT_NE(log.find(c.reason), std::string::npos) << c.name << ": " << log;
    EXPECT_EQ(s.events, nullptr);
    EXPECT_EQ(s.file_name, nullptr);
  }
}

// Standings rows: a full row completes its event; a damaged row ends the
// reading, is named with its line, and the per-user file is moved aside so
// the next event's standings never replace it unseen.
TEST_F(Series, StandingsRowsCompleteEventsUntilADamagedRow) {
  put("st.series", series_text(good_head, {event("A", "quarrybend", {10, 5}, 1), event("B", "quarrybend", {10, 5}, 1),
                                           event("C", "quarrybend", {10, 5}, 1)}));
  char* p = home_file_path("@st.series_standings");
  const std::string home = p;
  check_free(p);
  fs::create_directories(fs::path(home).parent_path());
  std::string ones;
  for (int i = 0; i < 5 * 1024 * 1024; i++) ones += "1 ";
  const struct {
    std::string standings;
    int done;
    const char* fault;
  } cases[] = {
      {"1 2 3 4\n4 3 2 1\n2 1 4 3\n", 3, nullptr},
      {"1 2 3 4\r\n4 3 2 1\r\n", 2, nullptr},
      {"1 2 3 4\n4 3 2\n", 1, "line 2: holds the wrong number of positions (3, not 4)"},
      {"1 2 3 0\n4 3 2 1\n", 0, "line 1: a position outside 1 to the riders' count"},
      {"1 2 3 4\n5 3 2 1\n", 1, "line 2: a position outside"},
      {"1 2 3 4\n4 3 2 1 2\n", 1, "line 2: holds the wrong number of positions (5, not 4)"},
      {"", 0, "is empty"},
      {"1 2 3 4\nthe standings\n", 1, "line 2: not a row of numbers"},
      {std::string("1 2 3 4\n\x01\x02\x00\x7f\n", 13), 1, "line 2: a NUL byte"},
      {ones + "\n", 0, "line 1: a line of more than 4096 bytes"},
      {"1 2 3 4\n4 3 2 1\n2 1 4 3\n1 2 3 4\n", 3, "line 4: more rows than the series has events"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standings.substr(0, 40));
    fs::remove(home + ".damaged");
    std::ofstream(home, std::ios::binary) << c.standings;
    series_record s;
    ASSERT_EQ(read_series_file("st.series", &s), 1);
    test_log_begin();
    read_series_standings(&s);
    const std::string log = test_log_text();
    test_log_end();
    EXPECT_EQ(s.events_done, c.done);
    if (c.done >= 2) {
      EXPECT_EQ(s.events[1].positions[0], 3);
      EXPECT_EQ(s.events[1].positions[3], 0);
    }
    if (c.fault) {
      EXPECT_NE(log.find(std::string("Series standings file 'st.series_standings' ") + c.fault), std::string::npos)
          << log;
      EXPECT_FALSE(fs::exists(home)) << "moved aside";
      EXPECT_EQ(test_read_file(home + ".damaged"), c.standings) << "kept whole";
    } else {
      EXPECT_EQ(log.find("Series standings"), std::string::npos) << log;
      EXPECT_EQ(test_read_file(home), c.standings);
    }
    free_series_record(&s);
  }
  fs::remove(home);
  fs::remove(home + ".damaged");
}

// The ranking: totals over the events since the last ranked one; ties to
// the better position in the ranked event, then the lower index.
TEST_F(Series, RankingTable) {
  struct ev {
    std::vector<int> points;
    int ranked;
    std::vector<int> positions;
  };
  const struct {
    const char* what;
    std::vector<ev> events;
    std::vector<std::vector<int>> ranks;  // per ranked event, per rider
  } cases[] = {
      {"plain", {{{10, 6, 3, 1}, 1, {2, 0, 3, 1}}}, {{2, 0, 3, 1}}},
      {"tie to the better place", {{{5, 5, 0, 0}, 1, {1, 0, 2, 3}}}, {{1, 0, 2, 3}}},
      // A heat scores nothing alone; the final adds on.
      {"heat then final",
       {{{4, 3, 2, 1}, 0, {0, 1, 2, 3}}, {{4, 3, 2, 1}, 1, {3, 2, 1, 0}}},
       {{}, {3, 2, 1, 0}}},
      // Totals start again after each ranked event.
      {"restart", {{{9, 0, 0, 0}, 1, {0, 1, 2, 3}}, {{1, 0, 0, 0}, 1, {3, 2, 1, 0}}}, {{0, 1, 2, 3}, {3, 2, 1, 0}}},
      // Negative points: nobody is picked twice and everybody is ranked.
      {"negative", {{{-5, -1000000, -2000000, 0}, 1, {0, 1, 2, 3}}}, {{1, 2, 3, 0}}},
  };
  for (const auto& c : cases) {
    series_record s = {};
    s.rider_count = 3;
    std::vector<series_event> events(c.events.size());
    for (size_t e = 0; e < c.events.size(); e++) {
      events[e] = {};
      for (size_t i = 0; i < c.events[e].points.size(); i++) events[e].points[i] = c.events[e].points[i];
      events[e].second_row[0] = c.events[e].ranked;
      for (int i = 0; i < 4; i++) events[e].positions[i] = c.events[e].positions[i];
    }
    s.events = events.data();
    s.event_count = s.events_done = (int)events.size();
    rank_series_standings(&s);
    for (size_t e = 0; e < c.ranks.size(); e++) {
      if (c.ranks[e].empty()) continue;
      std::vector<int> got(events[e].ranks, events[e].ranks + 4);
      EXPECT_EQ(got, c.ranks[e]) << c.what << ", event " << e;
    }
  }
}

TEST_F(Series, FullTiesRankByIndex) {
  series_record s = {};
  s.rider_count = 3;
  series_event ev = {};
  ev.second_row[0] = 1;
  s.events = &ev;
  s.event_count = s.events_done = 1;
  rank_series_standings(&s);
  EXPECT_EQ(std::vector<int>(ev.ranks, ev.ranks + 4), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(Series, TableKeepsTheGoodOnesWithTheirStandings) {
  put("a_good.series", series_text(good_head, {event("A", "quarrybend", {10, 5}, 1)}));
  put("a_good.series_standings", "2 1 3 4\n");
  put("b_bad.series", "T\n160 Novice\n");
  put("c_short.series", good_head + "1\n");
  put("d_good.series", series_text("Second\n0 Expert\n", {}));
  free_file_index();
  file_index_build();
  build_series_table();
  ASSERT_EQ(series_table.count, 2);
  EXPECT_EQ(series_table.current_series, -1);
  EXPECT_EQ(series_table.current_event, -1);
  EXPECT_STREQ(series_table.records[0].title, "The Cup");
  EXPECT_EQ(series_table.records[0].events_done, 1);
  EXPECT_EQ(series_table.records[0].events[0].ranks[1], 0);
  EXPECT_STREQ(series_page_rows[1], "Second");
  EXPECT_EQ(series_page_rows[2], nullptr);
}

TEST_F(Series, NoSeriesFreesTheTable) {
  free_file_index();
  file_index_build();
  build_series_table();
  EXPECT_EQ(series_table.count, 0);
  EXPECT_EQ(series_table.records, nullptr);
  EXPECT_EQ(series_page_rows[0], nullptr);
}

}  // namespace
