// bkdata track quarrybend OUTDIR: the sample track "quarrybend" in
// OUTDIR/quarrybend. A 257 x 257 field at 4 ft over gentle rolling ground,
// with a closed loop of banked turns and a table-top jump; dirt on the loop,
// hardpack on the jump's faces, grass elsewhere. Heights, shading and tile
// map are written by the game's own terrain saver. Beside them: the
// starting grid, timing gates and lap lists, trees, rocks, hay bales and a
// sign, the flaggers, the lighting with its lens flare, the race cameras
// and the mini-map; at OUTDIR the default sky pictures and the roost
// sprite. The folder is loaded back through the game's loader before the
// command reports success.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/anim_writer.h"
#include "assets/image.h"
#include "assets/jm_writer.h"
#include "terrain/height_field.h"
#include "terrain/bitmap.h"
#include "terrain/terrain_files.h"
#include "terrain/track_lighting.h"
#include "tools/bkdata/commands.h"

namespace {

const int track_n = 7;
const float track_spacing = 4.0f;
const float half_width = 14.0f;   // ft either side of the centre line
const float shoulder = 16.0f;     // ft over which the track blends into the ground
const int loop_samples = 4096;
const double pi = 3.14159265358979323846;
// The waving flags: four frames, each shown for 16 ticks (an eighth of a
// second), so a flag ripples twice a second.
const int flagger_wave_frames = 4;
const int flagger_wave_ticks = 16;

enum { tile_dirt, tile_grass, tile_hardpack, tile_first_transition };

// Corner patterns of the dirt/grass transition tiles (a set digit shows
// grass; the digits run from bit 3 to bit 0). Two of the fourteen are
// left out, so some neighbours find no tile that fits and stay as they are.
const char* const transition_patterns[] = {"0001", "0010", "0011", "0100", "0101", "0110",
                                           "1001", "1010", "1011", "1100", "1101", "1110"};

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
  std::vector<uint8_t> vertex_tile((size_t)r * r, tile_grass);
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
      vertex_tile[(size_t)i + (size_t)r * j] = (uint8_t)tile;
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
    // Where dirt meets grass the texel takes the transition tile whose
    // corners show what its corner vertices are, so the edge runs across
    // texels instead of stepping along whole ones. A thin strip that no
    // corner sees, or a pattern without a tile, stays dirt.
    if (field->tilemap[k] != tile_dirt || !v[tile_grass]) continue;
    const int ti = k % q, tj = k / q;
    auto grass_at = [&](int di, int dj) {
      const int i = 2 * ti + di, j = 2 * tj + dj;
      return i < r && j < r && vertex_tile[(size_t)i + (size_t)r * j] == tile_grass;
    };
    // Corner bits: 1 (+x, +z), 2 (-x, +z), 4 (+x, -z), 8 (-x, -z).
    const int pattern = grass_at(2, 2) | grass_at(0, 2) << 1 | grass_at(2, 0) << 2 | grass_at(0, 0) << 3;
    for (size_t t = 0; t < sizeof transition_patterns / sizeof transition_patterns[0]; t++)
      if ((int)std::strtol(transition_patterns[t], nullptr, 2) == pattern) field->tilemap[k] = (uint8_t)(tile_first_transition + t);
  }
  std::memcpy(field->base_heights, field->heights, sizeof(float) * (size_t)r * r);
  field->tile_count = tile_first_transition + (int)(sizeof transition_patterns / sizeof transition_patterns[0]);
}

// A 128 x 128 RGB ground texture: a base colour with deterministic speckle,
// or, with `blend`, a second colour showing at the corners it flags (bit 0
// the (+x, +z) corner, 1 (-x, +z), 2 (+x, -z), 3 (-x, -z); texture rows run
// along +z), the two mixed smoothly between corners.
struct ground_colour {
  int red, green, blue;
};
int write_ground_texture(const std::string& path, ground_colour base, unsigned seed, ground_colour other = {},
                         int blend = 0) {
  const int side = 128;
  std::vector<uint8_t> pixels((size_t)side * side * 3);
  unsigned state = seed;
  for (int k = 0; k < side * side; k++) {
    state = state * 1664525u + 1013904223u;
    const int shade = (int)((state >> 24) % 41) - 20;
    const double u = ((k % side) + 0.5) / side, v = ((k / side) + 0.5) / side;
    auto corner = [&](int bit) { return (blend >> bit) & 1 ? 1.0 : 0.0; };
    double w = corner(3) * (1 - u) * (1 - v) + corner(2) * u * (1 - v) + corner(1) * (1 - u) * v + corner(0) * u * v;
    w = w * w * (3 - 2 * w);  // a firmer edge between the two grounds
    const double mix[3] = {base.red + (other.red - base.red) * w, base.green + (other.green - base.green) * w,
                           base.blue + (other.blue - base.blue) * w};
    for (int ch = 0; ch < 3; ch++) {
      const int c = (int)std::lround(mix[ch]) + shade;
      pixels[(size_t)k * 3 + ch] = (uint8_t)(c < 0 ? 0 : c > 255 ? 255 : c);
    }
  }
  return image_write_png8(path.c_str(), pixels.data(), side, side, 3);
}

