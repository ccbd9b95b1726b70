#pragma once
// The sample track for the headless editor tests: made once per test
// program by the data generator, then loaded through the game's loader with
// fake ground-texture ids, so no GL is needed. A fixture sets the editor up
// first, calls ASSERT_NO_FATAL_FAILURE(track.load()) in SetUp and
// track.unload() in TearDown before its own tear-down.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/editor.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/tiles.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

class sample_track {
 public:
  void load() {
    hooks_ = terrain_textures;
    static int made = -1;
    if (made < 0) made = test_run_bkdata(std::string("track quarrybend ") + std::getenv("BK_HOME"));
    ASSERT_EQ(made, 1);
    terrain_textures = {};
    terrain_textures.load_texture = fake_texture;
    std::snprintf(track_folder, sizeof track_folder, "quarrybend");
    ASSERT_EQ(load_track(), 1);
  }
  // Frees the editor's and the track's data and puts the texture hooks back.
  void unload() {
    editor_free();
    free_track_data();
    free_terrain(&track_field);
    shape_free_all();
    terrain_textures = hooks_;
  }

 private:
  static uint32_t fake_texture(const char*) { return 1; }
  terrain_texture_hooks hooks_ = terrain_textures;
};
