// The frame loop's captures on a real window: video frames as PPM on the
// video output, top row first, and the recordings stopping, with one line
// each, when their output refuses a write.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdio>
#include <string>

#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "core/message_ring.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/test_support_race.h"

namespace {

const double tick = 1.0 / 128.0;
double clock_now;
std::string video;
int video_refuses;

double now_fn() { return clock_now; }
void sleep_fn(double s) { clock_now += s; }
size_t write_fn(const void* bytes, size_t size) {
  if (video_refuses) return 0;
  video.append((const char*)bytes, size);
  return size;
}

// Top half red, bottom half blue.
void draw_halves(int) {
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 24, 64, 24);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

class FrameCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gl_window_open("Frame loop test", 64, 48, 0, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    game_window = window_;
    gl_load_extensions();
    frame_io_use_platform();
    frame_io.now = now_fn;
    frame_io.sleep = sleep_fn;
    frame_io.write_video = write_fn;
    clock_now = 0;
    video.clear();
    video_refuses = 0;
    race_hooks = {};
    race_hooks.draw_race_view = draw_halves;
    race_hooks.simulation_tick = [] {};
    loop_options = {};
    loop_options.record_video = 1;
    game_state.track_dir = "fake";
    menu_page = -1;
    viewed_slot = race_no_slot;  // no rider: the race view
    frame_loop_start(0);
  }
  void TearDown() override {
    if (game_state.audio) audio_close(game_state.audio);
    game_state.audio = nullptr;
    if (loop_options.record_audio_file) std::fclose(loop_options.record_audio_file);
    loop_options = {};
    game_state.track_dir = nullptr;
    race_hooks = {};
    game_window = nullptr;
    gl_window_close(window_);
  }
  // Passes until the window gives a frame (it may take a moment to map).
  void pass_with_frame() {
    for (int i = 0; i < 100 && video.empty() && loop_options.record_video; i++) {
      clock_now += 4 * tick;
      frame_loop_pass();
    }
  }
  window_state* window_ = nullptr;
};

TEST_F(FrameCapture, FramesArePpmTopRowFirst) {
  pass_with_frame();
  const std::string header = "P6\n64 48\n255\n";
  ASSERT_EQ(video.size() % (header.size() + 64 * 48 * 3), 0u);
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(video.substr(0, header.size()), header);
  const unsigned char* top = (const unsigned char*)video.data() + header.size();
  const unsigned char* bottom = top + 47 * 64 * 3;
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(top[2], 0);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_EQ(bottom[2], 255);
}

TEST_F(FrameCapture, RefusedWritesStopTheRecordingsWithOneLineEach) {
  const int first = message_ring.write_index;
  video_refuses = 1;
  game_state.audio = audio_open_readback(window_, audio_mix_rate, samples_per_tick);
  ASSERT_NE(game_state.audio, nullptr);
  loop_options.record_audio_name = "/dev/full";
  loop_options.record_audio_file = std::fopen("/dev/full", "wb");
  ASSERT_NE(loop_options.record_audio_file, nullptr);
  std::setvbuf(loop_options.record_audio_file, nullptr, _IONBF, 0);
  pass_with_frame();
  for (int i = 0; i < 3; i++) {
    clock_now += 4 * tick;
    EXPECT_EQ(frame_loop_pass(), 1);
  }
  EXPECT_EQ(loop_options.record_video, 0);
  EXPECT_EQ(loop_options.record_audio_file, nullptr);
  const std::string console = race_test_console_since(first);
  EXPECT_EQ(console.find("Video recording stopped"), console.rfind("Video recording stopped")) << console;
  EXPECT_NE(console.find("Video recording stopped"), std::string::npos) << console;
  EXPECT_NE(console.find("Audio recording stopped"), std::string::npos) << console;
  EXPECT_EQ(console.find("Audio recording stopped"), console.rfind("Audio recording stopped")) << console;
}

}  // namespace
