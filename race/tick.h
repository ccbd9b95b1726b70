#pragma once
// The simulation tick: one step of 1/128 s of the whole race, and the
// start-gate arms it animates.
#include <cstdint>

#include "bike/state_history.h"
#include "core/race_clock.h"

struct rider;

// Per start-gate statue: 1 arm up (closed) .. 0 down (open), and the arm's
// falling speed in angle units a second.
extern float gate_arm_angle[start_gate_max];
extern float gate_arm_speed[start_gate_max];
// Every arm up and at rest (down when the clock is already past the arms'
// last move), the gate objects turned to match, and the gates' touch ticks
// forgotten (race reset).
void reset_gate_arms();

// The basis of a gate arm at an angle: the terrain basis at (x, z) and
// heading, turned about its x axis by angle x 3 pi / 16.
void gate_arm_basis(float out[9], float x, float z, float heading, float angle);

// How a recorded rider is posed from its history for target tick t.
enum {
  history_leave = 0,        // nothing to apply
  history_apply_a = 1,      // A alone, gap 1
  history_apply_b = 2,      // B, with A before it
  history_interpolate = 3,  // between A and B at fraction (past B: at most 64 ticks)
};
struct history_choice {
  int kind;
  int a, b;  // ring indices
  double fraction;
  int32_t gap;  // ticks between A and B
};
history_choice choose_history_poses(const state_history* h, int32_t t);
// Poses the recorded rider of a slot at target tick t.
void pose_recorded_rider(int slot, int32_t t);

// Where in the list of occupied slots roost emission starts this tick: the
// rider served first rotates every tick, so no rider always finds the
// particle pool empty.
int roost_first_position(int32_t tick, int n);

// Wall time of the tick's parts, accumulated, for the benchmark.
struct race_tick_timing {
  double contacts, world_step, control, rest;  // seconds
};
extern race_tick_timing race_tick_time;

// Threads that make the riders' contacts in an offline race, the main
// thread included; the world sees the same joints in the same order at any
// count. 0 (the default) takes the environment's BK_SIM_THREADS, else one
// less than the processors, at most 4.
extern int simulation_threads;
// The count the next tick will use, from the setting.
int simulation_thread_count();

// One tick of the race. Needs a loaded track and the dynamics world.
void simulation_tick();

// The end of a time-trial attempt: the ghost and fast-lap demo swapped
// when the lap was better, slot 0 back to the lap start, a new recording.
void end_time_trial_attempt();

// Copies the track's "lastlap.bkdemo" over "fastlap.bkdemo" in one step:
// on failure a console line says why and the old ghost stays. 1 when
// copied; 0 also when there is no last lap to copy.
int keep_last_lap_as_ghost();

// Puts the tick and the gate-arm reset into the race hooks.
void tick_install_hooks();
