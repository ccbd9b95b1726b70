// Demo playback and recording on hand-made files: the first chunk's tick,
// the time trial's offset, malformed headers and bodies, backups, forced
// writes and empty recordings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/bike_setup.h"
#include "race/demo_file.h"
#include "race/demo_playback.h"
#include "race/demo_record.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/net_values.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/erode_queue.h"
#include "terrain/ruts.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

std::string u32(uint32_t v) {
  std::string s(4, 0);
  demo_put_u32(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}

// A version-6 demo built by hand, chunk by chunk.
struct demo_bytes {
  std::string text;
  uint32_t previous = 0;
  explicit demo_bytes(int riders, const char* track = "quarrybend") {
    text = "BK06 " + std::to_string(riders) + " 0 3 1600\n" + track + "\n";
    for (int i = 0; i < riders; i++) text += "crf250||||\n" + std::to_string(i) + "\nR" + std::to_string(i) + "\n\n";
  }
  demo_bytes& chunk(int32_t tick, int type, const std::string& data, int64_t length = -1) {
    const uint32_t l = length < 0 ? (uint32_t)data.size() : (uint32_t)length;
    text += u32(l ^ previous) + u32((uint32_t)tick) + std::string(1, (char)type) + data;
    previous = l;
    return *this;
  }
  static std::string entry(int index, int32_t tick, uint8_t fill) {
    return std::string(1, (char)index) + u32((uint32_t)tick) + std::string(39, (char)fill);
  }
};

std::string rut_message(int length) {
  std::string m(length, 0);
  m[0] = 1;
  for (int i = 1; i < length; i++) m[i] = (char)(i * 37);
  return m;
}

class DemoEdge : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    ASSERT_EQ(scan_tracks(), 1);
    tick_install_hooks();
    demo_install_hooks();
    net_values_reset();
    state_history_clear_all();
    erode_queue_reset();
    time_trial = 0;
    erode_level = 0;
    demo_backups = 0;
    demo_playback_choice[0] = 0;
    std::snprintf(track_folder, sizeof track_folder, "quarrybend");
  }
  void TearDown() override {
    demo_close_playback();
    demo_stop_recording();
    track_folder[0] = 0;
    race_test_close();
    free_track_list();
    net_send_terrain_edit = erode_queue_add_stroke;
    time_trial = 0;
    erode_level = 0;
    loop_options.erode_level = -1;
  }
  static void put(const char* name, const std::string& bytes) {
    char* path = home_file_path(name);
    const std::string file(path);
    check_free(path);
    std::filesystem::create_directories(file.substr(0, file.rfind('/')));
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  static std::string get(const char* name) {
    char* path = home_file_path(name);
    const std::string text = test_read_file(path);
    check_free(path);
    return text;
  }
  // Opens the bytes as a demo and maps its riders to slots 10, 11, ...
  int open(const std::string& bytes) {
    put("@demos/case.bkdemo", bytes);
    if (!demo_open_playback_file("@demos/case.bkdemo")) return 0;
    for (int i = 0; i < demo_player.header.rider_count; i++) demo_map_rider(i, 10 + i);
    return 1;
  }
  static int entries(int slot) {
    int n = 0;
    for (int32_t t : state_histories[slot].ticks) n += t >= 0;
    return n;
  }
};

TEST_F(DemoEdge, FirstStatesChunkSetsTheClockOrTheGhostsOffset) {
  demo_bytes d(1);
  d.chunk(0, demo_chunk_command, "erode 2048").chunk(500, demo_chunk_states, demo_bytes::entry(0, 500, 7));
  d.chunk(504, demo_chunk_states, demo_bytes::entry(0, 504, 8));
  race_clock.current_tick = 0;
  ASSERT_EQ(open(d.text), 1);
  demo_read_ahead();
  EXPECT_EQ(race_clock.current_tick, 500);
  EXPECT_EQ(erode_level, 2048);
  EXPECT_EQ(state_histories[10].ticks[state_histories[10].head], 504);
  EXPECT_EQ(demo_player.first_chunk_tick, 500);

  state_history_clear_all();
  time_trial = 1;
  race_clock.current_tick = 40000;
  ASSERT_EQ(open(d.text), 1);
  demo_read_ahead();
  EXPECT_EQ(race_clock.current_tick, 40000);
  EXPECT_EQ(demo_player.tick_offset, 39500);
  EXPECT_EQ(state_histories[10].ticks[state_histories[10].head], 40004);
}

