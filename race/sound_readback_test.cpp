// The engine note of a real rider heard through the readback driver: a
// rider standing with the clutch pulled, revved by the throttle.
#include <gtest/gtest.h>

#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_engine.h"
#include "bike/rider_setters.h"
#include "bike/riders_step.h"
#include "core/race_clock.h"
#include "platform/audio.h"
#include "race/engine_sound.h"
#include "race/game_state.h"
#include "race/listener.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/sound_scene.h"
#include "race/test_support_race.h"

namespace {

// The frequency of the strongest repeat of x (autocorrelation), between lo
// and hi Hz.
double fundamental(const std::vector<double>& x, double rate, double lo, double hi) {
  const int min_lag = (int)(rate / hi), max_lag = (int)(rate / lo);
  std::vector<double> r(max_lag + 2, 0);
  double best = 0;
  for (int lag = min_lag; lag <= max_lag + 1; lag++) {
    double sum = 0, e0 = 0, e1 = 0;
    for (size_t i = 0; i + lag < x.size(); i++) {
      sum += x[i] * x[i + lag];
      e0 += x[i] * x[i];
      e1 += x[i + lag] * x[i + lag];
    }
    r[lag] = e0 > 0 && e1 > 0 ? sum / std::sqrt(e0 * e1) : 0;
    best = std::max(best, r[lag]);
  }
  for (int lag = min_lag + 1; lag <= max_lag; lag++)
    if (r[lag] >= 0.85 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1], den = a - 2 * b + c;
      return rate / (lag + (den != 0 ? 0.5 * (a - c) / den : 0));
    }
  return 0;
}

TEST(SoundReadback, EngineNoteFollowsTheRevs) {
  race_test_open();
  sound_scene_install_hooks();
  game_state.audio = audio_open_readback(nullptr, audio_mix_rate, 690);
  ASSERT_NE(game_state.audio, nullptr);
  int line_up[160] = {line_up_local};
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
  rider* r = rider_slots[0];
  ASSERT_NE(r, nullptr);
  ASSERT_NE(engine_voices[0].sound, nullptr);
  viewed_slot = 0;
  const float firings = engine_voices[0].definition.firings_per_rev;

  // Left channel, decimated by 8 (11040 Hz), and the engine speed per tick.
  const int decimate = 8;
  const double rate = (double)audio_mix_rate / decimate;
  std::vector<double> heard;
  std::vector<float> rpm;
  double sum = 0;
  int summed = 0;
  rider_set_clutch(r, 0);
  const float throttles[3] = {0, 0.5f, 1};
  for (int tick = 0; tick < 3 * 384; tick++) {
    rider_set_throttle(r, throttles[tick / 384]);
    race_clock.current_tick++;
    ASSERT_NE(riders_step(nullptr), 0);
    rpm.push_back(rider_engine_rpm(r));
    if (tick % 2 == 0) {  // the scene at 64 frames a second
      const dReal* p = dBodyGetPosition(rider_frame_body(r));
      for (int k = 0; k < 3; k++) listener.position[k] = (float)p[k] + (k == 1 ? 2.0f : 0.0f);
      update_sound_scene(1);
      audio_update(game_state.audio);
    }
    const uint8_t* block = audio_readback(game_state.audio);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 690; i++) {
      sum += block[2 * i] - 128.0;
      if (++summed == decimate) {
        heard.push_back(sum / decimate);
        sum = 0;
        summed = 0;
      }
    }
  }

  // Quarter-second windows where the engine speed holds within 3% (the
  // note is written 0.1 s ahead of the play position, so it lags by that).
  const int window_ticks = 32, lag_ticks = 13;
  std::vector<std::pair<double, double>> pairs;  // (expected, heard)
  for (int w = 0; (w + 1) * window_ticks + lag_ticks <= (int)rpm.size(); w++) {
    const int a = w * window_ticks, b = a + window_ticks;
    const auto [lo, hi] = std::minmax_element(rpm.begin() + std::max(0, a - lag_ticks), rpm.begin() + b);
    if (*hi > *lo * 1.03f) continue;
    double mean = 0;
    for (int t = a; t < b; t++) mean += rpm[t];
    const double expected = mean / window_ticks * firings / 60;
    const size_t from = (size_t)((a + lag_ticks) * 690 / decimate), to = (size_t)((b + lag_ticks) * 690 / decimate);
    if (to > heard.size()) break;
    const std::vector<double> x(heard.begin() + from, heard.begin() + to);
    double energy = 0;
    for (double v : x) energy += v * v;
    ASSERT_GT(energy / x.size(), 0.5) << "window " << w << " is silent";
    const double got = fundamental(x, rate, 10, 400);
    EXPECT_NEAR(got, expected, expected * 0.05) << "window " << w << " at " << mean / window_ticks << " rpm";
    pairs.push_back({expected, got});
  }
  ASSERT_GE(pairs.size(), 6u);
  // The note rises with the revs: the highest held speed is heard higher
  // than the lowest.
  const auto lowest = std::min_element(pairs.begin(), pairs.end());
  const auto highest = std::max_element(pairs.begin(), pairs.end());
  EXPECT_GT(highest->first, lowest->first * 1.5);
  EXPECT_GT(highest->second, lowest->second * 1.5);

  for (int i = 0; i < 160; i++) engine_voice_free_slot(i);
  audio_close(game_state.audio);
  game_state.audio = nullptr;
  viewed_slot = race_no_slot;
  race_test_close();
  sound_tables_free();
  sound_samples_free();
}

