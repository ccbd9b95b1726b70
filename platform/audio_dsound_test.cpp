#include "platform/audio_dsound.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/audio_test_support.h"
#include "platform/os/os_dsound.h"

namespace {

dsound_sound* rec(audio_sound* s) { return reinterpret_cast<dsound_sound*>(s); }

// The whole buffer of a sound, as the device would play it.
std::vector<uint8_t> buffer_bytes(audio_sound* s) {
  os_dsound_buffer* b = rec(s)->buffer;
  uint8_t *p1, *p2;
  int n1, n2;
  const int length = rec(s)->block->length;
  if (os_dsound_lock(b, 0, length, &p1, &n1, &p2, &n2) != OS_DS_OK) return {};
  std::vector<uint8_t> out(p1, p1 + n1);
  os_dsound_unlock(b, p1, 0, p2, 0);
  return out;
}

TEST(DsoundAttenuation, TableAndInterpolation) {
  struct att_case {
    int x, want;
  };
  const att_case cases[] = {
      {-1, -10000}, {0, -10000}, {1, -9876}, {33, -6002}, {0x3000, -851}, {0x3FFF, -603}, {0x7FFF, 0}, {0x8000, 0},
  };
  for (const att_case& c : cases) EXPECT_EQ(dsound_attenuation(c.x), c.want) << c.x;
}

TEST_F(AudioTest, DsoundVolumeAndPanBecomeDecibels) {
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(audio_current_driver, &dsound_driver);
  const uint8_t bytes[8] = {128, 200, 128, 60, 128, 200, 128, 60};
  audio_sound* s = sound_create(h, 8, bytes, 0);
  ASSERT_NE(s, nullptr);

  struct vp_case {
    int volume, pan, want_volume_db, want_pan_db;
  };
  const vp_case cases[] = {
      {0x7FFF, 0, -603, 0},           // centred: half amplitude on both sides
      {0x7FFF, -0x7FFF, 0, -10000},   // hard left: full amplitude, right silent
      {0x7FFF, -0x9000, 0, -10000},   // clamped to hard left
      {0x7FFF, 0x7FFF, 0, 10000},     // hard right
      {0x4000, -0x4000, -851, -603},  // quieter, toward the left
      {0x7FFF, 0x2000, -409, 250},   {0, 0, -10000, 0}, {-7, 0, -10000, 0},
  };
  for (const vp_case& c : cases) {
    EXPECT_EQ(sound_set_pan(s, c.pan), 1);
    EXPECT_EQ(sound_set_volume(s, c.volume), 1);
    int vol = 1, pan = 1;
    os_dsound_get_volume(rec(s)->buffer, &vol);
    os_dsound_get_pan(rec(s)->buffer, &pan);
    EXPECT_EQ(vol, c.want_volume_db) << c.volume << " " << c.pan;
    EXPECT_EQ(pan, c.want_pan_db) << c.volume << " " << c.pan;
  }
  sound_free(s);
  audio_close(h);
}

TEST_F(AudioTest, DsoundRateControlOnlyForRateZeroSounds) {
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  const uint8_t bytes[8] = {128, 200, 128, 60, 128, 200, 128, 60};
  audio_sound* free_rate = sound_create(h, 8, bytes, 0);
  audio_sound* fixed = sound_create(h, 8, bytes, 11025);
  ASSERT_NE(free_rate, nullptr);
  ASSERT_NE(fixed, nullptr);
  int hz = 0;
  os_dsound_get_frequency(rec(free_rate)->buffer, &hz);
  EXPECT_EQ(hz, 22050);
  EXPECT_EQ(sound_set_rate(free_rate, 30000), 1);
  os_dsound_get_frequency(rec(free_rate)->buffer, &hz);
  EXPECT_EQ(hz, 30000);
  EXPECT_EQ(sound_set_rate(free_rate, 5), 0);  // below what a buffer can play
  EXPECT_EQ(sound_set_rate(fixed, 30000), 0);
  os_dsound_get_frequency(rec(fixed)->buffer, &hz);
  EXPECT_EQ(hz, 11025);
  EXPECT_EQ(sound_create(h, 0, bytes, 0), nullptr);
  EXPECT_EQ(sound_create(h, 8, bytes, 50), nullptr);
  sound_free(fixed);
  sound_free(free_rate);
  audio_close(h);
}

TEST_F(AudioTest, DsoundCloneWriteAndLostBuffers) {
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 100);
  audio_sound* s = sound_create(h, 100, bytes.data(), 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(buffer_bytes(s), bytes);
  sound_set_loop(s, 1);
  sound_set_volume(s, 0x4000);
  audio_sound* c = sound_clone(s);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(rec(c)->block, rec(s)->block);
  EXPECT_EQ(rec(s)->block->refs, 2);
  EXPECT_EQ(rec(c)->flags, DSOUND_LOOP);
  EXPECT_EQ(rec(c)->volume, 0);

  // A write is a ring over both the block and the buffer.
  const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(sound_write(s, 10, ten, 95), 1);
  std::vector<uint8_t> want = bytes;
  for (int i = 0; i < 10; ++i) want[static_cast<size_t>((95 + i) % 100)] = ten[i];
  EXPECT_EQ(buffer_bytes(s), want);
  EXPECT_EQ(buffer_bytes(c), want);  // a clone shares the buffer memory
  EXPECT_EQ(std::vector<uint8_t>(rec(s)->block->bytes, rec(s)->block->bytes + 100), want);

  // The device goes away: the first play reports failure, restores and
  // refills; the next one plays the sound as it was.
  os_dsound_device_lost(rec(s)->driver->device);
  EXPECT_EQ(sound_play(s), 0);
  EXPECT_EQ(buffer_bytes(s), want);
  EXPECT_EQ(sound_play(s), 1);
  EXPECT_TRUE(os_dsound_is_playing(rec(s)->buffer));

  // Lost again while streaming: the write lands and the buffer comes back whole.
  os_dsound_device_lost(rec(s)->driver->device);
  EXPECT_EQ(sound_write(s, 3, ten, 0), 1);
  for (int i = 0; i < 3; ++i) want[static_cast<size_t>(i)] = ten[i];
  EXPECT_EQ(buffer_bytes(s), want);

  sound_free(s);
  EXPECT_EQ(rec(c)->block->refs, 1);
  sound_free(c);
  audio_close(h);
}

// Mean absolute value of one channel of signed 16-bit stereo frames.
double channel_level(const std::vector<int16_t>& frames, size_t from, size_t count, int channel) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) sum += std::fabs(frames[2 * i + static_cast<size_t>(channel)]);
  return sum / static_cast<double>(count);
}

