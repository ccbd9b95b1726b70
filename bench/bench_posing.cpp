// Can the game pose every rider each frame and still have time to draw?
// Each iteration poses the rider body's lean, the nine bones and the head of
// every rider, as draw_bike does before it draws, with no GL. Half the
// riders have a foot down reaching for the ground, the other half ride
// leaned over and steered, so every branch of the posing runs.
// "share_of_60hz_frame" is the wall time one iteration takes over a 60 Hz
// frame (1/60 s).
#include <benchmark/benchmark.h>
#include <math.h>
#include <string.h>

#include <chrono>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_posing.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

static void open_track() {
  dynamics_open();
  rider_table_init();
  terrain_reset(&track_field);
  terrain_create(&track_field, 8, 1.0f);
  const int n = track_field.size * track_field.size;
  for (int i = 0; i < n; i++) track_field.heights[i] = 10.0f;
  memcpy(track_field.base_heights, track_field.heights, sizeof(float) * n);
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

static void bm_pose_riders(benchmark::State& state) {
  const int count = (int)state.range(0);
  open_track();
  for (int i = 0; i < count; i++) {
    rider* r = rider_create("cr125", i, 1, "1", nullptr, nullptr, nullptr, nullptr);
    if (!r) {
      state.SkipWithError("rider_create failed");
      close_track();
      return;
    }
    rider_slots[i] = r;
    rider_translate(r, 20 + (i % 14) * 15.0f, 10, 20 + (i / 14) * 15.0f);
    dMatrix3 lean, steer;
    dRFromAxisAndAngle(lean, 0, 0, 1, (i % 2 ? 0.5 : -0.2) + 0.01 * i);
    for (dBodyID b : r->bodies) dBodySetRotation(b, lean);
    dRFromAxisAndAngle(steer, 0, 1, 0, 0.3);
    dMatrix3 turned;
    dMultiply0_333(turned, lean, steer);
    dBodySetRotation(r->bodies[RIDER_FORK_UPPER], turned);
    for (dBodyID b : r->bodies) dBodySetLinearVel(b, 0, 0, -(i % 30));
    r->ramp = i % 2 ? 0 : 1;
    r->throttle = (i % 10) / 10.0f;
  }
  rider_bones bones;
  float head_position[3], head_rotation[9];
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < count; i++) {
      const rider* r = rider_slots[i];
      body_transform person;
      rider_drawn_body(r, &person);
      rider_pose_input in;
      rider_pose_input_get(r, &person, &in);
      pose_rider_arms(&in, &bones);
      pose_rider_body(&in, &bones);
      head_transform(r, &person, head_position, head_rotation);
      benchmark::DoNotOptimize(bones);
      benchmark::DoNotOptimize(head_rotation);
    }
  }
  state.counters["riders_per_s"] =
      benchmark::Counter((double)state.iterations() * count, benchmark::Counter::kIsRate);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (state.iterations() > 0) state.counters["share_of_60hz_frame"] = seconds / state.iterations() * 60.0;
  close_track();
}
BENCHMARK(bm_pose_riders)->ArgName("riders")->Arg(1)->Arg(40)->Arg(160)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
