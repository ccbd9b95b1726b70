// Demos of whole races on the sample track: recorded with the local rider
// and robots riding and digging, played back on a fresh copy of the track,
// and skipped through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bike/rider.h"
#include "bike/state_history.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "race/demo_playback.h"
#include "race/engine_sound.h"
#include "race/demo_record.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/test_support_pilot.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

using pose_key = std::pair<int, int32_t>;  // demo rider index, tick
using pose_bytes = std::vector<uint8_t>;

uint64_t height_digest() {
  uint64_t h = 1469598103934665603ull;
  const size_t n = (size_t)track_field.size * (size_t)track_field.size;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(track_field.heights);
  for (size_t i = 0; i < n * sizeof(float); i++) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

void erode(const float* viewer) {
  const int32_t lock = track_field.edit_lock;
  track_field.edit_lock = 0;
  erode_queue_process(viewer, (float)erode_level / 1024.0f);
  track_field.edit_lock = lock;
}

void drain() {
  while (erode_queue.count > 0) erode(nullptr);
}

struct recording {
  std::map<pose_key, pose_bytes> poses;
  int32_t last_tick = 0;
  uint64_t digest = 0;
  uint64_t fresh = 0;  // the track as loaded
  int rider_count = 0;
};

class DemoRace : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    ASSERT_EQ(scan_tracks(), 1);
    tick_install_hooks();
    demo_install_hooks();
    net_values_reset();
    pilot_reset();
    demo_backups = 0;
    demo_playback_choice[0] = 0;
    game_state.demo_argument = nullptr;
    game_state.accurate_skip = 0;
  }
  void TearDown() override {
    demo_close_playback();
    demo_stop_recording();
    race_test_close();
    free_track_list();
    net_send_terrain_edit = erode_queue_add_stroke;
    erode_level = 0;
    loop_options.erode_level = -1;
  }

  // The poses the recorder packed this tick (the newest of each history).
  static void capture(recording* out) {
    for (int slot = 0; slot < 3; slot++) {
      const state_history& h = state_histories[slot];
      EXPECT_EQ(h.ticks[h.head], race_clock.current_tick);
      out->poses[{slot, race_clock.current_tick}] = pose_bytes(h.poses[h.head].bytes, h.poses[h.head].bytes + 39);
    }
  }

  // The local rider and two robots on the pilot, erosion on, for `seconds`
  // from the reset (the gate drops after 13 to 15 s).
  recording record(double seconds) {
    recording out;
    int line_up[160] = {};
    line_up[0] = line_up_local;
    line_up[1] = line_up[2] = line_up_robot;
    loop_options.erode_level = 1024;
    race_clock.current_tick = 1234;
    EXPECT_EQ(reset_session(line_up, 0, 1, 0, 3, 0), 1);
    race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
    EXPECT_NE(demo_recorder.file, nullptr) << race_test_console_since(0);
    out.rider_count = 3;
    out.fresh = height_digest();
    capture(&out);
    while (race_clock.current_tick < (int32_t)(seconds * 128)) {
      float in[9];
      pilot_input(rider_slots[0], in);
      apply_controls(rider_slots[0], in);
      simulation_tick();
      if (race_clock.current_tick % 4 == 0) {
        capture(&out);
        const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[0]));
        const float viewer[3] = {(float)p[0], (float)p[1], (float)p[2]};
        erode(viewer);
      }
    }
    out.last_tick = race_clock.current_tick;
    demo_stop_recording();
    drain();
    out.digest = height_digest();
    return out;
  }

  // Reloads the track and opens the recorded demo behind a new race.
  void start_playback() {
    int line_up[160] = {};
    track_reload_requested = 1;
    loop_options.erode_level = -1;
    ASSERT_EQ(reset_session(line_up, 1, 0, 0, 3, 0), 1);
    ASSERT_NE(demo_player.file, nullptr) << race_test_console_since(0);
    if (demo_player.header.version == 6) {
      ASSERT_EQ(erode_level, 1024) << "the demo's erode command";
    }
  }

  // Checks, before a tick, that the pose it will apply to each played
  // rider is the recorded one where the tick is a recorded one.
  void check_applied(const recording& rec, int* checked) {
    const int32_t t = race_clock.current_tick;
    for (int index = 0; index < rec.rider_count; index++) {
      auto it = rec.poses.find({index, t});
      if (it == rec.poses.end()) continue;
      const int slot = demo_player.header.riders[index].slot;
      ASSERT_GE(slot, 0);
      const state_history& h = state_histories[slot];
      const history_choice c = choose_history_poses(&h, t);
      const int e = c.kind == history_apply_b ? c.b : c.a;
      ASSERT_TRUE(c.kind == history_apply_a || c.kind == history_apply_b) << "tick " << t;
      ASSERT_EQ(h.ticks[e], t);
      ASSERT_EQ(std::memcmp(h.poses[e].bytes, it->second.data(), 39), 0) << "tick " << t << " rider " << index;
      ++*checked;
    }
  }

  // Every entry in the played riders' histories is a recorded one.
  void check_histories(const recording& rec) {
    for (int index = 0; index < rec.rider_count; index++) {
      const int slot = demo_player.header.riders[index].slot;
      const state_history& h = state_histories[slot];
      for (int e = 0; e < state_history_size; e++) {
        if (h.ticks[e] < 0) continue;
        // Per-tick demos repeat the newest recorded pose between records.
        auto it = rec.poses.upper_bound({index, h.ticks[e]});
        ASSERT_NE(it, rec.poses.begin());
        --it;
        ASSERT_EQ(it->first.first, index) << "tick " << h.ticks[e];
        if (demo_player.header.version == 6) {
          ASSERT_EQ(it->first.second, h.ticks[e]);
        }
        ASSERT_EQ(std::memcmp(h.poses[e].bytes, it->second.data(), 39), 0);
      }
    }
  }

  uint64_t play_to_end(const recording& rec, int* checked) {
    while (race_clock.current_tick <= rec.last_tick && !HasFailure()) {
      check_applied(rec, checked);
      simulation_tick();
      check_histories(rec);
      if (race_clock.current_tick % 4 == 0) erode(nullptr);
    }
    drain();
    return height_digest();
  }
};

