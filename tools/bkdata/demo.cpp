// bkdata demo VERSION OUT: a demo of each version on quarrybend, for
// trying the readers: riders along the gates' path, written with the
// game's own chunk writer and pose and rut encoders in the order its
// recorder keeps; and the ".bkdemo" kind of bkdata check. (The game data's
// sample demo is a real race, recorded by `bkdata record`.)
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bike/packed_pose.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/stream.h"
#include "race/demo_file.h"
#include "terrain/height_field.h"
#include "terrain/rut_message.h"
#include "terrain/shape.h"
#include "terrain/tiles.h"
#include "terrain/track.h"
#include "tools/bkdata/commands.h"

namespace {

namespace fs = std::filesystem;

const int sample_ticks = 20 * 128;
const int sample_riders = 2;
const double sample_speed = 30.0;  // ft/s
const char* const sample_bikes[sample_riders] = {"crf250(2008)", "kx125"};
const char* const sample_numbers[sample_riders] = {"12", "47"};
const char* const sample_names[sample_riders] = {"Sample Rider", "Second Rider"};

uint32_t any_texture(const char*) { return 1; }

// The polyline through the timing gates' centres, closed into a loop, and
// the distance along it of each corner.
struct gate_path {
  std::vector<double> x, z, s;
};

gate_path path_through_gates() {
  gate_path p;
  for (int g = 0; g <= checkpoint_count; g++) {
    const checkpoint& c = checkpoints[g % checkpoint_count];
    p.s.push_back(g == 0 ? 0 : p.s.back() + std::hypot(c.x - p.x.back(), c.z - p.z.back()));
    p.x.push_back(c.x);
    p.z.push_back(c.z);
  }
  return p;
}

// Where a rider is at distance d along the loop, side feet to its right,
// and its heading.
void place_on_path(const gate_path& p, double d, double side, double* x, double* z, double* heading) {
  d = std::fmod(d, p.s.back());
  size_t k = 0;
  while (k + 2 < p.s.size() && p.s[k + 1] <= d) k++;
  const double len = p.s[k + 1] - p.s[k];
  const double t = len > 0 ? (d - p.s[k]) / len : 0;
  const double dx = p.x[k + 1] - p.x[k], dz = p.z[k + 1] - p.z[k];
  const double n = std::hypot(dx, dz) > 0 ? std::hypot(dx, dz) : 1;
  *x = p.x[k] + dx * t + dz / n * side;
  *z = p.z[k] + dz * t - dx / n * side;
  *heading = std::atan2(dx, dz);
}

// Rider i's pose at tick t: upright on the ground, heading along the path,
// third gear, wheels turning with the distance.
packed_pose sample_pose(const gate_path& p, int i, int t) {
  const double d = 20.0 * i + sample_speed * t / 128.0;
  double x, z, heading;
  place_on_path(p, d, i == 0 ? -3.0 : 3.0, &x, &z, &heading);
  const double ground = terrain_height(&track_field, (float)x, (float)z);
  pose_values v = {};
  v.frame_position[0] = x;
  v.frame_position[1] = ground + 1.8;
  v.frame_position[2] = z;
  v.frame_quaternion[0] = std::cos(heading / 2);
  v.frame_quaternion[2] = std::sin(heading / 2);
  for (int k = 0; k < 4; k++) v.person_quaternion[k] = v.frame_quaternion[k];
  v.person_position[0] = x;
  v.person_position[1] = ground + 3.5;
  v.person_position[2] = z;
  v.swingarm_travel = 0.3;
  v.swingarm = -0.1;
  v.fork_travel = 1.0;
  v.fork_slide = -0.4;
  const double turn = std::fmod(d / 1.0, 2 * M_PI) - M_PI;
  v.wheel_angle[0] = v.wheel_angle[1] = turn;
  v.gear = 3;
  v.throttle = 0.6f;
  v.engine_speed = 6000 * 2 * M_PI / 60;
  packed_pose out;
  pack_pose_values(&v, &out);
  return out;
}

// The rut message of the half second of rider i's path ending at tick t.
std::string sample_ruts(const gate_path& p, int i, int t) {
  rut_point points[16];
  float low[2] = {1e9f, 1e9f}, high[2] = {-1e9f, -1e9f};
  for (int k = 0; k < 16; k++) {
    const int at = t - 64 + 4 * k;
    const double d = 20.0 * i + sample_speed * at / 128.0;
    double x, z, heading;
    place_on_path(p, d, i == 0 ? -3.0 : 3.0, &x, &z, &heading);
    points[k] = {(float)x, (float)z, (float)(0.6 * std::sin(heading)), (float)(0.6 * std::cos(heading)), 4};
    if (k > 0) {
      const float step[2] = {points[k].x - points[k - 1].x, points[k].z - points[k - 1].z};
      for (int a = 0; a < 2; a++) {
        low[a] = std::min(low[a], step[a]);
        high[a] = std::max(high[a], step[a]);
      }
    }
  }
  uint8_t message[rut_message_max_bytes];
  const int32_t n = rut_message_encode(points, 16, low, high, track_field.extent, message);
  return std::string(reinterpret_cast<char*>(message), (size_t)(n > 0 ? n : 0));
}

int write_demo(int version, const char* out) {
  const gate_path p = path_through_gates();
  stream s = {};
  if (!stream_open_path(&s, out, "wb")) return 0;
  int ok = 1;
  if (version == demo_version) {
    static demo_header h;
    std::memset(&h, 0, sizeof h);
    h.rider_count = sample_riders;
    h.race_laps = 3;
    h.gate_drop_tick = demo_gate_drop_default;
    std::snprintf(h.track, sizeof h.track, "quarrybend");
    for (int i = 0; i < sample_riders; i++) {
      std::snprintf(h.riders[i].bike, sizeof h.riders[i].bike, "%s", sample_bikes[i]);
      std::snprintf(h.riders[i].number, sizeof h.riders[i].number, "%s", sample_numbers[i]);
      std::snprintf(h.riders[i].name, sizeof h.riders[i].name, "%s", sample_names[i]);
    }
    ok = demo_header_write(&s, &h);
    uint32_t previous = 0;
    const char erode[] = "erode 1024";
    const char welcome[] = "Sample race on Quarry Bend\n";
    ok = ok && demo_chunk_write(&s, &previous, 0, demo_chunk_command, erode, sizeof erode - 1);
    ok = ok && demo_chunk_write(&s, &previous, 0, demo_chunk_text, welcome, sizeof welcome - 1);
    // As the recorder writes them: rider by rider, each one's entries
    // oldest first.
    std::vector<uint8_t> pending[sample_riders];
    for (int t = 0; ok && t <= sample_ticks; t += 4) {
      for (int i = 0; i < sample_riders; i++) {
        const packed_pose pose = sample_pose(p, i, t);
        uint8_t entry[demo_state_entry_bytes];
        entry[0] = (uint8_t)i;
        demo_put_u32(entry + 1, (uint32_t)t);
        std::memcpy(entry + 5, pose.bytes, packed_pose_size);
        pending[i].insert(pending[i].end(), entry, entry + sizeof entry);
      }
      if (t % 16 == 0) {
        std::vector<uint8_t> states;
        for (std::vector<uint8_t>& e : pending) {
          states.insert(states.end(), e.begin(), e.end());
          e.clear();
        }
        ok = demo_chunk_write(&s, &previous, t, demo_chunk_states, states.data(), (uint32_t)states.size());
      }
      if (t > 0 && t % 64 == 0)
        for (int i = 0; ok && i < sample_riders; i++) {
          const std::string ruts = sample_ruts(p, i, t);
          ok = !ruts.empty() && demo_chunk_write(&s, &previous, t, demo_chunk_terrain, ruts.data(), (uint32_t)ruts.size());
        }
    }
  } else {
    // The old per-tick form: record k holds tick k.
    std::string head = "BK0" + std::to_string(version) + " " + std::to_string(sample_riders) + " 0 3 " +
                       std::to_string((int)demo_gate_drop_default) + "\nquarrybend\n";
    for (int i = 0; i < sample_riders; i++) head += std::string(sample_bikes[i]) + "||||\n" + sample_numbers[i] + "\n";
    ok = stream_write(&s, head.data(), (uint32_t)head.size()) == head.size();
    const int size = demo_state_size(version);
    for (int t = 0; ok && t <= sample_ticks; t++)
      for (int i = 0; ok && i < sample_riders; i++) {
        packed_pose pose = sample_pose(p, i, t);
        if (version == 4) {
          // Bytes 0-19 stay; then the place along the travel, wheels,
          // status and engine.
          uint8_t old[packed_pose_v4_size];
          std::memcpy(old, pose.bytes, 20);
          old[20] = 128;
          std::memcpy(old + 21, pose.bytes + 34, 5);
          std::memcpy(pose.bytes, old, sizeof old);
        }
        ok = stream_write(&s, pose.bytes, (uint32_t)size) == (uint32_t)size;
      }
  }
  return stream_close_file(&s) == 0 && ok;
}

}  // namespace