const ground_colour dirt_colour = {122, 92, 60}, grass_colour = {84, 118, 52}, hardpack_colour = {150, 128, 96};


const char dirt_physics[] =
    "slip_function 1\n"
    "friction 1.15 0\n"
    "friction 1.0 8\n"
    "friction 0.85 25\n"
    "roll_resist 4 12 1\n"
    "roll_resist 6 18 40\n"
    "roost count=12 dig=1 r=122 g=92 b=60 texture=@roost.png\n"
    "erode_depth 1\n";

// The plain tiles first (dirt, grass, hardpack), then the transitions and
// two more looks of dirt. Transition tiles are matched by their texture
// names, which must name the plain tiles' textures without a folder: the
// ground textures lie at the data root.
std::string tileinfo_text() {
  std::string text = std::string("name dirt\ntexture @dirt.png\n") + dirt_physics +
                     "addtile\n"
                     "name grass\n"
                     "texture @grass.png\n"
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
                     "texture @hardpack.png\n"
                     "slip_function 1\n"
                     "friction 1.25 0\n"
                     "friction 1.05 20\n"
                     "roll_resist 3 9 1\n"
                     "roost count=4 dig=0.3 r=150 g=128 b=96\n"
                     "erode_depth 0.1\n"
                     "addtile\n";
  for (const char* p : transition_patterns)
    text += std::string("name dirt_grass_") + p + "\ntexture @dirt-grass-" + p + ".png\n" + dirt_physics + "addtile\n";
  for (int k = 1; k <= 2; k++)
    text += "name dirt_alt" + std::to_string(k) + "\ntexture @dirt-alt" + std::to_string(k) + ".png\n" + dirt_physics +
            "addtile\n";
  return text;
}

// The tiles' textures, at the data root.
int write_ground_textures(const std::string& root) {
  int ok = write_ground_texture(root + "/dirt.png", dirt_colour, 1) &&
           write_ground_texture(root + "/grass.png", grass_colour, 2) &&
           write_ground_texture(root + "/hardpack.png", hardpack_colour, 3);
  unsigned seed = 10;
  for (const char* p : transition_patterns)
    ok = ok && write_ground_texture(root + "/dirt-grass-" + p + ".png", dirt_colour, seed++, grass_colour,
                                    (int)std::strtol(p, nullptr, 2));
  ok = ok && write_ground_texture(root + "/dirt-alt1.png", {128, 95, 60}, 31) &&
       write_ground_texture(root + "/dirt-alt2.png", {116, 90, 62}, 32);
  return ok;
}

int write_text(const std::string& path, const char* text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const size_t length = std::strlen(text);
  const bool ok = std::fwrite(text, 1, length, file) == length;
  return std::fclose(file) == 0 && ok;
}

height_field sample_field;

const double start_s = 60.0;  // distance along the loop of the start line
const int gate_count = 7;

// The point of the loop nearest to distance s along it.
const loop_point& loop_at(const std::vector<loop_point>& loop, double s) {
  const double total = loop.back().s;
  s = std::fmod(s, total);
  if (s < 0) s += total;
  size_t k = 0;
  while (k + 1 < loop.size() && loop[k + 1].s <= s) k++;
  return loop[k];
}

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Distance along the loop of timing gate g: the first just past the start
// line, the others spread round the lap.
double gate_s(const std::vector<loop_point>& loop, int g) {
  return start_s + 40.0 + g * (loop.back().s - 80.0) / gate_count;
}

// Eight places across the track behind the start line, each with the stock
// gate object; seven gates on the centre line facing the way of travel; a
// first lap whose fourth crossing starts no line segment.
std::string timing_gates_text(const std::vector<loop_point>& loop) {
  std::string text = "startinggate:\n";
  const loop_point& start = loop_at(loop, start_s);
  const double heading = std::atan2(-start.tx, -start.tz);
  for (int i = 0; i < 8; i++) {
    const double lateral = (i - 3.5) * 3.2;
    text += fmt("[%f %f %f] %f\n", start.x - start.tz * lateral, 0.0, start.z + start.tx * lateral, heading);
  }
  text += "checkpoints:\n";
  for (int g = 0; g < gate_count; g++) {
    const loop_point& p = loop_at(loop, gate_s(loop, g));
    text += fmt("%f [%f %f %f] [%f %f %f]\n", 30.0, p.x, ground(p.x, p.z), p.z, p.tx, 0.0, p.tz);
  }
  text += "firstlap:\n0 1 2 100003 4 5 6 \nnormallap:\n0 1 2 3 4 5 6 \n";
  return text;
}

// A point beside the loop: distance s along it, `side` feet to the left
// (negative: right) of the centre line.
void beside(const std::vector<loop_point>& loop, double s, double side, double* x, double* z) {
  const loop_point& p = loop_at(loop, s);
  *x = p.x - p.tz * side;
  *z = p.z + p.tx * side;
}

