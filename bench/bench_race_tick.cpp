// Can the race tick keep up? The sample track with 1, 10, 40 and 160
// piloted riders from race reset (the real auto pilot once the robots fill
// its hook, else the test pilot), ruts on: 10 s before the gate drops and
// 20 s after, one simulation_tick per step, contacts on one thread or the
// game's default count. Every figure is wall-clock time over that fixed
// span of race, and each run prints its cost a tick second by second.
// "x_realtime" is ticks per second over the 128 a second the game needs;
// the "share_" counters split the tick's time into contacts, world step,
// control steps and the rest; "vs_bare" is the tick's time over that of the
// riders' step alone (riders_step, the part of the tick the race hands to
// the bike code, on the same contact threads, without the race's hooks) of
// the same riders over the same span.
// Needs the generated data: BK_HOME names it, else the build tree's
// gamedata/ beside this program's folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bench/race_data.h"
#include "bike/rider.h"
#include "bike/riders_step.h"
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

// Milliseconds a tick, second by second of race, on one line.
void print_cost_curve(const char* what, const double* seconds_per_second, int count) {
  std::printf("%s: ms a tick, each second of race:", what);
  for (int s = 0; s < count; s++) std::printf(" %.2f", seconds_per_second[s] * 1000.0 / 128);
  std::printf("\n");
}

