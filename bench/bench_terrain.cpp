// Terrain queries and the LOD refresh. terrain_height is asked many times a
// tick (wheels, particles, objects); the budgeted refresh runs once a frame,
// so its figure against a 1/60 s frame says how much of a frame it takes.
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>

#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"
#include "terrain/tiles.h"

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

// One frame of the erode phase with `n` entries waiting: a whole budget of
// digs and deposits on the game's terrain (2180 entries with the ring full).
// The counter is that time as a share of a 60 Hz frame.
static void bm_erode_queue_budget(benchmark::State& state) {
  const int32_t waiting = static_cast<int32_t>(state.range(0));
  terrain_create(&track_field, 9, 4.0f);
  for (int j = 0; j < track_field.size; j++)
    for (int i = 0; i < track_field.size; i++)
      track_field.heights[i + track_field.size * j] = 10.0f * std::sin(i * 0.05f) * std::cos(j * 0.07f);
  tileinfo_description* d = new tileinfo_description;
  tileinfo_reset_tile(d);
  track_field.tile_params[0] = d->params;
  track_field.tile_params[0].erode_limit_count = 1;
  track_field.tile_params[0].erode_limit_outer[0] = 1.0f;
  track_field.tile_params[0].erode_limit_inner[0] = 1.0f;
  delete d;
  erode_queue_reset();

  // Strokes of 64 points a unit apart, pushing along +x, spread over the field.
  rut_point points[rut_stroke_points];
  uint8_t message[rut_message_max_bytes];
  int32_t row = 0;
  auto top_up = [&]() {
    while (erode_queue.count < waiting) {
      const float x0 = 100.0f + (float)((row * 97) % 1800), z = 100.0f + (float)((row * 31) % 1800);
      for (int i = 0; i < rut_stroke_points; i++) points[i] = {x0 + (float)i, z, 0.9f, 0.2f, 7};
      const float low[2] = {1.0f, 0.0f}, high[2] = {1.0f, 0.0f};
      erode_queue_add_stroke(message, rut_message_encode(points, rut_stroke_points, low, high, track_field.extent, message));
      row++;
    }
  };
  int64_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    top_up();
    const int32_t before = erode_queue.count;
    state.ResumeTiming();
    erode_queue_process(nullptr, 1.0f);
    entries += before - erode_queue.count;
  }
  state.SetItemsProcessed(entries);
  state.counters["share_of_60Hz_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 60.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  erode_queue_reset();
  free_terrain(&track_field);
}
BENCHMARK(bm_erode_queue_budget)->Arg(64)->Arg(8192)->Arg(erode_queue_size);

BENCHMARK_MAIN();