// Forty riders of both engine kinds heard together, as at a race start:
// idling in step, then all on the limiter, then each revving on a rhythm
// of its own. The mix must not clip, and the engine notes themselves must
// carry no offset, or it would grow with the number of engines.
//
// The scene turns a silent note into byte 127 while the mixer's silence is
// 128, and the mixer rounds both halves of a wave toward its centre: every
// voice heard pulls the mix down by up to a step times its gain level over
// 32 (about 6 steps with this field at full throttle). That offset is the
// conversion's, not the notes', so the notes are checked before it.
TEST(SoundReadback, FortyEnginesMixWithoutClippingOrOffset) {
  race_test_open();
  sound_scene_install_hooks();
  game_state.audio = audio_open_readback(nullptr, audio_mix_rate, 690);
  ASSERT_NE(game_state.audio, nullptr);
  const int riders = 40;
  int line_up[160] = {};
  const int kinds[3] = {line_up_robot, line_up_robot_125, line_up_robot_250};
  for (int i = 0; i < riders; i++) line_up[i] = kinds[i % 3];
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
  int voices = 0;
  for (int i = 0; i < 160; i++) voices += rider_slots[i] && engine_voices[i].sound;
  ASSERT_EQ(voices, riders);
  viewed_slot = 0;
  const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[0]));
  listener = {{(float)p[0], (float)p[1] + 2, (float)p[2]}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};

  const int idle_ticks = 192, limiter_ticks = 192, own_ticks = 256;
  long clipped[2] = {0, 0};
  int lowest = 255, highest = 0;
  double note_sum = 0;
  long note_count = 0;
  for (int tick = 0; tick < idle_ticks + limiter_ticks + own_ticks; tick++) {
    for (int i = 0; i < 160; i++) {
      rider* r = rider_slots[i];
      if (!r) continue;
      float throttle = tick < idle_ticks ? 0.0f : 1.0f;
      if (tick >= idle_ticks + limiter_ticks) throttle = 0.5f + 0.5f * std::sin(tick / (20.0f + i) + i);
      rider_set_clutch(r, 0);
      rider_set_throttle(r, throttle);
    }
    race_clock.current_tick++;
    ASSERT_NE(riders_step(nullptr), 0);
    if (tick % 2 == 0) {
      int before[160];
      for (int i = 0; i < 160; i++) before[i] = engine_voices[i].write_position;
      update_sound_scene(1);
      audio_update(game_state.audio);
      for (int i = 0; i < 160; i++) {
        const engine_voice* v = &engine_voices[i];
        if (!v->sound) continue;
        for (int t = before[i]; t != v->write_position; t = (t + 1) & (engine_voice_ring - 1), note_count++)
          note_sum += v->history[t];
      }
    }
    const uint8_t* block = audio_readback(game_state.audio);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 2 * 690; i++) {
      clipped[i & 1] += block[i] == 0 || block[i] == 255;
      lowest = std::min(lowest, (int)block[i]);
      highest = std::max(highest, (int)block[i]);
    }
  }
  EXPECT_EQ(clipped[0], 0) << "left: " << lowest << ".." << highest;
  EXPECT_EQ(clipped[1], 0) << "right: " << lowest << ".." << highest;
  // The notes average within a tenth of an 8-bit step of zero.
  ASSERT_GT(note_count, 0);
  EXPECT_NEAR(note_sum / note_count * 127, 0, 0.1);
  // Not silence either: the field is heard well off the centre.
  EXPECT_GT(highest - lowest, 64);

  for (int i = 0; i < 160; i++) engine_voice_free_slot(i);
  audio_close(game_state.audio);
  game_state.audio = nullptr;
  viewed_slot = race_no_slot;
  race_test_close();
  sound_tables_free();
  sound_samples_free();
}

