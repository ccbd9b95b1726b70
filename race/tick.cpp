// The simulation tick: script hook, recorded riders, contacts, roost, the
// world step, ruts, every rider's control step, particles, the start-gate
// arms, the clock, demos, the time-trial laps and the telemetry graph.
#include "race/tick.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "bike/packed_pose.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/rider_control.h"
#include "bike/rider_setters.h"
#include "bike/rider_timing.h"
#include "bike/riders_step.h"
#include "bike/wheel_contacts.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/heap_sort.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/running_order.h"
#include "platform/os/os.h"
#include "platform/os/os_thread.h"
#include "race/bike_setup.h"
#include "race/gate_timing.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/world_edge.h"
#include "terrain/dynamics_world.h"
#include "terrain/roost.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

float gate_arm_angle[start_gate_max];
float gate_arm_speed[start_gate_max];
race_tick_timing race_tick_time;
int simulation_threads = 0;

namespace {

constexpr double tick = 1.0 / 128.0;
constexpr int32_t ticks_per_second = 128;
// Start-gate statues take contacts, and the arms move, until this long
// after the drop.
constexpr int32_t gate_window_ticks = 10 * ticks_per_second;
// 15 s in ticks: a false start is held until 15 s after the drop.
constexpr int32_t false_start_penalty_ticks = 1920;
constexpr int32_t max_extrapolation_ticks = 64;
constexpr float arm_turn = 0.5890486f;  // 3 pi / 16 at angle 1

using wall_clock = std::chrono::steady_clock;
double seconds(wall_clock::time_point a, wall_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// A played-back or not-yet-racing rider against the start-gate statues.
void collide_start_gates(rider* r) {
  static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int32_t i = 0; i < race_clock.start_gate_count && i < start_gate_max; i++) {
    statue* s = statue_at(race_clock.start_gate_statues[i]);
    if (!s || !s->shape) continue;
    const float position[3] = {s->x, s->y, s->z};
    const float* orientation = s->facing_value != 0 ? identity : s->basis;
    if (rider_collide_object(r, s->shape, nullptr, position, orientation))
      s->touch_tick = race_clock.current_tick;
  }
}

int within_gate_window(int32_t from) { return (int64_t)race_clock.current_tick <= (int64_t)from + gate_window_ticks; }

int off_course_at(rider* r, int n) {
  return race_hooks.rider_off_course_at_gate ? race_hooks.rider_off_course_at_gate(r, n) : 0;
}

// Whether any of the rider's last crossings n-3..n (never below 1) is off
// course.
int off_course_lately(rider* r) {
  const int n = rider_next_timing_index(r);
  for (int k = n - 3 < 1 ? 1 : n - 3; k <= n; k++)
    if (off_course_at(r, k)) return 1;
  return 0;
}

void build_online_contacts(rider** list) {
  rider* own = slot_rider(net_own_slot);
  int settled = 0, own_on_course = 0;
  if (own) {
    settled = running_order.count > 1 &&
              ((int64_t)race_clock.current_tick - race_clock.gate_drop_tick) * tick >= off_course_bias;
    own_on_course = !rider_has_finished(own) && rider_next_timing_index(own) >= 1 && !off_course_lately(own);
  }
  int n = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    rider* r = slot_rider(slot);
    if (!r || rider_slot_kind[slot] != RIDER_REMOTE) continue;
    if (own) {
      if (slot != net_own_slot && net_state_stale(slot, race_clock.current_tick)) continue;
      if (settled && own_on_course &&
          (rider_has_finished(r) || rider_next_timing_index(r) == 0 || off_course_lately(r)))
        continue;
    }
    list[n++] = r;
    if (own_start_position == race_no_slot && within_gate_window(race_clock.gate_drop_tick)) collide_start_gates(r);
  }
  if (!own) return;
  collide_rider_statues(own);
  if (own_start_position == race_no_slot) return;
  heap_sort(list, (size_t)n, sizeof(rider*), compare_rider_speed);
  for (int i = 0; i < n; i++) {
    rider* other = list[i];
    if (other == own) continue;
    if (rider_pair_in_reach(own, other) && rider_collide_rider(own, other, 1)) rider_wake_on_contact(other);
    if (rider_is_active(other)) collide_rider_statues(other);
  }
}

