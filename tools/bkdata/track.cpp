// bkdata track quarrybend OUTDIR: the sample track "quarrybend" in
// OUTDIR/quarrybend. A 257 x 257 field at 4 ft over gentle rolling ground,
// with a closed loop of banked turns and a table-top jump; dirt on the loop,
// hardpack on the jump's faces, grass elsewhere. Heights, shading and tile
// map are written by the game's own terrain saver, and the folder is loaded
// back through the game's loader before the command reports success.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/image.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "tools/bkdata/commands.h"

namespace {

const int track_n = 7;
const float track_spacing = 4.0f;
const float half_width = 14.0f;   // ft either side of the centre line
const float shoulder = 16.0f;     // ft over which the track blends into the ground
const int loop_samples = 4096;
const double pi = 3.14159265358979323846;

enum { tile_dirt, tile_grass, tile_hardpack };

struct loop_point {
  double x, z;      // centre line
  double tx, tz;    // unit tangent
  double s;         // distance along the loop
  double curvature; // positive turning left (towards +normal)
};

// Gentle rolling ground: a few long sine waves and a slight tilt.
double ground(double x, double z) {
  return 6.0 + 2.5 * std::sin(x / 97.0) * std::cos(z / 131.0) + 1.5 * std::sin((x + 2.0 * z) / 61.0) +
         0.8 * std::cos((3.0 * x - z) / 43.0) + 0.004 * (x - z);
}

// The centre line: an oval with three lobes, round the middle of the field.
void loop_position(double a, double* x, double* z) {
  const double r = 1.0 + 0.18 * std::sin(3.0 * a);
  *x = 512.0 + 330.0 * r * std::cos(a);
  *z = 512.0 + 250.0 * r * std::sin(a);
}

std::vector<loop_point> make_loop() {
  std::vector<loop_point> loop(loop_samples);
  for (int k = 0; k < loop_samples; k++) loop_position(2.0 * pi * k / loop_samples, &loop[k].x, &loop[k].z);
  double s = 0.0;
  for (int k = 0; k < loop_samples; k++) {
    const loop_point& prev = loop[(k + loop_samples - 1) % loop_samples];
    const loop_point& next = loop[(k + 1) % loop_samples];
    double tx = next.x - prev.x, tz = next.z - prev.z;
    const double length = std::sqrt(tx * tx + tz * tz);
    loop[k].tx = tx / length;
    loop[k].tz = tz / length;
    if (k > 0) s += std::hypot(loop[k].x - loop[k - 1].x, loop[k].z - loop[k - 1].z);
    loop[k].s = s;
  }
  for (int k = 0; k < loop_samples; k++) {
    const loop_point& prev = loop[(k + loop_samples - 1) % loop_samples];
    const loop_point& next = loop[(k + 1) % loop_samples];
    const double ds = std::hypot(next.x - prev.x, next.z - prev.z);
    // Normal is the tangent turned left: (-tz, tx).
    const double turn = (next.tx - prev.tx) * -loop[k].tz + (next.tz - prev.tz) * loop[k].tx;
    loop[k].curvature = turn / ds;
  }
  return loop;
}

// Height the jump adds at distance s along the loop: a take-off ramp, a flat
// table and a landing, on the long side of the loop.
const double jump_start = 300.0, jump_up = 28.0, jump_top = 44.0, jump_down = 36.0, jump_height = 6.0;
double jump_profile(double s, int* face) {
  const double d = s - jump_start;
  *face = 0;
  if (d < 0.0 || d > jump_up + jump_top + jump_down) return 0.0;
  if (d < jump_up) {
    *face = 1;
    return jump_height * d / jump_up;
  }
  if (d < jump_up + jump_top) return jump_height;
  *face = 1;
  return jump_height * (1.0 - (d - jump_up - jump_top) / jump_down);
}

double smoothstep(double t) {
  t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
  return t * t * (3.0 - 2.0 * t);
}

struct nearest {
  double distance = 1e30;
  int sample = -1;
};

void shape_field(height_field* field) {
  const std::vector<loop_point> loop = make_loop();
  const int r = field->size;
  const double s = field->spacing;
  // Splat every loop sample into the vertices round it, keeping the nearest.
  std::vector<nearest> near((size_t)r * r);
  const int reach = (int)std::ceil((half_width + shoulder) / s) + 1;
  for (int k = 0; k < loop_samples; k++) {
    const int ci = (int)std::lround(loop[k].x / s), cj = (int)std::lround(loop[k].z / s);
    for (int j = cj - reach; j <= cj + reach; j++)
      for (int i = ci - reach; i <= ci + reach; i++) {
        if (i < 0 || j < 0 || i >= r || j >= r) continue;
        const double d = std::hypot(i * s - loop[k].x, j * s - loop[k].z);
        nearest& n = near[(size_t)i + (size_t)r * j];
        if (d < n.distance) n = {d, k};
      }
  }
  const int q = 1 << field->n;
  std::vector<int> tile_votes((size_t)q * q * 3, 0);
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) {
      const double x = i * s, z = j * s;
      double h = ground(x, z);
      int tile = tile_grass;
      const nearest& n = near[(size_t)i + (size_t)r * j];
      if (n.sample >= 0) {
        const loop_point& p = loop[n.sample];
        const double lateral = (x - p.x) * -p.tz + (z - p.z) * p.tx;  // + to the left
        double bank = p.curvature * 90.0;
        bank = bank < -0.35 ? -0.35 : bank > 0.35 ? 0.35 : bank;
        int face;
        const double surface = ground(p.x, p.z) - bank * lateral + jump_profile(p.s, &face);
        const double blend = 1.0 - smoothstep((n.distance - half_width) / shoulder);
        h = h + (surface - h) * blend;
        if (n.distance <= half_width + 2.0) tile = face ? tile_hardpack : tile_dirt;
      }
      field->heights[(size_t)i + (size_t)r * j] = (float)h;
      // Each tile-map texel covers 2 x 2 cells; its corner vertices vote.
      for (int dj = -1; dj <= 0; dj++)
        for (int di = -1; di <= 0; di++) {
          const int ti = (i + di) >> 1, tj = (j + dj) >> 1;
          if (i + di < 0 || j + dj < 0 || ti >= q || tj >= q) continue;
          tile_votes[((size_t)ti + (size_t)q * tj) * 3 + tile]++;
        }
    }
  for (int k = 0; k < q * q; k++) {
    const int* v = &tile_votes[(size_t)k * 3];
    field->tilemap[k] = v[tile_hardpack] ? tile_hardpack : v[tile_dirt] ? tile_dirt : tile_grass;
  }
  std::memcpy(field->base_heights, field->heights, sizeof(float) * (size_t)r * r);
  field->tile_count = 3;
}

