// Shapes and decals in bkdata: "check" of ".shp" and "decals" files through
// the game's own readers, and "shapes OUTDIR", which writes the stock
// collision shapes of the bike parts and the rider, and the starting gate's
// shape, model and texture.
//
// Shape coordinates are the part body's own: forward -z, up +y, the rider's
// right +x, in feet; a wheel's axle is its body's x axis.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/jm_writer.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/tiles.h"
#include "tools/bkdata/commands.h"

namespace {

// Prints the console lines written since `first` as the file's reasons.
int print_console_since(const char* path, int first) {
  int lines = 0;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size, lines++)
    std::printf("%s: %s\n", path, message_ring.lines[k]);
  return lines;
}

int ends_with(const char* name, const char* suffix) {
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::strcmp(name + n - m, suffix) == 0;
}

struct sphere_line {
  double x, y, z, radius, friction, spring, damper;
};

struct stock_shape {
  const char* file;
  std::vector<sphere_line> spheres;
};

// Body spheres: soft enough that a bike lying on another does not jump off,
// stiff enough that parts do not pass through each other at a fall.
const double body_friction = 0.6, body_spring = 5000.0, body_damper = 500.0;
const double gate_friction = 0.5, gate_spring = 25000.0, gate_damper = 2500.0;
const double tyre_friction = 1.0, tyre_spring = 25000.0, tyre_damper = 2500.0;

// A ring of spheres round a wheel's axle (x): the tyre, for contacts with
// other riders; the ground contact of a wheel is the torus itself.
std::vector<sphere_line> wheel_ring(double rim_radius, double tyre_radius) {
  std::vector<sphere_line> ring;
  const int count = 8;
  for (int i = 0; i < count; i++) {
    const double a = 2.0 * 3.14159265358979323846 * i / count;
    // Rounded to what "%.4f" writes, so the file and this table agree.
    const double y = std::round(rim_radius * std::sin(a) * 10000.0) / 10000.0;
    const double z = std::round(rim_radius * std::cos(a) * 10000.0) / 10000.0;
    ring.push_back({0.0, y, z, tyre_radius, tyre_friction, tyre_spring, tyre_damper});
  }
  return ring;
}

// Bars of gate spheres across the slot (x from -1.5 to 1.5), one per
// (y, z) given.
std::vector<sphere_line> gate_plate(const std::vector<std::pair<double, double>>& bars) {
  std::vector<sphere_line> plate;
  for (const auto& bar : bars)
    for (int i = 0; i <= 6; i++)
      plate.push_back({-1.5 + 0.5 * i, bar.first, bar.second, 0.3, gate_friction, gate_spring, gate_damper});
  return plate;
}

std::vector<stock_shape> stock_shapes() {
  auto body = [](double x, double y, double z, double r) {
    return sphere_line{x, y, z, r, body_friction, body_spring, body_damper};
  };
  return {
      // Tank and seat from the steering head back to the rear fender.
      {"generic_frame.shp", {body(0, 0.35, -0.9, 0.45), body(0, 0.25, 0, 0.5), body(0, 0.45, 0.9, 0.4),
                             body(0, -0.45, -0.2, 0.35)}},
      // The bars and the top of the forks.
      {"generic_fork_upper.shp", {body(-1.0, 0.2, 0, 0.2), body(1.0, 0.2, 0, 0.2), body(0, 0, 0, 0.3)}},
      // The fork legs down to the axle.
      {"generic_fork_lower.shp", {body(0, 0.6, 0, 0.25), body(0, 0, 0, 0.25)}},
      // The swingarm from the pivot to the axle.
      {"generic_swingarm.shp", {body(0, 0, -0.6, 0.2), body(0, 0, 0, 0.2), body(0, 0, 0.6, 0.2)}},
      {"front_wheel.shp", wheel_ring(0.8333, 0.3333)},
      {"rear_wheel.shp", wheel_ring(0.8333, 0.3333)},
      // Hips, chest and helmet up from the rider body's origin at the seat.
      {"generic_rider.shp", {body(0, 0, 0, 0.55), body(0, 1.1, -0.3, 0.55), body(0, 2.1, -0.5, 0.45)}},
      // The starting gate's arm: a plate of three bars across the slot, on
      // the riders' side of the hinge (local +z). The race turns the arm
      // about the hinge's x axis by 3 pi / 16 at angle 1 (up): the plate
      // then stands from the ground to 1.3 ft high, 2.3 ft from the hinge, in
      // front of a front tyre at the slot's first row; at angle 0 (down)
      // all of it lies under the ground and bikes ride over it. Three bars
      // are taller than a wheel's hub is wide, so no wheel hangs on them.
      {"startgate.shp", gate_plate({{-1.0284, 2.0791}, {-0.7374, 2.2735}, {-0.4463, 2.468}})},
  };
}

int make_folder(const std::string& path) {
  std::string partial;
  size_t at = 0;
  while (at != std::string::npos) {
    at = path.find('/', at + 1);
    partial = path.substr(0, at);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return 0;
  }
  return 1;
}

