// Whole races through the tick: race reset on the sample track, piloted
// riders, the start gate, roost and ruts.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "core/race_clock.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_pilot.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/roost.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

namespace {

// How far the rider's frame is past its start slot's gate object, along
// the slot's heading (positive: over the line).
double past_gate_line(int slot) {
  const start_slot& s = start_slots[slot % start_slot_count];
  const statue* g = statue_at(s.statue);
  const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[slot]));
  return (p[0] - g->x) * -std::sin(s.angle) + (p[2] - g->z) * -std::cos(s.angle);
}

struct race_run {
  std::vector<int32_t> crossed;  // tick each rider first crossed its gate line, -1: never
  int nan_seen = 0;
  int roost_seen = 0;  // ticks with live roost particles
  int32_t ruts = 0;    // erode entries queued
  std::vector<dReal> final_state;
};

class TickRace : public ::testing::Test {
 protected:
  void SetUp() override { race_test_open(); }
  void TearDown() override {
    race_test_close();
    erode_level = 0;
  }
  // Eight piloted robots from race reset, from 2 s before the drop to 5 s
  // after it.
  race_run run(int erode) {
    race_run out;
    net_values_reset();
    pilot_reset();
    int line_up[160] = {};
    // Robots by race number, so the line-up is the same whatever raced before.
    for (int i = 0; i < 8; i++) line_up[i] = 1000 + 20 + i;
    race_clock.current_tick = 1234;  // the same drop tick every run
    tick_install_hooks();
    EXPECT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
    erode_level = erode;
    erode_queue_reset();
    const int32_t drop = race_clock.gate_drop_tick;
    race_clock.current_tick = drop - 256;
    out.crossed.assign(8, -1);
    while (race_clock.current_tick < drop + 5 * 128) {
      simulation_tick();
      if (roost_live) out.roost_seen++;
      for (int s = 0; s < 8; s++) {
        const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[s]));
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) out.nan_seen++;
        if (out.crossed[s] < 0 && past_gate_line(s) > 0) out.crossed[s] = race_clock.current_tick;
      }
    }
    out.ruts = erode_queue.count;
    for (int s = 0; s < 8; s++) {
      const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[s]));
      const dReal* v = dBodyGetLinearVel(rider_frame_body(rider_slots[s]));
      out.final_state.insert(out.final_state.end(), {p[0], p[1], p[2], v[0], v[1], v[2]});
    }
    return out;
  }
};

// FNV-1a over the bytes of every rider body's position, orientation and
// velocities, slot by slot.
uint64_t rider_state_hash() {
  uint64_t h = 14695981039346656037ull;
  auto add = [&h](const dReal* v, int n) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(v);
    for (size_t i = 0; i < sizeof(dReal) * (size_t)n; i++) h = (h ^ b[i]) * 1099511628211ull;
  };
  for (int s = 0; s < RIDER_SLOT_COUNT; s++)
    if (rider* r = rider_slots[s])
      for (dBodyID b : r->bodies)
        if (b) {
          add(dBodyGetPosition(b), 3);
          add(dBodyGetQuaternion(b), 4);
          add(dBodyGetLinearVel(b), 3);
          add(dBodyGetAngularVel(b), 3);
        }
  return h;
}

// The state after a fixed race of 40 piloted riders from 2 s before the
// drop to 1 s after it (the pack touching at the gate, the arms moving),
// with contacts made on 1, 2, 4 and 8 threads.
uint64_t forty_rider_race_hash(int threads) {
  net_values_reset();
  pilot_reset();
  int line_up[160] = {};
  for (int i = 0; i < 40; i++) line_up[i] = 1000 + 20 + i;
  // The roster goes on where the last race left it: from its start, every
  // run has the same bikes.
  robot_counter = 0;
  race_clock.current_tick = 1234;
  tick_install_hooks();
  EXPECT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
  race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
  erode_level = 1024;
  erode_queue_reset();
  simulation_threads = threads;
  const int32_t drop = race_clock.gate_drop_tick;
  race_clock.current_tick = drop - 256;
  while (race_clock.current_tick < drop + 128) simulation_tick();
  simulation_threads = 0;
  return rider_state_hash();
}

