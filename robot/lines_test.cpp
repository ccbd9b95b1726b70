#include "robot/lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bike/rider.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/memory.h"
#include "race/game_state.h"
#include "robot/test_support_robot.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

// First lap: gates 0, 1 (flagged), 2, 3, 4 (flagged); normal lap: 1, 2
// (flagged), 3, 4 (flagged). F 5, SF 3, N 4, SN 2.
void three_and_two() {
  robot_fixture_route({0, 100001, 2, 3, 100004}, {1, 100002, 3, 100004});
}

int32_t counted_segments(int64_t n) {
  int32_t s = 0;
  for (int64_t i = 0; i < n; i++) s += crossing_starts_segment(i);
  return s;
}

TEST(LineSegments, NumberingCountsSegmentStartsOverTheLaps) {
  three_and_two();
  struct {
    int64_t crossings;
    int32_t segment, library;
  } cases[] = {{-5, 0, 0}, {0, 0, 0}, {1, 1, 1}, {2, 1, 1}, {3, 2, 2},  {4, 3, 3},  {5, 3, 3},
               {6, 4, 4},  {7, 4, 4}, {8, 5, 3}, {9, 5, 3}, {10, 6, 4}, {12, 7, 3}, {13, 7, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(segment_index_for_crossings(c.crossings), c.segment) << c.crossings;
    EXPECT_EQ(library_segment(segment_index_for_crossings(c.crossings)), c.library) << c.crossings;
  }
  for (int64_t n = 0; n < 60; n++) EXPECT_EQ(segment_index_for_crossings(n), counted_segments(n)) << n;
  EXPECT_EQ(route_gate_for_crossing(1), 1);
  EXPECT_EQ(route_gate_for_crossing(10), 2);
  EXPECT_EQ(segment_index_for_crossings(4000000001LL), counted_segments(0) + 3 + 999999999 * 2)
      << "many laps: no overflow";
  robot_fixture_route_free();
}

TEST(LineSegments, ListsWithoutSegmentsActAsATrackWithoutGates) {
  robot_fixture_route({0, 1, 2}, {100000, 100001, 100002});  // SN 0
  EXPECT_FALSE(route_has_segments());
  robot_fixture_route({0, 1, 2}, {});  // N 0
  EXPECT_FALSE(route_has_segments());
  for (int64_t n : {0, 1, 5, 100}) {
    EXPECT_EQ(segment_index_for_crossings(n), 0);
    EXPECT_EQ(library_segment(n), 0);
    EXPECT_FALSE(crossing_starts_segment(n));
  }
  EXPECT_EQ(library_segment_slots(0), nullptr);
  EXPECT_EQ(line_slot_to_replace(route.line_library ? route.line_library : nullptr), -1);
  robot_fixture_route_free();
}

line_record slot_with(int32_t pass_time, int32_t tested, int32_t pass_sum, int32_t failures) {
  line_record r{};
  line_record_empty(&r);
  r.pass_time = pass_time;
  r.times_tested = tested;
  r.pass_time_sum = pass_sum;
  r.failures = failures;
  return r;
}

TEST(LineSlots, ExpectedTimes) {
  struct {
    int32_t pass_time, tested, pass_sum, failures;
    int64_t expected;
  } cases[] = {
      {0, 4, 4000, 1, 1000 + 640 / 5},          // tested: mean + the crash share of 5 s
      {0, 3, 1000, 0, 333},                     // truncated
      {1000, 0, 0, 0, 1250},                    // untested: 5/4 of the pass
      {1000, 0, 0, 2, 1250 + 640},              // and 5 s once it failed
      {1000000, 0, 0, 0, 1250000},              // an empty slot
      {2147483647, 0, 0, 0, 2684354558LL},      // file values do not wrap
      {0, 2147483647, 2147483647, 2147483647, 1 + 320},
  };
  for (const auto& c : cases) {
    line_record r = slot_with(c.pass_time, c.tested, c.pass_sum, c.failures);
    EXPECT_EQ(line_slot_expected_time(&r), c.expected) << c.pass_time << " " << c.tested;
  }
}

struct segment_slots {
  line_record slots[line_slots_per_segment];
  segment_slots() {
    std::memset(slots, 0, sizeof slots);
    for (auto& s : slots) line_record_empty(&s);
  }
  ~segment_slots() {
    for (auto& s : slots) line_record_empty(&s);
  }
  void line(int i, float start_x, int32_t pass_time, int32_t tested = 0, int32_t failures = 0) {
    robot_fixture_line(&slots[i], robot_fixture_run(start_x, 0, start_x, 50, 3), pass_time, tested, 1000 * tested,
                       failures);
    slots[i].pass_time_sum = pass_time * tested;
  }
};

TEST(LineSlots, SlotToGiveUp) {
  {
    segment_slots s;
    EXPECT_EQ(line_slot_to_replace(s.slots), -1) << "no used slot";
  }
  {
    // Shared starts keep their full time; a start of its own counts 3/4.
    segment_slots s;
    s.line(0, 0, 1000);
    s.line(1, 1, 1000);   // within 2 ft of slot 0
    s.line(2, 10, 1600);  // 2000 x 3/4 = 1500
    EXPECT_EQ(line_slot_to_replace(s.slots), 2);
    s.line(2, 10, 1300);  // 1625 x 3/4 = 1218 < 1250: the lower of the tie
    EXPECT_EQ(line_slot_to_replace(s.slots), 0);
    s.line(0, 5, 1000);
    s.line(1, 5, 1000);
    s.line(3, 7, 1000);  // exactly 2 ft off: not shared
    EXPECT_EQ(line_slot_to_replace(s.slots), 0) << "0 and 1 share at full time; 3 counts 3/4";
  }
  {
    // With 22 good lines or fewer, only lines tested no more than failed go.
    segment_slots s;
    s.line(0, 0, 0, 3, 0);  // tested, never failed: kept
    s.slots[0].pass_time_sum = 3 * 100000;
    s.line(1, 20, 1000, 1, 1);
    s.line(2, 40, 900);
    EXPECT_EQ(line_slot_to_replace(s.slots), 1);
    for (int i = 3; i < 25; i++) s.line(i, 60.0f + 20 * i, 100, 5, 0);  // 23 good lines
    EXPECT_EQ(line_slot_to_replace(s.slots), 0) << "the slow tested line is a candidate now";
  }
}

TEST(LineSlots, SegmentSide) {
  const line_sample a{0, 0, 0, 0, 0}, b{10, 0, 0, 0, 0};
  struct {
    float px, pz, qx, qz;
    int expected;
  } cases[] = {
      {5, -1, 5, 1, 1}, {5, 1, 5, -1, 1}, {5, 1, 7, 2, 0}, {5, -1, 7, -2, 0},
      {20, -1, 30, 1, 1},  // the line, not the segment between a and b
      {5, 0, 5, -1, 1},    // on the line counts as not negative
      {5, 0, 5, 1, 0},
  };
  for (const auto& c : cases) {
    const line_sample p{c.px, 3, c.pz, 0, 0}, q{c.qx, -3, c.qz, 0, 0};
    EXPECT_EQ(segment_side(a, b, p, q), c.expected) << c.px << "," << c.pz << " " << c.qx << "," << c.qz;
  }
}

TEST(Personalities, NamesPickRowsAndUnknownNamesRowOne) {
  rider r{};
  std::string log = test_log_begin();
  struct {
    const char* name;
    int row;
  } cases[] = {{"amber", 1}, {"cobalt", 2}, {"slate", 3}, {"tester", 4}, {"empty", 1}, {"Tester", 1}, {nullptr, 1}};
  for (const auto& c : cases) {
    r.robot.personality = -1;
    rider_set_auto_pilot_personality(&r, c.name);
    EXPECT_EQ(r.robot.personality, c.row) << (c.name ? c.name : "(null)");
  }
  const std::string text = test_log_text();
  test_log_end();
  EXPECT_NE(text.find("auto pilot personality 'empty' not found"), std::string::npos);
  EXPECT_NE(text.find("auto pilot personality 'Tester' not found"), std::string::npos);
  EXPECT_EQ(auto_pilot_personalities[2].variant_a, 2);
  EXPECT_FLOAT_EQ(auto_pilot_personalities[3].weight2, 0.1f);
}

// Lines files: written from the library, read back from a folder the test
// owns (the track's source), written into the per-user folder.
class LinesFile : public ::testing::Test {
 protected:
  std::string folder;
  void SetUp() override {
    three_and_two();
    folder = std::string(test_root()) + "/lines_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(folder);
    std::snprintf(track_source, sizeof track_source, "%s", folder.c_str());
    std::snprintf(track_folder, sizeof track_folder, "%s",
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    game_state.learn_lines = 0;
    lines_skill = -1;
  }
  void TearDown() override {
    robot_fixture_route_free();
    game_state.learn_lines = 0;
    game_state.debug_level = 0;
    lines_skill = -1;
    track_source[0] = track_folder[0] = 0;
  }
  void put(const std::string& name, const std::string& text) {
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string home_copy(const char* name) {
    char* path = home_file_path((std::string("@") + track_folder + "/" + name).c_str());
    std::string p = path ? path : "";
    check_free(path);
    return p;
  }
  int used(int32_t segment) {
    int n = 0;
    for (int i = 0; i < line_slots_per_segment; i++) n += library_segment_slots(segment)[i].sample_count > 0;
    return n;
  }
  // Loads text as lines_novice and returns the log.
  std::string load(const std::string& text) {
    put("lines_novice", text);
    test_log_begin();
    lines_load_file(0);
    const std::string log = test_log_text();
    test_log_end();
    return log;
  }
};

const char* record = "2 100 200 0 1000000 1000000 0 0 0\n[1.5 2 3] 30 0.25\n[2.5 2 3] -31 -0.5\n";

TEST_F(LinesFile, RoundTrip) {
  robot_fixture_line(&library_segment_slots(0)[0], robot_fixture_run(1.5f, 2, 8, 9, 4), 700, 6, 2100, 1);
  robot_fixture_line(&library_segment_slots(0)[7], robot_fixture_run(-1, 0.25f, 3, 4, 2), 900);
  robot_fixture_line(&library_segment_slots(4)[44], robot_fixture_run(0, 0, 1, 1, 5), 800, 70, 28000, 3);
  library_segment_slots(4)[44].best_own_time = 390;
  library_segment_slots(4)[44].best_pass_time = 780;
  const std::string text = lines_file_text();
  put("lines_amateur", text);
  std::vector<line_record> before = {library_segment_slots(0)[0], library_segment_slots(0)[7],
                                     library_segment_slots(4)[44]};
  std::vector<std::vector<line_sample>> before_samples;
  for (const auto& r : before) before_samples.emplace_back(r.samples, r.samples + r.sample_count);
  three_and_two();  // a fresh, empty library

  EXPECT_EQ(lines_load_file(1), 1);
  EXPECT_EQ(lines_skill, 1);
  EXPECT_EQ(lines_file_text(), text);
  const line_record* after[] = {&library_segment_slots(0)[0], &library_segment_slots(0)[1],
                                &library_segment_slots(4)[0]};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(after[i]->sample_count, before[i].sample_count);
    EXPECT_EQ(after[i]->own_time, before[i].own_time);
    EXPECT_EQ(after[i]->pass_time, before[i].pass_time);
    EXPECT_EQ(after[i]->times_tested, before[i].times_tested);
    EXPECT_EQ(after[i]->best_own_time, before[i].best_own_time);
    EXPECT_EQ(after[i]->best_pass_time, before[i].best_pass_time);
    EXPECT_EQ(after[i]->own_time_sum, before[i].own_time_sum);
    EXPECT_EQ(after[i]->pass_time_sum, before[i].pass_time_sum);
    EXPECT_EQ(after[i]->failures, before[i].failures);
    EXPECT_EQ(after[i]->unique_id, i + 1) << "ids in reading order";
    for (int32_t k = 0; k < after[i]->sample_count; k++) {
      EXPECT_NEAR(after[i]->samples[k].x, before_samples[i][k].x, 1e-6);
      EXPECT_NEAR(after[i]->samples[k].z, before_samples[i][k].z, 1e-6);
      EXPECT_EQ(after[i]->samples[k].speed, before_samples[i][k].speed);
    }
  }
  EXPECT_EQ(used(1), 0);
  EXPECT_EQ(route.id_serial, 3);
}

TEST_F(LinesFile, WritingNeedsLearningAndGoesToThePerUserFolder) {
  robot_fixture_line(&library_segment_slots(2)[3], robot_fixture_run(0, 0, 1, 0, 2), 640);
  const std::string home = home_copy("lines_expert");
  EXPECT_EQ(lines_write_file("lines_expert"), 0);
  EXPECT_FALSE(std::filesystem::exists(home)) << "learning off: no file";

  game_state.learn_lines = 1;
  EXPECT_EQ(lines_write_file("lines_expert"), 1);
  EXPECT_EQ(test_read_file(home),
            "ct03 5\n0\n0\n1\n2 320 640 0 1000000 1000000 0 0 0\n[0.000000 0.000000 0.000000] 30.000000 "
            "0.000000\n[1.000000 0.000000 0.000000] 30.000000 0.000000\n0\n0\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "/lines_expert")) << "the shipped folder is not written";

  // The per-user copy shadows the shipped one when the game reads by "@".
  std::snprintf(track_source, sizeof track_source, "@%s", track_folder);
  three_and_two();
  EXPECT_EQ(lines_load_file(2), 1);
  EXPECT_EQ(used(2), 1);
}

TEST_F(LinesFile, AFailedWriteKeepsTheOldFile) {
  game_state.learn_lines = 1;
  robot_fixture_line(&library_segment_slots(0)[0], robot_fixture_run(0, 0, 1, 0, 2), 640);
  ASSERT_EQ(lines_write_file("lines_novice"), 1);
  const std::string home = home_copy("lines_novice");
  const std::string old = test_read_file(home);
  robot_fixture_line(&library_segment_slots(1)[0], robot_fixture_run(0, 0, 1, 0, 2), 640);

  const auto saved = file_replace_ops;
  file_replace_ops.write = [](int, const void*, size_t) -> ssize_t { return -1; };
  test_log_begin();
  EXPECT_EQ(lines_write_file("lines_novice"), 0);
  const std::string log = test_log_text();
  test_log_end();
  file_replace_ops = saved;
  EXPECT_EQ(test_read_file(home), old);
  EXPECT_NE(log.find("Can't write lines file '@AFailedWriteKeepsTheOldFile/lines_novice'"), std::string::npos) << log;
}

TEST_F(LinesFile, ClearWritesTheRememberedSkillOnceThenEmpties) {
  game_state.learn_lines = 1;
  robot_fixture_line(&library_segment_slots(3)[2], robot_fixture_run(0, 0, 1, 0, 2), 640);
  line_library_clear();
  EXPECT_FALSE(std::filesystem::exists(home_copy("lines_novice"))) << "no skill remembered yet";
  EXPECT_EQ(used(3), 0);

  EXPECT_EQ(lines_load_file(0), 0) << "no shipped file";
  EXPECT_EQ(lines_skill, 0);
  robot_fixture_line(&library_segment_slots(3)[2], robot_fixture_run(0, 0, 1, 0, 2), 640);
  library_segment_slots(3)[2].last_picked_tick = 77;
  line_library_clear();
  EXPECT_EQ(used(3), 0);
  EXPECT_EQ(library_segment_slots(3)[2].last_picked_tick, 77);
  EXPECT_EQ(library_segment_slots(3)[2].own_time, line_time_none);
  const std::string written = test_read_file(home_copy("lines_novice"));
  EXPECT_NE(written.find("\n1\n2 320 640"), std::string::npos) << written;
}

TEST_F(LinesFile, HeaderMustNameThisTracksSegments) {
  for (const char* text : {"ct03 4\n1\n", "ct03 6\n1\n", "ct02 5\n", "", "ct03\n"}) {
    put("lines_novice", std::string(text) + record);
    EXPECT_EQ(lines_load_file(0), 0) << text;
    EXPECT_EQ(used(0), 0) << text;
  }
  put("lines_novice", std::string("ct03 5\n1\n") + record);
  EXPECT_EQ(lines_load_file(0), 1);
  EXPECT_EQ(used(0), 1);
}

TEST_F(LinesFile, FiftyRecordsKeepTheFirstFortyFive) {
  std::string text = "ct03 5\n50\n";
  for (int i = 0; i < 50; i++) {
    char line[128];
    std::snprintf(line, sizeof line, "1 %d %d 0 1000000 1000000 0 0 0\n[%d 0 0] 30 0\n", 100 + i, 200 + i, i);
    text += line;
  }
  text += std::string("1\n") + record;
  load(text);
  EXPECT_EQ(used(0), 45);
  EXPECT_EQ(library_segment_slots(0)[44].own_time, 144);
  EXPECT_EQ(used(1), 1);
  EXPECT_EQ(library_segment_slots(1)[0].sample_count, 2) << "the next segment starts in the right place";
  EXPECT_EQ(route.id_serial, 46);
}

TEST_F(LinesFile, OverLargeCountsAreRescaled) {
  struct {
    const char* counts;
    int32_t tested, own_sum, pass_sum, failures;
  } cases[] = {
      {"100000 50000000 60000000 1000", 50000, 25000000, 30000000, 500},
      {"10 1000 200000000 3", 5, 500, 100000000, 1},       // a pass sum too big: halved once
      {"0 0 0 200000", 0, 0, 0, 50000},                    // untested: only failures halve
      {"2147483647 2147483647 2147483647 2147483647", 65535, 65535, 65535, 65535},
      {"10 2000000000 50 0", 10, 100000000, 50, 0},  // an own sum too big is only clamped
      {"40 99999999 100000000 70000", 20, 49999980, 50000000, 35000},
  };
  for (const auto& c : cases) {
    char tested[16], rest[64];
    std::sscanf(c.counts, "%15s %63[^\n]", tested, rest);
    int32_t t = 0, o = 0, p = 0, f = 0;
    std::sscanf(c.counts, "%d %d %d %d", &t, &o, &p, &f);
    char text[256];
    std::snprintf(text, sizeof text, "ct03 5\n1\n1 100 200 %d 90 180 %d %d %d\n[0 0 0] 30 0\n", t, o, p, f);
    load(text);
    const line_record& r = library_segment_slots(0)[0];
    EXPECT_EQ(r.times_tested, c.tested) << c.counts;
    EXPECT_EQ(r.own_time_sum, c.own_sum) << c.counts;
    EXPECT_EQ(r.pass_time_sum, c.pass_sum) << c.counts;
    EXPECT_EQ(r.failures, c.failures) << c.counts;
    three_and_two();
  }
}

// Each malformed record between two good ones: logged with file, segment
// and record, its slot empty, the good ones kept.
TEST_F(LinesFile, MalformedRecordsLeaveTheirSlotEmptyAndReadingGoesOn) {
  const char* bad[] = {
      "0 100 200 0 1000000 1000000 0 0 0\n",                          // no samples
      "70000 100 200 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n",         // more than 65536
      "2147483647 100 200 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n",    // would not fit in memory
      "-3 100 200 0 1000000 1000000 0 0 0\n",                         // negative count
      "1 100 -200 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n",           // negative time
      "1 100 200 0 1000000 1000000 0 0 -1\n[0 0 0] 1 0\n",           // negative failures
      "2 100 200 0 1000000 1000000 0 0 0\n[0 1e999 0] 1 0\n[0 0 0] 1 0\n",  // not finite
  };
  for (const char* b : bad) {
    const std::string log = load(std::string("ct03 5\n3\n") + record + b + record + "1\n" + record);
    EXPECT_EQ(used(0), 2) << b;
    EXPECT_GT(library_segment_slots(0)[0].sample_count, 0) << b;
    EXPECT_EQ(library_segment_slots(0)[1].sample_count, 0) << b;
    EXPECT_EQ(library_segment_slots(0)[1].samples, nullptr) << b;
    EXPECT_GT(library_segment_slots(0)[2].sample_count, 0) << b;
    EXPECT_EQ(used(1), 1) << b;
    EXPECT_NE(log.find("segment 0 record 1 is malformed"), std::string::npos) << b << log;
    three_and_two();
  }
}

// Damage inside segment 0 costs only what it touches: the later segments
// still load from the same file, and the log names the line.
TEST_F(LinesFile, DamageCostsOnlyWhatItTouches) {
  const std::string rest = std::string("1\n") + record + "1\n" + record + "1\n" + record + "1\n" + record;
  struct {
    const char* what;
    std::string segment0;
    int used0;
    const char* logged;
  } cases[] = {
      {"a sample cut short", std::string("2\n2 100 200 0 1 1 0 0 0\n[1 2 3] 30\n") + record, 1,
       "line 3: segment 0 record 0 is malformed: cut short after 0 of 2 samples"},
      {"a record cut short by the next", std::string("2\n2 100 200 0 1 1 0 0 0\n[1 2 3] 30 0\n") + record, 1,
       "line 3: segment 0 record 0 is malformed: cut short after 1 of 2 samples"},
      {"nine integers cut short", std::string("2\n2 100 200 0\n") + record, 1,
       "line 3: not a count, a record or a sample"},
      {"binary junk", std::string("2\n\x89PNG\x01\xff junk\n") + record + record, 2, "line 3: not a count"},
      {"NUL bytes", std::string("1\n") + std::string("2 1\0\0 0\n", 8) + record, 1, "line 3: a NUL byte"},
      {"a line of 10 kB", "1\n" + std::string(10000, '1') + "\n" + record, 1, "line 3: a line of more than 4096"},
      {"a huge count", std::string("2147483647\n") + record, 1,
       "line 6: segment 0 has 1 records where its count says 2147483647"},
      {"a negative count", std::string("-1\n") + record, 1, "line 2: segment 0 has -1 records"},
      {"a count too small", std::string("1\n") + record + record, 2,
       "line 6: segment 0 has more records than its count of 1"},
      {"a sample that is no number", std::string("1\n1 100 200 0 1 1 0 0 0\n[1 nan x] 30 0\n"), 0,
       "line 4: segment 0 record 0 is malformed: a sample is not five finite numbers"},
      {"infinite samples", std::string("1\n1 100 200 0 1 1 0 0 0\n[1 inf 3] 30 0\n"), 0,
       "line 4: segment 0 record 0 is malformed: a sample is not five finite numbers"},
      {"a stray sample", std::string("1\n") + record + "[1 2 3] 4 5\n", 1, "line 6: a sample outside any record"},
      {"a count out of range", std::string("99999999999\n") + record, 1, "line 2: segment 0 has 99999999999 records"},
  };
  for (const auto& c : cases) {
    const std::string log = load("ct03 5\n" + c.segment0 + rest);
    EXPECT_EQ(used(0), c.used0) << c.what;
    for (int32_t k = 1; k < 5; k++) EXPECT_EQ(used(k), 1) << c.what << " segment " << k;
    EXPECT_NE(log.find(std::string("Lines file '") + folder + "/lines_novice' " + c.logged), std::string::npos)
        << c.what << "\n" << log;
    three_and_two();
  }
}

TEST_F(LinesFile, AFileCutShortKeepsWhatWasRead) {
  const std::string log = load(std::string("ct03 5\n2\n") + record + record + "1\n" + record + "3\n" + record);
  EXPECT_EQ(used(0), 2);
  EXPECT_EQ(used(1), 1);
  EXPECT_EQ(used(2), 1);
  EXPECT_NE(log.find("line 16: ends in segment 2 at record 1"), std::string::npos) << log;
  three_and_two();
  const std::string early = load(std::string("ct03 5\n1\n") + record + "0\n");
  EXPECT_NE(early.find("line 6: ends before segment 2"), std::string::npos) << early;
  EXPECT_EQ(used(0), 1);

  // A ruined file says why a few times, then how much was wrong.
  std::string junk = "ct03 5\n";
  for (int i = 0; i < 100; i++) junk += "junk\n";
  const std::string many = load(junk);
  EXPECT_NE(many.find("101 faults in all"), std::string::npos) << many;
  EXPECT_LT(many.size(), 2000u) << many;
}

// A per-user copy that is damaged does not hide the shipped file: every
// segment the copy cannot give whole comes from the shipped one.
TEST_F(LinesFile, ThePerUserCopyIsFilledInFromTheShippedFile) {
  const std::string shipped_folder = std::string(std::getenv("BK_HOME")) + "/" + track_folder;
  std::filesystem::create_directories(shipped_folder);
  const std::string shipped = std::string("ct03 5\n") + "1\n" + record + "1\n" + record + "1\n" + record + "1\n" +
                              record + "1\n" + record;
  {
    FILE* f = std::fopen((shipped_folder + "/lines_novice").c_str(), "wb");
    std::fwrite(shipped.data(), 1, shipped.size(), f);
    std::fclose(f);
  }
  const std::string home = home_copy("lines_novice");
  std::filesystem::create_directories(std::filesystem::path(home).parent_path());
  std::snprintf(track_source, sizeof track_source, "@%s", track_folder);
  const std::string learned = "3 1 2 0 1000000 1000000 0 0 0\n[9 9 9] 1 0\n[9 9 9] 1 0\n[9 9 9] 1 0\n";
  struct {
    const char* what;
    std::string text;
    int used[5];
  } cases[] = {
      {"sound", "ct03 5\n1\n" + learned + "0\n1\n" + learned + "0\n0\n", {1, 0, 1, 0, 0}},
      {"cut in segment 0", "ct03 5\n2\n" + learned + "3 1 2 0", {2, 1, 1, 1, 1}},
      {"empty", "", {1, 1, 1, 1, 1}},
      {"junk", "\x7f" "ELF\x02\x01", {1, 1, 1, 1, 1}},
      {"a bad record in segment 2", "ct03 5\n1\n" + learned + "1\n" + learned + "2\n" + learned + "0 0\n1\n" +
           learned + "1\n" + learned, {1, 1, 2, 1, 1}},
  };
  for (const auto& c : cases) {
    {
      FILE* f = std::fopen(home.c_str(), "wb");
      std::fwrite(c.text.data(), 1, c.text.size(), f);
      std::fclose(f);
    }
    three_and_two();
    EXPECT_EQ(lines_load_file(0), 1) << c.what;
    for (int32_t k = 0; k < 5; k++) EXPECT_EQ(used(k), c.used[k]) << c.what << " segment " << k;
    EXPECT_EQ(library_segment_slots(0)[0].sample_count, c.text.size() > 20 ? 3 : 2) << c.what;
  }
  std::filesystem::remove(home);
  three_and_two();
  EXPECT_EQ(lines_load_file(0), 1) << "no per-user copy";
  for (int32_t k = 0; k < 5; k++) EXPECT_EQ(used(k), 1) << k;
  std::filesystem::remove_all(shipped_folder);
}

TEST_F(LinesFile, DebugLevelLogsEachSegmentsCount) {
  game_state.debug_level = 1;
  const std::string log = load(std::string("ct03 5\n1\n") + record + "0\n2\n" + record + record);
  EXPECT_NE(log.find("0: 1\n"), std::string::npos);
  EXPECT_NE(log.find("1: 0\n"), std::string::npos);
  EXPECT_NE(log.find("2: 2\n"), std::string::npos);
}

// Pruning thins the first lap's segments that hold 44 lines or more.
TEST_F(LinesFile, PruneDropsTheMostCrossingLineThenTheSlowest) {
  line_record* slots = library_segment_slots(1);
  for (int i = 0; i < 44; i++) robot_fixture_line(&slots[i], robot_fixture_run(3.0f * i, 0, 3.0f * i, 100, 5), 1000);
  // Slot 5 crosses 6 and 7; slot 30 is the slowest.
  robot_fixture_line(&slots[5], robot_fixture_run(15, 0, 21.5f, 100, 5), 1000);
  slots[30].pass_time = 3000;
  line_record* normal = library_segment_slots(3);
  for (int i = 0; i < 45; i++) robot_fixture_line(&normal[i], robot_fixture_run(3.0f * i, 0, 3.0f * i, 100, 5), 1000);
  line_library_prune();
  EXPECT_EQ(slots[5].sample_count, 0);
  EXPECT_EQ(slots[30].sample_count, 0);
  EXPECT_EQ(used(1), 42) << "44 lines: one round of two";
  EXPECT_EQ(used(3), 45) << "the normal lap is not pruned";

  // Equal counts: the later line goes when it is the faster.
  for (int i = 0; i < 45; i++) robot_fixture_line(&slots[i], robot_fixture_run(3.0f * i, 0, 3.0f * i, 100, 5), 1000);
  robot_fixture_line(&slots[10], robot_fixture_run(30, 0, 33.5f, 100, 5), 1000);  // crosses 11 only
  slots[11].pass_time = 900;
  line_library_prune();
  EXPECT_EQ(slots[11].sample_count, 0);
  EXPECT_GT(slots[10].sample_count, 0);
  EXPECT_EQ(used(1), 43) << "45 lines: one round leaves 43";
}

}  // namespace
