#include "race/frame_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "core/console_settings.h"
#include "core/file_index.h"
#include "core/game_clock.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "platform/input.h"
#include "core/running_order.h"
#include "race/bike_setup.h"
#include "race/control_bindings.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/setup_baseline.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_edit.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

const double tick = 1.0 / 128.0;

// The injected world: a clock that only moves when told (or slept), a
// queue of stamped events, and no window.
struct fake_event {
  int code, pressed;
  double stamp;
};
double fake_now;
std::deque<fake_event> fake_events;
int ticks_run;
std::vector<float> throttle_per_tick;
int pixels_ok = 1;

double now_fn() { return fake_now; }
void sleep_fn(double s) { fake_now += s; }
int get_event_fn(int* code, int* pressed) {
  if (fake_events.empty()) return 0;
  *code = fake_events.front().code;
  *pressed = fake_events.front().pressed;
  fake_events.pop_front();
  return 1;
}
int get_event_before_fn(int* code, int* pressed, double deadline) {
  if (fake_events.empty() || fake_events.front().stamp > deadline) return 0;
  return get_event_fn(code, pressed);
}
int no_frame(int*, int*) { return 0; }
int end_frame_fn() { return 1; }
int read_pixels_fn(uint8_t* rgb, int width, int height) {
  std::memset(rgb, 0x80, (size_t)width * height * 3);
  return pixels_ok;
}

void count_tick() {
  ticks_run++;
  rider* r = slot_rider(0);
  throttle_per_tick.push_back(r ? r->throttle : -1.0f);
}

const int throttle_code = 200, pause_code = 201, step_code = 202, prev_code = 203, next_code = 204,
          chat_code = 205, shot_code = 206, esc_code = 207;

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_io = frame_io;
    frame_io = {now_fn, sleep_fn, get_event_fn, get_event_before_fn, no_frame, end_frame_fn, read_pixels_fn,
                nullptr, nullptr, nullptr};
    fake_now = 0;
    fake_events.clear();
    ticks_run = 0;
    throttle_per_tick.clear();
    pixels_ok = 1;
    race_hooks = {};
    race_hooks.simulation_tick = count_tick;
    loop_options = {};
    loop_options.show_hud = 1;
    game_state.connect_target = nullptr;
    game_state.track_dir = "fake";  // a track "loaded": the loop leaves view mode 5
    game_state.editor_enabled = 0;
    game_state.frame_advance_min = game_state.frame_advance_max = 0;
    for (int& h : game_state.frame_time_histogram) h = 0;
    game_state.menu_key_codes[menu_key_esc] = esc_code;
    control_bindings_reset();
    control_bindings[binding_throttle].key_code = throttle_code;
    control_bindings[binding_pause].key_code = pause_code;
    control_bindings[binding_step].key_code = step_code;
    control_bindings[binding_prev].key_code = prev_code;
    control_bindings[binding_next].key_code = next_code;
    control_bindings[binding_console].key_code = chat_code;
    control_bindings[binding_screenshot].key_code = shot_code;
    menu_page = -1;
    viewed_slot = race_no_slot;
    running_order_clear();
    spy = 0;
    erode_level = 0;
    frame_loop_start(0.0);
  }
  void TearDown() override {
    frame_io = saved_io;
    race_hooks = {};
    game_state.track_dir = nullptr;
    game_state.connect_target = nullptr;
    loop_options = {};
    menu_page = -1;
  }
  // One pass whose frame took `seconds` of wall time.
  int frame(double seconds) {
    fake_now += seconds;
    const int before = ticks_run;
    frame_loop_pass();
    return ticks_run - before;
  }
  void press(int code) { frame_handle_event(code, 1); }
  frame_loop_io saved_io;
};

