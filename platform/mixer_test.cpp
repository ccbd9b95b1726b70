#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct test_mixer {
  std::vector<uint8_t> out;
  std::vector<int> left, right;
  mixer m;
  test_mixer(int rate, int samples, bool stereo, int voices) {
    out.assign(static_cast<size_t>(samples) * (stereo ? 2 : 1), 0);
    left.assign(static_cast<size_t>(samples), 0);
    right.assign(static_cast<size_t>(samples), 0);
    m = mixer{out.data(), left.data(), stereo ? right.data() : nullptr, voices, stereo ? 1 : 0, rate, samples, 0};
  }
  std::vector<uint8_t> mix() {
    mixer_mix_fragment(&m);
    return out;
  }
};

mixer_sound* make(test_mixer& t, const std::vector<uint8_t>& bytes, int rate = 0) {
  return mixer_sound_create(&t.m, static_cast<int>(bytes.size()), bytes.data(), rate);
}

uint8_t g(int level, int sample) { return static_cast<uint8_t>(mixer_gain(level, sample) + 128); }

std::vector<uint8_t> block_of(const mixer_sound* s) {
  return std::vector<uint8_t>(s->block->bytes, s->block->bytes + s->block->length);
}

TEST(Mixer, GainTableEnds) {
  EXPECT_EQ(mixer_gain(31, 255), 122);
  EXPECT_EQ(mixer_gain(31, 0), -123);
  EXPECT_EQ(mixer_gain(31, 129), 0);
  EXPECT_EQ(mixer_gain(31, 127), 0);
  EXPECT_EQ(mixer_gain(31, 128), 0);
  EXPECT_EQ(mixer_gain(15, 200), 71 * 15 / 32);
  EXPECT_EQ(mixer_gain(15, 56), -(71 * 15 / 32));
}

TEST(Mixer, ResamplingPicksSamples) {
  test_mixer t(22050, 64, false, 16);
  std::vector<uint8_t> in(1000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7);

  mixer_sound* up = make(t, in, 11025);
  ASSERT_NE(up, nullptr);
  ASSERT_EQ(up->block->length, 2000);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(up->block->bytes[i], in[static_cast<size_t>(i / 2)]) << i;

  mixer_sound* down = make(t, in, 33075);  // 1000 * 22050 / 33075 = 666
  ASSERT_NE(down, nullptr);
  ASSERT_EQ(down->block->length, 666);
  for (int i = 0; i < 666; ++i) ASSERT_EQ(down->block->bytes[i], in[static_cast<size_t>(i * 1000 / 666)]) << i;

  mixer_sound* same = make(t, in, 0);
  EXPECT_EQ(block_of(same), in);
  EXPECT_EQ(same->rate, 22050);
  EXPECT_EQ(same->volume, 0x7FFF);
  EXPECT_EQ(same->left.level, 31);  // mono: the one side takes the whole level

  mixer_sound_free(up);
  mixer_sound_free(down);
  mixer_sound_free(same);
}

TEST(Mixer, CreationRefusesEmptyResultsAndDoesNotOverflow) {
  test_mixer t(22050, 64, true, 16);
  std::vector<uint8_t> one(1, 200);
  EXPECT_EQ(make(t, one, 44100), nullptr);  // resamples to 0 bytes
  EXPECT_EQ(mixer_sound_create(&t.m, 0, one.data(), 0), nullptr);
  EXPECT_EQ(mixer_sound_create(&t.m, -5, one.data(), 0), nullptr);

  // 200000 x 22050 does not fit in 32 bits.
  std::vector<uint8_t> big(200000, 77);
  mixer_sound* s = make(t, big, 11025);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->block->length, 400000);
  EXPECT_EQ(s->left.level, 15);
  EXPECT_EQ(s->right.level, 15);
  mixer_sound_free(s);
}