int write_sample_demo(const char* root, int version, const char* out) {
  if (version < demo_version_min || version > demo_version) return 0;
  setenv("BK_HOME", root, 1);
  setenv("XDG_DATA_HOME", (std::string(root) + "/.bkdata-no-user-folder").c_str(), 1);
  free_file_index();
  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures = {};
  terrain_textures.load_texture = any_texture;
  std::snprintf(track_folder, sizeof track_folder, "quarrybend");
  int ok = load_track() && checkpoint_count > 0;
  std::error_code ec;
  fs::create_directories(fs::path(out).parent_path(), ec);
  ok = ok && write_demo(version, out);
  free_track_data();
  free_terrain(&track_field);
  shape_free_all();
  free_file_index();
  terrain_textures = saved;
  return ok;
}

int bkdata_demo(int argc, char** argv) {
  if (argc != 2) return bkdata_usage();
  char* end;
  const long version = std::strtol(argv[0], &end, 10);
  if (*end || version < demo_version_min || version > demo_version) {
    std::fprintf(stderr, "bkdata demo: version must be 4, 5 or 6\n");
    return 2;
  }
  // The sample track and the shapes its gate uses, in a folder of our own.
  char folder[] = "/tmp/bkdata-demo-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  char* root_args[1] = {folder};
  char track_name[] = "quarrybend";
  char* track_args[2] = {track_name, folder};
  std::fflush(stdout);
  int ok = bkdata_shapes(1, root_args) == 0 && bkdata_track(2, track_args) == 0;
  ok = ok && write_sample_demo(folder, (int)version, argv[1]);
  std::error_code ec;
  fs::remove_all(folder, ec);
  if (!ok) {
    std::fprintf(stderr, "bkdata demo: can't write '%s'\n", argv[1]);
    return 1;
  }
  return 0;
}