TEST_F(FrameLoop, FrameTimingTable) {
  struct {
    const char* what;
    double lock_fps;
    int warp;
    double seconds;
    int ticks;
  } const cases[] = {
      {"a 1 s frame advances 0.125 s", 0, 0, 1.0, 16},
      {"a frame of 3 ticks", 0, 0, 3 * tick, 3},
      {"a short frame waits for one tick", 0, 0, 0.001, 1},
      {"--lock-fps 32 after a short frame", 32, 0, 0.001, 4},
      {"--lock-fps 32 after a long frame", 32, 0, 1.0, 4},
      {"--warp", 0, 1, 0.001, 100},
  };
  for (const auto& c : cases) {
    loop_options.lock_fps = c.lock_fps;
    loop_options.warp = c.warp;
    EXPECT_EQ(frame(c.seconds), c.ticks) << c.what;
  }
  EXPECT_DOUBLE_EQ(game_state.frame_advance_min, tick);
  EXPECT_DOUBLE_EQ(game_state.frame_advance_max, 100 * tick);
}

TEST_F(FrameLoop, HistogramBinsByWallTime) {
  const struct {
    double seconds;
    int bin;
  } cases[] = {{0.5 * tick, 0}, {1.5 * tick, 1}, {3 * tick, 2}, {50 * tick, 6}, {1.0, 7}};
  for (const auto& c : cases) {
    for (int& h : game_state.frame_time_histogram) h = 0;
    frame(c.seconds);
    for (int k = 0; k < 8; k++) EXPECT_EQ(game_state.frame_time_histogram[k], k == c.bin ? 1 : 0) << c.seconds;
  }
}

TEST_F(FrameLoop, OnlineCorrectionTowardsTheServer) {
  const struct {
    double lag;
    int before_drop;
    double factor;
  } cases[] = {{-0.5, 1, 0.75}, {0, 1, 1.0}, {0.5, 1, 2.5},  {-0.5, 0, 0.75},
               {0, 0, 1.0},     {0.5, 0, 1.125}, {-2, 0, 0.5}, {0.05, 0, 1.05}};
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(online_advance(0.1, c.lag, c.before_drop), 0.1 * c.factor) << c.lag << " " << c.before_drop;

  // Through the loop: the server 65 ticks ahead before the drop (lag 0.5 s).
  game_state.connect_target = "server";
  race_hooks.net_server_time_estimate = [] { return 65; };
  race_clock.current_tick = 0;
  race_clock.gate_drop_tick = 1000;
  const double target = frame_loop.sim_target;
  frame(0.1);
  EXPECT_DOUBLE_EQ(frame_loop.sim_target - target, 0.1 * 2.5);
}

TEST_F(FrameLoop, PauseAndStepOfflineOnlyWhilePaused) {
  frame_loop.view_mode = view_race;
  press(step_code);  // not paused: nothing
  EXPECT_EQ(ticks_run, 0);
  press(pause_code);
  EXPECT_EQ(frame_loop.paused, 1);
  press(step_code);
  EXPECT_EQ(ticks_run, 1);
  EXPECT_EQ(frame(1.0), 0);  // paused: no ticks
  press(pause_code);
  EXPECT_EQ(frame_loop.paused, 0);

  game_state.connect_target = "server";
  press(pause_code);
  EXPECT_EQ(frame_loop.paused, 0);
}

TEST_F(FrameLoop, TabCyclesTheViews) {
  const int plain[] = {view_chase, view_race, view_onbike, view_chase};
  frame_loop.view_mode = view_onbike;
  for (int expected : plain) {
    press(9);
    EXPECT_EQ(frame_loop.view_mode, expected);
  }
  game_state.editor_enabled = 1;
  const int editor[] = {view_race, view_onbike, view_editor, view_chase};
  for (int expected : editor) {
    press(9);
    EXPECT_EQ(frame_loop.view_mode, expected);
  }
  frame_loop.view_mode = view_loading;
  press(9);
  EXPECT_EQ(frame_loop.view_mode, view_loading);
}

