#include "platform/audio.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/audio_test_support.h"
#include "platform/audio_waveout.h"
#include "platform/mixer.h"
#include "platform/os/os_audio.h"

namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Samples that never mix to silence at level 15: every one is at least 4
// away from the midpoint.
std::vector<uint8_t> test_sound(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    const int d = 4 + static_cast<int>((x >> 16) % 120);
    v[i] = static_cast<uint8_t>((x & 0x8000) ? 128 + d : 128 - d);
  }
  return v;
}

// Stereo 8-bit frames with the silent ones (128, 128) left out: device
// output starts with silence and may hold gaps where the device ran dry.
std::vector<uint8_t> sounding_frames(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == 128 && bytes[i + 1] == 128) continue;
    out.push_back(bytes[i]);
    out.push_back(bytes[i + 1]);
  }
  return out;
}

TEST_F(AudioTest, OpenPicksDriverByOptions) {
  struct open_case {
    const char* options;
    const audio_driver* want;
  };
  const open_case cases[] = {
      {"", &dsound_driver},
      {"[dsnd:off]", &waveout_driver},
      {"[dsnd:off][waveout:off]", nullptr},
      {"[waveout:off]", &dsound_driver},
  };
  for (const open_case& c : cases) {
    options_set_string(c.options);
    void* h = audio_open(nullptr);
    EXPECT_EQ(audio_current_driver, c.want) << c.options;
    EXPECT_EQ(h != nullptr, c.want != nullptr) << c.options;
    if (h) {
      EXPECT_EQ(audio_open(nullptr), nullptr) << "second open while one is current";
      EXPECT_EQ(audio_open_readback(nullptr, 22050, 344), nullptr);
      EXPECT_EQ(audio_update(h), 1);
      EXPECT_EQ(audio_readback(h), nullptr);
      audio_close(h);
    }
    EXPECT_EQ(audio_current_driver, nullptr);
  }
}

TEST_F(AudioTest, NoDeviceMeansSilenceNotACrash) {
  use_backend("no-such-backend");
  EXPECT_EQ(audio_open(nullptr), nullptr);
  EXPECT_EQ(audio_current_driver, nullptr);
  EXPECT_TRUE(log_has("Opening waveOut audio..."));
  EXPECT_TRUE(log_has("No audio device"));
  // The game goes on calling into audio: every call is refused quietly.
  const uint8_t s[4] = {1, 2, 3, 4};
  EXPECT_EQ(sound_create(nullptr, 4, s, 0), nullptr);
  EXPECT_EQ(sound_play(nullptr), 0);
  EXPECT_EQ(audio_update(nullptr), 0);
  sound_free(nullptr);
  audio_close(nullptr);
  EXPECT_TRUE(log_has("sound_create: no audio open"));
}

TEST_F(AudioTest, ReadbackMixesBlocksOnDemand) {
  options_set_string("[sound-channels:1]");
  void* h = audio_open_readback(nullptr, 11025, 4);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(audio_current_driver, &readback_driver);
  EXPECT_TRUE(log_has("Opening readback audio..."));
  EXPECT_TRUE(log_has("Audio opened!"));
  const mixer* m = static_cast<const mixer*>(h);
  EXPECT_EQ(m->voices, 1);
  EXPECT_EQ(m->stereo, 1);

  const uint8_t bytes[] = {200, 60, 200, 60, 200, 60};
  audio_sound* a = sound_create(h, 6, bytes, 0);
  audio_sound* b = sound_clone(a);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(sound_set_pan(b, 0x7FFF), 1);  // b wholly right, level 31
  EXPECT_EQ(sound_play(a), 1);
  EXPECT_EQ(sound_play(b), 1);
  const uint8_t* out = audio_readback(h);
  ASSERT_NE(out, nullptr);
  // One voice: b's right side (level 31) is heard, a's level-15 sides are not.
  const uint8_t r200 = static_cast<uint8_t>(128 + mixer_gain(31, 200));
  const uint8_t r60 = static_cast<uint8_t>(128 + mixer_gain(31, 60));
  const std::vector<uint8_t> want = {128, r200, 128, r60, 128, r200, 128, r60};
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), want);
  EXPECT_EQ(sound_get_position(a), 4);

  const uint8_t more[] = {9, 9};
  EXPECT_EQ(sound_write(a, 2, more, 5), 1);  // ring: bytes 5 and 0
  const mixer_sound* ma = reinterpret_cast<const mixer_sound*>(a);
  EXPECT_EQ(ma->block->bytes[5], 9);
  EXPECT_EQ(ma->block->bytes[0], 9);
  sound_free(b);
  sound_free(a);
  audio_close(h);
}

TEST_F(AudioTest, ReadbackRefusesBadFormats) {
  EXPECT_EQ(audio_open_readback(nullptr, 0, 344), nullptr);
  EXPECT_EQ(audio_open_readback(nullptr, 22050, 0), nullptr);
  EXPECT_EQ(audio_current_driver, nullptr);
}

