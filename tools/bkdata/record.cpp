// bkdata record ROOT: the sample demo, ROOT/demos/quarrybend.bkdemo. A
// one-lap race of robot riders on the sample track, riding the lines that
// `bkdata lines` learned, run headless under the race's own reset and tick
// with Record Demo on and the per-user folder in a temporary folder: the
// file is what the game's recorder writes. Nothing here reads a clock, and
// the reset seeds its draws from the race clock, so every run writes the
// same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "assets/model.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "core/random.h"
#include "core/running_order.h"
#include "race/demo_file.h"
#include "race/demo_playback.h"
#include "race/demo_record.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/shape.h"
#include "terrain/track.h"
#include "tools/bkdata/commands.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, uint32_t> texture_ids;
uint32_t fake_texture(const char* name) {
  auto it = texture_ids.find(name);
  if (it != texture_ids.end()) return it->second;
  return texture_ids[name] = (uint32_t)texture_ids.size() + 1;
}

// The robots by race number, in grid order: a 250 four-stroke, a 125 and
// another 125, so the demo shows more than one bike.
const int sample_numbers[] = {47, 24, 62};
const int sample_laps = 1;
const int expert = 2;
// How long the race may run, and how long the recording goes on after the
// last rider is home.
const int32_t longest_race_ticks = 128 * 240;
const int32_t after_finish_ticks = 128 * 2;

int everyone_finished() {
  int riders = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    rider* r = slot_rider(slot);
    if (!r) continue;
    riders++;
    if (!r->finished) return 0;
  }
  return riders > 0;
}

void free_riders() {
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
}

}  // namespace

int bkdata_record(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const fs::path root = fs::absolute(argv[0]);
  const fs::path track = root / "quarrybend";
  std::error_code ec;
  if (!fs::is_regular_file(track / lines_file_name(expert), ec)) {
    std::fprintf(stderr, "bkdata record: no robot lines in '%s' (run bkdata build and bkdata lines first)\n",
                 track.string().c_str());
    return 1;
  }
  char home_template[] = "/tmp/bkdata_record_XXXXXX";
  const char* home = mkdtemp(home_template);
  if (!home) {
    std::perror("bkdata record: mkdtemp");
    return 1;
  }
  setenv("BK_HOME", root.string().c_str(), 1);
  setenv("XDG_DATA_HOME", home, 1);
  setenv("PAVO_LOGFILE", (std::string(">") + home + "/log.txt").c_str(), 1);
  free_file_index();

  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = fake_texture;
  int ok = dynamics_open() == 1;
  file_index_build();
  race_hooks = {};
  robot_install_hooks();
  demo_install_hooks();
  race_clock = {};
  running_order_clear();
  game_state.track_dir = nullptr;
  game_state.learn_lines = 0;
  demo_backups = 0;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) rider_slot_kind[i] = RIDER_REMOTE;

  int line_up[line_up_slots];
  for (int& c : line_up) c = line_up_empty;
  for (size_t i = 0; i < sizeof sample_numbers / sizeof sample_numbers[0]; i++)
    line_up[i] = line_up_numbered + sample_numbers[i];
  if (ok && !reset_session(line_up, 0, 1, 0, sample_laps, expert)) {
    std::fprintf(stderr, "bkdata record: the sample track did not load\n");
    ok = 0;
  }
  if (ok && !demo_recorder.file) {
    std::fprintf(stderr, "bkdata record: the race was not recorded\n");
    ok = 0;
  }
  if (ok) {
    // A line the player reads as the demo starts.
    const char welcome[] = "Sample race on Quarry Bend\n";
    demo_write_chunk(demo_chunk_text, welcome, sizeof welcome - 1);
    int32_t home_tick = -1;
    while (race_clock.current_tick < longest_race_ticks &&
           (home_tick < 0 || race_clock.current_tick < home_tick + after_finish_ticks)) {
      simulation_tick();
      if (home_tick < 0 && everyone_finished()) home_tick = race_clock.current_tick;
    }
    if (home_tick < 0) {
      std::fprintf(stderr, "bkdata record: not every rider finished the lap in %d s\n", longest_race_ticks / 128);
      ok = 0;
    }
    demo_write_states(1);
    demo_stop_recording();
  }
  free_riders();
  free_track();
  erode_queue_reset();
  shape_free_all();
  model_delete_stale(1);
  texture_delete_stale(1);
  free_file_index();
  race_hooks = {};
  dynamics_close();
  terrain_textures = saved;

  const fs::path out = root / "demos" / "quarrybend.bkdemo";
  if (ok) {
    fs::create_directories(out.parent_path(), ec);
    fs::copy_file(fs::path(home) / "Brakkan" / "demos" / "default.bkdemo", out, fs::copy_options::overwrite_existing,
                  ec);
    if (ec) {
      std::fprintf(stderr, "bkdata record: can't write '%s' (%s)\n", out.string().c_str(), ec.message().c_str());
      ok = 0;
    } else {
      std::printf("%s\n", out.string().c_str());
    }
  }
  fs::remove_all(home, ec);
  return ok ? 0 : 1;
}
