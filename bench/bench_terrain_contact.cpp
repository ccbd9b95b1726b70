// How much of a tick do terrain contacts cost? Each tick every rider asks for
// two tyre contacts and a dozen shape-sphere contacts. The "x_realtime"
// counters are contact sets (or whole ticks) per second over the 128 a
// second the game needs for one rider.
#include <benchmark/benchmark.h>
#include <math.h>
#include <string.h>

#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"
#include "terrain/terrain_files.h"

static height_field* hills() {
  static height_field* f = nullptr;
  if (f) return f;
  f = new height_field;
  terrain_reset(f);
  terrain_create(f, 7, 1.0f);
  const int r = f->size;
  for (int k = 0; k < r; k++)
    for (int i = 0; i < r; i++)
      f->heights[i + r * k] = 20.0f + 1.5f * sinf(i * 0.11f) * cosf(k * 0.07f);
  for (int k = 0; k < tile_curve_points; k++) {
    f->friction_value[0][k] = 1.0f;
    f->friction_slip[0][k] = k == 0 ? 1.0f : tile_unused_slip;
    f->roll_resist_key[0][k] = k == 0 ? 1.0f : 0.0f;
  }
  return f;
}

static void realtime_counter(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter((double)state.iterations() / 128.0, benchmark::Counter::kIsRate);
}

static void bm_tyre_contact_geometry(benchmark::State& state) {
  height_field* f = hills();
  dynamics_open();
  dBodyID b = dBodyCreate(dynamics_world);
  wheel_contact w;
  memset(&w, 0, sizeof w);
  w.body = b;
  w.axle[0] = 1;
  w.rim_radius = 0.9f;
  w.tyre_radius = 0.3f;
  float x = 60;
  for (auto _ : state) {
    x = x > 200 ? 60 : x + 0.13f;
    dBodySetPosition(b, x, terrain_height(f, x, 100) + 1.15, 100);
    float p[3], n[3], d;
    benchmark::DoNotOptimize(tyre_contact_geometry(f, &w, p, n, &d));
  }
  dynamics_close();
}
BENCHMARK(bm_tyre_contact_geometry);

static void bm_collide_wheel_terrain(benchmark::State& state) {
  height_field* f = hills();
  dynamics_open();
  dBodyID b = dBodyCreate(dynamics_world);
  wheel_contact w;
  memset(&w, 0, sizeof w);
  w.body = b;
  w.axle[0] = 1;
  w.rim_radius = 0.9f;
  w.tyre_radius = 0.3f;
  float x = 60;
  for (auto _ : state) {
    x = x > 200 ? 60 : x + 0.13f;
    dBodySetPosition(b, x, terrain_height(f, x, 100) + 1.15, 100);
    benchmark::DoNotOptimize(collide_wheel_terrain(f, &w, w.point, w.normal, &w.depth));
  }
  dynamics_close();
}
BENCHMARK(bm_collide_wheel_terrain);

static void bm_collide_sphere_terrain(benchmark::State& state) {
  height_field* f = hills();
  float x = 60;
  for (auto _ : state) {
    x = x > 200 ? 60 : x + 0.13f;
    const float c[3] = {x, terrain_height(f, x, 100) + 0.4f, 100};
    float p[3], n[3], d;
    benchmark::DoNotOptimize(collide_sphere_terrain(f, c, 0.5f, p, n, &d));
  }
}
BENCHMARK(bm_collide_sphere_terrain);

// One rider's worth of terrain contacts and the world step: two tyres on two
// wheel bodies and a twelve-sphere shape on a frame body.
static void bm_contacts_and_step(benchmark::State& state) {
  height_field* f = hills();
  dynamics_open();
  dMass m;
  dBodyID frame = dBodyCreate(dynamics_world);
  dMassSetBoxTotal(&m, 8, 1, 1, 4);
  dBodySetMass(frame, &m);
  wheel_contact wheels[2];
  for (int k = 0; k < 2; k++) {
    memset(&wheels[k], 0, sizeof wheels[k]);
    wheels[k].body = dBodyCreate(dynamics_world);
    dMassSetSphereTotal(&m, 0.5, 1.2);
    dBodySetMass(wheels[k].body, &m);
    wheels[k].axle[0] = 1;
    wheels[k].rim_radius = 0.9f;
    wheels[k].tyre_radius = 0.3f;
  }
  shape_sphere source_spheres[12], spheres[12];
  for (int k = 0; k < 12; k++)
    source_spheres[k] = {{(k % 3 - 1) * 0.5f, (k / 6) * 0.8f, ((k / 3) % 2 - 0.5f) * 2.0f},
                         0.4f, 1, 2500, 250};
  memcpy(spheres, source_spheres, sizeof spheres);
  shape source = {nullptr, 12, source_spheres, nullptr, 3};
  shape instance = {nullptr, 12, spheres, &source, 3};

  int tick = 0;
  for (auto _ : state) {
    if (tick++ % 512 == 0) {
      // Start again from a drop, so the bodies keep touching and moving.
      const float x = 80 + (tick / 512) % 50;
      const double g = terrain_height(f, x, 100);
      dBodySetPosition(frame, x, g + 0.6, 100);
      dBodySetPosition(wheels[0].body, x, g + 1.3, 98);
      dBodySetPosition(wheels[1].body, x, g + 1.3, 102);
      for (dBodyID b : {frame, wheels[0].body, wheels[1].body}) {
        dBodySetLinearVel(b, 0, 0, -10);
        dBodySetAngularVel(b, 0, 0, 0);
      }
    }
    for (auto& w : wheels) collide_tyre_terrain(f, &w, 1.0f);
    const dReal* p = dBodyGetPosition(frame);
    const dReal* r = dBodyGetRotation(frame);
    const float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
    const float rot[9] = {(float)r[0], (float)r[1], (float)r[2], (float)r[4], (float)r[5],
                          (float)r[6], (float)r[8], (float)r[9], (float)r[10]};
    collide_shape_terrain(&instance, frame, pos, rot, f);
    dynamics_step(1.0 / 128);
  }
  realtime_counter(state);
  dynamics_close();
}
BENCHMARK(bm_contacts_and_step);

BENCHMARK_MAIN();
