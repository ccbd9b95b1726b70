// The editor's undo ring on a 1025 x 1025 field: a commit after a
// brush-sized edit (64 x 64 cells) and an undo, each as a share of a 60 Hz
// frame (1 = a whole frame), since both happen between two frames. Then,
// on the sample track with the panel's defaults but Radius 128 and Zoom -1
// (the widest brush), one application of every brush and of the tile
// brush, each as a share of a 60 Hz frame; and Smooth at S = 32 with its
// running row sums against the same step summing every disc in full.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "bench/race_data.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/height_brush.h"
#include "editor/tilemap_paint.h"
#include "race/menu_screen.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

static height_field field;

static void set_up() {
  terrain_create(&field, 9, 1.0f);
  for (int j = 0; j < field.size; j++)
    for (int i = 0; i < field.size; i++)
      field.heights[i + field.size * j] = 10.0f * std::sin(i * 0.05f) * std::cos(j * 0.07f);
  editor_load_edinfo(&field);
}

static void tear_down() {
  editor_free();
  free_terrain(&field);
}

// A brush-sized stroke through the cell writer, as the height brushes do.
static void brush_edit(float amount) {
  for (int j = 480; j < 544; j++)
    for (int i = 480; i < 544; i++) editor_set_height(&field, i, j, field.heights[i + field.size * j] + amount);
  editor.pending = 1;
}

static void bm_commit(benchmark::State& state) {
  set_up();
  double seconds = 0;
  float amount = 0.5f;
  for (auto _ : state) {
    state.PauseTiming();
    brush_edit(amount);
    amount = -amount;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    undo_commit();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["share_of_60Hz_frame"] = seconds / (double)state.iterations() * 60.0;
  tear_down();
}
BENCHMARK(bm_commit)->Unit(benchmark::kMillisecond);

static void bm_undo(benchmark::State& state) {
  set_up();
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    brush_edit(0.5f);
    undo_commit();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    undo_step();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["share_of_60Hz_frame"] = seconds / (double)state.iterations() * 60.0;
  tear_down();
}
BENCHMARK(bm_undo)->Unit(benchmark::kMillisecond);

static height_field sample;

// The sample terrain taken over by the editor, the mouse over the middle
// of the map, a gradient along x selected for the gradient brushes.
static bool open_sample() {
  bench_default_data_root();
  if (!sample.heights && load_terrain(&sample, "@quarrybend", 1) != 1) return false;
  editor_items_reset();
  editor_load_edinfo(&sample);
  menu_screen = {640, 480, 320, 240};
  editor_radius = 128;
  editor_zoom = -1;
  editor.centre_x = editor.centre_z = sample.extent / 2;
  gradient g{};
  g.start_x = sample.extent / 2 - 100;
  g.start_z = sample.extent / 2;
  g.end_x = sample.extent / 2 + 100;
  g.end_z = sample.extent / 2;
  growable_array_init(&g.points, sizeof(gradient_point), 4);
  growable_array_init(&g.types, 1, 4);
  const gradient_point points[3] = {{0, 0}, {100, 6}, {200, 0}};
  const uint8_t curve = 1;
  for (const gradient_point& p : points) {
    growable_array_append(&g.points, &p);
    growable_array_append(&g.types, &curve);
  }
  growable_array_append(&editor.gradients, &g);
  editor.selected_gradient = 0;
  return true;
}

static void close_sample() { editor_free(); }

// One application per iteration; the mouse steps a little each time so
// that strokes run as segments, and Smudge always has moved.
static void bm_brush(benchmark::State& state) {
  if (!open_sample()) {
    state.SkipWithError("no sample track");
    return;
  }
  editor.mode = (int)state.range(0);
  double seconds = 0;
  int k = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const float x = sample.extent / 2 + (float)(k++ % 40) * 2.0f;
    editor.centre_x = x;
    editor.smudge_anchor[0] = x - 3;
    editor.smudge_anchor[1] = editor.centre_z;
    editor.call_counter = 0;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    if (editor.mode == mode_snap)
      snap_step();
    else if (editor.mode == mode_tilemap)
      tilemap_paint_step();
    else
      brush_step();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["share_of_60Hz_frame"] = seconds / (double)state.iterations() * 60.0;
  close_sample();
}
BENCHMARK(bm_brush)->DenseRange(0, 8)->Arg(mode_tilemap)->Unit(benchmark::kMillisecond);

// Smooth at S = 32: the brush's running sums, and the same cells each
// summing its whole disc of the stroke base.
static void bm_smooth_running(benchmark::State& state) {
  if (!open_sample()) {
    state.SkipWithError("no sample track");
    return;
  }
  editor.mode = mode_smooth;
  editor_strength = 5;
  for (auto _ : state) {
    editor.call_counter = 0;
    editor.drag_anchor[0] = -1;
    brush_step();
  }
  close_sample();
}
BENCHMARK(bm_smooth_running)->Unit(benchmark::kMillisecond);

static void bm_smooth_full_sum(benchmark::State& state) {
  if (!open_sample()) {
    state.SkipWithError("no sample track");
    return;
  }
  const int r = 32, size = sample.size;
  int half[32];
  for (int q = 0; q < r; q++) half[q] = (int)std::sqrt((double)r * r - (double)q * q);
  const float w = (float)editor_radius * editor_pixel_size(), c = sample.spacing;
  const float mx = editor.centre_x, mz = editor.centre_z;
  auto clamp = [&](int v) { return v < 0 ? 0 : v >= size ? size - 1 : v; };
  std::vector<float> out((size_t)size * size);
  for (auto _ : state) {
    for (int i = clamp((int)std::floor((mz - w) / c)); i <= clamp((int)std::ceil((mz + w) / c)); i++)
      for (int j = clamp((int)std::floor((mx - w) / c)); j <= clamp((int)std::ceil((mx + w) / c)); j++) {
        if (!(std::hypot(j * c - mx, i * c - mz) < w)) continue;
        double sum = 0;
        int count = 0;
        for (int q = -(r - 1); q <= r - 1; q++) {
          const int hw = half[q < 0 ? -q : q];
          const float* row = editor.stroke_base + (size_t)clamp(i + q) * size;
          for (int x = j - hw; x <= j + hw; x++) sum += row[clamp(x)];
          count += 2 * hw + 1;
        }
        out[(size_t)j + (size_t)size * i] = (float)(sum / count);
      }
    benchmark::DoNotOptimize(out.data());
  }
  close_sample();
}
BENCHMARK(bm_smooth_full_sum)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