TEST_F(AudioTest, WaveoutThreadStartsAndStopsWithItsLines) {
  options_set_string("[dsnd:off]");
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(wait_for_log("Audio thread begin", audio_hang_ms));
  // The whole mixahead is queued at once, without waiting for the device.
  for (int waited = 0; waited < audio_hang_ms && waveout.fragments_written < 8; waited += 5) sleep_ms(5);
  EXPECT_GE(waveout.fragments_written, 8);
  audio_close(h);
  const std::vector<std::string> want = {
      "Opening waveOut audio...",
      "Found a System audio output device",
      "Waveout rate: 22050",
      "Waveout channels: 16",
      "Waveout mixahead: 125",
      "Audio opened!",
      "Closing audio",
      "Audio thread end",
  };
  // The thread's first line may come before or after "Audio opened!".
  std::vector<std::string> got;
  int begin_at = -1, closing_at = -1;
  for (const std::string& l : log_lines()) {
    if (l == "Audio thread begin")
      begin_at = static_cast<int>(got.size());
    else if (l.rfind("Logfile", 0) != 0 && l != "PAVO 0.31")
      got.push_back(l);
    if (l == "Closing audio") closing_at = static_cast<int>(got.size());
  }
  EXPECT_EQ(got, want);
  EXPECT_GE(begin_at, 5);
  EXPECT_LT(begin_at, closing_at);
  EXPECT_FALSE(waveout.open);
  waveout_close(h);  // closing twice is refused with a line
  EXPECT_TRUE(log_has("Can't close audio, not open"));
}

TEST_F(AudioTest, WaveoutSettings) {
  struct setting_case {
    const char* options;
    int rate, fragments, mixahead_ms;
    bool unrecognized;
  };
  const setting_case cases[] = {
      {"[sound-mixahead:125]", 22050, 8, 125, false}, {"[sound-mixahead:0]", 22050, 1, 15, false},
      {"[sound-mixahead:-40]", 22050, 1, 15, false},  {"[sound-mixahead:1000]", 22050, 32, 500, false},
      {"[sound-rate:44100]", 44100, 8, 125, false},   {"[sound-rate:63]", 22050, 8, 125, true},
      {"[sound-rate:3999]", 22050, 8, 125, true},     {"[sound-rate:500000]", 22050, 8, 125, true},
  };
  for (const setting_case& c : cases) {
    log_reset_for_tests();
    std::remove(log_path_.c_str());
    options_set_string((std::string("[dsnd:off]") + c.options).c_str());
    void* h = audio_open(nullptr);
    ASSERT_NE(h, nullptr) << c.options;
    EXPECT_EQ(waveout.mix.rate, c.rate) << c.options;
    EXPECT_EQ(waveout.mix.samples, c.rate / 64) << c.options;
    EXPECT_EQ(waveout.mixahead, c.fragments) << c.options;
    audio_close(h);
    EXPECT_TRUE(log_has("Waveout mixahead: " + std::to_string(c.mixahead_ms))) << c.options;
    EXPECT_TRUE(log_has("Waveout rate: " + std::to_string(c.rate))) << c.options;
    EXPECT_EQ(log_has("unrecognized setting for sound-rate"), c.unrecognized) << c.options;
  }
}

TEST_F(AudioTest, StalledDeviceTimesOutAndTheThreadGoesOn) {
  options_set_string("[dsnd:off][sound-mixahead:60]");
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(wait_for_log("Audio thread begin", audio_hang_ms));
  os_audio_pause(waveout.device, 1);  // the device stops taking fragments
  ASSERT_TRUE(wait_for_log("Audio thread: Timeout on fragment ", audio_hang_ms));
  const int after_timeout = waveout.fragments_written;
  os_audio_pause(waveout.device, 0);
  for (int waited = 0; waited < audio_hang_ms && waveout.fragments_written <= after_timeout; waited += 10) sleep_ms(10);
  EXPECT_GT(waveout.fragments_written, after_timeout);
  audio_close(h);
  EXPECT_TRUE(log_has("Audio thread end"));
  // The line names the count of fragments written when the wait began.
  bool named = false;
  for (const std::string& l : log_lines()) {
    int n = 0;
    if (std::sscanf(l.c_str(), "Audio thread: Timeout on fragment %d", &n) == 1) named = n >= 3;
  }
  EXPECT_TRUE(named);
}

TEST_F(AudioTest, WaveoutDeviceOutputEqualsReadback) {
  const std::vector<uint8_t> sound = test_sound(4000);
  const int rate = 22050;

  void* rb = audio_open_readback(nullptr, rate, rate / 64);
  ASSERT_NE(rb, nullptr);
  audio_sound* s = sound_create(rb, static_cast<int>(sound.size()), sound.data(), 0);
  sound_play(s);
  std::vector<uint8_t> expected;
  for (int block = 0; block < 20; ++block) {
    const uint8_t* out = audio_readback(rb);
    expected.insert(expected.end(), out, out + 2 * (rate / 64));
  }
  sound_free(s);
  audio_close(rb);
  expected = sounding_frames(expected);
  ASSERT_EQ(expected.size(), 2 * sound.size());

  use_backend("disk");
  options_set_string("[dsnd:off]");
  void* h = audio_open(nullptr);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(audio_current_driver, &waveout_driver);
  s = sound_create(h, static_cast<int>(sound.size()), sound.data(), 0);
  ASSERT_NE(s, nullptr);
  sound_play(s);
  // Until the device has written as much sound as the readback made; the
  // file only grows, so a wrong mix shows up as a difference, not a hang.
  for (int waited = 0; waited < audio_hang_ms; waited += 20) {
    if (sounding_frames(device_output()).size() >= expected.size()) break;
    sleep_ms(20);
  }
  sleep_ms(50);
  sound_free(s);
  audio_close(h);
  EXPECT_EQ(sounding_frames(device_output()), expected);
}

}  // namespace