// Changes that alter the physics on purpose change this value: the failure
// message gives the new one to put here. The compiler's optimiser rounds
// some sums differently, so an optimised build and an unoptimised one (the
// sanitizer build) each have their own.
#ifdef __OPTIMIZE__
constexpr uint64_t forty_rider_race_expected = 0x88b229ddac40e8bcull;
#else
constexpr uint64_t forty_rider_race_expected = 0x489115a3c19651c4ull;
#endif

TEST_F(TickRace, AFixedRaceEndsInTheSameStateAtEveryThreadCount) {
  ASSERT_TRUE(race_test_make_data());
#ifdef __OPTIMIZE__
  const bool optimised = true;
#else
  const bool optimised = false;
#endif
  const uint64_t one = forty_rider_race_hash(1);
  for (int threads : {2, 4, 8}) EXPECT_EQ(forty_rider_race_hash(threads), one) << threads << " threads";
  EXPECT_EQ(one, forty_rider_race_expected)
      << "The fixed 40-rider race ends in another state than it did. Where a change meant to alter the "
         "physics, set forty_rider_race_expected in race/tick_race_test.cpp (the "
      << (optimised ? "optimised" : "unoptimised") << " build's) to 0x" << std::hex << one
      << "ull, and the other build's to what its own run of this test gives; otherwise something made the race differ.";
}

TEST_F(TickRace, PilotedRidersStartBehindTheGateDigAndRepeat) {
  ASSERT_TRUE(race_test_make_data());
  // The same race in a child process, from the same fresh start, for the
  // bit-for-bit comparison.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    const race_run c = run(1024);
    const size_t n = c.final_state.size();
    int ok = write(fds[1], &n, sizeof n) == (ssize_t)sizeof n;
    ok = ok && write(fds[1], c.final_state.data(), n * sizeof(dReal)) == (ssize_t)(n * sizeof(dReal));
    ok = ok && write(fds[1], c.crossed.data(), 8 * sizeof(int32_t)) == (ssize_t)(8 * sizeof(int32_t));
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  const race_run a = run(1024);
  size_t n = 0;
  std::vector<dReal> other;
  std::vector<int32_t> other_crossed(8);
  FILE* in = fdopen(fds[0], "rb");
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(std::fread(&n, sizeof n, 1, in), 1u);
  other.resize(n);
  ASSERT_EQ(std::fread(other.data(), sizeof(dReal), n, in), n);
  ASSERT_EQ(std::fread(other_crossed.data(), sizeof(int32_t), 8, in), 8u);
  std::fclose(in);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  ASSERT_GE(start_slot_count, 8);
  const int32_t drop = race_clock.gate_drop_tick;
  EXPECT_EQ(a.nan_seen, 0);
  int crossed = 0;
  for (int s = 0; s < 8; s++) {
    if (a.crossed[s] < 0) continue;
    crossed++;
    EXPECT_GT(a.crossed[s], drop) << "slot " << s << " crossed before the drop";
  }
  // The test pilot is no racer: on the sample track's uphill start some of
  // its riders bog down in the first seconds.
  EXPECT_GE(crossed, 3);
  std::printf("%d of 8 riders over the gate line within 5 s:", crossed);
  for (int s = 0; s < 8; s++) std::printf(" %d", a.crossed[s] < 0 ? -1 : a.crossed[s] - drop);
  std::printf("\n");
  EXPECT_GT(a.roost_seen, 0);
  EXPECT_GT(a.ruts, 0) << "ruts on: strokes queued";
  EXPECT_EQ(a.crossed, other_crossed);
  ASSERT_EQ(a.final_state.size(), other.size());
  EXPECT_EQ(std::memcmp(a.final_state.data(), other.data(), other.size() * sizeof(dReal)), 0)
      << "two runs from the same start are bit-identical";

  const race_run off = run(0);
  EXPECT_EQ(off.ruts, 0) << "ruts off: nothing queued";
}

void full_throttle(rider* r) {
  rider_set_auto_shift(r, 0);
  rider_set_steer(r, 0);
  rider_set_throttle(r, 1);
  rider_set_front_brake(r, 0);
  rider_set_rear_brake(r, 0);
  rider_set_clutch(r, 1);
}