// A 128 x 128 RGB ground texture: a base colour with deterministic speckle.
int write_ground_texture(const std::string& path, int red, int green, int blue, unsigned seed) {
  const int side = 128;
  std::vector<uint8_t> pixels((size_t)side * side * 3);
  unsigned state = seed;
  for (int k = 0; k < side * side; k++) {
    state = state * 1664525u + 1013904223u;
    const int shade = (int)((state >> 24) % 41) - 20;
    const int c[3] = {red + shade, green + shade, blue + shade};
    for (int ch = 0; ch < 3; ch++) pixels[(size_t)k * 3 + ch] = (uint8_t)(c[ch] < 0 ? 0 : c[ch] > 255 ? 255 : c[ch]);
  }
  return image_write_png8(path.c_str(), pixels.data(), side, side, 3);
}

const char tileinfo_text[] =
    "# Quarry Bend ground materials\n"
    "name dirt\n"
    "texture @quarrybend/dirt.png\n"
    "slip_function 1\n"
    "friction 1.15 0\n"
    "friction 1.0 8\n"
    "friction 0.85 25\n"
    "roll_resist 4 12 1\n"
    "roll_resist 6 18 40\n"
    "roost count=12 dig=1 r=122 g=92 b=60 texture=@roost.png\n"
    "erode_depth 1\n"
    "addtile\n"
    "name grass\n"
    "texture @quarrybend/grass.png\n"
    "slip_function 1\n"
    "friction 0.9 0\n"
    "friction 0.65 15\n"
    "roll_resist 8 20 1\n"
    "roll_resist 10 26 30\n"
    "roost count=5 dig=0.5 r=92 g=120 b=58\n"
    "erode_depth 0.25\n"
    "erode_limit 0 1 1\n"
    "erode_limit 0.5 0.2 0.2\n"
    "addtile\n"
    "name hardpack\n"
    "texture @quarrybend/hardpack.png\n"
    "slip_function 1\n"
    "friction 1.25 0\n"
    "friction 1.05 20\n"
    "roll_resist 3 9 1\n"
    "roost count=4 dig=0.3 r=150 g=128 b=96\n"
    "erode_depth 0.1\n"
    "addtile\n";

int write_text(const std::string& path, const char* text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const size_t length = std::strlen(text);
  const bool ok = std::fwrite(text, 1, length, file) == length;
  return std::fclose(file) == 0 && ok;
}

height_field sample_field;

}  // namespace

int bkdata_track(int argc, char** argv) {
  if (argc != 2) return bkdata_usage();
  if (std::strcmp(argv[0], "quarrybend") != 0) {
    std::fprintf(stderr, "bkdata track: no sample track '%s' (there is: quarrybend)\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/quarrybend";
  if (!terrain_create(&sample_field, track_n, track_spacing)) return 1;
  shape_field(&sample_field);
  refresh_terrain_normals(&sample_field);
  int ok = save_terrain(&sample_field, folder.c_str());
  free_terrain(&sample_field);
  ok = ok && write_text(folder + "/tileinfo", tileinfo_text) && write_text(folder + "/desc", "Quarry Bend\n") &&
       write_ground_texture(folder + "/dirt.png", 122, 92, 60, 1) &&
       write_ground_texture(folder + "/grass.png", 84, 118, 52, 2) &&
       write_ground_texture(folder + "/hardpack.png", 150, 128, 96, 3);
  if (!ok) {
    std::fprintf(stderr, "bkdata track: can't write '%s'\n", folder.c_str());
    return 1;
  }
  return bkdata_check_track(folder.c_str()) ? 0 : 1;
}
