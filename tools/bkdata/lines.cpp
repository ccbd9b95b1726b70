// bkdata lines ROOT: the robot riders' sample lines for the sample track.
// The game learns them itself: under the race's own reset and tick, with
// learning on and the per-user folder in a temporary folder, the local
// rider (no auto pilot, so its passes become lines) rides two laps and a
// gate, one race after another from different grid places and lanes. Each
// reset writes what was learned and reads it back, as in the game, so the
// lines pile up in the per-user copy, which is then copied into
// ROOT/quarrybend.
//
// The rider is ridden, on the player's default bike setup: each tick a
// scripted pair of hands sets the controls a player's would (steer,
// throttle, brakes) to follow a lane of the track generator's centre line
// at a speed its bends allow times the skill's pace. Everything else is the
// race's own: physics, contacts, gate crossings and pass recording. Nothing
// here reads a clock or draws a random number, so every run writes the
// same bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "assets/model.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/bike_setup.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/tick.h"
#include "robot/auto_pilot.h"
#include "robot/lines.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "ui/bike_setup.h"
#include "tools/bkdata/commands.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, uint32_t> texture_ids;
uint32_t fake_texture(const char* name) {
  auto it = texture_ids.find(name);
  if (it != texture_ids.end()) return it->second;
  return texture_ids[name] = (uint32_t)texture_ids.size() + 1;
}

// One race's rider: its grid place (slot) and lane (feet left of the
// centre line).
struct ride_plan {
  int slot;
  double lane;
};
const ride_plan rides[] = {{0, -6.0}, {2, -2.0}, {5, 2.0}, {7, 6.0}, {9, 0.0}};
const double paces[line_skill_count] = {0.55, 0.75, 0.95};

const double pi = 3.14159265358979323846;

struct centre {
  std::vector<centre_point> points;
  double total = 0;
  // Position, left normal and curvature at distance s (any value: wraps).
  void at(double s, double* x, double* z, double* nx, double* nz, double* curvature) const {
    s = std::fmod(s, total);
    if (s < 0) s += total;
    size_t lo = 0, hi = points.size() - 1;
    while (lo < hi) {
      const size_t mid = (lo + hi + 1) / 2;
      if (points[mid].s <= s) lo = mid;
      else hi = mid - 1;
    }
    const centre_point& a = points[lo];
    const centre_point& b = points[(lo + 1) % points.size()];
    const double span = lo + 1 < points.size() ? b.s - a.s : total - a.s;
    const double u = span > 0 ? (s - a.s) / span : 0;
    *x = a.x + (b.x - a.x) * u;
    *z = a.z + (b.z - a.z) * u;
    const double tx = a.tx + (b.tx - a.tx) * u, tz = a.tz + (b.tz - a.tz) * u;
    const double len = std::sqrt(tx * tx + tz * tz);
    *nx = -tz / len;
    *nz = tx / len;
    *curvature = a.curvature + (b.curvature - a.curvature) * u;
  }
  // Index of the point nearest to (x, z): all points looked at, or with
  // reach > 0 only those within reach of the hint.
  size_t nearest(double x, double z, size_t hint, size_t reach) const {
    const size_t n = points.size();
    const size_t count = reach > 0 ? 2 * reach + 1 : n;
    size_t best = hint;
    double best_d = 1e300;
    for (size_t j = 0; j < count; j++) {
      const size_t k = reach > 0 ? (hint + n - reach + j) % n : j;
      const double d = (points[k].x - x) * (points[k].x - x) + (points[k].z - z) * (points[k].z - z);
      if (d < best_d) best_d = d, best = k;
    }
    return best;
  }
  // Offset of (x, z) left of the centre line at point k.
  double side(size_t k, double x, double z) const {
    return (x - points[k].x) * -points[k].tz + (z - points[k].z) * points[k].tx;
  }
};

float clampf(double v, double lo, double hi) { return (float)(v < lo ? lo : v > hi ? hi : v); }

// The scripted rider's hands: steer for a point on the lane a little ahead,
// leaning into the arc that meets it, and hold the speed the bends ahead
// allow. A player's controls, as apply_controls takes them.
struct pilot {
  // Lateral grip counted on in bends (ft/s^2), the braking the bike
  // manages and the fastest it is ridden (ft/s).
  static constexpr double grip = 16.0, braking = 12.0, top_speed = 50.0;
  // Ticks after the drop before the hands leave the brakes.
  static constexpr int reaction_ticks = 40;

