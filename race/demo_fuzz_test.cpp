// A bounded, seeded fuzz loop over demo files: mutants of small fixtures
// (bit flips, cuts, length words, header numbers and lines) go through
// the check, the playback reader to its end and the walk back. Nothing may
// crash or hang, and the check and the reader must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bike/state_history.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "race/demo_file.h"
#include "race/demo_playback.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "terrain/erode_queue.h"
#include "terrain/rut_message.h"
#include "terrain/track.h"

namespace {

std::string u32(uint32_t v) {
  std::string s(4, 0);
  demo_put_u32(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}

std::string v6_fixture() {
  std::string t = "BK06 2 0 3 1792\nquarrybend\ncrf250|a|b|c|d\n10\nOne\n\nkx125||||\n11\nTwo\n\n";
  uint32_t previous = 0;
  auto chunk = [&](int32_t tick, int type, const std::string& data) {
    t += u32((uint32_t)data.size() ^ previous) + u32((uint32_t)tick) + std::string(1, (char)type) + data;
    previous = (uint32_t)data.size();
  };
  chunk(0, demo_chunk_command, "erode 1024");
  chunk(0, demo_chunk_text, "Hello %s\n");
  for (int tick = 0; tick < 96; tick += 16) {
    std::string states;
    for (int k = 0; k < 8; k++)
      states += std::string(1, (char)(k % 2)) + u32((uint32_t)(tick + 4 * (k / 2))) + std::string(39, (char)(k * 31 + tick));
    chunk(tick, demo_chunk_states, states);
  }
  std::string ruts(21, 0);
  ruts[0] = 1;
  for (int i = 1; i < 21; i++) ruts[i] = (char)(i * 45);
  chunk(96, demo_chunk_terrain, ruts);
  chunk(100, 7, "skipped");
  return t;
}

std::string per_tick_fixture(int version) {
  std::string t = "BK0" + std::to_string(version) + " 2 0 3\nquarrybend\ncrf250\n10\nkx125\n11\n";
  for (int k = 0; k < 40; k++) t += std::string((size_t)demo_state_size(version), (char)(k * 13));
  return t;
}

std::string mutate(std::string s, std::mt19937& rng) {
  const int kind = (int)(rng() % 6);
  if (s.empty()) return s;
  const size_t at = rng() % s.size();
  switch (kind) {
    case 0:  // a few bit flips
      for (int k = 0, n = 1 + (int)(rng() % 4); k < n; k++) s[rng() % s.size()] ^= (char)(1 << (rng() % 8));
      break;
    case 1:  // cut short
      s.resize(at);
      break;
    case 2: {  // a word that may be a chunk's length
      const uint32_t words[] = {0, 1, 9, 43, 44, 88, 0x7fffffff, 0x80000000u, 0xffffffffu, (uint32_t)rng()};
      const std::string w = u32(words[rng() % 10]);
      for (size_t k = 0; k < 4 && at + k < s.size(); k++) s[at + k] = w[k];
      break;
    }
    case 3: {  // a header number
      const char* numbers[] = {"-1", "0", "160", "161", "99999999999", "4", "5", "7", "-2147483648", "2147483647"};
      const size_t space = s.find(' ', rng() % 12);
      if (space != std::string::npos && space < 40) s.insert(space + 1, std::string(numbers[rng() % 10]) + " ");
      break;
    }
    case 4: {  // a header line dropped, doubled or stretched
      const size_t nl = s.find('\n', at % 80);
      if (nl == std::string::npos) break;
      const int what = (int)(rng() % 3);
      if (what == 0) s.erase(nl, 1);
      else if (what == 1) s.insert(nl, "\n");
      else s.insert(nl, std::string(600 + rng() % 600, 'x'));
      break;
    }
    default:  // bytes appended
      s += std::string(1 + rng() % 60, (char)rng());
      break;
  }
  return s;
}

class DemoFuzz : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    ASSERT_EQ(scan_tracks(), 1);
    time_trial = 0;
  }
  void TearDown() override {
    demo_close_playback();
    state_history_clear_all();
    erode_queue_reset();
    erode_level = 0;
    race_test_close();
    free_track_list();
  }
};

int installed(const char* folder) { return std::strcmp(folder, "quarrybend") == 0; }

TEST_F(DemoFuzz, MutantsNeitherCrashNorHangAndCheckAgreesWithTheReader) {
  const std::string fixtures[] = {v6_fixture(), per_tick_fixture(4), per_tick_fixture(5),
                                  "BK05 0 0 3\nquarrybend\n"};  // no riders: empty records
  char* path = home_file_path("@demos/fuzz.bkdemo");
  const std::string file(path);
  check_free(path);
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::mt19937 rng(20261210);
  int opened = 0, damaged = 0;
  for (int n = 0; n < 3000; n++) {
    std::string bytes = fixtures[n % 4];
    for (int k = 0, m = 1 + (int)(rng() % 3); k < m; k++) bytes = mutate(bytes, rng);
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    stream s = {};
    ASSERT_TRUE(stream_open_path(&s, file.c_str(), "rb"));
    static demo_header h;
    demo_summary sum;
    char reason[128];
    const int checked = demo_check_stream(&s, &h, &sum, installed, reason, sizeof reason);
    stream_close_file(&s);

    const int read = demo_open_playback_file("@demos/fuzz.bkdemo");
    ASSERT_EQ(read, checked) << "mutant " << n << ": " << reason;
    if (!read) continue;
    opened++;
    for (int i = 0; i < demo_player.header.rider_count; i++) demo_map_rider(i, i);
    int64_t last_offset = -1, last_tick = -1;
    for (int calls = 0;; calls++) {
      ASSERT_LT(calls, (int)bytes.size() + 100) << "mutant " << n << " hangs";
      race_clock.current_tick = INT32_MAX - 100;
      demo_read_ahead();
      if (demo_player.next_chunk_offset == last_offset && demo_player.next_tick == last_tick) break;
      last_offset = demo_player.next_chunk_offset;
      last_tick = demo_player.next_tick;
    }
    if (h.version == demo_version) {
      ASSERT_EQ(demo_player.next_chunk_offset, sum.end_offset) << "mutant " << n;
      ASSERT_EQ(demo_player.damage_logged_at, sum.damage_offset) << "mutant " << n;
      damaged += sum.damage_offset >= 0;
      int64_t offset = demo_player.next_chunk_offset;
      uint32_t previous = demo_player.previous_length;
      demo_chunk c;
      int64_t steps = 0;
      while (demo_chunk_step_back(demo_player.file, demo_player.header.length, &offset, &previous, &c)) {
        ASSERT_GE(offset, demo_player.header.length);
        ASSERT_LE(++steps, sum.chunks);
      }
      ASSERT_EQ(offset, demo_player.header.length) << "mutant " << n;
    }
    demo_close_playback();
    state_history_clear_all();
    erode_queue_reset();
  }
  // The mutants reach the body, not only the header's refusals.
  EXPECT_GT(opened, 500);
  EXPECT_GT(damaged, 50);
}

}  // namespace
