// Can the game step every rider in real time? The game's own race tick over
// 10 s of race on a plain rolling field (no track objects, no gate): riders
// ride in first gear at part throttle with a slow steering wave, either
// spread 30 ft apart or in a tight pack 1.25 ft across and 6 ft deep whose
// neighbours touch; contacts on one thread, or the game's default count
// (threads 0).
// "x_realtime" is ticks per second of wall-clock time over the 128 a second
// the game needs; each case also prints its cost a tick second by second.
// The "share_" counters split the tick between contacts, world step and
// control steps.
#include <benchmark/benchmark.h>

#include <chrono>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "race/tick.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"

static const int span_seconds = 10;

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
  for (int k = 0; k < tile_curve_points; k++) {
    track_field.friction_value[0][k] = 1.0f;
    track_field.friction_slip[0][k] = k == 0 ? 1.0f : tile_unused_slip;
    track_field.roll_resist_key[0][k] = k == 0 ? 1.0f : 0.0f;
  }
}

// Without the game's data files the riders have no part shapes; a frame and
// a rider shape of a few spheres each let the pack's riders touch.
static const char* shape_dir() {
  static char dir[64] = "";
  if (dir[0]) return dir;
  strcpy(dir, "/tmp/bench_physics_XXXXXX");
  if (!mkdtemp(dir)) return nullptr;
  const char* files[2][2] = {{"frame.shp", "3\n0 0 -0.8 0.45 0.6 2500 250\n0 0 0 0.45 0.6 2500 250\n"
                                           "0 0 0.8 0.45 0.6 2500 250\n"},
                             {"rider.shp", "2\n0 0 0 0.65 0.6 2500 250\n0 1.2 0 0.5 0.6 2500 250\n"}};
  for (auto& f : files) {
    char path[128];
    snprintf(path, sizeof path, "%s/%s", dir, f[0]);
    FILE* out = fopen(path, "wb");
    if (!out) return nullptr;
    fputs(f[1], out);
    fclose(out);
  }
  return dir;
}

static shape* load_part(const char* file) {
  const char* dir = shape_dir();
  if (!dir) return nullptr;
  char path[128];
  snprintf(path, sizeof path, "%s/%s", dir, file);
  return shape_load_copy(path);
}

static void close_track() {
  for (int s = 0; s < RIDER_SLOT_COUNT; s++) {
    if (rider_slots[s]) rider_destroy(rider_slots[s]);
    rider_slots[s] = nullptr;
  }
  free_terrain(&track_field);
  terrain_reset(&track_field);
  dynamics_close();
}

static void bm_field_race_tick(benchmark::State& state) {
  const int count = (int)state.range(0);
  const int pack = (int)state.range(1);
  simulation_threads = (int)state.range(2);
  open_track();
  race_clock = {};
  race_clock.gate_drop_tick = 0;
  for (int i = 0; i < count; i++) {
    rider* r = rider_create("cr125", i, 1, "1", nullptr, nullptr, nullptr, nullptr);
    if (!r) {
      state.SkipWithError("rider_create failed");
      close_track();
      return;
    }
    if (!r->frame_shape) r->frame_shape = load_part("frame.shp");
    if (!r->rider_shape) r->rider_shape = load_part("rider.shp");
    const bike_model* m = rider_model(r);
    const float bottom = m->front_wheel_position[1] - m->front_rim_radius - m->front_tyre_radius;
    const float x = pack ? 250 + (i % 8) * 1.25f : 40 + (i % 14) * 30.0f;
    const float z = pack ? 450 - (i / 8) * 6.0f : 450 - (i / 14) * 30.0f;
    rider_translate(r, x, terrain_height(&track_field, x, z) + 0.5f - bottom, z);
    rider_slots[i] = r;
    rider_slot_kind[i] = RIDER_LOCAL;
    rider_activate(r);
    rider_set_clutch(r, 1);
    rider_set_throttle(r, 0.6f);
  }
  // A fixed span of race, timed on the wall clock second by second, so the
  // figure counts every thread and does not hang on how long the
  // library happens to run the case.
  race_tick_time = {};
  using clock = std::chrono::steady_clock;
  double curve[span_seconds] = {}, total = 0;
  for (auto _ : state) {
    for (int s = 0; s < span_seconds; s++) {
      const auto t0 = clock::now();
      for (int k = 0; k < 128; k++) {
        const float steer = 0.3f * sinf(race_clock.current_tick * 6.2831853f / 512);
        for (int i = 0; i < count; i++) rider_set_steer(rider_slots[i], steer);
        simulation_tick();
      }
      const double t = std::chrono::duration<double>(clock::now() - t0).count();
      curve[s] += t;
      total += t;
    }
  }
  std::printf("%d riders %s: ms a tick, each second of race:", count, pack ? "in a pack" : "spread");
  for (double t : curve) std::printf(" %.2f", t * 1000.0 / 128 / (double)state.iterations());
  std::printf("\n");
  const double ticks = 128.0 * span_seconds * (double)state.iterations();
  const race_tick_timing& p = race_tick_time;
  const double parts = p.contacts + p.world_step + p.control + p.rest;
  state.counters["ticks_per_s"] = ticks / total;
  state.counters["x_realtime"] = ticks / total / 128.0;
  state.counters["threads"] = simulation_thread_count();
  if (parts > 0) {
    state.counters["share_contacts"] = p.contacts / parts;
    state.counters["share_world_step"] = p.world_step / parts;
    state.counters["share_control"] = p.control / parts;
  }
  close_track();
}
BENCHMARK(bm_field_race_tick)
    ->ArgNames({"riders", "pack", "threads"})
    ->Args({1, 0, 1})
    ->Args({10, 0, 1})
    ->Args({40, 0, 1})
    ->Args({160, 0, 1})
    ->Args({1, 1, 1})
    ->Args({10, 1, 1})
    ->Args({40, 1, 1})
    ->Args({160, 1, 1})
    ->Args({160, 0, 0})
    ->Args({160, 1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
