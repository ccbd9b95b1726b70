// Whole robot races on the sample track, headless, through the game's own
// race reset, tick, timing and results: how the robots ride, and whether a
// race comes out the same twice.
//
//   bench_robot_race [--skill 0|1|2] [--riders N] [--laps L] [--runs K]
//                    [--learn] [--seed S]
//
// Per race it prints L (the sum over the normal lap's segments of the
// fastest line's own time in the lines file), each robot's laps as seconds
// and as multiples of L, its falls and missed gates, whether a NaN reached
// a body, the finishers, the robots that rode every lap, the median and
// the worst normal lap, the falls (and falls per robot), each robot's race
// time (gate drop to its last lap's end) with the slowest one's slot and its
// share of the median, the speed against real time and a digest of every
// crossing tick. A robot flagged finished after the leader may have ridden
// fewer laps: "full distance" counts only those that rode them all. --runs
// repeats the race in this process with the clock (and the roster's robot
// counter) set back to where they stood before the first reset; comparing the digest with another process's
// checks a fresh start too. --learn turns learning on and checks the lines
// file the next reset writes against the shipped one. --seed sets the race
// clock the reset starts from, and with it the random draws of the start,
// so a handful of seeds shows how much a figure owes to one start.
// Needs the generated data: BK_HOME names it, else the build tree's
// gamedata/ beside this program's folder.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/race_data.h"
#include "bike/rider.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "terrain/track.h"

namespace {

struct options {
  int skill = 0;
  int riders = 1;
  int laps = 3;
  int runs = 1;
  int learn = 0;
  long seed = -1;  // the clock (and random seed) the reset starts from; -1 as found
};

int parse(int argc, char** argv, options* o) {
  for (int i = 1; i < argc; i++) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--skill" && has_value) o->skill = std::atoi(argv[++i]);
    else if (a == "--riders" && has_value) o->riders = std::atoi(argv[++i]);
    else if (a == "--laps" && has_value) o->laps = std::atoi(argv[++i]);
    else if (a == "--runs" && has_value) o->runs = std::atoi(argv[++i]);
    else if (a == "--learn") o->learn = 1;
    else if (a == "--seed" && has_value) o->seed = std::atol(argv[++i]);
    else {
      std::fprintf(stderr, "usage: bench_robot_race [--skill 0|1|2] [--riders N] [--laps L] [--runs K] [--learn] [--seed S]\n");
      return 0;
    }
  }
  return o->skill >= 0 && o->skill < line_skill_count && o->riders >= 1 && o->riders <= 160 && o->laps >= 1 &&
         o->runs >= 1;
}

// Sum over the normal lap's library segments of the least own time.
int64_t normal_lap_reference() {
  int64_t sum = 0;
  for (int32_t k = route.first_lap_segments; k < route_library_segments(); k++) {
    int32_t best = 0;
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& l = library_segment_slots(k)[i];
      if (l.sample_count > 0 && (best == 0 || l.own_time < best)) best = l.own_time;
    }
    sum += best;
  }
  return sum;
}

// Tested runs per library segment.
std::vector<int64_t> tests_per_segment() {
  std::vector<int64_t> out((size_t)route_library_segments(), 0);
  for (int32_t k = 0; k < route_library_segments(); k++)
    for (int i = 0; i < line_slots_per_segment; i++) out[k] += library_segment_slots(k)[i].times_tested;
  return out;
}

int lines_in_library() {
  int n = 0;
  for (int32_t k = 0; k < route_library_segments(); k++)
    for (int i = 0; i < line_slots_per_segment; i++) n += library_segment_slots(k)[i].sample_count > 0;
  return n;
}

int body_is_finite(const rider* r) {
  for (int b = 0; b < RIDER_BODY_COUNT; b++) {
    const dReal* p = dBodyGetPosition(r->bodies[b]);
    const dReal* v = dBodyGetLinearVel(r->bodies[b]);
    for (int c = 0; c < 3; c++)
      if (!std::isfinite(p[c]) || !std::isfinite(v[c])) return 0;
  }
  return std::isfinite(r->steer) && std::isfinite(r->throttle);
}