std::string billboards_text(const std::vector<loop_point>& loop) {
  std::string text;
  for (int k = 0; k < 24; k++) {
    double x, z;
    const double side = (k % 2 ? -1.0 : 1.0) * (40.0 + 13.0 * (k % 5));
    beside(loop, 25.0 + k * 67.0, side, &x, &z);
    // One tree in four is a paler kind: the same picture tinted.
    text += fmt("[%f %f %f] %f %f %s@quarrybend/tree.png\n", x, 0.0, z, 18.0 + 3.0 * (k % 3), 0.6,
                k % 4 == 1 ? "#c8e0a0#" : "");
  }
  return text;
}

// Rocks (with a normal map) and hay bales line the track; a sign at the
// start always turns to face the viewer and has no shape.
std::string statues_text(const std::vector<loop_point>& loop) {
  std::string text;
  for (int k = 0; k < 10; k++) {
    double x, z;
    beside(loop, 200.0 + k * 150.0, k % 2 ? 22.0 : -22.0, &x, &z);
    if (k % 3 == 0)
      text += fmt("[%f %f %f] %f @quarrybend/rock.jm @quarrybend/rock.png @quarrybend/rock.shp\n", x, 0.0, z,
                  0.7 * k - 3.0);
    else
      text += fmt("[%f %f %f] %f @quarrybend/bale.jm @quarrybend/bale.png @quarrybend/bale.shp\n", x, 0.0, z,
                  0.4 * k - 2.0);
  }
  double x, z;
  beside(loop, start_s - 20.0, 30.0, &x, &z);
  text += fmt("[%f %f %f] %f @quarrybend/sign.jm @quarrybend/sign.png null\n", x, 4.0, z, 3.5);
  return text;
}

// Decals on the ground past the start: arrows along the racing line and a
// run of tyre marks whose pieces overlap. Each lies along the track, its
// length (the second extent) twice its width.
std::string decals_text(const std::vector<loop_point>& loop) {
  std::string text;
  auto lay = [&](double s, double side, double width, const char* name) {
    const loop_point& p = loop_at(loop, s);
    double x, z;
    beside(loop, s, side, &x, &z);
    // The picture's top points ahead, (-sin, -cos) of the angle.
    text += fmt("[%f %f] %f %f %f %s\n", x, z, std::atan2(-p.tx, -p.tz), width, 2 * width, name);
  };
  for (int k = 0; k < 4; k++) lay(start_s + 25.0 + 18.0 * k, 0.0, 4.0, "@quarrybend/arrow.png");
  for (int k = 0; k < 4; k++) lay(start_s + 110.0 + 4.0 * k, 3.0, 2.5, "@quarrybend/tyre.png");
  return text;
}

// The track script: it greets the riders, sounds the horn and names the
// drop time when the gate falls, sways the first tree and turns the start
// sign every frame, and tints the second tree by the leader's lap.
std::string frills_text(const std::vector<loop_point>& loop) {
  double tree_x, tree_z, sign_x, sign_z, horn_x, horn_z;
  beside(loop, 25.0, 40.0, &tree_x, &tree_z);  // billboard 0, as billboards_text places it
  beside(loop, start_s - 20.0, 30.0, &sign_x, &sign_z);  // the sign, the last statue
  beside(loop, start_s, 25.0, &horn_x, &horn_z);
  std::string text = "// Quarry Bend's frills: made by bkdata.\n";
  text += fmt("var tree = { x: %f, z: %f };\nvar sign = { index: 10, x: %f, z: %f, height: 4 };\n", tree_x, tree_z,
              sign_x, sign_z);
  text += fmt("var horn_at = [%f, 0, %f];\n", horn_x, horn_z);
  text += R"js(var lap_colours = [[1, 1, 1], [1, 0.85, 0.4], [0.6, 1, 0.6], [0.5, 0.8, 1], [1, 0.5, 0.5]];
var horn = bk.add_sound("@quarrybend/horn.raw");
var gate_dropped = false;
var shown_lap = -1;

bk.message("Quarry Bend: frills loaded, the gate drops in a moment");

bk.frame_handler = function (seconds) {
  // The first tree leans with the wind, its foot on the ground.
  var x = tree.x + 1.5 * Math.sin(seconds * 1.3);
  bk.move_billboard_absolute(0, x, bk.get_elevation(x, tree.z), tree.z);
  // The start sign turns round once every eight seconds.
  var heading = (seconds * Math.PI / 4) % (2 * Math.PI) - Math.PI;
  bk.move_statue(sign.index, sign.x, sign.height, sign.z, heading);
};

bk.tic_handler = function (seconds) {
  if (!gate_dropped && bk.get_gate_drop_time() >= 0) {
    gate_dropped = true;
    bk.message("Gate dropped at " + bk.get_gate_drop_time().toFixed(2) + " s");
    if (horn >= 0) {
      bk.set_sound_freq(horn, 44100);
      bk.set_sound_vol(horn, 1);
      bk.set_sound_pos(horn, horn_at[0], bk.get_elevation(horn_at[0], horn_at[2]) + 6, horn_at[2]);
      bk.start_sound(horn);
    }
    var p = bk.get_position(bk.get_running_count() > 0 ? bk.get_running_order_slot(0) : 0);
    if (p) bk.message("Holeshot from tile " + bk.get_tile_number(p[0], p[2]));
  }
  var order = bk.get_running_order();
  var lap = order.length > 0 ? bk.index_to_lap(order[0].position) : 0;
  if (lap != shown_lap) {
    shown_lap = lap;
    var c = lap_colours[lap % lap_colours.length];
    bk.color_billboard(1, c[0], c[1], c[2], 1);
  }
};
)js";
  return text;
}