TEST(Mixer, WriteIsARing) {
  test_mixer t(22050, 64, false, 16);
  mixer_sound* s = make(t, std::vector<uint8_t>(100, 0));
  ASSERT_NE(s, nullptr);

  struct write_case {
    int length, position;
    std::vector<uint8_t> expect;  // the whole block afterwards, from zeros
  };
  std::vector<uint8_t> src(150);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i + 1);

  std::vector<uint8_t> ring(100, 0);
  for (int i = 0; i < 10; ++i) ring[static_cast<size_t>((95 + i) % 100)] = src[static_cast<size_t>(i)];
  // 150 bytes at 10: the last 100 land from position 60 on.
  std::vector<uint8_t> over(100, 0);
  for (int i = 0; i < 100; ++i) over[static_cast<size_t>((60 + i) % 100)] = src[static_cast<size_t>(50 + i)];
  std::vector<uint8_t> far(100, 0);
  for (int i = 0; i < 3; ++i) far[static_cast<size_t>(50 + i)] = src[static_cast<size_t>(i)];

  const write_case cases[] = {
      {10, 95, ring},
      {150, 10, over},
      {3, 1050, far},
  };
  for (const write_case& c : cases) {
    std::fill(s->block->bytes, s->block->bytes + 100, 0);
    EXPECT_EQ(mixer_write(s, c.length, src.data(), c.position), 1);
    EXPECT_EQ(block_of(s), c.expect) << c.length << " at " << c.position;
  }
  EXPECT_EQ(mixer_write(s, -1, src.data(), 0), 0);
  mixer_sound_free(s);
}

TEST(Mixer, PlaysAtFullLevelAndStopsAtTheEnd) {
  test_mixer t(22050, 8, false, 16);
  mixer_sound* s = make(t, {200, 60, 255, 0, 140, 100});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(mixer_get_position(s), 0);
  mixer_play(s);
  EXPECT_EQ(mixer_get_position(s), 0);  // restart pending
  const std::vector<uint8_t> want = {g(31, 200), g(31, 60), g(31, 255), g(31, 0), g(31, 140), g(31, 100), 128, 128};
  EXPECT_EQ(t.mix(), want);
  EXPECT_FALSE(s->flags & MIXER_PLAYING);
  EXPECT_EQ(mixer_get_position(s), 0);
  EXPECT_EQ(mixer_left_lists[31], nullptr);
  EXPECT_EQ(t.mix(), std::vector<uint8_t>(8, 128));
  mixer_sound_free(s);
}

TEST(Mixer, PositionAndExplicitStop) {
  test_mixer t(22050, 4, true, 16);
  mixer_sound* s = make(t, {200, 200, 200, 200, 200, 200, 60, 60, 60, 60});
  mixer_play(s);
  t.mix();
  EXPECT_EQ(mixer_get_position(s), 4);
  EXPECT_EQ(s->right.position, s->left.position);
  mixer_stop(s);
  // A stop fades out at the next midpoint crossing and unlinks at the end
  // of the fragment.
  const std::vector<uint8_t> want = {g(15, 200), g(15, 200), g(15, 200), g(15, 200), 128, 128, 128, 128};
  EXPECT_EQ(t.mix(), want);
  EXPECT_FALSE(s->flags & MIXER_PLAYING);
  EXPECT_EQ(mixer_get_position(s), 0);
  mixer_sound_free(s);
}

TEST(Mixer, PitchSteppingUsesTheFixedPointFraction) {
  // 1.5x: the fraction step 2 x 11025 x floor(2^31 / 22050) falls just short
  // of one half, so the carry comes one sample late.
  test_mixer t(22050, 8, false, 16);
  std::vector<uint8_t> ramp(40);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(130 + 3 * i);
  mixer_sound* s = make(t, ramp);
  mixer_set_rate(s, 33075);
  mixer_play(s);
  const int picks[] = {0, 1, 2, 4, 5, 7, 8, 10};
  std::vector<uint8_t> want;
  for (int p : picks) want.push_back(g(31, ramp[static_cast<size_t>(p)]));
  EXPECT_EQ(t.mix(), want);
  EXPECT_EQ(mixer_get_position(s), 11);
  EXPECT_EQ(mixer_set_rate(s, -1), 0);
  EXPECT_EQ(s->rate, 33075);
  mixer_sound_free(s);
}

