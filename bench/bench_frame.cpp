// What a 60 fps frame costs on the sample track besides drawing, with 1,
// 10, 40 and 160 riders: a burst of key events, the local rider's controls
// ("action"), the erode queue fed at the riders' rut rate (about 44 entries
// a second each) and the terrain's level of detail ("update"). Each
// "*_share" counter is that phase's time per frame over the 1/60 s frame;
// "ieu_share" is input, erode and update together, and "frame_share" a
// whole pass of the frame loop (with its simulation tick while the race has
// one). Drawing is not timed: the test machines draw in software.
// Also the seconds race reset takes on the same track and with a reload.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>

#include "bike/rider.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "race/control_bindings.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/rut_message.h"
#include "terrain/terrain_lod.h"
#include "terrain/tiles.h"
#include "terrain/track.h"

namespace {

const double frame_seconds = 1.0 / 60.0;
const double ruts_per_rider_second = 44.0;
const int burst_events = 16;

struct stamped {
  int code, pressed;
  double stamp;
};
double clock_now;
std::deque<stamped> events;

double fake_now() { return clock_now; }
void fake_sleep(double s) { clock_now += s; }
int fake_get(int* code, int* pressed) {
  if (events.empty()) return 0;
  *code = events.front().code;
  *pressed = events.front().pressed;
  events.pop_front();
  return 1;
}
int fake_get_before(int* code, int* pressed, double deadline) {
  if (events.empty() || events.front().stamp > deadline) return 0;
  return fake_get(code, pressed);
}
int no_frame(int*, int*) { return 0; }
int frame_ended() { return 1; }
uint32_t fake_texture(const char*) { return 1; }

// The data generated for this run, removed when it ends.
std::string bench_root;
void remove_bench_root() {
  std::error_code ec;
  if (!bench_root.empty()) std::filesystem::remove_all(bench_root, ec);
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool open_data() {
  static int opened = -1;
  if (opened >= 0) return opened == 1;
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return (opened = 0);
  exe[n] = 0;
  *std::strrchr(exe, '/') = 0;
  char root[] = "/tmp/bk_bench_frame_XXXXXX";
  if (!mkdtemp(root)) return (opened = 0);
  bench_root = root;
  std::atexit(remove_bench_root);
  const std::string data = std::string(root) + "/data", user = std::string(root) + "/user";
  setenv("BK_HOME", data.c_str(), 1);
  setenv("XDG_DATA_HOME", user.c_str(), 1);
  setenv("PAVO_LOGFILE", (std::string(">") + root + "/log.txt").c_str(), 1);
  const std::string command = std::string(exe) + "/../bkdata build " + data + " >/dev/null";
  if (std::system(command.c_str()) != 0) return (opened = 0);
  terrain_textures = {};
  terrain_textures.load_texture = fake_texture;
  file_index_build();
  dynamics_open();
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  return (opened = 1);
}

// Slot 0 local, the rest robots.
int race_with(int riders) {
  for (int i = 0; i < line_up_slots; i++) game_state.line_up[i] = i == 0 ? line_up_local : i < riders ? line_up_robot : 0;
  return reset_session(game_state.line_up, 0, 0, 0, 3, 0);
}

// Rut entries for `count` riders over one frame, along the grid rows.
void feed_ruts(int riders, double* owed, int* row) {
  *owed += riders * ruts_per_rider_second * frame_seconds;
  rut_point points[rut_stroke_points];
  uint8_t message[rut_message_max_bytes];
  while (*owed >= 1.0) {
    const int n = *owed >= rut_stroke_points ? rut_stroke_points : (int)*owed;
    const float x0 = 100.0f + (float)((*row * 97) % 700), z = 100.0f + (float)((*row * 31) % 700);
    for (int i = 0; i < n; i++) points[i] = {x0 + (float)i, z, 0.9f, 0.2f, 7};
    const float low[2] = {1.0f, 0.0f}, high[2] = {1.0f, 0.0f};
    erode_queue_add_stroke(message, rut_message_encode(points, n, low, high, track_field.extent, message));
    *owed -= n;
    (*row)++;
  }
}

void queue_burst(double from) {
  const int codes[4] = {control_bindings[binding_throttle].key_code, control_bindings[binding_left].key_code,
                        control_bindings[binding_front_brake].key_code, control_bindings[binding_dab].key_code};
  for (int k = 0; k < burst_events; k++) events.push_back({codes[(k / 2) % 4], (k + 1) % 2, from + k * 0.0005});
}

void bm_frame(benchmark::State& state) {
  if (!open_data()) {
    state.SkipWithError("bkdata build failed");
    return;
  }
  const int riders = (int)state.range(0);
  if (!race_with(riders)) {
    state.SkipWithError("reset_session failed");
    return;
  }
  frame_io = {fake_now, fake_sleep, fake_get, fake_get_before, no_frame, frame_ended, nullptr, nullptr, nullptr, nullptr};
  for (int i = 0; i < control_binding_count; i++) control_bindings[i].key_code = 300 + i;
  menu_page = -1;
  erode_level = 1024;
  erode_queue_reset();
  clock_now = 0;
  frame_loop_start(0);
  static const double reshade_delay = 8;
  frame_loop.reshade_delay = &reshade_delay;

  double input = 0, action = 0, erode = 0, update = 0, whole = 0, owed = 0;
  int row = 0;
  rider* local = slot_rider(0);
  for (auto _ : state) {
    // The phases one at a time, as the loop runs them.
    queue_burst(clock_now);
    auto t = std::chrono::steady_clock::now();
    int code, pressed;
    while (fake_get(&code, &pressed)) frame_handle_event(code, pressed);
    input += seconds_since(t);

    t = std::chrono::steady_clock::now();
    apply_controls(local, frame_loop.rider_input);
    action += seconds_since(t);

    feed_ruts(riders, &owed, &row);
    t = std::chrono::steady_clock::now();
    const dReal* p = dBodyGetPosition(local->bodies[RIDER_FRAME]);
    const float viewer[3] = {(float)p[0], (float)p[1], (float)p[2]};
    erode_queue_process(viewer, erode_level / 1024.0f);
    erode += seconds_since(t);

    t = std::chrono::steady_clock::now();
    update_terrain_lod(&track_field);
    message_ring_expire();
    update += seconds_since(t);

    // And a whole pass of the loop over the same work.
    queue_burst(clock_now);
    feed_ruts(riders, &owed, &row);
    clock_now += frame_seconds;
    t = std::chrono::steady_clock::now();
    frame_loop_pass();
    whole += seconds_since(t);
  }
  const double frames = (double)state.iterations() * frame_seconds;
  state.counters["input_share"] = input / frames;
  state.counters["action_share"] = action / frames;
  state.counters["erode_share"] = erode / frames;
  state.counters["update_share"] = update / frames;
  state.counters["ieu_share"] = (input + erode + update) / frames;
  state.counters["frame_share"] = whole / frames;
  state.counters["tick_simulated"] = race_hooks.simulation_tick ? 1 : 0;
}

void bm_reset(benchmark::State& state) {
  if (!open_data()) {
    state.SkipWithError("bkdata build failed");
    return;
  }
  const int reload = (int)state.range(0);
  double seconds = 0;
  for (auto _ : state) {
    if (reload) track_reload_requested = 1;
    const auto t = std::chrono::steady_clock::now();
    if (!race_with(10)) {
      state.SkipWithError("reset_session failed");
      return;
    }
    seconds += seconds_since(t);
  }
  state.counters["reset_seconds"] = seconds / (double)state.iterations();
}

}  // namespace

BENCHMARK(bm_frame)->Arg(1)->Arg(10)->Arg(40)->Arg(160)->Unit(benchmark::kMillisecond)->Iterations(600);
BENCHMARK(bm_reset)->ArgName("reload")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