// The arm up holds a rider at full throttle behind the gate line; down,
// it lies in the ground.
TEST_F(TickRace, ClosedGateHoldsFullThrottleAndOpenGateLiesInTheGround) {
  ASSERT_TRUE(race_test_make_data());
  net_values_reset();
  int line_up[160] = {};
  line_up[0] = 1020;
  tick_install_hooks();
  ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
  race_hooks.auto_pilot_tick = full_throttle;
  race_clock.gate_drop_tick = race_clock.current_tick + 1000000;
  double furthest = -1e9;
  for (int k = 0; k < 5 * 128; k++) {
    simulation_tick();
    furthest = std::fmax(furthest, past_gate_line(0));
  }
  EXPECT_LT(furthest, 0) << "through a closed gate";
  EXPECT_EQ(gate_arm_angle[0], 1.0f);
  // Every gate's plate stands out of the ground while the arm is up and
  // lies in it once the arm is down.
  auto highest_above_ground = [](int gate) {
    const statue* g = statue_at(race_clock.start_gate_statues[gate]);
    double most = -1e9;
    for (int i = 0; i < g->shape->count; i++) {
      const shape_sphere& sp = g->shape->spheres[i];
      double w[3];
      for (int row = 0; row < 3; row++)
        w[row] = (&g->x)[row] + g->basis[row * 3] * sp.centre[0] + g->basis[row * 3 + 1] * sp.centre[1] +
                 g->basis[row * 3 + 2] * sp.centre[2];
      most = std::fmax(most, w[1] + sp.radius - terrain_height(&track_field, (float)w[0], (float)w[2]));
    }
    return most;
  };
  for (int gate = 0; gate < race_clock.start_gate_count; gate++)
    EXPECT_GT(highest_above_ground(gate), 1.0) << "gate " << gate << " up";
  // The rider goes, or it would lean on its arm and hold it up.
  rider_destroy(rider_slots[0]);
  rider_slots[0] = nullptr;
  race_clock.gate_drop_tick = race_clock.current_tick;
  for (int k = 0; k < 64; k++) simulation_tick();
  for (int gate = 0; gate < race_clock.start_gate_count; gate++) {
    EXPECT_EQ(gate_arm_angle[gate], 0.0f) << gate;
    EXPECT_LT(highest_above_ground(gate), 0.2) << "gate " << gate << " down";
  }
}

// Ruts: dug only with erode_level above 0 and, online, only while the
// local rider is in the race; recorded riders never dig. (Online the local
// rider rides; there are no robots.)
TEST_F(TickRace, RutsFollowTheErodeLevelAndTheRace) {
  ASSERT_TRUE(race_test_make_data());
  const struct {
    const char* what;
    int erode, online, own_position, kind;
    int dug;
  } cases[] = {
      {"offline, ruts on", 1024, 0, race_no_slot, RIDER_ROBOT, 1},
      {"offline, ruts off", 0, 0, race_no_slot, RIDER_ROBOT, 0},
      {"online, racing", 1024, 1, 0, RIDER_LOCAL, 1},
      {"online, not racing", 1024, 1, race_no_slot, RIDER_LOCAL, 0},
      {"recorded rider", 1024, 0, race_no_slot, RIDER_REMOTE, 0},
  };
  for (const auto& c : cases) {
    net_values_reset();
    int line_up[160] = {};
    line_up[0] = 1020;
    tick_install_hooks();
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    race_hooks.auto_pilot_tick = pilot_auto_pilot_tick;
    pilot_reset();
    race_clock.gate_drop_tick = 0;
    race_clock.current_tick = 2000;
    reset_gate_arms();
    // Long past the drop: the arms stand down, out of the riders' way.
    const statue* gate = statue_at(race_clock.start_gate_statues[0]);
    ASSERT_NE(gate, nullptr);
    float down[9];
    gate_arm_basis(down, gate->x, gate->z, gate->angle, 0);
    ASSERT_EQ(std::memcmp(down, gate->basis, sizeof down), 0) << "long down";
    rider_slot_kind[0] = c.kind;
    erode_level = c.erode;
    net_online = c.online;
    net_own_slot = 0;
    own_start_position = c.own_position;
    erode_queue_reset();
    for (int k = 0; k < 1280; k++) {
      if (c.kind != RIDER_ROBOT) pilot_auto_pilot_tick(rider_slots[0]);
      simulation_tick();
    }
    EXPECT_EQ(erode_queue.count > 0, c.dug != 0) << c.what << ": " << erode_queue.count;
  }
  net_values_reset();
  own_start_position = race_no_slot;
}

}  // namespace