std::string flaggers_text(const std::vector<loop_point>& loop) {
  double fx, fz, tx, tz, lx, lz;
  beside(loop, gate_s(loop, 0), 18.0, &fx, &fz);
  beside(loop, gate_s(loop, 0), 40.0, &tx, &tz);
  beside(loop, gate_s(loop, 0) + 10.0, -20.0, &lx, &lz);
  std::string text = fmt("[%f 0 %f] [%f 0 %f] 6 0.5 2.5\n", fx, fz, tx, tz);
  for (int k = 0; k < 5; k++) text += fmt("@quarrybend/flagger_start%d.png ", k);
  text += fmt("\n[%f 0 %f] 6 0.5\n", lx, lz);
  text += "@quarrybend/flagger_green.seq @quarrybend/flagger_halfway.seq @quarrybend/flagger_white.seq "
          "@quarrybend/flagger_chequered.seq\n";
  for (int g : {2, 5}) {
    double x, z;
    beside(loop, gate_s(loop, g) - 30.0, g == 2 ? 20.0 : -20.0, &x, &z);
    text += fmt("[%f 0 %f] 6 0.5 %d %d -1 -1 @quarrybend/flagger_idle.png @quarrybend/flagger_yellow.seq\n", x, z,
                g, g - 1);
  }
  return text;
}

// The sample track's sun, as its lighting names it.
const double sample_sun[3] = {0.45, 0.8, 0.35};

// Each flare element lies at q times the sun's point on the screen plus p
// times that point turned a quarter right, for its pair [ p q ]: the glow on
// the sun, the ring and the spot along the line through the middle.
const char lighting_text[] =
    "sun_vector [ 0.45 0.8 0.35 ]\n"
    "sun_color [ 1 0.96 0.88 ]\n"
    "ambient [ 0.45 0.47 0.5 ]\n"
    "global_ambient [ 0.2 0.2 0.22 ]\n"
    "near_plane 0.5\n"
    "far_plane 4000\n"
    "fog [ 0.72 0.78 0.85 ] 0.0006\n"
    "flare_element [ 0 1 ] [ 1 0.95 0.8 ] 0.18 @quarrybend/flare_glow.png\n"
    "flare_element [ 0 0.45 ] [ 0.6 0.8 1 ] 0.09 @quarrybend/flare_ring.png\n"
    "flare_element [ 0 -0.35 ] [ 1 0.7 0.4 ] 0.05 @quarrybend/flare_spot.png\n"
    "flare_vector [ 0.45 0.8 0.35 ]\n";

// Five cameras round the loop; each watches the gates nearest it.
std::string cameras_text(const std::vector<loop_point>& loop) {
  std::string text;
  const int gates_of[5][2] = {{0, 1}, {2, -1}, {3, -1}, {4, 5}, {6, -1}};
  for (int c = 0; c < 5; c++) {
    double x, z;
    beside(loop, gate_s(loop, gates_of[c][0]) + 20.0, c % 2 ? -45.0 : 45.0, &x, &z);
    text += fmt("gate %d", gates_of[c][0]);
    if (gates_of[c][1] >= 0) text += fmt(" %d", gates_of[c][1]);
    text += fmt("\nfov %d\naddcamera %f %f %f\n", 50 + 10 * c, x, 12.0 + c, z);
  }
  return text;
}

// A picture drawn pixel by pixel: colour(x, y, out) fills channels bytes.
template <typename F>
int write_picture(const std::string& path, int width, int height, int channels, F colour) {
  std::vector<uint8_t> pixels((size_t)width * height * channels);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) colour(x, y, &pixels[((size_t)y * width + x) * channels]);
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".ppm") == 0)
    return image_write_pnm(path.c_str(), "P6", pixels.data(), width, height);
  return image_write_png8(path.c_str(), pixels.data(), width, height, channels);
}

void set_rgba(uint8_t* p, int r, int g, int b, int a) {
  p[0] = (uint8_t)r;
  p[1] = (uint8_t)g;
  p[2] = (uint8_t)b;
  p[3] = (uint8_t)a;
}

// The decal pictures: a white arrow pointing up, and a dark tread strip,
// clear around both.
int write_decal_pictures(const std::string& folder) {
  return write_picture(folder + "/arrow.png", 32, 64, 4,
                       [](int x, int y, uint8_t* p) {
                         const double cx = 15.5;
                         const bool head = y >= 4 && y < 28 && std::fabs(x - cx) < (y - 4) * 0.6;
                         const bool shaft = y >= 28 && y < 60 && std::fabs(x - cx) < 5;
                         if (head || shaft)
                           set_rgba(p, 245, 245, 235, 230);
                         else
                           set_rgba(p, 0, 0, 0, 0);
                       }) &&
         write_picture(folder + "/tyre.png", 16, 32, 4, [](int x, int y, uint8_t* p) {
           const bool band = x >= 2 && x < 14;
           const bool tread = ((y / 3) % 2 == 0) || std::abs(x - 8) < 2;
           if (band && tread)
             set_rgba(p, 40, 32, 26, 200);
           else if (band)
             set_rgba(p, 60, 48, 38, 120);
           else
             set_rgba(p, 0, 0, 0, 0);
         });
}

