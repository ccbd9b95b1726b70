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
#include "bike/robot_hooks.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_pilot.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
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

// The robots on their own auto pilot and quarrybend's shipped novice lines,
// from the gate: the same span, with the robot code's share of the tick
// (the auto pilot, the pass recording and the assist step, timed through
// their hooks).
double robot_seconds = 0;
void (*inner_auto_pilot)(rider*) = nullptr;
void (*inner_record_pass)(rider*) = nullptr;
void (*inner_assist)(rider*) = nullptr;
template <void (**inner)(rider*)>
void timed(rider* r) {
  const auto t0 = std::chrono::steady_clock::now();
  (*inner)(r);
  robot_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void bm_robot_race_tick(benchmark::State& state) {
  const int riders = (int)state.range(0);
  const race_hooks_table saved = race_hooks;
  void (*saved_assist)(rider*) = rider_assist_step_hook;
  robot_install_hooks();
  inner_auto_pilot = race_hooks.auto_pilot_tick;
  inner_record_pass = race_hooks.line_library_record_pass;
  inner_assist = rider_assist_step_hook;
  race_hooks.auto_pilot_tick = timed<&inner_auto_pilot>;
  race_hooks.line_library_record_pass = timed<&inner_record_pass>;
  rider_assist_step_hook = timed<&inner_assist>;
  if (!open_data() || !start_race(riders)) {
    state.SkipWithError("no game data (run bkdata build, or set BK_HOME)");
  } else {
    double full = 0, robot = 0;
    for (auto _ : state) {
      start_race(riders);
      robot_seconds = 0;
      const auto t0 = std::chrono::steady_clock::now();
      for (int32_t k = 0; k < before_drop + after_drop; k++) simulation_tick();
      full += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      robot += robot_seconds;
    }
    const double ticks = (double)(before_drop + after_drop) * state.iterations();
    state.counters["x_realtime"] = ticks / full / 128.0;
    state.counters["share_robot"] = full > 0 ? robot / full : 0;
  }
  race_hooks = saved;
  rider_assist_step_hook = saved_assist;
}

}  // namespace

BENCHMARK(bm_robot_race_tick)->Arg(1)->Arg(10)->Arg(39)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_race_tick)->Arg(1)->Arg(10)->Arg(40)->Arg(160)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