struct race_outcome {
  uint64_t digest = 1469598103934665603ull;
  int finishers = 0;
  int ok = 1;
};

race_outcome run_race(const options& o, int32_t clock_start, int robots_from, std::vector<int64_t>* segment_passes) {
  race_outcome out;
  static int line_up[160];
  for (int i = 0; i < 160; i++) line_up[i] = i < o.riders ? line_up_robot : line_up_empty;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  race_clock.current_tick = clock_start;
  robot_counter = robots_from;
  if (!reset_session(line_up, 0, 0, 0, o.laps, o.skill)) {
    std::fprintf(stderr, "bench_robot_race: the race did not reset\n");
    out.ok = 0;
    return out;
  }
  const int64_t reference = normal_lap_reference();
  const double l_seconds = reference / 128.0;
  std::printf("skill %d (%s), %d robots, %d laps: L = %.2f s, %d lines\n", o.skill, lines_file_name(o.skill),
              o.riders, o.laps, l_seconds, lines_in_library());

  int nan_seen = 0;
  const auto t0 = std::chrono::steady_clock::now();
  long ticks = 0;
  const long budget = 128L * 60 * 20;
  for (; ticks < budget && !results_finished; ticks++) {
    simulation_tick();
    if (nan_seen) continue;
    for (int s = 0; s < RIDER_SLOT_COUNT; s++)
      if (rider_slots[s] && !body_is_finite(rider_slots[s])) {
        std::printf("  NaN on slot %d at tick %d\n", s, race_clock.current_tick);
        nan_seen = 1;
      }
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::vector<double> normal_laps, race_times;
  double worst = 0;
  int falls = 0, missed_total = 0, full_distance = 0, robots = 0;
  int slowest_slot = -1, slowest_laps = 0;
  double slowest = -1;
  for (int s = 0; s < RIDER_SLOT_COUNT; s++) {
    rider* r = rider_slots[s];
    if (!r) continue;
    const int finished = rider_has_finished(r);
    out.finishers += finished;
    int missed = 0;
    for (int n = 0; n < r->timing_count; n++) {
      const int32_t t = rider_timing_tick(r, n);
      missed += t < 0;
      out.digest = (out.digest ^ (uint64_t)(uint32_t)t ^ ((uint64_t)s << 32)) * 1099511628211ull;
    }
    falls += r->crash_count;
    missed_total += missed;
    std::printf("  slot %2d %-4s %s crossings %3d falls %d missed %d laps:", s, rider_number_text(r),
                finished ? "finished" : "DNF     ", r->timing_count, r->crash_count, missed);
    int32_t prev = race_clock.gate_drop_tick;
    int laps_done = 0;
    for (int lap = 1; lap <= o.laps; lap++) {
      const int32_t end = rider_timing_tick(r, lap_end_crossing(lap));
      if (end < 0) break;
      laps_done = lap;
      const double seconds = (end - prev) / 128.0;
      std::printf(" %.2f", seconds);
      if (lap >= 2) {
        std::printf(" (%.2f L)", seconds / l_seconds);
        normal_laps.push_back(seconds / l_seconds);
        worst = std::max(worst, seconds / l_seconds);
      }
      prev = end;
    }
    // A robot that never ended a lap rode the whole race without one.
    const double race_time = (laps_done > 0 ? prev - race_clock.gate_drop_tick
                                            : race_clock.current_tick - race_clock.gate_drop_tick) / 128.0;
    std::printf("  race %.2f s\n", race_time);
    robots++;
    full_distance += laps_done == o.laps;
    race_times.push_back(race_time);
    if (race_time > slowest) slowest = race_time, slowest_slot = s, slowest_laps = laps_done;
    // Each crossing that starts a segment completes the one before it.
    if (segment_passes)
      for (int c = 0; c < r->timing_count; c++) {
        const int32_t completed = segment_index_for_crossings(c) - 1;
        if (crossing_starts_segment(c) && completed >= 0 && rider_timing_tick(r, c) >= 0)
          (*segment_passes)[(size_t)library_segment(completed)]++;
      }
  }
  std::sort(normal_laps.begin(), normal_laps.end());
  const double median = normal_laps.empty() ? 0 : normal_laps[normal_laps.size() / 2];
  std::printf("  finishers %d/%d, falls %d, missed gates %d, NaN %s\n", out.finishers, o.riders, falls,
              missed_total, nan_seen ? "yes" : "no");
  std::printf("  normal laps: median %.2f L, worst %.2f L\n", median, worst);
  std::sort(race_times.begin(), race_times.end());
  const double median_race = race_times.empty() ? 0 : race_times[race_times.size() / 2];
  std::printf("  full distance %d/%d, falls per robot %.2f\n", full_distance, robots,
              robots ? (double)falls / robots : 0.0);
  std::printf("  races: median %.2f s, slowest %.2f s (%.2f x median) on slot %d, %d of %d laps\n", median_race,
              slowest, median_race > 0 ? slowest / median_race : 0.0, slowest_slot, slowest_laps, o.laps);
  std::printf("  %ld ticks in %.1f s: %.2f x real time\n", ticks, wall, ticks / 128.0 / wall);
  std::printf("  crossing digest %016llx\n", (unsigned long long)out.digest);
  out.ok = !nan_seen && results_finished;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, &o)) return 2;
  if (!bench_open_headless_data("bench_robot_race")) {
    std::fprintf(stderr, "bench_robot_race: no game data (run bkdata build, or set BK_HOME)\n");
    return 1;
  }
  race_hooks = {};
  results_install_hooks();
  tick_install_hooks();
  robot_install_hooks();
  game_state.learn_lines = o.learn;

  if (o.seed >= 0) race_clock.current_tick = (int32_t)o.seed;
  const int32_t clock_start = race_clock.current_tick;
  const int robots_from = robot_counter;
  uint64_t first = 0;
  int status = 0;
  for (int run = 0; run < o.runs; run++) {
    std::vector<int64_t> passes(route_library_segments() > 0 ? (size_t)route_library_segments() : 256, 0);
    const race_outcome r = run_race(o, clock_start, robots_from, &passes);
    if (!r.ok) status = 1;
    if (run == 0) first = r.digest;
    else if (r.digest != first) {
      std::printf("  run %d differs from run 0\n", run);
      status = 1;
    }
    if (!o.learn) continue;
    // Writes the learned file into the per-user folder, as the next reset
    // would; then compares it with the shipped one, learning off so
    // neither read writes anything.
    line_library_clear();
    game_state.learn_lines = 0;
    std::string refusal;
    const std::string shipped = std::string(std::getenv("BK_HOME")) + "/quarrybend/" + lines_file_name(o.skill);
    lines_load_from(shipped.c_str(), &refusal);
    const std::vector<int64_t> before = tests_per_segment();
    const int shipped_lines = lines_in_library();
    line_library_clear();
    char* learned = home_file_path((std::string("@quarrybend/") + lines_file_name(o.skill)).c_str());
    const int read = learned && lines_load_from(learned, &refusal);
    std::printf("  learned file %s: %s, %d lines (shipped %d)\n", learned ? learned : "?", read ? "read" : "NOT READ",
                lines_in_library(), shipped_lines);
    const std::vector<int64_t> after = tests_per_segment();
    int64_t gained = 0;
    for (size_t k = 0; k < after.size() && k < before.size(); k++) {
      const int64_t g = after[k] - before[k];
      gained += g;
      std::printf("    segment %2zu: tests %4lld -> %4lld (+%lld), passes through it %lld%s\n", k, (long long)before[k],
                  (long long)after[k], (long long)g, (long long)passes[k], g > passes[k] ? "  TOO MANY" : "");
      if (g > passes[k] || g < 0) status = 1;
    }
    if (!read || gained <= 0) status = 1;
    line_library_clear();
    check_free(learned);
    game_state.learn_lines = 1;
  }
  std::printf("%s\n", status ? "FAILED" : "ok");
  return status;
}