int bkdata_is_demo_name(const char* path) {
  const size_t n = std::strlen(path);
  return n >= 7 && std::strcmp(path + n - 7, ".bkdemo") == 0;
}

namespace {

// The terrain box edge of a track found along the search roots, from its
// height field's first line; 0 when it cannot be read.
double track_extent(const char* track) {
  char name[demo_track_bytes + 32];
  std::snprintf(name, sizeof name, "@%s/terrain.hf", track);
  stream s = {};
  if (!stream_open_name(&s, name, "rb")) return 0;
  int n = 0;
  float spacing = 0, low = 0, high = 0;
  const int got = stream_scanf(&s, "%d %f %f %f", &n, &spacing, &low, &high);
  stream_close_file(&s);
  if (got != 4 || n < 1 || n > 14 || !(spacing > 0) || !std::isfinite(spacing)) return 0;
  return spacing * (double)(terrain_size_for(n) - 1);
}

double pose_fraction(const uint8_t* p) { return (p[0] | p[1] << 8 | p[2] << 16) / 16777215.0; }

struct rider_track {
  int64_t states = 0;
  int32_t first_tick = 0, last_tick = 0;
  double first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
};

// Every state of a version-6 demo by header rider: how many, and where the
// earliest and the latest put the frame (fractions of the terrain box).
void walk_rider_states(stream* s, const demo_header& h, std::vector<rider_track>* riders) {
  riders->assign((size_t)h.rider_count, rider_track());
  int64_t offset = h.length;
  uint32_t previous = 0;
  if (offset > (int64_t)UINT32_MAX || !stream_seek(s, (uint32_t)offset)) return;
  for (;;) {
    demo_chunk c;
    if (demo_chunk_read_head(s, offset, previous, &c) <= 0) break;
    if (c.type == demo_chunk_states && c.length % demo_state_entry_bytes == 0) {
      for (uint32_t k = 0; k < c.length / demo_state_entry_bytes; k++) {
        uint8_t e[demo_state_entry_bytes];
        if (stream_read(s, e, sizeof e) != sizeof e) break;
        if (e[0] >= h.rider_count) continue;
        rider_track& r = (*riders)[e[0]];
        const int32_t tick = (int32_t)demo_read_u32(e + 1);
        double at[3];
        for (int i = 0; i < 3; i++) at[i] = pose_fraction(e + 5 + 3 * i);
        if (r.states == 0 || tick < r.first_tick) {
          r.first_tick = tick;
          std::memcpy(r.first, at, sizeof at);
        }
        if (r.states == 0 || tick >= r.last_tick) {
          r.last_tick = tick;
          std::memcpy(r.last, at, sizeof at);
        }
        r.states++;
      }
    }
    previous = c.length;
    offset += (int64_t)c.length + demo_chunk_head_bytes;
    if (offset > (int64_t)UINT32_MAX || !stream_seek(s, (uint32_t)offset)) break;
  }
}

}  // namespace

