#include "race/sound_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "platform/audio.h"
#include "race/engine_sound.h"
#include "race/game_state.h"
#include "race/listener.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "tools/testing/test_env.h"

namespace {

// A driver that records what the scene asks of it.
struct recorded_sound {
  std::vector<uint8_t> bytes;
  int clone_of = -1;
  int position = 0;
};
std::vector<recorded_sound*> sounds;
std::vector<std::string> calls;
int creates = 0;

audio_sound* rec_create(void*, int length, const uint8_t* samples, int) {
  creates++;
  recorded_sound* s = new recorded_sound;
  s->bytes.assign(samples, samples + length);
  sounds.push_back(s);
  return reinterpret_cast<audio_sound*>(s);
}
audio_sound* rec_clone(audio_sound* from) {
  recorded_sound* s = new recorded_sound(*reinterpret_cast<recorded_sound*>(from));
  sounds.push_back(s);
  calls.push_back("clone");
  return reinterpret_cast<audio_sound*>(s);
}
void rec_free(audio_sound* s) {
  for (auto& p : sounds)
    if (p == reinterpret_cast<recorded_sound*>(s)) p = nullptr;
  delete reinterpret_cast<recorded_sound*>(s);
}
int rec_call(const char* what, int v) {
  calls.push_back(std::string(what) + " " + std::to_string(v));
  return 1;
}
int rec_play(audio_sound*) { return rec_call("play", 0); }
int rec_stop(audio_sound*) { return rec_call("stop", 0); }
int rec_rate(audio_sound*, int v) { return rec_call("rate", v); }
int rec_volume(audio_sound*, int v) { return rec_call("volume", v); }
int rec_pan(audio_sound*, int v) { return rec_call("pan", v); }
int rec_loop(audio_sound*, int v) { return rec_call("loop", v); }
int rec_position(audio_sound* s) { return reinterpret_cast<recorded_sound*>(s)->position; }
int rec_write(audio_sound* s, int length, const uint8_t* bytes, int position) {
  recorded_sound* r = reinterpret_cast<recorded_sound*>(s);
  for (int i = 0; i < length; i++) r->bytes[(position + i) % r->bytes.size()] = bytes[i];
  return 1;
}
const audio_driver recording_driver = {nullptr, nullptr, nullptr, nullptr, nullptr, rec_create, rec_clone, rec_free,
                                       rec_play, rec_stop, rec_rate, rec_volume, rec_pan, rec_loop, rec_position,
                                       rec_write};

std::string write_raw(const std::string& name, const std::vector<int16_t>& samples, bool odd_byte = false) {
  const std::string path = std::string(test_root()) + "/" + name;
  std::ofstream out(path, std::ios::binary);
  for (int16_t v : samples) out.put((char)(v & 0xff)).put((char)((v >> 8) & 0xff));
  if (odd_byte) out.put('z');
  return path;
}

class SoundScene : public ::testing::Test {
 protected:
  void SetUp() override {
    audio_current_driver = &recording_driver;
    game_state.audio = &game_state;  // any non-null handle
    listener = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};
    calls.clear();
    creates = 0;
  }
  void TearDown() override {
    script_sounds_free();
    for (auto& v : engine_voices) engine_voice_free_slot((int)(&v - engine_voices));
    audio_current_driver = nullptr;
    game_state.audio = nullptr;
    for (auto* s : sounds) delete s;
    sounds.clear();
    volume = 10;
    comp_volume = 8;
  }
};

// The strongest repeat period of a signal by autocorrelation, as a
// frequency: the shortest lag whose correlation comes within 10% of the best.
double fundamental(const std::vector<float>& x, double rate, double lo_hz, double hi_hz) {
  const int min_lag = (int)(rate / hi_hz), max_lag = (int)(rate / lo_hz);
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
    if (r[lag] > best) best = r[lag];
  }
  for (int lag = min_lag + 1; lag <= max_lag; lag++)
    if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      // Parabolic peak for a fractional lag.
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
      const double den = a - 2 * b + c;
      const double shift = den != 0 ? 0.5 * (a - c) / den : 0;
      return rate / (lag + shift);
    }
  return 0;
}