TEST(Mixer, ShortLoopWrapsByModulo) {
  test_mixer t(22050, 6, false, 16);
  mixer_sound* s = make(t, {200, 40});
  mixer_set_loop(s, 1);
  mixer_set_rate(s, 22050 * 5);  // five bytes a sample on a two-byte sound
  mixer_play(s);
  const std::vector<uint8_t> want = {g(31, 200), g(31, 40), g(31, 200), g(31, 40), g(31, 200), g(31, 40)};
  EXPECT_EQ(t.mix(), want);
  EXPECT_TRUE(s->flags & MIXER_PLAYING);
  // Silent (volume 0): the skip wraps too.
  mixer_set_volume(s, 0);
  t.mix();
  t.mix();
  EXPECT_LT(mixer_get_position(s), 2);
  mixer_sound_free(s);
}

TEST(Mixer, VolumeChangeWaitsForTheMidpointCrossing) {
  test_mixer t(22050, 6, false, 16);
  // After the first fragment: three more above the midpoint, then below.
  mixer_sound* s = make(t, {200, 200, 200, 200, 200, 200, 210, 220, 230, 50, 60, 70, 80, 90, 100, 110, 120, 125});
  mixer_play(s);
  t.mix();
  mixer_set_volume(s, 0x4000);  // level 31 -> 15
  EXPECT_EQ(s->left.level, 15);
  const std::vector<uint8_t> want = {g(31, 210), g(31, 220), g(31, 230), g(15, 50), g(15, 60), g(15, 70)};
  EXPECT_EQ(t.mix(), want);
  EXPECT_EQ(s->left.gain, 15);
  mixer_sound_free(s);
}

TEST(Mixer, ConstantMidpointNeverSwitchesWithinAFragment) {
  test_mixer t(22050, 4, false, 16);
  // 128 is on the upper side: it is no crossing, so the old gain goes on.
  std::vector<uint8_t> bytes = {200, 200, 200, 200, 128, 128, 200, 200, 60, 70, 80, 90};
  mixer_sound* s = make(t, bytes);
  mixer_play(s);
  t.mix();
  mixer_set_volume(s, 0x4000);
  const std::vector<uint8_t> old_gain = {128, 128, g(31, 200), g(31, 200)};
  EXPECT_EQ(t.mix(), old_gain);
  EXPECT_EQ(mixer_get_position(s), 8);
  const std::vector<uint8_t> want = {g(15, 60), g(15, 70), g(15, 80), g(15, 90)};
  EXPECT_EQ(t.mix(), want);
  mixer_sound_free(s);
}

TEST(Mixer, RestartOfAPlayingSoundWaitsForTheCrossing) {
  test_mixer t(22050, 6, false, 16);
  mixer_sound* s = make(t, {10, 20, 30, 40, 200, 210, 220, 230, 100, 100});
  mixer_play(s);
  t.mix();  // position 6, on 220
  mixer_play(s);
  const std::vector<uint8_t> want = {g(31, 220), g(31, 230), g(31, 10), g(31, 20), g(31, 30), g(31, 40)};
  EXPECT_EQ(t.mix(), want);
  EXPECT_EQ(mixer_get_position(s), 4);
  mixer_sound_free(s);
}