void emit_roost() {
  rider* occupied[RIDER_SLOT_COUNT];
  int n = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider* r = slot_rider(slot)) occupied[n++] = r;
  if (n == 0) return;
  const int first = roost_first_position(race_clock.current_tick, n);
  for (int k = 0; k < n; k++) rider_emit_roost(occupied[(first + k) % n]);
}

void false_start_watch(rider* r) {
  if (false_start_ticks < 1 && race_clock.current_tick <= race_clock.gate_drop_tick) {
    rider_set_dab(r, 1);
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    const double d[3] = {p[0] - start_position[0], p[1] - start_position[1], p[2] - start_position[2]};
    if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] >= 9) {
      false_start_ticks = false_start_penalty_ticks + race_clock.gate_drop_tick - race_clock.current_tick;
      console_print("15 second false start penalty");
    }
  }
  if (false_start_ticks >= 1) {
    false_start_ticks--;
    rider_set_front_brake(r, 1);
    rider_set_rear_brake(r, 1);
    rider_set_back_up(r, 0);
    rider_set_clutch(r, 0);
    rider_set_throttle(r, 0);
    rider_set_dab(r, 1);
  }
}

void move_gate_arms() {
  const int32_t open = race_clock.gate_drop_tick + race_clock.network_display_delay;
  if (!within_gate_window(open)) return;
  const int32_t now = race_clock.current_tick;
  const int32_t count = race_clock.start_gate_count < start_gate_max ? race_clock.start_gate_count : start_gate_max;
  if (now < open)
    for (int32_t i = 0; i < start_gate_max; i++) {
      gate_arm_angle[i] = 1;
      gate_arm_speed[i] = 0;
    }
  for (int32_t i = 0; i < count; i++) {
    const int32_t index = race_clock.start_gate_statues[i];
    statue* s = index >= 0 ? statue_at(index) : nullptr;
    if (!s || gate_arm_angle[i] <= 0) continue;
    if (now > open) {
      if (s->touch_tick == now) {
        // A rider leans on the arm: it stops where it is.
        gate_arm_speed[i] = 0;
        continue;
      }
      gate_arm_speed[i] += (float)(tick * 32);
      gate_arm_angle[i] -= (float)(tick * gate_arm_speed[i]);
      if (gate_arm_angle[i] < 0) gate_arm_angle[i] = 0;
      if (gate_arm_speed[i] > 8) gate_arm_speed[i] = 8;
    }
    gate_arm_basis(s->basis, s->x, s->z, s->angle, gate_arm_angle[i]);
  }
}

void online_contacts() {
  rider* list[RIDER_SLOT_COUNT];
  build_online_contacts(list);
}

// A rider posed from elsewhere meets the start-gate statues until the
// arms have stopped moving.
void remote_rider_contacts(rider* r) {
  if (within_gate_window(race_clock.gate_drop_tick)) collide_start_gates(r);
}

void update_ruts() {
  if (erode_level > 0 && (!net_online || own_start_position != race_no_slot))
    for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
      if (rider* r = slot_rider(slot))
        if (rider_slot_kind[slot] != RIDER_REMOTE) rider_update_ruts(r);
}

void before_control(int slot, rider* r) {
  const int kind = rider_slot_kind[slot];
  if (kind == RIDER_ROBOT && race_hooks.auto_pilot_tick) race_hooks.auto_pilot_tick(r);
  if (net_online && kind == RIDER_REMOTE) rider_fade_remote(r);
  if (net_online && kind == RIDER_LOCAL) false_start_watch(r);
}

void after_control(int slot, rider* r) {
  const int kind = rider_slot_kind[slot];
  if (!net_online || kind == RIDER_LOCAL) time_rider(r);
  if (kind != RIDER_REMOTE) keep_rider_on_field(r);
}

int32_t lap_of(int slot) {
  rider* r = slot_rider(slot);
  return r ? rider_lap_and_segment(r).lap : -1;
}