// Held engine speed and torque for `seconds`; the last quarter second.
std::vector<float> hold(engine_voice* v, float rpm, float torque, double seconds) {
  std::vector<float> out;
  const int total = (int)(seconds * engine_sound_rate);
  for (int done = 0; done < total; done += 8820) {
    const int n = std::min(8820, total - done);
    engine_voice_synthesize(v, n, rpm, torque);
    for (int i = 0; i < n; i++) out.push_back(v->history[(v->write_position - n + i) & 32767]);
  }
  return std::vector<float>(out.end() - engine_sound_rate / 4, out.end());
}

TEST_F(SoundScene, HeldEngineSpeedGivesTheFiringFrequency) {
  game_state.audio = nullptr;  // synthesis needs no sound
  struct held {
    int builtin;
    float rpm;
    float firings;
  } const cases[] = {{0, 6000, 0.5f}, {0, 9000, 0.5f}, {1, 4000, 1}, {1, 11000, 1}, {2, 7000, 1}};
  for (const held& h : cases) {
    engine_voice* v = &engine_voices[0];
    load_engine_sound(v, nullptr, nullptr);
    v->definition = *engine_sound_builtin(h.builtin);
    const sound_table_cell* first = &v->definition.table->cells[0];
    for (auto& p : v->players) p = {first->samples, (uint32_t)first->sample_count, 0, 0, 0};
    const double want = h.rpm * h.firings / 60;
    const double got = fundamental(hold(v, h.rpm, 0, 1.5), engine_sound_rate, 20, 400);
    EXPECT_NEAR(got, want, want * 0.02) << h.builtin << " at " << h.rpm;
  }
}

TEST_F(SoundScene, ShippedDefinitionsFireAtTheirRate) {
  ASSERT_TRUE(race_test_make_data());
  game_state.audio = nullptr;
  struct held {
    const char* file;
    float firings;
    float rpm;
    float torque;
  } const cases[] = {{"@default250f.braap", 0.5f, 6500, 10}, {"@default450f.braap", 0.5f, 3000, 0},
                     {"@default125.braap", 1, 9000, 16}, {"@default50.braap", 1, 5000, 1}};
  for (const held& h : cases) {
    engine_voice* v = &engine_voices[0];
    load_engine_sound(v, nullptr, nullptr);
    stream* s = stream_open(h.file, "rb");
    ASSERT_NE(s, nullptr) << h.file;
    engine_sound_parse(&v->definition, s, h.file);
    stream_close(s);
    v->definition.firings_per_rev = h.firings;
    ASSERT_STRNE(v->definition.table->name, "default_four_stroke") << h.file;
    const double want = h.rpm * h.firings / 60;
    const double got = fundamental(hold(v, h.rpm, h.torque, 1.0), engine_sound_rate, 20, 400);
    EXPECT_NEAR(got, want, want * 0.02) << h.file;
  }
  sound_tables_free();
  sound_samples_free();
}

TEST_F(SoundScene, FullLoadIsFourTimesNoLoadOnTheBuiltIn) {
  game_state.audio = nullptr;
  double peak[2] = {0, 0};
  for (int load = 0; load < 2; load++) {
    engine_voice* v = &engine_voices[1];
    load_engine_sound(v, nullptr, nullptr);
    for (float s : hold(v, 7000, load ? 2.5f : -2.5f, 1.0)) peak[load] = std::max(peak[load], (double)std::fabs(s));
  }
  ASSERT_GT(peak[0], 0.01);
  EXPECT_NEAR(peak[1] / peak[0], 4.0, 1e-3);

  // Equal torque bounds cannot divide by zero: load 0.
  engine_voice* v = &engine_voices[1];
  load_engine_sound(v, nullptr, nullptr);
  v->definition.hightorque = v->definition.lowtorque;
  for (float s : hold(v, 7000, 5, 0.5)) ASSERT_TRUE(std::isfinite(s));
}