TEST(Mixer, OneVoiceHearsOnlyTheFirstLinkedSide) {
  test_mixer t(22050, 4, true, 1);
  mixer_sound* a = make(t, {200, 60, 200, 60, 200, 60, 200, 60, 200, 60, 200, 60});
  mixer_sound* b = make(t, {230, 30, 230, 30, 230, 30, 230, 30, 230, 30, 230, 30});
  mixer_play(a);
  mixer_play(b);  // linked at the head of both level-15 lists
  const std::vector<uint8_t> want = {g(15, 230), 128, g(15, 30), 128, g(15, 230), 128, g(15, 30), 128};
  EXPECT_EQ(t.mix(), want);
  EXPECT_EQ(mixer_get_position(a), 4);  // silent sides still advance
  EXPECT_EQ(mixer_get_position(b), 4);
  EXPECT_EQ(a->right.position, a->left.position);

  // With two voices both sides of b are heard, and a stays silent.
  t.m.voices = 2;
  const std::vector<uint8_t> both = {g(15, 230), g(15, 230), g(15, 30), g(15, 30),
                                     g(15, 230), g(15, 230), g(15, 30), g(15, 30)};
  EXPECT_EQ(t.mix(), both);
  mixer_sound_free(a);
  mixer_sound_free(b);
  EXPECT_EQ(mixer_left_lists[15], nullptr);
  EXPECT_EQ(mixer_right_lists[15], nullptr);
}

TEST(Mixer, PanMovesLevelsBetweenSides) {
  test_mixer t(22050, 4, true, 16);
  mixer_sound* s = make(t, {200, 200, 200, 200});
  struct pan_case {
    int pan, want_pan, left, right;
  };
  const pan_case cases[] = {
      {0, 0, 15, 15},          {-0x8000, -0x8000, 31, 0}, {-0x9000, -0x8000, 31, 0},
      {0x7FFF, 0x7FFF, 0, 31}, {0x9000, 0x7FFF, 0, 31},   {0x4000, 0x4000, 7, 23},
  };
  for (const pan_case& c : cases) {
    mixer_set_pan(s, c.pan);
    EXPECT_EQ(s->pan, c.want_pan);
    EXPECT_EQ(s->left.level, c.left) << c.pan;
    EXPECT_EQ(s->right.level, c.right) << c.pan;
  }
  mixer_set_pan(s, -0x8000);
  mixer_play(s);
  const std::vector<uint8_t> want = {g(31, 200), 128, g(31, 200), 128, g(31, 200), 128, g(31, 200), 128};
  EXPECT_EQ(t.mix(), want);
  mixer_sound_free(s);
}

TEST(Mixer, CloneSharesSamplesAndPlaysOnItsOwn) {
  test_mixer t(22050, 4, false, 16);
  mixer_sound* s = make(t, {200, 210, 220, 230, 240, 250});
  mixer_set_loop(s, 1);
  mixer_set_volume(s, 0x4000);
  mixer_play(s);
  t.mix();
  mixer_sound* c = mixer_sound_clone(s);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->block, s->block);
  EXPECT_EQ(s->block->refs, 2);
  EXPECT_EQ(c->flags & (MIXER_PLAYING | MIXER_RESTART | MIXER_STOP), 0);
  EXPECT_TRUE(c->flags & MIXER_LOOP);
  EXPECT_EQ(c->left.level, 15);
  EXPECT_EQ(c->left.gain, 0);
  EXPECT_EQ(c->left.position, s->left.position);
  mixer_sound_free(s);
  EXPECT_EQ(c->block->refs, 1);
  mixer_play(c);
  const std::vector<uint8_t> want = {g(15, 200), g(15, 210), g(15, 220), g(15, 230)};
  EXPECT_EQ(t.mix(), want);
  mixer_sound_free(c);
}

TEST(Mixer, SixteenBitOutput) {
  test_mixer t(22050, 2, false, 16);
  std::vector<uint8_t> out16(4);
  t.m.output = out16.data();
  t.m.bits16 = 1;
  mixer_sound* s = make(t, {0, 255});
  mixer_play(s);
  mixer_mix_fragment(&t.m);
  int16_t w[2];
  std::memcpy(w, out16.data(), 4);
  EXPECT_EQ(w[0], -123 * 256);
  EXPECT_EQ(w[1], 122 * 256);
  mixer_sound_free(s);
}

}  // namespace
