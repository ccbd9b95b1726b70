// Shared fixtures of the race tests.
#include "race/test_support_race.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "assets/model.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "bike/state_history.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/tiles.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

std::map<std::string, uint32_t> fake_ids;
uint32_t fake_texture(const char* name) {
  auto it = fake_ids.find(name);
  if (it != fake_ids.end()) return it->second;
  const uint32_t id = (uint32_t)fake_ids.size() + 1;
  fake_ids[name] = id;
  return id;
}
terrain_texture_hooks saved_hooks;

}  // namespace

bool race_test_make_data() {
  static int made = -1;
  if (made < 0) made = test_run_bkdata(std::string("build ") + std::getenv("BK_HOME"));
  return made == 1;
}

void race_test_open() {
  ASSERT_TRUE(race_test_make_data()) << "bkdata build failed";
  ASSERT_EQ(dynamics_open(), 1);
  saved_hooks = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = fake_texture;
  file_index_build();
  race_hooks = {};
  race_clock = {};
  running_order_clear();
  game_state.track_dir = nullptr;
  track_folder[0] = 0;
  viewed_slot = race_no_slot;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  for (int i = 0; i < 160; i++) rider_slot_kind[i] = 1;
}

void race_test_close() {
  for (int i = 0; i < 160; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
  free_track();
  erode_queue_reset();
  shape_free_all();
  model_delete_stale(1);
  texture_delete_stale(1);
  free_file_index();
  terrain_textures = saved_hooks;
  race_hooks = {};
  dynamics_close();
}

std::string race_test_copy_track(const std::string& name, long terrain_bytes) {
  namespace fs = std::filesystem;
  const fs::path root = std::getenv("BK_HOME");
  std::error_code ec;
  fs::remove_all(root / name, ec);
  fs::copy(root / "quarrybend", root / name, fs::copy_options::recursive, ec);
  if (terrain_bytes > 0) fs::resize_file(root / name / "terrain.hf", (uintmax_t)terrain_bytes, ec);
  return name;
}

std::string race_test_console_since(int first) {
  std::string text;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    text += std::string(message_ring.lines[k]) + "\n";
  return text;
}