TEST_F(DemoEdge, MalformedHeadersAreRefusedWithTheirReason) {
  const struct {
    std::string bytes;
    const char* reason;
  } rows[] = {
      {"BK06 161 0 0\nquarrybend\n", "rider count outside 0..160"},
      {"BK06 0 -1 0\nquarrybend\n", "negative"},
      {"BK06 0 0 0\nelsewhere\n", "track is not installed"},
      {"BK06 1 0 0\nquarrybend\ncrf250\n", "rider's lines"},
      {"BK08 0 0 0\nquarrybend\n", "version 8"},
  };
  for (const auto& c : rows) {
    race_clock.race_laps = 77;
    const int first = message_ring.write_index;
    EXPECT_EQ(open(c.bytes), 0) << c.reason;
    const std::string said = race_test_console_since(first);
    EXPECT_NE(said.find("Can't play demo \"@demos/case.bkdemo\": "), std::string::npos) << said;
    EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    EXPECT_EQ(demo_player.file, nullptr);
    EXPECT_EQ(race_clock.race_laps, 77) << "the race clock is left alone";
  }
  EXPECT_EQ(demo_open_playback_file("@demos/none.bkdemo"), 0) << "a missing demo";
}

// A demo the player named that is not there is said like a damaged one; a
// missing default demo or ghost is not news.
TEST_F(DemoEdge, AMissingDemoThePlayerNamedIsSaid) {
  char* home_default = home_file_path("@demos/default.bkdemo");
  std::remove(home_default);
  check_free(home_default);
  const std::string long_name = "/" + std::string(100 * 1024, 'x') + ".bkdemo";
  const struct {
    const char* argument;
    const char* said;
  } rows[] = {
      {"/nonexistent.bkdemo", "Can't play demo \"/nonexistent.bkdemo\": No such file or directory"},
      {long_name.c_str(), ": File name too long"},
      {nullptr, nullptr},
  };
  for (const auto& c : rows) {
    game_state.demo_argument = c.argument;
    const int first = message_ring.write_index;
    EXPECT_EQ(demo_open_playback(), 0);
    const std::string said = race_test_console_since(first);
    if (c.said) EXPECT_NE(said.find(c.said), std::string::npos) << said.substr(0, 300);
    else EXPECT_EQ(said.find("Can't play demo"), std::string::npos) << said;
  }
  game_state.demo_argument = nullptr;
}

TEST_F(DemoEdge, MalformedBodiesAreReadAsFarAsTheyHold) {
  const std::string sneaky = "%s%s%n%d\n";
  demo_bytes d(2);
  d.chunk(0, demo_chunk_text, sneaky)
      .chunk(0, demo_chunk_command, "erode 999999")
      .chunk(10, demo_chunk_states, demo_bytes::entry(0, 10, 1) + demo_bytes::entry(5, 10, 2))  // index 5: no rider
      .chunk(14, demo_chunk_states, demo_bytes::entry(1, -3, 3))                               // negative tick
      .chunk(16, demo_chunk_states, std::string(43, 0))                                        // not a multiple of 44
      .chunk(18, demo_chunk_terrain, rut_message(16))                                          // too short
      .chunk(18, demo_chunk_terrain, rut_message(270))                                         // too long
      .chunk(20, demo_chunk_terrain, rut_message(21))                                          // two points
      .chunk(22, 9, "unknown type")
      .chunk(24, demo_chunk_states, demo_bytes::entry(1, 24, 4));
  const size_t cut_at = d.text.size();
  d.chunk(28, demo_chunk_states, demo_bytes::entry(0, 28, 5), 44 * 1000);  // data past the end
  race_clock.current_tick = 0;
  ASSERT_EQ(open(d.text), 1);
  const int first = message_ring.write_index;
  test_log_begin();
  demo_read_ahead();
  demo_read_ahead();
  const std::string log = test_log_text();
  test_log_end();
  EXPECT_NE(race_test_console_since(first).find(sneaky.substr(0, sneaky.size() - 1)), std::string::npos);
  EXPECT_EQ(erode_level, 102400) << "clamped as --erode is";
  EXPECT_EQ(entries(10), 1);
  EXPECT_EQ(entries(11), 1) << "the negative tick dropped, tick 24 kept";
  EXPECT_EQ(state_histories[11].ticks[state_histories[11].head], 24);
  EXPECT_EQ(erode_queue.count, 2) << "only the rut message of a sound length";
  const std::string line = "Demo ends at byte " + std::to_string(cut_at);
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line)) << "said once";

  // A rewind passes the terrain chunk again without digging it twice.
  race_clock.current_tick = 30;
  demo_skip(-1.0);
  EXPECT_EQ(race_clock.current_tick, 1) << "tick 0 and one tick run";
  EXPECT_EQ(erode_queue.count, 2);

  // The ghost's terrain is dug in a time trial as in any playback.
  erode_queue_reset();
  time_trial = 1;
  ASSERT_EQ(open(d.text), 1);
  demo_read_ahead();
  EXPECT_EQ(erode_queue.count, 2);
}

