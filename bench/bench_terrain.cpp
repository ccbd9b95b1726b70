// Terrain queries and the LOD refresh. terrain_height is asked many times a
// tick (wheels, particles, objects); the budgeted refresh runs once a frame,
// so its figure against a 1/60 s frame says how much of a frame it takes.
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>

#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"

static height_field field;

static void make_field(int n) {
  terrain_create(&field, n, 4.0f);
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++)
      field.heights[i + field.size * j] = 10.0f * std::sin(i * 0.05f) * std::cos(j * 0.07f);
}

static void bm_terrain_height(benchmark::State& state) {
  make_field(7);
  float x = 0.37f, z = 0.91f, sum = 0.0f;
  for (auto _ : state) {
    sum += terrain_height(&field, x, z);
    x += 3.3f;
    z += 1.7f;
    if (x > field.extent) x -= field.extent;
    if (z > field.extent) z -= field.extent;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
  free_terrain(&field);
}
BENCHMARK(bm_terrain_height);

// One frame's refresh of 8000 units; the counter is that time as a share of
// a 60 Hz frame.
static void bm_lod_frame(benchmark::State& state) {
  make_field(static_cast<int>(state.range(0)));
  terrain_lod_refresh(&field, INT_MAX);
  for (auto _ : state) {
    if (terrain_lod_refresh(&field, 8000)) field.edit_count++;
  }
  state.counters["share_of_60Hz_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 60.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  free_terrain(&field);
}
BENCHMARK(bm_lod_frame)->Arg(7)->Arg(9);

BENCHMARK_MAIN();