TEST_F(FrameLoop, PreviousAndNextWalkTheRunningOrder) {
  frame_loop.view_mode = view_race;
  frame_loop.local_view = 0;
  press(next_code);  // no order: nothing
  EXPECT_EQ(viewed_slot, race_no_slot);
  running_order.count = 3;
  running_order.entries[0] = {4, 3, 100};
  running_order.entries[1] = {7, 2, 90};
  running_order.entries[2] = {9, 2, 95};
  press(prev_code);  // not in the order: counts as the end
  EXPECT_EQ(viewed_slot, 9);
  const struct {
    int code, slot;
  } steps[] = {{next_code, 9}, {prev_code, 7}, {prev_code, 4}, {prev_code, 4}, {next_code, 7}};
  for (const auto& s : steps) {
    press(s.code);
    EXPECT_EQ(viewed_slot, s.slot);
  }
  frame_loop.local_view = 1;  // riding: only a spy may look at others
  press(next_code);
  EXPECT_EQ(viewed_slot, 7);
  spy = 1;
  press(next_code);
  EXPECT_EQ(viewed_slot, 9);
}

TEST_F(FrameLoop, DigitsChooseTheRaceCamera) {
  growable_array_init(&track_cameras, sizeof(track_camera), 4);
  track_cameras.count = 3;
  frame_loop.view_mode = view_race;
  const struct {
    char digit;
    int choice;
  } cases[] = {{'2', 1}, {'9', 2}, {'0', -1}, {'1', 0}, {'3', 2}};
  for (const auto& c : cases) {
    press(c.digit);
    EXPECT_EQ(race_camera_choice, c.choice) << c.digit;
  }
  track_cameras.count = 0;
  press('1');
  EXPECT_EQ(race_camera_choice, -1);
  growable_array_free(&track_cameras);
}

TEST_F(FrameLoop, MenusTakeKeysAndTheChatKeyOpensTheConsole) {
  static std::vector<int> menu_keys;
  menu_keys.clear();
  race_hooks.menu_key = [](int code, int) { menu_keys.push_back(code); };
  frame_loop.view_mode = view_race;
  press(chat_code);
  EXPECT_EQ(menu_page, 16);
  press(esc_code);  // closes it
  EXPECT_EQ(menu_page, -1);
  press(esc_code);  // opens the main menu, which sees the esc
  EXPECT_EQ(menu_page, 0);
  frame_handle_event(throttle_code, 0);  // releases never reach the menus
  press(throttle_code);
  EXPECT_EQ(menu_keys, (std::vector<int>{esc_code, throttle_code}));
  press(pause_code);  // the menu has it, not the pause
  EXPECT_EQ(frame_loop.paused, 0);
}

// The pointer moving and the button going down in one batch of events (a
// quick hand, or a remote desktop) must click where the pointer is now,
// not where this frame's hover last saw it.
TEST_F(FrameLoop, AClickSeesThePointerWhereItIsNow) {
  static int pointer[2];
  static char axis_x, axis_y;
  static std::vector<std::string> calls;
  calls.clear();
  const int click_code = 208;
  axis_handle* saved_axes[2] = {game_state.cursor_axes[0], game_state.cursor_axes[1]};
  game_state.cursor_axes[0] = reinterpret_cast<axis_handle*>(&axis_x);
  game_state.cursor_axes[1] = reinterpret_cast<axis_handle*>(&axis_y);
  frame_io.read_axis = [](axis_handle* a) { return a == reinterpret_cast<axis_handle*>(&axis_x) ? pointer[0] : pointer[1]; };
  game_state.menu_key_codes[menu_key_cursor_left] = click_code;
  race_hooks.menu_hover_select = [] {
    calls.push_back("hover " + std::to_string(game_state.cursor_x) + "," + std::to_string(game_state.cursor_y));
  };
  race_hooks.menu_key = [](int code, int) {
    calls.push_back("key " + std::to_string(code) + " at " + std::to_string(game_state.cursor_x) + "," +
                    std::to_string(game_state.cursor_y));
  };
  // Pumping the events moves the pointer, after this frame's hover.
  static int move_on_pump;
  move_on_pump = 0;
  auto pump = [](int* code, int* pressed) {
    if (move_on_pump && !fake_events.empty()) pointer[0] = 100, pointer[1] = 136;
    return get_event_fn(code, pressed);
  };
  frame_io.get_event = pump;
  frame_io.get_event_before = [](int* code, int* pressed, double deadline) {
    if (move_on_pump && !fake_events.empty()) pointer[0] = 100, pointer[1] = 136;
    return get_event_before_fn(code, pressed, deadline);
  };
  menu_page = 0;
  pointer[0] = 5, pointer[1] = 5;
  frame(tick);
  move_on_pump = 1;
  fake_events.push_back({click_code, 1, fake_now});
  frame(tick);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "hover 5,5");
  EXPECT_EQ(calls[calls.size() - 3], "hover 5,5");  // this frame's, before the pump
  EXPECT_EQ(calls[calls.size() - 2], "hover 100,136");
  EXPECT_EQ(calls.back(), "key 208 at 100,136");
  game_state.cursor_axes[0] = saved_axes[0];
  game_state.cursor_axes[1] = saved_axes[1];
  game_state.menu_key_codes[menu_key_cursor_left] = 0;
  game_state.mouse_held = 0;
}