TEST_F(SoundScene, NewVoiceCatchesUpEightThousandAFrame) {
  engine_voice* v = &engine_voices[2];
  load_engine_sound(v, nullptr, nullptr);
  int play = 0;
  std::vector<int> written;
  for (int frame = 0; frame < 8; frame++) {
    const int n = engine_voice_samples_due(v->write_position, play);
    written.push_back(n);
    engine_voice_synthesize(v, n, 5000, 0);
    play = (play + 735) & 32767;  // a 60 fps frame at 44100 Hz
  }
  EXPECT_EQ(written[0], 8820);
  EXPECT_EQ(written[1], 8820);
  EXPECT_EQ(written[2], 8820);
  EXPECT_LT(written[3], 8820);
  for (int f = 4; f < 8; f++) EXPECT_EQ(written[f], 735) << f;
  EXPECT_EQ(v->write_position, (play - 735 + 4410) & 32767);
  // The new sound was made silent, looping, quiet and playing.
  ASSERT_NE(v->sound, nullptr);
  EXPECT_EQ(reinterpret_cast<recorded_sound*>(v->sound)->bytes, std::vector<uint8_t>(32768, 128));
  EXPECT_EQ(calls, (std::vector<std::string>{"loop 1", "volume 0", "play 0"}));
}

TEST_F(SoundScene, FallingEngineSpeedNeverReadsPastACell) {
  game_state.audio = nullptr;
  // Exact-size sample data: the sanitizer sees any read past a cell.
  std::vector<int16_t> shortish(37);
  for (size_t i = 0; i < shortish.size(); i++) shortish[i] = (int16_t)(i * 800 - 14000);
  const std::string raw = write_raw("short.raw", shortish, true);
  const std::string table = std::string(test_root()) + "/falling.soundtable";
  std::ofstream(table) << "SOUNDTABLE 2 1\n2000 12000\n0\n7 -1 3 " << raw << "\n-1 5 " << raw << "\n";
  const sound_table* t = sound_table_find_or_load(table.c_str());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->cells[0].sample_count, 37);  // the odd byte is ignored
  engine_voice* v = &engine_voices[4];
  load_engine_sound(v, nullptr, nullptr);
  v->definition.table = t;
  for (auto& p : v->players) p = {t->cells[0].samples, 37, 0, 0, 0};
  float rpm = 14000;
  for (int frame = 0; frame < 40; frame++, rpm *= 0.85f) {
    engine_voice_synthesize(v, 1470, rpm, 1);
    for (float s : v->history) ASSERT_TRUE(std::isfinite(s) && std::fabs(s) <= 16);
  }
  engine_voice_synthesize(v, 2000, NAN, NAN);
  for (float s : v->history) ASSERT_TRUE(std::isfinite(s));
  sound_tables_free();
  sound_samples_free();
}

TEST_F(SoundScene, PlacementByDistanceDopplerAndPan) {
  const float still[3] = {0, 0, 0};
  const float near[3] = {0.5f, 0, 0}, at49[3] = {0, 49, 0};
  EXPECT_EQ(place_sound(near, still, 1, 1, 44100).volume, 32767);
  EXPECT_EQ(place_sound(at49, still, 1, 1, 44100).volume, 16383);

  const float away[3] = {100, 0, 0}, there[3] = {10, 0, 0}, toward[3] = {100, 0, 0};
  EXPECT_NEAR(doppler_factor(there, away, still, still), 0.9123, 1e-4);
  EXPECT_NEAR(doppler_factor(there, still, still, toward), 1.0961, 1e-4);
  EXPECT_EQ(doppler_factor(still, away, still, toward), 1.0f);
  const float supersonic[3] = {1140.63f, 0, 0}, faster[3] = {2000, 0, 0}, nearly[3] = {1100, 0, 0};
  EXPECT_EQ(doppler_factor(there, still, still, supersonic), 8.0f);
  EXPECT_EQ(doppler_factor(there, still, still, faster), 8.0f);
  EXPECT_NEAR(doppler_factor(there, still, still, nearly), 8.0f, 0.01f);  // continuous where it reaches 8
  const float nan3[3] = {NAN, 0, 0};
  EXPECT_EQ(doppler_factor(there, nan3, still, still), 1.0f);
  EXPECT_EQ(doppler_factor(nan3, still, still, still), 1.0f);

  EXPECT_EQ(place_sound(still, still, 1, 1, 44100).pan, 0);
  const float right[3] = {20, 0, 0}, left[3] = {-20, 0, 0};
  EXPECT_EQ(place_sound(right, still, 1, 1, 44100).pan, 32767);
  EXPECT_EQ(place_sound(left, still, 1, 1, 44100).pan, -32767);
  listener.orientation[0] = -1;  // turned round: the right axis points along -x
  EXPECT_LT(place_sound(right, still, 1, 1, 44100).pan, 0);
  EXPECT_EQ(place_sound(right, still, 1, 1, 0).rate, 100);
  EXPECT_EQ(place_sound(right, supersonic, 1, 1, 1e9f).rate, 1000000);

  viewed_slot = 5;
  EXPECT_FLOAT_EQ(engine_slot_gain(5, 1, 0), 1.0f);
  EXPECT_FLOAT_EQ(engine_slot_gain(6, 1, 0), 0.8f);
  EXPECT_FLOAT_EQ(engine_slot_gain(5, 1, 1), 0.0f);
  EXPECT_FLOAT_EQ(engine_slot_gain(6, 0, 0), 0.0f);
  EXPECT_EQ(place_sound(near, still, 1, engine_slot_gain(5, 0, 0), 44100).volume, 0);
  viewed_slot = 160;
}

