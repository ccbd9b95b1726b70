// Can the sound scene keep up with 160 engines? Each iteration is one
// 60 fps frame of the scene's work per voice: 735 samples synthesised
// (16 pipe taps and four players a sample), turned into bytes and placed
// around the listener. Half the voices are four-strokes, half two-strokes,
// each at its own engine speed, so the firings fall at different samples.
// "audio_seconds_per_wall_second" is how many seconds of sound every voice
// gets per second of one core: at least 4 leaves the frame room to draw.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "race/engine_sound.h"
#include "race/sound_scene.h"

static void BM_sound_scene(benchmark::State& state) {
  const int voices = (int)state.range(0);
  for (int i = 0; i < voices; i++) {
    load_engine_sound(&engine_voices[i], nullptr, nullptr);
    engine_voices[i].definition = *engine_sound_builtin(i % 2);
  }
  static uint8_t bytes[engine_voice_ring];
  const int n = 735;
  const float still[3] = {0, 0, 0};
  double wall = 0;
  int frame = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < voices; i++) {
      const float rpm = 3000.0f + 60.0f * i + 20.0f * (frame % 50);
      engine_voice_synthesize(&engine_voices[i], n, rpm, (float)(i % 5) - 2);
      engine_voice_bytes(&engine_voices[i], n, bytes);
      const float at[3] = {(float)i, 0, 30};
      benchmark::DoNotOptimize(place_sound(at, still, 1, 0.8f, engine_sound_rate));
    }
    benchmark::DoNotOptimize(bytes);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    frame++;
  }
  state.counters["audio_seconds_per_wall_second"] = frame * (n / (double)engine_sound_rate) / wall;
}
BENCHMARK(BM_sound_scene)->Arg(1)->Arg(40)->Arg(160)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