// A fir: a dark green cone over a brown trunk, clear around.
int write_tree(const std::string& path) {
  return write_picture(path, 64, 128, 4, [](int x, int y, uint8_t* p) {
    const double half = (y - 4) * 0.27;
    const bool crown = y >= 4 && y < 108 && std::fabs(x - 31.5) < half;
    const bool trunk = y >= 104 && std::fabs(x - 31.5) < 4;
    const int shade = ((x * 5 + y * 3) % 13) - 6;
    if (crown)
      set_rgba(p, 34 + shade, 92 + 2 * shade, 40 + shade, 255);
    else if (trunk)
      set_rgba(p, 96, 64, 36, 255);
    else
      set_rgba(p, 0, 0, 0, 0);
  });
}

// A flagger: a figure in overalls holding a flag of the given colour;
// `raised` lifts the flag over the head, `chequered` paints it so. A `wave`
// of 0 to 3 ripples the cloth a quarter turn further each (a frame of the
// waving sequences); -1 leaves it flat.
int write_flagger(const std::string& path, int r, int g, int b, bool raised, bool chequered, int wave = -1) {
  return write_picture(path, 64, 128, 4, [=](int x, int y, uint8_t* p) {
    set_rgba(p, 0, 0, 0, 0);
    const double cx = 31.5;
    if (std::hypot(x - cx, y - 22) < 8) set_rgba(p, 222, 180, 150, 255);              // head
    if (y >= 30 && y < 80 && std::fabs(x - cx) < 10) set_rgba(p, 40, 70, 160, 255);  // body
    if (y >= 80 && y < 124 && std::fabs(std::fabs(x - cx) - 5) < 4) set_rgba(p, 40, 50, 90, 255);  // legs
    const int pole_x = 46, flag_top = raised ? 2 : 40;
    if (x >= pole_x && x < pole_x + 2 && y >= flag_top && y < flag_top + 50) set_rgba(p, 90, 90, 90, 255);
    // The ripple grows away from the pole, where the cloth is held.
    const int ripple =
        wave < 0 ? 0 : (int)std::lround((x - pole_x - 2) / 4.0 * std::sin((x - pole_x) * 0.55 - wave * pi / 2));
    if (x >= pole_x + 2 && x < 64 && y >= flag_top + ripple && y < flag_top + 18 + ripple) {
      if (chequered)
        set_rgba(p, ((x / 4 + y / 4) % 2) ? 255 : 10, ((x / 4 + y / 4) % 2) ? 255 : 10,
                 ((x / 4 + y / 4) % 2) ? 255 : 10, 255);
      else
        set_rgba(p, r, g, b, 255);
    }
  });
}

// A soft round spot, full in the middle: lens-flare elements and roost.
int write_spot(const std::string& path, int r, int g, int b, double ring) {
  return write_picture(path, 64, 64, 4, [=](int x, int y, uint8_t* p) {
    const double d = std::hypot(x - 31.5, y - 31.5) / 32.0;
    double a = ring > 0 ? std::exp(-std::pow((d - ring) / 0.08, 2)) : std::exp(-d * d * 4.0);
    if (d >= 1.0) a = 0;
    set_rgba(p, r, g, b, (int)std::lround(255 * a));
  });
}

// Grey stone with blotches; its normal map tilts the normals over them.
int write_rock(const std::string& folder) {
  auto bump = [](int x, int y) { return std::sin(x * 0.31) * std::cos(y * 0.23) + 0.5 * std::sin((x + y) * 0.13); };
  return write_picture(folder + "/rock.png", 64, 64, 3,
                       [&](int x, int y, uint8_t* p) {
                         const int v = 128 + (int)(30 * bump(x, y));
                         p[0] = (uint8_t)v, p[1] = (uint8_t)(v - 4), p[2] = (uint8_t)(v - 10);
                       }) &&
         write_picture(folder + "/rock_norm.png", 64, 64, 3, [&](int x, int y, uint8_t* p) {
           const double nx = bump(x + 1, y) - bump(x - 1, y), ny = bump(x, y + 1) - bump(x, y - 1);
           const double l = std::sqrt(nx * nx + ny * ny + 1.0);
           p[0] = (uint8_t)std::lround(127.5 - 127.5 * nx / l);
           p[1] = (uint8_t)std::lround(127.5 - 127.5 * ny / l);
           p[2] = (uint8_t)std::lround(127.5 + 127.5 / l);
         });
}

int write_model(const std::string& path, model* m) {
  if (!m) return 0;
  const int ok = jm_write_file(m, path.c_str());
  model_free_submeshes(m);
  return ok;
}