TEST_F(SoundScene, ScriptSounds) {
  const std::string horn = write_raw("horn.raw", {-32768, -1, 0, 32767}, true);
  write_raw("empty.raw", {});
  const std::string one = std::string(test_root()) + "/one.raw";
  std::ofstream(one) << "x";
  const int first = script_sound_load(horn.c_str());
  ASSERT_EQ(first, 0);
  EXPECT_EQ(creates, 1);
  EXPECT_EQ(reinterpret_cast<recorded_sound*>(script_sounds[0].sound)->bytes, (std::vector<uint8_t>{0, 127, 128, 255}));
  std::remove(horn.c_str());  // the second load reads no file
  EXPECT_EQ(script_sound_load(horn.c_str()), 1);
  EXPECT_EQ(creates, 1);
  EXPECT_EQ(calls[2], "clone");
  for (const std::string& bad : {std::string("nosuch.raw"), std::string(test_root()) + "/empty.raw", one})
    EXPECT_EQ(script_sound_load(bad.c_str()), -1) << bad;
  EXPECT_EQ(script_sound_count, 2);

  calls.clear();
  const float pos[3] = {0, 49, 0}, vel[3] = {0, 0, 0}, bad3[3] = {0, NAN, 0};
  EXPECT_EQ(script_sound_set_freq(1, 22050), 1);
  EXPECT_EQ(script_sound_set_volume(1, 1), 1);
  EXPECT_EQ(script_sound_set_position(1, pos), 1);
  EXPECT_EQ(script_sound_set_velocity(1, vel), 1);
  EXPECT_EQ(script_sound_set_freq(1, NAN), 0);
  EXPECT_EQ(script_sound_set_volume(1, INFINITY), 0);
  EXPECT_EQ(script_sound_set_position(1, bad3), 0);
  EXPECT_EQ(script_sounds[1].frequency, 22050);
  EXPECT_EQ(script_sounds[1].position[1], 49);
  for (int index : {-1, 2}) {
    EXPECT_EQ(script_sound_start(index), 0);
    EXPECT_EQ(script_sound_stop(index), 0);
    EXPECT_EQ(script_sound_set_loop(index, 1), 0);
    EXPECT_EQ(script_sound_set_freq(index, 1), 0);
    EXPECT_EQ(script_sound_set_volume(index, 1), 0);
    EXPECT_EQ(script_sound_set_position(index, pos), 0);
    EXPECT_EQ(script_sound_set_velocity(index, vel), 0);
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(script_sound_set_loop(1, 7), 1);
  EXPECT_EQ(script_sound_start(1), 1);

  calls.clear();
  update_sound_scene(1);
  // Sound 0 has frequency 0 (clamped to 100 Hz) and volume 0; sound 1 at
  // 49 ft: half of the competitor volume. Rate, volume, pan in that order.
  EXPECT_EQ(calls, (std::vector<std::string>{"rate 100", "volume 0", "pan 0", "rate 22050", "volume 13106", "pan 0"}));
  calls.clear();
  update_sound_scene(0);
  EXPECT_EQ(calls[4], "volume 0");

  while (script_sound_count < 256) ASSERT_GE(script_sound_load(write_raw("horn.raw", {1, 2}).c_str()), 0);
  EXPECT_EQ(script_sound_load(write_raw("horn.raw", {1, 2}).c_str()), -1);
  script_sounds_free();
  EXPECT_EQ(script_sound_count, 0);
  EXPECT_EQ(script_sound_start(0), 0);
}

}  // namespace