// The rider's time over the lap from crossing F - 1 to F + N - 1; 0 when a
// crossing is missing.
int32_t timed_lap_ticks(const rider* r) {
  const int64_t from = (int64_t)route.first_lap_gates - 1, to = from + route.normal_lap_gates;
  if (from < 0 || to > INT32_MAX || route.normal_lap_gates <= 0) return 0;
  const int32_t a = rider_timing_tick(r, (int)from), b = rider_timing_tick(r, (int)to);
  if (a == -1 || b == -1) return 0;
  return b - a;
}

void record_telemetry() {
  telemetry_ring_set& t = telemetry_rings;
  if (t.write_index >= telemetry_ring_size || t.write_index < 0) {
    for (float* ring : {t.fork_rate, t.fork_damping, t.shock_rate, t.shock_damping})
      std::memset(ring, 0, sizeof(float) * telemetry_ring_size);
    t.write_index = 0;
  }
  const rider* r = slot_rider(viewed_slot);
  if (!r) return;
  const int i = t.write_index;
  rider_fork_telemetry(r, &t.fork_travel[i], &t.fork_rate[i], &t.fork_damping[i]);
  rider_shock_telemetry(r, &t.shock_travel[i], &t.shock_rate[i], &t.shock_damping[i]);
  t.write_index = i + 1 == telemetry_ring_size ? 0 : i + 1;
}

char* track_file(const char* name) {
  const size_t n = std::strlen(track_folder) + std::strlen(name) + 3;
  char* out = static_cast<char*>(xmalloc(n));
  std::snprintf(out, n, "@%s/%s", track_folder, name);
  return out;
}

}  // namespace

int simulation_thread_count() {
  int n = simulation_threads;
  if (n <= 0) {
    static int from_environment = -1;
    if (from_environment < 0) {
      const char* v = os_getenv("BK_SIM_THREADS");
      from_environment = v ? std::atoi(v) : 0;
    }
    n = from_environment;
  }
  if (n <= 0) {
    static const int processors = os_processor_count();
    n = processors - 1;
    if (n > 4) n = 4;
  }
  if (n < 1) n = 1;
  return n > 64 ? 64 : n;
}

void reset_gate_arms() {
  for (int i = 0; i < start_gate_max; i++) {
    gate_arm_angle[i] = 1;
    gate_arm_speed[i] = 0;
  }
  // A race whose clock starts past the arms' last move (a time trial starts
  // at 300 s) never moves them nor meets them: they are drawn down, out of
  // the way. Any other race starts with them up.
  const int32_t open = race_clock.gate_drop_tick + race_clock.network_display_delay;
  const float angle = within_gate_window(open) ? 1.0f : 0.0f;
  // The arms stand where they are at once, so the first contacts of the
  // race meet them there; and as the clock starts again, a touch stamped
  // in the last race must not stop an arm at the same tick of this one.
  for (int32_t i = 0; i < race_clock.start_gate_count && i < start_gate_max; i++)
    if (statue* s = statue_at(race_clock.start_gate_statues[i])) {
      s->touch_tick = -1;
      gate_arm_basis(s->basis, s->x, s->z, s->angle, angle);
    }
}

void gate_arm_basis(float out[9], float x, float z, float heading, float angle) {
  float b[9];
  terrain_aligned_basis(b, x, z, heading);
  const float a = angle * arm_turn, c = std::cos(a), s = std::sin(a);
  const float rot[9] = {1, 0, 0, 0, c, s, 0, -s, c};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) out[i * 3 + j] = b[i * 3] * rot[j] + b[i * 3 + 1] * rot[3 + j] + b[i * 3 + 2] * rot[6 + j];
}

int roost_first_position(int32_t tick, int n) {
  if (n <= 0) return 0;
  return (int)(((int64_t)tick % n + n) % n);
}

