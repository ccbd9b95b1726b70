#include "platform/os/os_dsound.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class OsDsound : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ds_ = os_dsound_create();
    ASSERT_NE(ds_, nullptr);
    ASSERT_EQ(os_dsound_set_cooperative_level(ds_, nullptr), OS_DS_OK);
  }
  void TearDown() override { os_dsound_release(ds_); }

  os_dsound_buffer* make(int rate, int bytes, unsigned flags) {
    os_dsound_buffer* b = nullptr;
    EXPECT_EQ(os_dsound_create_buffer(ds_, rate, bytes, flags, &b), OS_DS_OK);
    return b;
  }

  std::vector<uint8_t> contents(os_dsound_buffer* b, int length) {
    uint8_t *p1, *p2;
    int n1, n2;
    if (os_dsound_lock(b, 0, length, &p1, &n1, &p2, &n2) != OS_DS_OK) return {};
    std::vector<uint8_t> out(p1, p1 + n1);
    EXPECT_EQ(os_dsound_unlock(b, p1, 0, p2, 0), OS_DS_OK);
    return out;
  }

  // Only a hang reaches the deadline: a loaded machine may starve the
  // playing thread for seconds.
  bool wait_until_stopped(os_dsound_buffer* b) {
    for (int i = 0; i < 12000 && os_dsound_is_playing(b); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !os_dsound_is_playing(b);
  }

  os_dsound* ds_ = nullptr;
};

TEST_F(OsDsound, LockWrapsIntoTwoPieces) {
  os_dsound_buffer* b = make(22050, 100, OS_DS_STATIC);
  EXPECT_EQ(contents(b, 100), std::vector<uint8_t>(100, 128));  // new buffers are silent

  uint8_t *p1, *p2;
  int n1, n2;
  ASSERT_EQ(os_dsound_lock(b, 95, 10, &p1, &n1, &p2, &n2), OS_DS_OK);
  EXPECT_EQ(n1, 5);
  EXPECT_EQ(n2, 5);
  ASSERT_NE(p2, nullptr);
  // Nothing reaches the buffer before unlock.
  std::memset(p1, 1, 5);
  std::memset(p2, 2, 5);
  uint8_t *q1, *q2;
  int m1, m2;
  EXPECT_EQ(os_dsound_lock(b, 0, 4, &q1, &m1, &q2, &m2), OS_DS_INVALIDPARAM);  // already locked
  EXPECT_EQ(os_dsound_unlock(b, p1, 6, p2, 5), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_unlock(b, p1, 5, p2, 5), OS_DS_OK);
  std::vector<uint8_t> want(100, 128);
  for (int i = 95; i < 100; ++i) want[static_cast<size_t>(i)] = 1;
  for (int i = 0; i < 5; ++i) want[static_cast<size_t>(i)] = 2;
  EXPECT_EQ(contents(b, 100), want);

  struct bad_lock {
    int offset, bytes;
  };
  for (const bad_lock& c : {bad_lock{-1, 4}, bad_lock{100, 4}, bad_lock{0, 0}, bad_lock{0, 101}}) {
    EXPECT_EQ(os_dsound_lock(b, c.offset, c.bytes, &p1, &n1, &p2, &n2), OS_DS_INVALIDPARAM)
        << c.offset << " " << c.bytes;
    EXPECT_EQ(p1, nullptr);
  }
  os_dsound_buffer_release(b);
}

