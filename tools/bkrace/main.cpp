// bkrace: a tester's door into a whole race. Races robot riders headless
// on the data root's track through the game's own race reset, tick, timing
// and results, until the results are final or the tick budget runs out,
// leaving results.txt (and a series' standings) in the per-user folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "assets/texture.h"
#include "bike/rider.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/gate_timing.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/series.h"
#include "race/series_event.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "terrain/dynamics_world.h"
#include "terrain/terrain_settings.h"
#include "terrain/tiles.h"
#include "terrain/track.h"

namespace {

const char usage[] =
    "usage: bkrace [--riders N] [--laps L] [--minutes M] [--ticks T] TRACK\n"
    "       bkrace --series NAME [--ticks T]\n"
    "  --riders N   robots in the race (4)\n"
    "  --laps L     laps (3; in a timed race, laps after the time, 0)\n"
    "  --minutes M  a timed race\n"
    "  --series     the named series' next event, its robots and the player on auto pilot\n"
    "  --ticks T    give up after T ticks (30 minutes of race time)\n";

struct race_request {
  int riders = 4;
  int laps = -1;  // unset: 3, or none in a timed race
  int minutes = 0;
  int race_options = 0;  // --riders, --laps or --minutes given
  long ticks = 128L * 60 * 30;  // half an hour of race time
  const char* series = nullptr;
  const char* track = nullptr;
};

// The number after an option, within [low, high]; 0 with a message when it
// is missing or not a whole number in range.
int read_number(int argc, char** argv, int* i, long low, long high, long* out) {
  const char* name = argv[*i];
  if (*i + 1 >= argc) {
    std::fprintf(stderr, "bkrace: %s needs a value\n", name);
    return 0;
  }
  const char* text = argv[++*i];
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end || v < low || v > high) {
    std::fprintf(stderr, "bkrace: %s takes a whole number from %ld to %ld, not '%s'\n", name, low, high, text);
    return 0;
  }
  *out = v;
  return 1;
}

int parse(int argc, char** argv, race_request* req) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    long v = 0;
    if (!std::strcmp(a, "--riders")) {
      if (!read_number(argc, argv, &i, 1, RIDER_SLOT_COUNT, &v)) return 0;
      req->riders = (int)v;
      req->race_options = 1;
    } else if (!std::strcmp(a, "--laps")) {
      if (!read_number(argc, argv, &i, 0, 1000, &v)) return 0;
      req->laps = (int)v;
      req->race_options = 1;
    } else if (!std::strcmp(a, "--minutes")) {
      if (!read_number(argc, argv, &i, 0, 600, &v)) return 0;
      req->minutes = (int)v;
      req->race_options = 1;
    } else if (!std::strcmp(a, "--ticks")) {
      if (!read_number(argc, argv, &i, 1, 0x7FFFFFFF, &v)) return 0;
      req->ticks = v;
    } else if (!std::strcmp(a, "--series")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "bkrace: --series needs a value\n");
        return 0;
      }
      req->series = argv[++i];
    } else if (a[0] == '-') {
      std::fprintf(stderr, "bkrace: unknown option '%s'\n%s", a, usage);
      return 0;
    } else if (!req->track) {
      req->track = a;
    } else {
      std::fprintf(stderr, "bkrace: one track only ('%s' and '%s')\n%s", req->track, a, usage);
      return 0;
    }
  }
  if (!req->track && !req->series) {
    std::fprintf(stderr, "%s", usage);
    return 0;
  }
  if (req->series && (req->track || req->race_options)) {
    std::fprintf(stderr, "bkrace: a series event takes its track, riders, laps and minutes from the series\n");
    return 0;
  }
  if (req->laps < 0) req->laps = req->minutes > 0 ? 0 : 3;
  if (req->laps == 0 && req->minutes == 0) {
    std::fprintf(stderr, "bkrace: a race needs laps or minutes\n");
    return 0;
  }
  return 1;
}

// Textures are never drawn here: each name that opens gets an id of its
// own, which is all the loaders need.
std::map<std::string, uint32_t> texture_ids;
uint32_t headless_texture(const char* name) {
  int reduction;
  const char* file = texture_strip_detail(name, &reduction);
  auto it = texture_ids.find(file);
  if (it != texture_ids.end()) return it->second;
  const uint32_t id = (uint32_t)texture_ids.size() + 1;
  texture_ids[file] = id;
  return id;
}

// The series named (by file name, with or without ".series", or title).
int find_series(const char* name) {
  const std::string with = std::string(name) + ".series";
  for (int i = 0; i < series_table.count; i++) {
    const series_record* s = &series_table.records[i];
    if (!std::strcmp(s->file_name, name) || s->file_name == with || !std::strcmp(s->title, name)) return i;
  }
  return -1;
}