history_choice choose_history_poses(const state_history* h, int32_t t) {
  history_choice c = {history_leave, -1, -1, 0, 1};
  const int head = h->head & (state_history_size - 1);
  if (h->ticks[head] < 0) return c;
  enum { ran_out, stopped_valid, stopped_empty } stop = ran_out;
  int k = 0, at = head;
  for (; k < state_history_size; k++) {
    at = (head - k) & (state_history_size - 1);
    if (h->ticks[at] < 0) {
      stop = stopped_empty;
      break;
    }
    if (h->ticks[at] < t) {
      stop = stopped_valid;
      break;
    }
  }
  int a, b;
  if (stop == stopped_valid && k == 0) {
    b = head;
    a = (head - 1) & (state_history_size - 1);
    if (h->ticks[a] < 0) a = b;
  } else if (stop == stopped_valid) {
    a = at;
    b = (at + 1) & (state_history_size - 1);
  } else {
    // k valid entries were walked, all at or after t.
    a = (head - (k - 1)) & (state_history_size - 1);
    b = k >= 2 ? (a + 1) & (state_history_size - 1) : a;
  }
  c.a = a;
  c.b = b;
  const int32_t ta = h->ticks[a], tb = h->ticks[b];
  if (ta < t && ta != tb) {
    c.gap = tb - ta;
    if (t == tb) {
      c.kind = history_apply_b;
    } else {
      const int64_t target = (int64_t)t < (int64_t)tb + max_extrapolation_ticks ? t : (int64_t)tb + max_extrapolation_ticks;
      c.kind = history_interpolate;
      c.fraction = (double)(target - ta) / (double)(tb - ta);
    }
  } else {
    c.kind = history_apply_a;
    c.gap = 1;
  }
  return c;
}

void pose_recorded_rider(int slot, int32_t t) {
  rider* r = slot_rider(slot);
  if (!r) return;
  const state_history* h = &state_histories[slot];
  const history_choice c = choose_history_poses(h, t);
  const int version = demo_playback.playing ? demo_playback.version : 5;
  switch (c.kind) {
    case history_apply_a:
      rider_apply_packed_pose(r, &h->poses[c.a], &h->poses[c.a], &h->poses[c.a], 1, version);
      break;
    case history_apply_b:
      rider_apply_packed_pose(r, &h->poses[c.b], &h->poses[c.a], &h->poses[c.b], c.gap, version);
      break;
    case history_interpolate: {
      packed_pose p;
      interpolate_packed_state(&p, &h->poses[c.a], &h->poses[c.b], c.fraction);
      rider_apply_packed_pose(r, &p, &h->poses[c.a], &h->poses[c.b], c.gap, version);
      break;
    }
    default:
      break;
  }
}

int keep_last_lap_as_ghost() {
  char* from = track_file("lastlap.bkdemo");
  char* to = track_file("fastlap.bkdemo");
  stream in;
  int ok = 0;
  if (stream_open_name(&in, from, "rb")) {
    size_t size = 0, capacity = 65536;
    char* bytes = static_cast<char*>(xmalloc(capacity));
    uint32_t n;
    while ((n = stream_read(&in, bytes + size, (uint32_t)(capacity - size))) > 0) {
      size += n;
      if (size == capacity) {
        char* grown = static_cast<char*>(check_realloc(bytes, capacity * 2));
        if (!grown) out_of_memory();
        bytes = grown;
        capacity *= 2;
      }
    }
    stream_close_file(&in);
    // A copy that fails midway must not cost the old ghost: the new one
    // goes to a temporary file that replaces it only when whole.
    ok = file_replace(to, bytes, size, 0);
    check_free(bytes);
  }
  check_free(from);
  check_free(to);
  return ok;
}