// The statues' models and shapes: a rock, a hay bale and a sign.
int write_statue_files(const std::string& folder) {
  const jm_material stone = {8.0f, {0.8f, 0.8f, 0.8f, 1.0f}}, straw = {4.0f, {0.95f, 0.9f, 0.7f, 1.0f}},
                    paint = {16.0f, {1.0f, 1.0f, 1.0f, 1.0f}};
  const float rock_size[3] = {4.0f, 3.0f, 5.0f}, sign_size[3] = {6.0f, 3.0f, 0.3f};
  model* rock = jm_box(rock_size, &stone, "rock");
  if (rock)
    for (int i = 0; i < rock->vertex_count; i++) rock->positions[3 * i + 1] += 1.5f;
  model* bale = jm_cylinder(2.0f, 3.0f, 16, &straw, "bale");
  if (bale)
    for (int i = 0; i < bale->vertex_count; i++) bale->positions[3 * i + 1] += 1.5f;
  return write_model(folder + "/rock.jm", rock) && write_model(folder + "/bale.jm", bale) &&
         write_model(folder + "/sign.jm", jm_box(sign_size, &paint, "sign")) &&
         write_text(folder + "/rock.shp", "2\n0 1.5 -1 2 0.8 25000 2500\n0 1.5 1 2 0.8 25000 2500\n") &&
         write_text(folder + "/bale.shp", "1\n0 1.5 0 2 0.6 8000 800\n") && write_rock(folder) &&
         write_picture(folder + "/bale.png", 64, 64, 3,
                       [](int x, int y, uint8_t* p) {
                         const int v = ((x * 7 + y * 13) % 23) - 11 + (y % 8 < 2 ? -30 : 0);
                         p[0] = (uint8_t)(214 + v), p[1] = (uint8_t)(188 + v), p[2] = (uint8_t)(110 + v);
                       }) &&
         write_picture(folder + "/sign.png", 128, 64, 3, [](int x, int y, uint8_t* p) {
           const bool stripe = ((x + y) / 8) % 2 == 0 && (y < 10 || y >= 54);
           p[0] = stripe ? 230 : 250, p[1] = stripe ? 40 : 250, p[2] = stripe ? 30 : 245;
         });
}

// The flaggers' pictures. The course flaggers' waving flag and the lap
// flagger's four flags are looping sequences of four frames of a rippling
// cloth; the rest are still pictures.
int write_flaggers(const std::string& folder) {
  struct look {
    const char* name;
    int r, g, b;
    bool raised, chequered, waving;
  } const looks[] = {
      {"flagger_start0", 250, 250, 250, false, false, false}, {"flagger_start1", 250, 250, 250, true, false, false},
      {"flagger_start2", 40, 180, 60, false, false, false},   {"flagger_start3", 40, 180, 60, true, false, false},
      {"flagger_start4", 40, 180, 60, false, false, false},   {"flagger_green", 40, 180, 60, true, false, true},
      {"flagger_halfway", 40, 110, 220, true, false, true},   {"flagger_white", 250, 250, 250, true, false, true},
      {"flagger_chequered", 0, 0, 0, true, true, true},       {"flagger_idle", 250, 210, 30, false, false, false},
      {"flagger_yellow", 250, 210, 30, true, false, true},
  };
  for (const look& l : looks) {
    if (!l.waving) {
      if (!write_flagger(folder + "/" + l.name + ".png", l.r, l.g, l.b, l.raised, l.chequered)) return 0;
      continue;
    }
    std::string frame_names[flagger_wave_frames];
    anim_writer_frame frames[flagger_wave_frames];
    int order[flagger_wave_frames];
    for (int k = 0; k < flagger_wave_frames; k++) {
      const std::string file = fmt("%s_%d.png", l.name, k);
      if (!write_flagger(folder + "/" + file, l.r, l.g, l.b, l.raised, l.chequered, k)) return 0;
      frame_names[k] = "@quarrybend/" + file;
      frames[k] = {frame_names[k].c_str(), nullptr, 64, 128};
      order[k] = k;
    }
    const anim_writer_sequence seq = {flagger_wave_frames, order, flagger_wave_frames, frames,
                                      flagger_wave_ticks, 1};
    if (!anim_write_file(&seq, (folder + "/" + l.name + ".seq").c_str())) return 0;
  }
  return 1;
}

