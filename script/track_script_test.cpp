#include "script/track_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "script/script_host.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

std::string console_text() {
  std::string text;
  for (int i = 0; i < message_ring_size; i++) text += message_ring.lines[(message_ring.write_index + i) % message_ring_size];
  return text;
}

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

struct TrackScriptTest : testing::Test {
  std::string path = std::string(test_root()) + "/frills.js";
  void SetUp() override {
    message_ring_clear();
    race_clock = {};
    running_order = {};
    route.first_lap_gates = 0;
    route.normal_lap_gates = 0;
    script_load_budget_ms = 2000;
    script_hook_budget_ms = 50;
  }
  void TearDown() override {
    free_track_script();
    std::remove(path.c_str());
    script_load_budget_ms = 2000;
    script_hook_budget_ms = 50;
  }
  void write(const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  // A global of the script, as text.
  std::string global(const char* expression) {
    duk_context* c = track_script->context;
    if (duk_peval_string(c, expression) != 0) return "error";
    std::string value = duk_safe_to_string(c, -1);
    duk_pop(c);
    return value;
  }
};

TEST_F(TrackScriptTest, WithoutAFileThereIsNoHostAndTheHooksReturnAtOnce) {
  EXPECT_EQ(load_track_script(path.c_str()), 0);
  EXPECT_EQ(track_script, nullptr);
  call_tic_handler();
  call_frame_handler();
  EXPECT_EQ(console_text(), "");
}

TEST_F(TrackScriptTest, PreludeAndHooksHandTheScriptSeconds) {
  route.first_lap_gates = 4;
  route.normal_lap_gates = 0;
  running_order.count = 2;
  running_order.entries[0] = {3, 5, 640};
  running_order.entries[1] = {1, 4, 512};
  write("var tics = [], frames = [];\n"
        "bk.tic_handler = function (s) { tics.push(s); };\n"
        "bk.frame_handler = function (s) { frames.push(s); };\n");
  ASSERT_EQ(load_track_script(path.c_str()), 1);
  EXPECT_EQ(global("[bk.index_to_lap(3), bk.index_to_lap(100), bk.lap_to_index(0), bk.lap_to_index(2)].join()"),
            "0,0,0,3");
  EXPECT_EQ(global("JSON.stringify(bk.get_running_order())"),
            "[{\"slot\":3,\"position\":5,\"time\":5},{\"slot\":1,\"position\":4,\"time\":4}]");
  EXPECT_EQ(global("[bk.max_slots, bk.tics_per_second, bk.seconds_per_tic].join()"), "160,128,0.0078125");

  race_clock.current_tick = 256;
  race_clock.network_display_delay = 64;
  call_tic_handler();
  call_frame_handler();
  race_clock.network_display_delay = 1000;  // the shown tick never goes below 0
  call_tic_handler();
  EXPECT_EQ(global("tics.join()"), "1.5,0");
  EXPECT_EQ(global("frames.join()"), "1.5");
  // Without a handler the wrapper skips the call.
  ASSERT_EQ(global("delete bk.tic_handler"), "true");
  call_tic_handler();
  EXPECT_STREQ(script_last_error(track_script), "");
  EXPECT_EQ(global("tics.length"), "2");
}

TEST_F(TrackScriptTest, ErrorsAtLoadArePrintedAndTheFirstHookErrorIsLogged) {
  write("bk.message('loaded');\nbk.tic_handler = function () { undefined_thing(); };\nthrow new Error('late');\n");
  test_log_begin();
  ASSERT_EQ(load_track_script(path.c_str()), 1);
  call_tic_handler();
  call_tic_handler();
  const std::string log = test_log_text();
  test_log_end();
  const std::string console = console_text();
  EXPECT_EQ(count_of(console, "loaded"), 1);
  EXPECT_EQ(count_of(console, "javascript error: Error: late"), 1);
  EXPECT_EQ(count_of(console, "javascript error in"), 0);
  EXPECT_EQ(count_of(log, "javascript error in tic hook: ReferenceError"), 1) << log;
}

TEST_F(TrackScriptTest, AScriptOverItsBudgetIsStoppedOnceAndRunsAgainAfterTheNextLoad) {
  struct row {
    const char* name;
    const char* source;
    void (*hook)();
  } rows[] = {
      {"top level", "bk.message('start');\nfor (;;) {}\n", nullptr},
      {"tick hook", "bk.message('start');\nbk.tic_handler = function () { for (;;) {} };\n", call_tic_handler},
      {"frame hook", "bk.message('start');\nbk.frame_handler = function () { for (;;) {} };\n", call_frame_handler},
  };
  script_load_budget_ms = 200;
  script_hook_budget_ms = 30;
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    message_ring_clear();
    write(r.source);
    ASSERT_EQ(load_track_script(path.c_str()), 1);
    for (int i = 0; i < 3; i++) {
      if (r.hook) r.hook();
      call_tic_handler();
      call_frame_handler();
    }
    const std::string line = "Track script \"" + path + "\" stopped: it ran over " +
                             std::to_string(r.hook ? script_hook_budget_ms : script_load_budget_ms) + " ms";
    EXPECT_EQ(count_of(console_text(), line), 1) << console_text();
    EXPECT_EQ(count_of(console_text(), "javascript error"), 0);
    EXPECT_EQ(track_script_hooks_off, 1);
    // The next race loads it afresh.
    free_track_script();
    ASSERT_EQ(load_track_script(path.c_str()), 1);
    EXPECT_EQ(count_of(console_text(), "start"), 2);
    EXPECT_EQ(track_script_hooks_off, r.hook ? 0 : 1);
    free_track_script();
  }
}

TEST_F(TrackScriptTest, AHookThatRunsOutOfMemoryLeavesAnErrorAndTheNextCallWorks) {
  write("var calls = 0;\n"
        "bk.tic_handler = function () { if (calls++ == 0) { var s = 'x'; for (;;) s = s + s; } };\n");
  ASSERT_EQ(load_track_script(path.c_str()), 1);
  call_tic_handler();
  EXPECT_NE(std::string(script_last_error(track_script)), "");
  call_tic_handler();
  EXPECT_STREQ(script_last_error(track_script), "");
  EXPECT_EQ(global("calls"), "2");
}

TEST_F(TrackScriptTest, ResetsFreeEveryHeap) {
  write("var big = []; for (var i = 0; i < 1000; i++) big.push({ i: i, s: 'entry ' + i });\n");
  for (int i = 0; i < 3; i++) {
    free_track_script();
    ASSERT_EQ(load_track_script(path.c_str()), 1);
  }
  // The leak check at exit sees anything the three heaps left behind.
}

}  // namespace
