// Terrain queries, the LOD refresh and the ground compositor. terrain_height
// is asked many times a tick (wheels, particles, objects); the LOD refresh
// and the compositor run once a frame, so their figures are given as a
// share of a 1/60 s frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

#include "terrain/erode_queue.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_edit.h"
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

// Wall time of the timed loop, for figures per frame rather than per
// iteration.
static double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds per unit of work as a share of a 60 Hz frame (1 = a whole frame).
static void report_share(benchmark::State& state, double seconds, double units, const char* name) {
  state.counters[name] = benchmark::Counter(units > 0 ? seconds / units * 60.0 : 0.0);
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

// One frame's refresh of 8000 units.
static void bm_lod_frame(benchmark::State& state) {
  make_field(static_cast<int>(state.range(0)));
  terrain_lod_refresh(&field, INT_MAX);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (terrain_lod_refresh(&field, 8000)) field.edit_count++;
  }
  report_share(state, seconds_since(start), (double)state.iterations(), "share_of_60Hz_frame");
  free_terrain(&field);
}
BENCHMARK(bm_lod_frame)->Arg(7)->Arg(9);

// One frame of the erode phase with `n` entries waiting: a whole budget of
// digs and deposits on the game's terrain (2180 entries with the ring full).
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
  double seconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    top_up();
    const int32_t before = erode_queue.count;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    erode_queue_process(nullptr, 1.0f);
    seconds += seconds_since(start);
    entries += before - erode_queue.count;
  }
  state.SetItemsProcessed(entries);
  report_share(state, seconds, (double)state.iterations(), "share_of_60Hz_frame");
  erode_queue_reset();
  free_terrain(&track_field);
}
BENCHMARK(bm_erode_queue_budget)->Arg(64)->Arg(8192)->Arg(erode_queue_size);

// A whole LOD pass without a budget, as rebuild_terrain_lod runs it.
static void bm_lod_full_rebuild(benchmark::State& state) {
  make_field(static_cast<int>(state.range(0)));
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    field.edit_count++;
    terrain_lod_refresh(&field, INT_MAX);
  }
  report_share(state, seconds_since(start), (double)state.iterations(), "share_of_60Hz_frame");
  free_terrain(&field);
}
BENCHMARK(bm_lod_full_rebuild)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);

// A rider's rut dug as the erode queue digs it (a dig two vertices in
// radius) and the budgeted frames that bring the LOD data up to date after
// it: frames_behind is how many frames the data trails the dig (1: the
// next frame has it), rut_refresh_ms the wall time of those frames' LOD
// work, and share_of_full_rebuild that time over a whole pass of the same
// field measured in the same run.
static void bm_lod_after_rut(benchmark::State& state) {
  make_field(static_cast<int>(state.range(0)));
  terrain_lod_refresh(&field, INT_MAX);
  double full = 0;
  for (int k = 0; k < 3; k++) {
    const auto t0 = std::chrono::steady_clock::now();
    field.edit_count++;
    terrain_lod_refresh(&field, INT_MAX);
    full += seconds_since(t0);
  }
  full /= 3;
  int frames = 0, passes = 0, stroke = 0;
  double seconds = 0;
  for (auto _ : state) {
    const float x = field.spacing * (float)(40 + (stroke * 7) % (field.size - 80));
    const float z = field.spacing * (float)(40 + (stroke * 13) % (field.size - 80));
    stroke++;
    terrain_dig(&field, x, z, 2.0f * field.spacing, -0.1f);
    const auto t0 = std::chrono::steady_clock::now();
    do frames++;
    while (!terrain_lod_refresh(&field, 8000));
    seconds += seconds_since(t0);
    passes++;
  }
  state.counters["frames_behind"] = benchmark::Counter((double)frames / passes);
  state.counters["rut_refresh_ms"] = benchmark::Counter(seconds / passes * 1000.0);
  state.counters["full_rebuild_ms"] = benchmark::Counter(full * 1000.0);
  state.counters["share_of_full_rebuild"] = benchmark::Counter(seconds / passes / full);
  free_terrain(&field);
}
BENCHMARK(bm_lod_after_rut)->Arg(8)->Arg(10)->Unit(benchmark::kMillisecond);

// Recompositing one dirty region on the processor (mode 1): a block of 64 x
// 64 tiles or a level-2 LOD slot of 4 x 4 tiles, at 128 texels a side, with
// three speckled tile images and the shading.
static void bm_compose_region(benchmark::State& state) {
  make_field(7);
  field.block_size = 128;
  field.tile_count = 3;
  std::vector<std::vector<uint8_t>> images(3);
  for (int t = 0; t < 3; t++) {
    images[t].assign((size_t)128 * 128 * 4 * 2, 0);  // room for the chain
    for (size_t k = 0; k < images[t].size(); k++) images[t][k] = (uint8_t)((k * 2654435761u >> 13) + t * 50);
    field.tile_image_pixels[t] = images[t].data();
    field.tile_image_width[t] = field.tile_image_height[t] = 128;
  }
  for (int k = 0; k < (1 << 14); k++) field.tilemap[k] = (uint8_t)((k / 5 + k / 128) % 3);
  refresh_terrain_normals(&field);
  const int size = static_cast<int>(state.range(0));
  std::vector<uint8_t> out((size_t)128 * 128 * 3);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(ground_compose_region(&field, 0, 0, size, out.data()));
  report_share(state, seconds_since(start), (double)state.iterations(), "share_of_60Hz_frame");
  for (auto& p : field.tile_image_pixels) p = nullptr;
  free_terrain(&field);
}
BENCHMARK(bm_compose_region)->Arg(64)->Arg(4)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