// The default sky at the data root: a gradient from the horizon up with the
// sample track's sun on the up picture, and the environment picture the
// shiny bikes reflect. The scene lays the up picture over the box's top
// face with its columns along +x and its rows along -z, first row at +z, so
// a direction (x, y, z) with y largest meets it at column (x / y + 1) / 2
// and row (1 - z / y) / 2 of the picture. The sun is near white: lens
// flares show only where the sky there is.
//
// The side pictures carry a band of soft clouds above the horizon. A bare
// gradient is reproduced exactly by its own smaller mip levels, so the
// texture loader would keep only a 16 x 16 level of it; the clouds' detail
// keeps the full picture. The four sides are one strip around the box
// (north, east, south, west, each left to right as seen from inside), so
// the clouds run on across the corners.
int write_sky(const std::string& root) {
  const int side_size = 256, strip = 4 * side_size;
  // Value noise on a lattice of `cell` pixels, wrapping around the strip.
  auto lattice = [](int i, int j, int salt) {
    uint32_t h = (uint32_t)i * 374761393u + (uint32_t)j * 668265263u + (uint32_t)salt * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xffff) / 65535.0;
  };
  auto noise = [&](double x, double y, int cell, int salt) {
    const int period = strip / cell;
    const double fx = x / cell, fy = y / cell;
    const int i = (int)std::floor(fx), j = (int)std::floor(fy);
    const double u = fx - i, v = fy - j;
    const double su = u * u * (3 - 2 * u), sv = v * v * (3 - 2 * v);
    auto at = [&](int a, int b) { return lattice(((a % period) + period) % period, b, salt); };
    const double top = at(i, j) + (at(i + 1, j) - at(i, j)) * su;
    const double bottom = at(i, j + 1) + (at(i + 1, j + 1) - at(i, j + 1)) * su;
    return top + (bottom - top) * sv;
  };
  for (int k = 0; k < 4; k++) {
    static const char* const names[4] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm"};
    auto side = [&](int x, int y, uint8_t* p) {
      const double t = y / (side_size - 1.0);
      double c[3] = {70 + 110 * t, 120 + 80 * t, 200 + 30 * t};
      const double sx = k * side_size + x;
      const double n = 0.5 * noise(sx, y * 3.0, 64, 1) + 0.3 * noise(sx, y * 3.0, 16, 2) + 0.2 * noise(sx, y * 3.0, 4, 3);
      // Clouds between a third of the way down and just above the horizon.
      const double band = t < 0.3 || t > 0.9 ? 0 : std::sin((t - 0.3) / 0.6 * 3.14159265);
      const double cover = std::fmin(std::fmax((n - 0.5) * 3, 0.0), 1.0) * band * 0.7;
      const double cloud[3] = {212, 214, 220};
      for (int q = 0; q < 3; q++) p[q] = (uint8_t)std::lround(c[q] + (cloud[q] - c[q]) * cover);
    };
    if (!write_picture(root + "/" + names[k], side_size, side_size, 3, side)) return 0;
  }
  const double sun_x = (sample_sun[0] / sample_sun[1] + 1) / 2 * 128,
               sun_y = (1 - sample_sun[2] / sample_sun[1]) / 2 * 128;
  return write_picture(root + "/sky-u.ppm", 128, 128, 3,
                       [&](int x, int y, uint8_t* p) {
                         // The side pictures' top colour, so the box shows no seam.
                         double c[3] = {70, 120, 200};
                         // A disc of 4 texels with a soft rim out to 7.
                         const double r = std::hypot(x + 0.5 - sun_x, y + 0.5 - sun_y);
                         const double sun = r <= 4 ? 1 : r >= 7 ? 0 : (7 - r) / 3;
                         const double white[3] = {255, 252, 240};
                         for (int k = 0; k < 3; k++) c[k] += sun * (white[k] - c[k]);
                         p[0] = (uint8_t)std::lround(c[0]), p[1] = (uint8_t)std::lround(c[1]),
                         p[2] = (uint8_t)std::lround(c[2]);
                       }) &&
         write_picture(root + "/sky-env.ppm", 128, 128, 3, [](int, int y, uint8_t* p) {
           const bool sky = y < 64;
           p[0] = (uint8_t)(sky ? 150 + y : 110 - y / 4), p[1] = (uint8_t)(sky ? 190 + y / 2 : 90 - y / 4),
           p[2] = (uint8_t)(sky ? 230 : 60);
         });
}

// The mini-map: one pixel per tile-map texel in the tile's colour.
int write_map(const std::string& path, const height_field* field) {
  const int q = 1 << field->n;
  static const int colours[3][3] = {{122, 92, 60}, {84, 118, 52}, {150, 128, 96}};
  // Shaded as if lit from the top left of the picture, so the jumps and
  // banks read on the HUD's map.
  const int r = field->size;
  auto height_at = [&](int x, int y) {
    x = x < 0 ? 0 : x >= r ? r - 1 : x;
    y = y < 0 ? 0 : y >= r ? r - 1 : y;
    return field->heights[x + r * y];
  };
  return write_picture(path, q, q, 3, [&](int x, int y, uint8_t* p) {
    // Transition tiles are mostly dirt, whichever corners show grass.
    const int tile = field->tilemap[x + q * y];
    const int* c = colours[tile < tile_first_transition ? tile : tile_dirt];
    const double slope = (height_at(x + 1, y + 1) - height_at(x - 1, y - 1)) / (2 * field->spacing);
    double shade = 1 + 0.8 * slope;
    shade = shade < 0.55 ? 0.55 : shade > 1.3 ? 1.3 : shade;
    for (int k = 0; k < 3; k++) {
      const double v = c[k] * shade;
      p[k] = (uint8_t)(v > 255 ? 255 : v);
    }
  });
}

