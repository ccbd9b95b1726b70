// Race reset: ending one race and lining up the next on the grid.
#include "race/race_reset.h"

#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "assets/loading.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/rider_setters.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/random.h"
#include "core/running_order.h"
#include "platform/log.h"
#include "race/bike_setup.h"
#include "race/chase_camera.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/rider_look.h"
#include "race/setup_baseline.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/roost.h"
#include "terrain/track.h"

// Numbers 20 to 99; the nine bikes in turn. The skins (riding gear, helmet,
// bike, wheels) mix the sample data's coloured variants, so a field of
// robots shows many looks; a null skin is the bike's own.
const robot_roster_row robot_roster[robot_roster_size] = {
    {"20", "cobalt", "crf250",          nullptr,                  "@rider_head-yellow.png",  nullptr,                      nullptr},
    {"21", "cobalt", "kx250f",          "@rider_body-red.png",    "@rider_head-black.png",   "@kx250fv2008-black.png",     nullptr},
    {"22", "cobalt", "rmz250",          "@rider_body-green.png",  "@rider_head-red.png",     "@rmz250v2008-white.png",     nullptr},
    {"23", "cobalt", "yz250f",          "@rider_body-orange.png", nullptr,                   nullptr,                      "@wheels-black.png"},
    {"24", "cobalt", "kx125",           "@rider_body-white.png",  "@rider_head-blue.png",    "@kx125-black.png",           "@wheels-black.png"},
    {"25", "cobalt", "yz125",           "@rider_body-black.png",  "@rider_head-yellow.png",  "@yz125-white.png",           "@wheels-black.png"},
    {"26", "cobalt", "cr125",           "@rider_body-purple.png", "@rider_head-black.png",   nullptr,                      "@wheels-gold.png"},
    {"27", "cobalt", "rm125",           nullptr,                  "@rider_head-red.png",     "@rm125-black.png",           "@wheels-gold.png"},
    {"28", "cobalt", "yz250f_se(2006)", "@rider_body-red.png",    nullptr,                   "@yz250f_sev2006-white.png",  "@wheels-gold.png"},
    {"29", "cobalt", "crf250",          "@rider_body-green.png",  "@rider_head-blue.png",    "@crf250v2008-black.png",     "@wheels-red.png"},
    {"30", "cobalt", "kx250f",          "@rider_body-orange.png", "@rider_head-yellow.png",  "@kx250fv2008-white.png",     "@wheels-red.png"},
    {"31", "cobalt", "rmz250",          "@rider_body-white.png",  "@rider_head-black.png",   nullptr,                      "@wheels-red.png"},
    {"32", "cobalt", "yz250f",          "@rider_body-black.png",  "@rider_head-red.png",     "@yz250fv2008-black.png",     nullptr},
    {"33", "cobalt", "kx125",           "@rider_body-purple.png", nullptr,                   "@kx125-white.png",           nullptr},
    {"34", "cobalt", "yz125",           nullptr,                  "@rider_head-blue.png",    nullptr,                      nullptr},
    {"35", "cobalt", "cr125",           "@rider_body-red.png",    "@rider_head-yellow.png",  "@cr125-black.png",           "@wheels-black.png"},
    {"36", "cobalt", "rm125",           "@rider_body-green.png",  "@rider_head-black.png",   "@rm125-white.png",           "@wheels-black.png"},
    {"37", "cobalt", "yz250f_se(2006)", "@rider_body-orange.png", "@rider_head-red.png",     nullptr,                      "@wheels-black.png"},
    {"38", "cobalt", "crf250",          "@rider_body-white.png",  nullptr,                   "@crf250v2008-white.png",     "@wheels-gold.png"},
    {"39", "cobalt", "kx250f",          "@rider_body-black.png",  "@rider_head-blue.png",    nullptr,                      "@wheels-gold.png"},
    {"40", "cobalt", "rmz250",          "@rider_body-purple.png", "@rider_head-yellow.png",  "@rmz250v2008-black.png",     "@wheels-gold.png"},
    {"41", "cobalt", "yz250f",          nullptr,                  "@rider_head-black.png",   "@yz250fv2008-white.png",     "@wheels-red.png"},
    {"42", "cobalt", "kx125",           "@rider_body-red.png",    "@rider_head-red.png",     nullptr,                      "@wheels-red.png"},
    {"43", "cobalt", "yz125",           "@rider_body-green.png",  nullptr,                   "@yz125-black.png",           "@wheels-red.png"},
    {"44", "cobalt", "cr125",           "@rider_body-orange.png", "@rider_head-blue.png",    "@cr125-white.png",           nullptr},
    {"45", "cobalt", "rm125",           "@rider_body-white.png",  "@rider_head-yellow.png",  nullptr,                      nullptr},
    {"46", "cobalt", "yz250f_se(2006)", "@rider_body-black.png",  "@rider_head-black.png",   "@yz250f_sev2006-black.png",  nullptr},
    {"47", "cobalt", "crf250",          "@rider_body-purple.png", "@rider_head-red.png",     nullptr,                      "@wheels-black.png"},
    {"48", "cobalt", "kx250f",          nullptr,                  nullptr,                   "@kx250fv2008-black.png",     "@wheels-black.png"},
    {"49", "cobalt", "rmz250",          "@rider_body-red.png",    "@rider_head-blue.png",    "@rmz250v2008-white.png",     "@wheels-black.png"},
    {"50", "cobalt", "yz250f",          "@rider_body-green.png",  "@rider_head-yellow.png",  nullptr,                      "@wheels-gold.png"},
    {"51", "cobalt", "kx125",           "@rider_body-orange.png", "@rider_head-black.png",   "@kx125-black.png",           "@wheels-gold.png"},
    {"52", "cobalt", "yz125",           "@rider_body-white.png",  "@rider_head-red.png",     "@yz125-white.png",           "@wheels-gold.png"},
    {"53", "cobalt", "cr125",           "@rider_body-black.png",  nullptr,                   nullptr,                      "@wheels-red.png"},
    {"54", "cobalt", "rm125",           "@rider_body-purple.png", "@rider_head-blue.png",    "@rm125-black.png",           "@wheels-red.png"},
    {"55", "cobalt", "yz250f_se(2006)", nullptr,                  "@rider_head-yellow.png",  "@yz250f_sev2006-white.png",  "@wheels-red.png"},
    {"56", "cobalt", "crf250",          "@rider_body-red.png",    "@rider_head-black.png",   "@crf250v2008-black.png",     nullptr},
    {"57", "cobalt", "kx250f",          "@rider_body-green.png",  "@rider_head-red.png",     "@kx250fv2008-white.png",     nullptr},
    {"58", "cobalt", "rmz250",          "@rider_body-orange.png", nullptr,                   nullptr,                      nullptr},
    {"59", "cobalt", "yz250f",          "@rider_body-white.png",  "@rider_head-blue.png",    "@yz250fv2008-black.png",     "@wheels-black.png"},
    {"60", "amber",  "kx125",           "@rider_body-black.png",  "@rider_head-yellow.png",  "@kx125-white.png",           "@wheels-black.png"},
    {"61", "amber",  "yz125",           "@rider_body-purple.png", "@rider_head-black.png",   nullptr,                      "@wheels-black.png"},
    {"62", "amber",  "cr125",           nullptr,                  "@rider_head-red.png",     "@cr125-black.png",           "@wheels-gold.png"},
    {"63", "amber",  "rm125",           "@rider_body-red.png",    nullptr,                   "@rm125-white.png",           "@wheels-gold.png"},
    {"64", "amber",  "yz250f_se(2006)", "@rider_body-green.png",  "@rider_head-blue.png",    nullptr,                      "@wheels-gold.png"},
    {"65", "amber",  "crf250",          "@rider_body-orange.png", "@rider_head-yellow.png",  "@crf250v2008-white.png",     "@wheels-red.png"},
    {"66", "amber",  "kx250f",          "@rider_body-white.png",  "@rider_head-black.png",   nullptr,                      "@wheels-red.png"},
    {"67", "amber",  "rmz250",          "@rider_body-black.png",  "@rider_head-red.png",     "@rmz250v2008-black.png",     "@wheels-red.png"},
    {"68", "amber",  "yz250f",          "@rider_body-purple.png", nullptr,                   "@yz250fv2008-white.png",     nullptr},
    {"69", "amber",  "kx125",           nullptr,                  "@rider_head-blue.png",    nullptr,                      nullptr},
    {"70", "amber",  "yz125",           "@rider_body-red.png",    "@rider_head-yellow.png",  "@yz125-black.png",           nullptr},
    {"71", "amber",  "cr125",           "@rider_body-green.png",  "@rider_head-black.png",   "@cr125-white.png",           "@wheels-black.png"},
    {"72", "amber",  "rm125",           "@rider_body-orange.png", "@rider_head-red.png",     nullptr,                      "@wheels-black.png"},
    {"73", "amber",  "yz250f_se(2006)", "@rider_body-white.png",  nullptr,                   "@yz250f_sev2006-black.png",  "@wheels-black.png"},
    {"74", "amber",  "crf250",          "@rider_body-black.png",  "@rider_head-blue.png",    nullptr,                      "@wheels-gold.png"},
    {"75", "amber",  "kx250f",          "@rider_body-purple.png", "@rider_head-yellow.png",  "@kx250fv2008-black.png",     "@wheels-gold.png"},
    {"76", "amber",  "rmz250",          nullptr,                  "@rider_head-black.png",   "@rmz250v2008-white.png",     "@wheels-gold.png"},
    {"77", "amber",  "yz250f",          "@rider_body-red.png",    "@rider_head-red.png",     nullptr,                      "@wheels-red.png"},
    {"78", "amber",  "kx125",           "@rider_body-green.png",  nullptr,                   "@kx125-black.png",           "@wheels-red.png"},
    {"79", "amber",  "yz125",           "@rider_body-orange.png", "@rider_head-blue.png",    "@yz125-white.png",           "@wheels-red.png"},
    {"80", "slate",  "cr125",           "@rider_body-white.png",  "@rider_head-yellow.png",  nullptr,                      nullptr},
    {"81", "slate",  "rm125",           "@rider_body-black.png",  "@rider_head-black.png",   "@rm125-black.png",           nullptr},
    {"82", "slate",  "yz250f_se(2006)", "@rider_body-purple.png", "@rider_head-red.png",     "@yz250f_sev2006-white.png",  nullptr},
    {"83", "slate",  "crf250",          nullptr,                  nullptr,                   "@crf250v2008-black.png",     "@wheels-black.png"},
    {"84", "slate",  "kx250f",          "@rider_body-red.png",    "@rider_head-blue.png",    "@kx250fv2008-white.png",     "@wheels-black.png"},
    {"85", "slate",  "rmz250",          "@rider_body-green.png",  "@rider_head-yellow.png",  nullptr,                      "@wheels-black.png"},
    {"86", "slate",  "yz250f",          "@rider_body-orange.png", "@rider_head-black.png",   "@yz250fv2008-black.png",     "@wheels-gold.png"},
    {"87", "slate",  "kx125",           "@rider_body-white.png",  "@rider_head-red.png",     "@kx125-white.png",           "@wheels-gold.png"},
    {"88", "slate",  "yz125",           "@rider_body-black.png",  nullptr,                   nullptr,                      "@wheels-gold.png"},
    {"89", "slate",  "cr125",           "@rider_body-purple.png", "@rider_head-blue.png",    "@cr125-black.png",           "@wheels-red.png"},
    {"90", "slate",  "rm125",           nullptr,                  "@rider_head-yellow.png",  "@rm125-white.png",           "@wheels-red.png"},
    {"91", "slate",  "yz250f_se(2006)", "@rider_body-red.png",    "@rider_head-black.png",   nullptr,                      "@wheels-red.png"},
    {"92", "slate",  "crf250",          "@rider_body-green.png",  "@rider_head-red.png",     "@crf250v2008-white.png",     nullptr},
    {"93", "slate",  "kx250f",          "@rider_body-orange.png", nullptr,                   nullptr,                      nullptr},
    {"94", "slate",  "rmz250",          "@rider_body-white.png",  "@rider_head-blue.png",    "@rmz250v2008-black.png",     nullptr},
    {"95", "slate",  "yz250f",          "@rider_body-black.png",  "@rider_head-yellow.png",  "@yz250fv2008-white.png",     "@wheels-black.png"},
    {"96", "slate",  "kx125",           "@rider_body-purple.png", "@rider_head-black.png",   nullptr,                      "@wheels-black.png"},
    {"97", "slate",  "yz125",           nullptr,                  "@rider_head-red.png",     "@yz125-black.png",           "@wheels-black.png"},
    {"98", "slate",  "cr125",           "@rider_body-red.png",    nullptr,                   "@cr125-white.png",           "@wheels-gold.png"},
    {"99", "slate",  "rm125",           "@rider_body-green.png",  "@rider_head-blue.png",    nullptr,                      "@wheels-gold.png"},
};