  const centre* line = nullptr;
  double lane = 0;                 // ft left of the centre line
  std::vector<double> allowed;     // speed at each centre point, braking for the bends after it
  double side0 = 0, travelled = 0;  // the grid place's offset; ft along the line since the grid
  size_t at = 0;                    // nearest centre point

  pilot(const centre* c, double lane_offset, double pace) : line(c), lane(lane_offset) {
    const size_t n = c->points.size();
    allowed.resize(n);
    for (size_t k = 0; k < n; k++) {
      const double bend = std::fabs(c->points[k].curvature);
      allowed[k] = pace * (bend > 1e-6 ? std::fmin(top_speed, std::sqrt(grip / bend)) : top_speed);
    }
    // Round the loop backwards twice, so the bends after the seam count too.
    for (size_t j = 2 * n; j-- > 0;) {
      const size_t k = j % n, next = (k + 1) % n;
      const double ds = next ? c->points[next].s - c->points[k].s : c->total - c->points[k].s;
      allowed[k] = std::fmin(allowed[k], std::sqrt(allowed[next] * allowed[next] + 2 * braking * ds));
    }
  }
  // Off the grid place into the lane over the first 80 ft, gently.
  double lane_at(double t) const {
    const double blend = std::fmin(1.0, std::fmax(0.0, t / 80.0));
    return side0 + (lane - side0) * blend * blend * (3 - 2 * blend);
  }
  void start(dBodyID frame) {
    const dReal* p = dBodyGetPosition(frame);
    at = line->nearest(p[0], p[2], 0, 0);
    side0 = line->side(at, p[0], p[2]);
    travelled = 0;
  }
  // The tick's controls, in rider_input order.
  void controls(rider* r, float input[rider_input_count]) {
    for (int i = 0; i < rider_input_count; i++) input[i] = 0;
    dBodyID frame = rider_frame_body(r);
    const dReal* p = dBodyGetPosition(frame);
    const dReal* m = dBodyGetRotation(frame);
    const dReal* v = dBodyGetLinearVel(frame);
    const size_t was = at;
    at = line->nearest(p[0], p[2], at, 64);
    double ds = line->points[at].s - line->points[was].s;
    if (ds < -0.5 * line->total) ds += line->total;
    if (ds > 0.5 * line->total) ds -= line->total;
    travelled += ds;
    if (race_clock.current_tick < race_clock.gate_drop_tick + reaction_ticks) {
      input[input_front_brake] = input[input_rear_brake] = 0.3f;  // waiting at the gate
      return;
    }
    const double speed = std::sqrt(v[0] * v[0] + v[2] * v[2]);
    // The aim point: on the lane, farther ahead the faster.
    const double ahead = 12.0 + 0.6 * speed;
    double cx, cz, nx, nz, k;
    line->at(line->points[at].s + ahead, &cx, &cz, &nx, &nz, &k);
    const double side = lane_at(travelled + ahead);
    const double tx = cx + nx * side - p[0], tz = cz + nz * side - p[2];
    const double fx = -m[2], fz = -m[10];  // forward is the frame's -z
    const double angle = std::atan2(fz * tx - fx * tz, fx * tx + fz * tz);
    // The arc through the aim point, tangent to the heading, and the lean
    // it needs: on the default (arcade) setup the bar asks for a lean, a
    // full bar 45 degrees.
    const double arc = 2 * std::sin(angle) / ahead;
    const double turn_speed = std::fmax(speed, 5.0);
    const double lean = std::atan(turn_speed * turn_speed * arc / 32.2);
    const double bar = clampf(lean / (pi / 4), -0.7, 0.7);
    input[input_steer] = (float)(bike_setup.reverse_steering ? bar : -bar);
    const double want = allowed[at];
    input[input_throttle] = clampf(0.4 + (want - speed) * 0.1, 0, 1);
    if (speed > want + 2) {
      input[input_throttle] = 0;
      input[input_front_brake] = clampf((speed - want - 2) * 0.1, 0, 0.4);
      input[input_rear_brake] = clampf((speed - want - 2) * 0.15, 0, 0.6);
    }
  }
};