// Shadows baked along the sun: a vertex is in shadow when the ground rises
// above the ray from it towards the sun. Stored as the loader keeps them
// (255 - the file's value, so 0 is full light); the file gets 255 in the
// sun and 110 in shadow.
void bake_shadows(height_field* field, const double sun[3]) {
  const int r = field->size;
  const double length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
  const double d[3] = {sun[0] / length, sun[1] / length, sun[2] / length};
  const double horizontal = std::hypot(d[0], d[2]);
  const double step = field->spacing / 2, rise = d[1] / horizontal * step;
  for (int row = 0; row < r; row++)
    for (int column = 0; column < r; column++) {
      double x = column * field->spacing, z = row * field->spacing;
      double y = field->heights[column + r * row] + 0.05;
      int shadowed = 0;
      // Out of the grid, or once the ray is above every height, nothing can
      // cover it.
      while (!shadowed && y <= field->max_height) {
        x += d[0] / horizontal * step;
        z += d[2] / horizontal * step;
        y += rise;
        if (x < 0 || z < 0 || x > field->extent || z > field->extent) break;
        shadowed = terrain_height(field, (float)x, (float)z) > y;
      }
      field->shadows[column + r * row] = shadowed ? 255 - 110 : 0;
    }
}

int write_shadows(const std::string& folder, const height_field* field) {
  const int r = field->size;
  std::vector<uint8_t> pixels((size_t)r * r);
  for (size_t k = 0; k < pixels.size(); k++) pixels[k] = (uint8_t)(255 - field->shadows[k]);
  return image_write_pnm((folder + "/shadows.pgm").c_str(), "P5", pixels.data(), r, r);
}

// Everything of the track beside its terrain files.
int write_furniture(const std::string& root, const std::string& folder) {
  const std::vector<loop_point> loop = make_loop();
  return write_text(folder + "/timing_gates", timing_gates_text(loop).c_str()) &&
         write_text(folder + "/billboards", billboards_text(loop).c_str()) &&
         write_text(folder + "/statues", statues_text(loop).c_str()) &&
         write_text(folder + "/decals", decals_text(loop).c_str()) && write_decal_pictures(folder) &&
         write_text(folder + "/frills.js", frills_text(loop).c_str()) &&
         write_text(folder + "/flaggers", flaggers_text(loop).c_str()) &&
         write_text(folder + "/lighting", lighting_text) && write_text(folder + "/cameras", cameras_text(loop).c_str()) &&
         write_tree(folder + "/tree.png") && write_statue_files(folder) && write_flaggers(folder) &&
         write_spot(folder + "/flare_glow.png", 255, 250, 230, 0) &&
         write_spot(folder + "/flare_ring.png", 200, 220, 255, 0.7) &&
         write_spot(folder + "/flare_spot.png", 255, 200, 150, 0) && write_sky(root) &&
         write_spot(root + "/roost.png", 255, 255, 255, 0);
}

}  // namespace

double quarrybend_centre_line(std::vector<centre_point>* out) {
  out->clear();
  for (const loop_point& p : make_loop()) out->push_back({p.x, p.z, p.tx, p.tz, p.s, p.curvature});
  return start_s;
}

std::string quarrybend_frills_text() { return frills_text(make_loop()); }

int bkdata_track(int argc, char** argv) {
  if (argc != 2) return bkdata_usage();
  if (std::strcmp(argv[0], "quarrybend") != 0) {
    std::fprintf(stderr, "bkdata track: no sample track '%s' (there is: quarrybend)\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/quarrybend";
  if (!terrain_create(&sample_field, track_n, track_spacing)) return 1;
  shape_field(&sample_field);
  // Shade and shadow under the sample's own sun and colours, as its
  // lighting file gives them.
  const track_lighting saved = lighting;
  const double length = std::sqrt(sample_sun[0] * sample_sun[0] + sample_sun[1] * sample_sun[1] +
                                  sample_sun[2] * sample_sun[2]);
  for (int c = 0; c < 3; c++) lighting.sun_vector[c] = (float)(sample_sun[c] / length);
  const float sun_color[3] = {1, 0.96f, 0.88f}, ambient[3] = {0.45f, 0.47f, 0.5f};
  std::memcpy(lighting.sun_color, sun_color, sizeof sun_color);
  std::memcpy(lighting.ambient, ambient, sizeof ambient);
  sample_field.max_height = sample_field.heights[0];
  for (int k = 1; k < sample_field.size * sample_field.size; k++)
    sample_field.max_height = std::fmax(sample_field.max_height, sample_field.heights[k]);
  bake_shadows(&sample_field, sample_sun);
  for (int k = 0; k < sample_field.size * sample_field.size; k++) bitmap_set(sample_field.vertex_dirty, k);
  refresh_terrain_normals(&sample_field);
  int ok = save_terrain(&sample_field, folder.c_str()) && write_shadows(folder, &sample_field) &&
           write_map(folder + "/map.png", &sample_field);
  lighting = saved;
  free_terrain(&sample_field);
  ok = ok && write_text(folder + "/tileinfo", tileinfo_text().c_str()) &&
       write_text(folder + "/desc", "Quarry Bend\n") && write_ground_textures(argv[1]) &&
       write_furniture(argv[1], folder);
  if (!ok) {
    std::fprintf(stderr, "bkdata track: can't write '%s'\n", folder.c_str());
    return 1;
  }
  return bkdata_check_track(folder.c_str()) ? 0 : 1;
}