TEST_F(AudioTest, DsoundLoopingSoundPlaysAtItsVolumePanAndRate) {
  use_backend("disk");
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr) << log_text();
  ASSERT_EQ(audio_current_driver, &dsound_driver);
  ASSERT_EQ(os_dsound_output_rate(static_cast<dsound_record*>(h)->device), 44100);

  // A square wave of 10 bytes a period, +-64 around the midpoint.
  std::vector<uint8_t> square(100);
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i % 10) < 5 ? 192 : 64;
  audio_sound* s = sound_create(h, 100, square.data(), 0);
  ASSERT_NE(s, nullptr);
  sound_set_loop(s, 1);
  sound_set_volume(s, 0x4000);  // -8.51 dB
  sound_set_pan(s, -0x4000);    // right side a further -6.03 dB
  sound_set_rate(s, 44100);     // one byte per output sample: 4410 Hz
  EXPECT_EQ(sound_play(s), 1);
  // Wait for 0.1 s of steady sound after the silence before play.
  const size_t span = 4410;
  std::vector<int16_t> frames;
  size_t first = 0;
  for (int waited = 0; waited < audio_hang_ms; waited += 20) {
    const std::vector<uint8_t> raw = device_output();
    frames.assign(raw.size() / 2, 0);
    if (!frames.empty()) std::memcpy(frames.data(), raw.data(), frames.size() * 2);
    first = 0;
    while (2 * first < frames.size() && frames[2 * first] == 0) ++first;
    if (frames.size() / 2 >= first + span) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  sound_free(s);
  audio_close(h);
  ASSERT_GE(frames.size() / 2, first + span) << "device wrote " << frames.size() / 2 << " frames";

  const double left = channel_level(frames, first, span, 0);
  const double right = channel_level(frames, first, span, 1);
  EXPECT_NEAR(left, 64 * 256 * std::pow(10.0, -851 / 2000.0), 10.0);
  EXPECT_NEAR(right, 64 * 256 * std::pow(10.0, (-851 - 603) / 2000.0), 10.0);

  // Sign changes of the left channel: two per period of 10 output samples.
  int changes = 0;
  for (size_t i = first + 1; i < first + span; ++i)
    if ((frames[2 * i] < 0) != (frames[2 * (i - 1)] < 0)) ++changes;
  EXPECT_NEAR(changes, 2 * 441, 2);
}

}  // namespace
