// The editor's undo ring on a 1025 x 1025 field: a commit after a
// brush-sized edit (64 x 64 cells) and an undo, each as a share of a 60 Hz
// frame (1 = a whole frame), since both happen between two frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

#include "editor/editor.h"
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

BENCHMARK_MAIN();
