// bkdata lines ROOT: the robot riders' sample lines for the sample track.
// The game learns them itself: under the race's own reset and tick, with
// learning on and the per-user folder in a temporary folder, a rider the
// recording counts as human rides two laps and a gate, one race after
// another from different grid places and lanes. Each reset writes what was
// learned and reads it back, as in the game, so the lines pile up in the
// per-user copy, which is then copied into ROOT/quarrybend.
//
// The rider is carried, not steered: each tick its bodies are set, in their
// grid pose, at the frame's grid height above the ground (tyres just
// touching), along a lane of
// the generator's centre line at a speed its curvature allows times the
// skill's pace; the dynamics step, contacts and recording run as in a race.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "assets/model.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "core/running_order.h"
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
const double tyre_sink = 0.2;  // ft

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
  // Distance along and offset left of the point nearest to (x, z).
  void project(double x, double z, double* s, double* side) const {
    size_t best = 0;
    double best_d = 1e300;
    for (size_t k = 0; k < points.size(); k++) {
      const double d = (points[k].x - x) * (points[k].x - x) + (points[k].z - z) * (points[k].z - z);
      if (d < best_d) best_d = d, best = k;
    }
    *s = points[best].s;
    *side = (x - points[best].x) * -points[best].tz + (z - points[best].z) * points[best].tx;
  }
};

// Carries the rider of `slot` round the course until it has made
// `crossings` crossings. 1 when it got there.
int carry(const centre& line, int slot, double lane, double pace, int32_t crossings) {
  rider* r = rider_slots[slot];
  if (!r) return 0;
  dBodyID frame = rider_frame_body(r);
  const dReal* p0 = dBodyGetPosition(frame);
  // The grid raises a bike in quarter-foot steps until it is clear of the
  // ground, so it may float up to a quarter foot above it. Lowered here in
  // small steps to where the tyres first touch, then carried a little lower,
  // its tyres touch as a ridden bike's do, whatever its grid place; carried
  // at the grid height instead, one lane's bike never touched and its whole
  // line read as airborne.
  const double grid_y = p0[1];
  double touch = grid_y;
  for (int k = 0; k < 64; k++) {
    rider_translate(r, 0, -1.0f / 64, 0);
    const int touching = rider_collide_terrain(r);
    dJointGroupEmpty(contact_group);
    touch -= 1.0 / 64;
    if (touching) break;
  }
  rider_translate(r, 0, (float)(grid_y - touch), 0);
  r->down = 0;
  const double rest = touch - terrain_height(&track_field, (float)p0[0], (float)p0[2]) - tyre_sink;
  const dReal* m0 = dBodyGetRotation(frame);
  const double grid_heading = std::atan2(-m0[2], -m0[10]);  // of the forward -z axis, from +z
  dVector3 offset[RIDER_BODY_COUNT];
  dMatrix3 rotation[RIDER_BODY_COUNT];
  for (int b = 0; b < RIDER_BODY_COUNT; b++) {
    const dReal* q = dBodyGetPosition(r->bodies[b]);
    for (int k = 0; k < 3; k++) offset[b][k] = q[k] - p0[k];
    std::memcpy(rotation[b], dBodyGetRotation(r->bodies[b]), sizeof rotation[b]);
  }
  const double half_base = 0.5 * std::fabs((offset[RIDER_FRONT_WHEEL][0] - offset[RIDER_REAR_WHEEL][0]) * -m0[2] +
                                           (offset[RIDER_FRONT_WHEEL][2] - offset[RIDER_REAR_WHEEL][2]) * -m0[10]);
  double s0, side0;
  line.project(p0[0], p0[2], &s0, &side0);
  // y starts unknown: the first tick sets the carried height with no fall
  // from the grid height in its velocity.
  double s = s0, x, z, y = NAN, heading = grid_heading, speed = 0;
  {
    // Held where the lane begins (within a fraction of a foot of the grid
    // place), so the first move is no jump.
    double cx, cz, nx, nz, k;
    line.at(s0, &cx, &cz, &nx, &nz, &k);
    x = cx + nx * side0;
    z = cz + nz * side0;
  }
  for (int t = 0; t < 128 * 900 && r->timing_count < crossings && !r->finished; t++) {
    double nx_ = x, nz_ = z;
    if (race_clock.current_tick >= race_clock.gate_drop_tick) {
      double cx, cz, nx, nz, k;
      line.at(s, &cx, &cz, &nx, &nz, &k);
      // As fast as a grip of 0.5 g allows round the bend, at most 50 ft/s.
      const double curve_speed = std::fabs(k) > 1e-6 ? std::sqrt(16.0 / std::fabs(k)) : 50.0;
      // Off the line and into bends no quicker than 0.5 g, braking at 0.75 g.
      const double wanted = pace * std::fmin(50.0, curve_speed);
      speed = wanted > speed ? std::fmin(wanted, speed + 16.0 / 128) : std::fmax(wanted, speed - 24.0 / 128);
      // Off the grid into the lane over the first 80 ft, gently.
      const double blend = std::fmin(1.0, (s - s0) / 80.0);
      const double smooth = blend * blend * (3 - 2 * blend);
      const double side = side0 + (lane - side0) * smooth;
      s += speed / 128;
      line.at(s, &cx, &cz, &nx, &nz, &k);
      nx_ = cx + nx * side;
      nz_ = cz + nz * side;
      if ((nx_ - x) * (nx_ - x) + (nz_ - z) * (nz_ - z) > 1e-8) heading = std::atan2(nx_ - x, nz_ - z);
    }
    // Turned to the way it goes and pitched to the ground under its wheels.
    const double fx = std::sin(heading), fz = std::cos(heading);
    const double front = terrain_height(&track_field, (float)(nx_ + fx * half_base), (float)(nz_ + fz * half_base));
    const double rear = terrain_height(&track_field, (float)(nx_ - fx * half_base), (float)(nz_ - fz * half_base));
    const double ny = 0.5 * (front + rear) + rest;
    dMatrix3 yaw, pitch, turn;
    dRFromAxisAndAngle(yaw, 0, 1, 0, heading - grid_heading);
    dRFromAxisAndAngle(pitch, -fz, 0, fx, std::atan2(front - rear, 2 * half_base));  // forward x up
    dMultiply0_333(turn, pitch, yaw);
    const double vx = (nx_ - x) * 128, vy = std::isnan(y) ? 0 : (ny - y) * 128, vz = (nz_ - z) * 128;
    x = nx_, y = ny, z = nz_;
    for (int b = 0; b < RIDER_BODY_COUNT; b++) {
      dVector3 o;
      dMultiply0_331(o, turn, offset[b]);
      dMatrix3 rb;
      dMultiply0_333(rb, turn, rotation[b]);
      dBodySetPosition(r->bodies[b], x + o[0], y + o[1], z + o[2]);
      dBodySetRotation(r->bodies[b], rb);
      dBodySetLinearVel(r->bodies[b], vx, vy, vz);
      dBodySetAngularVel(r->bodies[b], 0, 0, 0);
    }
    simulation_tick();
  }
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
  line.total = line.points.back().s;

  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = fake_texture;
  int ok = dynamics_open() == 1;
  file_index_build();
  race_hooks = {};
  robot_install_hooks();
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
      if (!carry(line, plan.slot, plan.lane, paces[skill], crossings)) {
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
