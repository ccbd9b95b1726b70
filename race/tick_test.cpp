#include "race/tick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bike/packed_pose.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/rider_setters.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/file_replace.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/bike_setup.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/test_support_race.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------
// Pure parts: the history walk, the roost rotation, the stale test.

struct history_case {
  const char* what;
  std::vector<int32_t> ticks;  // ring entries from index 0; the rest empty
  int head;
  int32_t t;
  int kind;
  int32_t tick_a, tick_b;  // ticks of the chosen entries (-2: not checked)
  double fraction;
  int32_t gap;
};

TEST(TickHistory, ChoiceTable) {
  std::vector<int32_t> full(state_history_size);
  for (int i = 0; i < state_history_size; i++) full[i] = 100 + i;
  const history_case cases[] = {
      {"empty newest", {-1, -1}, 0, 10, history_leave, -2, -2, 0, 1},
      {"newest below t", {10, 20}, 1, 30, history_interpolate, 10, 20, 2.0, 10},
      {"newest below t, capped 64 ticks past it", {10, 20}, 1, 1000, history_interpolate, 10, 20, 7.4, 10},
      {"newest below t, alone", {20}, 0, 30, history_apply_a, 20, 20, 0, 1},
      {"walk stops at a valid entry", {10, 20, 30, 40}, 3, 25, history_interpolate, 20, 30, 0.5, 10},
      {"t equal to B", {10, 20, 30, 40}, 3, 30, history_apply_b, 20, 30, 0, 10},
      {"t equal to the newest", {10, 20}, 1, 20, history_apply_b, 10, 20, 0, 10},
      {"walk stopped by an empty entry", {-1, 50, 60}, 2, 40, history_apply_a, 50, 60, 0, 1},
      {"one entry walked, then empty", {-1, 50}, 1, 40, history_apply_a, 50, 50, 0, 1},
      {"128 steps, all at or after t", full, state_history_size - 1, 50, history_apply_a, 100, 101, 0, 1},
      {"ring wraps", {70, 80, -1, -1, 50, 60}, 1, 75, history_interpolate, 70, 80, 0.5, 10},
  };
  for (const history_case& c : cases) {
    static state_history h;
    for (int32_t& t : h.ticks) t = -1;
    for (size_t i = 0; i < c.ticks.size(); i++) h.ticks[i] = c.ticks[i];
    h.head = c.head;
    const history_choice got = choose_history_poses(&h, c.t);
    EXPECT_EQ(got.kind, c.kind) << c.what;
    if (c.tick_a != -2) {
      EXPECT_EQ(h.ticks[got.a], c.tick_a) << c.what;
      EXPECT_EQ(h.ticks[got.b], c.tick_b) << c.what;
    }
    EXPECT_NEAR(got.fraction, c.fraction, 1e-12) << c.what;
    EXPECT_EQ(got.gap, c.gap) << c.what;
  }
}

TEST(TickRoost, FirstRiderRotatesEveryTick) {
  for (int32_t tick = 0; tick < 5; tick++) EXPECT_EQ(roost_first_position(tick, 1), 0);
  const int three[] = {0, 1, 2, 0, 1, 2};
  for (int32_t tick = 0; tick < 6; tick++) EXPECT_EQ(roost_first_position(tick, 3), three[tick]);
  EXPECT_EQ(roost_first_position(-1, 3), 2);
  EXPECT_EQ(roost_first_position(7, 0), 0);
}

TEST(TickNet, StateAgeIsASignedDifference) {
  net_values_reset();
  const struct {
    uint32_t stamp;
    int32_t now;
    int stale;
  } cases[] = {
      {872, 1000, 1},        // exactly a second behind
      {873, 1000, 0},        // just under a second
      {1005, 1000, 0},       // stamped ahead of the clock
      {0xffffffffu, 1000, 0},  // far ahead, not a wrapped "old" stamp
      {0, 127, 0},
      {0, 128, 1},
  };
  for (const auto& c : cases) {
    net_state_time[7] = c.stamp;
    EXPECT_EQ(net_state_stale(7, c.now), c.stale) << c.stamp << " at " << c.now;
  }
  EXPECT_EQ(net_state_stale(160, 0), 1);
  EXPECT_EQ(net_state_stale(-1, 0), 1);
  net_values_reset();
}