void bm_race_tick(benchmark::State& state) {
  const int riders = (int)state.range(0);
  simulation_threads = (int)state.range(1);
  if (!open_data() || !start_race(riders)) {
    state.SkipWithError("no game data (run bkdata build, or set BK_HOME)");
    return;
  }
  using clock = std::chrono::steady_clock;
  double full = 0, bare = 0;
  double curve[(before_drop + after_drop) / 128] = {};
  race_tick_timing shares = {};
  for (auto _ : state) {
    start_race(riders);
    race_tick_time = {};
    auto t0 = clock::now();
    for (int32_t k = 0; k < before_drop + after_drop; k += 128) {
      const auto s0 = clock::now();
      for (int32_t j = 0; j < 128; j++) simulation_tick();
      curve[k / 128] += std::chrono::duration<double>(clock::now() - s0).count();
    }
    full += std::chrono::duration<double>(clock::now() - t0).count();
    shares = race_tick_time;

    // The same riders under the riders' step alone: the pilot steers them,
    // the clock advances; nothing else of the race runs.
    start_race(riders);
    riders_step_hooks bare_hooks = {};
    bare_hooks.threads = simulation_thread_count();
    t0 = clock::now();
    for (int32_t k = 0; k < before_drop + after_drop; k++) {
      for (int s = 0; s < RIDER_SLOT_COUNT; s++)
        if (rider_slots[s]) pilot_auto_pilot_tick(rider_slots[s]);
      riders_step(&bare_hooks);
      race_clock.current_tick++;
    }
    bare += std::chrono::duration<double>(clock::now() - t0).count();
  }
  const double ticks = (double)(before_drop + after_drop) * state.iterations();
  const double total = shares.contacts + shares.world_step + shares.control + shares.rest;
  char what[64];
  std::snprintf(what, sizeof what, "%d riders, %d threads", riders, simulation_thread_count());
  print_cost_curve(what, curve, (before_drop + after_drop) / 128);
  state.counters["threads"] = simulation_thread_count();
  simulation_threads = 0;
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
// (the auto pilot, the line library's pass recording and the assist step,
// timed through their hooks; the gate timing itself is the race's).
double robot_seconds = 0;
void (*inner_auto_pilot)(rider*) = nullptr;
void (*inner_pass_search)(rider*) = nullptr;
void (*inner_pass_crossing)(rider*, int, int) = nullptr;
void (*inner_assist)(rider*) = nullptr;
template <void (**inner)(rider*)>
void timed(rider* r) {
  const auto t0 = std::chrono::steady_clock::now();
  (*inner)(r);
  robot_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
void timed_pass_crossing(rider* r, int c, int tried) {
  const auto t0 = std::chrono::steady_clock::now();
  inner_pass_crossing(r, c, tried);
  robot_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void bm_robot_race_tick(benchmark::State& state) {
  const int riders = (int)state.range(0);
  const race_hooks_table saved = race_hooks;
  void (*saved_assist)(rider*) = rider_assist_step_hook;
  robot_install_hooks();
  inner_auto_pilot = race_hooks.auto_pilot_tick;
  inner_pass_search = race_hooks.pass_before_gate_search;
  inner_pass_crossing = race_hooks.pass_record_crossing;
  inner_assist = rider_assist_step_hook;
  race_hooks.auto_pilot_tick = timed<&inner_auto_pilot>;
  race_hooks.pass_before_gate_search = timed<&inner_pass_search>;
  race_hooks.pass_record_crossing = timed_pass_crossing;
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

// What sizes the world step's islands: before each step, the bodies of the
// riders are joined through every joint attached to them (their own joints,
// the tick's contacts and motors) and the islands counted. The step's cost
// grows with the cube of an island's constraint rows, so the table gives,
// per second of race, the islands, the largest one's bodies, joints and
// rows, the sum of rows cubed, and the contact joints per tick (those
// between two riders apart).
struct island_second {
  int ticks;
  double islands, contacts, body_pairs, rows_cubed;
  int largest_bodies, largest_joints, largest_rows;
};
island_second census[64];
int census_second = 0;

int joint_rows(dJointID j) {
  switch (dJointGetType(j)) {
    case dJointTypeContact: return 3;
    case dJointTypeBall: return 3;
    case dJointTypeHinge: return 5;
    case dJointTypeSlider: return 5;
    case dJointTypeHinge2: return 4;
    case dJointTypeUniversal: return 4;
    case dJointTypeFixed: return 6;
    case dJointTypeAMotor: return dJointGetAMotorNumAxes(j);
    default: return 1;
  }
}

void take_census() {
  std::vector<dBodyID> bodies;
  std::unordered_map<dBodyID, int> index, owner;
  for (int s = 0; s < RIDER_SLOT_COUNT; s++)
    if (rider* r = rider_slots[s])
      for (dBodyID b : r->bodies)
        if (b && !index.count(b)) {
          index[b] = (int)bodies.size();
          owner[b] = s;
          bodies.push_back(b);
        }
  std::vector<int> parent(bodies.size());
  for (size_t i = 0; i < parent.size(); i++) parent[i] = (int)i;
  auto find = [&](int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  std::unordered_set<dJointID> joints;
  int contacts = 0, pairs = 0;
  for (dBodyID b : bodies)
    for (int k = 0; k < dBodyGetNumJoints(b); k++) {
      dJointID j = dBodyGetJoint(b, k);
      if (!joints.insert(j).second) continue;
      dBodyID b0 = dJointGetBody(j, 0), b1 = dJointGetBody(j, 1);
      if (dJointGetType(j) == dJointTypeContact) {
        contacts++;
        if (b0 && b1 && owner.count(b0) && owner.count(b1) && owner[b0] != owner[b1]) pairs++;
      }
      if (b0 && b1 && index.count(b0) && index.count(b1)) parent[find(index[b0])] = find(index[b1]);
    }
  std::unordered_map<int, std::array<int, 3>> islands;  // bodies, joints, rows
  for (size_t i = 0; i < bodies.size(); i++)
    if (dBodyIsEnabled(bodies[i])) islands[find((int)i)][0]++;
  for (dJointID j : joints) {
    dBodyID b = dJointGetBody(j, 0) ? dJointGetBody(j, 0) : dJointGetBody(j, 1);
    if (!b || !dJointIsEnabled(j)) continue;
    auto& island = islands[find(index[b])];
    island[1]++;
    island[2] += joint_rows(j);
  }
  const int second = census_second < 63 ? census_second : 63;
  island_second& c = census[second];
  c.ticks++;
  c.islands += (double)islands.size();
  c.contacts += contacts;
  c.body_pairs += pairs;
  for (auto& kv : islands) {
    const auto& v = kv.second;
    c.rows_cubed += (double)v[2] * v[2] * v[2];
    if (v[0] > c.largest_bodies) {
      c.largest_bodies = v[0];
      c.largest_joints = v[1];
      c.largest_rows = v[2];
    }
  }
}

void bm_race_islands(benchmark::State& state) {
  const int riders = (int)state.range(0);
  if (!open_data() || !start_race(riders)) {
    state.SkipWithError("no game data (run bkdata build, or set BK_HOME)");
    return;
  }
  for (auto _ : state) {
    start_race(riders);
    for (auto& c : census) c = {};
    dynamics_step_watch = take_census;
    for (int32_t k = 0; k < before_drop + after_drop; k++) {
      census_second = k / 128;
      simulation_tick();
    }
    dynamics_step_watch = nullptr;
  }
  std::printf("islands of %d riders, per second of race (a tick's average; largest of the second)\n", riders);
  std::printf("%6s %8s %14s %14s %13s %12s %12s\n", "second", "islands", "largest bodies", "largest joints",
              "largest rows", "rows cubed", "contacts");
  for (int s = 0; s < (before_drop + after_drop) / 128 && s < 64; s++) {
    const island_second& c = census[s];
    if (!c.ticks) continue;
    std::printf("%6d %8.1f %14d %14d %13d %12.3g %7.1f (%.1f between riders)\n", s - before_drop / 128,
                c.islands / c.ticks, c.largest_bodies, c.largest_joints, c.largest_rows, c.rows_cubed / c.ticks,
                c.contacts / c.ticks, c.body_pairs / c.ticks);
  }
}

}  // namespace

BENCHMARK(bm_race_islands)->Arg(10)->Arg(40)->Arg(160)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_robot_race_tick)->Arg(1)->Arg(10)->Arg(39)->Iterations(1)->Unit(benchmark::kMillisecond);
// threads 0: the game's default count; 1: every contact on the main thread.
BENCHMARK(bm_race_tick)
    ->ArgNames({"riders", "threads"})
    ->Args({1, 1})
    ->Args({10, 1})
    ->Args({40, 1})
    ->Args({160, 1})
    ->Args({40, 0})
    ->Args({160, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