int bkdata_check_demo(const char* path) {
  stream s = {};
  if (!stream_open_path(&s, path, "rb")) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  static demo_header h;
  demo_summary sum;
  char reason[128];
  const int ok = demo_check_stream(&s, &h, &sum, nullptr, reason, sizeof reason);
  stream_close_file(&s);
  if (!ok) {
    std::printf("%s: demo refused: %s\n", path, reason);
    return 0;
  }
  std::printf("%s: demo version %d, track '%s', %d riders", path, h.version, h.track, h.rider_count);
  if (h.version == demo_version) {
    std::printf(", %lld chunks (states %lld, text %lld, commands %lld, terrain %lld, other %lld)", (long long)sum.chunks,
                (long long)sum.chunks_by_type[demo_chunk_states], (long long)sum.chunks_by_type[demo_chunk_text],
                (long long)sum.chunks_by_type[demo_chunk_command], (long long)sum.chunks_by_type[demo_chunk_terrain],
                (long long)(sum.chunks - sum.chunks_by_type[1] - sum.chunks_by_type[2] - sum.chunks_by_type[3] -
                            sum.chunks_by_type[5]));
    if (sum.chunks) std::printf(", ticks %d to %d", sum.first_tick, sum.last_tick);
    if (sum.damage_offset >= 0) std::printf("; damaged: a chunk at byte %lld passes the end", (long long)sum.damage_offset);
  } else {
    std::printf(", %lld tick records", (long long)sum.records);
    if (sum.trailing_bytes) std::printf("; %lld bytes of a record cut short", (long long)sum.trailing_bytes);
  }
  std::printf("\n");
  if (h.version == demo_version) {
    stream again = {};
    std::vector<rider_track> riders;
    if (stream_open_path(&again, path, "rb")) {
      walk_rider_states(&again, h, &riders);
      stream_close_file(&again);
    }
    const double extent = track_extent(h.track);
    for (size_t i = 0; i < riders.size(); i++) {
      const rider_track& r = riders[i];
      const double d = std::sqrt((r.last[0] - r.first[0]) * (r.last[0] - r.first[0]) +
                                 (r.last[1] - r.first[1]) * (r.last[1] - r.first[1]) +
                                 (r.last[2] - r.first[2]) * (r.last[2] - r.first[2]));
      std::printf("%s: rider %zu: number '%s', bike '%s', %lld states", path, i + 1, h.riders[i].number,
                  h.riders[i].bike, (long long)r.states);
      if (r.states == 0)
        std::printf("\n");
      else if (extent > 0)
        std::printf(", moved %.1f ft\n", d * extent);
      else
        std::printf(", moved %.4f of the terrain box (track not found)\n", d);
    }
  }
  return 1;
}