// ---------------------------------------------------------------------
// The tick over riders of the sample track.

std::vector<std::string> calls;
std::vector<std::pair<int, int32_t>> lap_crossings;  // (slot, ticks of a lap) set by the pass recording hook
int ghost_riders_left;

void record(const std::string& s) { calls.push_back(s); }

struct Tick : ::testing::Test {
  void SetUp() override {
    race_test_open();
    net_values_reset();
    calls.clear();
    lap_crossings.clear();
    for (int& c : line_up) c = 0;
  }
  void TearDown() override {
    race_test_close();
    net_values_reset();
    time_trial = 0;
    false_start_ticks = 0;
    viewed_slot = race_no_slot;
    own_start_position = race_no_slot;
    telemetry_graph_on = 0;
    best_lap_ticks = last_lap_ticks = 0;
    erode_level = 0;
  }
  void reset(const int* codes = nullptr) {
    ASSERT_EQ(reset_session(codes ? codes : line_up, 0, 0, 0, 3, 0), 1);
  }
  // A recorded rider (kind 1) in the slot.
  rider* recorded(int slot) {
    rider* r = rider_create(bike_name_alias("crf250"), (unsigned)slot, 0, "77", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(r, nullptr);
    rider_slots[slot] = r;
    rider_slot_kind[slot] = RIDER_REMOTE;
    rider_deactivate(r);
    return r;
  }
  void install_doubles() {
    race_hooks.call_tic_handler = [](int shown) { record("tic " + std::to_string(shown)); };
    race_hooks.auto_pilot_tick = [](rider* r) { record("auto " + std::to_string(r->slot)); };
    race_hooks.pass_before_gate_search = [](rider* r) { record("pass " + std::to_string(r->slot)); };
    race_hooks.finish_results = [] { record("finish"); };
    race_hooks.demo_write_states = [](int force) { record("write " + std::to_string(force)); };
    race_hooks.demo_read_ahead = [] { record("ahead"); };
  }
  int line_up[160];
};

// A mixed line-up: local (0), robot (2), an empty slot, a recorded rider.
TEST_F(Tick, HooksRunInOrderOfflineAndOnline) {
  line_up[0] = 1;
  line_up[1] = 2;
  reset();
  recorded(3);
  install_doubles();
  race_clock.network_display_delay = 0;
  race_clock.current_tick = 100;
  simulation_tick();
  EXPECT_EQ(calls, (std::vector<std::string>{"tic 100", "pass 0", "auto 1", "pass 1", "pass 3", "write 0", "ahead"}));
  EXPECT_EQ(race_clock.current_tick, 101);

  // Online: the shown tick lags by the delay (never below 0), only the
  // local rider's pass is recorded, and the results are finished at ticks
  // 511 mod 512.
  net_online = 1;
  net_own_slot = 0;
  own_start_position = 0;
  race_clock.network_display_delay = 127;
  const struct {
    int32_t tick;
    std::vector<std::string> want;
  } cases[] = {
      {100, {"tic 0", "pass 0", "auto 1", "write 0", "ahead"}},
      {300, {"tic 173", "pass 0", "auto 1", "write 0", "ahead"}},
      {510, {"tic 383", "pass 0", "auto 1", "finish", "write 0", "ahead"}},
      {511, {"tic 384", "pass 0", "auto 1", "write 0", "ahead"}},
      {1022, {"tic 895", "pass 0", "auto 1", "finish", "write 0", "ahead"}},
  };
  for (const auto& c : cases) {
    calls.clear();
    race_clock.current_tick = c.tick;
    simulation_tick();
    EXPECT_EQ(calls, c.want) << "at tick " << c.tick;
  }
}

// Every "no rider" slot variable at 160 (and out of range) under the
// sanitizers: nothing indexes past the tables.
TEST_F(Tick, NoRiderSlotsAreSafe) {
  line_up[0] = 1;
  line_up[5] = 2;
  reset();
  telemetry_graph_on = 1;
  for (int online = 0; online < 2; online++) {
    net_online = online;
    for (int v : {160, -1, 1000}) {
      viewed_slot = v;
      net_own_slot = v;
      own_start_position = v == 160 ? 160 : 0;
      for (int k = 0; k < 3; k++) simulation_tick();
    }
  }
  EXPECT_EQ(slot_rider(160), nullptr);
  EXPECT_EQ(slot_rider(-1), nullptr);
}

TEST_F(Tick, TelemetryStartsByClearingAndWraps) {
  line_up[0] = 1;
  reset();
  viewed_slot = 0;
  telemetry_rings.write_index = telemetry_ring_size;
  telemetry_rings.fork_rate[500] = 99;
  telemetry_rings.fork_travel[500] = 42;
  simulation_tick();
  EXPECT_EQ(telemetry_rings.write_index, telemetry_ring_size) << "off: nothing taken";
  telemetry_graph_on = 1;
  telemetry_rings.write_index = telemetry_ring_size;
  simulation_tick();
  EXPECT_EQ(telemetry_rings.write_index, 1);
  EXPECT_EQ(telemetry_rings.fork_rate[500], 0) << "cleared";
  EXPECT_EQ(telemetry_rings.fork_travel[500], 42) << "the first ring is kept";
  telemetry_rings.write_index = telemetry_ring_size - 1;
  simulation_tick();
  EXPECT_EQ(telemetry_rings.write_index, 0);
  viewed_slot = race_no_slot;
  simulation_tick();
  EXPECT_EQ(telemetry_rings.write_index, 0);
}

// A recorded rider is posed from its history, pose values stay finite,
// and a played-back rider is never stepped into the contact list.
TEST_F(Tick, RecordedRiderFollowsItsHistory) {
  line_up[0] = 2;
  reset();
  rider* r = recorded(4);
  packed_pose p;
  rider_pack_pose(rider_slots[0], &p);
  const dReal* start = dBodyGetPosition(rider_frame_body(rider_slots[0]));
  const double x0 = start[0];
  for (int32_t t = 0; t < 40; t += 8) {
    rider_translate(rider_slots[0], 1.0f, 0, 0);
    rider_pack_pose(rider_slots[0], &p);
    add_state_to_history(4, &p, t);
  }
  race_clock.network_display_delay = 0;
  for (int32_t t : {0, 12, 32, 50, 200}) {
    race_clock.current_tick = t;
    simulation_tick();
    const dReal* q = dBodyGetPosition(rider_frame_body(r));
    for (int i = 0; i < 3; i++) ASSERT_TRUE(std::isfinite(q[i])) << t;
    // The history moved 1 ft every 8 ticks from tick 0; past the newest
    // state (tick 32) it goes on at most 64 ticks.
    const double want = x0 + 1 + std::min(t, 32 + 64) / 8.0;
    if (t <= 32) EXPECT_NEAR(q[0], want, 0.05) << t;
    else EXPECT_NEAR(q[0], want, 0.5) << t;
  }
}

// The gate arms: untouched, after the tick run at open + k the angle is
// max(0, 1 - k(k+1)/1024); a touched arm holds its angle at speed 0 and
// then starts again from rest; the statue's basis is the terrain basis
// turned about x by angle x 3 pi / 16.
TEST_F(Tick, GateArmsFallAndStopWhenTouched) {
  reset();
  for (int s = 0; s < 160; s++) {
    if (rider_slots[s]) rider_destroy(rider_slots[s]);
    rider_slots[s] = nullptr;
  }
  ASSERT_GT(race_clock.start_gate_count, 1);
  race_clock.network_display_delay = 10;
  const int32_t open = race_clock.gate_drop_tick + race_clock.network_display_delay;
  statue* touched = statue_at(race_clock.start_gate_statues[1]);
  const int32_t touch_k = 5;
  float held_angle = 0;
  for (int32_t k = -3; k <= 40; k++) {
    race_clock.current_tick = open + k;
    if (k == touch_k) touched->touch_tick = open + k;
    float basis_before[9];
    std::memcpy(basis_before, touched->basis, sizeof basis_before);
    simulation_tick();
    const double want = k <= 0 ? 1.0 : std::fmax(0.0, 1.0 - k * (k + 1) / 1024.0);
    EXPECT_NEAR(gate_arm_angle[0], want, 1e-5) << "k " << k;
    if (k >= 32) {
      EXPECT_EQ(gate_arm_angle[0], 0.0f) << k;
    }
    const statue* g = statue_at(race_clock.start_gate_statues[0]);
    float terrain[9], want_basis[9];
    terrain_aligned_basis(terrain, g->x, g->z, g->angle);
    const double a = gate_arm_angle[0] * 3 * M_PI / 16;
    const double rot[9] = {1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)};
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) {
        want_basis[i * 3 + j] = (float)(terrain[i * 3] * rot[j] + terrain[i * 3 + 1] * rot[3 + j] + terrain[i * 3 + 2] * rot[6 + j]);
        EXPECT_NEAR(g->basis[i * 3 + j], want_basis[i * 3 + j], 1e-5) << k;
      }
    if (k == touch_k - 1) held_angle = gate_arm_angle[1];
    if (k == touch_k) {
      EXPECT_EQ(gate_arm_angle[1], held_angle);
      EXPECT_EQ(gate_arm_speed[1], 0.0f);
      EXPECT_EQ(std::memcmp(basis_before, touched->basis, sizeof basis_before), 0);
    }
    if (k == touch_k + 1) {
      EXPECT_FLOAT_EQ(gate_arm_speed[1], 0.25f);
      EXPECT_NEAR(gate_arm_angle[1], held_angle - 0.25 / 128, 1e-6);
    }
  }
  // Ten seconds after the opening the arms are left alone.
  gate_arm_angle[0] = 0.5f;
  race_clock.current_tick = open + 1281;
  simulation_tick();
  EXPECT_EQ(gate_arm_angle[0], 0.5f);
  race_clock.current_tick = open - 1;
  reset_gate_arms();
  EXPECT_EQ(gate_arm_angle[159], 1.0f);
  EXPECT_EQ(gate_arm_speed[0], 0.0f);
  EXPECT_EQ(touched->touch_tick, -1);
  // A clock already past the arms' last move (a time trial): the arms'
  // table is reset as for any race, but they are drawn down for good.
  race_clock.current_tick = open + 1281;
  gate_arm_angle[0] = 0;
  reset_gate_arms();
  EXPECT_EQ(gate_arm_angle[0], 1.0f);
  float down[9];
  gate_arm_basis(down, touched->x, touched->z, touched->angle, 0);
  EXPECT_EQ(std::memcmp(down, touched->basis, sizeof down), 0);
}