// The named series' next event as the race: its track, minutes and laps,
// and its robots by race number with the player (on auto pilot) after them.
int enter_series(race_request* req, int line_up[RIDER_SLOT_COUNT]) {
  const int which = find_series(req->series);
  if (which < 0) {
    std::fprintf(stderr, "bkrace: no series '%s' in the data\n", req->series);
    return 0;
  }
  const series_record* s = &series_table.records[which];
  if (s->events_done >= s->event_count) {
    std::fprintf(stderr, "bkrace: series '%s' is complete (%d events done)\n", s->title, s->events_done);
    return 0;
  }
  const series_event* ev = &s->events[s->events_done];
  req->track = track_folders[ev->track];
  req->minutes = ev->params[0];
  req->laps = ev->params[1];
  for (int k = 0; k < s->rider_count; k++) line_up[k] = line_up_numbered + s->riders[k];
  line_up[s->rider_count] = line_up_local;
  return 1;
}

// Entered once its race has started, as the menus do: the reset records the
// race that ends, not this one.
void mark_entered(const char* name) {
  const int which = find_series(name);
  series_table.current_series = which;
  series_table.current_event = series_table.records[which].events_done;
}

void print_final_order() {
  std::printf("Final results, %s:\n", track_folder);
  for (int i = 0; i < results_list.count; i++) {
    const running_order_entry* e = &results_list.entries[i];
    rider* r = rider_slots[e->slot];
    if (!r) continue;
    // Whole milliseconds, cut as results.txt and the board cut them.
    const int32_t ms =
        (int32_t)((float)((int64_t)e->last_tick - race_clock.gate_drop_tick) * (float)tick_length * 1000.0f);
    std::printf("%3d. %4s %15s  %d laps  %d:%02d.%03d%s\n", i + 1, rider_number_text(r), rider_bike_model_name(r),
                laps_completed(e->crossings), ms / 60000, ms / 1000 % 60, ms % 1000,
                rider_has_finished(r) ? "" : "  (did not finish)");
  }
}

void close_race() {
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
  free_track();
  free_series_table();
  free_file_index();
  dynamics_close();
}

}  // namespace

int main(int argc, char** argv) {
  race_request req;
  if (!parse(argc, argv, &req)) return 1;

  message_ring_clear();
  file_index_build();
  if (!scan_tracks()) {
    std::fprintf(stderr, "bkrace: no tracks in the data root (set BK_HOME)\n");
    free_file_index();
    return 1;
  }
  build_series_table();
  if (!dynamics_open()) {
    std::fprintf(stderr, "bkrace: can't create the dynamics world\n");
    return 1;
  }
  terrain_textures = {};
  terrain_textures.load_texture = headless_texture;
  race_hooks = {};
  results_install_hooks();
  tick_install_hooks();
  // Robots ride on the real auto pilot, and so does a series' player.
  robot_install_hooks();

  int line_up[RIDER_SLOT_COUNT] = {};
  if (req.series) {
    if (!enter_series(&req, line_up)) {
      close_race();
      return 1;
    }
  } else {
    for (int i = 0; i < req.riders; i++) line_up[i] = line_up_robot;
  }
  std::snprintf(race_track_choice, sizeof race_track_choice, "%s", req.track);
  const int length = (int)(req.minutes * 60 * 128);
  if (!reset_session(line_up, 0, 0, length, req.laps, 0)) {
    std::fprintf(stderr, "bkrace: can't load track '%s'\n", req.track);
    close_race();
    return 1;
  }
  // Without timing gates no lap is counted: the race could only run out
  // of ticks.
  if (checkpoint_count <= 0) {
    std::fprintf(stderr, "bkrace: track '%s' has no timing gates, so no race on it can end: %s; nothing written\n",
                 req.track, timing_gates_fault[0] ? timing_gates_fault : "none in its timing_gates");
    close_race();
    return 1;
  }
  if (req.series) mark_entered(req.series);
  // The player rides the robots' lines on the same auto pilot they do: any
  // other pilot would only measure itself, and one that falls for good
  // leaves a race that never ends.
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider_slots[slot] && rider_slot_kind[slot] == RIDER_LOCAL)
      rider_set_auto_pilot_personality(rider_slots[slot], auto_pilot_personalities[1].name);

  long tick = 0;
  for (; tick < req.ticks && !results_finished; tick++) {
    // The player's controls are set before the tick, as the frame loop
    // hands a player's to it.
    for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
      if (rider_slots[slot] && rider_slot_kind[slot] == RIDER_LOCAL) auto_pilot_tick(rider_slots[slot]);
    simulation_tick();
  }

  int status = 0;
  if (!results_finished) {
    std::fprintf(stderr, "bkrace: no final results after %ld ticks; nothing written\n", tick);
    // An unfinished race records no series event.
    series_table.current_series = series_table.current_event = -1;
    status = 1;
  } else if (!results_file_written) {
    // The order is the race's outcome: a file that cannot be written
    // must not take it along.
    print_final_order();
    std::fprintf(stderr, "bkrace: the results were final but results.txt could not be written: %s\n",
                 file_replace_failure[0] ? file_replace_failure : "no rider finished");
    status = 1;
  } else {
    print_final_order();
    char* path = home_file_path("@results.txt");
    std::printf("Results written to %s\n", path ? path : "results.txt");
    check_free(path);
  }
  close_race();
  return status;
}