TEST_F(DemoRace, RecordedRaceReplaysPosesAndRuts) {
  const recording rec = record(20.0);
  ASSERT_GT(rec.poses.size(), 3u * 500);
  char* path = home_file_path("@demos/default.bkdemo");
  const std::string text = test_read_file(path);
  check_free(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.compare(0, 5, "BK06 "), 0);

  start_playback();
  for (int slot = 0; slot < 3; slot++) {
    EXPECT_EQ(slot_kind(slot), RIDER_REMOTE);
    EXPECT_EQ(demo_player.header.riders[slot].slot, slot);
  }
  EXPECT_STREQ(demo_player.header.riders[1].name, "Roborider");
  int checked = 0;
  const uint64_t digest = play_to_end(rec, &checked);
  EXPECT_EQ(digest, rec.digest) << "the replay digs the same ruts";
  EXPECT_NE(rec.digest, rec.fresh) << "the race dug ruts";
  // Every recorded tick of every rider, the last included.
  EXPECT_EQ(checked, (int)rec.poses.size());
}

}  // namespace

namespace {

// The recording rewritten in the per-tick form of version 5: record k holds
// every rider's pose at tick k (the newest recorded at or before it).
std::string per_tick_demo(const recording& rec) {
  std::string out = "BK05 3 0 3 " + std::to_string(race_clock.gate_drop_tick) + "\nquarrybend\n";
  for (int i = 0; i < 3; i++) out += "crf250\n" + std::to_string(i) + "\n";
  std::vector<pose_bytes> last(3, pose_bytes(39, 0));
  for (int32_t t = 0; t <= rec.last_tick; t++)
    for (int i = 0; i < 3; i++) {
      auto it = rec.poses.find({i, t});
      if (it != rec.poses.end()) last[i] = it->second;
      out.append(reinterpret_cast<const char*>(last[i].data()), 39);
    }
  return out;
}

TEST_F(DemoRace, SkippingLandsOnStraightPlaybacksPosesAndDigsOnce) {
  const recording rec = record(20.0);
  struct row {
    const char* what;
    int32_t at;      // tick of the skip
    double seconds;
    int accurate;    // the option, for the version-5 rows
    int version;
  } rows[] = {
      {"forward from the start", 8, 3.0, 0, 6},
      {"back from the middle", 2000, -5.0, 0, 6},
      {"forward from the middle", 1500, 2.0, 0, 6},
      {"back before the first chunk", 300, -10.0, 0, 6},
      {"back from the end", rec.last_tick, -1.0, 0, 6},
      {"forward past the end", rec.last_tick - 200, 4.0, 0, 6},
      {"version 5, forward by seeking", 1000, 3.0, 0, 5},
      {"version 5, accurate forward", 1000, 3.0, 1, 5},
      {"version 5, back by seeking", 2000, -4.0, 0, 5},
  };
  char* v5_path = home_file_path("@demos/v5.bkdemo");
  {
    std::string bytes = per_tick_demo(rec);
    FILE* f = std::fopen(v5_path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  check_free(v5_path);
  for (const row& c : rows) {
    SCOPED_TRACE(c.what);
    std::snprintf(demo_playback_choice, sizeof demo_playback_choice, "%s",
                  c.version == 5 ? "@demos/v5.bkdemo" : "@demos/default.bkdemo");
    game_state.accurate_skip = c.accurate;
    start_playback();
    ASSERT_EQ(demo_player.header.version, c.version);
    int checked = 0;
    while (race_clock.current_tick < c.at && !HasFailure()) {
      check_applied(rec, &checked);
      simulation_tick();
      if (race_clock.current_tick % 4 == 0) erode(nullptr);
    }
    const int32_t before = race_clock.current_tick;
    demo_skip(c.seconds);
    const int64_t want = c.seconds > 0 && (c.version == 6 || c.accurate)
                             ? before + (int64_t)(c.seconds * 128)
                             : std::max<int64_t>(before + (int64_t)(c.seconds * 128 - 1), 0) + 1;
    EXPECT_EQ(race_clock.current_tick, want);
    const uint64_t digest = play_to_end(rec, &checked);
    // The per-tick form carries no terrain.
    EXPECT_EQ(digest, c.version == 6 ? rec.digest : rec.fresh) << "terrain chunks applied once";
    if (HasFailure()) break;
  }
  demo_playback_choice[0] = 0;
}

TEST_F(DemoRace, SkipChangesNothingWhileRecordingOrBesideALiveRider) {
  const recording rec = record(3.0);
  start_playback();
  for (int k = 0; k < 100; k++) simulation_tick();
  const int32_t at = race_clock.current_tick;
  // A live rider among the played ones.
  rider_slot_kind[1] = RIDER_ROBOT;
  demo_skip(-1.0);
  demo_skip(1.0);
  EXPECT_EQ(race_clock.current_tick, at);
  rider_slot_kind[1] = RIDER_REMOTE;
  // A recording running.
  demo_start_recording();
  ASSERT_NE(demo_recorder.file, nullptr);
  demo_skip(-1.0);
  demo_skip(1.0);
  EXPECT_EQ(race_clock.current_tick, at);
  demo_stop_recording();
  demo_skip(-0.5);
  EXPECT_EQ(race_clock.current_tick, at - 64) << "and skips again once it stopped";
  (void)rec;
}

}  // namespace

namespace {

TEST_F(DemoRace, TimeTrialLapBecomesTheGhostBesideTheNextAttempt) {
  ASSERT_EQ(reset_session(nullptr, 0, 1, 0, 3, 0), 1);
  ASSERT_TRUE(time_trial);
  race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
  demo_start_recording();  // as the end of an attempt starts it
  ASSERT_NE(demo_recorder.file, nullptr);
  std::map<int32_t, pose_bytes> lap;
  const int32_t start = race_clock.current_tick;
  while (race_clock.current_tick < start + 3 * 128) {
    float in[9];
    pilot_input(rider_slots[0], in);
    apply_controls(rider_slots[0], in);
    simulation_tick();
    if (race_clock.current_tick % 4 == 0) {
      const state_history& h = state_histories[0];
      lap[h.ticks[h.head]] = pose_bytes(h.poses[h.head].bytes, h.poses[h.head].bytes + 39);
    }
  }
  end_time_trial_attempt();
  // The lap was copied to the ghost's file and plays in slot 1.
  char* last = home_file_path("@quarrybend/lastlap.bkdemo");
  char* fast = home_file_path("@quarrybend/fastlap.bkdemo");
  const std::string ghost_file = test_read_file(fast);
  check_free(last);
  check_free(fast);
  ASSERT_EQ(ghost_file.compare(0, 7, "BK06 1 "), 0);
  ASSERT_NE(demo_player.file, nullptr);
  EXPECT_TRUE(demo_player.ghost);
  ASSERT_NE(slot_rider(1), nullptr);
  EXPECT_EQ(slot_kind(1), RIDER_REMOTE);
  EXPECT_NE(demo_recorder.file, nullptr) << "the next attempt records";
  const int32_t attempt = race_clock.current_tick;
  for (int k = 0; k < 2 * 128; k++) {
    float in[9];
    pilot_input(rider_slots[0], in);
    apply_controls(rider_slots[0], in);
    simulation_tick();
  }
  // The ghost starts with the attempt: its first recorded state lands on
  // the tick the attempt's first read-ahead ran.
  const int64_t offset = demo_player.tick_offset;
  EXPECT_EQ(offset, (int64_t)attempt + 1 - demo_player.first_chunk_tick);
  const state_history& h = state_histories[1];
  int seen = 0;
  for (int e = 0; e < state_history_size; e++) {
    if (h.ticks[e] < 0) continue;
    auto it = lap.find((int32_t)(h.ticks[e] - offset));
    ASSERT_NE(it, lap.end()) << "tick " << h.ticks[e];
    EXPECT_EQ(std::memcmp(h.poses[e].bytes, it->second.data(), 39), 0);
    seen++;
  }
  EXPECT_GT(seen, 30);
}

}  // namespace

namespace {

// The recording in version 4's per-tick form: the 26-byte state keeps
// bytes 0-19, then the place along the travel, wheels, status and engine.
std::string v4_demo(const recording& rec, std::vector<std::vector<pose_bytes>>* records) {
  std::string out = "BK4 3 0 3 " + std::to_string(race_clock.gate_drop_tick) + "\nquarrybend\n";
  for (int i = 0; i < 3; i++) out += "crf250\n" + std::to_string(i) + "\n";
  std::vector<pose_bytes> last(3, pose_bytes(39, 0));
  for (int32_t t = 0; t <= rec.last_tick; t++) {
    records->emplace_back();
    for (int i = 0; i < 3; i++) {
      auto it = rec.poses.find({i, t});
      if (it != rec.poses.end()) last[i] = it->second;
      pose_bytes old(last[i].begin(), last[i].begin() + 20);
      old.push_back(128);
      old.insert(old.end(), last[i].begin() + 34, last[i].end());
      records->back().push_back(old);
      out.append(reinterpret_cast<const char*>(old.data()), old.size());
    }
  }
  return out;
}

TEST_F(DemoRace, VersionFourPlaysAndRewindsBySeeking) {
  const recording rec = record(16.0);
  std::vector<std::vector<pose_bytes>> records;
  const std::string bytes = v4_demo(rec, &records);
  char* path = home_file_path("@demos/v4.bkdemo");
  FILE* f = std::fopen(path, "wb");
  check_free(path);
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::snprintf(demo_playback_choice, sizeof demo_playback_choice, "@demos/v4.bkdemo");
  start_playback();
  demo_playback_choice[0] = 0;
  ASSERT_EQ(demo_player.header.version, 4);
  EXPECT_EQ(demo_playback.version, 4) << "poses are read as version 4";
  // Every history entry holds its tick's record, 26 bytes and zeros after.
  auto check = [&]() {
    for (int i = 0; i < 3; i++) {
      const state_history& h = state_histories[demo_player.header.riders[i].slot];
      for (int e = 0; e < state_history_size; e++) {
        if (h.ticks[e] < 0) continue;
        ASSERT_LE(h.ticks[e], rec.last_tick);
        const pose_bytes& want = records[(size_t)h.ticks[e]][(size_t)i];
        ASSERT_EQ(std::memcmp(h.poses[e].bytes, want.data(), 26), 0) << "tick " << h.ticks[e];
        for (int b = 26; b < 39; b++) ASSERT_EQ(h.poses[e].bytes[b], 0);
      }
    }
  };
  for (int i = 0; i < 3; i++) engine_voices[demo_player.header.riders[i].slot].presence_gain = 0.5f;
  for (int k = 0; k < 600 && !HasFailure(); k++) simulation_tick();
  check();
  for (int i = 0; i < 3; i++)
    EXPECT_EQ(engine_voices[demo_player.header.riders[i].slot].presence_gain, 1.0f) << "records keep coming";
  const int32_t before = race_clock.current_tick;
  demo_skip(-2.0);
  EXPECT_EQ(race_clock.current_tick, before - 256);
  const state_history& h = state_histories[demo_player.header.riders[0].slot];
  EXPECT_EQ(h.ticks[h.head], before - 256 + 8) << "read up to 8 ticks ahead of the rewound clock";
  check();
  for (int k = 0; k < 300 && !HasFailure(); k++) simulation_tick();
  check();
  // Past the file's last record every engine falls silent.
  for (int k = 0; k < rec.last_tick + 64 && !HasFailure(); k++) simulation_tick();
  for (int i = 0; i < 3; i++)
    EXPECT_EQ(engine_voices[demo_player.header.riders[i].slot].presence_gain, 0.0f) << "the records ran out";
}

}  // namespace
