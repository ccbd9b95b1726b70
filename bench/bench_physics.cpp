// Can the game step every rider in real time? Each iteration is one physics
// tick of all riders: contacts, the world step and the control step. Riders
// ride in first gear at part throttle with a slow steering wave, either
// spread 30 ft apart or in a tight pack 1.25 ft across and 6 ft deep whose
// neighbours touch.
// "x_realtime" is ticks per second over the 128 a second the game needs; the
// "share_" counters split the time between the three parts of the tick.
#include <benchmark/benchmark.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_control.h"
#include "bike/rider_setters.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"

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

static void bm_physics_tick(benchmark::State& state) {
  const int count = (int)state.range(0);
  const int pack = (int)state.range(1);
  open_track();
  race_clock = {};
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
  physics_timing = {};
  for (auto _ : state) {
    race_clock.current_tick += 1;
    const float steer = 0.3f * sinf(race_clock.current_tick * 6.2831853f / 512);
    for (int i = 0; i < count; i++) rider_set_steer(rider_slots[i], steer);
    physics_tick();
  }
  const double total = physics_timing.contacts + physics_timing.world_step + physics_timing.control;
  state.counters["ticks_per_s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
  state.counters["x_realtime"] =
      benchmark::Counter((double)state.iterations() / 128.0, benchmark::Counter::kIsRate);
  if (total > 0) {
    state.counters["share_contacts"] = physics_timing.contacts / total;
    state.counters["share_world_step"] = physics_timing.world_step / total;
    state.counters["share_control"] = physics_timing.control / total;
  }
  close_track();
}
BENCHMARK(bm_physics_tick)
    ->ArgNames({"riders", "pack"})
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({40, 0})
    ->Args({160, 0})
    ->Args({1, 1})
    ->Args({10, 1})
    ->Args({40, 1})
    ->Args({160, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
