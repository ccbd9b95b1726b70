// The sample track loaded by a real driver (Mesa under Xvfb): every object,
// flagger, sky and map texture uploads, the rock finds its normal map with
// shaders on, and loading again gives the same hash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/gl_ext.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/texture_anim.h"
#include "core/file_index.h"
#include "platform/window.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"

namespace {

// The sample track with the stock gate objects, made once by the data
// generator under this run's data root.
bool make_sample_data() {
  static int made = -1;
  const std::string root = std::getenv("BK_HOME");
  if (made < 0) made = test_run_bkdata("shapes " + root) && test_run_bkdata("track quarrybend " + root);
  return made == 1;
}

struct TrackGl : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(make_sample_data()) << "bkdata failed";
    window_ = gl_window_open("Track test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ground_gl_install();
    asset_generation = 0;
    std::snprintf(track_folder, sizeof track_folder, "quarrybend");
  }
  void TearDown() override {
    free_track_data();
    free_terrain(&track_field);
    shape_free_all();
    model_delete_stale(1);
    texture_delete_stale(1);
    shader_delete_all();
    shaders_active = 0;
    free_file_index();
    gl_window_close(window_);
  }
  window_state* window_ = nullptr;
};

TEST_F(TrackGl, SampleLoadsWithRealTextures) {
  ASSERT_EQ(shaders_activate(1), 1) << "the driver runs no shaders";
  ASSERT_EQ(load_track(), 1);

  ASSERT_GT((int)billboards.count, first_file_billboard);
  for (size_t i = (size_t)first_file_billboard; i < billboards.count; i++)
    EXPECT_NE(billboard_at((int32_t)i)->texture, 0u) << "billboard " << i;
  ASSERT_GT((int)statues.count, first_file_statue);
  int with_normal_map = 0;
  for (size_t i = 0; i < statues.count; i++) {
    const statue* s = statue_at((int32_t)i);
    EXPECT_NE(s->model, nullptr) << s->model_name;
    EXPECT_NE(s->texture, 0u) << s->texture_name;
    if (s->normal_texture) {
      with_normal_map++;
      EXPECT_STREQ(texture_name(s->normal_texture), "@quarrybend/rock_norm.png");
      EXPECT_NE(std::strstr(s->texture_name, "rock"), nullptr);
    }
  }
  EXPECT_GT(with_normal_map, 0);

  ASSERT_GE(flaggers.start_billboard, 0);
  ASSERT_GE(flaggers.lap_billboard, 0);
  for (uint32_t t : flaggers.start_textures) EXPECT_NE(t, 0u);
  for (uint32_t t : flaggers.lap_textures) EXPECT_NE(t, 0u);
  ASSERT_EQ(course_flaggers.count, 2u);
  for (size_t i = 0; i < course_flaggers.count; i++) {
    const course_flagger* c = static_cast<const course_flagger*>(growable_array_at(&course_flaggers, i));
    EXPECT_NE(c->texture_idle, 0u);
    EXPECT_NE(c->texture_waving, 0u);
  }
  for (uint32_t t : lighting.sky_textures) EXPECT_NE(t, 0u);
  EXPECT_NE(lighting.sky_env_texture, 0u);
  ASSERT_EQ(flares.count, 1u);
  const flare* f = static_cast<const flare*>(flares.data);
  ASSERT_EQ(f->element_count, 3);
  for (int k = 0; k < 3; k++) EXPECT_NE(f->element_texture[k], 0u);
  EXPECT_NE(map_texture, 0u);
}

// The lap flagger's four flags and the course flaggers' waving flag are
// looping sequences of four 64 x 128 frames, both loaded by name and as
// the track's flaggers hold them.
TEST_F(TrackGl, FlaggerSequencesLoadAsAnimations) {
  auto expect_waving = [](uint32_t id, const char* what) {
    const texture_animation* a = texture_anim_find(id);
    ASSERT_NE(a, nullptr) << what;
    EXPECT_EQ(a->frame_count, 4) << what;
    EXPECT_EQ(a->sequence_length, 4) << what;
    EXPECT_EQ(a->ticks_per_step, 16) << what;
    EXPECT_NE(a->loop, 0) << what;
    for (int k = 0; k < a->frame_count; k++) {
      EXPECT_EQ(a->frames[k].width, 64) << what << " frame " << k;
      EXPECT_EQ(a->frames[k].height, 128) << what << " frame " << k;
      EXPECT_EQ(a->frames[k].channels, 4) << what << " frame " << k;
    }
  };
  for (const char* name : {"@quarrybend/flagger_green.seq", "@quarrybend/flagger_halfway.seq",
                           "@quarrybend/flagger_white.seq", "@quarrybend/flagger_chequered.seq",
                           "@quarrybend/flagger_yellow.seq"}) {
    const unsigned id = texture_load(name);
    ASSERT_NE(id, 0u) << name;
    expect_waving(id, name);
  }
  ASSERT_EQ(load_track(), 1);
  for (uint32_t t : flaggers.lap_textures) expect_waving(t, "lap flag");
  ASSERT_EQ(course_flaggers.count, 2u);
  for (size_t i = 0; i < course_flaggers.count; i++) {
    const course_flagger* c = static_cast<const course_flagger*>(growable_array_at(&course_flaggers, i));
    expect_waving(c->texture_waving, "waving flag");
    EXPECT_EQ(texture_anim_find(c->texture_idle), nullptr);
  }
}

TEST_F(TrackGl, LoadingAgainGivesTheSameHash) {
  ASSERT_EQ(load_track(), 1);
  uint8_t first[digest_bytes];
  std::memcpy(first, track_hash, sizeof first);
  for (int round = 0; round < 3; round++) {
    free_track_data();
    free_terrain(&track_field);
    ASSERT_EQ(load_track(), 1);
    EXPECT_EQ(std::memcmp(first, track_hash, sizeof first), 0) << "round " << round;
  }
}

}  // namespace