TEST_F(FrameLoop, CloseEndsTheLoop) {
  fake_events.push_back({input_code_close, 1, 0.0});
  frame(tick);
  EXPECT_EQ(game_state.quit_requested, 1);
  EXPECT_EQ(frame_loop_pass(), 0);
  game_state.quit_requested = 0;
}

// Test scripts wait for each press to arrive before they send the next:
// one line a key or button press, whatever the game then does with it
// (here the menu takes it); releases and typed characters add none.
TEST_F(FrameLoop, EachPressTakenIsNotedForTheScripts) {
  const std::string path = std::string(test_root()) + "/presses_taken.txt";
  std::remove(path.c_str());
  ASSERT_EQ(setenv("BK_PRESS_FILE", path.c_str(), 1), 0);
  menu_page = 0;
  const int s_key = input_code_key + 0x1F;
  for (const fake_event& e : {fake_event{s_key, 1, fake_now}, fake_event{'s', 1, fake_now}, fake_event{s_key, 0, fake_now},
                              fake_event{input_code_mouse_left, 1, fake_now},
                              fake_event{input_code_mouse_left, 0, fake_now}})
    fake_events.push_back(e);
  frame(tick);
  unsetenv("BK_PRESS_FILE");
  EXPECT_TRUE(fake_events.empty());
  EXPECT_EQ(test_read_file(path), "0x101f\n0x2000\n");
}

