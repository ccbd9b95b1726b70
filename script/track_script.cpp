// The track script: loading it after a track, and its per-tick and
// per-frame hooks under their budgets.
#include "script/track_script.h"

#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "platform/log.h"
#include "race/race_hooks.h"
#include "script/script_host.h"
#include "script/script_natives.h"

script_host* track_script = nullptr;
int track_script_hooks_off = 0;
static int hook_error_logged = 0;
static char script_name[256];

const char* const script_prelude = R"js(
bk.get_running_order = function () {
  var order = [];
  var count = bk.get_running_count();
  for (var i = 0; i < count; i++)
    order.push({ slot: bk.get_running_order_slot(i), position: bk.get_running_order_position(i),
                 time: bk.get_running_order_time(i) * bk.seconds_per_tic });
  return order;
};
bk.frame_handler = function (tics) {};
bk.frame_handler_ = function (tics) {
  bk.seconds = tics * bk.seconds_per_tic;
  if ("frame_handler" in bk) bk.frame_handler(bk.seconds);
};
bk.tic_handler = function (tics) {};
bk.tic_handler_ = function (tics) {
  bk.seconds = tics * bk.seconds_per_tic;
  if ("tic_handler" in bk) bk.tic_handler(bk.seconds);
};
bk.lap_to_index = function (lap) {
  if (lap == 0) return 0;
  return bk.first_lap_length + bk.normal_lap_length * (lap - 1) - 1;
};
bk.index_to_lap = function (index) {
  if (bk.normal_lap_length == 0 || index < bk.first_lap_length) return 0;
  return 1 + Math.floor((index - bk.first_lap_length) / bk.normal_lap_length);
};
bk.get_position = function (slot) {
  var a = [0, 0, 0];
  return bk.get_position_(slot, a) ? a : null;
};
bk.get_velocity = function (slot) {
  var a = [0, 0, 0];
  return bk.get_velocity_(slot, a) ? a : null;
};
bk.max_slots = bk.get_max_slots();
bk.first_lap_length = bk.get_first_lap_length();
bk.normal_lap_length = bk.get_normal_lap_length();
bk.seconds_per_tic = bk.get_seconds_per_tic();
bk.tics_per_second = 1 / bk.seconds_per_tic;
)js";

// After every entry: a script that ran over its budget is stopped for the
// rest of the race, with one line.
static int check_budget(script_host* host) {
  if (!host->budget_spent) return 1;
  console_printf("Track script \"%s\" stopped: it ran over %d ms\n", script_name, host->budget_ms);
  track_script_hooks_off = 1;
  return 0;
}

// One loading step under the load budget; 0 when it ran over.
static int run_loading(script_host* host, const char* source, const char* name) {
  script_set_budget(host, script_load_budget_ms);
  const int ok = script_eval_named(host, source, name);
  if (!check_budget(host)) return 0;
  if (!ok && script_last_error(host)[0]) console_printf("javascript error: %.900s\n", script_last_error(host));
  return 1;
}

int load_track_script(const char* path) {
  char* text = file_to_string(path);
  if (!text) return 0;
  script_host* host = script_host_create();
  if (!host) {
    check_free(text);
    return 0;
  }
  std::snprintf(script_name, sizeof script_name, "%s", path);
  track_script_hooks_off = 0;
  hook_error_logged = 0;
  script_register_natives(host, "bk", script_native_names, script_native_functions, script_native_arg_counts);
  track_script = host;
  if (run_loading(host, script_prelude, "prelude")) run_loading(host, text, path);
  script_set_budget(host, 0);
  check_free(text);
  return 1;
}

void free_track_script() {
  if (!track_script) return;
  script_host_destroy(track_script);
  track_script = nullptr;
  track_script_hooks_off = 0;
}

static void call_hook(const char* path, const char* which) {
  if (!track_script || track_script_hooks_off) return;
  int shown = race_clock.current_tick - race_clock.network_display_delay;
  if (shown < 0) shown = 0;
  char tick[16];
  std::snprintf(tick, sizeof tick, "%d", shown);
  script_set_budget(track_script, script_hook_budget_ms);
  script_call(track_script, path, tick, (const char*)nullptr);
  const int in_budget = check_budget(track_script);
  script_set_budget(track_script, 0);
  // A handler that fails every tick would flood the log; its first error
  // is enough to find it.
  if (in_budget && script_last_error(track_script)[0] && !hook_error_logged) {
    hook_error_logged = 1;
    log_printf("javascript error in %s hook: %.900s\n", which, script_last_error(track_script));
  }
}

void call_tic_handler() { call_hook("bk.tic_handler_", "tic"); }
void call_frame_handler() { call_hook("bk.frame_handler_", "frame"); }

void script_install_hooks() {
  race_hooks.load_track_script = [](const char* path) { load_track_script(path); };
  race_hooks.free_track_script = free_track_script;
  // The tick hands the shown tick; the handler works it out the same way.
  race_hooks.call_tic_handler = [](int) { call_tic_handler(); };
  race_hooks.call_frame_handler = call_frame_handler;
}