TEST_F(DemoEdge, ARewindPastACrossingOpensTheResultsAgain) {
  demo_bytes d(1);
  for (int32_t t = 10; t <= 400; t += 10) d.chunk(t, demo_chunk_states, demo_bytes::entry(0, t, 1));
  race_clock.current_tick = 0;
  ASSERT_EQ(open(d.text), 1);
  rider* r = rider_create(bike_name_alias("crf250"), 10, 0, "77", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(r, nullptr);
  rider_slots[10] = r;
  rider_slot_kind[10] = RIDER_REMOTE;
  rider_deactivate(r);
  demo_read_ahead();
  race_clock.current_tick = 300;
  demo_read_ahead();
  rider_set_timing_tick(r, 0, 100);
  rider_set_timing_tick(r, 1, 250);
  rider_truncate_timing(r, 2);
  results_finished = 1;  // as a race played to its end leaves it
  demo_skip(-1.0);
  EXPECT_EQ(rider_next_timing_index(r), 1) << "the crossing after the target went";
  EXPECT_EQ(results_finished, 0);
}

TEST_F(DemoEdge, BackupsRotate) {
  for (int backups : {0, 1, 3, 150}) {
    SCOPED_TRACE(backups);
    for (const char* n : {"@demos/default.bkdemo", "@demos/default00.bkdemo", "@demos/default01.bkdemo",
                          "@demos/default02.bkdemo", "@demos/default99.bkdemo"}) {
      char* p = home_file_path(n);
      std::remove(p);
      check_free(p);
    }
    put("@demos/default.bkdemo", "D");
    put("@demos/default00.bkdemo", "0");
    put("@demos/default01.bkdemo", "1");
    demo_backups = backups;
    demo_start_recording();
    ASSERT_NE(demo_recorder.file, nullptr);
    demo_stop_recording();
    EXPECT_EQ(get("@demos/default.bkdemo").compare(0, 5, "BK06 "), 0);
    if (backups == 0) {
      EXPECT_EQ(get("@demos/default00.bkdemo"), "0");
    } else if (backups == 1) {
      EXPECT_EQ(get("@demos/default00.bkdemo"), "D");
      EXPECT_EQ(get("@demos/default01.bkdemo"), "1");
    } else {
      EXPECT_EQ(get("@demos/default00.bkdemo"), "D");
      EXPECT_EQ(get("@demos/default01.bkdemo"), "0");
      EXPECT_EQ(get("@demos/default02.bkdemo"), "1");
    }
  }
}

TEST_F(DemoEdge, EmptyRecordingForcedWritesAndRenames) {
  // No riders: count 0, the erode command and nothing else.
  erode_level = 3072;
  race_clock.current_tick = 7;
  demo_start_recording();
  demo_write_states(1);
  demo_write_states(0);
  std::snprintf(demo_save_name, sizeof demo_save_name, "kept.bkdemo");
  demo_stop_recording();
  EXPECT_EQ(demo_save_name[0], 0);
  EXPECT_EQ(get("@demos/default.bkdemo"), "");
  const std::string text = get("@demos/kept.bkdemo");
  const std::string head = "BK06 0 ";
  ASSERT_EQ(text.compare(0, head.size(), head), 0);
  const size_t body = text.find("quarrybend\n") + 11;
  const std::string command = "erode 3072";
  EXPECT_EQ(text.substr(body), u32((uint32_t)command.size()) + u32(7) + "\x03" + command);

  // A robot raced: a forced write mid-period takes the tick of the call.
  int line_up[160] = {};
  line_up[0] = line_up_robot;
  ASSERT_EQ(reset_session(line_up, 0, 1, 0, 3, 0), 1);
  while (race_clock.current_tick < 21) simulation_tick();
  const char* recording = "@demos/default.bkdemo.new";
  const int64_t before = (int64_t)get(recording).size();
  demo_write_states(1);
  const std::string after = get(recording);
  ASSERT_EQ((int64_t)after.size(), before + 9 + 2 * 44) << "ticks 20 and 21";
  const uint8_t* c = reinterpret_cast<const uint8_t*>(after.data()) + before;
  EXPECT_EQ(demo_read_u32(c + 4), 21u);
  EXPECT_EQ(c[8], demo_chunk_states);
  EXPECT_EQ(demo_read_u32(c + 9 + 1), 20u);
  EXPECT_EQ(demo_read_u32(c + 9 + 44 + 1), 21u);
  // Stopping keeps what is still pending: ticks 24 and 28 of a stop at 30.
  while (race_clock.current_tick < 30) simulation_tick();
  const int64_t at_stop = (int64_t)get(recording).size();
  demo_stop_recording();
  EXPECT_EQ((int64_t)get("@demos/default.bkdemo").size(), at_stop + 9 + 2 * 44);
}

TEST_F(DemoEdge, RecordingThatCannotOpenSaysSo) {
  // A folder where the recording should be written.
  char* p = home_file_path("@demos/default.bkdemo.new");
  const std::string blocked = p;
  check_free(p);
  std::filesystem::remove(blocked);
  std::filesystem::create_directories(blocked);
  const int first = message_ring.write_index;
  demo_start_recording();
  EXPECT_EQ(demo_recorder.file, nullptr);
  EXPECT_NE(race_test_console_since(first).find("Can't record demo \"@demos/default.bkdemo\": Is a directory"),
            std::string::npos)
      << race_test_console_since(first);
  demo_write_states(1);
  demo_write_chunk(demo_chunk_text, "x", 1);
  std::filesystem::remove(blocked);
}

// A full disk: the new recording is dropped with the reason, and the demo
// already there (and its backups) stay as they were.
TEST_F(DemoEdge, AFullDiskKeepsThePreviousDemo) {
  for (int backups : {0, 2}) {
    SCOPED_TRACE(backups);
    put("@demos/default.bkdemo", "previous");
    put("@demos/default00.bkdemo", "0");
    char* p = home_file_path("@demos/default.bkdemo.new");
    const std::string recording = p;
    check_free(p);
    std::filesystem::remove(recording);
    std::filesystem::create_symlink("/dev/full", recording);
    demo_backups = backups;
    const int first = message_ring.write_index;
    demo_start_recording();
    demo_write_states(1);
    demo_stop_recording();
    EXPECT_EQ(get("@demos/default.bkdemo"), "previous");
    EXPECT_EQ(get("@demos/default00.bkdemo"), "0");
    EXPECT_NE(race_test_console_since(first).find(
                  "Demo recording stopped: can't write \"@demos/default.bkdemo\": No space left on device"),
              std::string::npos)
        << race_test_console_since(first);
    EXPECT_FALSE(std::filesystem::is_symlink(recording)) << "the broken recording is dropped";
  }
  demo_backups = 0;
  for (const char* n : {"@demos/default.bkdemo", "@demos/default00.bkdemo"}) {
    char* p = home_file_path(n);
    std::remove(p);
    check_free(p);
  }
}

}  // namespace