int write_shape(const std::string& path, const stock_shape& s) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fprintf(f, "%d\n", (int)s.spheres.size());
  for (const sphere_line& p : s.spheres)
    // + 0.0 writes a negative zero as 0.
    std::fprintf(f, "%.4f %.4f %.4f %.4f %g %g %g\n", p.x + 0.0, p.y + 0.0, p.z + 0.0, p.radius, p.friction, p.spring,
                 p.damper);
  return std::fclose(f) == 0;
}

// Galvanised steel with darker weld bands and a painted stripe.
int write_gate_texture(const std::string& path) {
  const int size = 64;
  std::vector<uint8_t> rgb(3 * size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      uint8_t* p = &rgb[3 * (x + size * y)];
      int grey = 168 + ((x * 7 + y * 3) % 11) - 5;
      if (x % 16 == 0 || y % 16 == 0) grey -= 40;
      p[0] = p[1] = p[2] = (uint8_t)grey;
      if (y >= 24 && y < 40) {
        p[0] = 200;
        p[1] = 40;
        p[2] = 32;
      }
    }
  return image_write_pnm(path.c_str(), "P6", rgb.data(), size, size);
}

// The starting gate's model covers its shape: a bar across the slot at the
// bar spheres' height and a post down to the ground sphere.
// The arm's plate where the shape has it (under the ground with the arm
// down), so it is drawn where it holds the riders.
int write_gate_model(const std::string& path) {
  const jm_material metal = {24.0f, {0.85f, 0.85f, 0.85f, 1.0f}};
  const float bar_size[3] = {3.6f, 1.3f, 0.6f};
  model* bar = jm_box(bar_size, &metal, "gate_bar");
  if (!bar) return 0;
  // Stood up where the arm holds the riders, then turned down by the arm's
  // full swing into its rest pose.
  const double c = std::cos(0.5890486), s = std::sin(0.5890486);
  for (int i = 0; i < bar->vertex_count; i++) {
    const double y = bar->positions[3 * i + 1] + 0.65, z = bar->positions[3 * i + 2] + 2.3;
    bar->positions[3 * i + 1] = (float)(c * y - s * z);
    bar->positions[3 * i + 2] = (float)(s * y + c * z);
  }
  const int ok = jm_write_file(bar, path.c_str());
  model_free_submeshes(bar);
  return ok;
}

}  // namespace

int bkdata_is_shape_name(const char* path) { return ends_with(path, ".shp"); }

int bkdata_is_decals_name(const char* path) { return std::strcmp(path, "decals") == 0 || ends_with(path, "/decals"); }

int bkdata_check_shape(const char* path) {
  const int first = message_ring.write_index;
  shape* s = shape_load_copy(path);
  if (!s) {
    if (!print_console_since(path, first)) std::printf("%s: can't open\n", path);
    std::printf("%s: shape refused\n", path);
    return 0;
  }
  std::printf("%s: shape, %d spheres, bounding radius %g\n", path, s->count, s->bounding_radius);
  check_free(s);
  shape_free_all();
  return 1;
}

int bkdata_check_decals(const char* path) {
  stream* s = stream_open(path, "rb");
  if (!s) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  // The image form of each texture, as the processor compositor loads it,
  // so the check runs without a window.
  static height_field field;
  terrain_reset(&field);
  field.texture_mode = 1;
  field.extent = 1024.0f;
  const terrain_texture_hooks saved = terrain_textures;
  terrain_textures.load_image = image_load_cached;
  terrain_textures.load_texture = nullptr;
  const int first = message_ring.write_index;
  load_decals(&field, s);
  stream_close(s);
  terrain_textures = saved;
  const size_t count = field.decals.count;
  const int refused = print_console_since(path, first) > 0;
  if (refused)
    std::printf("%s: decals refused\n", path);
  else
    std::printf("%s: decals, %zu entries\n", path, count);
  free_terrain(&field);
  return !refused;
}

int bkdata_shapes(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const std::string folder = argv[0];
  if (!make_folder(folder)) {
    std::fprintf(stderr, "bkdata shapes: can't make '%s'\n", folder.c_str());
    return 1;
  }
  int ok = 1;
  for (const stock_shape& s : stock_shapes()) {
    const std::string path = folder + "/" + s.file;
    if (!write_shape(path, s)) {
      std::fprintf(stderr, "bkdata shapes: can't write '%s'\n", path.c_str());
      return 1;
    }
    ok &= bkdata_check_shape(path.c_str());
  }
  const std::string texture = folder + "/startgate.ppm";
  if (!write_gate_texture(texture)) {
    std::fprintf(stderr, "bkdata shapes: can't write '%s'\n", texture.c_str());
    return 1;
  }
  const std::string gate_model = folder + "/startgate.jm";
  if (!write_gate_model(gate_model)) {
    std::fprintf(stderr, "bkdata shapes: can't write '%s'\n", gate_model.c_str());
    return 1;
  }
  ok &= bkdata_check_model(gate_model.c_str());
  char hex[41];
  ok &= stock_parts_digest_of(folder.c_str(), hex);
  if (ok) std::printf("stock parts digest %s\n", hex);
  return ok ? 0 : 1;
}