void end_time_trial_attempt() {
  rider* own = slot_rider(0);
  rider* ghost = slot_rider(1);
  const int32_t own_next = own ? rider_next_timing_index(own) : -1;
  const int32_t ghost_next = ghost ? rider_next_timing_index(ghost) : -1;
  if (race_hooks.demo_close_playback) race_hooks.demo_close_playback();
  if (race_hooks.demo_write_states) race_hooks.demo_write_states(1);
  if (race_hooks.demo_stop_recording) race_hooks.demo_stop_recording();
  for (int slot = 1; slot < RIDER_SLOT_COUNT; slot++) {
    if (race_hooks.free_engine_voice) race_hooks.free_engine_voice(slot);
    if (rider_slots[slot]) rider_destroy(rider_slots[slot]);
    rider_slots[slot] = nullptr;
    rider_slot_kind[slot] = RIDER_REMOTE;
  }
  if (route.gate_count <= 0) return;

  char* fast = track_file("fastlap.bkdemo");
  stream probe;
  const int have_ghost = stream_open_name(&probe, fast, "rb");
  if (have_ghost) stream_close_file(&probe);
  const int32_t lap = own ? timed_lap_ticks(own) : 0;
  last_lap_ticks = lap;
  if (lap > 0 && (best_lap_ticks == 0 || lap < best_lap_ticks)) best_lap_ticks = lap;
  if (!have_ghost || (ghost_next < own_next && own_next >= 0 && lap > 0)) keep_last_lap_as_ghost();

  const int cut = route.first_lap_gates - 1 > 0 ? route.first_lap_gates - 1 : 0;
  if (race_hooks.demo_open_ghost && race_hooks.demo_open_ghost(fast) && race_hooks.demo_next_rider) {
    rider_identity id;
    int index;
    while (race_hooks.demo_next_rider(&id, &index)) {
      if (index < 0 || index >= RIDER_SLOT_COUNT - 1) continue;
      const int slot = 1 + index;
      rider* r = rider_create(bike_name_alias(id.bike), (unsigned)slot, 0, id.number, id.gear_skin, id.helmet_skin,
                              id.bike_skin, id.wheels_skin);
      if (!r) continue;
      rider_slots[slot] = r;
      rider_slot_kind[slot] = RIDER_REMOTE;
      if (race_hooks.load_engine_sound) race_hooks.load_engine_sound(slot, id.bike_skin);
      rider_deactivate(r);
      rider_truncate_timing(r, cut);
      if (race_hooks.demo_map_rider) race_hooks.demo_map_rider(index, slot);
    }
  }
  check_free(fast);
  if (own) {
    rider_truncate_timing(own, cut);
    time_rider(own);
  }
  if (race_hooks.demo_start_recording) race_hooks.demo_start_recording();
  if (race_hooks.demo_write_states) race_hooks.demo_write_states(1);
  if (race_hooks.finish_results) race_hooks.finish_results();
}

void simulation_tick() {
  const auto t0 = wall_clock::now();
  const int32_t shown = race_clock.current_tick - race_clock.network_display_delay > 0
                            ? race_clock.current_tick - race_clock.network_display_delay
                            : 0;
  if (race_hooks.call_tic_handler) race_hooks.call_tic_handler(shown);

  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider_slot_kind[slot] == RIDER_REMOTE) pose_recorded_rider(slot, shown);

  int32_t own_lap = -1, ghost_lap = -1;
  if (time_trial) {
    own_lap = lap_of(0);
    ghost_lap = lap_of(1);
  }

  // The riders' contacts, world step and control steps, with the race's
  // own parts at their places among them.
  riders_step_timing parts = {};
  riders_step_hooks hooks = {};
  if (net_online) hooks.contacts = online_contacts;
  else hooks.threads = simulation_thread_count();
  hooks.remote_contacts = remote_rider_contacts;
  hooks.before_world_step = emit_roost;
  hooks.after_world_step = update_ruts;
  hooks.before_control = before_control;
  hooks.after_control = after_control;
  hooks.timing = &parts;
  riders_step(&hooks);

  roost_particles_update();
  move_gate_arms();

  race_clock.current_tick++;
  if (net_online && race_clock.current_tick % 512 == 511 && race_hooks.finish_results) race_hooks.finish_results();

  if (race_hooks.demo_write_states) race_hooks.demo_write_states(0);
  if (race_hooks.demo_read_ahead) race_hooks.demo_read_ahead();

  if (time_trial) {
    rider* ghost = slot_rider(1);
    if (ghost && lap_of(1) != ghost_lap) {
      const int32_t lap = timed_lap_ticks(ghost);
      if (lap > 0 && (best_lap_ticks == 0 || lap < best_lap_ticks)) best_lap_ticks = lap;
    }
    if (slot_rider(0) && lap_of(0) != own_lap) end_time_trial_attempt();
  }

  if (telemetry_graph_on) record_telemetry();
  const auto t1 = wall_clock::now();

  race_tick_time.contacts += parts.contacts;
  race_tick_time.world_step += parts.world_step;
  race_tick_time.control += parts.control;
  race_tick_time.rest += seconds(t0, t1) - parts.contacts - parts.world_step - parts.control;
}

void tick_install_hooks() {
  race_hooks.simulation_tick = simulation_tick;
  race_hooks.reset_gate_arms = reset_gate_arms;
}