// The false-start watch: offline none; online a local rider rolling 3 ft
// before the drop gets one message and is held until 15 s after the drop.
TEST_F(Tick, FalseStartOnlineOnly) {
  for (int online = 0; online < 2; online++) {
    line_up[0] = 1;
    reset();
    rider* r = rider_slots[0];
    ASSERT_NE(r, nullptr);
    net_online = online;
    net_own_slot = 0;
    own_start_position = 0;
    race_clock.current_tick = 100;
    race_clock.gate_drop_tick = 140;
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    for (int i = 0; i < 3; i++) start_position[i] = (float)p[i];
    false_start_ticks = 0;
    const int first_line = message_ring.write_index;
    simulation_tick();
    EXPECT_EQ(false_start_ticks, 0);
    EXPECT_EQ(r->dab, online ? 1.0f : r->dab);
    rider_translate(r, 3.1f, 0, 0);
    const int32_t rolled_at = race_clock.current_tick;
    simulation_tick();
    const std::string said = race_test_console_since(first_line);
    if (!online) {
      EXPECT_EQ(false_start_ticks, 0);
      EXPECT_EQ(said.find("false start"), std::string::npos);
      continue;
    }
    // Set to 1920 + drop - tick, and its first tick is served at once.
    EXPECT_EQ(false_start_ticks, 1920 + 140 - rolled_at - 1);
    EXPECT_NE(said.find("15 second false start penalty"), std::string::npos) << said;
    int held = 1;
    while (false_start_ticks > 0) {
      rider_set_throttle(r, 1);
      rider_set_front_brake(r, 0);
      simulation_tick();
      held &= r->throttle == 0 && r->front_brake == 1 && r->rear_brake == 1 && r->clutch == 0;
    }
    EXPECT_TRUE(held);
    EXPECT_EQ(race_clock.current_tick, 140 + 1920);
    const std::string all = race_test_console_since(first_line);
    EXPECT_EQ(all.find("false start"), all.rfind("false start")) << "one message";
    rider_set_throttle(r, 0.5f);
    simulation_tick();
    EXPECT_GT(r->throttle, 0.0f) << "released after the penalty";
  }
}