TEST_F(OsDsound, ControlsAndRanges) {
  os_dsound_buffer* plain = make(22050, 16, OS_DS_STATIC);
  EXPECT_EQ(os_dsound_set_volume(plain, -100), OS_DS_CONTROLUNAVAIL);
  EXPECT_EQ(os_dsound_set_pan(plain, -100), OS_DS_CONTROLUNAVAIL);
  EXPECT_EQ(os_dsound_set_frequency(plain, 11025), OS_DS_CONTROLUNAVAIL);

  os_dsound_buffer* b = make(11025, 16, OS_DS_CTRLVOLUME | OS_DS_CTRLPAN | OS_DS_CTRLFREQUENCY);
  EXPECT_EQ(os_dsound_set_volume(b, 1), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_volume(b, -10001), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_pan(b, 10001), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_frequency(b, 99), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_frequency(b, 200001), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_volume(b, -2500), OS_DS_OK);
  EXPECT_EQ(os_dsound_set_pan(b, 700), OS_DS_OK);
  EXPECT_EQ(os_dsound_set_frequency(b, 30000), OS_DS_OK);

  os_dsound_buffer* dup = nullptr;
  ASSERT_EQ(os_dsound_duplicate(ds_, b, &dup), OS_DS_OK);
  int v = 0, p = 0, hz = 0;
  os_dsound_get_volume(dup, &v);
  os_dsound_get_pan(dup, &p);
  os_dsound_get_frequency(dup, &hz);
  EXPECT_EQ(v, -2500);
  EXPECT_EQ(p, 700);
  EXPECT_EQ(hz, 30000);
  EXPECT_EQ(os_dsound_set_frequency(b, 0), OS_DS_OK);  // back to the rate it was made with
  os_dsound_get_frequency(b, &hz);
  EXPECT_EQ(hz, 11025);

  os_dsound_buffer* bad = nullptr;
  EXPECT_EQ(os_dsound_create_buffer(ds_, 22050, 0, 0, &bad), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_create_buffer(ds_, 50, 16, 0, &bad), OS_DS_INVALIDPARAM);
  EXPECT_EQ(bad, nullptr);
  os_dsound_buffer_release(dup);
  os_dsound_buffer_release(b);
  os_dsound_buffer_release(plain);
}

TEST_F(OsDsound, OneShotStopsAtItsEndAndLoopsGoOn) {
  // 441 bytes at the output rate last 10 ms.
  os_dsound_buffer* once = make(44100, 441, OS_DS_CTRLFREQUENCY);
  os_dsound_buffer* loop = make(44100, 441, OS_DS_CTRLFREQUENCY);
  EXPECT_EQ(os_dsound_set_position(once, 441), OS_DS_INVALIDPARAM);
  EXPECT_EQ(os_dsound_set_position(once, 200), OS_DS_OK);
  int play = -1, write = -1;
  os_dsound_get_position(once, &play, &write);
  EXPECT_EQ(play, 200);
  ASSERT_EQ(os_dsound_play(once, 0), OS_DS_OK);
  ASSERT_EQ(os_dsound_play(loop, 1), OS_DS_OK);
  EXPECT_TRUE(wait_until_stopped(once));
  os_dsound_get_position(once, &play, &write);
  EXPECT_EQ(play, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_TRUE(os_dsound_is_playing(loop));
  EXPECT_EQ(os_dsound_stop(loop), OS_DS_OK);
  EXPECT_FALSE(os_dsound_is_playing(loop));
  os_dsound_buffer_release(once);
  os_dsound_buffer_release(loop);
}

TEST_F(OsDsound, LostBuffersComeBackEmpty) {
  os_dsound_buffer* b = make(22050, 8, 0);
  uint8_t *p1, *p2;
  int n1, n2;
  ASSERT_EQ(os_dsound_lock(b, 0, 8, &p1, &n1, &p2, &n2), OS_DS_OK);
  std::memset(p1, 7, 8);
  os_dsound_unlock(b, p1, 8, p2, 0);
  ASSERT_EQ(os_dsound_play(b, 1), OS_DS_OK);

  os_dsound_device_lost(ds_);
  EXPECT_FALSE(os_dsound_is_playing(b));
  EXPECT_EQ(os_dsound_play(b, 1), OS_DS_BUFFERLOST);
  EXPECT_EQ(os_dsound_lock(b, 0, 8, &p1, &n1, &p2, &n2), OS_DS_BUFFERLOST);
  EXPECT_EQ(os_dsound_restore(b), OS_DS_OK);
  EXPECT_EQ(contents(b, 8), std::vector<uint8_t>(8, 128));
  EXPECT_EQ(os_dsound_play(b, 1), OS_DS_OK);
  os_dsound_buffer_release(b);
}

}  // namespace