// What the scene asks of each engine voice's sound, through a driver
// that records the calls.
struct voice_calls {
  std::vector<std::pair<char, int>> calls;  // 'r' rate, 'v' volume, 'p' pan, 'w' write position
  int written = 0;
};
voice_calls recorded[2];
int recorded_index(audio_sound* s) { return (int)(reinterpret_cast<intptr_t>(s) - 1); }
audio_sound* rec_create(void*, int, const uint8_t*, int) {
  static intptr_t next = 0;
  return reinterpret_cast<audio_sound*>(1 + (next++ % 2));
}
void rec_free(audio_sound*) {}
int rec_ok(audio_sound*) { return 1; }
int rec_flag(audio_sound*, int) { return 1; }
int rec_rate(audio_sound* s, int v) { return recorded[recorded_index(s)].calls.push_back({'r', v}), 1; }
int rec_volume(audio_sound* s, int v) { return recorded[recorded_index(s)].calls.push_back({'v', v}), 1; }
int rec_pan(audio_sound* s, int v) { return recorded[recorded_index(s)].calls.push_back({'p', v}), 1; }
int rec_position(audio_sound*) { return 0; }
int rec_write(audio_sound* s, int length, const uint8_t*, int position) {
  recorded[recorded_index(s)].calls.push_back({'w', position});
  recorded[recorded_index(s)].written += length;
  return 1;
}
const audio_driver recording_driver = {nullptr, nullptr, nullptr, nullptr, nullptr, rec_create, nullptr, rec_free,
                                       rec_ok, rec_ok, rec_rate, rec_volume, rec_pan, rec_flag, rec_position,
                                       rec_write};

TEST(SoundReadback, ViewedAndCompetingVoicesArePlacedInOrder) {
  race_test_open();
  sound_scene_install_hooks();
  audio_current_driver = &recording_driver;
  game_state.audio = &recorded;
  int line_up[160] = {line_up_robot, line_up_robot};
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
  ASSERT_NE(rider_slots[0], nullptr);
  ASSERT_NE(rider_slots[1], nullptr);
  for (voice_calls& v : recorded) v = {};
  viewed_slot = 1;
  // The listener a foot from rider 0, looking along -z (right is +x).
  const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[0]));
  listener = {{(float)p[0], (float)p[1] + 1, (float)p[2]}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};
  update_sound_scene(1);
  for (int slot = 0; slot < 2; slot++) {
    const voice_calls& v = recorded[recorded_index(engine_voices[slot].sound)];
    ASSERT_EQ(v.calls.size(), 4u) << slot;
    // The first frame of a new voice: 8820 samples from 11025 on.
    EXPECT_EQ(v.calls[0], std::make_pair('w', 11025)) << slot;
    EXPECT_EQ(v.written, 8820) << slot;
    EXPECT_EQ(v.calls[1].first, 'r');
    EXPECT_EQ(v.calls[2].first, 'v');
    EXPECT_EQ(v.calls[3].first, 'p');
    EXPECT_NEAR(v.calls[1].second, 44100, 5) << slot;  // both stand still
  }
  const voice_calls& near = recorded[recorded_index(engine_voices[0].sound)];
  const voice_calls& viewed = recorded[recorded_index(engine_voices[1].sound)];
  // Rider 0 competes at 8/10 with no distance loss; rider 1 is viewed
  // (full) but a gate or more away.
  EXPECT_EQ(near.calls[2].second, (int)(0.8 * 32767));
  EXPECT_GT(viewed.calls[2].second, 0);
  EXPECT_LT(viewed.calls[2].second, 32767);

  for (voice_calls& v : recorded) v = {};
  update_sound_scene(0);
  ASSERT_EQ(near.calls.size(), 4u);  // still catching up: written, then placed
  EXPECT_EQ(near.calls[2], std::make_pair('v', 0));  // master 0: silent
  EXPECT_EQ(viewed.calls[2], std::make_pair('v', 0));

  for (int i = 0; i < 160; i++) engine_voice_free_slot(i);
  audio_current_driver = nullptr;
  game_state.audio = nullptr;
  viewed_slot = race_no_slot;
  race_test_close();
  sound_tables_free();
  sound_samples_free();
}

}  // namespace
