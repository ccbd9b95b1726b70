// Can the game pose every rider from its state history each tick? Each
// iteration packs 160 riders, as demo recording and the network sender do,
// and brings 160 shown (inactive) riders to an interpolated pose with
// velocities from the poses around it, as replayed and remote riders are.
// "budget_share" is the time of one iteration over the 1/128 s tick;
// "x_realtime" is iterations per second over the 128 a second the game needs.
#include <benchmark/benchmark.h>
#include <math.h>
#include <string.h>

#include "bike/packed_pose.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

enum { bench_riders = 160, bench_poses = 16 };

static void open_track() {
  dynamics_open();
  rider_table_init();
  terrain_reset(&track_field);
  terrain_create(&track_field, 8, 1.0f);
  const int r = track_field.size;
  for (int k = 0; k < r; k++)
    for (int i = 0; i < r; i++)
      track_field.heights[i + r * k] = 10.0f + 0.5f * sinf(i * 0.05f) * cosf(k * 0.04f);
  memcpy(track_field.base_heights, track_field.heights, sizeof(float) * r * r);
}

static void close_track() {
  for (rider& r : rider_table) rider_destroy(&r);
  rider_table_init();
  free_terrain(&track_field);
  terrain_reset(&track_field);
  dynamics_close();
}

static void bm_pose_tick(benchmark::State& state) {
  open_track();
  // Each rider's recorded poses: its bike moving along a curve, leaning,
  // steering and turning its wheels.
  static packed_pose poses[bench_riders][bench_poses];
  rider* riders[bench_riders];
  for (int i = 0; i < bench_riders; i++) {
    rider* r = rider_create("cr125", i, 0, "1", nullptr, nullptr, nullptr, nullptr);
    if (!r) {
      state.SkipWithError("rider_create failed");
      close_track();
      return;
    }
    riders[i] = r;
    const float x = 40 + (i % 14) * 30.0f, z = 450 - (i / 14) * 30.0f;
    for (int k = 0; k < bench_poses; k++) {
      rider_reset(r);
      rider_rotate(r, 0, 1, 0, 0.02f * k);
      rider_translate(r, x + 0.5f * k, terrain_height(&track_field, x, z) + 1, z - 2.0f * k);
      r->throttle = 0.5f + 0.03f * k;
      r->engine_speed = 600 + 20.0f * k;
      rider_pack_pose(r, &poses[i][k]);
      poses[i][k].bytes[17] = (uint8_t)(100 + 3 * k);
      poses[i][k].bytes[34] = (uint8_t)(40 * k);
      poses[i][k].bytes[35] = (uint8_t)(37 * k);
    }
    rider_deactivate(r);
  }

  int tick = 0;
  packed_pose packed, shown;
  for (auto _ : state) {
    tick++;
    for (int i = 0; i < bench_riders; i++) {
      rider_pack_pose(riders[i], &packed);
      benchmark::DoNotOptimize(packed);
    }
    const int k = 1 + tick % (bench_poses - 2);
    const double t = (tick % 4) / 4.0;
    for (int i = 0; i < bench_riders; i++) {
      interpolate_packed_state(&shown, &poses[i][k], &poses[i][k + 1], t);
      rider_apply_packed_pose(riders[i], &shown, &poses[i][k - 1], &poses[i][k + 1], 8, 5);
    }
  }
  const double per_tick = 1.0 / 128;
  state.counters["x_realtime"] = benchmark::Counter((double)state.iterations() / 128.0, benchmark::Counter::kIsRate);
  state.counters["budget_share"] =
      benchmark::Counter((double)state.iterations() * per_tick,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  close_track();
}
BENCHMARK(bm_pose_tick)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
