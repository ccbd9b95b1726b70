// Animated textures on a real driver (Mesa under Xvfb).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/anim_writer.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/test_support_images.h"
#include "assets/texture.h"
#include "assets/texture_anim.h"
#include "assets/verbose.h"
#include "core/message_ring.h"
#include "platform/window.h"

namespace {

const int ticks = 8;
const uint8_t colours[3][3] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}};

class TextureAnimGl : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gl_window_open("Animation test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    asset_generation = 0;
    texture_bytes = 0;
  }
  void TearDown() override {
    texture_delete_stale(1);
    verbose = 0;
    gl_window_close(window_);
  }
  window_state* window_ = nullptr;
};

// Three solid 64 x 16 PNG frames shown 0, 1, 2 in turn, `ticks` ticks each.
std::string write_sequence(const std::string& name, int loop) {
  const std::string folder = fixture_path("anim");
  std::filesystem::create_directories(folder);
  std::vector<std::string> names;
  for (int f = 0; f < 3; f++) {
    std::vector<uint8_t> pixels(64 * 16 * 3);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = colours[f][i % 3];
    names.push_back(folder + "/" + name + std::to_string(f) + ".png");
    EXPECT_TRUE(image_write_png8(names.back().c_str(), pixels.data(), 64, 16, 3));
  }
  const anim_writer_frame frames[3] = {
      {names[0].c_str(), nullptr, 0, 0}, {names[1].c_str(), nullptr, 0, 0}, {names[2].c_str(), nullptr, 0, 0}};
  const int sequence[3] = {0, 1, 2};
  const anim_writer_sequence seq = {3, sequence, 3, frames, ticks, loop};
  const std::string path = folder + "/" + name + ".seq";
  EXPECT_TRUE(anim_write_file(&seq, path.c_str()));
  return path;
}

// The first pixel of a level of the texture.
std::vector<int> pixel(unsigned id, int level) {
  GLint w = 0, h = 0;
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  std::vector<uint8_t> data((size_t)(w > 0 ? w : 1) * (h > 0 ? h : 1) * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, data.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return {data[0], data[1], data[2]};
}

std::vector<int> colour(int frame) { return {colours[frame][0], colours[frame][1], colours[frame][2]}; }

// Level 0 and the 1 x 1 level (level 6 of 64 x 16) both show the frame.
void expect_frame(unsigned id, int frame, const char* when) {
  EXPECT_EQ(pixel(id, 0), colour(frame)) << when << ": level 0";
  EXPECT_EQ(pixel(id, 6), colour(frame)) << when << ": the 1 x 1 level";
}

TEST_F(TextureAnimGl, SequenceStepsLoopsStopsAndRestarts) {
  const unsigned id = texture_load(write_sequence("loop", 1).c_str());
  ASSERT_NE(id, 0u);
  GLint w = 0, h = 0;
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 6, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 6, GL_TEXTURE_HEIGHT, &h);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(texture_load(write_sequence("loop", 1).c_str()), id);  // found by name

  struct row {
    int tick, frame;
  };
  const row looping[] = {{0, 0}, {ticks, 1}, {2 * ticks, 2}, {3 * ticks, 0}, {5 * ticks, 2}};
  for (const row& r : looping) {
    texture_anims_update(r.tick);
    expect_frame(id, r.frame, ("tick " + std::to_string(r.tick)).c_str());
  }

  texture_anim_stop(id);
  texture_anims_update(6 * ticks);
  expect_frame(id, 2, "paused");
  EXPECT_EQ(texture_anim_start(id, 100), id);
  texture_anims_update(100);
  expect_frame(id, 0, "restarted");
  texture_anims_update(100 + ticks);
  expect_frame(id, 1, "one step after the restart");

  const unsigned once = texture_load(write_sequence("once", 0).c_str());
  ASSERT_NE(once, 0u);
  const row stopping[] = {{0, 0}, {ticks, 1}, {2 * ticks, 2}, {3 * ticks, 2}, {5 * ticks, 2}};
  for (const row& r : stopping) {
    texture_anims_update(r.tick);
    expect_frame(once, r.frame, ("once, tick " + std::to_string(r.tick)).c_str());
  }
}

TEST_F(TextureAnimGl, CustomFrameStaysUntilTheSequenceMoves) {
  const unsigned id = texture_load(write_sequence("custom", 1).c_str());
  ASSERT_NE(id, 0u);
  texture_anims_update(0);
  ASSERT_EQ(texture_custom_frame_begin(id), 1);
  // Frame 2 (blue) into the whole custom frame.
  ASSERT_EQ(texture_custom_frame_paste(id, 2, 0, 0, 0, 0, 1, 1), 1);
  ASSERT_EQ(texture_custom_frame_end(id), 1);
  expect_frame(id, 2, "custom picture");
  texture_anims_update(ticks - 1);  // still step 0: frame 0 is current
  expect_frame(id, 2, "same frame");
  texture_anims_update(ticks);
  expect_frame(id, 1, "next step");

  // Half a custom frame: the rest stays black.
  ASSERT_EQ(texture_custom_frame_begin(id), 1);
  ASSERT_EQ(texture_custom_frame_paste(id, 0, 0, 0, 0.5, 0, 0.5, 1), 1);
  ASSERT_EQ(texture_custom_frame_end(id), 1);
  EXPECT_EQ(pixel(id, 0), std::vector<int>({0, 0, 0}));
}

TEST_F(TextureAnimGl, RefusedSequenceGivesNoTextureAndAnOldGenerationIsFreed) {
  const std::string bad = fixture_path("anim/bad.seq");
  std::filesystem::create_directories(fixture_path("anim"));
  fixture_put(bad, "ANIM1 1 1 0 1\n0\nPNG nothing.png\n");
  EXPECT_EQ(texture_load(bad.c_str()), 0u);
  EXPECT_EQ(texture_anim_table.count, 0u);

  asset_generation = 1;
  const unsigned id = texture_load(write_sequence("stale", 1).c_str());
  ASSERT_NE(id, 0u);
  EXPECT_GT(texture_bytes, 64u * 16 * 3);
  ASSERT_NE(texture_anim_find(id), nullptr);
  ASSERT_EQ(texture_custom_frame_begin(id), 1);  // the custom frame goes too

  asset_generation = 2;
  verbose = 1;
  const int mark = message_ring.write_index;
  texture_delete_stale(0);
  EXPECT_EQ(texture_anim_find(id), nullptr);
  std::vector<std::string> lines;
  for (int i = mark; i != message_ring.write_index; i = (i + 1) % message_ring_size)
    lines.push_back(message_ring.lines[i]);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "deleting anim 0 for tid " + std::to_string(id));
}

}  // namespace