// Rides the local rider of `slot` round the course until it has made
// `crossings` crossings. 1 when it got there.
int ride(const centre& line, int slot, double lane, double pace, int32_t crossings) {
  rider* r = rider_slots[slot];
  if (!r || rider_slot_kind[slot] != RIDER_LOCAL || r->robot.personality != 0) return 0;
  pilot hands(&line, lane, pace);
  hands.start(rider_frame_body(r));
  float input[rider_input_count];
  for (int t = 0; t < 128 * 900 && r->timing_count < crossings && !r->finished; t++) {
    hands.controls(r, input);
    apply_controls(r, input);
    simulation_tick();
  }
  // A fall cancels the passes round it: those segments get no line.
  if (r->crash_count > 0)
    std::fprintf(stderr, "bkdata lines: the rider from grid place %d came off %d times\n", slot, (int)r->crash_count);
  return r->timing_count >= crossings;
}

void free_riders() {
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
}

}  // namespace

int bkdata_lines(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const fs::path root = fs::absolute(argv[0]);
  const fs::path track = root / "quarrybend";
  std::error_code ec;
  if (!fs::is_directory(track, ec)) {
    std::fprintf(stderr, "bkdata lines: no sample track in '%s' (run bkdata build first)\n", root.string().c_str());
    return 1;
  }
  // Lines of an earlier run would be read back and learned upon.
  for (int k = 0; k < line_skill_count; k++) fs::remove(track / lines_file_name(k), ec);
  char home_template[] = "/tmp/bkdata_lines_XXXXXX";
  const char* home = mkdtemp(home_template);
  if (!home) {
    std::perror("bkdata lines: mkdtemp");
    return 1;
  }
  setenv("BK_HOME", root.string().c_str(), 1);
  setenv("XDG_DATA_HOME", home, 1);
  setenv("PAVO_LOGFILE", (std::string(">") + home + "/log.txt").c_str(), 1);
  free_file_index();

  centre line;
  quarrybend_centre_line(&line.points);
  line.total = line.points.back().s + std::hypot(line.points.front().x - line.points.back().x,
                                                 line.points.front().z - line.points.back().z);

  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = fake_texture;
  int ok = dynamics_open() == 1;
  file_index_build();
  race_hooks = {};
  robot_install_hooks();
  // The rider rides on the player's default bike setup.
  race_hooks.apply_bike_setup = apply_bike_setup;
  race_clock = {};
  running_order_clear();
  game_state.track_dir = nullptr;
  game_state.learn_lines = 1;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  for (int i = 0; i < RIDER_SLOT_COUNT; i++) rider_slot_kind[i] = RIDER_REMOTE;

  int line_up[line_up_slots];
  for (int skill = 0; skill < line_skill_count && ok; skill++) {
    for (const ride_plan& plan : rides) {
      for (int& c : line_up) c = line_up_empty;
      line_up[plan.slot] = line_up_local;
      // The reset first writes and reads back what the last race learned.
      if (!reset_session(line_up, 0, 0, 0, 5, skill)) {
        std::fprintf(stderr, "bkdata lines: the sample track did not load\n");
        ok = 0;
        break;
      }
      // Two laps and the next gate, so every normal-lap segment is judged.
      const int32_t crossings = route.first_lap_gates + route.normal_lap_gates + 1;
      if (!ride(line, plan.slot, plan.lane, paces[skill], crossings)) {
        std::fprintf(stderr, "bkdata lines: the %s rider from grid place %d did not make %d crossings\n",
                     lines_file_name(skill), plan.slot, crossings);
        ok = 0;
        break;
      }
    }
  }
  if (ok) ok = reset_session(line_up, 0, 0, 0, 5, 0);  // writes the expert lines
  free_riders();
  free_track();
  erode_queue_reset();
  shape_free_all();
  model_delete_stale(1);
  texture_delete_stale(1);
  free_file_index();
  race_hooks = {};
  dynamics_close();
  terrain_textures = saved;

  for (int k = 0; k < line_skill_count && ok; k++) {
    const fs::path learned = fs::path(home) / "Brakkan" / "quarrybend" / lines_file_name(k);
    fs::copy_file(learned, track / lines_file_name(k), fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::fprintf(stderr, "bkdata lines: no %s was learned (%s)\n", lines_file_name(k), ec.message().c_str());
      ok = 0;
    } else {
      std::printf("%s\n", (track / lines_file_name(k)).string().c_str());
    }
  }
  fs::remove_all(home, ec);
  return ok ? 0 : 1;
}