// Online contacts: a network rider whose state is a second old takes part
// in none; one stamped ahead of the clock does.
TEST_F(Tick, StaleNetworkRidersTakeNoContacts) {
  line_up[0] = 1;
  reset();
  rider* own = rider_slots[0];
  rider* other = recorded(2);
  const dReal* a = dBodyGetPosition(rider_frame_body(own));
  const dReal* b = dBodyGetPosition(rider_frame_body(other));
  rider_translate(other, (float)(a[0] - b[0]) + 0.5f, (float)(a[1] - b[1]), (float)(a[2] - b[2]));
  net_online = 1;
  net_own_slot = 0;
  own_start_position = 0;
  const struct {
    uint32_t stamp;
    int touched;
  } cases[] = {{5000, 1}, {5000 - 128, 0}, {5000 + 300, 1}, {0xfffffff0u, 1}};
  for (const auto& c : cases) {
    race_clock.current_tick = 5000;
    net_state_time[2] = c.stamp;
    other->contact_tick = -1;
    simulation_tick();
    EXPECT_EQ(other->contact_tick == 5000, c.touched != 0) << c.stamp;
  }
}

// ---------------------------------------------------------------------
// Time trial: the ghost's best lap and the end of an attempt.

fs::path track_file(const char* name) {
  return fs::path(std::getenv("XDG_DATA_HOME")) / "Brakkan" / "quarrybend" / name;
}
void put(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// Crossings F - 1 .. F + N - 1 for a whole first lap and one more, the
// timed lap being `lap` ticks long.
void complete_lap(rider* r, int32_t lap) {
  const int f = route.first_lap_gates, n = route.normal_lap_gates;
  for (int i = 0; i < f + n; i++) rider_set_timing_tick(r, i, 1000 + (i >= f ? lap : 0) + i);
  rider_truncate_timing(r, f + n);
  // The lap's last crossing is exactly `lap` after crossing F - 1.
  rider_set_timing_tick(r, f + n - 1, 1000 + (f - 1) + lap);
}

struct TimeTrial : Tick {
  void SetUp() override {
    Tick::SetUp();
    fs::remove_all(track_file("").parent_path());
    ASSERT_EQ(reset_session(nullptr, 0, 0, 0, 3, 0), 1);
    ASSERT_TRUE(time_trial);
    ASSERT_GT(route.gate_count, 0);
    ASSERT_NE(rider_slots[0], nullptr);
    install_doubles();
    race_hooks.demo_close_playback = [] { record("close"); };
    race_hooks.demo_stop_recording = [] { record("stop"); };
    race_hooks.demo_start_recording = [] { record("start"); };
    race_hooks.free_engine_voice = [](int) {};
    race_hooks.demo_open_ghost = [](const char* name) {
      record(std::string("ghost ") + name);
      ghost_riders_left = 1;
      return 1;
    };
    race_hooks.demo_next_rider = [](rider_identity* out, int* index) {
      record("next");
      if (ghost_riders_left-- <= 0) return 0;
      *out = {"crf250", "5", "Ghost", nullptr, nullptr, nullptr, nullptr};
      *index = 0;
      return 1;
    };
    race_hooks.demo_map_rider = [](int index, int slot) {
      record("map " + std::to_string(index) + " " + std::to_string(slot));
    };
    // The pass recording completes the laps the test asks for.
    race_hooks.pass_before_gate_search = [](rider* r) {
      for (auto& lc : lap_crossings)
        if (lc.first == r->slot) {
          complete_lap(r, lc.second);
          lc.first = -1;
        }
    };
  }
};

TEST_F(TimeTrial, GhostLapSetsTheBestLap) {
  rider* ghost = recorded(1);
  ASSERT_NE(ghost, nullptr);
  best_lap_ticks = 0;
  lap_crossings = {{1, 3000}};
  simulation_tick();
  EXPECT_EQ(best_lap_ticks, 3000);
  lap_crossings = {{1, 3500}};
  rider_truncate_timing(ghost, 0);
  simulation_tick();
  EXPECT_EQ(best_lap_ticks, 3000) << "a slower lap keeps the best";
}

struct attempt_case {
  const char* what;
  const char* fast_before;  // null: no fast-lap demo
  int ghost_ahead;          // the ghost has more crossings than the local rider
  const char* fast_after;
  int fail_write;
};

TEST_F(TimeTrial, EndOfAttemptKeepsTheFasterGhost) {
  const attempt_case cases[] = {
      {"no ghost yet", nullptr, 0, "LAST", 0},
      {"ahead of the ghost", "FAST", 0, "LAST", 0},
      {"behind the ghost", "FAST", 1, "FAST", 0},
      {"failing copy keeps the old ghost", "FAST", 0, "FAST", 1},
  };
  const int f = route.first_lap_gates;
  for (const attempt_case& c : cases) {
    fs::remove(track_file("fastlap.bkdemo"));
    put(track_file("lastlap.bkdemo"), "LAST");
    if (c.fast_before) put(track_file("fastlap.bkdemo"), c.fast_before);
    rider* ghost = recorded(1);
    rider_truncate_timing(rider_slots[0], 0);
    if (c.ghost_ahead) complete_lap(ghost, 5000), rider_set_timing_tick(ghost, 40, 9000);
    for (int s = 2; s < 6; s++) recorded(s);
    lap_crossings = {{0, 2500}};
    file_replace_ops_table saved = file_replace_ops;
    if (c.fail_write) file_replace_ops.write = [](int, const void*, size_t) -> ssize_t { return -1; };
    const int first_line = message_ring.write_index;
    calls.clear();
    race_clock.current_tick = 38400;
    simulation_tick();
    file_replace_ops = saved;
    EXPECT_EQ(test_read_file(track_file("fastlap.bkdemo").string()), c.fast_after) << c.what;
    if (c.fail_write) {
      EXPECT_NE(race_test_console_since(first_line), "") << c.what;
    }
    EXPECT_EQ(last_lap_ticks, 2500) << c.what;
    EXPECT_EQ(best_lap_ticks, 2500) << c.what;
    const std::vector<std::string> want = {"tic 38400", "write 0", "ahead", "close", "write 1", "stop",
                                           "ghost @quarrybend/fastlap.bkdemo", "next", "map 0 1", "next",
                                           "start", "write 1", "finish"};
    EXPECT_EQ(calls, want) << c.what;
    ASSERT_NE(rider_slots[1], nullptr) << c.what;
    EXPECT_EQ(rider_slot_kind[1], RIDER_REMOTE);
    EXPECT_STREQ(rider_number_text(rider_slots[1]), "5");
    EXPECT_EQ(rider_next_timing_index(rider_slots[1]), f - 1) << "cut at F - 1";
    for (int s = 2; s < 160; s++) EXPECT_EQ(rider_slots[s], nullptr) << s;
    EXPECT_EQ(rider_next_timing_index(rider_slots[0]), f - 1) << c.what;
    best_lap_ticks = 0;
  }
}

}  // namespace
