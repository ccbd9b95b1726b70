// Can the race tick keep up? The sample track with 1, 10, 40 and 160
// piloted riders from race reset (the real auto pilot once the robots fill
// its hook, else the test pilot), ruts on: 10 s before the gate drops and
// 20 s after, one simulation_tick per step.
// "x_realtime" is ticks per second over the 128 a second the game needs;
// the "share_" counters split the tick's time into contacts, world step,
// control steps and the rest; "vs_bare" is the tick's time over that of a
// bare physics_tick of the same riders over the same span.
// Needs the generated data: BK_HOME names it, else the build tree's
// gamedata/ beside this program's folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/race_data.h"
#include "bike/rider.h"
#include "bike/rider_control.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_pilot.h"
#include "race/tick.h"
#include "terrain/dynamics_world.h"
#include "terrain/tiles.h"

namespace {

const int32_t before_drop = 10 * 128, after_drop = 20 * 128;

int open_data() { return bench_open_headless_data("bench_race_tick"); }

int start_race(int riders) {
  static int line_up[160];
  for (int i = 0; i < 160; i++) line_up[i] = i < riders ? 2 : 0;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  if (!reset_session(line_up, 0, 0, 0, 3, 0)) return 0;
  if (!race_hooks.auto_pilot_tick) race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
  pilot_reset();
  erode_level = 1024;
  race_clock.current_tick = race_clock.gate_drop_tick - before_drop;
  return 1;
}

void bm_race_tick(benchmark::State& state) {
  const int riders = (int)state.range(0);
  if (!open_data() || !start_race(riders)) {
    state.SkipWithError("no game data (run bkdata build, or set BK_HOME)");
    return;
  }
  using clock = std::chrono::steady_clock;
  double full = 0, bare = 0;
  race_tick_timing shares = {};
  for (auto _ : state) {
    start_race(riders);
    race_tick_time = {};
    auto t0 = clock::now();
    for (int32_t k = 0; k < before_drop + after_drop; k++) simulation_tick();
    full += std::chrono::duration<double>(clock::now() - t0).count();
    shares = race_tick_time;

    // The same riders under the bare physics tick: the pilot steers them,
    // the clock advances; nothing else of the race runs.
    start_race(riders);
    t0 = clock::now();
    for (int32_t k = 0; k < before_drop + after_drop; k++) {
      for (int s = 0; s < RIDER_SLOT_COUNT; s++)
        if (rider_slots[s]) pilot_auto_pilot_tick(rider_slots[s]);
      physics_tick();
      race_clock.current_tick++;
    }
    bare += std::chrono::duration<double>(clock::now() - t0).count();
  }
  const double ticks = (double)(before_drop + after_drop) * state.iterations();
  const double total = shares.contacts + shares.world_step + shares.control + shares.rest;
  state.counters["ticks_per_s"] = ticks / full;
  state.counters["x_realtime"] = ticks / full / 128.0;
  state.counters["bare_x_realtime"] = ticks / bare / 128.0;
  state.counters["vs_bare"] = full / bare;
  if (total > 0) {
    state.counters["share_contacts"] = shares.contacts / total;
    state.counters["share_world_step"] = shares.world_step / total;
    state.counters["share_control"] = shares.control / total;
    state.counters["share_rest"] = shares.rest / total;
  }
}

}  // namespace

BENCHMARK(bm_race_tick)->Arg(1)->Arg(10)->Arg(40)->Arg(160)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
