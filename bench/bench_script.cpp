// The track script's hooks on the sample track: tick and frame handler calls
// of quarrybend's frills.js per second of one core, each as a ratio to the
// game's 128 ticks a second (x_tick_rate), with a race of 10 riders past the
// gate drop so the running order and the lap tinting have work to do.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "bench/race_data.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "script/script_host.h"
#include "script/track_script.h"
#include "terrain/dynamics_world.h"
#include "terrain/tiles.h"

namespace {

int open_race() {
  static int opened = -1;
  if (opened >= 0) return opened;
  if (!bench_open_headless_data("bench_script")) return opened = 0;
  script_install_hooks();
  static int line_up[160];
  for (int i = 0; i < 10; i++) line_up[i] = 2;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  if (!reset_session(line_up, 0, 0, 0, 3, 0) || !track_script) return opened = 0;
  // Past the drop, with a running order of everyone on their first lap.
  race_clock.current_tick = race_clock.gate_drop_tick + 128;
  running_order.count = 10;
  for (int i = 0; i < 10; i++) running_order.entries[i] = {i, 3, race_clock.gate_drop_tick + 100 + i};
  return opened = 1;
}

void hook_rate(benchmark::State& state, void (*hook)()) {
  if (!open_race()) {
    state.SkipWithError("no game data or no frills.js (run bkdata build, or set BK_HOME)");
    return;
  }
  using clock = std::chrono::steady_clock;
  double seconds = 0;
  int64_t calls = 0;
  for (auto _ : state) {
    const auto t0 = clock::now();
    for (int k = 0; k < 1280; k++) {
      race_clock.current_tick++;
      hook();
    }
    seconds += std::chrono::duration<double>(clock::now() - t0).count();
    calls += 1280;
  }
  if (track_script_hooks_off) state.SkipWithError("the script was stopped");
  state.counters["calls_per_s"] = calls / seconds;
  state.counters["x_tick_rate"] = calls / seconds / 128.0;
}

void bm_tic_handler(benchmark::State& state) { hook_rate(state, call_tic_handler); }
void bm_frame_handler(benchmark::State& state) { hook_rate(state, call_frame_handler); }

}  // namespace

BENCHMARK(bm_tic_handler)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_frame_handler)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