TEST_F(FrameLoop, ScreenshotsFollowTheHighestNumberInTheIndex) {
  for (const char* name : {"screenshot007.png", "screenshot012.png", "screenshots.txt"}) {
    FILE* f = std::fopen((std::string(std::getenv("BK_HOME")) + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  free_file_index();
  file_index_build();
  game_state.screenshot_counter = 0;
  game_state.screen_width = 8;
  game_state.screen_height = 4;
  frame_loop.view_mode = view_race;
  const int first = message_ring.write_index;
  press(shot_code);
  press(shot_code);
  pixels_ok = 0;
  press(shot_code);
  const std::string console = race_test_console_since(first);
  EXPECT_NE(console.find("Saved \"screenshot013.png\""), std::string::npos) << console;
  EXPECT_NE(console.find("Saved \"screenshot014.png\""), std::string::npos) << console;
  EXPECT_EQ(console.find("Saved \"screenshot015.png\""), std::string::npos) << console;
  EXPECT_NE(console.find("screenshot015.png"), std::string::npos) << console;
  const std::string home = std::string(test_root()) + "/xdg/Brakkan/";
  EXPECT_EQ(test_read_file(home + "screenshot013.png").substr(1, 3), "PNG");
  EXPECT_EQ(test_read_file(home + "screenshot014.png").substr(1, 3), "PNG");
  free_file_index();
}

TEST_F(FrameLoop, SetupReportOnlyWhenSomethingChanged) {
  const bike_setup_record saved = bike_setup;
  const int saved_filter = spam_filter;
  spam_filter = 0;
  setup_baseline_take();
  game_clock = 100;
  game_state.setup_report_time = 0;
  int first = message_ring.write_index;
  setup_change_report();
  EXPECT_EQ(race_test_console_since(first), "");
  EXPECT_DOUBLE_EQ(game_state.setup_report_time, 105);

  bike_setup.leveling += 1;
  bike_setup.rider_mass_distribution += 0.1;
  for (bike_setup_baseline_row& row : bike_setup_baseline)
    if (*row.value != row.baseline) row.changed = 1;
  setup_change_report();  // not yet 5 s later
  EXPECT_EQ(race_test_console_since(first), "");
  game_clock = 105;
  setup_change_report();
  EXPECT_EQ(race_test_console_since(first), "[SPAM] Setup change l-------------------------------------m\n\n");
  for (const bike_setup_baseline_row& row : bike_setup_baseline) EXPECT_EQ(row.changed, 0);
  EXPECT_DOUBLE_EQ(bike_setup_baseline[0].baseline, bike_setup.leveling);
  bike_setup = saved;
  spam_filter = saved_filter;
  game_clock = 0;
}

TEST_F(FrameLoop, ErosionWaitsForAnErosionLevel) {
  erode_queue.count = 3;
  frame_loop.view_mode = view_race;
  frame(tick);
  EXPECT_EQ(erode_queue.count, 3);
  erode_queue_reset();
}

TEST_F(FrameLoop, ReshadeDelayCountsFromTheNextFrame) {
  double delay = 8;
  frame_loop.reshade_delay = &delay;
  frame_loop.view_mode = view_race;
  frame(tick);
  EXPECT_EQ(upload_interval, 255u);
  delay = 3;  // the slider moved
  frame(tick);
  EXPECT_EQ(upload_interval, 7u);
  frame_loop.reshade_delay = nullptr;
}

// With the sample track and a local rider.
class FrameLoopRace : public FrameLoop {
 protected:
  void SetUp() override {
    FrameLoop::SetUp();
    race_test_open();
    race_hooks.simulation_tick = count_tick;
    for (int& c : game_state.line_up) c = 0;
    game_state.line_up[0] = line_up_local;
    ASSERT_EQ(reset_session(game_state.line_up, 0, 0, 0, 3, 0), 1);
    frame_loop_start(0.0);
  }
  void TearDown() override {
    race_test_close();
    FrameLoop::TearDown();
  }
};

TEST_F(FrameLoopRace, AnEventReachesTheRiderInTheTickItWasStampedIn) {
  // The frame covers 16 ticks; the press lands inside tick 6, the release
  // inside tick 11.
  fake_events.push_back({throttle_code, 1, 5.5 * tick});
  fake_events.push_back({throttle_code, 0, 10.25 * tick});
  EXPECT_EQ(frame(16 * tick), 16);
  ASSERT_EQ(throttle_per_tick.size(), 16u);
  for (int k = 1; k <= 16; k++)
    EXPECT_FLOAT_EQ(throttle_per_tick[k - 1], k >= 6 && k < 11 ? 1.0f : 0.0f) << "tick " << k;
}

TEST_F(FrameLoopRace, AnOpenMenuOfflineStopsTheRace) {
  static int menu_calls;
  menu_calls = 0;
  race_hooks.menu_key = [](int, int) { menu_calls++; };
  menu_page = 0;
  fake_events.push_back({throttle_code, 1, 1 * tick});
  EXPECT_EQ(frame(4 * tick), 0);
  EXPECT_TRUE(fake_events.empty());
  EXPECT_EQ(menu_calls, 1);
  EXPECT_FLOAT_EQ(slot_rider(0)->throttle, 0.0f);
}

TEST_F(FrameLoopRace, WarpTurnsTheLineUpOnceTheLeaderFinishes) {
  loop_options.warp = 1;
  race_laps_choice = 3;
  race_minutes = 0;
  ASSERT_GT(route.normal_lap_gates, 0);
  running_order.count = 1;
  // Two laps and a bit: not yet finished.
  running_order.entries[0] = {0, route.first_lap_gates + route.normal_lap_gates, 500};
  frame(tick);
  EXPECT_EQ(game_state.line_up[0], line_up_local);
  running_order.entries[0].crossings = route.first_lap_gates + 2 * route.normal_lap_gates;
  frame(tick);
  EXPECT_EQ(game_state.line_up[0], 0);
  EXPECT_EQ(game_state.line_up[1], line_up_local);
  EXPECT_EQ(rider_slot_kind[1], 0);
  EXPECT_EQ(viewed_slot, 1);
  EXPECT_EQ(running_order.count, 0);
}

}  // namespace

// The default keys through the frame loop's event handling, the bindings'
// values, apply_controls with the default bike setup and the real tick: the
// bike, ridden at a steady pace over flat ground, turns the way the key
// says, in the simple and the full steering model alike.
class SteeringKeys : public FrameLoopRace {
 protected:
  void SetUp() override {
    FrameLoopRace::SetUp();
    if (HasFatalFailure()) return;
    saved_setup = bike_setup;
    tick_install_hooks();
    const int size = track_field.size;
    for (int row = 0; row < size; row++)
      for (int column = 0; column < size; column++) terrain_set_height(&track_field, column, row, 6.0f);
    control_bindings_reset();
    for (int i = 0; i < control_binding_count; i++) {
      menu_binding& b = control_bindings[i];
      b.key_code = 0;
      ASSERT_TRUE(input_key_code_from_name(b.key_name, &b.key_code)) << b.key_name;
    }
  }
  void TearDown() override {
    bike_setup = saved_setup;
    FrameLoopRace::TearDown();
  }
  // The forward direction (x, z) of the viewed rider's frame.
  static void forward(double f[2]) {
    const dReal* m = dBodyGetRotation(rider_frame_body(slot_rider(viewed_slot)));
    f[0] = -m[2];
    f[1] = -m[10];
  }
  bike_setup_record saved_setup;
};

TEST_F(SteeringKeys, RightTurnsRightAndLeftTurnsLeftWithTheDefaults) {
  const bike_setup_record defaults = bike_setup;
  ASSERT_EQ(defaults.reverse_steering, 1) << "the shipped default";
  const struct {
    const char* what;
    int binding, arcade, reverse;
    int turns;  // +1 right, -1 left
  } cases[] = {
      {"Right, simple steering", binding_right, 1, 1, 1},
      {"Left, simple steering", binding_left, 1, 1, -1},
      {"Right, full steering model", binding_right, 0, 1, 1},
      {"Left, full steering model", binding_left, 0, 1, -1},
      {"Right with Reversed Steering off", binding_right, 1, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bike_setup = defaults;
    bike_setup.reverse_steering = c.reverse;
    rider* r = slot_rider(viewed_slot);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(rider_slot_kind[viewed_slot], RIDER_LOCAL);
    const float middle = track_field.extent * 0.5f;
    place_rider_clear(r, middle, middle, 0.0f);
    rider_set_arcade(r, c.arcade);
    race_clock.current_tick = race_clock.gate_drop_tick + 256;
    frame_loop_start(fake_now);
    // Up to speed in a straight line, then a second on the steering key.
    const int throttle = control_bindings[binding_throttle].key_code;
    const int steer = control_bindings[c.binding].key_code;
    fake_events.push_back({throttle, 1, fake_now});
    for (int k = 0; k < 64; k++) frame(4 * tick);
    EXPECT_GT(rider_forward_speed_mph(r), 8.0f);
    double before[2], after[2];
    forward(before);
    fake_events.push_back({steer, 1, fake_now});
    for (int k = 0; k < 32; k++) frame(4 * tick);
    fake_events.push_back({steer, 0, fake_now});
    fake_events.push_back({throttle, 0, fake_now});
    frame(tick);
    forward(after);
    // The new heading's share along the old right-hand side (-f.z, f.x).
    const double rightward = after[0] * -before[1] + after[1] * before[0];
    EXPECT_GT(rightward * c.turns, 0.1) << "rightward " << rightward;
    // A second of full lock throws a rider of the full model down.
    if (c.arcade) {
      EXPECT_EQ(r->crash_count, 0);
    }
  }
}