int robot_roster_order[robot_roster_size];
// Roster place of the next robot; past the last row the roster starts again.
int robot_counter;

namespace {

const double tick_seconds = 1.0 / 128.0;

int sticky_dab_held;      // the sticky dab is down
float sticky_dab_last;    // the dab input of the previous call

void show_done(const char* step) {
  char text[96];
  std::snprintf(text, sizeof text, "%.64s...done", step);
  loading_show(text);
}

// Loading text with a run of dots that grows as the bikes load, refreshed
// at most eight times a second (the last refresh is kept across resets).
struct dots_state {
  int count;
  double last;  // 0: not yet refreshed
};
dots_state dots;

void refresh_dots(const char* step, dots_state* d) {
  const double now = loading_now();
  if (d->last != 0 && now - d->last <= 0.125) return;
  static const char* const runs[4] = {"", ".", "..", "..."};
  char text[96];
  std::snprintf(text, sizeof text, "%.64s%s", step, runs[d->count]);
  loading_show(text);
  d->count = (d->count + 1) % 4;
  d->last = now;
}

// Codes that name nobody (6..999, negative, a network rider with no
// server list) are empty slots.
int sane_code(int code, int from_server) {
  if (code >= line_up_numbered) return code;
  if (code < 0 || code > line_up_network) return line_up_empty;
  if (code == line_up_network && !from_server) return line_up_empty;
  return code;
}

// Moves the last roster row at or after the counter's place that the code
// wants to the counter's place; no match leaves the counter's row.
void pick_robot(int code, int counter) {
  char wanted[16] = "";
  if (code == line_up_robot_125) std::snprintf(wanted, sizeof wanted, "125");
  if (code == line_up_robot_250) std::snprintf(wanted, sizeof wanted, "250");
  if (code >= line_up_numbered) std::snprintf(wanted, sizeof wanted, "%d", code - line_up_numbered);
  if (!wanted[0]) return;
  for (int k = robot_roster_size - 1; k >= counter; k--) {
    const robot_roster_row& row = robot_roster[robot_roster_order[k]];
    const int match = code >= line_up_numbered ? std::strcmp(row.number, wanted) == 0
                                               : std::strstr(row.bike, wanted) != nullptr;
    if (!match) continue;
    const int t = robot_roster_order[k];
    robot_roster_order[k] = robot_roster_order[counter];
    robot_roster_order[counter] = t;
    return;
  }
}

void free_riders() {
  log_printf("Deallocating bikes\n");
  for (int i = 0; i < 160; i++) {
    if (race_hooks.free_engine_voice) race_hooks.free_engine_voice(i);
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
  running_order_clear();
  log_printf("Finished deallocating bikes\n");
}

// The highest point the grid search may raise a rider to.
float placement_ceiling() { return track_field.max_height + 20.0f; }

float grid_height(float x, float z) {
  if (!track_field.heights || track_field.size <= 0 || !(track_field.spacing > 0)) return 0.0f;
  const int last = track_field.size - 1;
  auto cell = [last](float v) {
    if (!(v > 0)) return 0;
    return v >= (float)last ? last : (int)v;
  };
  return terrain_vertex_height(&track_field, cell(x / track_field.spacing), cell(z / track_field.spacing));
}

// Grid place u: rows of ten feet behind each start slot, or a line across
// the middle of a track with no start gate.
void grid_place(int u, float* x, float* z, float* heading) {
  const int t = race_clock.start_gate_count;
  if (t > 0 && start_slot_count > 0) {
    const int s = u % (t < start_slot_count ? t : start_slot_count);
    const float row = (float)(u / t);
    const float a = start_slots[s].angle;
    *heading = a;
    *x = start_slots[s].x + std::sin(a) * (row + 0.0625f) * 10.0f;
    *z = start_slots[s].z + std::cos(a) * (row + 0.0625f) * 10.0f;
    return;
  }
  const float half = track_field.extent * 0.5f;
  *x = half + 5.0f * (float)u;
  *z = half;
  *heading = 0.0f;
}

}  // namespace

rider* slot_rider(int slot) {
  if (slot < 0 || slot >= 160) return nullptr;
  return rider_slots[slot];
}

int slot_kind(int slot) {
  if (slot < 0 || slot >= 160) return -1;
  return rider_slot_kind[slot];
}

void place_rider_clear(rider* r, float x, float z, float heading) {
  float h = grid_height(x, z);
  const float ceiling = placement_ceiling();
  for (;;) {
    rider_reset(r);
    rider_rotate(r, 0, 1, 0, heading);
    rider_translate(r, x, h, z);
    const int touching = rider_collide_terrain(r);
    if (contact_group) dJointGroupEmpty(contact_group);
    if (!touching) return;
    if (h >= ceiling) {
      log_printf("Rider still touches the ground at %.1f ft; left there\n", h);
      return;
    }
    h += 0.25f;
  }
}

void lift_rider_clear(rider* r) {
  const float ceiling = placement_ceiling();
  rider_translate(r, 0, 0.125f, 0);
  for (;;) {
    const int touching = rider_collide_terrain(r);
    if (contact_group) dJointGroupEmpty(contact_group);
    if (!touching) break;
    const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    if (p[1] >= ceiling) {
      log_printf("Rider still touches the ground at %.1f ft; left there\n", (double)p[1]);
      break;
    }
    rider_translate(r, 0, 0.25f, 0);
  }
  rider_translate(r, 0, -0.125f, 0);
  if (contact_group) dJointGroupEmpty(contact_group);
}

void free_track() {
  log_printf("Deallocating track\n");
  if (race_hooks.editor_free) race_hooks.editor_free();
  free_track_data();
  free_terrain(&track_field);
  game_state.track_dir = nullptr;
  track_folder[0] = 0;
  log_printf("Finished deallocating track\n");
}

void restart_alone_at_gate() {
  if (race_hooks.demo_close_playback) race_hooks.demo_close_playback();
  if (race_hooks.demo_write_states) race_hooks.demo_write_states(1);
  if (race_hooks.demo_stop_recording) race_hooks.demo_stop_recording();
  for (int i = 1; i < 160; i++) {
    if (race_hooks.free_engine_voice) race_hooks.free_engine_voice(i);
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
    rider_slot_kind[i] = 1;
  }
  rider* r = rider_slots[0];
  if (!r || route.gate_count <= 0) return;
  const int g = route.first_lap_gates - 3 > 0 ? route.first_lap_gates - 3 : 0;
  int gate = route.entries[route.normal_lap_gates == 0 ? 0 : g];
  if (gate >= route_flagged) gate -= route_flagged;
  if (gate < 0 || gate >= checkpoint_count) return;
  const checkpoint& c = checkpoints[gate];
  place_rider_clear(r, c.x, c.z, std::atan2(-c.dx, -c.dz));
  if (contact_group) dJointGroupEmpty(contact_group);
  rider_truncate_timing(r, g);
  last_lap_ticks = 0;
  if (race_hooks.finish_results) race_hooks.finish_results();
}

int sticky_dab_is_held() { return sticky_dab_held; }

void apply_controls_reset() {
  sticky_dab_held = 0;
  sticky_dab_last = 0;
}

void apply_controls(rider* r, const float* in) {
  if (!r) return;
  rider_set_steer(r, bike_setup.reverse_steering ? -in[input_steer] : in[input_steer]);
  rider_set_front_brake(r, in[input_front_brake]);
  rider_set_rear_brake(r, in[input_rear_brake]);
  rider_set_throttle(r, in[input_throttle]);
  float dab = in[input_dab];
  if (bike_setup.sticky_dab) {
    if (sticky_dab_last < 0.5f && in[input_dab] >= 0.5f) sticky_dab_held = !sticky_dab_held;
    dab = sticky_dab_held ? 1.0f : 0.0f;
  }
  sticky_dab_last = in[input_dab];
  rider_set_dab(r, dab);
  rider_set_back_up(r, in[input_back_up]);
  rider_set_lean(r, in[input_lean]);
  float target = 1.0f - in[input_clutch] * 8.0f / 7.0f;
  target = target < 0 ? 0 : target > 1 ? 1 : target;
  const float now = rider_get_clutch(r);
  // The clutch lets out gradually but pulls in at once.
  rider_set_clutch(r, target > now ? now + 4.0f * (float)tick_seconds : target);
  const float shift = in[input_shift];
  rider_shift(r, shift > 0.5f ? 1 : shift < -0.5f ? -1 : 0);
}

namespace {

// What the steps of one reset share: where the race comes from, the track
// it runs on and the line-up made sane.
struct reset_plan {
  int from_server;
  int playing;  // the riders are the demo's being played
  char chosen[race_track_name_bytes];
  int codes[160];
};

// One slot's rider while the grid is filled. The identity may point into
// robot_number, so an entry is never copied.
struct grid_entry {
  rider_identity who;
  int kind;  // the slot kind: local 0, robot 2, any other 1
  int demo_index;
  const robot_roster_row* robot;
  char robot_number[16];
};

void announce_the_reset() {
  if (race_hooks.record_series_event) race_hooks.record_series_event();
  loading_show("Resetting...");
  log_printf("Resetting\n");
  loading_reset_gap();
}

// The roster's order for this race, from the race clock's tick.
void shuffle_the_roster() {
  for (int k = 0; k < robot_roster_size; k++) robot_roster_order[k] = k;
  random_seed((uint32_t)race_clock.current_tick);
  // The solver shuffles its constraints with the dynamics library's own
  // generator: started afresh, a race run again comes out the same.
  dRandSetSeed(0);
  for (int k = robot_roster_size - 1; k >= 1; k--) {
    const int j = (int)((random_next() >> 16) % (uint32_t)k);
    const int t = robot_roster_order[k];
    robot_roster_order[k] = robot_roster_order[j];
    robot_roster_order[j] = t;
  }
}

void save_lines_and_stop_demos() {
  const char* step = "Remembering lines";
  loading_show_logged(step);
  if (game_state.track_dir) {
    if (race_hooks.lines_write_and_clear) race_hooks.lines_write_and_clear();
    if (race_hooks.demo_close_playback) race_hooks.demo_close_playback();
  }
  show_done(step);
  if (race_hooks.demo_stop_recording) race_hooks.demo_stop_recording();
}

void clean_up_the_riders() {
  loading_show_logged("Cleaning up");
  free_riders();
}

void set_the_race_clock(int from_server, int race_length_ticks, int race_laps) {
  race_clock.current_tick = 0;
  race_clock.race_length_ticks = race_length_ticks;
  race_clock.race_laps = race_laps;
  race_clock.five_second_ticks = 640;
  if (from_server) {
    race_clock.gate_drop_tick = server_gate_drop_tick;
    erode_level = -1;
    race_clock.network_display_delay = own_start_position == race_no_slot ? 127 : 0;
  } else {
    const double u = (double)(random_next() & 0x7fffffffu) / 2147483648.0;
    race_clock.gate_drop_tick = (int)((gate_drop_min_seconds + 2.0 * u) / tick_seconds);
    erode_level = loop_options.erode_level > 0 ? loop_options.erode_level : 0;
    race_clock.network_display_delay = 0;
  }
}

// A server race keeps the tables the server has filled.
void forget_the_last_race(int from_server) {
  if (!from_server) {
    if (race_hooks.net_clear_race_tables) race_hooks.net_clear_race_tables();
    own_start_position = race_no_slot;
    state_history_clear_all();
  }
}

// The chosen track, or the demo's when one is played, or the server's.
void choose_the_track(int play_demo, reset_plan* plan) {
  std::snprintf(plan->chosen, sizeof plan->chosen, "%s", race_track_choice);
  plan->playing = 0;
  if (play_demo && race_hooks.demo_open_playback) {
    const char* demo_track = race_hooks.demo_open_playback();
    if (demo_track) {
      std::snprintf(plan->chosen, sizeof plan->chosen, "%s", demo_track);
      plan->playing = 1;
    }
  }
  if (!plan->playing && plan->from_server) std::snprintf(plan->chosen, sizeof plan->chosen, "%s", server_track);
}

void free_the_track_script_and_rider_table() {
  if (race_hooks.free_track_script) race_hooks.free_track_script();
  if (race_hooks.free_script_sounds) race_hooks.free_script_sounds();
  rider_table_init();
  apply_controls_reset();
}

// The track loads when it changed, for every server race and when asked
// to; what it no longer uses is freed by generation later. 0 when it
// could not be loaded.
int load_the_track_if_changed(const reset_plan& plan) {
  if (!game_state.track_dir || std::strcmp(game_state.track_dir, plan.chosen) != 0 || plan.from_server ||
      track_reload_requested) {
    track_reload_requested = 0;
    if (game_state.track_dir) free_track();
    asset_generation++;
    model_generation++;
    texture_bytes = 0;
    std::snprintf(track_folder, sizeof track_folder, "%s", plan.chosen);
    if (!plan.chosen[0] || !load_track()) {
      console_printf("Can't load track \"%.100s\"\n", plan.chosen);
      game_state.track_dir = nullptr;
      track_folder[0] = 0;
      return 0;
    }
    game_state.track_dir = track_folder;
  }
  settle_race_camera_choice();
  erode_queue_reset();
  return 1;
}

void load_the_track_script() {
  if (race_hooks.load_track_script) {
    char path[race_track_name_bytes + 16];
    std::snprintf(path, sizeof path, "@%s/frills.js", game_state.track_dir);
    race_hooks.load_track_script(path);
  }
}

// A time trial is the local rider alone, the gate long down.
void fill_the_line_up(const int* line_up, reset_plan* plan) {
  if (time_trial) {
    best_lap_ticks = last_lap_ticks = 0;
    for (int& c : plan->codes) c = line_up_empty;
    plan->codes[0] = line_up_local;
    race_clock.current_tick = time_trial_start_tick;
  } else {
    for (int i = 0; i < 160; i++) plan->codes[i] = sane_code(line_up[i], plan->from_server);
  }
}

// Whom to view; one local rider at most.
void choose_whom_to_view(reset_plan* plan) {
  int* codes = plan->codes;
  int first = race_no_slot;
  for (int i = 0; i < 160 && first == race_no_slot; i++)
    if (codes[i] != line_up_empty) first = i;
  if (plan->playing) {
    viewed_slot = first == race_no_slot ? 0 : first;
  } else if (first == race_no_slot) {
    codes[0] = line_up_robot;
    viewed_slot = 0;
  } else {
    viewed_slot = first;
  }
  int local_seen = 0;
  for (int i = 0; i < 160; i++) {
    if (codes[i] != line_up_local) continue;
    if (local_seen) codes[i] = line_up_empty;
    else viewed_slot = i;
    local_seen = 1;
  }
}

void load_and_plan_robot_lines(int skill) {
  if (race_hooks.lines_load) race_hooks.lines_load(skill);
  const char* step = "Analyzing lines";
  loading_show_logged(step);
  if (race_hooks.lines_prune_and_plan) race_hooks.lines_prune_and_plan();
  show_done(step);
}

// The local rider as the server knows it, else from the bike setup.
void identify_the_local_rider(int slot, int from_server, rider_identity* who) {
  if (from_server && race_hooks.net_rider_info && race_hooks.net_rider_info(slot, who)) return;
  who->bike = bike_setup.bike >= 0 && bike_setup.bike < BIKE_MODEL_COUNT ? bike_models[bike_setup.bike].name : nullptr;
  who->number = bike_setup.number;
  who->name = bike_setup.name;
  // The setup keeps the skins by variant name; the rider loads files.
  who->gear_skin = rider_look_path(rider_look_gear, bike_setup.rider_texture);
  who->helmet_skin = rider_look_path(rider_look_helmet, bike_setup.head_texture);
  who->bike_skin = rider_look_path(rider_look_bike, bike_setup.bike_texture);
  who->wheels_skin = rider_look_path(rider_look_wheels, bike_setup.wheel_texture);
}

// The roster's next robot that the code wants; a numbered robot keeps the
// code's number.
void identify_the_next_robot(int code, grid_entry* e) {
  const int place = robot_counter;
  pick_robot(code, place);
  e->robot = &robot_roster[robot_roster_order[place]];
  e->who.bike = e->robot->bike;
  e->who.number = e->robot->number;
  if (code >= line_up_numbered) {
    std::snprintf(e->robot_number, sizeof e->robot_number, "%d", code - line_up_numbered);
    e->who.number = e->robot_number;
  }
  e->who.name = "Roborider";
  e->who.gear_skin = e->robot->gear_skin;
  e->who.helmet_skin = e->robot->helmet_skin;
  e->who.bike_skin = e->robot->bike_skin;
  e->who.wheels_skin = e->robot->wheels_skin;
}

// Who rides in the slot; 0 when it stays empty (an empty code with no
// demo rider left, or a network rider the server has not named).
int choose_who_rides(int slot, const reset_plan& plan, grid_entry* e) {
  const int code = plan.codes[slot];
  if (code == line_up_empty) {
    if (!plan.playing || !race_hooks.demo_next_rider || !race_hooks.demo_next_rider(&e->who, &e->demo_index))
      return 0;
  } else if (code == line_up_local) {
    e->kind = 0;
    identify_the_local_rider(slot, plan.from_server, &e->who);
  } else if (code == line_up_network) {
    if (!race_hooks.net_rider_info || !race_hooks.net_rider_info(slot, &e->who)) return 0;
  } else {
    e->kind = 2;
    identify_the_next_robot(code, e);
  }
  return 1;
}

// Makes the slot's rider with its name, demo mapping and engine sound;
// null when the bike could not be made.
rider* create_the_slot_rider(int slot, const grid_entry& e) {
  const rider_identity& who = e.who;
  rider* r = rider_create(bike_name_alias(who.bike), (unsigned)slot, e.kind != 1, who.number, who.gear_skin,
                          who.helmet_skin, who.bike_skin, who.wheels_skin);
  if (e.kind == 2) robot_counter = (robot_counter + 1) % robot_roster_size;
  rider_slots[slot] = r;
  rider_slot_kind[slot] = r ? e.kind : 1;
  if (!r) return nullptr;
  if (who.name) std::snprintf(rider_names[slot], sizeof rider_names[slot], "%s", who.name);
  if (e.demo_index >= 0 && race_hooks.demo_map_rider) race_hooks.demo_map_rider(e.demo_index, slot);
  if (race_hooks.load_engine_sound) race_hooks.load_engine_sound(slot, who.bike_skin);
  return r;
}

// The grid place of a slot's rider: its slot, or in a server race the
// local rider's own start position and the others in turn from the start
// gate's count on, stepping over the local rider's.
int grid_place_of(int slot, int kind, int from_server, int* network_count) {
  int u = slot;
  if (from_server) {
    if (kind == 0) {
      u = own_start_position == race_no_slot ? 0 : own_start_position;
    } else {
      u = *network_count + race_clock.start_gate_count;
      if (u == own_start_position) u++;
      (*network_count)++;
    }
  }
  return u;
}

// The local rider's start is kept for the false start check; network and
// demo riders are moved by their states, not ridden.
void ready_the_rider(rider* r, const grid_entry& e) {
  if (e.kind == 0) {
    const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
    for (int k = 0; k < 3; k++) start_position[k] = (float)p[k];
    false_start_ticks = 0;
    rider_activate(r);
  } else if (e.kind == 1) {
    rider_deactivate(r);
    rider_set_roll_damping(r, 100.0f);
    rider_set_full_lock_speed(r, 5.0f);
    rider_set_restricted_lock_speed(r, 50.0f);
    rider_set_restricted_lock(r, 0.04363323f);
  } else {
    rider_activate(r);
    if (race_hooks.robot_personality) race_hooks.robot_personality(r, game_state.practice ? "tester" : e.robot->personality);
  }
}

void place_riders_on_the_grid(const reset_plan& plan) {
  const char* step = "Loading bikes";
  loading_show_logged(step);
  dots.count = 0;
  int network_count = 0;
  for (int i = 0; i < 160; i++) {
    rider_names[i][0] = 0;
    grid_entry e = {};
    e.kind = 1;
    e.demo_index = -1;
    if (!choose_who_rides(i, plan, &e)) {
      rider_slot_kind[i] = 1;
      continue;
    }
    refresh_dots(step, &dots);
    rider* r = create_the_slot_rider(i, e);
    if (!r) continue;
    float x, z, heading;
    grid_place(grid_place_of(i, e.kind, plan.from_server, &network_count), &x, &z, &heading);
    place_rider_clear(r, x, z, heading);
    ready_the_rider(r, e);
  }
  show_done(step);
}

void finish_loading(int record) {
  // Said at every start, not only when the track loads: without gates no
  // lap counts and the race has no finish.
  if (checkpoint_count <= 0)
    console_printf("Track \"%.100s\" has no timing gates (%.120s): laps are not timed and the race has no finish\n",
                   track_folder, timing_gates_fault[0] ? timing_gates_fault : "none in its timing_gates");
  state_history_clear_all();
  if (record && race_hooks.demo_start_recording) race_hooks.demo_start_recording();
  roost_particles_reset();
  if (race_hooks.lines_reset_pick_ticks) race_hooks.lines_reset_pick_ticks();
  console_printf("%d MB texture memory used\n", (int)(texture_bytes >> 20));
  texture_delete_stale(0);
  model_delete_stale(0);
}

// A timed race learns its finish lap when the time is up.
void set_the_finish_lap() {
  if (race_clock.race_length_ticks != 0) {
    race_clock.half_way_lap = race_clock_unknown;
    race_clock.finish_lap = race_clock_unknown;
  } else {
    race_clock.finish_lap = race_clock.race_laps;
    race_clock.half_way_lap = (race_clock.race_laps + 1) / 2;
  }
}

void start_gates_demos_and_results() {
  if (race_hooks.reset_gate_arms) race_hooks.reset_gate_arms();
  if (time_trial) restart_alone_at_gate();
  log_printf("Max loading delay was %f (%s)\n", loading.longest_gap, loading.slowest);
  if (race_hooks.demo_write_states) race_hooks.demo_write_states(1);
  if (race_hooks.demo_read_ahead) race_hooks.demo_read_ahead();
  results_clear();
  if (race_hooks.finish_results) race_hooks.finish_results();
}

// The viewed slot falls back to the leader; a local rider gets the bike
// setup, and the free camera starts above the viewed rider.
void settle_the_view() {
  if (!slot_rider(viewed_slot) && running_order.count > 0) viewed_slot = running_order.entries[0].slot;
  if (contact_group) dJointGroupEmpty(contact_group);
  rider* viewed = slot_rider(viewed_slot);
  if (viewed && slot_kind(viewed_slot) == 0 && race_hooks.apply_bike_setup) race_hooks.apply_bike_setup(viewed);
  setup_baseline_take();
  if (viewed && race_hooks.place_free_camera) {
    const dReal* p = dBodyGetPosition(viewed->bodies[RIDER_FRAME]);
    race_hooks.place_free_camera((float)p[0], (float)p[1] + 5.0f, (float)p[2]);
  }
}

}  // namespace

int reset_session(const int* line_up, int play_demo, int record, int race_length_ticks, int race_laps,
                  int skill) {
  reset_plan plan = {};
  plan.from_server = line_up && line_up == server_line_up;
  announce_the_reset();
  shuffle_the_roster();
  save_lines_and_stop_demos();
  clean_up_the_riders();
  set_the_race_clock(plan.from_server, race_length_ticks, race_laps);
  time_trial = line_up == nullptr;
  forget_the_last_race(plan.from_server);
  choose_the_track(play_demo, &plan);
  free_the_track_script_and_rider_table();
  if (!load_the_track_if_changed(plan)) return 0;
  load_the_track_script();
  fill_the_line_up(line_up, &plan);
  choose_whom_to_view(&plan);
  load_and_plan_robot_lines(skill);
  place_riders_on_the_grid(plan);
  finish_loading(record);
  set_the_finish_lap();
  start_gates_demos_and_results();
  settle_the_view();
  return 1;
}
